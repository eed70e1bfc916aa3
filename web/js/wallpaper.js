// The live wallpaper's player: one full-window canvas that loops a
// handed-over pile, play → rest → exit (wind or fade) → play again, and does
// as little as it can while nothing moves. The host steers it only through
// window.kobHost.emit("wallpaperData" | "wallpaperCmd", payload); which
// reasons pause it is decided natively.
(function () {
  'use strict';

  const GUST_DURATION_MS = 4000;
  const BREEZE_MAX_TOTAL_MS = 16000;
  const BREEZE_PAIR_SIZE = 2;
  const FADE_WAIT_MS = 900;
  const DEFAULT_REST_SEC = 30;
  /** Photos fetched and decoded at once: each full-size decode lives only until its reduced copy exists. */
  const DECODE_CONCURRENCY = 4;

  /**
   * @typedef {{stop: boolean, paused: boolean, sleep: boolean, whenAwake: (check: () => void) => void}} Control
   * @typedef {'idle'|'preparing'|'playing'|'resting'|'exiting'|'fading'|'ended'} Phase
   */

  const state = {
    /** @type {Control|null} the control of the cycle now under way */
    control: null,
    running: false,
    /** Every start and stop counts it up; work begun under an older value is dropped. */
    generation: 0,
    /** @type {any[]} decoded photos of the current loop, by photo index */
    ownedBitmaps: [],
    /** A sleep wish that the next cycle's control starts with. */
    desiredSleep: false,
    /** @type {{end: () => void}|null} the one pending rest or fade wait */
    wait: null,
    /** @type {Array<() => void>} loops asleep until a wake or stop: no frame and no timer runs meanwhile */
    sleepers: [],
    /** @type {any} the record being played */
    data: null,
    /** @type {Phase} */
    phase: 'idle',
    phaseSince: 0,
    /** Cycles begun since the last start; the variant played is (cycle − 1) mod their number. */
    cycle: 0,
    variant: -1,
    framesDrawn: 0,
  };

  /** @returns {HTMLCanvasElement} */
  function canvasElement() {
    return /** @type {HTMLCanvasElement} */ (document.getElementById('wp'));
  }

  /** @param {Phase} phase */
  function setPhase(phase) {
    state.phase = phase;
    state.phaseSince = performance.now();
  }

  function countFrame() {
    state.framesDrawn++;
  }

  /** @param {any} image */
  function releaseImage(image) {
    if (!image) return;
    if (typeof image.close === 'function') image.close();
    else if ('width' in image) { image.width = 0; image.height = 0; }
  }

  /** @param {any[]} images */
  function releaseAll(images) {
    for (const image of images) releaseImage(image);
  }

  // ------------------------------------------------------------ the record

  /**
   * The record fitted to the screen: the host set `w`, `h` to the screen
   * and kept the creation's size in `srcW`, `srcH`. The pile is scaled to
   * cover the screen and centred, as a wallpaper fill would; an album lays
   * itself out from `w`, `h` and is left alone. The record is not changed.
   * @param {any} data
   */
  function fitPlacements(data) {
    const out = { ...data };
    const w = Number(data.w);
    const h = Number(data.h);
    const srcW = Number(data.srcW);
    const srcH = Number(data.srcH);
    if (!(srcW > 0 && srcH > 0 && w > 0 && h > 0) || data.motion === 'album' || (w === srcW && h === srcH)) return out;
    const k = Math.max(w / srcW, h / srcH);
    const ox = (w - srcW * k) / 2;
    const oy = (h - srcH * k) / 2;
    const fit = (/** @type {any} */ list) => (Array.isArray(list)
      ? list.map((p) => (p && typeof p === 'object'
        ? { ...p, x: p.x * k + ox, y: p.y * k + oy, outerW: p.outerW * k, outerH: p.outerH * k } : p))
      : list);
    out.drawList = fit(data.drawList);
    if (Array.isArray(data.variants)) out.variants = data.variants.map(fit);
    return out;
  }

  /** Rest after each play in ms: `holdSec`, 30 s when absent, never negative. @param {any} holdSec */
  function restMs(holdSec) {
    const sec = holdSec === undefined || holdSec === null ? DEFAULT_REST_SEC : Number(holdSec);
    return (Number.isFinite(sec) ? Math.max(0, sec) : DEFAULT_REST_SEC) * 1000;
  }

  /** The screen in physical pixels, for a record that does not say its size. */
  function screenSize() {
    const ratio = Number(window.devicePixelRatio) || 1;
    return { w: Math.round((Number(window.innerWidth) || 0) * ratio), h: Math.round((Number(window.innerHeight) || 0) * ratio) };
  }

  /**
   * The handed-over record ready to play: values in range (the older
   * `gust` flag read as the wind), fitted to the screen, and an album's
   * closing action turned into a repeat, since on the wallpaper the loop
   * always wins.
   * @param {any} payload
   */
  function prepareRecord(payload) {
    const raw = payload && typeof payload === 'object' ? payload : {};
    const screen = screenSize();
    const sized = { ...raw, w: Number(raw.w) > 0 ? raw.w : screen.w, h: Number(raw.h) > 0 ? raw.h : screen.h };
    const data = fitPlacements(window.TY.render.normalizePlayData(sized));
    data.watermark = false;
    data.albumCfg = { ...data.albumCfg, lastAction: 'repeat' };
    return data;
  }

  // ------------------------------------------------------------ photos

  /**
   * Decodes the bytes at full size, upright as the EXIF orientation says.
   * @param {Blob} blob
   * @returns {Promise<ImageBitmap>}
   */
  async function decodeFull(blob) {
    try {
      return await createImageBitmap(blob, { imageOrientation: 'from-image' });
    } catch {
      // Engines that do not know the option decode through an image
      // element, which always honours the orientation; a broken picture
      // fails there too.
      const url = URL.createObjectURL(blob);
      try {
        const img = new Image();
        img.src = url;
        await img.decode();
        return await createImageBitmap(img);
      } finally {
        URL.revokeObjectURL(url);
      }
    }
  }

  /**
   * A high-quality copy of w × h.
   * @param {ImageBitmap} image @param {number} w @param {number} h
   * @returns {Promise<ImageBitmap|HTMLCanvasElement>}
   */
  async function reduced(image, w, h) {
    try {
      return await createImageBitmap(image, { resizeWidth: w, resizeHeight: h, resizeQuality: 'high' });
    } catch {
      const canvas = document.createElement('canvas');
      canvas.width = w;
      canvas.height = h;
      const ctx = canvas.getContext('2d');
      ctx.imageSmoothingEnabled = true;
      ctx.imageSmoothingQuality = 'high';
      ctx.drawImage(image, 0, 0, w, h);
      return canvas;
    }
  }

  /**
   * One photo, no larger than `need` on the side that is drawn (the longer
   * side of an album's whole photo, the shorter of a print's square crop);
   * never enlarged. Null when it cannot be fetched or decoded.
   * @param {string} url @param {number|undefined} need @param {boolean} album
   */
  async function decodePhoto(url, need, album) {
    let full = null;
    try {
      const response = await fetch(url);
      if (!response.ok) return null;
      full = await decodeFull(await response.blob());
      const side = album ? Math.max(full.width, full.height) : Math.min(full.width, full.height);
      if (!(need > 0) || side <= need) {
        const kept = full;
        full = null;
        return kept;
      }
      const k = need / side;
      return await reduced(full, Math.max(1, Math.round(full.width * k)), Math.max(1, Math.round(full.height * k)));
    } catch {
      return null;
    } finally {
      releaseImage(full);
    }
  }

  /**
   * The handed-over photos decoded at the size this screen needs, indexed
   * by photo index; a photo that fails is left out and its print shows an
   * empty pocket. Stops taking new photos once `isCurrent` turns false.
   * @param {any} photoUrls photo index (as a key) → URL
   * @param {any} data the fitted record
   * @param {() => boolean} isCurrent
   */
  async function buildBitmaps(photoUrls, data, isCurrent) {
    const sides = window.TY.render.decodeSideByPhoto(data);
    const album = data.motion === 'album';
    const jobs = Object.entries(photoUrls && typeof photoUrls === 'object' ? photoUrls : {})
      .map(([key, url]) => ({ index: Number(key), url }))
      .filter((job) => Number.isInteger(job.index) && job.index >= 0 && typeof job.url === 'string');
    /** @type {any[]} */
    const bitmaps = [];
    let next = 0;
    const worker = async () => {
      while (next < jobs.length && isCurrent()) {
        const job = jobs[next++];
        const image = await decodePhoto(job.url, sides.get(job.index), album);
        if (image) bitmaps[job.index] = image;
      }
    };
    await Promise.all(Array.from({ length: Math.min(DECODE_CONCURRENCY, jobs.length) }, worker));
    return bitmaps;
  }

  /**
   * Waits for the handwriting fonts the record names and its desk texture,
   * so that no first frame is drawn in a substitute. Failures fall back.
   * @param {any} data
   */
  function prepareLooks(data) {
    const render = window.TY.render;
    const fontOf = (/** @type {any} */ cfg) => (cfg && typeof cfg === 'object' ? cfg.font : null);
    const fonts = [fontOf(data.captionCfg), fontOf(data.titleCfg), fontOf(data.imageTitleCfg)];
    return Promise.all([render.prepareBackground(data.background), ...fonts.map((f) => render.ensureCaptionFont(f))]);
  }

  // ------------------------------------------------------------ waiting

  /** Runs every loop parked asleep; each looks at its control again. */
  function wakeSleepers() {
    const sleepers = state.sleepers;
    state.sleepers = [];
    for (const check of sleepers) check();
  }

  /**
   * The rest or fade wait: a plain timer, no frames, and not stretched by a
   * pause. A stop ends it at once.
   * @param {number} ms
   * @returns {Promise<void>}
   */
  function wait(ms) {
    return new Promise((resolve) => {
      const entry = {
        end: () => {
          clearTimeout(timer);
          if (state.wait === entry) state.wait = null;
          resolve();
        },
      };
      const timer = setTimeout(entry.end, ms);
      state.wait = entry;
    });
  }

  /** @returns {Control} */
  function newControl() {
    return {
      stop: false,
      paused: state.desiredSleep,
      sleep: state.desiredSleep,
      whenAwake: (check) => { state.sleepers.push(check); },
    };
  }

  // ------------------------------------------------------------ exits

  /**
   * The wind exit, drawn frame by frame on wall time since it began: time
   * spent paused is not added back. While asleep no frame is requested.
   * @param {HTMLCanvasElement} canvas @param {any} data @param {string} mode "breeze" or "gust"
   * @param {Control} control @param {() => boolean} isCurrent
   * @returns {Promise<boolean>} true when it ran to its end
   */
  function playExit(canvas, data, mode, control, isCurrent) {
    const render = window.TY.render;
    const schedule = mode === 'breeze' ? render.breezeSchedule(data.drawList.length, BREEZE_MAX_TOTAL_MS, BREEZE_PAIR_SIZE) : null;
    const length = schedule ? schedule.totalMs : GUST_DURATION_MS;
    return new Promise((resolve, reject) => {
      const begun = performance.now();
      const frame = () => {
        try {
          if (!isCurrent() || control.stop) {
            resolve(false);
          } else if (control.sleep) {
            state.sleepers.push(() => requestAnimationFrame(frame));
          } else if (control.paused) {
            requestAnimationFrame(frame);
          } else {
            const elapsed = Math.min(length, performance.now() - begun);
            if (schedule) render.drawBreeze(canvas, data, elapsed, schedule);
            else render.drawGust(canvas, data, elapsed / length);
            countFrame();
            if (elapsed >= length) resolve(true);
            else requestAnimationFrame(frame);
          }
        } catch (err) {
          reject(err);
        }
      };
      requestAnimationFrame(frame);
    });
  }

  // ------------------------------------------------------------ the loop

  /**
   * Plays, rests and exits until stopped or replaced. "Remake the creation
   * each time" plays its variants in turn; each variant's spotlight is its
   * own last print (☆1), as the record's is.
   * @param {HTMLCanvasElement} canvas @param {any} data @param {number} g @param {number} rest ms
   */
  async function loop(canvas, data, g, rest) {
    const isCurrent = () => state.running && state.generation === g;
    const variants = data.regenerate && data.variants.length ? data.variants : null;
    const spotlight = data.spotlightIndex >= 0;
    let failed = false;
    state.running = true;
    try {
      for (let k = 0; isCurrent(); k++) {
        if (variants) {
          state.variant = k % variants.length;
          data.drawList = variants[state.variant];
          data.spotlightIndex = spotlight ? data.drawList.length - 1 : -1;
        }
        const control = newControl();
        state.control = control;
        state.cycle = k + 1;
        setPhase('playing');
        const played = await window.TY.video.play(canvas, data, countFrame, control);
        if (played.cancelled || !isCurrent()) break;
        setPhase('resting');
        await wait(rest);
        if (!isCurrent()) break;
        if (data.wind !== 'none' && data.motion !== 'album') {
          setPhase('exiting');
          if (!(await playExit(canvas, data, data.wind, control, isCurrent))) break;
        } else {
          setPhase('fading');
          canvas.style.opacity = '0';
          await wait(FADE_WAIT_MS);
          if (!isCurrent()) break;
        }
        canvas.style.opacity = '1';
      }
    } catch (err) {
      // The last frame stays on the desktop; the host is not told.
      failed = true;
      console.error('TessaryLive [player] the loop ended:', err);
    }
    if (state.generation === g) {
      state.running = false;
      releasePhotos();
      setPhase(failed ? 'ended' : 'idle');
    }
  }

  function releasePhotos() {
    if (state.data && state.data.motion === 'album') window.TY.album.dropScene(state.data);
    releaseAll(state.ownedBitmaps);
    state.ownedBitmaps = [];
  }

  /** Ends whatever runs or prepares; the sleep wish stays for the next start. */
  function halt() {
    state.running = false;
    state.generation++;
    if (state.control) state.control.stop = true;
    state.control = null;
    if (state.wait) state.wait.end();
    wakeSleepers();
    releasePhotos();
    state.data = null;
    setPhase('idle');
  }

  /** The "stop" command: everything ends, the sleep wish included. */
  function stop() {
    halt();
    state.desiredSleep = false;
  }

  /** Shows the canvas now: a stop during a fade may have left it transparent. @param {HTMLCanvasElement} canvas */
  function showAtOnce(canvas) {
    canvas.style.transition = 'none';
    canvas.style.opacity = '1';
    void canvas.offsetWidth; // applies the opacity before the transition returns
    canvas.style.transition = '';
  }

  /**
   * Starts looping a record from the beginning, replacing whatever played.
   * @param {any} payload the play-data record
   */
  async function start(payload) {
    halt();
    const g = ++state.generation;
    const isCurrent = () => state.generation === g;
    const data = prepareRecord(payload);
    const photoUrls = data.photoUrls;
    delete data.photoUrls;
    state.data = data;
    state.cycle = 0;
    state.variant = -1;
    setPhase('preparing');
    const canvas = canvasElement();
    // Assigning the size also clears the last picture of an earlier start.
    canvas.width = data.w;
    canvas.height = data.h;
    showAtOnce(canvas);
    await prepareLooks(data);
    const bitmaps = await buildBitmaps(photoUrls, data, isCurrent);
    if (!isCurrent()) {
      releaseAll(bitmaps);
      return;
    }
    data.bitmaps = bitmaps;
    state.ownedBitmaps = bitmaps;
    await loop(canvas, data, g, restMs(payload && payload.holdSec));
  }

  /** @param {any} cmd */
  function command(cmd) {
    const control = state.control;
    if (cmd === 'stop') {
      stop();
    } else if (cmd === 'sleep') {
      state.desiredSleep = true;
      if (control) { control.sleep = true; control.paused = true; }
    } else if (cmd === 'wake') {
      state.desiredSleep = false;
      if (control) { control.sleep = false; control.paused = false; }
      wakeSleepers();
    } else if (cmd === 'pause') {
      if (control) control.paused = true;
    } else if (cmd === 'resume') {
      if (control) control.paused = false;
    }
  }

  /** @param {string} event @param {any} payload */
  function emit(event, payload) {
    if (event === 'wallpaperData') {
      start(payload || {}).catch((err) => console.error('TessaryLive [player] could not start:', err));
    } else if (event === 'wallpaperCmd') {
      command(payload && payload.cmd);
    }
  }

  /**
   * What the player is doing, for automation and benchmarks.
   * @typedef {object} PlayerState
   * @property {Phase} phase idle, preparing (fonts, desk, photos), playing, resting, exiting (wind), fading, or ended by an error
   * @property {number} phaseSince performance.now() when the phase began
   * @property {boolean} running the loop is active
   * @property {number} generation counts starts and stops
   * @property {number} cycle plays begun since the last start (1 during the first)
   * @property {number} variant the layout of "Remake the creation each time" now playing, −1 without
   * @property {boolean} asleep no frame or timer runs until "wake"
   * @property {boolean} paused the picture holds while frames are still requested
   * @property {number} photos decoded photos held
   * @property {number} decodedPixels their pixels, width × height summed
   * @property {number} framesDrawn frames drawn since the page loaded
   * @returns {PlayerState}
   */
  function snapshot() {
    const control = state.control;
    const photos = state.ownedBitmaps.filter((b) => window.TY.render.usableBitmap(b));
    return {
      phase: state.phase,
      phaseSince: state.phaseSince,
      running: state.running,
      generation: state.generation,
      cycle: state.cycle,
      variant: state.variant,
      asleep: control ? !!control.sleep : state.desiredSleep,
      paused: !!(control && control.paused),
      photos: photos.length,
      decodedPixels: photos.reduce((sum, b) => sum + b.width * b.height, 0),
      framesDrawn: state.framesDrawn,
    };
  }

  // The host's entry: this page listens to nothing else.
  window.kobHost = { emit };
  /** @type {any} */ (window).__wallpaper = { start, stop, fitPlacements };
  window.TY.wallpaper = {
    GUST_DURATION_MS, BREEZE_MAX_TOTAL_MS, BREEZE_PAIR_SIZE, FADE_WAIT_MS,
    start, stop, command, fitPlacements, restMs,
    get state() { return snapshot(); },
  };
})();
