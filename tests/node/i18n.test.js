'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

/**
 * Loads i18n.js with a given browser language, stored value and address.
 * @param {{language?: string, stored?: string|null, search?: string, failingStorage?: boolean}} opts
 */
function load({ language = 'en-US', stored = null, search = '', failingStorage = false } = {}) {
  const map = new Map(stored === null ? [] : [['tessary.language', stored]]);
  const localStorage = failingStorage
    ? { getItem() { throw new Error('denied'); }, setItem() { throw new Error('denied'); } }
    : { getItem: (k) => (map.has(k) ? map.get(k) : null), setItem: (k, v) => map.set(k, String(v)) };
  const events = new EventTarget();
  const received = [];
  events.addEventListener('ty-languagechange', (e) => received.push(/** @type {any} */ (e).detail));
  const { TY } = loadScripts(['i18n'], {
    navigator: { language, languages: language ? [language] : [] },
    localStorage,
    location: { search },
    CustomEvent,
    URLSearchParams,
    dispatchEvent: (e) => events.dispatchEvent(e),
  });
  return { i18n: TY.i18n, map, received };
}

test('auto preference follows the browser language', () => {
  const cases = [
    ['ja-JP', 'ja'], ['JA', 'ja'], ['ja', 'ja'], ['de-DE', 'en'], ['en-US', 'en'], ['', 'ja'],
  ];
  for (const [language, expected] of cases) {
    const { i18n } = load({ language });
    assert.equal(i18n.lang, expected, `browser language "${language}"`);
    assert.equal(i18n.isJa, expected === 'ja');
    assert.equal(i18n.preference, 'auto');
  }
});

test('stored preference wins over the browser, unknown stored values count as auto', () => {
  assert.equal(load({ language: 'ja-JP', stored: 'en' }).i18n.lang, 'en');
  assert.equal(load({ language: 'en-GB', stored: 'ja' }).i18n.lang, 'ja');
  const odd = load({ language: 'ja-JP', stored: 'fr' }).i18n;
  assert.equal(odd.preference, 'auto');
  assert.equal(odd.lang, 'ja');
});

test('the lang address parameter overrides for this load without being stored', () => {
  const { i18n, map } = load({ language: 'ja-JP', stored: 'ja', search: '?lang=en' });
  assert.equal(i18n.lang, 'en');
  assert.equal(i18n.preference, 'ja');
  assert.equal(map.get('tessary.language'), 'ja');
  assert.equal(load({ language: 'ja-JP', search: '?lang=xx' }).i18n.lang, 'ja');
});

test('T returns the twin of the current language', () => {
  const { i18n } = load({ language: 'ja-JP' });
  assert.equal(i18n.T('写真', 'Photo'), '写真');
  i18n.setPreference('en');
  assert.equal(i18n.T('写真', 'Photo'), 'Photo');
});

test('setPreference stores, resolves and announces; bad values are ignored', () => {
  const { i18n, map, received } = load({ language: 'de-DE', search: '?lang=ja' });
  assert.equal(i18n.lang, 'ja');
  i18n.setPreference('german');
  i18n.setPreference(undefined);
  assert.equal(received.length, 0);
  assert.equal(map.has('tessary.language'), false);

  i18n.setPreference('auto');
  assert.equal(i18n.lang, 'en', 'an explicit choice ends the address override');
  i18n.setPreference('ja');
  assert.equal(map.get('tessary.language'), 'ja');
  assert.deepEqual(received.map((d) => [d.preference, d.lang]), [['auto', 'en'], ['ja', 'ja']]);
});

test('the read-only fields cannot be assigned', () => {
  const { i18n } = load({ language: 'en-US' });
  assert.throws(() => { 'use strict'; i18n.lang = 'ja'; });
  assert.equal(i18n.lang, 'en');
});

test('unreadable storage falls back to auto and still switches', () => {
  const { i18n, received } = load({ language: 'ja-JP', failingStorage: true });
  assert.equal(i18n.preference, 'auto');
  i18n.setPreference('en');
  assert.equal(i18n.lang, 'en');
  assert.equal(received.length, 1);
});
