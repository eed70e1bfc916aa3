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

/** A MediaRecorder stand-in that supports the given types. */
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

const recordCanvas = () => ({
  width: 0, height: 0,
  captureStream(fps) { this.fps = fps; return { getTracks: () => [{ stop() { this.stopped = true; } }] }; },
});

test('record picks the first recordable type and records at 30 fps, 12 Mbit/s', async () => {
  const cases = [
    [['video/webm', 'video/mp4;codecs=avc1.640028'], 'video/mp4;codecs=avc1.640028', 'video/mp4'],
    [['video/webm', 'video/webm;codecs=vp9'], 'video/webm;codecs=vp9', 'video/webm'],
    [['video/mp4'], 'video/mp4', 'video/mp4'],
  ];
  for (const [supported, mime, type] of cases) {
    const Recorder = fakeRecorder(supported);
    const page = fakePage({ globals: { MediaRecorder: Recorder, Blob } });
    const canvas = recordCanvas();
    const done = page.TY.video.record(canvas, dropRecord(0), null);
    await page.runFor(2);
    const result = await done;
    assert.equal(result.mime, mime);
    assert.equal(result.blob.type, type);
    assert.equal(result.blob.size, 6, 'empty pieces are left out');
    near(result.seconds, 1.75, 1e-9);
    assert.equal(canvas.fps, 30);
    assert.deepEqual({ ...Recorder.last.options }, { mimeType: mime, videoBitsPerSecond: 12000000 });
    assert.equal(Recorder.last.slice, 250);
    assert.equal(Recorder.last.state, 'inactive');
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
  assert.ok(broken.drawn.at(-1) < 1, 'the playback stops at once');

  const Refusing = class extends fakeRecorder(['video/webm']) {
    start() { throw new Error('no encoder'); }
  };
  const refused = fakePage({ globals: { MediaRecorder: Refusing, Blob } });
  const track = { stopped: false, stop() { this.stopped = true; } };
  const captured = { width: 0, height: 0, captureStream: () => ({ getTracks: () => [track] }) };
  await assert.rejects(refused.TY.video.record(captured, dropRecord(1), null), /no encoder/);
  assert.equal(track.stopped, true, 'the capture track is not left running');
});
