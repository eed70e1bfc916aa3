// Video: the timeline of an animation, real-time playback under a small
// control object (stop, pause, sleep, live tempo) and recording to a file.
(function () {
  'use strict';

  const FALL_DROP = 0.55;
  const FALL_SWAY = 0.6375;
  const SWAY_STAGGER = 0.62;
  const HOLD = 1.2;
  const TITLE_DUR = 2.8;
  const SPOT_MOVE = 0.8;
  const SPOT_HOLD = 3.0;
  const SLEEP_CHECK_MS = 250;

  // The last entry serves recorders that accept MP4 only without a codec.
  const RECORD_TYPES = ['video/mp4;codecs=avc1.640028', 'video/webm;codecs=vp9', 'video/webm', 'video/mp4'];
  const RECORD_FPS = 30;
  const RECORD_BITS_PER_SECOND = 12000000;
  const RECORD_SLICE_MS = 250;

  function T(ja, en) {
    const i18n = window.TY && window.TY.i18n;
    return i18n && typeof i18n.T === 'function' ? i18n.T(ja, en) : en;
  }

  /**
   * Timeline of an animation of n prints; `album` has its own timeline.
   * @param {number} n
   * @param {any} speed
   * @param {{motion?: string, title?: boolean, spotlight?: boolean, albumCfg?: any, w?: number, h?: number, drawList?: any[], albumPhotos?: any}} [opts]
   */
  function timing(n, speed, opts) {
    const o = opts || {};
    if (o.motion === 'album') return window.TY.album.timing(n, speed, o);
    const rate = window.TY.album.rateOf(speed);
    const count = Math.max(1, Math.floor(n) || 1);
    const sway = o.motion === 'sway';
    const fallDur = (sway ? FALL_SWAY : FALL_DROP) / rate;
    const stagger = sway ? SWAY_STAGGER * fallDur : Math.min(0.35, Math.max(0.045, 9 / count)) / rate;
    const hold = HOLD / rate;
    const titleDur = o.title ? TITLE_DUR / rate : 0;
    const spotMove = o.spotlight ? SPOT_MOVE / rate : 0;
    const spotHold = o.spotlight ? SPOT_HOLD : 0;
    const spotReturn = spotMove;
    const spotDur = spotMove + spotHold + spotReturn;
    const total = titleDur + (count - 1) * stagger + fallDur + hold + spotDur;
    return { rate, fallDur, stagger, hold, titleDur, spotMove, spotHold, spotReturn, spotDur, total };
  }

  /** Timing of a play-data record, as play and record use it. */
  function timingOf(data) {
    const list = Array.isArray(data.drawList) ? data.drawList : [];
    return timing(Math.max(1, list.length), data.speed, {
      motion: data.motion,
      title: typeof data.title === 'string' && data.title.trim() !== '',
      spotlight: Number.isInteger(data.spotlightIndex) && data.spotlightIndex >= 0,
      albumCfg: data.albumCfg, w: data.w, h: data.h, drawList: list, albumPhotos: data.albumPhotos,
    });
  }

  /** Sizes a canvas only when needed, since assigning a size clears it. */
  function sizeCanvas(canvas, w, h) {
    const W = Math.max(1, Math.round(w || canvas.width));
    const H = Math.max(1, Math.round(h || canvas.height));
    if (canvas.width !== W) canvas.width = W;
    if (canvas.height !== H) canvas.height = H;
  }

  /**
   * Plays the animation once in real time.
   * @param {HTMLCanvasElement} canvas
   * @param {any} data play-data record
   * @param {(fraction: number) => void} [onProgress]
   * @param {{stop?: boolean, paused?: boolean, sleep?: boolean, rate?: number, whenAwake?: (check: () => void) => void} | null} [control]
   *   `whenAwake(check)`, when given, replaces the 250 ms checks of a sleeping
   *   loop: its owner calls `check` once `sleep` or `stop` may have changed.
   * @returns {Promise<{cancelled: boolean, seconds: number}>}
   */
  function play(canvas, data, onProgress, control) {
    const tm = timingOf(data);
    sizeCanvas(canvas, data.w, data.h);
    const ctl = control || {};
    return new Promise((resolve, reject) => {
      let elapsed = 0;
      let last = performance.now();
      const finish = (cancelled) => resolve({ cancelled, seconds: tm.total });
      const requestFrame = () => requestAnimationFrame(() => { frame().catch(reject); });

      // The live wallpaper says when it wakes instead of being checked: its
      // host counts a sleeping page as suspended only while no timer runs.
      const sleepUntilChecked = () => {
        if (typeof ctl.whenAwake === 'function') ctl.whenAwake(checkAwake);
        else setTimeout(checkAwake, SLEEP_CHECK_MS);
      };

      const checkAwake = () => {
        if (ctl.stop) return finish(true);
        if (ctl.sleep) {
          sleepUntilChecked();
          return undefined;
        }
        last = performance.now();
        requestFrame();
        return undefined;
      };

      async function frame() {
        if (ctl.stop) return finish(true);
        if (ctl.sleep) {
          sleepUntilChecked();
          return undefined;
        }
        const now = performance.now();
        const dt = Math.max(0, now - last) / 1000;
        last = now;
        if (ctl.paused) {
          requestFrame();
          return undefined;
        }
        elapsed += dt * (Number.isFinite(ctl.rate) && ctl.rate >= 0 ? ctl.rate / tm.rate : 1);
        const t = Math.min(elapsed, tm.total);
        if (typeof data.prepareFrame === 'function') {
          await data.prepareFrame(t, tm);
          last = performance.now();
          if (ctl.stop) return finish(true);
        }
        window.TY.render.drawAnimated(canvas, data, t, tm);
        if (onProgress) onProgress(Math.min(1, elapsed / tm.total));
        if (elapsed < tm.total) requestFrame();
        else finish(false);
        return undefined;
      }

      requestFrame();
    });
  }

  /** The first video type this browser can record, or null. */
  function recordableType() {
    if (typeof MediaRecorder === 'undefined' || typeof MediaRecorder.isTypeSupported !== 'function') return null;
    return RECORD_TYPES.find((type) => MediaRecorder.isTypeSupported(type)) || null;
  }

  /**
   * Plays the animation once while recording the canvas.
   * @returns {Promise<{blob: Blob, mime: string, seconds: number}>}
   */
  async function record(canvas, data, onProgress) {
    const mime = recordableType();
    if (!mime) throw new Error(T('この環境では動画を録画できません', 'Video recording is not supported here'));
    sizeCanvas(canvas, data.w, data.h);
    const stream = canvas.captureStream(RECORD_FPS);
    const stopTracks = () => stream.getTracks().forEach((track) => track.stop());
    const pieces = [];
    // The recorder is internal: a failure stops the playback early so the
    // caller hears about it instead of waiting for the whole animation.
    const control = { stop: false };
    let failure = null;
    /** @type {MediaRecorder} */
    let recorder;
    /** @type {Promise<unknown>} */
    let stopped;
    try {
      recorder = new MediaRecorder(stream, { mimeType: mime, videoBitsPerSecond: RECORD_BITS_PER_SECOND });
      recorder.ondataavailable = (e) => { if (e.data && e.data.size > 0) pieces.push(e.data); };
      recorder.onerror = (e) => {
        const err = /** @type {any} */ (e).error;
        failure = new Error(T('動画の録画に失敗しました: ', 'Video recording failed: ') + (err && err.message ? err.message : String(err || '')));
        control.stop = true;
      };
      stopped = new Promise((resolve) => { recorder.onstop = resolve; });
      recorder.start(RECORD_SLICE_MS);
    } catch (err) {
      // A capture track left live would go on copying the canvas.
      stopTracks();
      throw err;
    }
    let result;
    try {
      result = await play(canvas, data, onProgress, control);
    } finally {
      if (recorder.state !== 'inactive') recorder.stop();
      await stopped;
      stopTracks();
    }
    if (failure) throw failure;
    if (!pieces.length) throw new Error(T('録画した動画が空でした', 'The recorded video is empty'));
    const type = mime.split(';')[0];
    return { blob: new Blob(pieces, { type }), mime, seconds: result.seconds };
  }

  window.TY = window.TY || /** @type {Tessary.Namespace} */ ({});
  window.TY.video = { timing, timingOf, play, record };
})();
