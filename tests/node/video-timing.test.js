'use strict';
// Animation timing and the play loop, driven by a fake clock: display
// frames, timers and performance.now are all under the test's control.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

const near = (actual, expected, eps = 0.01) =>
  assert.ok(Math.abs(actual - expected) <= eps, `${actual} is not within ${eps} of ${expected}`);

/** A page whose frames and timers only run when the test advances time. */
function fakePage(extra = {}) {
  let now = 0;
  let frames = [];
  let timers = [];
  const drawn = [];
  const prepared = [];
  const { TY } = loadScripts(['album', 'video'], {
    performance: { now: () => now },
    requestAnimationFrame: (cb) => { frames.push(cb); return frames.length; },
    setTimeout: (cb, ms) => { timers.push({ cb, at: now + ms }); return timers.length; },
    TY: { render: { drawAnimated: (canvas, data, t) => { drawn.push(t); } }, ...extra.TY },
    ...extra.globals,
  });
  const settle = () => new Promise((r) => setImmediate(r));
  return {
    TY, drawn, prepared,
    now: () => now,
    pendingFrames: () => frames.length,
    pendingTimers: () => timers.length,
    /** Advances the clock by ms, then runs one display frame if requested. */
    async frame(ms = 1000 / 60) {
      now += ms;
      const due = timers.filter((t) => t.at <= now);
      timers = timers.filter((t) => t.at > now);
      due.forEach((t) => t.cb());
      const run = frames;
      frames = [];
      run.forEach((cb) => cb(now));
      await settle();
    },
    async runFor(seconds, ms = 1000 / 60) {
      for (let i = 0; i < Math.round((seconds * 1000) / ms); i++) await this.frame(ms);
    },
  };
}

const canvas = () => ({ width: 0, height: 0 });
const dropRecord = (n, extra = {}) => ({
  w: 64, h: 36, motion: 'drop', speed: 1, holdSec: 30,
  drawList: Array.from({ length: n }, (_, i) => ({ photoIndex: i })), ...extra,
});

test('timing table for drop, sway, titles, spotlights and tempo words', () => {
  const { TY } = fakePage();
  const cases = [
    ['54 drop', 54, 1, {}, { stagger: 1 / 6, total: 10.583 }],
    ['54 drop at 0.5', 54, 0.5, {}, { stagger: 1 / 3, total: 21.167 }],
    ['375 drop', 375, 1, {}, { stagger: 0.045, total: 18.58 }],
    ['10 drop', 10, 1, {}, { stagger: 0.35, total: 4.9 }],
    ['10 drop, title and spotlight', 10, 1, { title: true, spotlight: true }, { total: 12.3, titleDur: 2.8, spotDur: 4.6 }],
    ['sway 3', 3, 1, { motion: 'sway' }, { stagger: 0.39525, fallDur: 0.6375 }],
    ['sway 300', 300, 1, { motion: 'sway' }, { stagger: 0.39525 }],
    ['spotlight at 0.5', 10, 0.5, { spotlight: true }, { spotMove: 1.6, spotHold: 3, spotReturn: 1.6 }],
    ['empty pile', 0, 1, {}, { total: 1.75 }],
    ['unknown motion moves like drop', 10, 1, { motion: 'spin' }, { fallDur: 0.55 }],
  ];
  for (const [name, n, speed, opts, expected] of cases) {
    const tm = TY.video.timing(n, speed, opts);
    for (const [key, value] of Object.entries(expected)) {
      assert.ok(Math.abs(tm[key] - value) < 0.001, `${name}: ${key} ${tm[key]} ≠ ${value}`);
    }
  }
  const rates = [['slow', 0.5], ['superslow', 0.25], [5, 2], [0.1, 0.25], [0, 1], ['fast', 1], [undefined, 1], ['0.75', 0.75]];
  for (const [speed, rate] of rates) assert.equal(TY.video.timing(5, speed).rate, rate, String(speed));
  const album = TY.video.timing(10, 1, { motion: 'album', w: 1920, h: 1080, drawList: dropRecord(10).drawList });
  assert.equal(album.spreads, 3);
  near(album.total, 22.5, 1e-9);
});

test('play runs in real time to the end and reports progress', async () => {
  const page = fakePage();
  const progress = [];
  const c = canvas();
  const done = page.TY.video.play(c, dropRecord(0), (f) => progress.push(f));
  assert.deepEqual([c.width, c.height], [64, 36], 'the canvas is sized to the record');
  await page.runFor(2);
  const result = await done;
  assert.equal(result.cancelled, false);
  near(result.seconds, 1.75, 1e-9);
  near(page.drawn.at(-1), 1.75, 1e-9);
  assert.equal(progress.at(-1), 1);
  assert.ok(progress.every((f, i) => i === 0 || f >= progress[i - 1]));
  near(page.drawn.length, 1.75 * 60, 2);
});

test('pause holds the picture and the clock; resuming continues from the same moment', async () => {
  const page = fakePage();
  const control = { paused: false };
  const done = page.TY.video.play(canvas(), dropRecord(0), null, control);
  await page.runFor(0.5);
  control.paused = true;
  const drawnBefore = page.drawn.length;
  const tBefore = page.drawn.at(-1);
  await page.runFor(10);
  assert.equal(page.drawn.length, drawnBefore, 'nothing is drawn while paused');
  control.paused = false;
  await page.frame();
  near(page.drawn.at(-1) - tBefore, 1 / 60, 1e-6);
  await page.runFor(1.3);
  assert.equal((await done).cancelled, false, 'ends 1.75 s of playing time after it began');
});

test('live tempo: rate 2 halfway plays the rest twice as fast', async () => {
  const page = fakePage();
  const control = { rate: 1 };
  const data = dropRecord(54);
  const total = page.TY.video.timing(54, 1).total;
  let finished = false;
  const done = page.TY.video.play(canvas(), data, null, control).then((r) => { finished = true; return r; });
  await page.runFor(total / 2);
  control.rate = 2;
  await page.runFor(total / 4 - 0.1);
  assert.equal(finished, false);
  await page.runFor(0.2);
  assert.equal(finished, true);
  assert.equal((await done).cancelled, false);
});

test('sleep requests no frames and checks every 250 ms; stop cancels', async () => {
  const page = fakePage();
  const control = { sleep: false, stop: false };
  const done = page.TY.video.play(canvas(), dropRecord(10), null, control);
  await page.runFor(0.5);
  control.sleep = true;
  await page.frame();
  const drawn = page.drawn.length;
  const tAsleep = page.drawn.at(-1);
  assert.equal(page.pendingFrames(), 0, 'a sleeping loop requests no display frame');
  await page.frame(249);
  assert.equal(page.pendingTimers(), 1);
  await page.frame(1);
  assert.equal(page.pendingTimers(), 1, 'checked again after 250 ms');
  await page.runFor(5, 250);
  assert.equal(page.drawn.length, drawn);
  control.sleep = false;
  await page.frame(250);
  await page.frame();
  assert.ok(page.drawn.at(-1) - tAsleep < 0.05, 'time asleep is not played');
  control.stop = true;
  await page.frame();
  assert.deepEqual({ ...(await done) }, { cancelled: true, seconds: page.TY.video.timing(10, 1).total });

  const sleeper = fakePage();
  const ctl = { sleep: true };
  const ended = sleeper.TY.video.play(canvas(), dropRecord(1), null, ctl);
  await sleeper.frame();
  ctl.stop = true;
  await sleeper.frame(250);
  assert.equal((await ended).cancelled, true, 'a stop is honoured while asleep');
});

test('frame preparation is awaited, not counted, and a stop during it cancels', async () => {
  const page = fakePage();
  const control = {};
  let release;
  const data = dropRecord(1, { prepareFrame: () => new Promise((r) => { release = r; }) });
  const done = page.TY.video.play(canvas(), data, null, control);
  await page.frame();
  assert.equal(page.drawn.length, 0, 'nothing is drawn before the preparation ends');
  await page.frame(5000);
  control.stop = true;
  release();
  await page.frame();
  assert.equal((await done).cancelled, true);
  assert.equal(page.drawn.length, 0);

  const failing = fakePage();
  const broken = dropRecord(1, { prepareFrame: () => Promise.reject(new Error('decode failed')) });
  const rejected = assert.rejects(failing.TY.video.play(canvas(), broken, null, {}), /decode failed/);
  await failing.frame();
  await rejected;
});

/** A MediaRecorder stand-in that supports the given types and delivers its file when stopped. */
function fakeRecorder(supported) {
  return class FakeRecorder {
    static isTypeSupported(type) { return supported.includes(type); }
    constructor(stream, options) {
      this.stream = stream;
      this.options = options;
      this.state = 'inactive';
      FakeRecorder.last = this;
    }
    start(slice) { this.state = 'recording'; this.slice = slice; }
    stop() {
      this.state = 'inactive';
      this.ondataavailable({ data: new Blob(['frames']) });
      this.ondataavailable({ data: new Blob([]) });
      this.onstop();
    }
  };
}

/** A canvas whose capture track counts the frames handed to it; `onFrame` hears of each. */
function recordCanvas() {
  const track = { frames: 0, stopped: false, onFrame: () => {}, requestFrame() { this.frames++; this.onFrame(); }, stop() { this.stopped = true; } };
  return {
    width: 0, height: 0, track,
    captureStream(fps) { this.fps = fps; return { getTracks: () => [track], getVideoTracks: () => [track] }; },
  };
}

/** Frame times 0, 1/30 … of `count` frames. */
const frameTimes = (count) => Array.from({ length: count }, (_, i) => i / 30);

/** Runs the page's clock until `promise` settles, `each` after every display frame; the promise's value. */
async function runUntil(page, promise, each = () => {}, ms = 1000 / 60) {
  let settled = false;
  const done = promise.finally(() => { settled = true; });
  for (let i = 0; !settled && i < 100000; i++) {
    await page.frame(ms);
    each();
  }
  return done;
}

test('record picks the first recordable type, draws every 1/30 s of the animation and hands each frame over', async () => {
  const cases = [
    [['video/webm', 'video/mp4;codecs=avc1.640028'], 'video/mp4;codecs=avc1.640028', 'video/mp4'],
    [['video/webm', 'video/webm;codecs=vp9'], 'video/webm;codecs=vp9', 'video/webm'],
    [['video/mp4'], 'video/mp4', 'video/mp4'],
  ];
  for (const [supported, mime, type] of cases) {
    const Recorder = fakeRecorder(supported);
    const page = fakePage({ globals: { MediaRecorder: Recorder, Blob } });
    const canvas = recordCanvas();
    const progress = [];
    const result = await runUntil(page, page.TY.video.record(canvas, dropRecord(0), (f) => progress.push(f)));
    assert.equal(result.mime, mime);
    assert.equal(result.blob.type, type);
    assert.equal(result.blob.size, 6, 'empty pieces are left out');
    near(result.seconds, 1.75, 1e-9);
    // 1.75 s: 53 frames, the first on the canvas before the capture starts.
    assert.equal(result.frames, 53);
    assert.deepEqual(page.drawn, frameTimes(53));
    assert.equal(canvas.track.frames, 52);
    assert.equal(progress.at(-1), 1);
    assert.equal(canvas.fps, 30);
    assert.deepEqual({ ...Recorder.last.options }, { mimeType: mime, videoBitsPerSecond: 12000000 });
    assert.equal(Recorder.last.slice, 250);
    assert.equal(Recorder.last.state, 'inactive');
    assert.equal(canvas.track.stopped, true);
  }
});

test('record steps 1/30 s of the animation per frame whatever the clock does, never faster than 30 a second', async () => {
  for (const [name, ms] of [['slow drawing', 250], ['fast display', 1000 / 240]]) {
    const page = fakePage({ globals: { MediaRecorder: fakeRecorder(['video/webm']), Blob } });
    const canvas = recordCanvas();
    // How much sooner than 1/30 s after the first any frame came (seen once per display frame).
    let early = -Infinity;
    const result = await runUntil(page, page.TY.video.record(canvas, dropRecord(10), null), () => {
      if (page.drawn.length > 1) early = Math.max(early, ((page.drawn.length - 1) * 1000) / 30 - page.now());
    }, ms);
    assert.deepEqual(page.drawn, frameTimes(result.frames), name);
    assert.equal(result.frames, Math.round(page.TY.video.timing(10, 1).total * 30), name);
    assert.ok(early <= ms, `${name}: a frame ${early.toFixed(1)} ms early`);
  }
});

/** A 32-bit big-endian field. */
const u32 = (n) => { const b = Buffer.alloc(4); b.writeUInt32BE(n >>> 0); return b; };
/** An MP4 box of the given type around its parts. */
const box = (type, ...parts) => { const body = Buffer.concat(parts); return Buffer.concat([u32(8 + body.length), Buffer.from(type, 'latin1'), body]); };

/** A 64-bit big-endian field. */
const u64 = (n) => { const b = Buffer.alloc(8); b.writeBigUInt64BE(BigInt(n)); return b; };

/**
 * A fragment as a recorder writes it: a header with its start and a list of
 * each frame's duration and size, then their data (each frame is its number
 * as 4 bytes); with `twice`, the header first written twice. `frames` are
 * {number, start} in ticks; a frame lasts until the next, the last `last` ticks.
 */
function fragment(frames, { twice = false, last = 100 } = {}) {
  const entries = frames.flatMap((f, i) => [u32((i + 1 < frames.length ? frames[i + 1].start : f.start + last) - f.start), u32(4)]);
  const moofOf = (offset) => box('moof', box('mfhd', u32(0), u32(frames[0].number + 1)),
    box('traf', box('tfhd', u32(0x020000), u32(1)), box('tfdt', u32(0x01000000), u64(frames[0].start)),
      box('trun', u32(0x000301), u32(frames.length), u32(offset), ...entries)));
  const moof = moofOf(moofOf(0).length + 8);
  const mdat = box('mdat', ...frames.map((f) => u32(f.number)));
  return Buffer.concat(twice ? [moof, moof, mdat] : [moof, mdat]);
}

/** A file's start: its type twice (as the program's recorder writes it) and a track of `ticks` per second. */
const fileStart = (ticks) => Buffer.concat([box('ftyp', Buffer.from('isom')), box('ftyp', Buffer.from('isom')),
  box('moov', box('trak', box('mdia', box('mdhd', u32(0), u32(0), u32(0), u32(ticks), u32(0), u32(0)))))]);

/**
 * The frames of an MP4 file as {number, start, duration} in ticks, its sizes
 * checked: each header and list as long as what it holds, the data where the
 * list says, as long as its frames.
 */
function readFragments(bytes) {
  const out = [];
  let moof = null;
  for (let at = 0; at < bytes.length;) {
    const size = bytes.readUInt32BE(at);
    const type = bytes.toString('latin1', at + 4, at + 8);
    assert.ok(size >= 8 && at + size <= bytes.length, `${type} at ${at} fits the file`);
    if (type === 'moof') moof = { at, size };
    if (type === 'mdat' && moof) {
      const traf = moof.at + 8 + bytes.readUInt32BE(moof.at + 8);
      assert.equal(bytes.toString('latin1', traf + 4, traf + 8), 'traf');
      assert.equal(bytes.readUInt32BE(traf) + traf, moof.at + moof.size, 'the track fragment fills the header');
      let trun = traf + 8;
      let start = null;
      while (bytes.toString('latin1', trun + 4, trun + 8) !== 'trun') {
        if (bytes.toString('latin1', trun + 4, trun + 8) === 'tfdt') start = Number(bytes.readBigUInt64BE(trun + 12));
        trun += bytes.readUInt32BE(trun);
      }
      assert.equal(trun + bytes.readUInt32BE(trun), moof.at + moof.size, 'the list ends the header');
      const count = bytes.readUInt32BE(trun + 12);
      assert.equal(bytes.readUInt32BE(trun), 20 + count * 8, 'the list holds its entries and no more');
      assert.equal(moof.at + bytes.readUInt32BE(trun + 16), at + 8, 'the data offset points at the data');
      assert.equal(size, 8 + count * 4, 'the data holds the listed frames');
      for (let i = 0; i < count; i++) {
        const duration = bytes.readUInt32BE(trun + 20 + i * 8);
        out.push({ number: bytes.readUInt32BE(at + 8 + i * 4), start, duration });
        if (start !== null) start += duration;
      }
      moof = null;
    }
    at += size;
  }
  return out;
}

/**
 * A recorder writing fragmented MP4: frames reach its file in fragments of
 * `size`, a fragment once the frame after it is encoded; it encodes `speed`
 * frames per display frame, keeps back the last frame it got and writes
 * every other header twice. Like the program's, it stamps the frames it
 * keeps 1/30 s apart and loses whatever it has not written when stopped;
 * with `chromium` it stamps each frame with the time it was taken (`clock`,
 * in ms), drops every 11th, and writes the rest when stopped.
 */
function fragmentRecorder({ size, speed, chromium = false, clock }) {
  const ticks = chromium ? 90000 : 3000;
  return class FragmentRecorder {
    static isTypeSupported(type) { return type.startsWith('video/mp4'); }
    constructor(stream) {
      this.state = 'inactive';
      // The canvas as it was when the capture started is the first frame.
      this.taken = [{ number: 0, at: clock() }];
      this.encoded = 0;
      this.written = 0;
      this.ahead = 0;
      FragmentRecorder.last = this;
      stream.getVideoTracks()[0].onFrame = () => {
        const number = this.given;
        if (!chromium || number % 11 !== 5) this.taken.push({ number, at: clock() });
        this.given++;
      };
      this.given = 1;
    }
    /** The file's frames from the i-th it keeps on, as {number, start}. */
    frames(from, to) {
      return this.taken.slice(from, to).map((f, i) => ({
        number: f.number,
        start: chromium ? Math.round(((f.at - this.taken[0].at) * ticks) / 1000) : (from + i) * (ticks / 30),
      }));
    }
    start() {
      this.state = 'recording';
      this.ondataavailable({ data: new Blob([fileStart(ticks)]) });
    }
    /** One display frame of encoding and writing. */
    work() {
      if (this.state !== 'recording') return;
      this.ahead = Math.max(this.ahead, this.given - (this.taken[this.written] || { number: this.given }).number);
      this.encoded = Math.min(this.taken.length - 1, this.encoded + speed);
      const pieces = [];
      while (this.encoded - this.written > size) {
        pieces.push(fragment(this.frames(this.written, this.written + size), { twice: (this.written / size) % 2 === 1 }));
        this.written += size;
      }
      if (pieces.length) this.ondataavailable({ data: new Blob([Buffer.concat(pieces)]) });
    }
    stop() {
      this.state = 'inactive';
      if (chromium && this.taken.length > this.written) this.ondataavailable({ data: new Blob([fragment(this.frames(this.written))]) });
      this.onstop();
    }
  };
}

test('recorders writing MP4: frames wait for room, the last is given again until the file holds all, copies go, frames start at their time', async () => {
  const count = Math.round(fakePage().TY.video.timing(54, 1).total * 30);
  const cases = [
    // The program's recorder encoding faster or slower than 30 frames a second.
    { size: 15, speed: 2 }, { size: 15, speed: 0.25 }, { size: 53, speed: 1 }, { size: 1, speed: 1 },
    // Chromium's: larger fragments, frames stamped when taken, some lost, the rest written when it stops.
    { size: 45, speed: 1, chromium: true },
    // One that writes nothing before it stops is waited for only so long.
    { size: count * 2, speed: 1, chromium: true },
  ];
  for (const { size, speed, chromium } of cases) {
    let page = null;
    const Recorder = fragmentRecorder({ size, speed, chromium, clock: () => page.now() });
    page = fakePage({ globals: { MediaRecorder: Recorder, Blob } });
    const name = `fragments of ${size}, ${speed} frames encoded per display frame${chromium ? ', like Chromium' : ''}`;
    const result = await runUntil(page, page.TY.video.record(recordCanvas(), dropRecord(54), null), () => Recorder.last && Recorder.last.work());
    assert.equal(result.frames, count, name);
    const frames = readFragments(Buffer.from(await result.blob.arrayBuffer()));
    const expected = Array.from({ length: count }, (_, i) => i).filter((i) => !chromium || i % 11 !== 5);
    assert.deepEqual(frames.map((f) => f.number), expected, `${name}: every frame kept once, in order, and no copy`);
    const ticks = chromium ? 90000 : 3000;
    assert.deepEqual(frames.map((f) => [f.start, f.duration]),
      frames.map((f, i) => [f.number * ticks / 30, ((i + 1 < frames.length ? frames[i + 1].number : count) - f.number) * ticks / 30]),
      `${name}: each frame starts at its time and lasts until the next`);
    if (!chromium) assert.ok(Recorder.last.given > count, `${name}: the last frame was given again`);
    if (size <= count) assert.ok(Recorder.last.ahead <= Math.max(size, 60) + 15 + 1, `${name}: ${Recorder.last.ahead} frames given ahead of the file`);
  }
});

test('record fails clearly, in the user\'s language, when nothing can be recorded or the recorder breaks', async () => {
  const english = fakePage({ globals: { Blob } });
  await assert.rejects(english.TY.video.record(recordCanvas(), dropRecord(1), null), { message: 'Video recording is not supported here' });
  const japanese = fakePage({ globals: { MediaRecorder: fakeRecorder([]), Blob }, TY: { i18n: { T: (ja) => ja } } });
  await assert.rejects(japanese.TY.video.record(recordCanvas(), dropRecord(1), null), { message: 'この環境では動画を録画できません' });
  assert.equal(japanese.drawn.length, 0, 'nothing is drawn');

  const Recorder = fakeRecorder(['video/webm']);
  const broken = fakePage({ globals: { MediaRecorder: Recorder, Blob } });
  const failed = assert.rejects(broken.TY.video.record(recordCanvas(), dropRecord(54), null), /Video recording failed: encoder lost/);
  await broken.runFor(0.5);
  Recorder.last.onerror({ error: new Error('encoder lost') });
  await broken.runFor(0.1);
  await failed;
  assert.ok(broken.drawn.at(-1) < 1, 'the recording stops at once');

  const Refusing = class extends fakeRecorder(['video/webm']) {
    start() { throw new Error('no encoder'); }
  };
  const refused = fakePage({ globals: { MediaRecorder: Refusing, Blob } });
  const captured = recordCanvas();
  await assert.rejects(refused.TY.video.record(captured, dropRecord(1), null), /no encoder/);
  assert.equal(captured.track.stopped, true, 'the capture track is not left running');
});
