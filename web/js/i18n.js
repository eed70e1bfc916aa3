// Display language of the page: picks Japanese or English twins for script
// texts and swaps the static texts, whose English twins sit in data-en-*
// attributes next to the Japanese written in the page.
(function () {
  'use strict';

  const STORAGE_KEY = 'tessary.language';
  const PREFERENCES = ['auto', 'ja', 'en'];
  const ENGLISH_TITLE = 'Tessary';

  // English twin attribute → where the value goes and where the Japanese is kept.
  const TWINS = [
    { en: 'data-en', ja: 'data-ja', get: (el) => el.textContent, set: (el, v) => { el.textContent = v; } },
    { en: 'data-en-title', ja: 'data-ja-title', attr: 'title' },
    { en: 'data-en-placeholder', ja: 'data-ja-placeholder', attr: 'placeholder' },
    { en: 'data-en-aria-label', ja: 'data-ja-aria-label', attr: 'aria-label' },
  ];

  /** @returns {Storage|null} */
  function storage() {
    try { return window.localStorage || null; } catch { return null; }
  }

  /** @returns {string} "auto", "ja" or "en" */
  function readStoredPreference() {
    let value = null;
    try { value = storage()?.getItem(STORAGE_KEY); } catch { /* storage unavailable: default */ }
    return PREFERENCES.includes(value) ? value : 'auto';
  }

  /** @returns {string|null} "ja" or "en" from the page address, else null */
  function readAddressOverride() {
    try {
      const value = new URLSearchParams(window.location?.search || '').get('lang');
      return value === 'ja' || value === 'en' ? value : null;
    } catch {
      return null;
    }
  }

  /** The browser's primary language tag; "ja" when it reports none. */
  function browserLanguage() {
    const nav = window.navigator;
    const tag = (nav && (nav.language || (nav.languages && nav.languages[0]))) || '';
    return tag.split('-')[0] || 'ja';
  }

  /**
   * @param {string} preference "auto", "ja" or "en"
   * @returns {string} "ja" or "en"
   */
  function resolve(preference) {
    const tag = preference === 'auto' ? browserLanguage() : preference;
    return /^ja/i.test(tag) ? 'ja' : 'en';
  }

  let preference = readStoredPreference();
  let addressOverride = readAddressOverride();
  let lang = addressOverride || resolve(preference);
  let japaneseTitle = null;

  /**
   * The twin of the current language. Both arguments are plain text.
   * @param {string} ja
   * @param {string} en
   * @returns {string}
   */
  function T(ja, en) {
    return lang === 'ja' ? ja : en;
  }

  /** Writes the current language into the document's static texts. */
  function apply() {
    const doc = window.document;
    if (!doc) return;
    doc.documentElement.lang = lang;
    if (japaneseTitle === null) japaneseTitle = doc.title;
    doc.title = lang === 'ja' ? japaneseTitle : ENGLISH_TITLE;
    for (const twin of TWINS) {
      for (const el of doc.querySelectorAll('[' + twin.en + ']')) {
        const current = twin.get ? twin.get(el) : el.getAttribute(twin.attr) || '';
        if (!el.hasAttribute(twin.ja)) el.setAttribute(twin.ja, current);
        const value = lang === 'ja' ? el.getAttribute(twin.ja) : el.getAttribute(twin.en);
        if (twin.set) twin.set(el, value);
        else el.setAttribute(twin.attr, value);
      }
    }
  }

  /**
   * Stores and applies a new preference; anything but the three values is ignored.
   * An explicit choice also ends the page-address override of this load.
   * @param {string} value "auto", "ja" or "en"
   */
  function setPreference(value) {
    if (!PREFERENCES.includes(value)) return;
    preference = value;
    try { storage()?.setItem(STORAGE_KEY, value); } catch { /* not kept: still applied */ }
    addressOverride = null;
    lang = resolve(preference);
    apply();
    if (typeof window.dispatchEvent === 'function' && typeof window.CustomEvent === 'function') {
      window.dispatchEvent(new window.CustomEvent('ty-languagechange', { detail: { preference, lang } }));
    }
  }

  window.TY = window.TY || /** @type {Tessary.Namespace} */ ({});
  window.TY.i18n = {
    T,
    apply,
    setPreference,
    get lang() { return lang; },
    get isJa() { return lang === 'ja'; },
    get preference() { return preference; },
  };

  // The static texts switch before the page first paints in the wrong language.
  const doc = window.document;
  if (doc && doc.readyState === 'loading') doc.addEventListener('DOMContentLoaded', apply, { once: true });
  else apply();
})();
