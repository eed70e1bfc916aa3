// TY.ui: the generator page's controller, one closure for the life of the
// page. It wires every control to the layout, drawing, album, video and
// photo modules, keeps the page's state and runs the main flow: materials
// are imported and listed, a picture is generated and regenerated at will.
// Each part of the screen is an inner factory (make…) that owns its state;
// the factories reach each other through one `app` object.
//
// Contents:
//   settings rules (pure) · live hand-over rules (pure) · shared helpers · screen: theme, language,
//   help, settings panel ·
//   notices · busy lock and indicator · unsaved mark · confirm dialog · settings: output size ·
//   settings: layout switches · settings: style, captions, own background · settings: image
//   title · settings: album · generate flow and redraws · preview and play data · playback in
//   the preview · control states · work modes and album browsing · materials: import and clear
//   · materials: thumbnail list · materials: favourites dock · materials: viewer · pending
//   request · save: pictures and videos · save: album PDF · wallpaper: still picture · wallpaper:
//   undo · wallpaper: live · saved creations · keyboard · dropping files on the window · exit
//   · batch render · joining the factories · start-up
(function () {
  'use strict';
  const TY = window.TY;
  const T = (/** @type {string} */ ja, /** @type {string} */ en) => TY.i18n.T(ja, en);
  /** "1 item", "2 items"; Japanese counts need no plural. @param {number} n */
  const itemsText = (n) => T(`${n} 件`, n === 1 ? '1 item' : `${n} items`);

  // ================================================================ settings rules (pure)
  const CUSTOM_MIN = 320;
  const CUSTOM_MAX = 8192;
  const CUSTOM_DEFAULT = { w: 1920, h: 1080 };
  const DEFAULT_PRESET = 'fhd';
  const EMPHASIS_MODES = ['none', 'slight', 'large'];
  const STORAGE = {
    emphasisMode: 'tessary.starEmphasisMode',
    emphasisLegacy: 'tessary.starEmphasis',
    starDim: 'tessary.starDim',
    starDimTranslucent: 'tessary.starDimTranslucent',
  };
  const DEMO_DEFAULT = 10;
  const STARS_MAX = 5;

  /**
   * The output sizes in list order; the display preset learns its size from
   * the host. Each page copy is its own, so the display size is per page.
   * @returns {Array<{id: string, w: number, h: number}>}
   */
  function makeSizePresets() {
    return [
      { id: 'display', w: 0, h: 0 }, { id: 'fhd', w: 1920, h: 1080 }, { id: 'sp', w: 1080, h: 2400 },
      { id: 'iphone', w: 1179, h: 2556 }, { id: 'video-post', w: 1080, h: 1920 }, { id: 'insta45', w: 1080, h: 1350 },
      { id: 'insta11', w: 1080, h: 1080 }, { id: 'insta34', w: 1080, h: 1440 }, { id: 'insta191', w: 1080, h: 566 },
      { id: 'xga', w: 1024, h: 768 }, { id: 'wqhd', w: 2560, h: 1440 }, { id: 'uhd', w: 3840, h: 2160 },
      { id: 'spq', w: 1440, h: 3120 }, { id: 'custom', w: 0, h: 0 },
    ];
  }

  const PRESET_NAMES = {
    fhd: 'Full HD', sp: 'Android', iphone: 'iPhone', insta45: 'Instagram 4:5', insta11: 'Instagram 1:1',
    insta34: 'Instagram 3:4', insta191: 'Instagram 1.91:1', xga: 'XGA', wqhd: 'WQHD', uhd: '4K', spq: 'QHD+',
  };

  /** @param {{id: string, w: number, h: number}} p @returns {string} */
  function presetLabel(p) {
    if (p.id === 'display') return T(`お使いの PC の解像度（${p.w} × ${p.h}）`, `Your PC resolution (${p.w} × ${p.h})`);
    if (p.id === 'custom') return T('カスタム…', 'Custom…');
    if (p.id === 'video-post') return T('1080 × 1920（動画投稿）', '1080 × 1920 (Video post)');
    return `${p.w} × ${p.h} (${PRESET_NAMES[p.id]})`;
  }

  /**
   * One custom side from its field's text: empty or not a number gives the
   * default; otherwise rounded and kept within 320..8192.
   * @param {any} text @param {number} fallback
   */
  function customSide(text, fallback) {
    const trimmed = String(text == null ? '' : text).trim();
    const v = trimmed === '' ? NaN : Math.round(Number(trimmed));
    if (!Number.isFinite(v)) return fallback;
    return Math.min(CUSTOM_MAX, Math.max(CUSTOM_MIN, v));
  }

  /**
   * The output size for a preset id; unknown ids and the display preset
   * before its size is known fall back to Full HD.
   * @param {Array<{id: string, w: number, h: number}>} presets
   * @param {string} id
   * @param {any} customW field text @param {any} customH field text
   * @returns {{id: string, w: number, h: number}}
   */
  function outputSize(presets, id, customW, customH) {
    if (id === 'custom') return { id, w: customSide(customW, CUSTOM_DEFAULT.w), h: customSide(customH, CUSTOM_DEFAULT.h) };
    const preset = presets.find((p) => p.id === id && p.w > 0);
    const chosen = preset || presets.find((p) => p.id === DEFAULT_PRESET);
    return { id: chosen.id, w: chosen.w, h: chosen.h };
  }

  /** @param {any} v slider value @returns {string} */
  function densityLabel(v) {
    const n = Number(v) || 0;
    if (n === 0) return T('標準', 'Normal');
    return n > 0 ? `+${n}%` : `${n}%`;
  }

  /** @param {any} storage @param {string} key @returns {string|null} */
  function storedValue(storage, key) {
    try { return storage ? storage.getItem(key) : null; } catch { return null; }
  }

  /**
   * The favourites emphasis kept from an earlier run; an older program kept
   * only an on/off key, read while the newer key is absent.
   * @param {any} storage
   */
  function storedEmphasisMode(storage) {
    const mode = storedValue(storage, STORAGE.emphasisMode);
    if (mode === null) return storedValue(storage, STORAGE.emphasisLegacy) === '1' ? 'slight' : 'none';
    return EMPHASIS_MODES.includes(mode) ? mode : 'none';
  }

  /** @param {any} storage @param {string} key @returns {boolean} on only for "1" */
  function storedSwitch(storage, key) {
    return storedValue(storage, key) === '1';
  }

  /** @param {string} name @returns {string} the name without folders and last extension */
  function bareFileName(name) {
    const base = String(name || '').replace(/^.*[\\/]/, '');
    const dot = base.lastIndexOf('.');
    return dot > 0 ? base.slice(0, dot) : base;
  }

  /**
   * The caption an item shows: its file name, or its memo on one line.
   * @param {{name: string}} item
   * @param {string} mode "file" or "memo"
   * @param {string|null} memo the item's effective memo
   */
  function captionText(item, mode, memo) {
    const name = bareFileName(item.name);
    if (mode !== 'memo') return name;
    return String(memo || name).replace(/\s*[\r\n]+\s*/g, ' ').trim();
  }

  /** @param {URLSearchParams} q @param {string} key @returns {boolean|undefined} present: on unless "0" */
  function flagParam(q, key) {
    return q.has(key) ? q.get(key) !== '0' : undefined;
  }

  /**
   * The settings a page address asks for. Values that cannot apply are left
   * out; whether a select offers a value is checked where it is applied.
   * @param {string} search the address's query part
   */
  function addressSettings(search) {
    let q;
    try { q = new URLSearchParams(search || ''); } catch { q = new URLSearchParams(''); }
    /** @type {Record<string, any>} */
    const out = {};
    const selects = { cheki: 'chekiSize', bg: 'bgSelect', frame: 'frameSelect', filter: 'filterSelect',
      caption: 'captionMode', cfont: 'captionFont', csize: 'captionSize' };
    out.selects = {};
    for (const [key, id] of Object.entries(selects)) if (q.has(key)) out.selects[id] = q.get(key);
    const album = { albumcover: 'cover', albummat: 'mat', albumpp: 'photosPerPage', albumfit: 'fitMode',
      albummount: 'mount', albumtape: 'tapePattern', albumstar: 'starMode' };
    out.album = {};
    for (const [key, field] of Object.entries(album)) if (q.has(key)) out.album[field] = q.get(key);
    for (const key of ['norepeat', 'stardim', 'dimalpha', 'titlefree']) {
      const v = flagParam(q, key);
      if (v !== undefined) out[key] = v;
    }
    const size = /^(\d+)x(\d+)$/i.exec(q.get('size') || '');
    if (size) out.size = { w: customSide(size[1], CUSTOM_DEFAULT.w), h: customSide(size[2], CUSTOM_DEFAULT.h) };
    const density = Number(q.get('density'));
    if (q.has('density') && q.get('density').trim() !== '' && Number.isFinite(density)) {
      out.density = Math.max(-100, Math.min(100, Math.round(density / 5) * 5));
    }
    const color = q.get('titlecolor') || '';
    if (/^#[0-9a-f]{6}$/i.test(color)) out.titleColor = color.toLowerCase();
    const pos = (q.get('freepos') || '').split(',').map((s) => (s.trim() === '' ? NaN : Number(s)));
    if (pos.length === 2 && pos.every((v) => Number.isFinite(v) && v >= 0 && v <= 1)) out.freePos = { x: pos[0], y: pos[1] };
    if (q.has('demo')) {
      const n = parseInt(q.get('demo'), 10);
      out.demo = Number.isFinite(n) && n > 0 ? n : DEMO_DEFAULT;
    }
    if (q.has('stars')) {
      const n = parseInt(q.get('stars'), 10);
      if (Number.isFinite(n) && n > 0) out.stars = Math.min(STARS_MAX, n);
    }
    return out;
  }

  /**
   * Time at which an album position rests: the cover is closed at 0; spread
   * k rests halfway through its hold.
   * @param {number} position −1 for the cover
   * @param {{coverOpenDur: number, pageHold: number, turnDur: number}} tm
   */
  function albumRestTime(position, tm) {
    if (position < 0) return 0;
    return tm.coverOpenDur + position * (tm.pageHold + tm.turnDur) + tm.pageHold * 0.5;
  }

  /**
   * Time span of the one step between two neighbouring positions: the cover
   * opening, or the turn of a spread; `reverse` when moving backwards.
   * @param {number} from @param {number} to neighbour positions (−1 = cover)
   * @param {{coverOpenDur: number, pageHold: number, turnDur: number}} tm
   */
  function albumStepSpan(from, to, tm) {
    const reverse = to < from;
    const lower = Math.min(from, to);
    if (lower < 0) return { t0: 0, t1: tm.coverOpenDur * 0.999, reverse };
    const t0 = tm.coverOpenDur + lower * (tm.pageHold + tm.turnDur) + tm.pageHold;
    return { t0, t1: t0 + tm.turnDur, reverse };
  }

  /** @param {number} p 0..1 @returns {number} ease in and out */
  function easeInOut(p) {
    return p < 0.5 ? 2 * p * p : 1 - Math.pow(-2 * p + 2, 2) / 2;
  }

  // Saved creations.
  const COPY_EXTENSIONS = /^(jpe?g|png|bmp)$/;
  const COPY_TYPES = { 'image/jpeg': 'jpg', 'image/png': 'png', 'image/bmp': 'bmp' };
  const CREATION_NAME_TRIES = 999;

  /**
   * The name to save under when `wanted` is taken: the first of wanted(1) …
   * wanted(999) that no creation bears (names compared trimmed), else one
   * made unique by the clock. Numbers are added to the name as typed.
   * @param {string} wanted @param {string[]} names @param {number} [now]
   */
  function freeCreationName(wanted, names, now = Date.now()) {
    const taken = new Set(names.map((n) => String(n == null ? '' : n).trim()));
    if (!taken.has(wanted)) return wanted;
    for (let i = 1; i <= CREATION_NAME_TRIES; i++) if (!taken.has(`${wanted}(${i})`)) return `${wanted}(${i})`;
    return `${wanted}(${now})`;
  }

  /**
   * The name a copied item is stored under: its place in the list, from 1,
   * in four digits, and its extension in lower case. A name that is not a
   * picture's (a memo card, a converted HEIC photo) takes the extension of
   * the bytes it holds, so that the copy opens again as a picture.
   * @param {number} position @param {string} name @param {string} [type] the bytes' MIME type
   */
  function storedCopyName(position, name, type) {
    const match = /\.([^./\\]+)$/.exec(String(name));
    const own = match ? match[1].toLowerCase() : '';
    const ext = COPY_EXTENSIONS.test(own) ? own : (COPY_TYPES[String(type || '').toLowerCase()] || 'jpg');
    return String(position).padStart(4, '0') + '.' + ext;
  }

  /**
   * A creation's kind as the list shows it.
   * @param {string} motion
   */
  function creationKindText(motion) {
    if (motion === 'album') return T('アルバム', 'Album');
    const names = { drop: T('落下', 'Drop'), sway: T('ひらひら', 'Flutter') };
    return T('散らばり', 'Scatter') + `（${names[motion] || motion}）`;
  }

  /**
   * The note on a listed creation whose photos cannot all be read; empty when all can.
   * @param {number} total photos recorded @param {number} found photos that can be read
   */
  function missingPhotosNote(total, found) {
    if (!(total > found)) return '';
    if (found <= 0) return T('写真が見つかりません（移動または削除された可能性があります）', 'Photos not found (they may have been moved or deleted)');
    const missing = total - found;
    return T(`${missing} 枚の写真が見つかりません`, `${missing} photos not found`);
  }

  /**
   * The layout record of a scatter result: every placement field drawing
   * uses, at full precision, so that opening it draws the same picture.
   * @param {{w: number, h: number, drawList: any[]}} visual
   */
  function layoutRecord(visual) {
    const drawList = visual.drawList.map((/** @type {any} */ p) => ({
      photoIndex: p.photoIndex, x: p.x, y: p.y, outerW: p.outerW, outerH: p.outerH, rot: p.rot, featured: !!p.featured,
    }));
    return { w: visual.w, h: visual.h, featuredCount: drawList.some((p) => p.featured) ? 1 : 0, drawList };
  }

  // ================================================================ live hand-over rules (pure)
  const LIVE_PHOTO_PREFIX = 'tessary-live://live/';
  const LIVE_HOLD_SEC = 30;
  const LIVE_WINDS = ['none', 'breeze', 'gust'];

  /**
   * How much the live wallpaper enlarges a creation to cover the screen: the
   * larger of the two side ratios; 1 when the screen is unknown or the same.
   * @param {{w: number, h: number}|null} screen @param {{w: number, h: number}} creation
   */
  function liveCoverScale(screen, creation) {
    const sw = Number(screen && screen.w);
    const sh = Number(screen && screen.h);
    const cw = Number(creation && creation.w);
    const ch = Number(creation && creation.h);
    if (!(sw > 0 && sh > 0 && cw > 0 && ch > 0) || (sw === cw && sh === ch)) return 1;
    return Math.max(sw / cw, sh / ch);
  }

  /**
   * The sides the pictures need on the screen: those needed at the creation's
   * size, enlarged by `scale` and rounded up.
   * @param {Map<number, number>} sides photo index → side @param {number} scale
   * @returns {Map<number, number>}
   */
  function liveScreenSides(sides, scale) {
    const out = new Map();
    // The tolerance keeps float noise (1080 × 1600/1080) from adding a pixel.
    for (const [index, side] of sides) out.set(index, scale === 1 ? side : Math.ceil(side * scale - 1e-9));
    return out;
  }

  /**
   * The photos a hand-over sends: those of the draw list and of every variant, each once, in index order.
   * @param {any[]} drawList @param {any[][]|null} variants
   * @returns {number[]}
   */
  function livePhotoIndexes(drawList, variants) {
    const indexes = new Set();
    for (const list of [drawList, ...(variants || [])]) {
      for (const p of Array.isArray(list) ? list : []) if (p && Number.isInteger(p.photoIndex) && p.photoIndex >= 0) indexes.add(p.photoIndex);
    }
    return [...indexes].sort((a, b) => a - b);
  }

  /**
   * The play data as the live wallpaper gets it: without the page's own
   * pictures and items, with the photo URLs, the rest after each round, the
   * way photos leave, the creation it came from, and the variants of
   * "Remake the creation each time".
   * @param {any} data play data of the result
   * @param {{photoUrls: Record<string, string>, wind?: string, variants?: any[][]|null,
   *   creation?: {id: string, name: string}|null}} extras
   */
  function liveHandoverData(data, extras) {
    const out = { ...data };
    for (const pageOnly of ['bitmaps', 'baseCanvas', 'sourceItems', 'prepareFrame']) delete out[pageOnly];
    out.photoUrls = extras.photoUrls;
    out.holdSec = LIVE_HOLD_SEC;
    out.wind = data.motion !== 'album' && LIVE_WINDS.includes(extras.wind) ? extras.wind : 'none';
    if (extras.creation) {
      out.albumId = extras.creation.id;
      out.albumName = extras.creation.name;
    }
    if (extras.variants) {
      out.regenerate = true;
      out.variants = extras.variants;
    }
    return out;
  }

  /**
   * The wallpaper button and the live controls, from the page's state. Albums are never set as the
   * wallpaper: in Album the row stays only to stop a live wallpaper.
   * @param {{live: boolean, busy: boolean, hasResult: boolean, album?: boolean, transferring: boolean,
   *   state: string}} s
   * @returns {{label: 'set'|'starting'|'on', disabled: boolean, pressed: boolean, liveCheckDisabled: boolean,
   *   liveOptionsDisabled: boolean}}
   */
  function wallpaperButton(s) {
    const active = s.state !== 'stopped';
    const transitioning = s.transferring || s.state === 'starting';
    let button = { label: /** @type {'set'|'starting'|'on'} */ ('set'), disabled: s.busy || !s.hasResult || !!s.album,
      pressed: false };
    if (s.live && transitioning) button = { label: 'starting', disabled: true, pressed: active };
    else if (s.live && active) button = { label: 'on', disabled: true, pressed: true };
    return { ...button, liveCheckDisabled: s.busy || active || transitioning, liveOptionsDisabled: active || transitioning };
  }

  /** Regions whose printers take Letter paper; everywhere else A4 is the norm. */
  const LETTER_REGIONS = ['US', 'CA', 'MX', 'PH', 'CL', 'CO', 'CR', 'GT', 'HN', 'NI', 'PA', 'PR', 'SV', 'VE', 'DO', 'EC', 'BO'];

  /**
   * The region of a language tag, in upper case: the browser's locale
   * parser's, else the first "-" and two letters that end a word; null when
   * the tag names none.
   * @param {any} tag
   * @returns {string|null}
   */
  function regionOfTag(tag) {
    const text = String(tag == null ? '' : tag);
    try {
      const region = new Intl.Locale(text).region;
      if (region) return region.toUpperCase();
    } catch { /* not a tag the parser takes: read it by hand */ }
    const m = /-([A-Za-z]{2})\b/.exec(text);
    return m ? m[1].toUpperCase() : null;
  }

  /**
   * The paper an album PDF starts with: the first language tag that names a
   * region decides (Letter where Letter is the norm); A4 when none does.
   * @param {any[]} tags the browser's primary tag first, then its preferred ones
   * @returns {'a4'|'letter'}
   */
  function defaultPaper(tags) {
    for (const tag of tags || []) {
      const region = regionOfTag(tag);
      if (region) return LETTER_REGIONS.includes(region) ? 'letter' : 'a4';
    }
    return 'a4';
  }

  /** @param {Date} date @returns {string} local "YYYYMMDD_HHMMSS" for file names */
  function fileStamp(date) {
    const two = (/** @type {number} */ n) => String(n).padStart(2, '0');
    return `${date.getFullYear()}${two(date.getMonth() + 1)}${two(date.getDate())}_`
      + `${two(date.getHours())}${two(date.getMinutes())}${two(date.getSeconds())}`;
  }

  const rules = {
    makeSizePresets, presetLabel, customSide, outputSize, densityLabel, storedEmphasisMode, storedSwitch,
    captionText, bareFileName, addressSettings, albumRestTime, albumStepSpan, easeInOut, STORAGE,
    freeCreationName, storedCopyName, creationKindText, missingPhotosNote, layoutRecord,
    liveCoverScale, liveScreenSides, livePhotoIndexes, liveHandoverData, wallpaperButton,
    regionOfTag, defaultPaper, fileStamp,
  };
  // The rest of TY.ui joins below once the page's document is wired.
  TY.ui = /** @type {Tessary.Ui} */ (/** @type {unknown} */ ({ rules }));
  // Loaded without a document (tests of the rules above): nothing to wire.
  if (typeof document === 'undefined') return;
  /**
   * The controller as the factories see each other: the operations and
   * read-only state each one offers. Left untyped: each factory's type would
   * be made of the others'.
   * @typedef {any} App
   */
  const app = /** @type {App} */ ({});

  // ================================================================ shared helpers
  const photos = TY.photos;
  const bridge = TY.bridge;
  const address = addressSettings(window.location.search);

  /** @param {string} id @returns {any} */
  const $ = (id) => document.getElementById(id);

  /** @returns {Promise<void>} */
  const nextFrame = () => new Promise((resolve) => requestAnimationFrame(() => resolve()));

  /** @param {any} err */
  const messageOf = (err) => (err && err.message ? err.message : String(err));
  /** A preview that failed to draw; the engine's own message may be English only. @param {unknown} err */
  const toastPreviewFailure = (err) => app.toast(T('プレビューを表示できませんでした: ', 'Could not show the preview: ') + messageOf(err), true);

  const isAlbumMode = () => $('videoMotion').value === 'album';

  /**
   * Why a host request ended without its answer, in the user's language where the page words it.
   * @param {any} err
   */
  const requestFailureText = (err) => (err && err.code === 'timeout'
    ? T('Tessary から応答がありませんでした', 'Tessary did not answer') : messageOf(err));

  /**
   * The canvas encoded as a file's bytes. The browser encodes off the script thread, so a picture of up
   * to 8192 × 8192 does not hold the page still while it is made.
   * @param {HTMLCanvasElement} canvas
   * @param {string} type
   * @param {number} [quality]
   * @returns {Promise<Blob>}
   */
  async function encodeCanvas(canvas, type, quality) {
    const blob = await new Promise((resolve) => canvas.toBlob(resolve, type, quality));
    if (!blob || !blob.size) throw new Error(T('画像を書き出せませんでした', 'The picture could not be encoded'));
    return /** @type {Blob} */ (blob);
  }

  /** @param {Blob} blob @returns {Promise<string>} the blob's bytes as base64, the form chunked transfers carry */
  async function blobBase64(blob) {
    const url = await new Promise((resolve, reject) => {
      const reader = new FileReader();
      reader.onload = () => resolve(String(reader.result));
      reader.onerror = () => reject(reader.error);
      reader.readAsDataURL(blob);
    });
    return url.slice(url.indexOf(',') + 1);
  }

  /**
   * The canvas encoded (see encodeCanvas) as base64.
   * @param {HTMLCanvasElement} canvas
   * @param {string} type
   * @param {number} quality
   * @returns {Promise<string>}
   */
  const canvasBase64 = async (canvas, type, quality) => blobBase64(await encodeCanvas(canvas, type, quality));

  /** @param {string} id @param {boolean} hidden */
  const hide = (id, hidden) => { $(id).hidden = hidden; };

  // Drag data types of the page's own drags: a thumbnail (its list index) and a dock slot (the item id).
  const PHOTO_DRAG = 'application/x-tessary-photo';
  const STAR_DRAG = 'application/x-tessary-star';

  // ================================================================ screen: theme, language, help, settings panel
  /**
   * The frame around the work: the colour theme, the display language (and telling the host), the help
   * dialog and the settings panel toggle.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeScreen(app) {
    // Theme.
    const THEME_KEY = 'tessary.theme';

    function storedTheme() {
      try { return window.localStorage.getItem(THEME_KEY) === 'light' ? 'light' : 'dark'; } catch { return 'dark'; }
    }

    /** @param {string} theme "dark" or "light" */
    function applyTheme(theme) {
      const value = theme === 'light' ? 'light' : 'dark';
      document.documentElement.dataset.theme = value;
      $('themeSelect').value = value;
    }

    $('themeSelect').addEventListener('change', () => {
      const theme = $('themeSelect').value === 'light' ? 'light' : 'dark';
      applyTheme(theme);
      try { window.localStorage.setItem(THEME_KEY, theme); } catch { /* applied for this run only */ }
    });

    // Language.
    function tellHostLanguage() {
      bridge.post({ cmd: 'setLanguage', lang: TY.i18n.lang });
    }

    $('languageSelect').addEventListener('change', () => TY.i18n.setPreference($('languageSelect').value));
    window.addEventListener('ty-languagechange', () => {
      tellHostLanguage();
      app.listPresets();
      app.rebuildSystemFonts();
      $('densityLabel').textContent = densityLabel($('densitySlider').value);
      app.updatePlayButton();
      app.rebuildThumbs();
      app.updateAlbumNav();
      if (app.lightboxItemId !== null) app.showLightboxChrome();
    });

    // Help and settings panel.
    function setHelpOpen(open) {
      $('helpDialog').hidden = !open;
      if (open) $('helpClose').focus();
      else $('btnHelp').focus();
    }

    $('btnHelp').addEventListener('click', () => setHelpOpen(true));
    $('helpClose').addEventListener('click', () => setHelpOpen(false));
    $('helpDialog').addEventListener('click', (e) => { if (e.target === $('helpDialog')) setHelpOpen(false); });

    $('btnSettings').addEventListener('click', () => {
      const open = $('settingsPanel').hidden;
      $('settingsPanel').hidden = !open;
      $('btnSettings').setAttribute('aria-pressed', String(open));
      $('btnSettings').setAttribute('aria-expanded', String(open));
    });

    return {
      setHelpOpen,
      applyTheme,
      storedTheme,
      tellHostLanguage,
    };
  }

  // ================================================================ notices
  /**
   * One-line notices of 3.2 s, one at a time.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeNotices(app) {
    const TOAST_MS = 3200;
    const NOTICE_GAP = 14;
    const NOTICE_WIDTH_MAX = 720;
    /** Room kept free on either side: the viewer's step buttons, or a plain margin on the stage. */
    const VIEWER_SIDE_ROOM = 80;
    const STAGE_SIDE_ROOM = 20;
    let toastTimer = 0;

    /**
     * Puts the notice where it covers nothing to press or read: at the foot
     * of the picture area, centred on it. On the main screen that is the
     * stage above the footer, clear of the tray and the settings panel over
     * its edge; in the viewer it is the photo's area above the memo box.
     */
    function placeNotice() {
      const el = $('toast');
      const viewer = !$('lightbox').hidden;
      const area = (viewer ? $('lightboxFrame') : $('stageView')).getBoundingClientRect();
      const side = viewer ? VIEWER_SIDE_ROOM : STAGE_SIDE_ROOM;
      el.style.left = `${Math.round(area.left + area.width / 2)}px`;
      el.style.bottom = `${Math.round(window.innerHeight - area.bottom + NOTICE_GAP)}px`;
      el.style.maxWidth = `${Math.max(160, Math.min(NOTICE_WIDTH_MAX, Math.floor(area.width - 2 * side)))}px`;
    }

    /**
     * One notice at a time; a new one replaces the text and restarts the time.
     * @param {string} message
     * @param {boolean} [isError]
     */
    function toast(message, isError) {
      const el = $('toast');
      el.textContent = String(message);
      el.classList.toggle('error', !!isError);
      el.hidden = false;
      placeNotice();
      clearTimeout(toastTimer);
      toastTimer = window.setTimeout(() => { el.hidden = true; }, TOAST_MS);
    }

    window.addEventListener('resize', () => { if (!$('toast').hidden) placeNotice(); });

    return {
      toast,
    };
  }

  // ================================================================ busy lock and indicator
  /**
   * The page's one lock with its indicator, the deferred indicator for work that is usually instant,
   * flows waiting for the lock, and the redraw refused while it was held.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeBusy(app) {
    let busy = false;

    const DEFERRED_CHIP_MS = 260;

    /** @param {string} text */
    function setBusyText(text) {
      $('busyText').textContent = text;
    }

    /**
     * The page's one lock: flows that must not overlap set it for their duration.
     * @param {boolean} on
     * @param {string} [text] shown in the busy indicator
     */
    function setBusy(on, text) {
      busy = !!on;
      if (text !== undefined) setBusyText(text);
      $('busyChip').hidden = !busy;
      app.refreshControls();
      if (!busy) {
        for (const wake of idleWaiters.splice(0)) wake();
        if (pendingWork) window.setTimeout(runPendingWork, 0);
      }
    }

    /** @type {Array<() => void>} flows waiting for the lock to come free */
    const idleWaiters = [];

    /** Resolves once no flow holds the lock; the caller takes it in the same turn. */
    async function untilIdle() {
      while (busy) await new Promise((resolve) => { idleWaiters.push(() => resolve(undefined)); });
    }

    /**
     * A change made while the lock was held must still reach the picture: the
     * refused redraw is remembered and run when the lock comes free. A full
     * regeneration covers a restyle, so it wins.
     * @type {'regenerate'|'restyle'|null}
     */
    let pendingWork = null;

    /** @param {'regenerate'|'restyle'} work */
    function deferUntilIdle(work) {
      if (pendingWork !== 'regenerate') pendingWork = work;
    }

    /** A full generation is starting: whatever was deferred is covered by it. */
    function dropPendingWork() {
      pendingWork = null;
    }

    function runPendingWork() {
      if (busy || !pendingWork) return;
      const work = pendingWork;
      pendingWork = null;
      if (work === 'regenerate') app.regenerate();
      else app.redrawCurrentVisual();
    }

    /** Things handed to the page while a flow runs are refused aloud, never dropped unseen. */
    function toastBusyRefusal() {
      app.toast(T('作業中のため追加しませんでした。終わってからもう一度お試しください',
        'Not added because work is in progress. Please try again when it has finished'), true);
    }

    /**
     * For work that is usually instant: the indicator shows only after the
     * delay, and nothing is locked or disabled.
     * @param {string} text
     * @param {number} [delay]
     */
    function deferredChip(text, delay = DEFERRED_CHIP_MS) {
      const chip = {
        shown: false,
        /** @param {string} progress */
        progress(progress) { if (chip.shown || busy) setBusyText(progress); },
        done() {
          clearTimeout(timer);
          if (chip.shown && !busy) $('busyChip').hidden = true;
        },
      };
      const timer = window.setTimeout(() => {
        if (busy) return;
        chip.shown = true;
        setBusyText(text);
        $('busyChip').hidden = false;
      }, delay);
      return chip;
    }

    /** @param {number} done @param {number} total */
    const preparingText = (done, total) => T(`写真を準備しています… ${done}/${total}`, `Preparing photos… ${done}/${total}`);
    /** @param {number} done @param {number} total */
    const preparingPagesText = (done, total) => T(`ページを準備しています… ${done}/${total}`, `Preparing page… ${done}/${total}`);

    return {
      get busy() { return busy; },
      dropPendingWork,
      setBusy,
      setBusyText,
      preparingText,
      preparingPagesText,
      deferUntilIdle,
      deferredChip,
      untilIdle,
      toastBusyRefusal,
    };
  }

  // ================================================================ unsaved mark
  /**
   * Whether the result holds unsaved work, mirrored to the host so that closing can ask.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeUnsavedMark(app) {
    let unsavedResult = false;

    /** @param {boolean} value */
    function setUnsavedResult(value) {
      const next = !!value;
      if (next === unsavedResult) return;
      unsavedResult = next;
      bridge.post({ cmd: 'setUnsavedResult', value: next });
    }

    return {
      setUnsavedResult,
      get unsavedResult() { return unsavedResult; },
    };
  }

  // ================================================================ confirm dialog
  /**
   * The page's own question box: one at a time, with an optional text field.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeConfirm(app) {
    const CONFIRM_TEXT_MAX = 80;
    /** @type {any} */
    let confirmOptions = null;
    /** @type {any} where the focus goes back when the dialog closes */
    let confirmReturnFocus = null;

    /**
     * The page's own question box (never the browser's, whose caption would
     * show the page's origin). Opening it again cancels the open question and
     * replaces content and actions.
     * @param {{title: string, message?: string, okLabel: string, onOk?: (text?: string) => void,
     *   secondLabel?: string, onSecond?: (text?: string) => void, input?: string|null, onCancel?: () => void}} options
     */
    function showConfirm(options) {
      if (!confirmOptions) confirmReturnFocus = document.activeElement;
      // The question being replaced ends as if declined, so its flow still finishes.
      const replacedCancel = confirmOptions && confirmOptions.onCancel;
      confirmOptions = options;
      if (replacedCancel) replacedCancel();
      $('confirmTitle').textContent = options.title || '';
      $('confirmMessage').textContent = options.message || '';
      $('confirmOk').textContent = options.okLabel || 'OK';
      $('confirmSecond').textContent = options.secondLabel || '';
      $('confirmSecond').hidden = !options.secondLabel;
      const field = $('confirmInput');
      const withField = options.input !== undefined && options.input !== null;
      field.hidden = !withField;
      field.value = withField ? String(options.input).slice(0, CONFIRM_TEXT_MAX) : '';
      $('confirmDialog').hidden = false;
      if (withField) {
        field.focus();
        field.select();
      } else {
        $('confirmOk').focus();
      }
    }

    function confirmOpen() {
      return !$('confirmDialog').hidden;
    }

    /** @param {'onOk'|'onSecond'} which */
    function confirmWith(which) {
      if (!confirmOptions) return;
      const field = $('confirmInput');
      let text;
      if (!field.hidden) {
        text = field.value.trim();
        if (!text) {
          field.focus();
          return;
        }
      }
      const action = confirmOptions[which];
      closeConfirm();
      if (action) action(text);
    }

    function cancelConfirm() {
      const action = confirmOptions && confirmOptions.onCancel;
      closeConfirm();
      if (action) action();
    }

    function closeConfirm() {
      confirmOptions = null;
      $('confirmDialog').hidden = true;
      if (confirmReturnFocus && confirmReturnFocus.isConnected) confirmReturnFocus.focus();
      confirmReturnFocus = null;
    }

    $('confirmOk').addEventListener('click', () => confirmWith('onOk'));
    $('confirmSecond').addEventListener('click', () => confirmWith('onSecond'));
    $('confirmCancel').addEventListener('click', cancelConfirm);
    $('confirmDialog').addEventListener('click', (e) => { if (e.target === $('confirmDialog')) cancelConfirm(); });
    $('confirmInput').addEventListener('keydown', (e) => {
      if (e.key === 'Enter' && !e.isComposing) {
        e.preventDefault();
        confirmWith('onOk');
      }
    });

    return {
      showConfirm,
      confirmOpen,
      cancelConfirm,
    };
  }

  // ================================================================ settings: output size
  /**
   * The output size presets (the screen's own size once the host reports it) and the custom size.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeOutputSizes(app) {
    const sizePresets = makeSizePresets();

    function currentPreset() {
      const size = outputSize(sizePresets, $('sizePreset').value, $('customW').value, $('customH').value);
      if (size.id === 'custom') {
        $('customW').value = String(size.w);
        $('customH').value = String(size.h);
      }
      return size;
    }

    function listPresets() {
      const select = $('sizePreset');
      const previous = select.value;
      select.textContent = '';
      for (const p of sizePresets) {
        if (p.id === 'display' && p.w <= 0) continue;
        const option = document.createElement('option');
        option.value = p.id;
        option.textContent = presetLabel(p);
        select.appendChild(option);
      }
      select.value = previous && [...select.options].some((o) => o.value === previous) ? previous : DEFAULT_PRESET;
    }

    $('sizePreset').addEventListener('change', () => {
      app.refreshControls();
      app.regenerateWithResult();
    });
    for (const id of ['customW', 'customH']) {
      $(id).addEventListener('change', () => {
        if ($('sizePreset').value !== 'custom') return;
        // Shows the clamped size at once, even while a generation keeps this change from starting one.
        currentPreset();
        app.regenerateWithResult();
      });
    }

    bridge.on('displayInfo', (info) => {
      const w = Math.round(Number(info && info.w));
      const h = Math.round(Number(info && info.h));
      if (!(w > 0 && h > 0)) return;
      const display = sizePresets.find((p) => p.id === 'display');
      display.w = w;
      display.h = h;
      $('wallpaperSize').textContent = `${w} × ${h}`;
      listPresets();
      app.refreshControls();
    });

    return {
      listPresets,
      currentPreset,
    };
  }

  // ================================================================ settings: layout switches
  /**
   * Photo size, no-repeat, density and the favourites switches, the last three kept between runs.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeStoredSwitches(app) {
    /** @param {string} key @param {string} value */
    function storeSetting(key, value) {
      try { window.localStorage.setItem(key, value); } catch { /* kept for this run only */ }
    }

    function regenerateWithResult() {
      if (app.hasResult) app.regenerateForChange();
    }

    function redrawWithResult() {
      if (app.hasResult) app.redrawCurrentVisual();
    }

    $('chekiSize').addEventListener('change', regenerateWithResult);
    $('chkNoRepeat').addEventListener('change', () => {
      app.refreshControls();
      regenerateWithResult();
    });
    $('starEmphasisMode').addEventListener('change', () => {
      storeSetting(STORAGE.emphasisMode, $('starEmphasisMode').value);
      regenerateWithResult();
    });
    $('chkStarDim').addEventListener('change', () => {
      storeSetting(STORAGE.starDim, $('chkStarDim').checked ? '1' : '0');
      app.refreshControls();
      redrawWithResult();
    });
    $('chkStarDimTranslucent').addEventListener('change', () => {
      storeSetting(STORAGE.starDimTranslucent, $('chkStarDimTranslucent').checked ? '1' : '0');
      redrawWithResult();
    });
    $('densitySlider').addEventListener('input', () => { $('densityLabel').textContent = densityLabel($('densitySlider').value); });
    $('densitySlider').addEventListener('change', () => {
      $('densityLabel').textContent = densityLabel($('densitySlider').value);
      app.refreshControls();
      regenerateWithResult();
    });

    return {
      regenerateWithResult,
      redrawWithResult,
    };
  }

  // ================================================================ settings: style, captions, own background
  /**
   * Frame, filter and captions redraw the same layout; an own background picture lasts until the program
   * closes.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeStyle(app) {
    // Captions.
    for (const id of ['frameSelect', 'filterSelect']) $(id).addEventListener('change', () => app.redrawWithResult());
    $('captionMode').addEventListener('change', () => {
      app.refreshControls();
      app.redrawWithResult();
    });
    for (const id of ['captionFont', 'captionSize']) {
      $(id).addEventListener('change', () => { if ($('captionMode').value !== 'none') app.redrawWithResult(); });
    }

    /** Caption record and captions by photo index for a list of items; nulls while captions are off. */
    function captionsFor(items) {
      const mode = $('captionMode').value;
      if (mode !== 'file' && mode !== 'memo') return { captions: null, captionCfg: null };
      return {
        captions: items.map((it) => captionText(it, mode, photos.effectiveMemo(it))),
        captionCfg: { font: $('captionFont').value, size: $('captionSize').value },
      };
    }

    // Own background.
    let customBgReturn = 'gray';
    let hadCustomBackground = false;

    /** The backdrop to return to when the own-background chooser is closed without a file. */
    function rememberBackground() {
      customBgReturn = $('bgSelect').value;
    }

    $('bgSelect').addEventListener('change', () => {
      if ($('bgSelect').value !== 'custombg') {
        customBgReturn = $('bgSelect').value;
        app.redrawWithResult();
        return;
      }
      if (hadCustomBackground) app.redrawWithResult();
      $('customBgPicker').click();
    });

    $('customBgPicker').addEventListener('change', async () => {
      const file = $('customBgPicker').files && $('customBgPicker').files[0];
      $('customBgPicker').value = '';
      if (!file) return;
      try {
        const image = await createImageBitmap(file);
        TY.render.setCustomBackground(image);
        hadCustomBackground = true;
        customBgReturn = 'custombg';
        $('bgSelect').value = 'custombg';
        app.redrawWithResult();
        app.toast(T('背景を設定しました（アプリを閉じるまで有効。元のファイルは変更しません）',
          'Background set (kept until you close the app; your file is not modified)'));
      } catch {
        app.toast(T('この画像は背景に使えませんでした', 'Could not use this image as a background'), true);
        if (!hadCustomBackground) $('bgSelect').value = customBgReturn;
      }
    });
    // A chooser closed without a file: fall back unless an own image exists.
    $('customBgPicker').addEventListener('cancel', () => {
      if (!hadCustomBackground) $('bgSelect').value = customBgReturn;
    });

    return {
      captionsFor,
      rememberBackground,
    };
  }

  // ================================================================ settings: image title
  /**
   * The image title: text, font (with the fonts of this computer), size, style, colour palette, the nine
   * positions and free placement by dragging on the preview.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeTitle(app) {
    /** @type {{x: number, y: number}|null} */
    let titleFreePos = null;
    /** @type {string[]} */
    let systemFontNames = [];

    // Title settings.
    const TITLE_COLORS = ['#fffdf8', '#ffffff', '#d9d9d9', '#8c8c8c', '#4a4a4a', '#111111', '#3a2f24', '#6d4c41',
      '#c0392b', '#e02020', '#ff6b1a', '#ffd23e', '#ffe9a8', '#c9a227', '#7cb342', '#2e7d32', '#00897b', '#1e88e5',
      '#1a3a6b', '#7e57c2', '#d81b60', '#f48fb1', '#aab4bd', '#0d0d2b'];
    const FALLBACK_TITLE_FONTS = ['Yu Gothic UI', 'Yu Mincho', 'Meiryo', 'BIZ UDGothic', 'BIZ UDMincho',
      'UD Digi Kyokasho NK-R', 'MS Gothic', 'MS PMincho', 'Segoe UI', 'Segoe Print', 'Arial', 'Times New Roman',
      'Georgia', 'Verdana', 'Comic Sans MS', 'Impact'];
    const TITLE_DRAG_MARGIN = 0.012;
    let titleColor = TITLE_COLORS[0];

    function currentImageTitleCfg() {
      const text = $('imageTitle').value.trim();
      if (!text) return null;
      const size = Number($('titleSize').value);
      const selected = $('titlePosition').querySelector('button.selected');
      const free = $('chkTitleFree').checked;
      return {
        text,
        font: $('titleFont').value,
        size: Number.isFinite(size) && size > 0 ? size : 64,
        style: $('titleStyle').value,
        color: $('titleColorAuto').checked ? null : titleColor,
        position: selected ? selected.dataset.pos : 'bottom-center',
        free,
        freePos: free ? (titleFreePos || { x: 0.5, y: 0.5 }) : null,
      };
    }

    function buildPalette() {
      const palette = $('titleColorPalette');
      for (const color of TITLE_COLORS) {
        const button = document.createElement('button');
        button.type = 'button';
        button.style.background = color;
        button.dataset.color = color;
        button.title = color;
        button.setAttribute('aria-label', color);
        button.addEventListener('click', () => pickTitleColor(color));
        palette.appendChild(button);
      }
      pickTitleColor(TITLE_COLORS[0], true);
    }

    /** @param {string} color @param {boolean} [quiet] no redraw */
    function pickTitleColor(color, quiet) {
      titleColor = color;
      for (const b of $('titleColorPalette').children) b.classList.toggle('selected', b.dataset.color === color);
      $('titleColorSwatch').style.background = color;
      setPaletteOpen(false);
      if (!quiet) app.scheduleTitleRedraw();
    }

    /** @param {boolean} open */
    function setPaletteOpen(open) {
      $('titleColorPalette').hidden = !open;
      $('titleColorSwatch').setAttribute('aria-expanded', String(open));
    }

    const paletteOpen = () => !$('titleColorPalette').hidden;

    $('titleColorSwatch').addEventListener('click', () => setPaletteOpen(!paletteOpen()));
    document.addEventListener('pointerdown', (e) => {
      const target = /** @type {any} */ (e.target);
      if (paletteOpen() && !$('titleColorPalette').contains(target) && !$('titleColorSwatch').contains(target)) setPaletteOpen(false);
    });
    $('titleColorAuto').addEventListener('change', () => {
      if ($('titleColorAuto').checked) setPaletteOpen(false);
      app.refreshControls();
      app.scheduleTitleRedraw();
    });
    for (const id of ['imageTitle', 'titleSize', 'titleStyle']) $(id).addEventListener('input', () => app.scheduleTitleRedraw());
    $('titleFont').addEventListener('change', async () => {
      await ensureTitleFont();
      app.scheduleTitleRedraw();
    });
    $('titlePosition').addEventListener('click', (e) => {
      const button = /** @type {any} */ (e.target).closest('button[data-pos]');
      if (!button || button.disabled) return;
      selectTitlePosition(button.dataset.pos);
      app.scheduleTitleRedraw();
    });

    /** @param {string} pos */
    function selectTitlePosition(pos) {
      for (const b of $('titlePosition').querySelectorAll('button[data-pos]')) {
        const on = b.dataset.pos === pos;
        b.classList.toggle('selected', on);
        b.setAttribute('aria-pressed', String(on));
      }
    }

    $('chkTitleFree').addEventListener('change', () => {
      // The first time, the point starts where the title already is, so it does not jump.
      const box = TY.render.getTitleBox();
      if ($('chkTitleFree').checked && !titleFreePos && box && app.lastVisual) {
        titleFreePos = { x: (box.x + box.w / 2) / app.lastVisual.w, y: (box.y + box.h / 2) / app.lastVisual.h };
      }
      app.refreshControls();
      app.scheduleTitleRedraw();
    });

    /** The title controls a saved creation keeps besides its fields: colour (null for Auto), position, free point. */
    function titleSettings() {
      const selected = $('titlePosition').querySelector('button.selected');
      return {
        color: $('titleColorAuto').checked ? null : titleColor,
        position: selected ? selected.dataset.pos : 'bottom-center',
        freePos: titleFreePos,
      };
    }

    /**
     * Puts back what titleSettings gave, without a redraw.
     * @param {{color: string|null, position: string, freePos: any}} saved
     */
    function applyTitleSettings(saved) {
      $('titleColorAuto').checked = !saved.color;
      if (saved.color) {
        if (!TITLE_COLORS.includes(saved.color)) titleColor = saved.color;
        pickTitleColor(saved.color, true);
      }
      selectTitlePosition(saved.position);
      const p = saved.freePos;
      titleFreePos = p && Number.isFinite(p.x) && Number.isFinite(p.y) ? { x: p.x, y: p.y } : null;
    }

    /** The title colour and free position a page address asks for. */
    function applyAddressTitle() {
      if (address.titleColor) {
        $('titleColorAuto').checked = false;
        if (!TITLE_COLORS.includes(address.titleColor)) titleColor = address.titleColor;
        pickTitleColor(address.titleColor, true);
      }
      if (address.freePos) titleFreePos = address.freePos;
    }

    /** Outside the host no font list comes: offer the usual ones. */
    function useFallbackFonts() {
      systemFontNames = FALLBACK_TITLE_FONTS.slice();
      rebuildSystemFonts();
    }

    function ensureTitleFont() {
      return TY.render.ensureCaptionFont($('titleFont').value);
    }

    function rebuildSystemFonts() {
      const select = $('titleFont');
      const previous = select.value;
      const old = select.querySelector('optgroup[data-system]');
      if (old) old.remove();
      if (!systemFontNames.length) return;
      const group = document.createElement('optgroup');
      group.dataset.system = '1';
      group.label = T('この PC のフォント', 'Fonts on this PC');
      for (const name of systemFontNames) {
        const option = document.createElement('option');
        option.value = 'sys:' + name;
        option.textContent = name;
        option.style.fontFamily = JSON.stringify(name);
        group.appendChild(option);
      }
      select.appendChild(group);
      if ([...select.options].some((o) => o.value === previous)) select.value = previous;
    }

    bridge.on('fonts', (payload) => {
      systemFontNames = Array.isArray(payload && payload.names) ? payload.names.filter((n) => typeof n === 'string' && n) : [];
      rebuildSystemFonts();
    });

    // Free title dragging.
    /** @type {{pointerId: number, dx: number, dy: number}|null} */
    let titleDrag = null;

    /** @param {PointerEvent} e @returns {{x: number, y: number}} canvas pixels */
    function canvasPoint(e) {
      const canvas = $('preview');
      const r = canvas.getBoundingClientRect();
      return { x: (e.clientX - r.left) * canvas.width / r.width, y: (e.clientY - r.top) * canvas.height / r.height };
    }

    /** @param {{x: number, y: number}} p */
    function inTitleBox(p) {
      const box = TY.render.getTitleBox();
      if (!box) return null;
      const m = $('preview').width * TITLE_DRAG_MARGIN;
      const inside = p.x >= box.x - m && p.x <= box.x + box.w + m && p.y >= box.y - m && p.y <= box.y + box.h + m;
      return inside ? box : null;
    }

    const canDragTitle = () => $('chkTitleFree').checked && app.hasResult && !app.busy && !app.playing && !isAlbumMode();

    $('preview').addEventListener('pointerdown', (e) => {
      if (!canDragTitle()) return;
      const canvas = $('preview');
      const p = canvasPoint(e);
      const box = inTitleBox(p);
      if (!box) return;
      titleDrag = {
        pointerId: e.pointerId,
        dx: (box.x + box.w / 2 - p.x) / canvas.width,
        dy: (box.y + box.h / 2 - p.y) / canvas.height,
      };
      canvas.setPointerCapture(e.pointerId);
      e.preventDefault();
    });
    $('preview').addEventListener('pointermove', (e) => {
      const canvas = $('preview');
      if (!titleDrag) {
        canvas.style.cursor = canDragTitle() && inTitleBox(canvasPoint(e)) ? 'move' : '';
        return;
      }
      if (e.pointerId !== titleDrag.pointerId) return;
      const p = canvasPoint(e);
      const clamp01 = (/** @type {number} */ v) => Math.max(0, Math.min(1, v));
      titleFreePos = { x: clamp01(p.x / canvas.width + titleDrag.dx), y: clamp01(p.y / canvas.height + titleDrag.dy) };
      app.scheduleTitleRedraw();
    });
    for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) {
      $('preview').addEventListener(type, (/** @type {PointerEvent} */ e) => {
        if (titleDrag && e.pointerId === titleDrag.pointerId) titleDrag = null;
      });
    }

    return {
      rebuildSystemFonts,
      ensureTitleFont,
      currentImageTitleCfg,
      get titleColor() { return titleColor; },
      setPaletteOpen,
      paletteOpen,
      applyAddressTitle,
      titleSettings,
      applyTitleSettings,
      buildPalette,
      useFallbackFonts,
      pickTitleColor,
      selectTitlePosition,
      /** @param {{x: number, y: number}} pos the title's centre, 0..1 of the canvas */
      setTitleFreePos(pos) { titleFreePos = pos; },
    };
  }

  // ================================================================ settings: album
  /**
   * The album settings record read from its controls.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeAlbumSettings(app) {
    function currentAlbumCfg() {
      return {
        cover: $('albumCover').value,
        mat: $('albumMat').value,
        photosPerPage: $('albumPp').value,
        fitMode: $('albumFit').value,
        mount: $('albumMount').value,
        tapePattern: $('albumTapePattern').value,
        starMode: $('albumStar').value,
        lastAction: 'close',
        ...address.album,
      };
    }

    return {
      currentAlbumCfg,
    };
  }

  // ================================================================ generate flow and redraws
  /**
   * The generation result and its life: the generate flow, Shuffle, regenerations for changed settings,
   * the style redraw and the title redraw.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeGenerate(app) {
    let hasResult = false;
    /** @type {any} the latest generation result */
    let lastVisual = null;
    let generationId = 0;
    let visualRedrawSeq = 0;

    // Generate flow.
    const REGENERATE_DEBOUNCE_MS = 120;
    let regenerateTimer = 0;

    function emphasisMode() {
      return $('starEmphasisMode').value;
    }

    /**
     * Lays a stored layout over the current size, or a new random one.
     * @param {any} fixedLayout
     * @param {{w: number, h: number}} size
     * @param {number} count included items
     * @param {boolean} noRepeat
     * @returns {{placements: Tessary.Placement[], favourites: Tessary.Placement[], fixed: boolean, emphasisFactor?: number}}
     */
    function layoutFor(fixedLayout, size, count, noRepeat) {
      if (fixedLayout && Array.isArray(fixedLayout.drawList) && fixedLayout.drawList.length) {
        const restored = TY.layout.restoreLayout(fixedLayout, size.w, size.h, count);
        return { ...restored, fixed: true };
      }
      const included = photos.includedItems();
      const starred = photos.starredItems().map((/** @type {any} */ it) => included.indexOf(it));
      return { ...randomLayout(size, count, starred, noRepeat), fixed: false };
    }

    /**
     * A new random layout with the current photo size, density and emphasis.
     * @param {{w: number, h: number}} size
     * @param {number} count items laid
     * @param {number[]} starred their indexes in priority order
     * @param {boolean} noRepeat
     */
    function randomLayout(size, count, starred, noRepeat) {
      const L = TY.layout;
      const slider = $('densitySlider').value;
      return L.placeAll({
        w: size.w, h: size.h, scale: $('chekiSize').value,
        density: L.coveringDensity(slider), densityRaw: L.scatterDensity(slider),
        noRepeat, photoCount: count, starred, emphasis: emphasisMode(),
      });
    }

    /**
     * The side of a print's square picture on the grid of `size` with the
     * current photo size and density: the width photos are decoded at.
     * @param {{w: number, h: number}} size
     */
    function pictureSide(size) {
      const grid = TY.layout.grid(size.w, size.h, $('chekiSize').value, TY.layout.coveringDensity($('densitySlider').value));
      return grid.outerW / TY.layout.OUTER_W_RATIO;
    }

    /**
     * The generate flow: lay out, decode exactly the pictures used, draw the
     * base layer and show it. With a fixed layout that layout is drawn instead
     * of a random one, without substituting pictures that failed.
     * @param {any} [fixedLayout] {w, h, drawList}
     * @returns {Promise<{outcome: 'generated'|'unusable'|'failed'|'skipped', message?: string}>} what came of
     *   it: a picture, none because no photo decoded, an error, or nothing tried (no items, or busy)
     */
    async function regenerate(fixedLayout) {
      const included = photos.includedItems();
      if (!included.length || app.busy) return { outcome: 'skipped' };
      app.dropPendingWork();
      app.setBusy(true, T('生成しています…', 'Generating…'));
      try {
        const size = app.currentPreset();
        const noRepeat = $('chkNoRepeat').checked;
        const side = pictureSide(size);
        const laid = layoutFor(fixedLayout, size, included.length, noRepeat);
        const used = [...new Set([...laid.placements, ...laid.favourites].map((p) => p.photoIndex))];
        const decoded = await photos.ensureBitmapsFor(used, side, (done, total) => app.setBusyText(app.preparingText(done, total)));
        const ok = (/** @type {number} */ i) => !!decoded[i];
        // Pictures that fail to decode are taken out of the list; the user has to hear of it.
        const unreadable = used.filter((i) => !ok(i)).length;
        const unreadableNote = T(`読み込めなかった写真 ${unreadable} 枚を外しました（壊れているか、対応していない形式です）`,
          `Left out ${unreadable} photo(s) that could not be read (damaged or in an unsupported format)`);
        if (!used.some(ok)) {
          const message = T('使える写真がありません', 'No usable photos') + (unreadable ? ' — ' + unreadableNote : '');
          app.toast(message, true);
          return { outcome: 'unusable', message };
        }
        if (unreadable) app.toast(unreadableNote, true);
        let drawList;
        let favourites;
        if (laid.fixed) {
          favourites = laid.favourites.filter((p) => ok(p.photoIndex));
          drawList = laid.placements.filter((p) => ok(p.photoIndex)).concat(favourites);
        } else {
          ({ drawList, favourites } = TY.layout.finalizeDrawList(laid.placements, laid.favourites, ok, noRepeat));
        }
        app.setBusyText(T('生成しています…', 'Generating…'));
        const background = $('bgSelect').value;
        await TY.render.prepareBackground(background);
        await nextFrame();
        const { captions, captionCfg } = app.captionsFor(included);
        await Promise.all([captionCfg ? TY.render.ensureCaptionFont(captionCfg.font) : null, app.ensureTitleFont()]);
        const bitmaps = [];
        for (const i of used) if (decoded[i]) bitmaps[i] = decoded[i];
        const frame = $('frameSelect').value;
        const filter = $('filterSelect').value;
        const dimOthers = $('chkStarDim').checked && favourites.length > 0;
        const dimTranslucent = $('chkStarDimTranslucent').checked;
        const baseCanvas = document.createElement('canvas');
        TY.render.draw(baseCanvas, size.w, size.h, drawList, bitmaps, background, false, frame, filter,
          captions, captionCfg, null, dimOthers, dimTranslucent);
        hasResult = true;
        generationId++;
        app.setUnsavedResult(true);
        lastVisual = {
          drawList, bitmaps, sourceItems: included.slice(),
          albumPhotos: isAlbumMode() ? included.map((_, i) => i) : null,
          w: size.w, h: size.h, background, frame, filter, captions, captionCfg,
          imageTitleCfg: app.currentImageTitleCfg(), baseCanvas,
          spotlightIndex: favourites.length ? drawList.length - 1 : -1,
          dimOthers, dimTranslucent,
          emphasisFactor: laid.fixed ? TY.layout.emphasisFactor(favourites.length, emphasisMode()) : laid.emphasisFactor,
          decodeSide: side,
        };
        app.resetAlbumPosition();
        await app.restorePreview();
        return { outcome: 'generated' };
      } catch (err) {
        const message = T('生成できませんでした: ', 'Could not generate: ') + messageOf(err);
        app.toast(message, true);
        return { outcome: 'failed', message };
      } finally {
        app.setBusy(false);
        app.rebuildThumbs();
      }
    }

    /** Clear: no result any more. */
    function forgetResult() {
      hasResult = false;
      lastVisual = null;
    }

    /**
     * Gives the result back the pictures its draw list uses. Album pages decode
     * their own sizes and may release or replace the scatter's pictures; a
     * playback or restyle of the scatter must not draw empty prints.
     * @param {any} visual
     */
    async function refreshScatterBitmaps(visual) {
      const missing = [];
      for (const i of new Set(visual.drawList.map((/** @type {any} */ p) => p.photoIndex))) {
        if (TY.render.usableBitmap(visual.bitmaps[i])) continue;
        const item = visual.sourceItems[i];
        if (TY.render.usableBitmap(item.bitmap)) visual.bitmaps[i] = item.bitmap;
        else missing.push(i);
      }
      if (!missing.length) return;
      // By item, so that a photo excluded since the result was made is not a hole.
      await photos.ensureBitmapsFor(missing, visual.decodeSide, undefined, { from: visual.sourceItems });
      for (const i of missing) visual.bitmaps[i] = visual.sourceItems[i].bitmap;
    }

    /**
     * Regenerates for a changed setting or material. A Shuffle asked for while
     * one runs is refused, but a change must still reach the picture.
     */
    function regenerateForChange() {
      if (app.busy) app.deferUntilIdle('regenerate');
      else regenerate();
    }

    function scheduleRegenerate() {
      clearTimeout(regenerateTimer);
      regenerateTimer = window.setTimeout(regenerateForChange, REGENERATE_DEBOUNCE_MS);
    }

    // Style redraw.
    /** Redraws the base layer with the current style controls, same layout. */
    async function redrawCurrentVisual() {
      if (!hasResult || !lastVisual) return;
      if (app.busy) {
        app.deferUntilIdle('restyle');
        return;
      }
      const seq = ++visualRedrawSeq;
      const visual = lastVisual;
      const background = $('bgSelect').value;
      const frame = $('frameSelect').value;
      const filter = $('filterSelect').value;
      const { captions, captionCfg } = app.captionsFor(visual.sourceItems);
      await Promise.all([TY.render.prepareBackground(background), captionCfg ? TY.render.ensureCaptionFont(captionCfg.font) : null,
        isAlbumMode() ? null : refreshScatterBitmaps(visual)]);
      if (seq !== visualRedrawSeq || visual !== lastVisual || !hasResult) return;
      const dimOthers = $('chkStarDim').checked && visual.spotlightIndex >= 0;
      const dimTranslucent = $('chkStarDimTranslucent').checked;
      // The album releases pictures away from the spread shown; a scatter
      // drawn from them would have holes, so the old base layer stays then.
      const holes = visual.drawList.some((/** @type {any} */ p) => !TY.render.usableBitmap(visual.bitmaps[p.photoIndex]));
      // Scatter is then drawn again, pictures refilled, on the way back to it.
      visual.scatterStale = isAlbumMode() && holes;
      if (!visual.scatterStale) {
        const baseCanvas = document.createElement('canvas');
        TY.render.draw(baseCanvas, visual.w, visual.h, visual.drawList, visual.bitmaps, background, false, frame, filter,
          captions, captionCfg, null, dimOthers, dimTranslucent);
        visual.baseCanvas = baseCanvas;
      }
      Object.assign(visual, { background, frame, filter, captions, captionCfg, dimOthers, dimTranslucent,
        imageTitleCfg: app.currentImageTitleCfg() });
      await app.restorePreview();
      generationId++;
      app.setUnsavedResult(true);
    }

    // Title redraw.
    let titleFrameRequest = 0;

    /** Composes the title over the base layer at the next frame, at most once per frame. */
    function scheduleTitleRedraw() {
      if (app.busy || !hasResult || !lastVisual || !lastVisual.baseCanvas) return;
      cancelAnimationFrame(titleFrameRequest);
      titleFrameRequest = requestAnimationFrame(async () => {
        const cfg = app.currentImageTitleCfg();
        await app.ensureTitleFont();
        if (!hasResult || !lastVisual || !lastVisual.baseCanvas) return;
        lastVisual.imageTitleCfg = cfg;
        await app.restorePreview();
        app.setUnsavedResult(true);
      });
    }

    return {
      regenerate,
      randomLayout,
      pictureSide,
      redrawCurrentVisual,
      get hasResult() { return hasResult; },
      regenerateForChange,
      scheduleTitleRedraw,
      get lastVisual() { return lastVisual; },
      refreshScatterBitmaps,
      forgetResult,
      scheduleRegenerate,
      get generationId() { return generationId; },
    };
  }

  // ================================================================ preview and play data
  /**
   * Puts the still or the album spread on the preview canvas, and builds the play-data record with its
   * lazy album picture loader.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makePreview(app) {
    let restorePreviewSeq = 0;

    // Preview.
    /** @param {HTMLCanvasElement} canvas @param {number} w @param {number} h */
    function sizeCanvas(canvas, w, h) {
      if (canvas.width !== w) canvas.width = w;
      if (canvas.height !== h) canvas.height = h;
    }

    /**
     * Album timing of a play-data record, without the spotlight.
     * @param {any} data
     * @returns {Tessary.AlbumTiming}
     */
    function albumTiming(data) {
      return /** @type {Tessary.AlbumTiming} */ (TY.video.timing(data.drawList.length, data.speed, {
        motion: 'album', title: !!data.title, spotlight: false, albumCfg: data.albumCfg,
        w: data.w, h: data.h, drawList: data.drawList, albumPhotos: data.albumPhotos,
      }));
    }

    /** An album move draws the spread itself: a restore still waiting must not draw over it. */
    function cancelPendingRestore() {
      restorePreviewSeq++;
    }

    /** Puts the finished still, or the album spread shown, on the preview canvas. */
    async function restorePreview() {
      if (!app.hasResult || !app.lastVisual) return;
      const canvas = $('preview');
      if (!isAlbumMode()) {
        TY.render.composeTitle(canvas, app.lastVisual.baseCanvas, app.lastVisual.imageTitleCfg);
        return;
      }
      const seq = ++restorePreviewSeq;
      const visual = app.lastVisual;
      const chip = app.busy ? null : app.deferredChip(T('写真を準備しています…', 'Preparing photos…'));
      try {
        visual.albumPhotos = visual.sourceItems.map((/** @type {any} */ _, /** @type {number} */ i) => i);
        const data = attachAlbumFrameLoader(buildVideoData(), (done, total) => {
          if (chip) chip.progress(app.preparingText(done, total));
          else app.setBusyText(app.preparingText(done, total));
        });
        const tm = albumTiming(data);
        const t = albumRestTime(app.clampAlbumPosition(tm.spreads), tm);
        await data.prepareFrame(t, tm);
        if (seq !== restorePreviewSeq || visual !== app.lastVisual || !isAlbumMode()) return;
        sizeCanvas(canvas, data.w, data.h);
        TY.render.drawAnimated(canvas, data, t, tm);
        app.updateAlbumNav();
      } finally {
        if (chip) chip.done();
      }
    }

    // Play data.
    const ALBUM_CACHE = 48;

    /** Decoded pictures of a list of items, null where there is none. */
    function bitmapsOf(items) {
      return items.map((/** @type {any} */ it) => (TY.render.usableBitmap(it.bitmap) ? it.bitmap : null));
    }

    /** The play-data record of the result and the current controls. */
    function buildVideoData() {
      const v = app.lastVisual;
      const album = isAlbumMode();
      const every = v.sourceItems.map((/** @type {any} */ _, /** @type {number} */ i) => i);
      let drawList = v.drawList;
      if (album) {
        const inList = new Set(v.drawList.map((/** @type {any} */ p) => p.photoIndex));
        drawList = v.drawList.concat(every.filter((i) => !inList.has(i)).map((i) => ({ photoIndex: i, albumOnly: true })));
      }
      const title = $('videoTitle').value.trim();
      const titleCfg = app.currentImageTitleCfg();
      return {
        ...v,
        drawList,
        bitmaps: album ? bitmapsOf(v.sourceItems) : v.bitmaps,
        comments: v.sourceItems.map((/** @type {any} */ it) => photos.effectiveMemo(it) || ''),
        watermark: false,
        speed: app.speedValue() / 100,
        motion: $('videoMotion').value,
        albumPhotos: album ? (v.albumPhotos || every) : null,
        title: title || null,
        titleCfg: { font: $('titleFont').value, color: titleCfg ? titleCfg.color : ($('titleColorAuto').checked ? null : app.titleColor) },
        spotlightIndex: $('videoSpotlight').checked && v.spotlightIndex >= 0 ? v.spotlightIndex : -1,
        albumCfg: app.currentAlbumCfg(),
      };
    }

    /**
     * Gives an album record its lazy picture loader: the spread shown and its
     * neighbours are decoded at the preview cell's width, at most 48 kept.
     * @param {any} data
     * @param {(done: number, total: number) => void} [onProgress]
     */
    function attachAlbumFrameLoader(data, onProgress) {
      if (data.motion !== 'album') return data;
      const side = TY.album.previewCellSide(data.albumCfg, data.w, data.h);
      let lastKey = null;
      /** @type {Promise<void>|null} */
      let pending = null;
      data.prepareFrame = (/** @type {number} */ t, /** @type {any} */ tm) => {
        const wanted = TY.album.photoIndicesAt(data, t, tm, 1);
        const key = wanted.join(',');
        if (key === lastKey && pending) return pending;
        lastKey = key;
        pending = (async () => {
          // Decoded by item: a photo excluded since the result was made still has its sleeve.
          await photos.ensureBitmapsFor(wanted, side, onProgress, { maxCached: ALBUM_CACHE, from: data.sourceItems });
          // Faces are keyed by the pictures they show: only those whose photos just arrived are drawn again.
          data.bitmaps = bitmapsOf(data.sourceItems);
        })();
        return pending;
      };
      return data;
    }

    /**
     * The album's print pages, the one definition of them: each sheet at the
     * paper's 300 dpi size, its photos decoded at the print cell's side just
     * before it is drawn (the screen's decodes would print blurred) and let go
     * after, so that only one sheet's photos and one sheet are held at a time.
     * `onPage` owns each sheet and must release it.
     * @param {boolean} whiteBg pages without the mat's colour
     * @param {(canvas: HTMLCanvasElement, index: number) => any} onPage
     * @param {string} [paper] "a4" or "letter"; otherwise the paper select's
     * @returns {Promise<number>} the number of sheets
     */
    async function renderAlbumPrintPages(whiteBg, onPage, paper) {
      const sheet = TY.album.printPaper(paper, $('pdfPaper').value);
      const data = buildVideoData();
      await Promise.all([data.captionCfg ? TY.render.ensureCaptionFont(data.captionCfg.font) : null, app.ensureTitleFont()]);
      app.setBusyText(T('印刷用のページを準備しています…', 'Preparing pages for printing…'));
      return TY.album.renderPdfSheets(data, {
        paper: sheet, whiteBg, onPage,
        loadPhotos: async (indices, side) => {
          await photos.ensureBitmapsFor(indices, side, undefined, { maxCached: indices.length, from: data.sourceItems });
          return bitmapsOf(data.sourceItems);
        },
        onPhotos: (done, total) => app.setBusyText(T(`写真を高画質で準備しています… ${done}/${total}`,
          `Preparing photos at high quality… ${done}/${total}`)),
      });
    }

    return {
      restorePreview,
      attachAlbumFrameLoader,
      buildVideoData,
      renderAlbumPrintPages,
      albumTiming,
      cancelPendingRestore,
      sizeCanvas,
    };
  }

  // ================================================================ playback in the preview
  /**
   * Play, pause and stop of the animation on the preview canvas, at the tempo of the speed slider.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makePlayback(app) {
    let playing = false;
    /** @type {{stop: boolean, paused: boolean, rate: number}|null} */
    let playControl = null;

    // Speed.
    function speedValue() {
      const v = $('videoSpeed').value;
      return v === '' ? 100 : Number(v);
    }

    $('videoSpeed').addEventListener('input', () => {
      $('speedLabel').textContent = (speedValue() / 100).toFixed(2) + '×';
      if (playControl) playControl.rate = speedValue() / 100;
    });

    // Playback in the preview.
    function updatePlayButton() {
      const button = $('btnPlay');
      const paused = !!(playControl && playControl.paused);
      button.textContent = playing && !paused ? '❚❚' : '▶';
      let tip = T('落ちてくるアニメーションを再生（クリックで一時停止、Esc で終了）', 'Play the falling animation (click to pause; Esc to end)');
      if (playing) tip = paused ? T('ここから再開（Esc で終了）', 'Resume from here (Esc to end)') : T('一時停止（Esc で終了）', 'Pause (Esc to end)');
      button.title = tip;
      button.setAttribute('aria-label', tip);
    }

    async function togglePlay() {
      if (!app.hasResult) return;
      if (playing) {
        playControl.paused = !playControl.paused;
        updatePlayButton();
        app.setBusyText(playControl.paused ? T('一時停止中（▶ で再開、Esc で終了）', 'Paused (▶ to resume, Esc to end)') : T('再生中…', 'Playing…'));
        return;
      }
      if (app.busy) return;
      await app.ensureTitleFont();
      if (app.busy || playing) return;
      playing = true;
      playControl = { stop: false, paused: false, rate: speedValue() / 100 };
      updatePlayButton();
      app.setBusy(true, T('再生中…', 'Playing…'));
      try {
        if (!isAlbumMode()) await app.refreshScatterBitmaps(app.lastVisual);
        // Back to "Playing…" once the pages are ready: a playback reports no progress of its own.
        const data = app.attachAlbumFrameLoader(app.buildVideoData(), (done, total) =>
          app.setBusyText(done < total ? app.preparingPagesText(done, total) : T('再生中…', 'Playing…')));
        await TY.video.play($('preview'), data, null, playControl);
      } catch (err) {
        app.toast(T('再生できませんでした: ', 'Could not play: ') + messageOf(err), true);
      } finally {
        playing = false;
        playControl = null;
        updatePlayButton();
        app.setBusy(false);
        await app.restorePreview();
      }
    }

    /** Ends a playback and returns once its loop has let go of the pictures. */
    async function stopPlayback() {
      if (playControl) playControl.stop = true;
      while (playing) await nextFrame();
    }

    $('btnPlay').addEventListener('click', togglePlay);
    $('btnStop').addEventListener('click', () => stopPlayback());

    return {
      updatePlayButton,
      get playing() { return playing; },
      speedValue,
      stopPlayback,
    };
  }

  // ================================================================ control states
  /**
   * Every control's enabled and shown state, from the page's state.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeControls(app) {
    /** Recomputes every control's enabled and visible state. */
    function refreshControls() {
      const n = photos.includedItems().length;
      const total = photos.items.length;
      const captionsOff = $('captionMode').value === 'none';
      $('captionFont').disabled = captionsOff;
      $('captionSize').disabled = captionsOff;
      for (const id of ['imageTitle', 'titleFont', 'titleSize', 'titleStyle', 'titleColorAuto', 'chkTitleFree', 'chkStarDim']) {
        $(id).disabled = app.busy;
      }
      const freeTitle = $('chkTitleFree').checked;
      for (const b of $('titlePosition').querySelectorAll('button')) b.disabled = app.busy || freeTitle;
      $('titleColorSwatch').disabled = app.busy || $('titleColorAuto').checked;
      if (app.busy) app.setPaletteOpen(false);
      $('chkStarDimTranslucent').disabled = app.busy || !$('chkStarDim').checked;
      $('lightboxStar').disabled = app.busy;
      hide('customSizeFields', $('sizePreset').value !== 'custom');
      $('btnShuffle').disabled = app.busy || n === 0;
      $('btnAlbumSave').disabled = app.busy || !app.hasResult;
      $('btnSaveCreation').disabled = app.busy || !app.hasResult;
      $('btnClear').disabled = app.busy && !app.playing;
      hide('btnClear', total === 0);
      $('itemCount').textContent = itemsText(n);
      hide('emptyState', total > 0);
      hide('previewWrap', !app.hasResult);
      $('btnPlay').disabled = app.busy && !app.playing;
      hide('btnStop', !app.playing);
      $('videoMotion').disabled = app.busy;
      $('videoSpeed').disabled = app.busy && !app.playing;
      for (const id of ['btnPickFolder', 'btnPickFiles', 'btnEmptyFolder', 'btnEmptyFiles', 'btnSamples']) $(id).disabled = app.busy;
      app.refreshSetWallpaperButton();
      app.refreshUndoButton();
      app.refreshModeUi();
      app.refreshAlbumSettings();
      app.updateAlbumNav();
      app.refreshWorksControls();
    }

    return {
      refreshControls,
    };
  }

  // ================================================================ work modes and album browsing
  /**
   * Scatter and Album tabs, the settings each shows, the footer rows, and moving through the album's
   * spreads.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeModes(app) {
    let albumSpreadIdx = 0;
    let albumTurnSeq = 0;
    /** @type {Promise<void>|null} the running album page move */
    let albumTurnPending = null;
    let lastScatterMotion = 'drop';

    // Work modes.
    /**
     * Rewrites both language twins of a label, so that a later language switch
     * keeps the mode's wording.
     * @param {string} id @param {string} ja @param {string} en
     */
    function setTwinText(id, ja, en) {
      const el = $(id);
      el.setAttribute('data-ja', ja);
      el.setAttribute('data-en', en);
      el.textContent = T(ja, en);
    }

    const SCATTER_ONLY = ['chekiSizeField', 'motionField', 'sectionLayout', 'frameRow', 'sectionTitle', 'spotlightRow',
      'noRepeatRow', 'starEmphasisRow', 'starDimRow', 'starDimTranslucentRow', 'liveRow'];

    /** @param {'scatter'|'album'} mode */
    function setMode(mode) {
      if (app.busy || (mode === 'album') === isAlbumMode()) return;
      if (mode === 'album') {
        lastScatterMotion = $('videoMotion').value;
        setMotion('album');
      } else {
        setMotion(lastScatterMotion);
      }
      motionChanged();
    }

    /** The select never lists "album": the option is added only while it is chosen. */
    function setMotion(value) {
      const select = $('videoMotion');
      let albumOption = select.querySelector('option[value="album"]');
      if (value === 'album' && !albumOption) {
        albumOption = document.createElement('option');
        albumOption.value = 'album';
        albumOption.hidden = true;
        albumOption.setAttribute('data-en', 'Album page turn');
        albumOption.textContent = T('アルバムのページめくり', 'Album page turn');
        select.appendChild(albumOption);
      }
      select.value = value;
      if (value !== 'album' && albumOption) albumOption.remove();
    }

    /**
     * The motion of an opened creation, without a redraw: a scatter motion is
     * also the one the Scatter tab returns to.
     * @param {string} motion
     */
    function applyMotion(motion) {
      const known = motion === 'album' || [...$('videoMotion').options].some((/** @type {any} */ o) => o.value === motion);
      const value = known ? motion : 'drop';
      if (value !== 'album') lastScatterMotion = value;
      setMotion(value);
      albumSpreadIdx = 0;
      refreshAlbumSettings();
      refreshModeUi();
    }

    function motionChanged() {
      refreshAlbumSettings();
      refreshModeUi();
      albumSpreadIdx = 0;
      if (app.hasResult) app.restorePreview().catch(toastPreviewFailure);
      if (app.hasResult && !isAlbumMode() && app.lastVisual.scatterStale) app.redrawCurrentVisual().catch(toastPreviewFailure);
      updateAlbumNav();
    }

    $('videoMotion').addEventListener('change', () => {
      if (!isAlbumMode()) lastScatterMotion = $('videoMotion').value;
      motionChanged();
    });
    $('modeScatter').addEventListener('click', () => setMode('scatter'));
    $('modeAlbum').addEventListener('click', () => setMode('album'));
    for (const id of ['modeScatter', 'modeAlbum']) {
      $(id).addEventListener('keydown', (/** @type {KeyboardEvent} */ e) => {
        if (e.key !== 'ArrowLeft' && e.key !== 'ArrowRight') return;
        e.preventDefault();
        e.stopPropagation();
        const target = e.key === 'ArrowLeft' ? 'scatter' : 'album';
        setMode(target);
        $(target === 'album' ? 'modeAlbum' : 'modeScatter').focus();
      });
    }

    function refreshModeUi() {
      const album = isAlbumMode();
      for (const id of ['modeScatter', 'modeAlbum']) {
        const tab = $(id);
        const on = (id === 'modeAlbum') === album;
        tab.classList.toggle('selected', on);
        tab.setAttribute('aria-selected', String(on));
        tab.disabled = app.busy;
      }
      for (const id of SCATTER_ONLY) if ($(id)) hide(id, album);
      if (album && $('chkLive').checked) {
        $('chkLive').checked = false;
        $('chkLive').dispatchEvent(new Event('change'));
      }
      setTwinText('videoHeading', album ? '表紙' : '動画', album ? 'Cover' : 'Video');
      setTwinText('videoTitleLabel', album ? '表紙のタイトル' : 'オープニングタイトル', album ? 'Cover title' : 'Opening title');
      setTwinText('bgLabel', album ? '机の面' : '背景', album ? 'Desk surface' : 'Backdrop');
      refreshFooterRows();
    }

    function refreshFooterRows() {
      const live = app.liveState !== 'stopped';
      const something = app.hasResult || app.footerBackupAvailable || live;
      const wallpaperShown = bridge.isHosted && something && (!isAlbumMode() || live);
      hide('wallpaperRow', !wallpaperShown);
      hide('playRow', !app.hasResult);
      hide('footer', !wallpaperShown && !app.hasResult);
    }

    function refreshAlbumSettings() {
      const album = isAlbumMode();
      hide('sectionAlbum', !album);
      const ledger = $('albumMat').value === 'ledger';
      for (const id of ['albumCover', 'albumMat']) $(id).disabled = app.busy;
      for (const id of ['albumPp', 'albumFit', 'albumMount']) $(id).disabled = app.busy || ledger;
      const tapeApplies = $('albumMount').value === 'tape' && !ledger;
      $('albumTapePattern').disabled = app.busy || !tapeApplies;
      $('albumTapeRow').classList.toggle('inapplicable', !tapeApplies);
      const starOnTop = !!(app.lastVisual && app.lastVisual.spotlightIndex >= 0);
      if (!starOnTop) $('albumStar').value = 'none';
      $('albumStar').disabled = app.busy || !starOnTop;
      paintTapeSwatch();
    }

    function paintTapeSwatch() {
      const canvas = $('albumTapeSwatch');
      const ctx = canvas.getContext('2d');
      ctx.clearRect(0, 0, canvas.width, canvas.height);
      ctx.save();
      ctx.translate(canvas.width / 2, canvas.height / 2);
      // No random sequence: the sample shows the same torn edge as every other unseeded tape.
    TY.render.paintTape(ctx, canvas.width - 4, canvas.height - 6, undefined, 0, $('albumTapePattern').value, 0.7);
      ctx.restore();
    }

    for (const id of ['albumCover', 'albumMat', 'albumPp', 'albumFit', 'albumMount', 'albumTapePattern', 'albumStar']) {
      $(id).addEventListener('change', () => {
        refreshAlbumSettings();
        if (!app.busy && app.hasResult && isAlbumMode()) app.restorePreview().catch(toastPreviewFailure);
        else updateAlbumNav();
      });
    }

    // Album browsing.
    const JUMP_FADE_MS = 200;

    /** A new result opens at the first spread. */
    function resetAlbumPosition() {
      albumSpreadIdx = 0;
    }

    /**
     * Keeps the album position within the album's spreads and returns it.
     * @param {number} spreads @returns {number} −1 for the cover
     */
    function clampAlbumPosition(spreads) {
      albumSpreadIdx = Math.max(-1, Math.min(spreads - 1, albumSpreadIdx));
      return albumSpreadIdx;
    }

    function albumSpreadCount() {
      if (!isAlbumMode() || !app.hasResult || !app.lastVisual) return 0;
      return app.albumTiming(app.buildVideoData()).spreads;
    }

    function updateAlbumNav() {
      const shown = isAlbumMode() && app.hasResult;
      hide('albumNav', !shown);
      if (!shown) return;
      const m = Math.max(1, albumSpreadCount());
      albumSpreadIdx = Math.max(-1, Math.min(m - 1, albumSpreadIdx));
      $('albumPos').textContent = albumSpreadIdx < 0 ? T('表紙', 'Cover') : `${albumSpreadIdx + 1} / ${m}`;
      $('albumFirst').disabled = app.busy || albumSpreadIdx < 0;
      $('albumPrev').disabled = app.busy || albumSpreadIdx < 0;
      $('albumNext').disabled = app.busy || albumSpreadIdx >= m - 1;
      $('albumLast').disabled = app.busy || albumSpreadIdx >= m - 1;
    }

    /** @param {number} idx target position, −1 = cover */
    function gotoAlbumSpread(idx) {
      const move = runAlbumMove(idx).catch(toastPreviewFailure);
      albumTurnPending = move;
      move.finally(() => { if (albumTurnPending === move) albumTurnPending = null; });
      return move;
    }

    /** @param {number} idx */
    async function runAlbumMove(idx) {
      if (app.busy || !app.hasResult || !isAlbumMode()) return;
      const m = Math.max(1, albumSpreadCount());
      const from = albumSpreadIdx;
      const target = Math.max(-1, Math.min(m - 1, Math.round(idx)));
      albumSpreadIdx = target;
      updateAlbumNav();
      if (target === from) {
        await app.restorePreview();
        return;
      }
      const seq = ++albumTurnSeq;
      app.cancelPendingRestore();
      const visual = app.lastVisual;
      const alive = () => seq === albumTurnSeq && visual === app.lastVisual && isAlbumMode() && !app.playing;
      const chip = app.deferredChip(T('写真を準備しています…', 'Preparing photos…'));
      try {
        if (!isAlbumMode()) await app.refreshScatterBitmaps(app.lastVisual);
        const data = app.attachAlbumFrameLoader(app.buildVideoData(), (done, total) => chip.progress(app.preparingText(done, total)));
        const tm = app.albumTiming(data);
        const canvas = $('preview');
        if (Math.abs(target - from) > 1) await fadeToSpread(canvas, data, tm, target, chip, alive);
        else await turnToSpread(canvas, data, tm, from, target, chip, alive);
        if (!alive()) return;
        const rest = albumRestTime(target, tm);
        await data.prepareFrame(rest, tm);
        if (!alive()) return;
        app.sizeCanvas(canvas, data.w, data.h);
        TY.render.drawAnimated(canvas, data, rest, tm);
        updateAlbumNav();
      } finally {
        chip.done();
      }
    }

    /** A jump: a short cross-fade from the picture shown to the target spread. */
    async function fadeToSpread(canvas, data, tm, target, chip, alive) {
      let before = null;
      if (canvas.width > 0 && canvas.height > 0) {
        before = document.createElement('canvas');
        before.width = canvas.width;
        before.height = canvas.height;
        before.getContext('2d').drawImage(canvas, 0, 0);
      }
      const rest = albumRestTime(target, tm);
      await data.prepareFrame(rest, tm);
      if (!alive()) return;
      app.sizeCanvas(canvas, data.w, data.h);
      chip.done();
      const after = document.createElement('canvas');
      after.width = canvas.width;
      after.height = canvas.height;
      TY.render.drawAnimated(after, data, rest, tm);
      const ctx = canvas.getContext('2d');
      const start = performance.now();
      for (;;) {
        const p = Math.min(1, (performance.now() - start) / JUMP_FADE_MS);
        ctx.globalAlpha = 1;
        ctx.drawImage(after, 0, 0);
        if (before && before.width === after.width && before.height === after.height) {
          ctx.globalAlpha = 1 - p;
          ctx.drawImage(before, 0, 0);
          ctx.globalAlpha = 1;
        }
        if (p >= 1) break;
        await nextFrame();
        if (!alive()) return;
      }
      updateAlbumNav();
    }

    /** A neighbour: the cover opening or one page turn, played forwards or backwards. */
    async function turnToSpread(canvas, data, tm, from, target, chip, alive) {
      // Turns exist only between spreads; the last spread has none after it.
      if (Math.min(from, target) > tm.spreads - 2) return;
      const span = albumStepSpan(from, target, tm);
      await data.prepareFrame((span.t0 + span.t1) / 2, tm);
      if (!alive()) return;
      app.sizeCanvas(canvas, data.w, data.h);
      chip.done();
      const length = Math.min(700, Math.max(320, tm.turnDur * 600));
      const start = performance.now();
      const run = {};
      for (;;) {
        const p = Math.min(1, (performance.now() - start) / length);
        const e = easeInOut(p);
        const t = span.t0 + (span.reverse ? 1 - e : e) * (span.t1 - span.t0);
        TY.render.drawAnimated(canvas, data, t, tm, run);
        if (p >= 1) break;
        await nextFrame();
        if (!alive()) return;
      }
    }

    $('albumFirst').addEventListener('click', () => gotoAlbumSpread(-1));
    $('albumPrev').addEventListener('click', () => gotoAlbumSpread(albumSpreadIdx - 1));
    $('albumNext').addEventListener('click', () => gotoAlbumSpread(albumSpreadIdx + 1));
    $('albumLast').addEventListener('click', () => gotoAlbumSpread(albumSpreadCount() - 1));

    return {
      updateAlbumNav,
      resetAlbumPosition,
      clampAlbumPosition,
      refreshModeUi,
      refreshAlbumSettings,
      get albumSpreadIdx() { return albumSpreadIdx; },
      albumSpreadCount,
      gotoAlbumSpread,
      setMode,
      applyMotion,
      get albumTurnPending() { return albumTurnPending; },
    };
  }

  // ================================================================ materials: import and clear
  /**
   * The entrances for materials (files, folders, samples), the memo warning, the one report of each
   * import, and Clear.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeImport(app) {
    /** Absolute path of the folder last imported through the host. */
    let sourceFolder = null;

    // Import.
    /**
     * Sums an import's counts into one notice, then lists and, when something
     * was added, generates.
     * @param {{added: number, skipped: number, overflow: number, lastError?: string|null}|null} photoResult
     * @param {{added: number, skipped: number, overflow: number}|null} memoResult
     * @param {number} otherCount files of unsupported types
     * @param {number} memoDeclined memos the user chose not to import
     */
    function reportMaterialImport(photoResult, memoResult, otherCount, memoDeclined) {
      const sum = (key) => (photoResult ? photoResult[key] : 0) + (memoResult ? memoResult[key] : 0);
      const added = sum('added');
      const overflow = sum('overflow');
      const skipped = sum('skipped');
      const notes = [];
      if (overflow > 0) notes.push(T(`上限 ${photos.MAX_PHOTOS} 件を超えた ${overflow} 件`, `${overflow} over the ${photos.MAX_PHOTOS} limit`));
      // The photo side knows why its last file failed (HEIC outside the app, a codec, a timeout): say so.
      const why = photoResult && photoResult.lastError ? `: ${photoResult.lastError}` : '';
      if (skipped > 0) notes.push(T(`読み込めなかった ${skipped} 件${why}`, `${skipped} that could not be read${why}`));
      if (otherCount > 0) notes.push(T(`未対応の形式 ${otherCount} 件`, `${otherCount} in unsupported formats`));
      if (memoDeclined > 0) notes.push(T(`取り込まなかったメモ ${memoDeclined} 件`, `${memoDeclined} memos you declined`));
      if (added > 0) {
        if (notes.length) app.toast(T(`${added} 件を追加しました（${notes.join('、')}）`, `Added ${added} (${notes.join(', ')})`), true);
        else app.toast(T(`${itemsText(added)}を追加しました`, `Added ${itemsText(added)}`));
      } else if (notes.length) {
        const how = T(`対応形式: 写真 JPEG / PNG / BMP / HEIC、メモ UTF-8 の .txt / .md（先頭 ${photos.MEMO_MAX_LINES} 行）`,
          `Supported: photos JPEG / PNG / BMP / HEIC, memos UTF-8 .txt / .md (first ${photos.MEMO_MAX_LINES} lines)`);
        app.toast(T(`素材を追加できませんでした（${notes.join('、')}。${how}）`, `No items could be added (${notes.join(', ')}; ${how})`), true);
      }
      app.rebuildThumbs();
      if (added > 0) app.regenerate();
    }

    /**
     * Memos end up in the picture, and so possibly in screen sharing: ask first.
     * @param {number} count
     * @returns {Promise<boolean>} whether to import them
     */
    function askAboutMemos(count) {
      if (count === 0) return Promise.resolve(false);
      return new Promise((resolve) => app.showConfirm({
        title: T('機密のメモは使わないでください', 'Please do not use sensitive memos'),
        message: T(`メモファイルが ${count} 件含まれています。\n壁紙に設定すると、画面共有やスクリーンショットに写り、他の人に読まれることがあります。`,
          `${count} memo file(s) are included.\nIf you set this as your wallpaper, they may appear in screen sharing or screenshots and be read by others.`),
        okLabel: T('理解して取り込む', 'I understand, import'),
        onOk: () => resolve(true),
        onCancel: () => resolve(false),
      }));
    }

    /**
     * The common course of every import: the memo warning, the lock while
     * adding, then one report.
     * @param {number} memoCount
     * @param {() => Promise<any>} addPhotos
     * @param {() => Promise<any>} addMemos
     * @param {number} otherCount files of unsupported types
     */
    async function runImport(memoCount, addPhotos, addMemos, otherCount) {
      const memoAccepted = await askAboutMemos(memoCount);
      await app.untilIdle();
      app.setBusy(true, T('素材を読み込んでいます…', 'Loading items…'));
      let photoResult = null;
      let memoResult = null;
      try {
        photoResult = await addPhotos();
        if (memoAccepted) {
          app.setBusyText(T('メモを紙にしています…', 'Turning memos into paper…'));
          memoResult = await addMemos();
        }
      } finally {
        app.setBusy(false);
      }
      reportMaterialImport(photoResult, memoResult, otherCount, memoAccepted ? 0 : memoCount);
    }

    /**
     * Imports dropped, picked or sample files: photos and, when accepted, memos.
     * @param {ArrayLike<File>} files
     */
    function importFiles(files) {
      const split = photos.splitMaterials(files);
      return runImport(split.memos.length,
        () => photos.addBlobs(split.photos, (done, total) => app.setBusyText(T(`HEIC を変換しています… ${done}/${total}`, `Converting HEIC… ${done}/${total}`))),
        () => photos.addMemoFiles(split.memos),
        split.others.length);
    }

    /**
     * Adds the folder the host listed for us. Items of an earlier folder no
     * longer belong to the source folder, so a saved creation keeps copies of them.
     * @param {{folder?: string, baseUrl: string, photos?: string[], photoSizes?: unknown[], memos?: string[], unsupported?: string[], lasting?: boolean}} picked
     */
    function importHostFolder(picked) {
      if (app.busy) {
        app.toastBusyRefusal();
        return Promise.resolve();
      }
      const folder = picked.folder || null;
      if (sourceFolder && folder !== sourceFolder) {
        for (const it of photos.items) {
          if (it.origin !== 'folder') continue;
          it.origin = 'copied';
          // A photo holding its bytes came by a URL that names the folder now picked, no longer its own.
          if (it.blob) it.sourceUrl = null;
        }
      }
      sourceFolder = folder;
      const memoNames = Array.isArray(picked.memos) ? picked.memos : [];
      // Files of the folder that are neither photos nor memos, when the host names them.
      const unsupported = Array.isArray(picked.unsupported) ? picked.unsupported.length : 0;
      return runImport(memoNames.length,
        () => photos.addFromHost(picked.baseUrl, picked.photos || [], (done, total) => app.setBusyText(T(`素材を読み込んでいます… ${done}/${total}`, `Loading items… ${done}/${total}`)),
          'folder', { lasting: !!picked.lasting, sizes: picked.photoSizes }),
        () => photos.addMemosFromHost(picked.baseUrl, memoNames),
        unsupported);
    }

    bridge.on('materialFolderPicked', (picked) => { if (picked && picked.baseUrl) importHostFolder(picked); });

    const folderPicker = document.createElement('input');
    folderPicker.type = 'file';
    folderPicker.multiple = true;
    folderPicker.webkitdirectory = true;
    folderPicker.hidden = true;
    document.body.appendChild(folderPicker);

    function pickFolder() {
      if (app.busy) return;
      if (bridge.isHosted) bridge.post({ cmd: 'pickMaterialFolder', recursive: $('chkRecursive').checked });
      else folderPicker.click();
    }

    function pickFiles() {
      if (!app.busy) $('filePicker').click();
    }

    // The browser's directory picker always lists sub-folders; without the box
    // only files directly in the chosen folder (two path segments) are kept.
    folderPicker.addEventListener('change', () => {
      const recursive = $('chkRecursive').checked;
      const files = Array.from(folderPicker.files || []).filter((f) => recursive || f.webkitRelativePath.split('/').length === 2);
      folderPicker.value = '';
      if (files.length) importFiles(files);
    });
    $('filePicker').addEventListener('change', () => {
      const files = Array.from($('filePicker').files || []);
      $('filePicker').value = '';
      if (files.length) importFiles(files);
    });
    $('btnPickFolder').addEventListener('click', pickFolder);
    $('btnEmptyFolder').addEventListener('click', pickFolder);
    $('btnPickFiles').addEventListener('click', pickFiles);
    $('btnEmptyFiles').addEventListener('click', pickFiles);

    const SAMPLE_COUNT = 10;

    /** @param {number} [count] */
    function importSamples(count = SAMPLE_COUNT) {
      if (!app.busy) importFiles(photos.makeSamplePhotos(count));
    }

    $('btnSamples').addEventListener('click', () => importSamples());

    // Clear.
    async function clearMaterials() {
      if (app.busy && !app.playing) return;
      await app.stopPlayback();
      if (app.lightboxItemId !== null) app.closeLightbox();
      photos.clear();
      sourceFolder = null;
      app.forgetResult();
      app.forgetOpenCreation();
      app.setUnsavedResult(false);
      app.rebuildThumbs();
      app.toast(T('素材の一覧を空にしました（元のファイルは削除していません）', 'Emptied the photo list (the original files were not deleted)'));
    }

    $('btnClear').addEventListener('click', clearMaterials);

    return {
      importFiles,
      importSamples,
      reportMaterialImport,
      get sourceFolder() { return sourceFolder; },
      /** @param {string|null} folder the folder of an opened creation's "folder" photos */
      setSourceFolder(folder) { sourceFolder = folder; },
    };
  }

  // ================================================================ materials: thumbnail list
  /**
   * The list of items with their include and star badges, memo bands and reordering by dragging.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeThumbList(app) {
    let draggedPhotoIndex = -1;

    /** @param {any} it */
    const starBadgeText = (it) => (it.star > 0 ? '★' + it.star : '☆');
    /** @param {any} it */
    const starBadgeTip = (it) => (it.star > 0 ? T(`☆${it.star} を外す`, `Remove ☆${it.star}`) : T('☆ を付ける（いつも上に表示）', 'Star (always shown on top)'));

    /** @param {any} it @param {HTMLElement} cell @param {HTMLButtonElement} badge */
    function showInclusion(it, cell, badge) {
      cell.classList.toggle('excluded', !it.included);
      badge.textContent = it.included ? '−' : '＋';
      badge.title = it.included ? T('この写真を除外', 'Exclude this photo') : T('この写真を含める', 'Include this photo');
      badge.setAttribute('aria-label', badge.title);
    }

    /** @param {string} className @param {string} text */
    function makeButton(className, text) {
      const b = document.createElement('button');
      b.type = 'button';
      b.className = className;
      b.textContent = text;
      return b;
    }

    /** @param {any} it @param {number} index */
    function makeThumb(it, index) {
      const cell = document.createElement('div');
      cell.className = 'thumb';
      cell.setAttribute('role', 'listitem');
      cell.dataset.id = String(it.id);
      cell.draggable = true;

      const open = makeButton('thumb-open', '');
      open.title = T(`${it.name}（クリックで拡大）`, `${it.name} (click to enlarge)`);
      open.setAttribute('aria-label', open.title);
      const img = document.createElement('img');
      img.loading = 'lazy';
      img.alt = '';
      img.src = it.thumbUrl;
      img.draggable = false;
      open.appendChild(img);
      open.addEventListener('click', () => app.openLightbox(it));

      const include = makeButton('thumb-badge thumb-include', '');
      showInclusion(it, cell, include);
      include.addEventListener('click', (e) => {
        e.stopPropagation();
        photos.toggle(it.id);
        showInclusion(it, cell, include);
        app.refreshControls();
      });

      const star = makeButton('thumb-badge thumb-star', starBadgeText(it));
      star.classList.toggle('starred', it.star > 0);
      star.title = starBadgeTip(it);
      star.addEventListener('click', (e) => {
        e.stopPropagation();
        app.toggleStarWithFeedback(it.id);
      });
      cell.append(open, include, star);

      const memo = photos.effectiveMemo(it);
      if (memo) {
        const band = document.createElement('div');
        band.className = 'thumb-memo';
        band.textContent = memo;
        cell.appendChild(band);
      }

      cell.addEventListener('dragstart', (e) => {
        draggedPhotoIndex = index;
        e.dataTransfer.setData(PHOTO_DRAG, String(index));
        e.dataTransfer.effectAllowed = 'move';
      });
      // A drop on a cell rebuilds the list, so the dragged cell may have left
      // the document and its dragend never reaches the document's listener.
      cell.addEventListener('dragend', () => {
        draggedPhotoIndex = -1;
        app.endInternalDrag();
        markDropTarget(null);
      });
      cell.addEventListener('dragover', (e) => {
        if (draggedPhotoIndex < 0) return;
        e.preventDefault();
        markDropTarget(cell);
      });
      cell.addEventListener('drop', (e) => {
        if (draggedPhotoIndex < 0) return;
        e.preventDefault();
        e.stopPropagation();
        const from = draggedPhotoIndex;
        draggedPhotoIndex = -1;
        app.endInternalDrag();
        markDropTarget(null);
        reorderThumb(from, index);
      });
      return cell;
    }

    /** @param {HTMLElement|null} cell */
    function markDropTarget(cell) {
      for (const el of $('thumbList').querySelectorAll('.drop-target')) if (el !== cell) el.classList.remove('drop-target');
      if (cell) cell.classList.add('drop-target');
    }

    /** @param {number} from @param {number} to positions in the whole list */
    function reorderThumb(from, to) {
      if (!photos.move(from, to)) return;
      rebuildThumbs();
      app.setUnsavedResult(true);
      // Album pages follow the list order; a scatter does not.
      if (isAlbumMode() && app.hasResult) app.regenerateForChange();
    }

    function rebuildThumbs() {
      const list = $('thumbList');
      list.textContent = '';
      photos.items.forEach((it, i) => list.appendChild(makeThumb(it, i)));
      app.refreshControls();
      app.refreshStarDock();
    }

    /** Updates the star badges in place, without rebuilding the list. */
    function updateStarThumbs() {
      for (const cell of $('thumbList').querySelectorAll('.thumb')) {
        const it = photos.items.find((x) => String(x.id) === cell.dataset.id);
        const badge = cell.querySelector('.thumb-star');
        if (!it || !badge) continue;
        badge.textContent = starBadgeText(it);
        badge.title = starBadgeTip(it);
        badge.classList.toggle('starred', it.star > 0);
      }
    }

    return {
      rebuildThumbs,
      updateStarThumbs,
      starBadgeText,
      starBadgeTip,
    };
  }

  // ================================================================ materials: favourites dock
  /**
   * Starring with the limit, and the five priority slots with their preview and reordering.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeFavourites(app) {
    const DOCK_PREVIEW_MS = 250;
    const DOCK_CLICK_QUIET_MS = 400;
    const DOCK_MARGIN = 8;
    let draggedStarId = 0;
    let suppressStarClickUntil = 0;
    let dockPreviewTimer = 0;

    /** @param {number} id */
    function toggleStarWithFeedback(id) {
      const result = photos.toggleStar(id);
      if (result.limit) {
        app.toast(T(`☆ は ${photos.FEATURED_MAX} 枚までです`, `You can star up to ${photos.FEATURED_MAX} photos`), true);
        return;
      }
      if (!result.changed) return;
      app.updateStarThumbs();
      refreshStarDock();
      if (app.lightboxItemId === id) app.showLightboxChrome();
      if (app.hasResult) app.scheduleRegenerate();
    }

    /** @param {number} slot @returns {any} the item with that star, or null */
    const itemWithStar = (slot) => photos.items.find((it) => it.star === slot) || null;

    function refreshStarDock() {
      for (const button of $('starSlots').querySelectorAll('.star-slot')) {
        const slot = Number(button.dataset.slot);
        const it = itemWithStar(slot);
        button.classList.toggle('filled', !!it);
        button.draggable = !!it;
        const label = it ? T(`☆${slot}、${it.name}。ドラッグで優先度を変更`, `☆${slot}, ${it.name}. Drag to change priority`) : T(`☆${slot}: 空き`, `☆${slot}: Empty`);
        button.setAttribute('aria-label', label);
        button.title = it ? T(`☆${slot}: ${it.name}（ドラッグで優先度を変更）`, `☆${slot}: ${it.name} (drag to change priority)`) : T(`☆${slot}: 空き`, `☆${slot}: Empty`);
      }
    }

    const dockPreview = document.createElement('div');
    dockPreview.className = 'dock-preview';
    dockPreview.hidden = true;
    document.body.appendChild(dockPreview);

    /** @param {HTMLElement} button */
    function showDockPreview(button) {
      const slot = Number(button.dataset.slot);
      const it = itemWithStar(slot);
      if (!it) return;
      dockPreview.textContent = '';
      const img = document.createElement('img');
      img.src = it.thumbUrl;
      img.alt = '';
      const name = document.createElement('div');
      name.className = 'dock-preview-name';
      name.textContent = it.name;
      const priority = document.createElement('div');
      priority.className = 'muted';
      priority.textContent = slot === 1 ? T('優先度 ☆1（動画の締め）', 'Priority ☆1 (video spotlight)') : T(`優先度 ☆${slot}`, `Priority ☆${slot}`);
      dockPreview.append(img, name, priority);
      dockPreview.hidden = false;
      const r = button.getBoundingClientRect();
      const card = dockPreview.getBoundingClientRect();
      const left = Math.max(DOCK_MARGIN, Math.min(window.innerWidth - card.width - DOCK_MARGIN, r.left + r.width / 2 - card.width / 2));
      const above = r.top - DOCK_MARGIN - card.height;
      dockPreview.style.left = left + 'px';
      dockPreview.style.top = (above >= 0 ? above : r.bottom + DOCK_MARGIN) + 'px';
    }

    function hideDockPreview() {
      clearTimeout(dockPreviewTimer);
      dockPreview.hidden = true;
    }

    for (const button of $('starSlots').querySelectorAll('.star-slot')) {
      button.addEventListener('pointerenter', () => {
        clearTimeout(dockPreviewTimer);
        dockPreviewTimer = window.setTimeout(() => showDockPreview(button), DOCK_PREVIEW_MS);
      });
      button.addEventListener('pointerleave', hideDockPreview);
      button.addEventListener('focus', () => showDockPreview(button));
      button.addEventListener('blur', hideDockPreview);
      button.addEventListener('click', () => {
        if (Date.now() < suppressStarClickUntil) return;
        const it = itemWithStar(Number(button.dataset.slot));
        if (!it) return;
        hideDockPreview();
        const cell = $('thumbList').querySelector(`.thumb[data-id="${it.id}"]`);
        if (!cell) return;
        cell.scrollIntoView({ behavior: 'smooth', block: 'center' });
        cell.querySelector('.thumb-open').focus({ preventScroll: true });
      });
      button.addEventListener('dragstart', (e) => {
        const it = itemWithStar(Number(button.dataset.slot));
        if (!it) {
          e.preventDefault();
          return;
        }
        hideDockPreview();
        draggedStarId = it.id;
        e.dataTransfer.setData(STAR_DRAG, String(it.id));
        e.dataTransfer.effectAllowed = 'move';
      });
      button.addEventListener('dragend', () => {
        draggedStarId = 0;
        suppressStarClickUntil = Date.now() + DOCK_CLICK_QUIET_MS;
      });
      button.addEventListener('dragover', (e) => {
        if (draggedStarId && itemWithStar(Number(button.dataset.slot))) e.preventDefault();
      });
      button.addEventListener('drop', (e) => {
        const slot = Number(button.dataset.slot);
        if (!draggedStarId || !itemWithStar(slot)) return;
        e.preventDefault();
        e.stopPropagation();
        const id = draggedStarId;
        draggedStarId = 0;
        suppressStarClickUntil = Date.now() + DOCK_CLICK_QUIET_MS;
        if (!photos.reorderStar(id, slot).changed) return;
        app.updateStarThumbs();
        refreshStarDock();
        if (app.hasResult) app.scheduleRegenerate();
        app.toast(T('☆ の優先度を変更しました', 'Star priority changed'));
      });
    }

    return {
      toggleStarWithFeedback,
      refreshStarDock,
    };
  }

  // ================================================================ materials: viewer
  /**
   * The photo viewer: whole picture or natural size, stepping, starring and the in-app memo.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeViewer(app) {
    const VIEWER_DOC = '<!doctype html><html><head><meta charset="utf-8"><style>'
      + 'html,body{margin:0;height:100%;background:#171717;}'
      + 'body{display:grid;place-items:center;overflow:hidden;}'
      + 'body.zoom{display:block;overflow:auto;}'
      + '#c,#i{grid-area:1/1;max-width:100vw;max-height:100vh;display:block;}'
      + 'body.zoom #i{max-width:none;max-height:none;}'
      + '#i{cursor:zoom-in;}body.zoom #i{cursor:zoom-out;}'
      + '</style></head><body><canvas id="c" hidden></canvas><img id="i" alt="" hidden></body></html>';
    /** @type {number|null} */
    let lightboxItemId = null;
    let lightboxUrl = '';
    let lightboxShownMemo = '';
    /** @type {{doc: Document, canvas: HTMLCanvasElement, img: HTMLImageElement}|null} */
    let viewer = null;

    $('lightboxFrame').addEventListener('load', () => {
      const doc = $('lightboxFrame').contentDocument;
      if (!doc || !doc.getElementById('i')) return;
      viewer = { doc, canvas: /** @type {any} */ (doc.getElementById('c')), img: /** @type {any} */ (doc.getElementById('i')) };
      viewer.img.addEventListener('click', (e) => toggleViewerZoom(e));
      viewer.doc.addEventListener('keydown', (e) => window.dispatchEvent(new KeyboardEvent('keydown', e)));
      const open = currentLightboxItem();
      if (open) showLightboxPicture(open);
    });
    $('lightboxFrame').srcdoc = VIEWER_DOC;

    /** @param {MouseEvent} e */
    function toggleViewerZoom(e) {
      const { doc, img } = viewer;
      const body = doc.body;
      if (body.classList.contains('zoom')) {
        body.classList.remove('zoom');
        return;
      }
      const r = img.getBoundingClientRect();
      const fx = (e.clientX - r.left) / r.width;
      const fy = (e.clientY - r.top) / r.height;
      body.classList.add('zoom');
      const view = doc.defaultView;
      doc.scrollingElement.scrollLeft = img.naturalWidth * fx - view.innerWidth / 2;
      doc.scrollingElement.scrollTop = img.naturalHeight * fy - view.innerHeight / 2;
    }

    function currentLightboxItem() {
      return lightboxItemId === null ? null : photos.items.find((it) => it.id === lightboxItemId) || null;
    }

    function showLightboxChrome() {
      const it = currentLightboxItem();
      if (!it) {
        closeLightbox();
        return;
      }
      const idx = photos.items.indexOf(it);
      $('lightboxName').textContent = it.name;
      $('lightboxCounter').textContent = `${idx + 1} / ${photos.items.length}`;
      $('lightboxPrev').disabled = idx <= 0;
      $('lightboxNext').disabled = idx >= photos.items.length - 1;
      $('lightboxStar').textContent = app.starBadgeText(it);
      $('lightboxStar').title = app.starBadgeTip(it);
    }

    /** @param {any} it */
    function showLightboxPicture(it) {
      if (!viewer) return;
      const { doc, canvas, img } = viewer;
      doc.body.classList.remove('zoom');
      if (TY.render.usableBitmap(it.bitmap)) {
        canvas.width = it.bitmap.width;
        canvas.height = it.bitmap.height;
        canvas.getContext('2d').drawImage(it.bitmap, 0, 0);
        canvas.hidden = false;
      } else {
        canvas.hidden = true;
      }
      const shown = () => {
        img.hidden = false;
        canvas.hidden = true;
      };
      if (img.dataset.itemId === String(it.id) && img.complete && img.naturalWidth > 0) {
        shown();
        return;
      }
      img.hidden = true;
      if (lightboxUrl) URL.revokeObjectURL(lightboxUrl);
      // A photo the host serves is shown from there; only bytes the page holds need an object URL.
      lightboxUrl = it.blob ? URL.createObjectURL(it.blob) : '';
      img.dataset.itemId = String(it.id);
      img.onload = () => { if (lightboxItemId === it.id) shown(); };
      img.src = lightboxUrl || it.fileUrl || '';
    }

    /** @param {any} it */
    function openLightbox(it) {
      lightboxItemId = it.id;
      lightboxShownMemo = photos.effectiveMemo(it) || '';
      $('lightboxMemo').value = lightboxShownMemo;
      $('lightbox').hidden = false;
      showLightboxChrome();
      if (lightboxItemId !== null) showLightboxPicture(it);
    }

    function closeLightbox() {
      commitMemo();
      $('lightbox').hidden = true;
      if (viewer) {
        viewer.img.removeAttribute('src');
        delete viewer.img.dataset.itemId;
      }
      if (lightboxUrl) URL.revokeObjectURL(lightboxUrl);
      lightboxUrl = '';
      lightboxItemId = null;
    }

    /** @param {number} delta */
    function lightboxStep(delta) {
      const it = currentLightboxItem();
      if (!it) return;
      const next = photos.items[photos.items.indexOf(it) + delta];
      if (!next) return;
      commitMemo();
      openLightbox(next);
    }

    /** Keeps a typed memo: in the page only, never in the user's file. */
    function commitMemo() {
      const it = currentLightboxItem();
      if (!it) return;
      const text = $('lightboxMemo').value.trim();
      if (text === lightboxShownMemo.trim()) return;
      photos.setMemo(it.id, text);
      lightboxShownMemo = text;
      app.rebuildThumbs();
      if (!app.hasResult) return;
      if ($('captionMode').value === 'memo') app.regenerateForChange();
      else if (isAlbumMode()) app.restorePreview().catch(toastPreviewFailure);
    }

    $('lightboxClose').addEventListener('click', closeLightbox);
    $('lightbox').addEventListener('click', (e) => { if (e.target === $('lightbox')) closeLightbox(); });
    $('lightboxPrev').addEventListener('click', () => lightboxStep(-1));
    $('lightboxNext').addEventListener('click', () => lightboxStep(1));
    $('lightboxStar').addEventListener('click', () => {
      if (!app.busy && lightboxItemId !== null) app.toggleStarWithFeedback(lightboxItemId);
    });
    $('lightboxMemo').addEventListener('change', commitMemo);
    $('lightboxMemo').addEventListener('keydown', (e) => {
      e.stopPropagation();
      if (e.key === 'Enter' && e.ctrlKey) {
        e.preventDefault();
        commitMemo();
      }
    });

    return {
      get lightboxItemId() { return lightboxItemId; },
      showLightboxChrome,
      closeLightbox,
      openLightbox,
      lightboxStep,
    };
  }

  // ================================================================ pending request
  /**
   * The one save or still-wallpaper request the page waits for (`currentRequest`). A new request
   * replaces the pending one, and only the pending one's answers count, each once: every step of a
   * request is sent and awaited on a request channel of TY.bridge matched by `requestId`, and
   * replacing a request abandons it on every channel it used, so its late or repeated answers are
   * dropped. A request may take several channels, one per step (a save's target, then its file), so
   * that an answer of one step can never settle another.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeRequests(app) {
    let nextRequestId = 1;
    /** @type {PageRequest|null} */
    let currentRequest = null;

    /**
     * @typedef {{requestId: string, kind: 'save'|'wallpaper', generationId: number,
     *   channels: Set<Tessary.RequestChannel>}} PageRequest
     */

    /**
     * Makes the pending request of `kind` with the current generation, replacing the one pending.
     * @param {'save'|'wallpaper'} kind
     * @returns {PageRequest}
     */
    function beginRequest(kind) {
      dropRequest();
      currentRequest = { requestId: `r${nextRequestId++}-${Date.now()}`, kind, generationId: app.generationId, channels: new Set() };
      return currentRequest;
    }

    /**
     * One step of the request, answered on `channel`: `send` is the message (it gets the `requestId`)
     * or posts it for the given id; resolves with the first answer for it. Rejects when the request
     * was replaced or dropped meanwhile (code "abandoned"), or on time-out.
     * @param {PageRequest} request
     * @param {Tessary.RequestChannel} channel
     * @param {object | ((requestId: string) => void)} send
     * @param {number} [timeoutMs]
     * @returns {Promise<Tessary.AnswerOf>}
     */
    function requestStep(request, channel, send, timeoutMs) {
      if (request !== currentRequest) return Promise.reject(Object.assign(new Error('request replaced'), { code: 'abandoned' }));
      request.channels.add(channel);
      return channel.request(send, { id: request.requestId, timeoutMs });
    }

    /** The request has ended (accepted or failed); a replaced one leaves the newer pending. @param {PageRequest} request */
    function endRequest(request) {
      if (currentRequest === request) currentRequest = null;
    }

    /**
     * Forgets a request, the pending one unless another is named; its answers are ignored from now on.
     * @param {PageRequest|null} [request]
     */
    function dropRequest(request = currentRequest) {
      if (!request) return;
      if (currentRequest === request) currentRequest = null;
      for (const channel of request.channels) channel.abandon(request.requestId);
    }

    return {
      get currentRequest() { return currentRequest; },
      beginRequest,
      requestStep,
      endRequest,
      dropRequest,
    };
  }

  // ================================================================ save: pictures and videos
  /**
   * "Save creation" and Ctrl+S: the host asks where and in what type, the page produces that type and
   * sends it in chunks, each save being the page's pending request. The standalone page downloads a PNG
   * instead.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeSave(app) {
    const JPEG_QUALITY = 0.92;
    const DOWNLOAD_URL_LIFE_MS = 10000;
    /** The request of the save begun at the exit question: the program closes once that save is done. */
    let exitSaveId = '';
    /** The package being written was begun at the exit question. */
    let kiroExitAfter = false;
    // The two steps of a save listen apart, so that an answer of one step
    // (a repeated target, say) can never settle the other.
    const targetAnswers = bridge.requestChannel({ answers: ['saveTargetChosen', 'saveCancelled', 'saveError'], idField: 'requestId' });
    const writeAnswers = bridge.requestChannel({ answers: ['saveDone', 'saveCancelled', 'saveError'], idField: 'requestId' });

    /**
     * Sends one step of a save and waits for its answer; null when the save was replaced meanwhile.
     * @param {any} request the pending request @param {Tessary.RequestChannel} channel
     * @param {object | ((id: string) => void)} send
     */
    async function ask(request, channel, send) {
      try {
        return await app.requestStep(request, channel, send);
      } catch (err) {
        if (err && err.code === 'abandoned') return null;
        throw err;
      }
    }

    /** @param {any} payload @returns {string} the host's own message */
    const hostMessage = (payload) => (payload && payload.message ? String(payload.message) : T('不明なエラー', 'unknown error'));

    /**
     * The end of a save, once: the host wrote the file, the user cancelled, or it failed.
     * @param {any} request @param {string} event @param {any} payload
     * @returns {SaveOutcome} the answer taken, or null when the save was no longer the pending one
     */
    function complete(request, event, payload) {
      if (app.currentRequest !== request) return null;
      const closeAfter = exitSaveId === request.requestId;
      exitSaveId = '';
      app.endRequest(request);
      app.setBusy(false);
      if (event === 'saveDone') {
        app.toast(T('保存しました: ', 'Saved: ') + String((payload && payload.path) || ''));
        app.setUnsavedResult(false);
        if (closeAfter) app.closeAskingAboutWallpaper();
      } else if (event === 'saveError') {
        app.toast(T('保存できませんでした: ', 'Save failed: ') + hostMessage(payload), true);
      }
      return { event, payload };
    }

    async function untilAlbumTurnEnds() {
      while (app.albumTurnPending) await app.albumTurnPending;
    }

    /**
     * How a save ended: `saveDone`, `saveCancelled` or `saveError` with the host's payload,
     * `videoFailed` with the recording's `message`, or `saveTargetChosen` for a PDF, whose paper dialog
     * is then open; null when nothing was saved (nothing to save, busy, replaced, no host).
     * @typedef {{event: string, payload: any}|null} SaveOutcome
     */

    /**
     * Starts a save: the host's dialog picks file and type.
     * @param {{exitAfter?: boolean}} [options] `exitAfter`: begun at the exit question
     * @returns {Promise<SaveOutcome>}
     */
    async function saveImage(options = {}) {
      // A half-turned page is never saved.
      await untilAlbumTurnEnds();
      if (!app.hasResult || app.busy || app.pdfDialogOpen()) return null;
      if (!bridge.isHosted) {
        await downloadPng();
        return null;
      }
      app.setBusy(true, T('保存先を選んでいます…', 'Choosing where to save…'));
      const request = app.beginRequest('save');
      exitSaveId = options.exitAfter ? request.requestId : '';
      let answer;
      try {
        answer = await ask(request, targetAnswers, { cmd: 'chooseImageSave', generationId: request.generationId, album: isAlbumMode() });
      } catch (err) {
        answer = { event: 'saveError', payload: { message: messageOf(err) } };
      }
      if (!answer) return null;
      if (answer.event !== 'saveTargetChosen') return complete(request, answer.event, answer.payload);
      const format = answer.payload && answer.payload.format;
      if (format === 'mp4') return recordAndSend(request);
      if (format === 'pdf') {
        choosePdfOptions(request);
        return answer;
      }
      if (format === 'kiro') {
        await exportPackage(request);
        return null;
      }
      return encodeAndSend(request, format === 'jpeg' ? 'jpg' : 'png');
    }

    /**
     * "Live wallpaper": the hand-over goes to the host as for the live wallpaper, but only to be packed into
     * the chosen file; the host's kiroExported ends the request. A package saved at the exit question
     * closes the program once it is written, as a picture does.
     * @param {any} request
     */
    async function exportPackage(request) {
      kiroExitAfter = exitSaveId === request.requestId;
      exitSaveId = '';
      // The hand-over refuses to start while the page is busy.
      app.setBusy(false);
      let sent = false;
      try {
        sent = await app.startLiveWallpaper({ handoffOnly: true });
      } finally {
        if (!sent && app.currentRequest === request) {
          app.endRequest(request);
          app.setBusy(false);
          app.toast(T('書き出せませんでした', 'Could not export'), true);
        }
      }
    }

    bridge.on('kiroExported', (payload) => {
      const request = app.currentRequest;
      if (request && request.kind === 'save') app.endRequest(request);
      const closeAfter = kiroExitAfter;
      kiroExitAfter = false;
      app.setBusy(false);
      app.refreshControls();
      if (payload && payload.error !== undefined) {
        app.toast(T('書き出せませんでした（', 'Could not export (') + String(payload.error || T('不明', 'unknown')) + T('）', ')'), true);
        return;
      }
      app.setUnsavedResult(false);
      app.toast(T('ライブ壁紙を保存しました', 'Live wallpaper saved'));
      if (closeAfter) app.closeAskingAboutWallpaper();
    });

    /**
     * The PDF's pages and paper are asked in the page's own dialog; the destination is chosen already,
     * and the PDF's steps make a request of their own.
     * @param {any} request
     */
    function choosePdfOptions(request) {
      const closeAfter = exitSaveId === request.requestId;
      exitSaveId = '';
      app.endRequest(request);
      app.setBusy(false);
      app.openPdfDialog({ chosenPath: true, exitAfter: closeAfter });
    }

    /**
     * The picture on the preview, as it was when the type was chosen.
     * @param {any} request @param {'png'|'jpg'} format
     * @returns {Promise<SaveOutcome>}
     */
    async function encodeAndSend(request, format) {
      app.setBusy(true, T('保存の準備をしています…', 'Preparing to save…'));
      let base64;
      try {
        base64 = await canvasBase64($('preview'), format === 'jpg' ? 'image/jpeg' : 'image/png', JPEG_QUALITY);
      } catch (err) {
        return complete(request, 'saveError', { message: messageOf(err) });
      }
      return send(request, base64, format);
    }

    /**
     * @param {any} request
     * @param {string} base64 @param {string} format
     * @returns {Promise<SaveOutcome>}
     */
    async function send(request, base64, format) {
      let answer;
      try {
        answer = await ask(request, writeAnswers, (requestId) => bridge.sendChunks('saveImage', base64,
          { format, requestId, generationId: request.generationId }));
      } catch (err) {
        answer = { event: 'saveError', payload: { message: messageOf(err) } };
      }
      return answer ? complete(request, answer.event, answer.payload) : null;
    }

    /** @param {number} p 0..1 */
    const recordingText = (p) => T(`動画を録画しています… ${Math.round(p * 100)}%`, `Recording video… ${Math.round(p * 100)}%`);

    /**
     * Records the animation in real time on the preview, then sends it: MP4, or WebM where the browser
     * records no MP4 (the host then asks once more where the WebM goes).
     * @param {any} request
     * @returns {Promise<SaveOutcome>}
     */
    async function recordAndSend(request) {
      if (!app.hasResult) {
        app.dropRequest(request);
        app.setBusy(false);
        return null;
      }
      let base64;
      let format;
      /** @type {SaveOutcome} */
      let failure = null;
      try {
        app.setBusyText(T('動画を作成しています…（少し時間がかかります）', 'Creating the video… (this takes a moment)'));
        await app.ensureTitleFont();
        if (!isAlbumMode()) await app.refreshScatterBitmaps(app.lastVisual);
        const data = app.attachAlbumFrameLoader(app.buildVideoData(), (done, total) =>
          app.setBusyText(app.preparingPagesText(done, total)));
        app.setBusy(true, recordingText(0));
        const recorded = await TY.video.record($('preview'), data, (p) => app.setBusyText(recordingText(p)));
        format = recorded.mime.includes('mp4') ? 'mp4' : 'webm';
        app.setBusyText(T('保存の準備をしています…', 'Preparing to save…'));
        base64 = await blobBase64(recorded.blob);
      } catch (err) {
        app.dropRequest(request);
        app.setBusy(false);
        app.toast(T('動画を作成できませんでした: ', 'Video failed: ') + messageOf(err), true);
        failure = { event: 'videoFailed', payload: { message: messageOf(err) } };
      } finally {
        // Recording drew the animation's frames on the preview.
        await app.restorePreview();
      }
      return base64 !== undefined ? send(request, base64, format) : failure;
    }

    /** Without a host: the preview as a PNG download. */
    async function downloadPng() {
      const size = app.currentPreset();
      app.setBusy(true, T('保存の準備をしています…', 'Preparing to save…'));
      try {
        const url = URL.createObjectURL(await encodeCanvas($('preview'), 'image/png'));
        const link = document.createElement('a');
        link.href = url;
        link.download = `Tessary_${size.w}x${size.h}_${fileStamp(new Date())}.png`;
        document.body.appendChild(link);
        link.click();
        link.remove();
        window.setTimeout(() => URL.revokeObjectURL(url), DOWNLOAD_URL_LIFE_MS);
        app.toast(T('保存しました（ダウンロード）', 'Saved (download)'));
        app.setUnsavedResult(false);
      } catch (err) {
        app.toast(T('保存できませんでした: ', 'Save failed: ') + messageOf(err), true);
      } finally {
        app.setBusy(false);
      }
    }

    $('btnSaveCreation').addEventListener('click', () => saveImage());

    return {
      saveImage,
      untilAlbumTurnEnds,
    };
  }

  // ================================================================ save: album PDF
  /**
   * The album as a PDF of 300 dpi pages: the page's dialog for paper and background, then each page
   * drawn, encoded, sent and released before the next, the host writing each into the file. A PDF's
   * steps are the page's pending request, of kind "save".
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeAlbumPdf(app) {
    // Each step listens apart, so a repeated or late answer of one step can never settle another.
    const startAnswers = bridge.requestChannel({ answers: ['albumPdfReady', 'albumPdfCancelled', 'albumPdfError'], idField: 'requestId' });
    const pageAnswers = bridge.requestChannel({ answers: ['albumPdfPageDone', 'albumPdfError'], idField: 'requestId' });
    const finishAnswers = bridge.requestChannel({ answers: ['albumPdfDone', 'albumPdfError'], idField: 'requestId' });
    let pdfUsesChosenPath = false;
    let paperTouched = false;
    /** The PDF's save began at the exit question: the program closes once it is written. */
    let exitAfterPdf = false;

    const regionalPaper = () => defaultPaper([navigator.language, ...(navigator.languages || [])]);
    $('pdfPaper').value = regionalPaper();
    $('pdfPaper').addEventListener('change', () => { paperTouched = true; });

    const pdfDialogOpen = () => !$('pdfDialog').hidden;

    /**
     * @param {{chosenPath: boolean, exitAfter: boolean}} options `chosenPath`: the save dialog chose the
     *   file already; `exitAfter`: close the program once the PDF is written
     */
    function openPdfDialog(options) {
      if (!paperTouched) $('pdfPaper').value = regionalPaper();
      pdfUsesChosenPath = options.chosenPath;
      exitAfterPdf = options.exitAfter;
      $('pdfDialog').hidden = false;
      $('pdfSave').focus();
    }

    function hidePdfDialog() {
      $('pdfDialog').hidden = true;
      $('btnSaveCreation').focus();
    }

    /** Closed without saving: nothing is written and the program stays open. */
    function dismissPdfDialog() {
      if (!pdfDialogOpen()) return;
      hidePdfDialog();
      pdfUsesChosenPath = false;
      exitAfterPdf = false;
    }

    /** @param {any} payload @returns {Error} the host's failure with its own message */
    const hostFailure = (payload) => Object.assign(new Error(payload && payload.message ? String(payload.message)
      : T('不明なエラー', 'unknown error')), { fromHost: true });
    const failedText = () => T('PDF を保存できませんでした', 'Could not save the PDF');

    /**
     * Writes the album as a PDF with the dialog's paper and background.
     * @returns {Promise<{event: string, payload: any}|null>} `albumPdfDone` (its `path`); `albumPdfError`
     *   with the host's `message`; `albumPdfFailed` with the page's own; `albumPdfCancelled`; null when
     *   nothing began (nothing to save, busy, replaced)
     */
    async function saveAlbumPdf() {
      const useChosenPath = pdfUsesChosenPath;
      const closeAfter = exitAfterPdf;
      pdfUsesChosenPath = false;
      exitAfterPdf = false;
      hidePdfDialog();
      await app.untilAlbumTurnEnds();
      if (!app.hasResult || app.busy || !isAlbumMode()) return null;
      const request = app.beginRequest('save');
      const paper = $('pdfPaper').value;
      const whiteBg = $('pdfWhite').checked;
      app.setBusy(true, T('保存先を選んでください…', 'Choose where to save…'));
      let started;
      try {
        started = await app.requestStep(request, startAnswers, { cmd: 'beginAlbumPdf', paper, useChosenPath });
      } catch (err) {
        // A replaced request belongs to the flow that replaced it, busy lock included.
        if (err && err.code === 'abandoned') return null;
        started = { event: 'albumPdfError', payload: { message: messageOf(err) } };
      }
      if (started.event !== 'albumPdfReady') {
        app.endRequest(request);
        app.setBusy(false);
        if (started.event === 'albumPdfError') app.toast(`${failedText()}: ${hostFailure(started.payload).message}`, true);
        return started;
      }
      let sent = 0;
      /** @type {Promise<Tessary.AnswerOf>|null} the host's answer to the page sent last */
      let lastPage = null;
      // The host writes one page while the next is drawn; a page is sent only once the one before is in the file.
      const pageWritten = async () => {
        let answer = await lastPage;
        // A repeated answer for an earlier page does not say this one is written: wait for the next.
        while (answer.event === 'albumPdfPageDone' && !(Number(answer.payload.pages) >= sent)) {
          answer = await app.requestStep(request, pageAnswers, () => {});
        }
        if (answer.event !== 'albumPdfPageDone') throw hostFailure(answer.payload);
      };
      try {
        const count = await app.renderAlbumPrintPages(whiteBg, async (/** @type {HTMLCanvasElement} */ canvas) => {
          const sheet = await TY.album.encodePdfSheet(canvas);
          if (lastPage) await pageWritten();
          lastPage = app.requestStep(request, pageAnswers, (requestId) => bridge.sendChunks('albumPdfPage', sheet.base64,
            { requestId, widthPx: sheet.widthPx, heightPx: sheet.heightPx }));
          // Left unheard when drawing fails meanwhile: its failure is not the one to report.
          lastPage.catch(() => {});
          sent++;
          app.setBusyText(T(`PDF を作成しています… ${sent} ページ`, `Creating PDF… ${sent} pages`));
        }, paper);
        if (lastPage) await pageWritten();
        if (!count) throw new Error(T('保存するページがありません', 'No pages to save'));
        const done = await app.requestStep(request, finishAnswers, { cmd: 'finishAlbumPdf' });
        if (done.event !== 'albumPdfDone') throw hostFailure(done.payload);
        app.endRequest(request);
        app.setBusy(false);
        app.toast(T('PDF を保存しました', 'Saved the PDF'));
        app.setUnsavedResult(false);
        if (closeAfter) app.closeAskingAboutWallpaper();
        return done;
      } catch (err) {
        bridge.post({ cmd: 'cancelAlbumPdf', requestId: request.requestId });
        const replaced = app.currentRequest !== request;
        app.dropRequest(request);
        if (replaced) return null;
        app.setBusy(false);
        app.toast(`${failedText()}: ${messageOf(err)}`, true);
        return { event: err && err.fromHost ? 'albumPdfError' : 'albumPdfFailed', payload: { message: messageOf(err) } };
      } finally {
        await app.restorePreview();
      }
    }

    $('pdfSave').addEventListener('click', () => saveAlbumPdf());
    $('pdfClose').addEventListener('click', dismissPdfDialog);
    $('pdfDialog').addEventListener('click', (e) => { if (e.target === $('pdfDialog')) dismissPdfDialog(); });

    return {
      openPdfDialog,
      pdfDialogOpen,
      dismissPdfDialog,
      saveAlbumPdf,
    };
  }

  // ================================================================ wallpaper: still picture
  /**
   * "Set wallpaper" with "Live wallpaper" unchecked: the host checks whether the desktop's wallpaper can
   * be backed up, the user confirms, and the preview goes to the host as a JPEG that becomes the desktop
   * wallpaper on every monitor.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeStillWallpaper(app) {
    const JPEG_QUALITY = 0.92;
    // The host answers both as soon as it has done the work; the limits only keep a lost answer
    // from holding the flow for ever.
    const CHECK_TIMEOUT_MS = 15000;
    const SET_TIMEOUT_MS = 120000;
    const checks = bridge.requestChannel({ answers: ['wallpaperCheck'], timeoutMs: CHECK_TIMEOUT_MS });
    const answers = bridge.requestChannel({ answers: ['wallpaperDone', 'wallpaperError'], idField: 'requestId' });

    const canSet = () => app.hasResult && !app.busy && bridge.isHosted && !isAlbumMode();
    /** @param {unknown} message */
    const toastFailure = (message) => app.toast(T('壁紙を設定できませんでした: ', 'Failed to set wallpaper: ') + message, true);

    async function setStillWallpaper() {
      if (app.albumTurnPending) await app.albumTurnPending.catch(() => {});
      if (!canSet()) return;
      let check;
      try {
        check = await checks.request({ cmd: 'checkWallpaper' });
      } catch (err) {
        // A second press while the first check is out waits for that one.
        if (/** @type {any} */ (err).code !== 'busy') toastFailure(requestFailureText(err));
        return;
      }
      const restorable = !!(check.payload && check.payload.restorable);
      const message = T('現在のデスクトップの壁紙が変更されます。', 'Your current desktop wallpaper will be changed.')
        + (restorable ? '' : '\n' + T('「壁紙を元に戻す」で今の壁紙に戻せない場合があります。',
          'The Undo feature may not be able to restore your current wallpaper.'));
      app.showConfirm({ title: T('壁紙に設定', 'Set wallpaper'), message, okLabel: T('設定', 'Set'), onOk: () => { sendPicture(); } });
    }

    /**
     * Sends the preview to become the desktop wallpaper, without asking.
     * @returns {Promise<{event: string, payload: any}|null>} `wallpaperDone` or `wallpaperError` (also for a
     *   request that got no answer); null when nothing was sent or the request was replaced
     */
    async function sendPicture() {
      if (!canSet()) return null;
      app.setBusy(true, T('壁紙を設定しています…', 'Setting wallpaper…'));
      const request = app.beginRequest('wallpaper');
      let answer;
      try {
        const base64 = await canvasBase64($('preview'), 'image/jpeg', JPEG_QUALITY);
        answer = await app.requestStep(request, answers, (requestId) => bridge.sendChunks('setWallpaper', base64,
          { format: 'jpg', requestId, generationId: request.generationId }), SET_TIMEOUT_MS);
      } catch (err) {
        // A replaced request belongs to the flow that replaced it, busy lock included.
        if (/** @type {any} */ (err).code === 'abandoned') return null;
        app.endRequest(request);
        app.setBusy(false);
        toastFailure(requestFailureText(err));
        return { event: 'wallpaperError', payload: { message: requestFailureText(err) } };
      }
      app.endRequest(request);
      app.setBusy(false);
      const p = answer.payload || {};
      if (answer.event === 'wallpaperError') toastFailure(p.message);
      else app.toast(doneText(p), p.undoSaved === false);
      return answer;
    }

    /**
     * The notice of a set wallpaper; it warns when the earlier wallpaper could not be kept for Undo.
     * @param {{undoSaved?: boolean, backupError?: string}} p
     */
    function doneText(p) {
      const done = T('デスクトップの壁紙に設定しました', 'Set as desktop wallpaper');
      if (p.undoSaved !== false) return done;
      if (p.backupError) {
        return done + T(`（元の壁紙を保存できなかったため、元に戻せません: ${p.backupError}）`,
          ` (Undo is not possible: the previous wallpaper could not be saved: ${p.backupError})`);
      }
      return done + T('（元の壁紙を記録できなかったため、元に戻せません）', ' (Undo is not possible: the previous wallpaper could not be recorded)');
    }

    // The live wallpaper's flow takes the same button while "Live wallpaper" is checked.
    $('btnSetWallpaper').addEventListener('click', () => { if (!$('chkLive').checked) setStillWallpaper(); });

    return {
      setStillWallpaper,
      sendWallpaperPicture: sendPicture,
    };
  }

  // ================================================================ wallpaper: undo
  /**
   * "Undo wallpaper": stops a running live wallpaper, or else has the host restore the desktop wallpaper
   * it backed up before the last still wallpaper, asking first when the user has changed it since.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeUndoWallpaper(app) {
    const ANSWER_TIMEOUT_MS = 120000;
    // One exchange at a time: the check, then the restore; restoreError may answer either.
    const restores = bridge.requestChannel({ answers: ['restoreCheck', 'restoreDone', 'restoreError'], timeoutMs: ANSWER_TIMEOUT_MS });
    /** The host holds a backup that a restore can use, as it last reported. */
    let footerBackupAvailable = false;

    const liveActive = () => app.liveState !== 'stopped';
    /** @param {unknown} message */
    const toastFailure = (message) => app.toast(T('元に戻せませんでした: ', 'Could not restore: ') + message, true);

    function refreshUndoButton() {
      hide('btnUndoWallpaper', !(bridge.isHosted && (footerBackupAvailable || liveActive())));
      $('btnUndoWallpaper').disabled = app.busy;
    }

    async function undoWallpaper() {
      if (app.busy || !bridge.isHosted) return;
      // A live wallpaper is drawn over the untouched desktop wallpaper: undoing it is stopping it.
      if (liveActive()) {
        bridge.post({ cmd: 'stopLiveWallpaper' });
        return;
      }
      let check;
      try {
        check = await restores.request({ cmd: 'checkRestore' });
      } catch (err) {
        if (/** @type {any} */ (err).code !== 'busy') toastFailure(requestFailureText(err));
        return;
      }
      const p = check.payload || {};
      if (check.event === 'restoreError') toastFailure(p.message);
      else if (!p.hasBackup) app.toast(T('戻せる壁紙が保存されていません', 'No saved wallpaper to restore'), true);
      else if (p.missing) app.toast(T('元に戻せません: 元の壁紙のファイルが見つかりません', 'Cannot restore: the original wallpaper file is missing'), true);
      else if (p.matchesLastSet) restore();
      else {
        // A wallpaper the user chose after ours is never replaced without asking.
        app.showConfirm({
          title: T('壁紙を元に戻す', 'Undo wallpaper'),
          message: T('Tessary が設定したあとに壁紙が変更されています。元の壁紙に戻しますか？',
            'The wallpaper has changed since Tessary set it. Restore the original wallpaper?'),
          okLabel: T('戻す', 'Restore'),
          onOk: () => { restore(); },
        });
      }
    }

    async function restore() {
      if (app.busy) return;
      app.setBusy(true, T('壁紙を元に戻しています…', 'Restoring wallpaper…'));
      let answer;
      try {
        answer = await restores.request({ cmd: 'restoreWallpaper' });
      } catch (err) {
        app.setBusy(false);
        toastFailure(requestFailureText(err));
        return;
      }
      app.setBusy(false);
      if (answer.event === 'restoreDone') {
        footerBackupAvailable = false;
        app.refreshControls();
        app.toast(T('壁紙を元に戻しました', 'Wallpaper restored'));
      } else {
        toastFailure((answer.payload || {}).message);
      }
    }

    bridge.on('wallpaperBackupState', (payload) => {
      footerBackupAvailable = !!(payload && payload.hasBackup);
      app.refreshControls();
    });
    $('btnUndoWallpaper').addEventListener('click', () => { undoWallpaper(); });

    return {
      get footerBackupAvailable() { return footerBackupAvailable; },
      refreshUndoButton,
      undoWallpaper,
    };
  }

  // ================================================================ wallpaper: live
  /**
   * The live wallpaper: its footer controls, the hand-over of the pile to the host in sessions of the page's
   * epoch, the mirror of the state the host reports, and the wallpaper button's states (with "Live
   * wallpaper" unchecked the button starts the still wallpaper instead).
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeLiveWallpaper(app) {
    const VARIANTS = 6;
    const STOP_WAIT_MS = 8000;
    const STOP_CHECK_MS = 120;
    // A hand-over's answer is a state report, or liveWallpaperError when the host could not store or start
    // it; without either the button leaves "Starting…" after this long.
    const START_WAIT_MS = 60000;
    // What the host takes for one photo (16 chunks) and for a whole hand-over.
    const PHOTO_MAX_CHARS = 16 * 1048576;
    const PHOTO_MAX_BYTES = 31457280;
    const HANDOVER_MAX_BYTES = 209715200;
    const PHOTO_INDEX_MAX = 999;
    const STATES = ['stopped', 'running', 'paused', 'starting'];

    /** The live wallpaper's state as the host last reported it; the page never sets it itself. */
    let liveState = 'stopped';
    let liveEpoch = 0;
    let liveSession = 0;
    let liveTransferring = false;
    let liveSaveAsked = false;
    let startWaitTimer = 0;
    /** @type {{w: number, h: number}|null} */
    let screen = null;

    const LABELS = {
      set: ['壁紙に設定', 'Set wallpaper'],
      starting: ['開始しています…', 'Starting…'],
      on: ['ライブ壁紙 再生中', 'Live wallpaper on'],
    };

    function refreshSetWallpaperButton() {
      const s = wallpaperButton({ live: $('chkLive').checked, busy: app.busy, hasResult: app.hasResult,
        album: isAlbumMode(), transferring: liveTransferring, state: liveState });
      const text = $('btnSetWallpaperText');
      const [ja, en] = LABELS[s.label];
      text.setAttribute('data-ja', ja);
      text.setAttribute('data-en', en);
      text.textContent = T(ja, en);
      $('btnSetWallpaper').disabled = s.disabled;
      $('btnSetWallpaper').setAttribute('aria-pressed', String(s.pressed));
      $('chkLive').disabled = s.liveCheckDisabled;
      $('liveLoopMode').disabled = s.liveOptionsDisabled;
      for (const radio of $('liveWind').querySelectorAll('input')) radio.disabled = s.liveOptionsDisabled;
    }

    /** The loop mode and transition show only while "Live wallpaper" is checked. */
    function showLiveOptions() {
      hide('liveLoopMode', !$('chkLive').checked);
      hide('liveWind', !$('chkLive').checked);
    }

    function selectedWind() {
      const chosen = $('liveWind').querySelector('input:checked');
      return chosen ? chosen.value : 'none';
    }

    $('chkLive').addEventListener('change', () => {
      showLiveOptions();
      refreshSetWallpaperButton();
    });
    // The still wallpaper's flow takes the same button while "Live wallpaper" is unchecked.
    $('btnSetWallpaper').addEventListener('click', () => { if ($('chkLive').checked) startLiveWallpaper(); });

    // State mirror.
    bridge.on('displayInfo', (info) => {
      if (info && info.liveEpoch !== undefined) liveEpoch = Number(info.liveEpoch);
      const w = Math.round(Number(info && info.w));
      const h = Math.round(Number(info && info.h));
      if (w > 0 && h > 0) screen = { w, h };
    });

    bridge.on('wallpaperState', (payload) => {
      const previous = liveState;
      liveState = payload && STATES.includes(payload.state) ? payload.state : 'stopped';
      endTransfer();
      if (liveState === 'running') {
        app.toast(T('デスクトップで再生しています（停止はトレイから）', 'Now playing on your desktop (stop it from the tray)'));
      } else if (liveState === 'stopped' && (previous === 'running' || previous === 'paused')) {
        app.toast(T('ライブ壁紙を止めました', 'Live wallpaper stopped'));
      }
    });

    // The host could not store the hand-over, or the live wallpaper program did not start.
    bridge.on('liveWallpaperError', (payload) => {
      if (!liveTransferring || !payload || payload.epoch !== liveEpoch || payload.session !== liveSession) return;
      endTransfer();
      app.toast(T('ライブ壁紙を開始できませんでした: ', 'Could not start the live wallpaper: ') + String(payload.message || ''), true);
    });

    function endTransfer() {
      liveTransferring = false;
      clearTimeout(startWaitTimer);
      app.refreshControls();
    }

    /** Waits for a report after the start was sent, for a while: nothing may stay "Starting…" for ever. */
    function waitForReport(epoch, session) {
      clearTimeout(startWaitTimer);
      startWaitTimer = window.setTimeout(() => {
        if (!liveTransferring || liveEpoch !== epoch || liveSession !== session) return;
        endTransfer();
        app.toast(T('ライブ壁紙が始まりませんでした。もう一度お試しください', 'The live wallpaper did not start. Please try again'), true);
      }, START_WAIT_MS);
    }

    /** @returns {Promise<boolean>} whether the live wallpaper reported "stopped" in time */
    async function untilStopped() {
      const deadline = Date.now() + STOP_WAIT_MS;
      while (liveState !== 'stopped') {
        if (Date.now() >= deadline) return false;
        await new Promise((resolve) => { window.setTimeout(resolve, STOP_CHECK_MS); });
      }
      return true;
    }

    // Hand-over.
    /**
     * Hands the pile over to the live wallpaper. `replace` stops a running one first; `handoffOnly` builds
     * the hand-over for a package without starting anything.
     * @param {{replace?: boolean, handoffOnly?: boolean}} [opts]
     * @returns {Promise<boolean>} whether the hand-over was sent
     */
    async function startLiveWallpaper(opts = {}) {
      if (app.albumTurnPending) await app.albumTurnPending.catch(() => {});
      if (app.busy || !bridge.isHosted || !app.hasResult || liveTransferring) return false;
      if (!liveSaveAsked && !opts.handoffOnly && !app.currentAlbumId) {
        liveSaveAsked = true;
        app.showConfirm({
          title: T('この作品を保存しますか？', 'Save this creation?'),
          message: T('保存しておくと、あとでトレイからこの壁紙を開き直せます。保存しないと、次回は写真を選び直すことになります。',
            'If you save it, you can reopen this wallpaper from the tray later. Without saving, you will have to pick the photos again next time.'),
          okLabel: T('保存してから設定', 'Save, then set'),
          onOk: () => { app.saveCreationThen(() => { startLiveWallpaper(opts); }); },
          secondLabel: T('保存せずに設定', 'Set without saving'),
          onSecond: () => { startLiveWallpaper(opts); },
        });
        return false;
      }
      if (isAlbumMode()) {
        $('chkLive').checked = false;
        showLiveOptions();
        refreshSetWallpaperButton();
        app.toast(T('アルバムはライブ壁紙にできません（静止画の壁紙にはできます）',
          'Albums cannot be used as a live wallpaper (you can still set a still image)'), true);
        return false;
      }
      // A package's hand-over is never played, so the wallpaper that plays may stay.
      if (liveState !== 'stopped' && !opts.handoffOnly) {
        bridge.post({ cmd: 'stopLiveWallpaper' });
        if (!opts.replace) return false;
        if (!(await untilStopped())) {
          app.toast(T('今の壁紙を止められませんでした', 'Could not stop the current wallpaper'), true);
          return false;
        }
        if (app.busy || !app.hasResult || liveTransferring) return false;
      }
      return handOver(!!opts.handoffOnly);
    }

    /** @param {boolean} handoffOnly @returns {Promise<boolean>} whether it was sent */
    async function handOver(handoffOnly) {
      liveTransferring = true;
      refreshSetWallpaperButton();
      const session = ++liveSession;
      const epoch = liveEpoch;
      let sent = false;
      try {
        await app.ensureTitleFont();
        const visual = app.lastVisual;
        const generation = app.generationId;
        // A new generation or style redraw, another attempt, or a reloaded host page ends this one.
        const stale = () => app.generationId !== generation || app.lastVisual !== visual || liveSession !== session
          || liveEpoch !== epoch;
        if (!visual) return false;
        const data = app.buildVideoData();
        const variants = $('liveLoopMode').value === 'regenerate' ? await makeVariants(visual, data.drawList, stale) : null;
        if (stale()) return false;
        bridge.post({ cmd: 'beginLiveWallpaper', epoch, session });
        const sides = liveScreenSides(TY.render.decodeSideByPhoto({ ...data, variants: variants || [] }),
          liveCoverScale(screen, data));
        /** @type {Record<string, string>} */
        const photoUrls = {};
        let handedBytes = 0;
        let leftOut = 0;
        let unreadable = 0;
        for (const index of livePhotoIndexes(data.drawList, variants)) {
          if (stale()) return false;
          const item = visual.sourceItems[index];
          if (!item || index > PHOTO_INDEX_MAX) continue;
          let own;
          try {
            own = await photos.photoBytes(item);
          } catch {
            // The host no longer serves it (moved or deleted since the import).
            unreadable++;
            continue;
          }
          if (stale()) return false;
          const { base64 } = await photos.reduceForHandover(own, sides.get(index));
          if (stale()) return false;
          const bytes = base64Bytes(base64);
          if (!bytes || base64.length > PHOTO_MAX_CHARS || bytes > PHOTO_MAX_BYTES || handedBytes + bytes > HANDOVER_MAX_BYTES) {
            leftOut++;
            continue;
          }
          handedBytes += bytes;
          bridge.sendChunks('livePhoto', base64, { epoch, session, index });
          photoUrls[index] = LIVE_PHOTO_PREFIX + index;
        }
        if (stale()) return false;
        const creation = app.currentAlbumId ? { id: app.currentAlbumId, name: app.currentAlbumName || '' } : null;
        const handover = liveHandoverData(data, { photoUrls, wind: selectedWind(), variants, creation });
        const notes = [];
        if (leftOut) notes.push(T(`大きすぎる写真 ${leftOut} 枚はライブ壁紙に入れませんでした`, `Left out ${leftOut} photo(s) too large for the live wallpaper`));
        if (unreadable) notes.push(T(`読み込めなくなった写真 ${unreadable} 枚はライブ壁紙に入れませんでした`, `Left out ${unreadable} photo(s) that can no longer be read`));
        if (notes.length) app.toast(notes.join(T('。', '. ')), true);
        bridge.post({ cmd: handoffOnly ? 'commitLiveHandoff' : 'startLiveWallpaper', epoch, session, data: handover });
        sent = true;
        // A package's commit is answered by kiroExported, never by a state report.
        if (handoffOnly) endTransfer();
        else waitForReport(epoch, session);
      } catch (err) {
        app.toast(T('ライブ壁紙を準備できませんでした: ', 'Could not prepare the live wallpaper: ') + messageOf(err), true);
      } finally {
        if (!sent) {
          if (liveSession === session && liveEpoch === epoch) bridge.post({ cmd: 'cancelLiveWallpaper', epoch, session });
          // A newer attempt owns the transfer state.
          if (liveSession === session) endTransfer();
        }
      }
      return sent;
    }

    /** @param {string} base64 @returns {number} the bytes it holds */
    function base64Bytes(base64) {
      const padding = base64.endsWith('==') ? 2 : base64.endsWith('=') ? 1 : 0;
      return Math.max(0, (base64.length / 4) * 3 - padding);
    }

    /**
     * "Remake the creation each time": the current draw list and new random layouts of the result's items at
     * its size. Photos that fail to decode are replaced or dropped as in the generate flow; layouts that
     * come out empty are left out.
     * @param {any} visual the result @param {any[]} current its draw list @param {() => boolean} stale
     * @returns {Promise<any[][]|null>} null when the attempt went stale meanwhile
     */
    async function makeVariants(visual, current, stale) {
      const items = visual.sourceItems;
      const starred = items.map((/** @type {any} */ it, /** @type {number} */ i) => ({ star: it.star, i }))
        .filter((/** @type {any} */ s) => s.star > 0).sort((/** @type {any} */ a, /** @type {any} */ b) => a.star - b.star)
        .map((/** @type {any} */ s) => s.i);
      const noRepeat = $('chkNoRepeat').checked;
      const size = { w: visual.w, h: visual.h };
      const layouts = Array.from({ length: VARIANTS - 1 }, () => app.randomLayout(size, items.length, starred, noRepeat));
      const used = [...new Set(layouts.flatMap((l) => [...l.placements, ...l.favourites].map((p) => p.photoIndex)))];
      const decoded = await photos.ensureBitmapsFor(used, app.pictureSide(size), undefined, { from: items });
      if (stale()) return null;
      const ok = (/** @type {number} */ i) => !!decoded[i];
      const variants = [current];
      for (const l of layouts) {
        const { drawList } = TY.layout.finalizeDrawList(l.placements, l.favourites, ok, noRepeat);
        if (drawList.length) variants.push(drawList);
      }
      return variants;
    }

    return {
      get liveState() { return liveState; },
      get liveTransferring() { return liveTransferring; },
      refreshSetWallpaperButton,
      showLiveOptions,
      startLiveWallpaper,
    };
  }

  // ================================================================ saved creations
  /**
   * The work kept as a named creation: "Save" (name, same-name check, what is stored), "Open" (the list
   * with covers, opening and deleting), opening asked from outside (the live wallpaper's tray, the
   * hidden worker) and the live wallpaper restored at sign-in. The host's store answers on one request
   * channel without ids: each flow holds the page's lock, so one request is out at a time.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeWorks(app) {
    const LIST_TIMEOUT_MS = 60000;
    const COVER_QUALITY = 0.76;
    /** @type {string|null} */
    let currentAlbumId = null;
    /** @type {string|null} */
    let currentAlbumName = null;
    /** @type {(() => void)|null} what to do once the save under way has succeeded */
    let afterCreationSaved = null;

    // Requests to the store.
    // Registered before the channel, so that it runs first and sees whether a request was waiting.
    bridge.on('albumError', (payload) => {
      afterCreationSaved = null;
      if (channel.pendingCount() > 0) return;
      setListBusy(false);
      app.setBusy(false);
      app.toast(T('作品の操作に失敗しました: ', 'Album operation failed: ') + String((payload && payload.message) || ''), true);
    });
    const channel = bridge.requestChannel({ answers: ['albumList', 'albumSaved', 'albumLoaded', 'albumDeleted', 'albumError'] });

    /**
     * Sends one command to the store and waits for its answer. A newer request supersedes a waiting one,
     * whose caller stays silent (code "abandoned"); the host's refusal fails with `hostError` set.
     * @param {object} message @param {string} expected the answer's event @param {number} [timeoutMs]
     */
    async function ask(message, expected, timeoutMs = 0) {
      channel.abandon();
      const { event, payload } = await channel.request(message, { timeoutMs });
      if (event === 'albumError') {
        const err = /** @type {Error & {hostError?: boolean}} */ (new Error(String((payload && payload.message) || '')));
        err.hostError = true;
        throw err;
      }
      if (event !== expected) throw new Error(`unexpected answer ${event}`);
      return payload || {};
    }

    /** @param {string} purpose @returns {Promise<any[]>} */
    async function requestAlbumList(purpose) {
      const answer = await ask({ cmd: 'albumSaveList', purpose }, 'albumList', LIST_TIMEOUT_MS);
      return Array.isArray(answer.albums) ? answer.albums : [];
    }

    /** @param {any} err */
    const superseded = (err) => !!err && err.code === 'abandoned';
    /** @param {string} lead @param {any} err */
    function toastFailure(lead, err) {
      if (superseded(err)) return;
      app.toast((err && err.hostError ? T('作品の操作に失敗しました', 'Album operation failed') : lead) + ': ' + messageOf(err), true);
    }

    // Saving.
    /** @param {any} it @returns {Promise<Blob>} the bytes a copy is made of; the failure names the photo */
    async function copyBytes(it) {
      try {
        return await photos.photoBytes(it);
      } catch (err) {
        throw new Error(`${it.name}: ${messageOf(err)}`);
      }
    }

    function blobToDataUrl(/** @type {Blob} */ blob) {
      return new Promise((resolve, reject) => {
        const reader = new FileReader();
        reader.onload = () => resolve(String(reader.result));
        reader.onerror = () => reject(reader.error || new Error('the photo could not be read'));
        reader.readAsDataURL(blob);
      });
    }

    /** The controls a creation keeps, by the keys it stores them under. */
    const SETTING_FIELDS = {
      chekiSize: 'chekiSize', density: 'densitySlider', background: 'bgSelect', frame: 'frameSelect',
      filter: 'filterSelect', captionMode: 'captionMode', captionFont: 'captionFont', captionSize: 'captionSize',
      sizePreset: 'sizePreset', videoTitle: 'videoTitle', videoSpeed: 'videoSpeed', starEmphasis: 'starEmphasisMode',
      titleFont: 'titleFont', imageTitle: 'imageTitle', titleSize: 'titleSize', titleStyle: 'titleStyle',
    };
    const SETTING_CHECKS = {
      noRepeat: 'chkNoRepeat', videoSpotlight: 'videoSpotlight', starDim: 'chkStarDim',
      starDimTranslucent: 'chkStarDimTranslucent', titleFree: 'chkTitleFree',
    };
    const ALBUM_FIELDS = {
      cover: 'albumCover', mat: 'albumMat', photosPerPage: 'albumPp', fitMode: 'albumFit', mount: 'albumMount',
      starMode: 'albumStar', tapePattern: 'albumTapePattern',
    };

    function settingsSnapshot() {
      /** @type {Record<string, any>} */
      const settings = { motion: $('videoMotion').value, album: app.currentAlbumCfg() };
      for (const [key, id] of Object.entries(SETTING_FIELDS)) settings[key] = $(id).value;
      for (const [key, id] of Object.entries(SETTING_CHECKS)) settings[key] = $(id).checked;
      const size = app.currentPreset();
      settings.customW = String(size.w);
      settings.customH = String(size.h);
      const title = app.titleSettings();
      settings.titleColor = title.color;
      settings.titlePosition = title.position;
      settings.titleFreePos = title.freePos;
      return settings;
    }

    /**
     * The record, its copies and its cover, as the store keeps them.
     * @param {string} name @param {string|null} targetId
     */
    async function buildCreation(name, targetId) {
      const included = photos.includedItems();
      const source = app.sourceFolder;
      const photoRecords = [];
      const copies = [];
      for (let i = 0; i < included.length; i++) {
        const it = included[i];
        const fromFolder = it.origin === 'folder' && !!source;
        /** @type {Record<string, any>} */
        const record = fromFolder ? { name: it.name, origin: 'folder' }
          : { name: storedCopyName(i + 1, it.name, it.type), origin: 'copied', displayName: it.name };
        if (it.memo) record.comment = it.memo;
        if (!fromFolder) copies.push({ name: record.name, dataUrl: await blobToDataUrl(await copyBytes(it)) });
        photoRecords.push(record);
      }
      const scatter = !isAlbumMode();
      const json = {
        schema: 1,
        ...(targetId ? { id: targetId } : {}),
        name,
        sourceFolder: source,
        photos: photoRecords,
        stars: photos.starredItems().map((/** @type {any} */ it) => photoRecords[included.indexOf(it)].name),
        layout: scatter && app.lastVisual ? layoutRecord(app.lastVisual) : null,
        settings: settingsSnapshot(),
        autoStart: scatter && $('chkAutoStart').checked,
      };
      const canvas = $('preview');
      const cover = canvas.width > 0 && canvas.height > 0 ? canvas.toDataURL('image/jpeg', COVER_QUALITY) : '';
      return { cmd: 'albumSave', json: JSON.stringify(json), coverPngDataUrl: cover, copies };
    }

    /**
     * Writes the work as creation `targetId` (a new one when null) under `name`.
     * @param {string} name @param {string|null} targetId
     */
    async function saveAlbumAs(name, targetId) {
      if (app.busy || !photos.includedItems().length) return;
      app.setBusy(true, T('保存しています…', 'Saving…'));
      let message;
      try {
        message = await buildCreation(name, targetId);
      } catch (err) {
        app.setBusy(false);
        afterCreationSaved = null;
        app.toast(T('保存できませんでした', 'Could not save') + ': ' + messageOf(err), true);
        return;
      }
      currentAlbumName = name;
      try {
        const answer = await ask(message, 'albumSaved');
        currentAlbumId = typeof answer.id === 'string' ? answer.id : currentAlbumId;
        app.setBusy(false);
        app.setUnsavedResult(false);
        app.toast(T('作品を保存しました', 'Creation saved'));
        const next = afterCreationSaved;
        afterCreationSaved = null;
        if (next) next();
      } catch (err) {
        afterCreationSaved = null;
        app.setBusy(false);
        toastFailure(T('保存できませんでした', 'Could not save'), err);
      }
    }

    /** @param {string} stamp UTC ISO time @returns {string} local date and time, or empty */
    function localTime(stamp) {
      const date = new Date(stamp);
      return stamp && Number.isFinite(date.getTime()) ? date.toLocaleString(TY.i18n.lang === 'ja' ? 'ja-JP' : 'en-US') : '';
    }

    /** @param {string} typed the name as confirmed */
    async function saveUnderName(typed) {
      const wanted = String(typed || '').trim();
      if (!wanted) {
        afterCreationSaved = null;
        return;
      }
      app.setBusy(true, T('保存済みの作品を確認しています…', 'Checking saved creations…'));
      /** @type {any[]} */
      let albums = [];
      try {
        albums = await requestAlbumList('save');
      } catch {
        // no list: saved without the check
      }
      app.setBusy(false);
      const other = albums.find((a) => a && a.id !== currentAlbumId && String(a.name || '').trim() === wanted);
      if (!other) {
        saveAlbumAs(wanted, currentAlbumId && wanted === currentAlbumName ? currentAlbumId : null);
        return;
      }
      const when = localTime(other.updated);
      const altName = freeCreationName(wanted, albums.map((a) => a && a.name));
      app.showConfirm({
        title: T('同じ名前の作品があります', 'A creation with this name already exists'),
        message: T(`「${wanted}」は保存済みです${when ? `（最終更新 ${when}）` : ''}。上書きすると元に戻せません。`,
          `“${wanted}” is already saved${when ? ` (last updated ${when})` : ''}. Overwriting cannot be undone.`),
        okLabel: T('上書き', 'Overwrite'),
        onOk: () => saveAlbumAs(wanted, other.id),
        secondLabel: T(`「${altName}」として保存`, `Save as “${altName}”`),
        onSecond: () => saveAlbumAs(altName, null),
        onCancel: () => { afterCreationSaved = null; },
      });
    }

    /** "Save" in the tray; other flows set `afterCreationSaved` first. */
    function saveCreation() {
      if (app.busy || !app.hasResult || !photos.includedItems().length) {
        afterCreationSaved = null;
        return;
      }
      app.showConfirm({
        title: T('作品を保存', 'Save creation'),
        message: T('この作品の名前を入力してください。', 'Enter a name for this creation.'),
        okLabel: T('保存', 'Save'),
        input: currentAlbumName || T('新しい作品', 'New creation'),
        onOk: (name) => saveUnderName(name || ''),
        onCancel: () => { afterCreationSaved = null; },
      });
    }

    /**
     * Saves the work as a creation through the name dialog, then runs `next` once it is saved.
     * @param {() => void} next
     */
    function saveCreationThen(next) {
      afterCreationSaved = next;
      saveCreation();
    }

    $('btnAlbumSave').addEventListener('click', saveCreation);

    // The list.
    /** @param {boolean} busy @param {string} [text] */
    function setListBusy(busy, text) {
      for (const button of $('albumListBody').querySelectorAll('button')) {
        button.disabled = busy || button.dataset.unavailable === '1';
      }
      $('albumListProgress').hidden = !busy;
      if (text !== undefined) $('albumListProgress').textContent = text;
    }

    function closeList() {
      $('albumListDialog').hidden = true;
      $('btnAlbumOpen').focus();
    }

    /** @param {any[]} albums */
    function showList(albums) {
      const body = $('albumListBody');
      body.textContent = '';
      const sorted = albums.filter((a) => a && typeof a.id === 'string')
        .sort((a, b) => String(b.updated || '').localeCompare(String(a.updated || '')));
      if (!sorted.length) {
        const empty = document.createElement('p');
        empty.className = 'muted album-empty';
        empty.textContent = T('保存した作品はありません', 'No saved creations');
        body.appendChild(empty);
      }
      for (const album of sorted) body.appendChild(listRow(album));
      setListBusy(false);
      $('albumListDialog').hidden = false;
      $('albumListClose').focus();
    }

    /** @param {any} album an `albumList` entry */
    function listRow(album) {
      const row = document.createElement('div');
      row.className = 'album-row';
      const cover = document.createElement(album.cover ? 'img' : 'div');
      cover.className = 'album-cover';
      if (album.cover) /** @type {HTMLImageElement} */ (cover).src = album.cover;
      cover.setAttribute('aria-hidden', 'true');
      const info = document.createElement('div');
      info.className = 'album-info';
      const name = document.createElement('div');
      name.className = 'album-name';
      name.textContent = String(album.name || album.id);
      const meta = document.createElement('div');
      meta.className = 'muted';
      meta.textContent = [creationKindText(String(album.motion || 'album')), localTime(album.updated)].filter(Boolean).join('・');
      info.append(name, meta);
      if (album.autoStart) {
        const mark = document.createElement('div');
        mark.className = 'album-autostart';
        mark.textContent = T('サインイン時にライブ壁紙として復元', 'Restored as the live wallpaper at sign-in');
        info.appendChild(mark);
      }
      const total = Number(album.photoCount) || 0;
      const found = Number(album.availableCount) || 0;
      const note = missingPhotosNote(total, found);
      if (note) {
        const missing = document.createElement('div');
        missing.className = 'album-missing';
        missing.textContent = note;
        info.appendChild(missing);
      }
      const open = document.createElement('button');
      open.type = 'button';
      open.className = 'btn-accent';
      open.textContent = T('開く', 'Open');
      if (found <= 0 && total > 0) {
        open.disabled = true;
        open.dataset.unavailable = '1';
        open.title = T('開ける写真がありません', 'No photos available to open');
      }
      open.addEventListener('click', () => openFromList(album.id));
      const remove = document.createElement('button');
      remove.type = 'button';
      remove.className = 'btn-light';
      remove.textContent = T('削除', 'Delete');
      remove.addEventListener('click', () => confirmDelete(album));
      const actions = document.createElement('div');
      actions.className = 'album-actions';
      actions.append(open, remove);
      row.append(cover, info, actions);
      return row;
    }

    async function browse() {
      if (app.busy) return;
      app.setBusy(true, T('保存した作品を読み込んでいます…', 'Loading saved creations…'));
      try {
        showList(await requestAlbumList('browse'));
      } catch (err) {
        if (!superseded(err)) app.toast(T('保存した作品を読み込めませんでした', 'Could not load saved creations'), true);
      } finally {
        app.setBusy(false);
      }
    }

    /** @param {any} album */
    function confirmDelete(album) {
      app.showConfirm({
        title: T('作品を削除', 'Delete creation'),
        message: T(`「${album.name}」を削除します。元に戻せません。`, `“${album.name}” will be deleted. This cannot be undone.`),
        okLabel: T('削除', 'Delete'),
        onOk: () => deleteCreation(album.id),
      });
    }

    /** @param {string} id */
    async function deleteCreation(id) {
      setListBusy(true, T('削除しています…', 'Deleting…'));
      try {
        await ask({ cmd: 'albumDelete', id }, 'albumDeleted');
        if (id === currentAlbumId) currentAlbumId = null;
        const answer = await ask({ cmd: 'albumSaveList' }, 'albumList', LIST_TIMEOUT_MS);
        showList(Array.isArray(answer.albums) ? answer.albums : []);
      } catch (err) {
        setListBusy(false);
        toastFailure(T('削除できませんでした', 'Could not delete'), err);
      }
    }

    $('btnAlbumOpen').addEventListener('click', browse);
    $('albumListClose').addEventListener('click', closeList);
    $('albumListDialog').addEventListener('click', (e) => { if (e.target === $('albumListDialog')) closeList(); });

    // Opening.
    /** @param {string} id */
    function openFromList(id) {
      if (app.busy) return;
      setListBusy(true, T('読み込んでいます…', 'Loading…'));
      loadCreation(id, {});
    }

    /**
     * Asks the store for a creation and opens it; `asWallpaper` and `signIn` start the live wallpaper once
     * it is open.
     * @param {string} id @param {{asWallpaper?: boolean, signIn?: boolean}} how
     */
    async function loadCreation(id, how) {
      await app.untilIdle();
      app.setBusy(true, how.signIn ? T('ライブ壁紙を復元しています…', 'Restoring your live wallpaper…') : T('読み込んでいます…', 'Loading…'));
      try {
        await openLoaded(await ask({ cmd: 'albumLoad', id }, 'albumLoaded'), how);
      } catch (err) {
        setListBusy(false);
        app.setBusy(false);
        toastFailure(T('開けませんでした', 'Could not open'), err);
      }
    }

    /** @param {string} text */
    function openingProgress(text) {
      app.setBusyText(text);
      $('albumListProgress').textContent = text;
    }

    /**
     * Puts a loaded creation in place of the work: its photos in order, favourites, memos, settings and,
     * when every photo came back, its exact layout.
     * @param {any} payload `albumLoaded` @param {{asWallpaper?: boolean, signIn?: boolean}} how
     */
    async function openLoaded(payload, how) {
      const record = JSON.parse(String(payload.json));
      if (!record || typeof record !== 'object') throw new Error('not a creation');
      currentAlbumId = typeof record.id === 'string' ? record.id : null;
      currentAlbumName = typeof record.name === 'string' ? record.name : null;
      await app.stopPlayback();
      if (app.lightboxItemId !== null) app.closeLightbox();
      photos.clear();
      app.forgetResult();
      app.setSourceFolder(typeof record.sourceFolder === 'string' ? record.sourceFolder : null);
      const records = Array.isArray(record.photos) ? record.photos : [];
      /** @type {Map<string, any>} stored name → item */
      const byName = new Map();
      let missing = 0;
      for (let i = 0; i < records.length; i++) {
        openingProgress(T(`読み込んでいます… ${i + 1}/${records.length}`, `Loading… ${i + 1}/${records.length}`));
        const entry = records[i] || {};
        const fromFolder = entry.origin === 'folder';
        const base = fromFolder ? payload.folderBaseUrl : payload.copiedBaseUrl;
        const before = photos.items.length;
        if (base && typeof entry.name === 'string') await photos.addFromHost(base, [entry.name], undefined, fromFolder ? 'folder' : 'copied');
        if (photos.items.length === before) {
          missing++;
          continue;
        }
        const item = photos.items[photos.items.length - 1];
        if (typeof entry.displayName === 'string' && entry.displayName) item.name = entry.displayName;
        if (typeof entry.comment === 'string' && entry.comment) photos.setMemo(item.id, entry.comment);
        byName.set(entry.name, item);
      }
      for (const it of photos.items) it.star = 0;
      for (const name of Array.isArray(record.stars) ? record.stars : []) {
        const item = byName.get(name);
        if (item && !(item.star > 0)) photos.toggleStar(item.id);
      }
      $('chkAutoStart').checked = !!record.autoStart;
      applySettings(record.settings && typeof record.settings === 'object' ? record.settings : {});
      app.rebuildThumbs();
      setListBusy(false);
      $('albumListDialog').hidden = true;
      app.setBusy(false);
      const layout = record.layout;
      const whole = photos.includedItems().length === records.length;
      await app.regenerate(layout && Array.isArray(layout.drawList) && layout.drawList.length && whole ? layout : undefined);
      app.setUnsavedResult(false);
      if (missing) app.toast(T(`見つからない写真 ${missing} 枚を飛ばしました`, `Skipped ${missing} missing photos`), true);
      else app.toast(T('開きました', 'Opened'));
      if (how.asWallpaper || (how.signIn && app.hasResult)) startWallpaper();
    }

    /** @param {Record<string, any>} settings */
    function applySettings(settings) {
      /** @param {string} id @param {any} value */
      const setField = (id, value) => {
        const el = $(id);
        if (value === undefined || value === null) return;
        const text = String(value);
        if (el.tagName === 'SELECT' && ![...el.options].some((/** @type {any} */ o) => o.value === text)) return;
        el.value = text;
      };
      for (const [key, id] of Object.entries(SETTING_FIELDS)) setField(id, settings[key]);
      for (const [key, id] of Object.entries(SETTING_CHECKS)) $(id).checked = !!settings[key];
      if (settings.customW != null) $('customW').value = String(settings.customW);
      if (settings.customH != null) $('customH').value = String(settings.customH);
      const album = settings.album && typeof settings.album === 'object' ? settings.album : {};
      for (const [key, id] of Object.entries(ALBUM_FIELDS)) setField(id, album[key]);
      app.applyTitleSettings({
        color: typeof settings.titleColor === 'string' ? settings.titleColor : null,
        position: typeof settings.titlePosition === 'string' ? settings.titlePosition : 'bottom-center',
        freePos: settings.titleFreePos,
      });
      app.applyMotion(typeof settings.motion === 'string' && settings.motion ? settings.motion : 'album');
      $('densityLabel').textContent = densityLabel($('densitySlider').value);
      $('speedLabel').textContent = (app.speedValue() / 100).toFixed(2) + '×';
      app.refreshControls();
    }

    // Requests from outside the page.
    function startWallpaper() {
      $('chkLive').checked = true;
      app.refreshControls();
      app.startLiveWallpaper({ replace: true });
    }

    /** @param {string} id @param {boolean} asWallpaper */
    function openRequested(id, asWallpaper) {
      if (id === currentAlbumId) {
        if (asWallpaper) startWallpaper();
        return;
      }
      if (!app.unsavedResult) {
        loadCreation(id, { asWallpaper });
        return;
      }
      app.showConfirm({
        title: T('保存していない変更があります', 'You have unsaved changes'),
        message: T('壁紙の作品を開くと、作業中の内容は破棄されます。', 'Opening the wallpaper’s creation will discard what you are working on.'),
        okLabel: T('保存', 'Save'),
        onOk: () => saveCreationThen(() => loadCreation(id, { asWallpaper })),
        secondLabel: T('保存せずに開く', 'Open without saving'),
        onSecond: () => loadCreation(id, { asWallpaper }),
      });
    }

    bridge.on('openAlbumRequested', (p) => { if (p && typeof p.id === 'string' && p.id) openRequested(p.id, !!p.setWallpaper); });
    bridge.on('albumAutoStart', (p) => { if (p && typeof p.id === 'string' && p.id) loadCreation(p.id, { signIn: true }); });
    bridge.on('autoStartUnavailable', () => {
      $('chkAutoStart').checked = false;
      app.refreshControls();
      app.toast(T('このバージョンではサインイン時の起動を登録できません（デスクトップの「自動起動」の設定をお使いください）',
        'Start at sign-in is not available in this version (use your desktop’s startup applications settings instead)'), true);
    });

    // The sign-in box: a scatter creation may come back as the live wallpaper when the user signs in.
    $('chkAutoStart').addEventListener('change', () => {
      if (currentAlbumId) app.toast(T('作品を保存すると反映されます', 'Save the creation to keep this'));
    });

    function refreshWorksControls() {
      $('btnAlbumOpen').disabled = app.busy;
      hide('autoStartRow', isAlbumMode() || !app.hasResult);
      $('chkAutoStart').disabled = app.busy;
    }

    /** Clear: the work no longer belongs to a creation. */
    function forgetOpenCreation() {
      currentAlbumId = null;
      currentAlbumName = null;
      $('chkAutoStart').checked = false;
    }

    return {
      saveCreationThen,
      refreshWorksControls,
      forgetOpenCreation,
      get currentAlbumId() { return currentAlbumId; },
      get currentAlbumName() { return currentAlbumName; },
      closeAlbumList: closeList,
    };
  }

  // ================================================================ keyboard
  /**
   * One handler for the whole window; the first rule that matches acts.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeKeyboard(app) {
    /** @param {any} el */
    function isTextField(el) {
      if (!el) return false;
      const tag = el.tagName;
      return tag === 'TEXTAREA' || tag === 'SELECT' || el.isContentEditable
        || (tag === 'INPUT' && !['checkbox', 'radio', 'button', 'range'].includes(el.type));
    }

    const lightboxOpen = () => !$('lightbox').hidden;
    const albumKeysApply = () => !$('albumNav').hidden && !app.busy && !isTextField(document.activeElement)
      && !app.confirmOpen() && $('helpDialog').hidden && !lightboxOpen();

    /**
     * One handler for the whole window; the first rule that matches acts.
     * @type {Array<{when: (e: KeyboardEvent) => boolean, run: (e: KeyboardEvent) => void}>}
     */
    const keyRules = [
      // No page zoom by accident; assistive zoom of the system stays usable.
      { when: (e) => e.ctrlKey && ['+', '-', '=', '0'].includes(e.key), run: (e) => e.preventDefault() },
      { when: (e) => e.key === 'Escape' && app.playing, run: () => { app.stopPlayback(); } },
      { when: (e) => e.key === 'Escape' && app.confirmOpen(), run: () => app.cancelConfirm() },
      { when: (e) => e.key === 'Escape' && app.pdfDialogOpen(), run: () => app.dismissPdfDialog() },
      { when: (e) => e.key === 'Escape' && !$('helpDialog').hidden, run: () => app.setHelpOpen(false) },
      { when: (e) => e.key === 'Escape' && !$('albumListDialog').hidden, run: () => app.closeAlbumList() },
      { when: (e) => e.key === 'Escape' && lightboxOpen(), run: () => app.closeLightbox() },
      {
        when: (e) => (e.key === 'ArrowRight' || e.key === 'ArrowLeft') && lightboxOpen() && !isTextField(document.activeElement),
        run: (e) => { e.preventDefault(); app.lightboxStep(e.key === 'ArrowRight' ? 1 : -1); },
      },
      {
        when: (e) => ['ArrowRight', 'ArrowLeft', 'PageDown', 'PageUp', 'Home', 'End'].includes(e.key) && albumKeysApply(),
        run: (e) => {
          e.preventDefault();
          const moves = { ArrowRight: app.albumSpreadIdx + 1, PageDown: app.albumSpreadIdx + 1, ArrowLeft: app.albumSpreadIdx - 1,
            PageUp: app.albumSpreadIdx - 1, Home: -1, End: app.albumSpreadCount() - 1 };
          app.gotoAlbumSpread(moves[e.key]);
        },
      },
      { when: (e) => e.key === 'Escape' && app.paletteOpen(), run: () => app.setPaletteOpen(false) },
      {
        when: (e) => (e.key === 'r' || e.key === 'R') && !e.ctrlKey && !e.metaKey && !e.altKey && !isTextField(document.activeElement)
          && !app.confirmOpen() && !lightboxOpen(),
        run: () => app.regenerate(),
      },
      { when: (e) => e.ctrlKey && (e.key === 's' || e.key === 'S'), run: (e) => { e.preventDefault(); app.saveImage(); } },
      // Reloading would lose the imported items and the result.
      { when: (e) => e.key === 'F5' || (e.ctrlKey && (e.key === 'r' || e.key === 'R')), run: (e) => e.preventDefault() },
    ];

    window.addEventListener('keydown', (e) => {
      const rule = keyRules.find((r) => r.when(e));
      if (rule) rule.run(e);
    });
    window.addEventListener('wheel', (e) => { if (e.ctrlKey) e.preventDefault(); }, { passive: false });

    $('btnShuffle').addEventListener('click', () => app.regenerate());

    return {

    };
  }

  // ================================================================ dropping files on the window
  /**
   * Files and folders dropped from outside are imported; drags inside the page (thumbnails, dock slots)
   * never are.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeDropping(app) {
    const INTERNAL_DRAG_TYPES = [STAR_DRAG, PHOTO_DRAG];
    let dragDepth = 0;
    let internalDrag = false;

    // Reordering thumbnails or favourites is a drag inside the page: those go
    // to their own targets, never to the import.
    document.addEventListener('dragstart', () => { internalDrag = true; });
    document.addEventListener('dragend', () => { internalDrag = false; });

    /** A drag inside the page ended where the document's dragend may not hear of it. */
    function endInternalDrag() {
      internalDrag = false;
    }

    /** @param {DragEvent} e */
    function isOutsideFileDrag(e) {
      if (internalDrag) return false;
      const types = Array.from((e.dataTransfer && e.dataTransfer.types) || []);
      return !types.some((t) => INTERNAL_DRAG_TYPES.includes(t));
    }

    window.addEventListener('dragenter', (e) => {
      if (!isOutsideFileDrag(e)) return;
      e.preventDefault();
      dragDepth++;
      // While work runs a drop is refused, so the page does not invite one.
      $('dropVeil').hidden = app.busy;
    });
    window.addEventListener('dragover', (e) => {
      if (isOutsideFileDrag(e)) e.preventDefault();
    });
    window.addEventListener('dragleave', (e) => {
      if (!isOutsideFileDrag(e)) return;
      dragDepth = Math.max(0, dragDepth - 1);
      if (dragDepth === 0) $('dropVeil').hidden = true;
    });
    window.addEventListener('drop', async (e) => {
      dragDepth = 0;
      $('dropVeil').hidden = true;
      if (!isOutsideFileDrag(e)) return;
      e.preventDefault();
      if (app.busy) {
        app.toastBusyRefusal();
        return;
      }
      const files = await photos.collectDropped(e.dataTransfer, $('chkRecursive').checked);
      if (files.length) app.importFiles(files);
    });

    return {
      endInternalDrag,
    };
  }

  // ================================================================ exit
  /**
   * Closing is negotiated: the host asks through window.__requestExit and the page answers closeApp when
   * the user agrees.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeExit(app) {
    /** @param {boolean} [quitWallpaper] */
    function closeApp(quitWallpaper) {
      bridge.post(quitWallpaper ? { cmd: 'closeApp', quitWallpaper: true } : { cmd: 'closeApp' });
    }

    function closeAskingAboutWallpaper() {
      if (app.liveState === 'stopped') {
        closeApp();
        return;
      }
      app.showConfirm({
        title: T('壁紙アプリも閉じますか？', 'Close the wallpaper app too?'),
        message: T('ライブ壁紙が止まります。開いたままにすると、動き続けます。',
          'The live wallpaper will stop. If you leave it open, it keeps running.'),
        okLabel: T('はい（両方閉じる）', 'Yes (close both)'),
        onOk: () => closeApp(true),
        secondLabel: T('いいえ（壁紙は残す）', 'No (keep the wallpaper)'),
        onSecond: () => closeApp(false),
      });
    }

    // The host asks before closing the window; the page answers with closeApp.
    /** @type {any} */ (window).__requestExit = () => {
      if (!app.unsavedResult) {
        closeAskingAboutWallpaper();
        return;
      }
      app.showConfirm({
        title: T('保存していない変更があります', 'You have unsaved changes'),
        message: T('終了する前に画像を保存しますか？', 'Would you like to save your image before exiting?'),
        okLabel: T('保存', 'Save'),
        onOk: () => { if (app.hasResult && !app.busy) app.saveImage({ exitAfter: true }); },
        secondLabel: T('保存せずに終了', 'Exit without saving'),
        onSecond: closeAskingAboutWallpaper,
      });
    };

    return {
      closeAskingAboutWallpaper,
    };
  }

  // ================================================================ batch render
  /**
   * A pile made from the command line ("TessaryMaker --render=OUT", see generator/BatchRender.h): once
   * the page has loaded, the host sends `batchRender` with the settings and the photo folder's listing.
   * The page sets its controls as a user would, imports the photos, generates once and saves through the
   * save flow to the file the host chose, and sets the wallpaper when asked; its busy texts go to the
   * host as `batchProgress`, and `batchDone` ends the run with an exit code and a reason.
   * @param {App} app the controller: the operations of every factory, joined in order
   */
  function makeBatchRender(app) {
    // The program's exit codes.
    const FAILED = 1;
    const BAD_ARGUMENTS = 2;
    const NO_PHOTOS = 3;
    const CANNOT_WRITE = 4;
    const PROGRESS_EVERY_MS = 100;
    const FONT_WAIT_MS = 10000;

    /** @param {number} code @param {string} message */
    const failure = (code, message) => Object.assign(new Error(message), { exitCode: code });

    /** Mirrors the busy indicator's text to the host, at most every 100 ms and always the latest. */
    function mirrorProgress() {
      let last = '';
      let timer = 0;
      const post = () => {
        timer = 0;
        const text = $('busyText').textContent || '';
        if (text && text !== last) bridge.post({ cmd: 'batchProgress', text });
        last = text;
      };
      const observer = new MutationObserver(() => { if (!timer) timer = window.setTimeout(post, PROGRESS_EVERY_MS); });
      observer.observe($('busyText'), { childList: true, characterData: true, subtree: true });
      return () => {
        observer.disconnect();
        window.clearTimeout(timer);
      };
    }

    /** @param {{option: string, id: string, value: any}} control */
    function setControl(control) {
      const el = $(control.id);
      if (!el) throw failure(BAD_ARGUMENTS, `${control.option}: the page has no such setting`);
      if (el.type === 'checkbox') {
        el.checked = !!control.value;
        return;
      }
      const value = String(control.value);
      if (el.tagName === 'SELECT' && ![...el.options].some((/** @type {any} */ o) => o.value === value)) {
        throw failure(BAD_ARGUMENTS, `${control.option}: the page does not offer "${value}"`);
      }
      el.value = value;
    }

    /** An installed font is offered once the host's font list has come. @param {string} value */
    async function chooseSystemFont(value) {
      const offered = () => [...$('titleFont').options].some((/** @type {any} */ o) => o.value === value);
      const until = Date.now() + FONT_WAIT_MS;
      while (!offered() && Date.now() < until) await new Promise((resolve) => window.setTimeout(resolve, 50));
      setControl({ option: '--title-font', id: 'titleFont', value });
    }

    /** @param {string} url the host's address of the own background picture */
    async function useBackgroundImage(url) {
      try {
        const response = await fetch(url);
        if (!response.ok) throw new Error(String(response.status));
        TY.render.setCustomBackground(await createImageBitmap(await response.blob()));
      } catch {
        throw failure(BAD_ARGUMENTS, T('--background-image: この画像は背景に使えません',
          '--background-image: the picture cannot be used as a background'));
      }
      $('bgSelect').value = 'custombg';
    }

    /** @param {any} request */
    async function applySettings(request) {
      for (const control of request.controls || []) setControl(control);
      if (request.screen) {
        $('sizePreset').value = 'custom';
        $('customW').value = String(request.screen.w);
        $('customH').value = String(request.screen.h);
      }
      if (request.titleFont) await chooseSystemFont(request.titleFont);
      $('titleColorAuto').checked = !request.titleColor;
      if (request.titleColor) app.pickTitleColor(request.titleColor, true);
      if (request.titlePosition) app.selectTitlePosition(request.titlePosition);
      if (request.titleFreePos) {
        $('chkTitleFree').checked = true;
        app.setTitleFreePos(request.titleFreePos);
      }
      if (request.backgroundUrl) await useBackgroundImage(request.backgroundUrl);
      if (request.mode === 'album') app.setMode('album');
      app.refreshControls();
    }

    /** The folder's photos (and memos when asked), then the favourites, by name and in order. @param {any} request */
    async function importFolder(request) {
      const folder = request.folder || {};
      const names = Array.isArray(folder.photos) ? folder.photos : [];
      app.setBusy(true, T('素材を読み込んでいます…', 'Loading items…'));
      let counts;
      try {
        counts = await photos.addFromHost(folder.baseUrl, names, (done, total) =>
          app.setBusyText(T(`素材を読み込んでいます… ${done}/${total}`, `Loading items… ${done}/${total}`)));
        if (request.memos && Array.isArray(folder.memos) && folder.memos.length) {
          app.setBusyText(T('メモを紙にしています…', 'Turning memos into paper…'));
          await photos.addMemosFromHost(folder.baseUrl, folder.memos);
        }
      } finally {
        app.setBusy(false);
      }
      app.rebuildThumbs();
      if (!photos.includedItems().length) {
        const why = counts && counts.lastError ? ` (${counts.lastError})` : '';
        throw failure(NO_PHOTOS, T(`${names.length} 枚の写真をどれも読み込めませんでした${why}`,
          `none of the ${names.length} photos could be read${why}`));
      }
      for (const name of request.favourites || []) {
        const item = photos.items.find((/** @type {any} */ it) => it.name === name || bareName(it.name) === name);
        if (!item) throw failure(NO_PHOTOS, T(`--favourites: "${name}" を読み込めませんでした`, `--favourites: "${name}" could not be read`));
        photos.toggleStar(item.id);
      }
    }

    /** @param {string} name @returns {string} the name without its folders */
    const bareName = (name) => String(name).replace(/^.*\//, '');

    /** Saves through the save flow to the host's chosen file; a PDF takes the dialog's paper and background. @param {any} request */
    async function save(request) {
      let outcome = await app.saveImage();
      if (outcome && outcome.event === 'saveTargetChosen') {
        // The paper dialog sets its region's paper when it opens: the command line's comes after.
        for (const control of request.controls || []) if (/^pdf/.test(control.id)) setControl(control);
        outcome = await app.saveAlbumPdf();
      }
      const event = outcome ? outcome.event : '';
      const message = outcome && outcome.payload && outcome.payload.message ? String(outcome.payload.message) : '';
      if (event === 'saveDone' || event === 'albumPdfDone') return;
      if (event === 'saveError' || event === 'albumPdfError') throw failure(CANNOT_WRITE, message || T('書き込めませんでした', 'could not be written'));
      if (event === 'saveCancelled' && request.output === 'mp4') {
        throw failure(FAILED, T('この環境では MP4 動画を録画できません', 'this system cannot record MP4 video'));
      }
      throw failure(FAILED, message || T('保存できませんでした', 'nothing was saved'));
    }

    /** @param {any} request */
    async function render(request) {
      await app.untilIdle();
      if (request.seed !== null && request.seed !== undefined) TY.layout.useRandom(TY.render.mulberry32(Number(request.seed)));
      await applySettings(request);
      await importFolder(request);
      const made = await app.regenerate();
      if (made.outcome === 'unusable') throw failure(NO_PHOTOS, made.message || '');
      if (made.outcome !== 'generated' || !app.hasResult) throw failure(FAILED, made.message || T('画像を作れませんでした', 'no picture was made'));
      await save(request);
      if (request.wallpaper) {
        const set = await app.sendWallpaperPicture();
        if (!set || set.event !== 'wallpaperDone') {
          const why = set && set.payload && set.payload.message ? `: ${set.payload.message}` : '';
          throw failure(FAILED, T(`保存しましたが、壁紙に設定できませんでした${why}`,
            `the picture was saved but could not be set as the wallpaper${why}`));
        }
      }
    }

    let started = false;
    bridge.on('batchRender', async (request) => {
      if (started || !request) return;
      started = true;
      const stopMirror = mirrorProgress();
      /** @type {Record<string, any>} */
      let done;
      try {
        await render(request);
        const size = request.output === 'pdf' ? null : app.lastVisual;
        done = { code: 0, width: size ? size.w : 0, height: size ? size.h : 0 };
      } catch (err) {
        done = { code: Number(/** @type {any} */ (err).exitCode) || FAILED, message: messageOf(err) };
      } finally {
        stopMirror();
        TY.layout.useRandom(null);
      }
      bridge.post({ cmd: 'batchDone', ...done });
    });

    return {};
  }

  // ================================================================ joining the factories
  // Each factory owns its state and wires its controls when it is made; it
  // reaches the others only through `app`, at run time, so the order below
  // matters only for what a factory does while it is made.
  const FACTORIES = [
    makeScreen, makeNotices, makeBusy, makeUnsavedMark, makeConfirm, makeOutputSizes,
    makeStoredSwitches, makeStyle, makeTitle, makeAlbumSettings, makeGenerate, makePreview,
    makePlayback, makeControls, makeModes, makeImport, makeThumbList, makeFavourites, makeViewer,
    makeRequests, makeSave, makeAlbumPdf, makeStillWallpaper, makeUndoWallpaper, makeLiveWallpaper, makeWorks, makeKeyboard,
    makeDropping, makeExit, makeBatchRender,
  ];
  for (const factory of FACTORIES) Object.defineProperties(app, Object.getOwnPropertyDescriptors(factory(app)));

  // ================================================================ start-up
  /** Applies the page address's settings over the defaults. */
  function applyAddressSettings() {
    for (const [id, value] of Object.entries(address.selects)) {
      if ([...$(id).options].some((o) => o.value === value && value !== 'custombg')) $(id).value = value;
    }
    const checks = { norepeat: 'chkNoRepeat', stardim: 'chkStarDim', dimalpha: 'chkStarDimTranslucent', titlefree: 'chkTitleFree' };
    for (const [key, id] of Object.entries(checks)) if (address[key] !== undefined) $(id).checked = address[key];
    if (address.size) {
      $('sizePreset').value = 'custom';
      $('customW').value = String(address.size.w);
      $('customH').value = String(address.size.h);
    }
    if (address.density !== undefined) $('densitySlider').value = String(address.density);
    app.applyAddressTitle();
  }

  /** Stars the first items once the import's own generation has finished. */
  function starFirstItems(count) {
    const timer = window.setInterval(() => {
      if (app.busy) return;
      window.clearInterval(timer);
      for (const it of photos.items.slice(0, count)) if (!(it.star > 0)) photos.toggleStar(it.id);
      app.rebuildThumbs();
      app.regenerate();
    }, 100);
  }

  $('speedLabel').textContent = (app.speedValue() / 100).toFixed(2) + '×';
  app.listPresets();
  app.buildPalette();
  for (const option of $('captionFont').options) $('titleFont').appendChild(option.cloneNode(true));
  const themeParam = new URLSearchParams(window.location.search).get('theme');
  app.applyTheme(themeParam === 'dark' || themeParam === 'light' ? themeParam : app.storedTheme());
  $('languageSelect').value = TY.i18n.preference;
  if (bridge.isHosted) {
    app.tellHostLanguage();
    bridge.post({ cmd: 'getFonts' });
  } else {
    app.useFallbackFonts();
  }
  let storage = null;
  try { storage = window.localStorage; } catch { /* unreadable: the defaults apply */ }
  $('starEmphasisMode').value = storedEmphasisMode(storage);
  $('chkStarDim').checked = storedSwitch(storage, STORAGE.starDim);
  $('chkStarDimTranslucent').checked = storedSwitch(storage, STORAGE.starDimTranslucent);
  applyAddressSettings();
  app.rememberBackground();
  $('densityLabel').textContent = densityLabel($('densitySlider').value);
  app.showLiveOptions();
  app.updatePlayButton();
  app.rebuildThumbs();
  if (address.demo !== undefined) {
    app.importSamples(address.demo);
    if (address.stars) starFirstItems(address.stars);
  }

  /** @type {Tessary.Ui} */
  const ui = {
    rules,
    toast: app.toast,
    showConfirm: app.showConfirm,
    setBusy: app.setBusy,
    deferredChip: app.deferredChip,
    refreshControls: app.refreshControls,
    importFiles: app.importFiles,
    reportMaterialImport: app.reportMaterialImport,
    rebuildThumbs: app.rebuildThumbs,
    regenerate: app.regenerate,
    scheduleRegenerate: app.scheduleRegenerate,
    redrawCurrentVisual: app.redrawCurrentVisual,
    scheduleTitleRedraw: app.scheduleTitleRedraw,
    restorePreview: app.restorePreview,
    setUnsavedResult: app.setUnsavedResult,
    buildVideoData: app.buildVideoData,
    attachAlbumFrameLoader: app.attachAlbumFrameLoader,
    renderAlbumPrintPages: app.renderAlbumPrintPages,
    saveImage: app.saveImage,
    stopPlayback: app.stopPlayback,
    setMode: app.setMode,
    gotoAlbumSpread: app.gotoAlbumSpread,
    albumSpreadCount: app.albumSpreadCount,
    currentPreset: app.currentPreset,
    currentImageTitleCfg: app.currentImageTitleCfg,
    currentAlbumCfg: app.currentAlbumCfg,
    isBusy: () => app.busy,
    hasResult: () => app.hasResult,
    isPlaying: () => app.playing,
    generationId: () => app.generationId,
    lastVisual: () => app.lastVisual,
    albumPosition: () => app.albumSpreadIdx,
    albumTurn: () => app.albumTurnPending,
    startLiveWallpaper: app.startLiveWallpaper,
    liveState: () => app.liveState,
    liveTransferring: () => app.liveTransferring,
  };
  TY.ui = ui;
})();
