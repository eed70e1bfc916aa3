'use strict';
// The generator page's setting rules in node: output sizes and the custom
// size fields, stored switches and their fallbacks, captions, page-address
// parameters and the album browsing times.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

/** @param {string} [language] browser language */
function loadRules(language = 'en-US') {
  const { TY } = loadScripts(['i18n', 'app'], { URLSearchParams, navigator: { language, languages: [language] } });
  return TY.ui.rules;
}

const rules = loadRules();
const plain = (value) => JSON.parse(JSON.stringify(value));

test('custom sides: empty or bad text gives the default, others round and clamp', () => {
  const cases = [['', 1920], ['  ', 1920], ['abc', 1920], [null, 1920], ['100', 320], ['9000', 8192],
    ['1234.6', 1235], [' 800 ', 800], ['320', 320], ['8192', 8192], ['Infinity', 1920]];
  for (const [text, want] of cases) assert.equal(rules.customSide(text, 1920), want, JSON.stringify(text));
});

test('output size by preset: known sizes, custom fields, unknown and unknown-yet display fall back to Full HD', () => {
  const presets = rules.makeSizePresets();
  assert.deepEqual(plain(rules.outputSize(presets, 'uhd', '', '')), { id: 'uhd', w: 3840, h: 2160 });
  assert.deepEqual(plain(rules.outputSize(presets, 'custom', '100', 'x')), { id: 'custom', w: 320, h: 1080 });
  assert.deepEqual(plain(rules.outputSize(presets, 'display', '', '')), { id: 'fhd', w: 1920, h: 1080 });
  assert.deepEqual(plain(rules.outputSize(presets, 'nonsense', '', '')), { id: 'fhd', w: 1920, h: 1080 });
  presets.find((p) => p.id === 'display').w = 2560;
  presets.find((p) => p.id === 'display').h = 1600;
  assert.deepEqual(plain(rules.outputSize(presets, 'display', '', '')), { id: 'display', w: 2560, h: 1600 });
  assert.deepEqual(plain(presets.map((p) => p.id)), ['display', 'fhd', 'sp', 'iphone', 'video-post', 'insta45', 'insta11',
    'insta34', 'insta191', 'xga', 'wqhd', 'uhd', 'spq', 'custom']);
});

test('preset labels follow the display language where they hold words', () => {
  const ja = loadRules('ja-JP');
  const display = { id: 'display', w: 2560, h: 1440 };
  assert.equal(rules.presetLabel(display), 'Your PC resolution (2560 × 1440)');
  assert.equal(rules.presetLabel({ id: 'video-post', w: 1080, h: 1920 }), '1080 × 1920 (Video post)');
  assert.equal(rules.presetLabel({ id: 'custom', w: 0, h: 0 }), 'Custom…');
  assert.equal(rules.presetLabel({ id: 'uhd', w: 3840, h: 2160 }), '3840 × 2160 (4K)');
  assert.match(ja.presetLabel(display), /2560 × 1440/);
  assert.notEqual(ja.presetLabel(display), rules.presetLabel(display));
  assert.equal(ja.presetLabel({ id: 'custom', w: 0, h: 0 }), 'カスタム…');
});

test('density label', () => {
  assert.deepEqual([0, 35, -40, ''].map(rules.densityLabel), ['Normal', '+35%', '-40%', 'Normal']);
});

test('stored favourites emphasis and switches fall back to their defaults', () => {
  const store = (values) => ({ getItem: (k) => (k in values ? values[k] : null) });
  const cases = [
    [{}, 'none'],
    [{ 'tessary.starEmphasisMode': 'large' }, 'large'],
    [{ 'tessary.starEmphasisMode': 'huge' }, 'none'],
    [{ 'tessary.starEmphasis': '1' }, 'slight'],
    [{ 'tessary.starEmphasis': 'yes' }, 'none'],
    [{ 'tessary.starEmphasisMode': 'none', 'tessary.starEmphasis': '1' }, 'none'],
  ];
  for (const [values, want] of cases) assert.equal(rules.storedEmphasisMode(store(values)), want, JSON.stringify(values));
  const broken = { getItem: () => { throw new Error('denied'); } };
  assert.equal(rules.storedEmphasisMode(broken), 'none');
  assert.equal(rules.storedEmphasisMode(null), 'none');
  assert.equal(rules.storedSwitch(store({ 'tessary.starDim': '1' }), 'tessary.starDim'), true);
  assert.equal(rules.storedSwitch(store({ 'tessary.starDim': 'true' }), 'tessary.starDim'), false);
  assert.equal(rules.storedSwitch(broken, 'tessary.starDim'), false);
});

test('captions: file names without folders and last extension; memos on one line', () => {
  assert.equal(rules.captionText({ name: 'trip/2024/beach.day.jpg' }, 'file', 'memo'), 'beach.day');
  assert.equal(rules.captionText({ name: 'C:\\pics\\cat.PNG' }, 'file', null), 'cat');
  assert.equal(rules.captionText({ name: '.hidden' }, 'file', null), '.hidden');
  assert.equal(rules.captionText({ name: 'a.jpg' }, 'memo', 'First line\n  second\r\n\r\nthird  '), 'First line second third');
  assert.equal(rules.captionText({ name: 'dir/a.jpg' }, 'memo', null), 'a');
});

test('page-address parameters: what applies and what is left out', () => {
  const all = rules.addressSettings('?cheki=s&norepeat&bg=wood&size=2560x1440&density=33&stardim=1&dimalpha=0'
    + '&titlecolor=%23C0392B&titlefree=&freepos=0.25,0.75&frame=pin&filter=sepia&caption=memo&cfont=mincho&csize=l'
    + '&albumcover=leather&albummat=ledger&albumpp=4&demo=abc&stars=9');
  assert.deepEqual(plain(all.selects), { chekiSize: 's', bgSelect: 'wood', frameSelect: 'pin', filterSelect: 'sepia',
    captionMode: 'memo', captionFont: 'mincho', captionSize: 'l' });
  assert.deepEqual(plain(all.album), { cover: 'leather', mat: 'ledger', photosPerPage: '4' });
  assert.equal(all.norepeat, true);
  assert.equal(all.stardim, true);
  assert.equal(all.dimalpha, false);
  assert.equal(all.titlefree, true);
  assert.deepEqual(plain(all.size), { w: 2560, h: 1440 });
  assert.equal(all.density, 35);
  assert.equal(all.titleColor, '#c0392b');
  assert.deepEqual(plain(all.freePos), { x: 0.25, y: 0.75 });
  assert.equal(all.demo, 10);
  assert.equal(all.stars, 5);

  const bad = rules.addressSettings('?size=wide&density=&titlecolor=red&freepos=2,0.5&stars=0&demo=3');
  assert.deepEqual(['size', 'density', 'titleColor', 'freePos', 'stars', 'norepeat'].filter((k) => k in bad), []);
  assert.equal(bad.demo, 3);
  assert.deepEqual(plain(rules.addressSettings('')), { selects: {}, album: {} });
});

test('album positions: rest times and the step between neighbours', () => {
  const tm = { coverOpenDur: 1.6, pageHold: 4.5, turnDur: 1 };
  assert.equal(rules.albumRestTime(-1, tm), 0);
  assert.equal(rules.albumRestTime(0, tm), 1.6 + 2.25);
  assert.equal(rules.albumRestTime(2, tm), 1.6 + 2 * 5.5 + 2.25);
  assert.deepEqual(plain(rules.albumStepSpan(-1, 0, tm)), { t0: 0, t1: 1.6 * 0.999, reverse: false });
  assert.deepEqual(plain(rules.albumStepSpan(0, -1, tm)), { t0: 0, t1: 1.6 * 0.999, reverse: true });
  assert.deepEqual(plain(rules.albumStepSpan(2, 1, tm)), { t0: 1.6 + 5.5 + 4.5, t1: 1.6 + 5.5 + 5.5, reverse: true });
  assert.deepEqual([0, 0.25, 0.5, 0.75, 1].map(rules.easeInOut), [0, 0.125, 0.5, 0.875, 1]);
});
