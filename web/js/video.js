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
  // How far ahead of the recorder's file frames may go: a fragment (its
  // size as seen; this many before the first), and a few frames more, as
  // many as fit this many bytes.
  const RECORD_FIRST_FRAGMENT = 60;
  const RECORD_AHEAD_BYTES = 128 * 1024 * 1024;
  const RECORD_MIN_AHEAD = 3;
  const RECORD_MAX_AHEAD = 15;
  // A recorder whose file has not grown for this long while frames wait is
  // taken to hold its frames until it stops.
  const RECORD_STALL_MS = 10000;
  // How much sooner than the page's clock a recorder may stamp a frame taken.
  const RECORD_CLOCK_SLACK_MS = 4;
  // At the end, a recorder whose file stopped growing is waited for at least this long.
  const RECORD_COPY_PATIENCE_MS = 1000;

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
    // This playback's frames, told apart from whatever else draws on the canvas before or after it.
    const run = {};
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
        window.TY.render.drawAnimated(canvas, data, t, tm, run);
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

  // ---------------------------------------------------------------- the recorder's fragmented MP4
  // Both recorders that write MP4 (the program's and Chromium's) write it in
  // fragments: a header ("moof") that lists its frames, then their data
  // ("mdat"). Reading the headers tells how many frames the file holds so far.

  /**
   * The box whose header starts at `at`, as {type, at, size, header}:
   * undefined when `to` comes before its header ends, null when the bytes
   * are no box. A box that runs to the end of the file is as long as `to` allows.
   * @param {Uint8Array} bytes @param {number} at @param {number} to
   */
  function boxAt(bytes, at, to) {
    if (to - at < 8) return undefined;
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    let size = view.getUint32(at);
    let header = 8;
    if (size === 1) {
      if (to - at < 16) return undefined;
      size = Number(view.getBigUint64(at + 8));
      header = 16;
    } else if (size === 0) {
      size = Infinity;
    }
    const type = String.fromCharCode(bytes[at + 4], bytes[at + 5], bytes[at + 6], bytes[at + 7]);
    return size < header ? null : { type, at, size, header };
  }

  /** The boxes of `bytes` from `from` to `to`, up to one cut short or unreadable. */
  function boxesOf(bytes, from = 0, to = bytes.length) {
    const boxes = [];
    for (let at = from; ;) {
      const box = boxAt(bytes, at, to);
      if (!box) return boxes;
      boxes.push({ ...box, size: Math.min(box.size, to - at) });
      at += box.size;
    }
  }

  /** The boxes inside each box of `type` within `parent`. */
  function childrenOf(bytes, parent, type) {
    return boxesOf(bytes, parent.at + parent.header, parent.at + parent.size)
      .filter((box) => box.type === type)
      .map((box) => ({ box, children: boxesOf(bytes, box.at + box.header, box.at + box.size) }));
  }

  /** Frames listed by a fragment header. */
  function framesOf(bytes, moof) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    let frames = 0;
    for (const { children } of childrenOf(bytes, moof, 'traf')) {
      for (const run of children) if (run.type === 'trun' && run.size >= run.header + 8) frames += view.getUint32(run.at + run.header + 4);
    }
    return frames;
  }

  /**
   * The only list of frames ("trun") of a fragment header, with its track
   * fragment; null unless there is exactly one, placed against the header.
   */
  function runOf(bytes, moof) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const trafs = childrenOf(bytes, moof, 'traf');
    if (trafs.length !== 1) return null;
    const { box: traf, children } = trafs[0];
    const runs = children.filter((box) => box.type === 'trun');
    const head = children.find((box) => box.type === 'tfhd');
    // An explicit base offset would place the data elsewhere.
    if (runs.length !== 1 || !head || view.getUint32(head.at + head.header) & 0x1) return null;
    const run = runs[0];
    if ([moof, traf, run].some((box) => box.header !== 8) || run.size < run.header + 12) return null;
    return { run, traf };
  }

  /**
   * Counts the frames the recorder has written, from the pieces of its file
   * as they arrive. A header counts once its data follows: the program's
   * recorder sometimes writes a header twice, and only the second copy is
   * followed by the data. `readable` turns false for a file of another kind
   * (WebM), whose frames are not counted.
   */
  function writtenFrames() {
    let carry = new Uint8Array(0); // an unfinished box header or fragment header
    let skip = 0; // bytes of the current box still to pass over
    let listed = 0; // frames of the last fragment header, until its data comes
    const counter = {
      /** @type {boolean | null} */
      readable: null,
      written: 0,
      /** The most frames one fragment has held. */
      largest: 0,
      /** @param {Uint8Array} piece */
      push(piece) {
        if (counter.readable === false) return;
        const passed = Math.min(skip, piece.length);
        skip -= passed;
        let bytes = piece.subarray(passed);
        if (carry.length) {
          const joined = new Uint8Array(carry.length + bytes.length);
          joined.set(carry);
          joined.set(bytes, carry.length);
          bytes = joined;
        }
        let at = 0;
        for (let box = boxAt(bytes, at, bytes.length); box !== undefined; box = boxAt(bytes, at, bytes.length)) {
          if (counter.readable === null) counter.readable = !!box && box.type === 'ftyp';
          if (!box || !counter.readable) {
            counter.readable = false;
            return;
          }
          if (box.type === 'moof') {
            if (bytes.length - at < box.size) break;
            listed = framesOf(bytes, box);
          } else if (box.type === 'mdat') {
            counter.written += listed;
            counter.largest = Math.max(counter.largest, listed);
            listed = 0;
          }
          if (bytes.length - at < box.size) {
            skip = box.size - (bytes.length - at);
            at = bytes.length;
            break;
          }
          at += box.size;
        }
        carry = bytes.slice(at);
      },
    };
    return counter;
  }

  /** The track's ticks per second (its "mdhd" time scale), or 0. */
  function timescaleOf(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const path = ['moov', 'trak', 'mdia', 'mdhd'];
    let boxes = boxesOf(bytes);
    let found = null;
    for (const type of path) {
      found = boxes.find((box) => box.type === type);
      if (!found) return 0;
      boxes = boxesOf(bytes, found.at + found.header, found.at + found.size);
    }
    const at = found.at + found.header;
    return found.size >= found.header + 24 ? view.getUint32(at + (bytes[at] === 1 ? 20 : 12)) : 0;
  }

  /**
   * The fragments of a file (a header followed by its data), each with, for
   * every frame, where its duration is written and when it starts in ticks;
   * null unless every fragment has one list that gives each frame's
   * duration and size and where the data is.
   */
  function fragmentsOf(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const fragments = [];
    let moof = null;
    let from = -1;
    let clock = 0;
    for (const box of boxesOf(bytes)) {
      if (box.type === 'moof') {
        if (!moof) from = box.at;
        moof = box;
        continue;
      }
      if (box.type !== 'mdat' || !moof) continue;
      const found = runOf(bytes, moof);
      if (!found) return null;
      const { run, traf } = found;
      const flags = view.getUint32(run.at + run.header) & 0xffffff;
      const listed = view.getUint32(run.at + run.header + 4);
      const entries = run.at + run.header + 8 + (flags & 0x1 ? 4 : 0) + (flags & 0x4 ? 4 : 0);
      const entrySize = 4 * [0x100, 0x200, 0x400, 0x800].filter((f) => flags & f).length;
      if ((flags & 0x301) !== 0x301 || entries + listed * entrySize > run.at + run.size) return null;
      const start = boxesOf(bytes, traf.at + traf.header, traf.at + traf.size).find((b) => b.type === 'tfdt');
      if (start) {
        const at = start.at + start.header;
        clock = bytes[at] === 1 ? Number(view.getBigUint64(at + 4)) : view.getUint32(at + 4);
      }
      const frames = [];
      for (let i = 0; i < listed; i++) {
        frames.push({ entry: entries + i * entrySize, start: clock });
        clock += view.getUint32(entries + i * entrySize);
      }
      fragments.push({ from, moof, mdat: box, start, frames });
      moof = null;
    }
    return fragments;
  }

  /**
   * The animation frame each recorded frame is, for a recorder that stamped
   * them with the time they were taken: the last frame handed over by then
   * (a capture shows what was drawn last), and always a later one than the
   * frame before.
   * @param {number[]} taken ms after the first frame was taken
   * @param {number[]} handed ms after the first frame was handed over, by frame
   */
  function framesTaken(taken, handed) {
    let frame = -1;
    return taken.map((at) => {
      frame = Math.min(frame + 1, handed.length - 1);
      while (frame + 1 < handed.length && handed[frame + 1] <= at + RECORD_CLOCK_SLACK_MS) frame++;
      return frame;
    });
  }

  /**
   * The file as it should be: its first `frames` frames of the animation,
   * each starting at its time in the animation. A recorder that stamped the
   * frames with the time they were taken (Chromium's) may have lost some:
   * each frame it kept is matched to the one handed over then (`handed`, ms
   * after the first), and the frame before a lost one lasts until the next.
   * Frames after the last (copies) go; a fragment where the cut falls loses
   * the later entries of its list and their data. A file not laid out as
   * expected stays as it is.
   * @param {Uint8Array<ArrayBuffer>} recorded @param {number} frames @param {number[]} handed
   * @returns {Uint8Array<ArrayBuffer>}
   */
  function finishedFile(recorded, frames, handed) {
    const bytes = recorded.slice();
    const view = new DataView(bytes.buffer);
    const ticks = timescaleOf(bytes);
    const fragments = fragmentsOf(bytes);
    if (!ticks || !fragments || !fragments.length) return recorded;
    const all = fragments.flatMap((f) => f.frames);
    const tick = (i) => Math.round((i * ticks) / RECORD_FPS);
    const stampedByCount = all.every((f, k) => k === 0 || Math.abs(f.start - all[k - 1].start - ticks / RECORD_FPS) <= 1);
    const numbers = stampedByCount ? all.map((_, k) => k)
      : framesTaken(all.map((f) => ((f.start - all[0].start) * 1000) / ticks), handed);
    const kept = numbers.filter((n) => n < frames).length;
    for (let k = 0; k < kept; k++) view.setUint32(all[k].entry, tick(k + 1 < kept ? numbers[k + 1] : frames) - tick(numbers[k]));
    let written = 0;
    for (const fragment of fragments) {
      if (written >= kept) return bytes.subarray(0, fragment.from);
      if (fragment.start) {
        const at = fragment.start.at + fragment.start.header;
        if (bytes[at] === 1) view.setBigUint64(at + 4, BigInt(tick(numbers[written])));
        else view.setUint32(at + 4, tick(numbers[written]));
      }
      const listed = fragment.frames.length;
      if (written + listed > kept) return cutFragment(bytes, view, fragment.moof, fragment.mdat, kept - written) || recorded;
      written += listed;
    }
    const last = fragments[fragments.length - 1].mdat;
    return bytes.subarray(0, last.at + last.size);
  }

  /** The file up to the first `keep` frames of the fragment `moof` + `mdat`; null if its list is not understood. */
  function cutFragment(bytes, view, moof, mdat, keep) {
    const found = runOf(bytes, moof);
    if (!found || mdat.header !== 8) return null;
    const { run, traf } = found;
    const flags = view.getUint32(run.at + run.header) & 0xffffff;
    const listed = view.getUint32(run.at + run.header + 4);
    // A list without data offset or frame sizes is not cut.
    if (!(flags & 0x1) || !(flags & 0x200)) return null;
    let entries = run.at + run.header + 12 + (flags & 0x4 ? 4 : 0);
    const entrySize = 4 * [0x100, 0x200, 0x400, 0x800].filter((f) => flags & f).length;
    const sizeAt = flags & 0x100 ? 4 : 0;
    if (entries + listed * entrySize > run.at + run.size) return null;
    let kept = 0;
    for (let i = 0; i < keep; i++) kept += view.getUint32(entries + i * entrySize + sizeAt);
    const removed = (listed - keep) * entrySize;
    const dataStart = moof.at + view.getInt32(run.at + run.header + 8);
    const dataEnd = dataStart + kept;
    if (dataStart < mdat.at + mdat.header || dataEnd > mdat.at + mdat.size) return null;
    // The entries of the dropped frames go, and every size around them shrinks.
    const dropFrom = entries + keep * entrySize;
    const out = new Uint8Array(dataEnd - removed);
    out.set(bytes.subarray(0, dropFrom));
    out.set(bytes.subarray(dropFrom + removed, dataEnd), dropFrom);
    const edit = new DataView(out.buffer);
    edit.setUint32(run.at, run.size - removed);
    edit.setUint32(traf.at, traf.size - removed);
    edit.setUint32(moof.at, moof.size - removed);
    edit.setUint32(run.at + run.header + 4, keep);
    edit.setInt32(run.at + run.header + 8, view.getInt32(run.at + run.header + 8) - removed);
    edit.setUint32(mdat.at - removed, dataEnd - mdat.at);
    return out;
  }

  // ---------------------------------------------------------------- recording
  /**
   * Records the animation frame by frame: each frame shows the animation
   * 1/30 s after the one before and is handed to the capture once drawn, so
   * the file holds one frame per 1/30 s of the animation whatever the load,
   * and lasts as long as it. Frames go no faster than 30 a second and, where
   * the recorder's file can be read, no further ahead of what it has written
   * than it can hold; in a file read, each frame starts at its time in the
   * animation (Chromium stamps frames with the time they were taken, which
   * is later on a slow machine).
   * @returns {Promise<{blob: Blob, mime: string, seconds: number, frames: number}>}
   */
  async function record(canvas, data, onProgress) {
    const mime = recordableType();
    if (!mime) throw new Error(T('この環境では動画を録画できません', 'Video recording is not supported here'));
    const tm = timingOf(data);
    sizeCanvas(canvas, data.w, data.h);
    const frames = Math.max(1, Math.round(tm.total * RECORD_FPS));
    // Every frame is painted whole, never as a playback that redraws only
    // what moved: a capture takes a frame only from a canvas painted since
    // the last, and an album at rest would leave it unpainted.
    const drawFrame = async (i) => {
      const t = Math.min(i / RECORD_FPS, tm.total);
      if (typeof data.prepareFrame === 'function') await data.prepareFrame(t, tm);
      window.TY.render.drawAnimated(canvas, data, t, tm);
    };
    // A capture starts with the canvas as it is: the first frame, not whatever the canvas showed before.
    await drawFrame(0);
    const stream = canvas.captureStream(RECORD_FPS);
    const track = stream.getVideoTracks()[0];
    // When each frame was handed over, in ms after the first. Without
    // requestFrame the capture still takes each change of the canvas, up to 30 a second.
    const captureStart = performance.now();
    const handed = [0];
    const handOver = () => {
      if (typeof track.requestFrame === 'function') track.requestFrame();
      handed.push(performance.now() - captureStart);
    };
    const stopTracks = () => stream.getTracks().forEach((t) => t.stop());
    const pieces = [];
    const counter = writtenFrames();
    let reading = Promise.resolve();
    let lastOutput = performance.now();
    // When the file last grew by frames, and the longest it went without.
    let lastGrowth = 0;
    let longestGap = 0;
    // The recorder is internal: a failure stops the recording early so the
    // caller hears about it instead of waiting for the whole animation.
    const control = { stop: false };
    let failure = null;
    /** @type {MediaRecorder} */
    let recorder;
    /** @type {Promise<unknown>} */
    let stopped;
    try {
      recorder = new MediaRecorder(stream, { mimeType: mime, videoBitsPerSecond: RECORD_BITS_PER_SECOND });
      recorder.ondataavailable = (e) => {
        if (!e.data || e.data.size <= 0) return;
        pieces.push(e.data);
        const piece = e.data;
        reading = reading.then(() => piece.arrayBuffer()).then((buffer) => {
          const before = counter.written;
          counter.push(new Uint8Array(buffer));
          const now = performance.now();
          if (counter.written > before) {
            if (lastGrowth) longestGap = Math.max(longestGap, now - lastGrowth);
            lastGrowth = now;
          }
          lastOutput = now;
        }).catch(() => { counter.readable = false; });
      };
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

    // Frames the recorder may be given beyond what its file shows: a whole
    // fragment it is still filling, and a few more (the program's recorder
    // queues them at full size, so fewer for a larger video).
    const slack = Math.max(RECORD_MIN_AHEAD, Math.min(RECORD_MAX_AHEAD, Math.floor(RECORD_AHEAD_BYTES / (canvas.width * canvas.height * 4))));
    const ahead = () => (counter.largest || RECORD_FIRST_FRAGMENT) + slack;
    // A recorder whose file stops growing holds its frames until it stops: it is no longer waited for.
    let patient = true;
    const waiting = () => {
      if (patient && counter.readable && performance.now() - lastOutput > RECORD_STALL_MS) patient = false;
      return patient && !!counter.readable;
    };
    const nextUpdate = () => new Promise((resolve) => { requestAnimationFrame(() => resolve(undefined)); });
    const nextTask = (ms) => new Promise((resolve) => { setTimeout(resolve, Math.max(0, ms)); });
    let begun = performance.now();
    /**
     * Waits until frame i may be drawn: 1/30 s after the frame before was
     * begun, and with room for it in the recorder; false once stopped or
     * once `wanted` no longer holds. The program's capture takes a changed
     * canvas in a task of its own, after the rendering update that shows it:
     * a frame is drawn only in a later task, so that a slow frame is not
     * drawn over before it is taken.
     */
    const untilDue = async (i, wanted = () => true) => {
      for (;;) {
        await nextUpdate();
        await nextTask(begun + 1000 / RECORD_FPS - performance.now());
        if (control.stop || !wanted()) return false;
        if (!waiting() || i - counter.written < ahead()) {
          begun = performance.now();
          return true;
        }
      }
    };
    try {
      let i = 1;
      for (; i < frames && (await untilDue(i)); i++) {
        await drawFrame(i);
        handOver();
        if (onProgress) onProgress(i / (frames - 1));
      }
      if (frames === 1 && onProgress) onProgress(1);
      // The program's recorder drops what it has not written yet when it
      // stops, and keeps back the last frame it got: the last frame is given
      // again until the file holds every frame, and the copies are cut off.
      // A recorder whose file stops growing (Chromium's writes the rest when
      // it stops) is given copies only for twice as long as it ever went
      // without growing.
      const lastFrame = i;
      const growing = () => !lastGrowth || performance.now() - lastGrowth < Math.max(RECORD_COPY_PATIENCE_MS, 2 * longestGap);
      const copying = () => counter.readable !== false && counter.written < frames && i - lastFrame < 2 * ahead()
        && (counter.readable === null ? performance.now() - lastOutput < RECORD_STALL_MS : waiting() && growing());
      while (await untilDue(i, copying)) {
        // Until the file shows what it is, it is only waited for.
        if (!counter.readable) continue;
        window.TY.render.drawAnimated(canvas, data, Math.min((frames - 1) / RECORD_FPS, tm.total), tm);
        handOver();
        i++;
      }
    } finally {
      if (recorder.state !== 'inactive') recorder.stop();
      await stopped;
      stopTracks();
      await reading;
    }
    if (failure) throw failure;
    if (!pieces.length) throw new Error(T('録画した動画が空でした', 'The recorded video is empty'));
    const type = mime.split(';')[0];
    let blob = new Blob(pieces, { type });
    if (counter.readable) blob = new Blob([finishedFile(new Uint8Array(await blob.arrayBuffer()), frames, handed)], { type });
    return { blob, mime, seconds: tm.total, frames };
  }

  window.TY = window.TY || /** @type {Tessary.Namespace} */ ({});
  window.TY.video = { timing, timingOf, play, record };
})();
