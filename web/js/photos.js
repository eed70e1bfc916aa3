// TY.photos: the page's one list of materials (photos and memo cards) in the
// user's order, with the flags that decide which of them take part in a
// picture, their list thumbnails and a cache of decoded pictures sized to the
// current layout. The user's files are never written: every edit lives only
// as long as the page.
//
// Contents:
//   limits · the list · decoding · HEIC via host · adding · dropped folders · stars and order ·
//   EXIF captions · memo cards · sample photos
(function () {
  'use strict';
  const TY = (window.TY = window.TY || /** @type {Tessary.Namespace} */ ({}));
  /** @param {string} ja @param {string} en */
  const T = (ja, en) => TY.i18n.T(ja, en);

  // ================================================================ limits
  const MAX_PHOTOS = 1000;
  const FEATURED_MAX = 5;
  const VALID_EXT = /\.(jpe?g|png|bmp|heic|heif)$/i;
  const HEIC_EXT = /\.(heic|heif)$/i;
  const JPEG_EXT = /\.jpe?g$/i;
  const MEMO_EXT = /\.(txt|md)$/i;
  const THUMB_EDGE = 240;
  const THUMB_QUALITY = 0.78;
  const HANDOVER_QUALITY = 0.9;
  const BUCKET_STEP = 128;
  const BUCKET_CAP = 1024;
  const DEFAULT_CACHE_CAP = 400;
  const HEIC_MAX_BYTES = 100 * 1024 * 1024;
  const HEIC_TIMEOUT_MS = 30000;
  const BASE64_SLICE = 32768;
  const EXIF_SCAN_BYTES = 262144;
  // Decodes in flight at once: enough to keep both cores busy (the host's
  // reductions run on its worker threads, the browser decodes off the page's
  // thread), few enough that memory holds only a handful of them.
  const DECODES_IN_FLIGHT = 3;
  // Photos an import prepares ahead of the one it lists next: enough to keep
  // the host's threads busy making thumbnails, which the page only receives.
  const IMPORT_AHEAD = 8;

  const MEMO_MAX_FILES = 100;
  const MEMO_MAX_LINES = 50;
  const MEMO_MAX_CHARS_PER_LINE = 400;
  const MEMO_CARD_W = 900;
  const MEMO_CARD_H = 700;
  const MEMO_BODY_TOP = 145;
  const MEMO_BODY_BOTTOM = 665;
  const MEMO_BASE_FONT = 32;
  const MEMO_BASE_LEADING = 27;
  const MEMO_SAFE_LEFT = (MEMO_CARD_W - MEMO_CARD_H) / 2 + 50;
  const MEMO_SAFE_RIGHT = MEMO_CARD_W - (MEMO_CARD_W - MEMO_CARD_H) / 2 - 50;
  const MEMO_SAFE_WIDTH = MEMO_SAFE_RIGHT - MEMO_SAFE_LEFT;
  const MEMO_COLORS = {
    paper: '#eee7cf', text: '#4a3b2b', rule: 'rgba(118,91,55,.16)', tape: 'rgba(218,183,113,.62)',
  };

  const SAMPLE_SIDE = 640;
  const SAMPLE_PALETTES = [
    ['#88b8dd', '#eef4f8', '#4a7ba6'], ['#e8b06b', '#f8ead2', '#b0763a'],
    ['#9ec99a', '#eef5ea', '#5d8f58'], ['#d98f9c', '#f8ecee', '#a75563'],
    ['#b7a3d0', '#f2edf7', '#77619a'], ['#e0c26a', '#faf2d8', '#a98c35'],
    ['#8fc5c0', '#eaf5f4', '#4f8b85'], ['#d9a273', '#f8efe5', '#9c6b3e'],
    ['#a3b8d9', '#eef1f8', '#5f7bab'], ['#c9a3a3', '#f7eeee', '#8f5b5b'],
  ];

  /** The hint shown when the host cannot read HEIC pictures. */
  function codecHint() {
    return T('この HEIC 写真は読み込めませんでした（HEIF/HEVC デコーダーで開けない形式か、ファイルが壊れています）',
      'This HEIC photo could not be read (the HEIF/HEVC decoder cannot open it, or the file is damaged)');
  }

  /** @param {number} status */
  function statusError(status) {
    return T('読み込めませんでした (HTTP ' + status + ')', 'Could not load (HTTP ' + status + ')');
  }

  /** @param {any} err */
  function messageOf(err) {
    return err && err.message ? String(err.message) : String(err);
  }

  // ================================================================ the list
  /**
   * @typedef {object} PhotoItem
   * @property {number} id
   * @property {string} name
   * @property {Blob|null} blob the photo's bytes, held only when nothing else can give them again
   * @property {number} size the file's size in bytes
   * @property {string} type the file's MIME type
   * @property {string|null} caption
   * @property {string} [memo]
   * @property {string} thumbUrl
   * @property {boolean} included
   * @property {number} star
   * @property {any} bitmap
   * @property {number} bitmapBucket
   * @property {string} origin "copied", "folder" or "memo"
   * @property {string|null} sourceUrl where the host serves the photo's JPEG file, which it can
   *   also serve reduced to the width a decode needs; null when only `blob` holds it
   * @property {string|null} fileUrl where the host keeps serving the photo's file when `blob` is
   *   null: a folder's photos are fetched again when needed, so that a thousand of them do not
   *   stay in memory as bytes
   */

  /**
   * Where a photo's bytes come from: held, or fetched again from the host.
   * @typedef {{blob: Blob|null, size: number, type: string, sourceUrl: string|null, fileUrl: string|null}} PhotoSource
   */

  /** @type {PhotoItem[]} The controller reads this array directly; it is never replaced. */
  const items = [];
  let nextId = 1;

  /** @param {number} id */
  function findItem(id) {
    return items.find((it) => it.id === id) || null;
  }

  function includedItems() {
    return items.filter((it) => it.included);
  }

  /** Included favourites in priority order (☆1 first). */
  function starredItems() {
    return includedItems().filter((it) => it.star > 0).sort((a, b) => a.star - b.star);
  }

  /** @param {string} name */
  function isPhotoName(name) {
    return VALID_EXT.test(String(name));
  }

  /**
   * Why a material cannot join the list now, or null. Tested before and
   * again after every wait, since other entrances may add meanwhile.
   * @param {string} name
   * @param {number} size
   * @returns {'overflow'|'skipped'|null}
   */
  function refusal(name, size) {
    if (items.length >= MAX_PHOTOS) return 'overflow';
    if (items.some((it) => it.name === name && it.size === size)) return 'skipped';
    return null;
  }

  // ================================================================ decoding
  /**
   * A photo's bytes: those held, or the file the host serves again. A file
   * that can no longer be fetched fails like bytes that do not decode.
   * @param {PhotoSource} source
   * @returns {Promise<Blob>}
   */
  async function photoBytes(source) {
    if (source.blob) return source.blob;
    if (!source.fileUrl) throw new Error(T('写真のデータがありません', 'the photo has no data'));
    const res = await fetch(source.fileUrl);
    if (!res.ok) throw new Error(statusError(res.status));
    return res.blob();
  }

  /** Releases a decoded picture; a released one keeps existing with size 0. */
  function releaseImage(image) {
    if (!image) return;
    if (typeof image.close === 'function') image.close();
    else if ('width' in image) { image.width = 0; image.height = 0; }
  }

  /** @param {PhotoItem} item */
  function releaseBitmap(item) {
    releaseImage(item.bitmap);
    item.bitmap = null;
    item.bitmapBucket = 0;
  }

  /** @param {number} w @param {number} h */
  function makeCanvas(w, h) {
    const canvas = document.createElement('canvas');
    canvas.width = w;
    canvas.height = h;
    return canvas;
  }

  /**
   * Decodes image bytes at the given width (height in proportion), or at
   * their own size without one, honouring the EXIF orientation. Browsers
   * without resizing or orientation options in createImageBitmap decode
   * through an image element, which always honours it.
   * @param {Blob} blob
   * @param {number|null} width
   * @param {'medium'|'high'} quality
   * @returns {Promise<ImageBitmap|HTMLCanvasElement>}
   */
  async function decodeAtWidth(blob, width, quality) {
    if (typeof createImageBitmap === 'function') {
      try {
        return await createImageBitmap(blob, width === null ? { imageOrientation: 'from-image' }
          : { imageOrientation: 'from-image', resizeWidth: width, resizeQuality: quality });
      } catch { /* try the element below; a broken picture fails there too */ }
    }
    const url = URL.createObjectURL(blob);
    try {
      const img = new Image();
      img.src = url;
      await img.decode();
      if (!img.naturalWidth || !img.naturalHeight) throw new Error('empty image');
      const w = width === null ? img.naturalWidth : width;
      const canvas = makeCanvas(w, Math.max(1, Math.round(img.naturalHeight * w / img.naturalWidth)));
      const ctx = canvas.getContext('2d');
      ctx.imageSmoothingEnabled = true;
      ctx.imageSmoothingQuality = quality;
      ctx.drawImage(img, 0, 0, canvas.width, canvas.height);
      return canvas;
    } finally {
      URL.revokeObjectURL(url);
    }
  }

  let decodesRunning = 0;
  /** @type {Array<() => void>} decodes waiting for a free place, first asked first served */
  const decodeQueue = [];

  /**
   * Runs a decode once fewer than DECODES_IN_FLIGHT run, in the order asked.
   * @template T
   * @param {() => Promise<T>} work
   * @returns {Promise<T>}
   */
  async function inDecodeSlot(work) {
    if (decodesRunning < DECODES_IN_FLIGHT) decodesRunning++;
    else await new Promise((resolve) => decodeQueue.push(() => resolve(undefined)));
    try {
      return await work();
    } finally {
      // The place goes straight to the next decode waiting, if any.
      const next = decodeQueue.shift();
      if (next) next();
      else decodesRunning--;
    }
  }

  /**
   * The address of a copy the host makes of a photo it serves: the host
   * reads one query after the file's name, and its addresses hold none (the
   * names in them are encoded).
   * @param {string} sourceUrl @param {'width'|'thumb'} key @param {number} value
   */
  function hostCopyUrl(sourceUrl, key, value) {
    return `${sourceUrl}?${key}=${value}`;
  }

  /**
   * Decodes a photo at a width. A photo the host serves is asked for already
   * reduced to that width (the host decodes large JPEGs at a fraction of
   * their size, on its own threads); decoding the reduced file gives the
   * picture that decoding the original gives. Whatever goes wrong there, the
   * photo's own bytes are decoded instead.
   * @param {PhotoSource} source
   * @param {number} width
   * @param {'medium'|'high'} quality
   * @param {{started?: () => void, keepBytes?: boolean}} [opts] `started` is told when the
   *   decode's turn has come; with `keepBytes` the host's file comes back too (its EXIF data is the photo's)
   * @returns {Promise<{picture: ImageBitmap|HTMLCanvasElement, bytes: ArrayBuffer|null}>}
   */
  function decodePhoto(source, width, quality, opts = {}) {
    return inDecodeSlot(async () => {
      if (opts.started) opts.started();
      const sourceUrl = source.sourceUrl;
      if (sourceUrl) {
        try {
          const res = await fetch(hostCopyUrl(sourceUrl, 'width', width));
          if (res.ok && !opts.keepBytes) return { picture: await decodeAtWidth(await res.blob(), width, quality), bytes: null };
          if (res.ok) {
            const bytes = await res.arrayBuffer();
            return { picture: await decodeAtWidth(new Blob([bytes]), width, quality), bytes };
          }
        } catch { /* decoded from the photo's own bytes below */ }
      }
      return { picture: await decodeAtWidth(await photoBytes(source), width, quality), bytes: null };
    });
  }

  /**
   * The host's thumbnail of a photo it serves: a JPEG it has made already
   * fitted to the list's size, so that the page neither decodes the photo
   * nor encodes a thumbnail. It holds no decoded picture in the page, so it
   * needs no decode place. Null when the host made none (a JPEG it cannot
   * scale) or could not be asked.
   * @param {PhotoSource} source
   * @returns {Promise<{url: string, bytes: ArrayBuffer}|null>}
   */
  async function hostThumbnail(source) {
    if (!source.sourceUrl) return null;
    try {
      const res = await fetch(hostCopyUrl(source.sourceUrl, 'thumb', THUMB_EDGE));
      if (res.status !== 200) return null;
      const blob = await res.blob();
      return { url: URL.createObjectURL(blob), bytes: await blob.arrayBuffer() };
    } catch {
      return null;
    }
  }

  /**
   * A 240 px JPEG of the picture for the list. Transparent parts show the
   * print's paper, as they do in the picture. Bytes that do not decode are
   * no picture at all and fail here, so that the import can say so at once;
   * when only the encoding fails, the list shows the bytes themselves.
   * @param {PhotoSource} source
   * @returns {Promise<{url: string, bytes: ArrayBuffer|null}>} object URL, and the host's
   *   reduced file when the thumbnail was made from one (its EXIF data is the photo's)
   */
  async function makeThumbnail(source) {
    const made = await hostThumbnail(source);
    if (made) return made;
    const { picture, bytes } = await decodePhoto(source, THUMB_EDGE, 'medium', { keepBytes: true });
    try {
      const scale = Math.min(1, THUMB_EDGE / Math.max(picture.width, picture.height));
      const canvas = makeCanvas(Math.max(1, Math.round(picture.width * scale)), Math.max(1, Math.round(picture.height * scale)));
      const ctx = canvas.getContext('2d');
      ctx.fillStyle = TY.render.PAPER;
      ctx.fillRect(0, 0, canvas.width, canvas.height);
      ctx.drawImage(picture, 0, 0, canvas.width, canvas.height);
      const jpeg = TY.render.canvasToBlob(canvas, 'image/jpeg', THUMB_QUALITY);
      return { url: URL.createObjectURL(jpeg || await photoBytes(source)), bytes };
    } catch {
      return { url: URL.createObjectURL(await photoBytes(source)), bytes };
    } finally {
      releaseImage(picture);
    }
  }

  /** @param {number} size @returns {string} why the bytes are no picture, in the user's words */
  function unreadableReason(size) {
    return size === 0 ? T('空のファイルです', 'the file is empty')
      : T('壊れているか写真ではありません', 'damaged or not a photo');
  }

  /**
   * Decodes the pictures of the given included-list indexes at the width
   * bucket of `targetWidth`, reusing decodes at an equal or larger bucket.
   * A few decode at once, started in the order asked. Pictures that fail to
   * decode are excluded. When the cache would hold more than its cap, decodes
   * not requested this time are released, before the new ones are made.
   * @param {number[]} indexes positions in includedItems(), or in `options.from`
   * @param {number} targetWidth
   * @param {(done: number, total: number) => void} [onProgress]
   * @param {{maxCached?: number, from?: any[]}} [options] `from`: the item list the indexes refer to
   * @returns {Promise<Array<any>>} sparse, indexed like `indexes` values
   */
  async function ensureBitmapsFor(indexes, targetWidth, onProgress, options) {
    const wanted = Array.isArray(indexes) ? indexes : [];
    const steps = Math.ceil(Number(targetWidth) / BUCKET_STEP);
    const bucket = Math.min(BUCKET_CAP, Number.isFinite(steps) && steps > 0 ? steps * BUCKET_STEP : BUCKET_STEP);
    const list = (options && options.from) || includedItems();
    const requested = new Set();
    for (const index of wanted) if (list[index]) requested.add(list[index]);
    const cap = Math.max(wanted.length, (options && options.maxCached) || DEFAULT_CACHE_CAP);
    const releaseUnrequested = () => {
      const holding = items.filter((it) => it.bitmap);
      if (holding.length > cap) for (const it of holding) if (!requested.has(it)) releaseBitmap(it);
    };
    // Room first: the decodes this call makes must fit beside those it keeps.
    const others = items.filter((it) => it.bitmap && !requested.has(it)).length;
    if (others + requested.size > cap) for (const it of items) if (it.bitmap && !requested.has(it)) releaseBitmap(it);

    const result = [];
    /** @type {Map<any, Promise<void>>} one decode per item, however often it is asked for */
    const decoding = new Map();
    const work = [];
    wanted.forEach((index, i) => {
      const item = list[index];
      if (!item) return;
      if (item.bitmap && item.bitmapBucket >= bucket) {
        result[index] = item.bitmap;
        return;
      }
      if (!decoding.has(item)) decoding.set(item, decodeInto(item, bucket, () => { if (onProgress) onProgress(i + 1, wanted.length); }));
      work.push(decoding.get(item).then(() => { if (item.bitmap) result[index] = item.bitmap; }));
    });
    await Promise.all(work);
    releaseUnrequested();
    return result;
  }

  /**
   * Decodes one item at a bucket into its cache place; a picture that fails
   * to decode is excluded.
   * @param {PhotoItem} item
   * @param {number} bucket
   * @param {() => void} started told when the decode begins
   */
  async function decodeInto(item, bucket, started) {
    let decoded;
    try {
      ({ picture: decoded } = await decodePhoto(item, bucket, 'high', { started }));
    } catch {
      releaseBitmap(item);
      item.included = false;
      return;
    }
    // The list may have been cleared, or a larger decode stored, meanwhile.
    if (!items.includes(item) || (item.bitmap && item.bitmapBucket >= bucket)) {
      releaseImage(decoded);
      return;
    }
    releaseBitmap(item);
    item.bitmap = decoded;
    item.bitmapBucket = bucket;
  }

  /**
   * A picture's bytes for the live wallpaper, as base64: reduced so that its
   * shorter side (the square picture of its print) is `side`, at JPEG 0.9,
   * and never enlarged. The file's own bytes go when no side is given, when
   * the picture is not larger, or when it cannot be decoded or encoded: the
   * wallpaper page has its own guard. Transparent parts get the print's paper.
   * @param {Blob} blob
   * @param {number|undefined} side
   * @returns {Promise<{base64: string, reduced: boolean}>}
   */
  async function reduceForHandover(blob, side) {
    const unchanged = async () => ({ base64: await blobToBase64(blob), reduced: false });
    if (!(Number(side) > 0)) return unchanged();
    let decoded;
    try {
      decoded = await decodeAtWidth(blob, null, 'high');
    } catch {
      return unchanged();
    }
    /** @type {HTMLCanvasElement|null} */
    let canvas = null;
    try {
      const shorter = Math.min(decoded.width, decoded.height);
      if (!(shorter > side)) return unchanged();
      const scale = side / shorter;
      canvas = makeCanvas(Math.max(1, Math.round(decoded.width * scale)), Math.max(1, Math.round(decoded.height * scale)));
      const ctx = canvas.getContext('2d');
      ctx.fillStyle = TY.render.PAPER;
      ctx.fillRect(0, 0, canvas.width, canvas.height);
      ctx.imageSmoothingEnabled = true;
      ctx.imageSmoothingQuality = 'high';
      ctx.drawImage(decoded, 0, 0, canvas.width, canvas.height);
      const url = canvas.toDataURL('image/jpeg', HANDOVER_QUALITY);
      const base64 = url.startsWith('data:image/jpeg') ? url.slice(url.indexOf(',') + 1) : '';
      return base64 ? { base64, reduced: true } : unchanged();
    } finally {
      releaseImage(decoded);
      releaseImage(canvas);
    }
  }

  // ================================================================ HEIC via host
  /** @type {Tessary.RequestChannel|null} made on first use: the store also loads without a bridge */
  let heicRequests = null;

  /** @param {Blob} blob */
  async function blobToBase64(blob) {
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let binary = '';
    for (let i = 0; i < bytes.length; i += BASE64_SLICE) {
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + BASE64_SLICE));
    }
    return btoa(binary);
  }

  /**
   * Has the host turn HEIC/HEIF bytes into a JPEG.
   * @param {Blob} blob
   * @returns {Promise<{blob: Blob, url: string}>} the JPEG, and where the host serves it
   */
  async function convertHeic(blob) {
    const bridge = TY.bridge;
    if (!bridge || !bridge.isHosted) {
      throw new Error(T('HEIC はデスクトップアプリでのみ読み込めます', 'HEIC is supported in the desktop app only'));
    }
    if (blob.size > HEIC_MAX_BYTES) {
      throw new Error(T('HEIC ファイルが大きすぎます（最大 100 MB）', 'HEIC file is too large (max 100 MB)'));
    }
    if (!heicRequests) {
      heicRequests = bridge.requestChannel({ answers: ['heicConverted'], idField: 'reqId', timeoutMs: HEIC_TIMEOUT_MS });
    }
    const reqId = bridge.makeRequestId('h');
    const base64 = await blobToBase64(blob);
    let payload;
    try {
      ({ payload } = await heicRequests.request((id) => bridge.sendChunks('convertHeic', base64, { reqId: id }), { id: reqId }));
    } catch (err) {
      if (err && err.code === 'timeout') throw new Error(T('HEIC の変換がタイムアウトしました', 'HEIC conversion timed out'));
      throw err;
    }
    if (payload.error || !payload.url) {
      throw new Error(codecHint() + ' (' + (payload.error || T('変換に失敗しました', 'conversion failed')) + ')');
    }
    const res = await fetch(payload.url);
    if (!res.ok) throw new Error(statusError(res.status));
    return { blob: await res.blob(), url: String(payload.url) };
  }

  // ================================================================ adding
  /**
   * A material on its way into the list: its bytes, caption and thumbnail
   * are ready, but it has yet to pass the tests at its turn.
   * @typedef {PhotoSource & {name: string, caption: string|null, thumbUrl: string, origin: string}} Prepared
   * @typedef {{outcome: 'added'|'skipped'|'overflow', item?: PhotoItem, error?: string}} Admission
   *   `error` says why a material was skipped
   * @typedef {{outcome: 'ready', prepared: Prepared}} Ready
   */

  /** @param {string} [error] @returns {Admission} */
  const skipped = (error) => (error ? { outcome: 'skipped', error } : { outcome: 'skipped' });
  /** @type {Admission} */
  const OVERFLOW = Object.freeze({ outcome: 'overflow' });

  /**
   * Reads a material's caption and makes its thumbnail, after the duplicate
   * and limit tests.
   * @param {string} name
   * @param {PhotoSource} source
   * @param {string} origin
   * @param {string|null} [caption] given for memo cards; else read from JPEG EXIF
   * @returns {Promise<Admission | Ready>}
   */
  async function prepare(name, source, origin, caption) {
    const early = refusal(name, source.size);
    if (early) return { outcome: early };
    let thumb;
    try {
      thumb = await makeThumbnail(source);
    } catch {
      return skipped(unreadableReason(source.size));
    }
    let text = caption === undefined ? null : caption;
    if (caption === undefined && JPEG_EXT.test(name)) {
      // A reduced copy keeps the photo's EXIF data, and is already at hand.
      text = thumb.bytes ? readExifCaption(thumb.bytes) : await photoBytes(source)
        .then((bytes) => bytes.slice(0, EXIF_SCAN_BYTES).arrayBuffer()).then(readExifCaption, () => null);
    }
    return { outcome: 'ready', prepared: { ...source, name, caption: text, thumbUrl: thumb.url, origin } };
  }

  /** @param {Blob} blob @param {string|null} [sourceUrl] @returns {PhotoSource} bytes the page holds */
  function heldSource(blob, sourceUrl = null) {
    return { blob, size: blob.size, type: blob.type, sourceUrl, fileUrl: null };
  }

  /**
   * Appends a prepared material, unless the list filled up or took in the
   * same material while it was prepared.
   * @param {Admission | Ready} result
   * @returns {Admission}
   */
  function admitPrepared(result) {
    if (result.outcome !== 'ready') return /** @type {Admission} */ (result);
    const p = /** @type {Ready} */ (result).prepared;
    const late = refusal(p.name, p.size);
    if (late) {
      URL.revokeObjectURL(p.thumbUrl);
      return { outcome: late };
    }
    /** @type {PhotoItem} */
    const item = {
      id: nextId++, name: p.name, blob: p.blob, size: p.size, type: p.type, caption: p.caption, thumbUrl: p.thumbUrl,
      included: true, star: 0, bitmap: null, bitmapBucket: 0, origin: p.origin, sourceUrl: p.sourceUrl, fileUrl: p.fileUrl,
    };
    items.push(item);
    return { outcome: 'added', item };
  }

  /**
   * Appends one material after the duplicate and limit tests, with its
   * caption and thumbnail.
   * @param {string} name
   * @param {Blob} blob
   * @param {string} origin
   * @param {string|null} [caption]
   */
  async function admit(name, blob, origin, caption) {
    return admitPrepared(await prepare(name, heldSource(blob), origin, caption));
  }

  /**
   * Prepares the entries of a list a few ahead of the one taken next, and
   * takes the results in list order: the list keeps the order given, however
   * the preparations finish.
   * @template E, R
   * @param {E[]} list
   * @param {(entry: E, index: number) => Promise<R>} prepareOne must not fail
   * @param {(result: R) => void} take
   */
  async function inListOrder(list, prepareOne, take) {
    /** @type {Promise<R>[]} */
    const ahead = [];
    let next = 0;
    const fill = () => {
      for (; next < list.length && ahead.length < IMPORT_AHEAD; next++) ahead.push(prepareOne(list[next], next));
    };
    fill();
    while (ahead.length) {
      take(await /** @type {Promise<R>} */ (ahead.shift()));
      fill();
    }
  }

  function newCounts() {
    return { added: 0, skipped: 0, overflow: 0, lastError: null };
  }

  /**
   * @param {{added: number, skipped: number, overflow: number, lastError: string|null}} counts
   * @param {Admission} result
   */
  function count(counts, result) {
    counts[result.outcome]++;
    if (result.error) counts.lastError = result.error;
  }

  /**
   * Adds dropped or picked files (each a Blob with a name).
   * @param {ArrayLike<File>} files
   * @param {(done: number, total: number) => void} [onProgress] reported for HEIC conversions
   */
  async function addBlobs(files, onProgress) {
    const list = Array.from(files || []);
    const counts = newCounts();
    /** @type {(file: File, i: number) => Promise<Admission | Ready>} */
    const prepareFile = async (file, i) => {
      const name = String((file && file.name) || '');
      if (!isPhotoName(name)) return skipped();
      if (items.length >= MAX_PHOTOS) return OVERFLOW;
      try {
        if (!HEIC_EXT.test(name)) return await prepare(name, heldSource(file), 'copied');
        if (onProgress) onProgress(i + 1, list.length);
        const converted = await convertHeic(file);
        return await prepare(name, heldSource(converted.blob, converted.url), 'copied');
      } catch (err) {
        return skipped(messageOf(err));
      }
    };
    await inListOrder(list, prepareFile, (result) => count(counts, admitPrepared(result)));
    return counts;
  }

  /**
   * The URL of a relative name under the host's base URL, each segment encoded.
   * @param {string} baseUrl
   * @param {string} name
   */
  function hostUrl(baseUrl, name) {
    return String(baseUrl) + String(name).split('/').map(encodeURIComponent).join('/');
  }

  /**
   * The size and type of a fetched file. Its bytes are read in one piece and
   * let go at once: a buffer in the page's own heap is collected with it,
   * where a Blob would keep the bytes in another process for as long as it
   * lives (and reading the body as a stream costs more per photo).
   * @param {Response} res
   * @returns {Promise<{size: number, type: string}>}
   */
  async function measureBody(res) {
    const type = (res.headers && res.headers.get('Content-Type')) || '';
    return { size: (await res.arrayBuffer()).byteLength, type };
  }

  /** @param {string} name @returns {string} the MIME type its extension names */
  function typeOfName(name) {
    const ext = (/\.([^./]+)$/.exec(name) || ['', ''])[1].toLowerCase();
    return ext === 'jpg' || ext === 'jpeg' ? 'image/jpeg' : ext ? 'image/' + ext : '';
  }

  /**
   * Adds photos that the host serves (a chosen folder, or an album's copies).
   * @param {string} baseUrl
   * @param {string[]} names relative paths with "/"
   * @param {(done: number, total: number) => void} [onProgress]
   * @param {string} [origin]
   * @param {{lasting?: boolean, sizes?: unknown[]}} [served] `lasting`: the host keeps serving
   *   these URLs for as long as the page runs, so the photos' bytes are not kept but fetched
   *   again when needed (HEIC excepted, whose conversion is too slow to repeat); `sizes`: the
   *   files' sizes as the host listed them, which spare reading each file whole to learn it
   */
  async function addFromHost(baseUrl, names, onProgress, origin = 'folder', served = {}) {
    const lasting = !!served.lasting;
    const sizes = Array.isArray(served.sizes) ? served.sizes : [];
    const list = Array.from(names || [], String);
    const counts = newCounts();
    // Only the desktop host serves reduced copies; its JPEGs are worth reducing.
    const reduces = !!(TY.bridge && TY.bridge.isHosted);
    /** @type {(name: string, i: number) => Promise<Admission | Ready>} */
    const prepareName = async (name, i) => {
      if (onProgress) onProgress(i + 1, list.length);
      if (!isPhotoName(name)) return skipped();
      if (items.length >= MAX_PHOTOS) return OVERFLOW;
      try {
        const url = hostUrl(baseUrl, name);
        const sourceUrl = reduces && JPEG_EXT.test(name) ? url : null;
        const listedSize = sizes[i];
        if (lasting && !HEIC_EXT.test(name) && Number.isSafeInteger(listedSize) && Number(listedSize) >= 0) {
          const size = Number(listedSize);
          return await prepare(name, { blob: null, size, type: typeOfName(name), sourceUrl, fileUrl: url }, origin);
        }
        const res = await fetch(url);
        if (!res.ok) return skipped(HEIC_EXT.test(name) && res.status === 415 ? codecHint() : statusError(res.status));
        if (!lasting || HEIC_EXT.test(name)) return await prepare(name, heldSource(await res.blob(), sourceUrl), origin);
        const { size, type } = await measureBody(res);
        return await prepare(name, { blob: null, size, type, sourceUrl, fileUrl: url }, origin);
      } catch (err) {
        return skipped(messageOf(err));
      }
    };
    await inListOrder(list, prepareName, (result) => count(counts, admitPrepared(result)));
    return counts;
  }

  /**
   * Sorts files into photos, memos and the rest.
   * @param {ArrayLike<File>} files
   */
  function splitMaterials(files) {
    const photos = [];
    const memos = [];
    const others = [];
    for (const file of Array.from(files || [])) {
      const name = String((file && file.name) || '');
      if (VALID_EXT.test(name)) photos.push(file);
      else if (MEMO_EXT.test(name)) memos.push(file);
      else others.push(file);
    }
    return { photos, memos, others };
  }

  // ================================================================ dropped folders
  /** @param {any} fileEntry */
  function fileOfEntry(fileEntry) {
    return new Promise((resolve, reject) => fileEntry.file(resolve, reject));
  }

  /**
   * Every entry of a dropped folder: a reader gives at most 100 per call, so
   * it is asked until it returns an empty batch (a failing call counts as one).
   * @param {any} dirEntry
   */
  async function readDirectory(dirEntry) {
    const reader = dirEntry.createReader();
    const all = [];
    for (;;) {
      const batch = await new Promise((resolve) => reader.readEntries(resolve, () => resolve([])));
      if (!batch || !batch.length) return all;
      all.push(...batch);
    }
  }

  /**
   * @param {any} entry
   * @param {boolean} recursive
   * @param {File[]} out
   * @param {boolean} dropped the folder itself was dropped, so its own files are taken
   */
  async function walkEntry(entry, recursive, out, dropped) {
    if (entry.isFile) {
      try { out.push(await fileOfEntry(entry)); } catch { /* unreadable entries are left out */ }
      return;
    }
    if (!entry.isDirectory || !(dropped || recursive)) return;
    for (const child of await readDirectory(entry)) {
      if (child.isFile || recursive) await walkEntry(child, recursive, out, false);
    }
  }

  /**
   * The files of a drop, descending into dropped folders (into their
   * sub-folders only when `recursive`). Entries are taken from the transfer
   * at once, since it is emptied once the drop event returns.
   * @param {DataTransfer} transfer
   * @param {boolean} recursive
   * @returns {Promise<File[]>}
   */
  async function collectDropped(transfer, recursive) {
    const out = [];
    const entries = [];
    const transferItems = Array.from((transfer && transfer.items) || []);
    if (transferItems.length) {
      for (const it of transferItems) {
        if (it.kind !== 'file') continue;
        const entry = typeof it.webkitGetAsEntry === 'function' ? it.webkitGetAsEntry() : null;
        if (entry) entries.push(entry);
        else {
          const file = it.getAsFile();
          if (file) out.push(file);
        }
      }
    } else {
      out.push(...Array.from((transfer && transfer.files) || []));
    }
    for (const entry of entries) await walkEntry(entry, !!recursive, out, true);
    return out;
  }

  // ================================================================ stars and order
  /** All favourites, included or not, in priority order. */
  function allStarred() {
    return items.filter((it) => it.star > 0).sort((a, b) => a.star - b.star);
  }

  /**
   * Stars an item with the next priority, or un-stars it and closes the gap.
   * @param {number} id
   * @returns {{changed: boolean, limit?: boolean}}
   */
  function toggleStar(id) {
    const item = findItem(id);
    if (!item) return { changed: false };
    if (item.star > 0) {
      const old = item.star;
      item.star = 0;
      for (const it of items) if (it.star > old) it.star--;
      return { changed: true };
    }
    const count = items.filter((it) => it.star > 0).length;
    if (count >= FEATURED_MAX) return { changed: false, limit: true };
    item.star = count + 1;
    return { changed: true };
  }

  /**
   * Moves a favourite to another priority and shifts those between. Works on
   * every favourite, included or not, like the star numbers themselves, so
   * that no two items ever share a number.
   * @param {number} id
   * @param {number} target star number (clamped)
   * @returns {{changed: boolean, item?: PhotoItem}}
   */
  function reorderStar(id, target) {
    const list = allStarred();
    const from = list.findIndex((it) => it.id === id);
    if (from < 0 || list.length < 2) return { changed: false };
    const wantedPos = Math.round(Number(target) - 1);
    const to = Math.max(0, Math.min(list.length - 1, Number.isFinite(wantedPos) ? wantedPos : 0));
    if (to === from) return { changed: false };
    const [item] = list.splice(from, 1);
    list.splice(to, 0, item);
    list.forEach((it, i) => { it.star = i + 1; });
    return { changed: true, item };
  }

  /** @param {number} id */
  function toggle(id) {
    const item = findItem(id);
    if (!item) return undefined;
    item.included = !item.included;
    return item;
  }

  /**
   * @param {number} from position in items
   * @param {number} to position after removal
   */
  function move(from, to) {
    const n = items.length;
    if (!Number.isInteger(from) || !Number.isInteger(to)) return false;
    if (from < 0 || to < 0 || from >= n || to >= n || from === to) return false;
    const [item] = items.splice(from, 1);
    items.splice(to, 0, item);
    return true;
  }

  /** Empties the list; ids keep counting so that old references never match. */
  function clear() {
    for (const it of items) {
      URL.revokeObjectURL(it.thumbUrl);
      releaseBitmap(it);
    }
    items.length = 0;
  }

  /**
   * @param {number} id
   * @param {string} text
   * @returns {boolean} false for an unknown id
   */
  function setMemo(id, text) {
    const item = findItem(id);
    if (!item) return false;
    const trimmed = String(text == null ? '' : text).trim();
    if (trimmed) item.memo = trimmed;
    else delete item.memo;
    return true;
  }

  /**
   * The caption a picture shows: in-app memo, else the one read from the file.
   * @param {PhotoItem} item
   * @returns {string|null}
   */
  function effectiveMemo(item) {
    if (!item) return null;
    return item.memo || item.caption || null;
  }

  // ================================================================ EXIF captions
  const TAG_XP_TITLE = 0x9c9b;
  const TAG_XP_COMMENT = 0x9c9c;
  const TAG_IMAGE_DESCRIPTION = 0x010e;
  const TAG_EXIF_IFD = 0x8769;
  const TAG_USER_COMMENT = 0x9286;

  /**
   * @param {Uint8Array|undefined} bytes
   * @param {string} encoding
   */
  function decodeTagText(bytes, encoding) {
    if (!bytes) return '';
    return new TextDecoder(encoding).decode(bytes).replace(/\0/g, '').trim();
  }

  /**
   * The wanted tags' values of one directory, as byte views.
   * @param {DataView} view TIFF data
   * @param {boolean} le
   * @param {number} dir offset of the directory
   * @param {number[]} wanted
   * @returns {Map<number, Uint8Array>}
   */
  function scanDirectory(view, le, dir, wanted) {
    const found = new Map();
    if (!(dir > 0) || dir + 2 > view.byteLength) return found;
    const count = view.getUint16(dir, le);
    for (let i = 0; i < count; i++) {
      const entry = dir + 2 + i * 12;
      if (entry + 12 > view.byteLength) break;
      const tag = view.getUint16(entry, le);
      if (!wanted.includes(tag)) continue;
      const type = view.getUint16(entry + 2, le);
      const unit = type === 3 ? 2 : type === 4 ? 4 : 1;
      const length = view.getUint32(entry + 4, le) * unit;
      const start = length <= 4 ? entry + 8 : view.getUint32(entry + 8, le);
      if (start + length > view.byteLength) continue;
      found.set(tag, new Uint8Array(view.buffer, view.byteOffset + start, length));
    }
    return found;
  }

  /**
   * @param {Uint8Array|undefined} value
   * @param {boolean} le
   */
  function readOffset(value, le) {
    if (!value || value.length < 2) return 0;
    const view = new DataView(value.buffer, value.byteOffset, value.length);
    return value.length >= 4 ? view.getUint32(0, le) : view.getUint16(0, le);
  }

  /**
   * @param {Uint8Array|undefined} value UserComment with its 8-byte code header
   * @param {boolean} le
   */
  function decodeUserComment(value, le) {
    if (!value || value.length <= 8) return '';
    const header = String.fromCharCode(...value.subarray(0, 8));
    const body = value.subarray(8);
    if (header.startsWith('UNICODE')) return decodeTagText(body, le ? 'utf-16le' : 'utf-16be');
    if (header.startsWith('ASCII') || /^\0{8}$/.test(header)) return decodeTagText(body, 'utf-8');
    return '';
  }

  /**
   * @param {DataView} view TIFF data
   * @returns {string|null}
   */
  function parseTiffCaption(view) {
    if (view.byteLength < 8) return null;
    const le = view.getUint16(0) === 0x4949;
    if (view.getUint16(2, le) !== 42) return null;
    const first = scanDirectory(view, le, view.getUint32(4, le),
      [TAG_XP_TITLE, TAG_XP_COMMENT, TAG_IMAGE_DESCRIPTION, TAG_EXIF_IFD]);
    const text = decodeTagText(first.get(TAG_XP_TITLE), 'utf-16le')
      || decodeTagText(first.get(TAG_XP_COMMENT), 'utf-16le')
      || decodeTagText(first.get(TAG_IMAGE_DESCRIPTION), 'utf-8');
    if (text) return text;
    const exif = scanDirectory(view, le, readOffset(first.get(TAG_EXIF_IFD), le), [TAG_USER_COMMENT]);
    return decodeUserComment(exif.get(TAG_USER_COMMENT), le) || null;
  }

  /**
   * The caption a JPEG carries in its EXIF data, or null. Looks at the first
   * 256 KiB only, and reads nothing outside the EXIF segment itself; unusual
   * or broken data simply gives no caption.
   * @param {ArrayBuffer|ArrayBufferView} bytes
   * @returns {string|null}
   */
  function readExifCaption(bytes) {
    try {
      const whole = ArrayBuffer.isView(bytes)
        ? new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength)
        : new Uint8Array(bytes);
      const len = Math.min(whole.length, EXIF_SCAN_BYTES);
      const view = new DataView(whole.buffer, whole.byteOffset, len);
      if (len < 4 || view.getUint16(0) !== 0xffd8) return null;
      for (let off = 2; off + 4 <= len;) {
        if (view.getUint8(off) !== 0xff) return null;
        const marker = view.getUint8(off + 1);
        if (marker === 0xda) return null;
        const size = view.getUint16(off + 2);
        // The TIFF data ends with its segment: a value beyond it would read the segments that follow.
        const end = Math.min(len, off + 2 + size);
        if (marker === 0xe1 && off + 10 <= end && view.getUint32(off + 4) === 0x45786966) {
          return parseTiffCaption(new DataView(whole.buffer, whole.byteOffset + off + 10, end - off - 10));
        }
        off += 2 + size;
      }
      return null;
    } catch {
      return null;
    }
  }

  // ================================================================ memo cards
  /**
   * Normalises a memo's text: no BOM, LF line ends, no control characters,
   * at most 50 lines of at most 400 characters, trimmed.
   * @param {string} text
   */
  function cleanMemoText(text) {
    let t = String(text == null ? '' : text);
    if (t.charCodeAt(0) === 0xfeff) t = t.slice(1);
    // eslint-disable-next-line no-control-regex
    t = t.replace(/\r\n?/g, '\n').replace(/[\u0000-\u0008\u000b\u000c\u000e-\u001f\u007f]/g, '');
    return t.split('\n', MEMO_MAX_LINES).map((line) => line.slice(0, MEMO_MAX_CHARS_PER_LINE)).join('\n').trim();
  }

  /**
   * Where everything of a memo card goes; a longer body is written smaller.
   * @param {string} cleaned the result of cleanMemoText
   */
  function memoLayout(cleaned) {
    const lines = String(cleaned).split('\n');
    const body = lines.slice(1);
    const fit = Math.min(1, (MEMO_BODY_BOTTOM - MEMO_BODY_TOP) / Math.max(1, body.length * MEMO_BASE_LEADING));
    const leading = MEMO_BASE_LEADING * fit;
    const step = Math.max(6, leading);
    const rules = [];
    for (let y = MEMO_BODY_TOP - 20; y < MEMO_BODY_BOTTOM; y += step) rules.push(y);
    return {
      heading: lines[0],
      body,
      fit,
      leading,
      fontSize: MEMO_BASE_FONT * fit,
      ruleWidth: Math.max(1, 2 * fit),
      rules,
      baselines: body.map((_, k) => MEMO_BODY_TOP + k * leading),
    };
  }

  /**
   * Draws the memo card picture as PNG bytes.
   * @param {string} text
   * @returns {Promise<Blob>}
   */
  async function memoBlob(text) {
    const layout = memoLayout(cleanMemoText(text));
    await TY.render.ensureCaptionFont('yomogi');
    const family = TY.render.resolveFontFamily('yomogi');
    const canvas = makeCanvas(MEMO_CARD_W, MEMO_CARD_H);
    const ctx = canvas.getContext('2d');
    ctx.fillStyle = MEMO_COLORS.paper;
    ctx.fillRect(0, 0, MEMO_CARD_W, MEMO_CARD_H);

    ctx.strokeStyle = MEMO_COLORS.rule;
    ctx.lineWidth = layout.ruleWidth;
    ctx.beginPath();
    for (const y of layout.rules) {
      ctx.moveTo(MEMO_SAFE_LEFT - 20, y);
      ctx.lineTo(MEMO_SAFE_RIGHT + 20, y);
    }
    ctx.stroke();

    ctx.fillStyle = MEMO_COLORS.text;
    ctx.textBaseline = 'alphabetic';
    ctx.font = 'bold 48px ' + family;
    ctx.fillText(layout.heading || T('メモ', 'Memo'), MEMO_SAFE_LEFT, 90, MEMO_SAFE_WIDTH);
    ctx.font = layout.fontSize.toFixed(1) + 'px ' + family;
    layout.body.forEach((line, k) => ctx.fillText(line, MEMO_SAFE_LEFT, layout.baselines[k], MEMO_SAFE_WIDTH));

    ctx.save();
    ctx.translate(MEMO_CARD_W / 2, 8);
    ctx.rotate(-0.035);
    ctx.fillStyle = MEMO_COLORS.tape;
    ctx.fillRect(-100, -8, 200, 54);
    ctx.restore();

    return TY.render.canvasToBlob(canvas, 'image/png');
  }

  /**
   * Turns one memo into a card item.
   * @param {string} name the memo's file name or relative path
   * @param {string} text
   * @returns {Promise<boolean>} true when added
   */
  async function addOneMemo(name, text) {
    const cleaned = cleanMemoText(text);
    if (!cleaned) return false;
    const png = await memoBlob(cleaned);
    if (!png) return false;
    const cardName = String(name).replace(MEMO_EXT, '.png');
    const file = new File([png], cardName.split('/').pop(), { type: 'image/png' });
    const { outcome } = await admit(cardName, file, 'memo', cleaned.split('\n')[0]);
    return outcome === 'added';
  }

  /**
   * @param {ArrayLike<any>} list memo files or names
   * @param {(entry: any) => Promise<ArrayBuffer>} read
   * @param {(entry: any) => string} nameOf
   */
  async function importMemos(list, read, nameOf) {
    const all = Array.from(list || []);
    const counts = { added: 0, skipped: 0, overflow: Math.max(0, all.length - MEMO_MAX_FILES) };
    for (const entry of all.slice(0, MEMO_MAX_FILES)) {
      try {
        // Another encoding would only give garbled paper: refuse it.
        const text = new TextDecoder('utf-8', { fatal: true }).decode(await read(entry));
        if (await addOneMemo(nameOf(entry), text)) counts.added++;
        else counts.skipped++;
      } catch {
        counts.skipped++;
      }
    }
    return counts;
  }

  /** @param {ArrayLike<File>} files */
  function addMemoFiles(files) {
    return importMemos(files, (file) => file.arrayBuffer(), (file) => String(file.name));
  }

  /**
   * @param {string} baseUrl
   * @param {string[]} names relative paths with "/"
   */
  function addMemosFromHost(baseUrl, names) {
    return importMemos(names, async (name) => {
      const res = await fetch(hostUrl(baseUrl, name));
      if (!res.ok) throw new Error(statusError(res.status));
      return res.arrayBuffer();
    }, (name) => String(name));
  }

  // ================================================================ sample photos
  /**
   * Sample landscapes to try the program without photos of one's own; more
   * than ten repeat the palettes.
   * @param {number} [count]
   * @returns {File[]}
   */
  function makeSamplePhotos(count = 10) {
    const files = [];
    for (let i = 0; i < count; i++) {
      const [main, sky, deep] = SAMPLE_PALETTES[i % SAMPLE_PALETTES.length];
      const canvas = makeCanvas(SAMPLE_SIDE, SAMPLE_SIDE);
      const ctx = canvas.getContext('2d');
      const gradient = ctx.createLinearGradient(0, 0, 0, SAMPLE_SIDE);
      gradient.addColorStop(0, sky);
      gradient.addColorStop(1, main);
      ctx.fillStyle = gradient;
      ctx.fillRect(0, 0, SAMPLE_SIDE, SAMPLE_SIDE);

      ctx.fillStyle = deep;
      ctx.beginPath();
      ctx.moveTo(0, SAMPLE_SIDE);
      for (let x = 0; x <= SAMPLE_SIDE; x += 8) {
        ctx.lineTo(x, 430 - 120 * Math.abs(Math.sin(x / SAMPLE_SIDE * Math.PI * (1.5 + 0.3 * i) + i)));
      }
      ctx.lineTo(SAMPLE_SIDE, SAMPLE_SIDE);
      ctx.closePath();
      ctx.fill();

      ctx.fillStyle = 'rgba(255,255,255,0.85)';
      ctx.beginPath();
      ctx.arc(140 + 38 * i, 130 + 40 * (i % 3), 46, 0, Math.PI * 2);
      ctx.fill();

      const number = String(i + 1).padStart(2, '0');
      const jpeg = TY.render.canvasToBlob(canvas, 'image/jpeg', 0.9);
      files.push(new File([jpeg], T('サンプル' + number + '.jpg', 'Sample' + number + '.jpg'), { type: 'image/jpeg' }));
    }
    return files;
  }

  TY.photos = {
    MAX_PHOTOS, FEATURED_MAX, MEMO_MAX_LINES,
    get CODEC_HINT() { return codecHint(); },
    items,
    includedItems, starredItems, reduceForHandover, photoBytes,
    addBlobs, addFromHost, addMemoFiles, addMemosFromHost, splitMaterials, collectDropped,
    toggle, toggleStar, reorderStar, move, clear, ensureBitmapsFor, setMemo, effectiveMemo,
    readExifCaption, makeSamplePhotos, memoLayout,
    _cleanMemoText: cleanMemoText,
    _memoBlob: memoBlob,
  };
})();
