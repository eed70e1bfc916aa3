'use strict';
// The live wallpaper's player on a fake clock: the loop of play, rest and
// exit with its timing, the variants of "Remake the creation each time",
// sleep, pause and stop, photo decoding and fitting the pile to the screen.
// The engine runs for real; only its drawing functions are replaced by
// recorders, so what is tested is when and what the player asks to draw.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');
const { fakeClock, FRAME_MS } = require('../lib/fake-clock');

const SCRIPTS = ['i18n', 'bridge', 'layout', 'album', 'render', 'video', 'wallpaper'];

const print = (i, extra = {}) => ({ x: 150 + 150 * i, y: 300, rot: 0.1, outerW: 114, outerH: 127, photoIndex: i, ...extra });
const record = (extra = {}) => ({
  w: 1280, h: 720, motion: 'drop', speed: 1, background: 'paper', drawList: [print(0), print(1), print(2)],
  spotlightIndex: -1, holdSec: 2, wind: 'none', ...extra,
});
/** 3 drop prints at tempo 1, no title or spotlight: 2 × 0.35 + 0.55 + 1.2 s. */
const PLAY_MS = 2450;

/**
 * The player page on a fake clock, with fetch and image decoding stood in by
 * `photos` (URL → {w, h, tag} or {broken: true}) and drawing recorded.
 */
function loadPlayer({ photos = {}, fetchDelayMs = 0 } = {}) {
  const clock = fakeClock();
  const canvas = { width: 0, height: 0, style: { opacity: '1', transition: '' } };
  const closed = [];
  const resized = [];
  const logged = [];
  const bitmap = (w, h, tag) => ({
    width: w, height: h, tag,
    close() { this.width = 0; this.height = 0; closed.push(tag); },
  });
  const { TY, window } = loadScripts(SCRIPTS, {
    ...clock.globals,
    console: { ...console, error: (...args) => logged.push(args) },
    // Still loading, so the language script leaves the (absent) document alone.
    document: { readyState: 'loading', addEventListener() {}, getElementById: (id) => (id === 'wp' ? canvas : null) },
    fetch: async (url) => {
      if (fetchDelayMs) await new Promise((resolve) => clock.globals.setTimeout(resolve, fetchDelayMs));
      const photo = photos[url];
      return photo ? { ok: true, blob: async () => photo } : { ok: false, status: 404 };
    },
    createImageBitmap: async (source, options = {}) => {
      if (source.broken) throw new Error('cannot decode');
      if (options.resizeWidth) {
        resized.push({ tag: source.tag, w: options.resizeWidth, h: options.resizeHeight, quality: options.resizeQuality });
        return bitmap(options.resizeWidth, options.resizeHeight, `${source.tag}@${options.resizeWidth}`);
      }
      return bitmap(source.w, source.h, source.tag);
    },
  });
  const draws = [];
  TY.render.drawAnimated = (c, data, t) => draws.push({ kind: 'play', t, at: clock.now, data, list: data.drawList, spot: data.spotlightIndex });
  TY.render.drawBreeze = (c, data, ms) => draws.push({ kind: 'breeze', ms, at: clock.now });
  TY.render.drawGust = (c, data, t) => draws.push({ kind: 'gust', t, at: clock.now });
  const phases = [];
  const watch = () => {
    const s = TY.wallpaper.state;
    const last = phases[phases.length - 1];
    if (!last || last.phase !== s.phase || last.at !== s.phaseSince) phases.push({ phase: s.phase, at: s.phaseSince, cycle: s.cycle });
  };
  const emit = (event, payload) => {
    window.kobHost.emit(event, payload);
    watch();
  };
  /** When the n-th (from 0) entry into a phase happened. */
  const entered = (phase, n = 0) => {
    const hit = phases.filter((p) => p.phase === phase)[n];
    assert.ok(hit, `no ${phase} #${n} in ${phases.map((p) => p.phase).join(' → ')}`);
    return hit.at;
  };
  return {
    TY, clock, canvas, draws, closed, resized, logged, phases, emit, entered,
    run: (ms) => clock.advance(ms, watch),
    cmd: (name) => emit('wallpaperCmd', { cmd: name }),
  };
}

/** Asserts that `later` comes within one display frame after `earlier` + ms. */
function withinAFrame(later, earlier, ms, what) {
  const lag = later - earlier - ms;
  assert.ok(lag >= -1e-6 && lag <= FRAME_MS + 1e-6, `${what}: ${later} − ${earlier} is not ${ms} ms plus at most a frame`);
}

test('the loop plays, rests for holdSec, leaves as its wind says and plays again', async () => {
  const cases = [
    ['fade', { wind: 'none' }, 'fading', 900, null],
    ['strong wind', { wind: 'gust' }, 'exiting', 4000, 'gust'],
    ['breeze of 3 prints (2 batches)', { wind: 'breeze' }, 'exiting', 16000, 'breeze'],
    ['older gust flag under an unknown wind', { wind: 'storm', gust: true }, 'exiting', 4000, 'gust'],
    ['unknown wind without the flag', { wind: 'storm' }, 'fading', 900, null],
  ];
  for (const [name, extra, exitPhase, exitMs, drawn] of cases) {
    const p = loadPlayer();
    p.emit('wallpaperData', record(extra));
    await p.run(2 * (PLAY_MS + 2000 + exitMs) + 500);
    const cycle = p.phases.filter((x) => x.phase !== 'preparing').slice(0, 5).map((x) => x.phase);
    assert.deepEqual(cycle, ['playing', 'resting', exitPhase, 'playing', 'resting'], name);
    withinAFrame(p.entered('resting'), p.entered('playing'), PLAY_MS, name);
    assert.equal(p.entered(exitPhase) - p.entered('resting'), 2000, `${name}: rest`);
    if (exitPhase === 'fading') assert.equal(p.entered('playing', 1) - p.entered(exitPhase), 900, `${name}: fade wait`);
    else withinAFrame(p.entered('playing', 1), p.entered(exitPhase), exitMs, `${name}: exit`);
    const exitDraws = p.draws.filter((d) => d.kind !== 'play');
    assert.deepEqual([...new Set(exitDraws.map((d) => d.kind))], drawn ? [drawn] : [], `${name}: exit frames`);
    if (drawn === 'gust') assert.equal(exitDraws.filter((d) => d.at <= p.entered('playing', 1)).at(-1).t, 1, `${name}: ends at t = 1`);
    if (drawn === 'breeze') assert.equal(exitDraws.filter((d) => d.at <= p.entered('playing', 1)).at(-1).ms, 16000, `${name}: ends at its total`);
    assert.equal(p.TY.wallpaper.state.cycle, 3, `${name}: third cycle under way`);
  }
});

test('the canvas fades out for a fade exit and is shown again for the replay', async () => {
  const p = loadPlayer();
  p.emit('wallpaperData', record({ holdSec: 0 }));
  await p.run(PLAY_MS + 100);
  assert.equal(p.TY.wallpaper.state.phase, 'fading');
  assert.equal(p.canvas.style.opacity, '0');
  await p.run(900);
  assert.equal(p.TY.wallpaper.state.phase, 'playing');
  assert.equal(p.canvas.style.opacity, '1');
  assert.deepEqual([p.canvas.width, p.canvas.height], [1280, 720]);
});

test('rest length: holdSec, 30 s when absent, never negative', async () => {
  const cases = [['0 replays right after the exit', 0, 0], ['absent', undefined, 30000], ['null', null, 30000],
    ['negative', -5, 0], ['fraction', 0.25, 250], ['not a number', 'soon', 30000]];
  for (const [name, holdSec, ms] of cases) {
    const p = loadPlayer();
    p.emit('wallpaperData', record({ holdSec }));
    await p.run(PLAY_MS + ms + 1000);
    assert.equal(p.entered('fading') - p.entered('resting'), ms, name);
  }
});

test('an album never leaves with the wind and always loops, whatever its closing action', async () => {
  const p = loadPlayer();
  p.emit('wallpaperData', record({ motion: 'album', wind: 'gust', holdSec: 0, albumCfg: { lastAction: 'close' } }));
  await p.run(60000);
  assert.ok(p.phases.some((x) => x.phase === 'fading'));
  assert.ok(!p.phases.some((x) => x.phase === 'exiting'));
  assert.ok(p.TY.wallpaper.state.cycle >= 2);
  assert.equal(p.draws[0].data.albumCfg.lastAction, 'repeat');
});

test('"Remake the creation each time" plays its variants in turn, each closing on its own last print', async () => {
  const v0 = [print(0), print(1), print(2)];
  const v1 = [print(2), print(0)];
  const v2 = [print(1), print(2), print(0), print(3)];
  const p = loadPlayer();
  p.emit('wallpaperData', record({ drawList: v0, variants: [v0, v1, v2], regenerate: true, spotlightIndex: 2, holdSec: 0 }));
  const played = [];
  for (let cycle = 1; cycle <= 4; cycle++) {
    while (p.TY.wallpaper.state.cycle < cycle) await p.run(500);
    await p.run(100);
    const last = p.draws.at(-1);
    played.push([last.list.map((q) => q.photoIndex).join(''), last.spot, p.TY.wallpaper.state.variant]);
  }
  assert.deepEqual(played, [['012', 2, 0], ['20', 1, 1], ['1203', 3, 2], ['012', 2, 0]]);

  const same = loadPlayer();
  same.emit('wallpaperData', record({ variants: [v1, v2], holdSec: 0 }));
  await same.run(2 * (PLAY_MS + 900) + 500);
  assert.ok(same.draws.every((d) => d.list.length === 3), 'without regenerate the record\'s own pile replays');
});

test('sleep stops every frame and timer; wake continues from the same moment', async () => {
  const p = loadPlayer();
  p.emit('wallpaperData', record());
  await p.run(1000);
  p.cmd('sleep');
  await p.run(50);
  const before = p.draws.length;
  const lastT = p.draws.at(-1).t;
  const fired = { ...p.clock.fired };
  assert.deepEqual(p.clock.pendingKinds(), [], 'nothing is scheduled while asleep');
  await p.run(10000);
  assert.deepEqual(p.clock.fired, fired, 'no callback ran');
  assert.equal(p.draws.length, before);
  assert.equal(p.TY.wallpaper.state.asleep, true);
  p.cmd('wake');
  await p.run(20);
  withinAFrame(p.draws[before].t * 1000, lastT * 1000, 0, 'the first frame after waking');
  await p.run(PLAY_MS);
  // 1000 ms played before the sleep, the rest after it: 10 s asleep count for nothing.
  withinAFrame(p.entered('resting'), 0, PLAY_MS + 10050, 'the play ends its playing time later');
});

test('sleep during the rest does not stretch it, and the exit waits asleep without frames', async () => {
  const p = loadPlayer();
  p.emit('wallpaperData', record({ wind: 'gust' }));
  await p.run(PLAY_MS + 500);
  p.cmd('sleep');
  await p.run(2000);
  assert.equal(p.entered('exiting') - p.entered('resting'), 2000);
  assert.deepEqual(p.clock.pendingKinds(), []);
  assert.equal(p.draws.filter((d) => d.kind === 'gust').length, 0);
  p.cmd('wake');
  await p.run(4100);
  assert.ok(p.draws.some((d) => d.kind === 'gust'));
  assert.equal(p.TY.wallpaper.state.phase, 'playing', 'wall time ran on while asleep, so the exit ends on time');
});

test('a sleep before the first record starts it asleep; wake starts it moving', async () => {
  const p = loadPlayer();
  p.cmd('sleep');
  p.cmd('pause'); // no animation yet: ignored
  p.emit('wallpaperData', record());
  await p.run(5000);
  assert.equal(p.draws.length, 0);
  assert.deepEqual(p.clock.pendingKinds(), []);
  p.cmd('wake');
  await p.run(100);
  assert.ok(p.draws.length > 0 && p.draws[0].t <= FRAME_MS / 1000 + 1e-9);
});

test('pause holds the frame without advancing the clock; resume goes on', async () => {
  const p = loadPlayer();
  p.emit('wallpaperData', record());
  await p.run(1000);
  p.cmd('pause');
  await p.run(50);
  const before = p.draws.length;
  await p.run(2000);
  assert.equal(p.draws.length, before);
  assert.equal(p.TY.wallpaper.state.paused, true);
  p.cmd('resume');
  await p.run(PLAY_MS);
  withinAFrame(p.entered('resting'), 0, PLAY_MS + 2050, 'the paused time is not played');
});

test('stop ends waits, frames and photos at once and leaves a fade transparent until the next start', async () => {
  const photos = { u0: { w: 50, h: 50, tag: 'a' } };
  const p = loadPlayer({ photos });
  p.emit('wallpaperData', record({ photoUrls: { 0: 'u0' }, holdSec: 0 }));
  await p.run(PLAY_MS + 300);
  assert.equal(p.TY.wallpaper.state.phase, 'fading');
  p.cmd('stop');
  assert.deepEqual(p.clock.pendingKinds(), [], 'the fade wait ended');
  assert.deepEqual(p.closed, ['a']);
  assert.equal(p.canvas.style.opacity, '0');
  const s = p.TY.wallpaper.state;
  assert.deepEqual([s.phase, s.running, s.photos], ['idle', false, 0]);
  const drawn = p.draws.length;
  await p.run(30000);
  assert.equal(p.draws.length, drawn);
  p.emit('wallpaperData', record({ photoUrls: { 0: 'u0' } }));
  assert.equal(p.canvas.style.opacity, '1', 'visible again at once');
  await p.run(100);
  assert.equal(p.TY.wallpaper.state.phase, 'playing');

  p.cmd('sleep');
  p.cmd('stop');
  p.emit('wallpaperData', record());
  await p.run(100);
  assert.ok(p.draws.length > drawn + 1, 'a stop forgets the sleep wish');
});

test('a second record while the first is still decoding discards the first one\'s photos', async () => {
  const photos = { a: { w: 40, h: 40, tag: 'first' }, b: { w: 40, h: 40, tag: 'second' } };
  const p = loadPlayer({ photos, fetchDelayMs: 100 });
  p.emit('wallpaperData', record({ photoUrls: { 0: 'a' } }));
  await p.run(50);
  p.emit('wallpaperData', record({ photoUrls: { 0: 'b' } }));
  await p.run(500);
  assert.deepEqual(p.closed, ['first']);
  assert.ok(p.draws.length > 0 && p.draws.every((d) => d.data.bitmaps[0].tag === 'second'));
  assert.equal(p.TY.wallpaper.state.generation, 4, 'two starts, each after a stop of what ran');
});

test('photos are decoded no larger than they are drawn; ones that fail are left out', async () => {
  const photos = {
    big: { w: 2000, h: 1500, tag: 'big' },
    small: { w: 100, h: 80, tag: 'small' },
    broken: { broken: true },
  };
  const p = loadPlayer({ photos });
  const urls = { 0: 'big', 1: 'small', 2: 'broken', 3: 'missing', x: 'big' };
  p.emit('wallpaperData', record({ drawList: [print(0), print(1), print(2), print(3)], photoUrls: urls }));
  await p.run(100);
  // Square crops: the shorter side is brought to ceil(114 ÷ 1.14 × 1.25 × 1.06) = 133 px.
  assert.deepEqual(p.resized, [{ tag: 'big', w: 177, h: 133, quality: 'high' }]);
  assert.deepEqual(p.closed, ['big'], 'the full-size decode is released at once');
  const bitmaps = p.draws.at(-1).data.bitmaps;
  assert.deepEqual([0, 1, 2, 3].map((i) => bitmaps[i] && bitmaps[i].tag), ['big@177', 'small', undefined, undefined]);
  assert.equal(p.draws.at(-1).data.photoUrls, undefined);
  assert.deepEqual([p.TY.wallpaper.state.photos, p.TY.wallpaper.state.decodedPixels], [2, 177 * 133 + 100 * 80]);
  assert.deepEqual(p.logged, [], 'failures are skipped silently');

  const album = loadPlayer({ photos: { wide: { w: 3000, h: 600, tag: 'wide' } } });
  const albumRecord = record({ motion: 'album', photoUrls: { 0: 'wide' } });
  const need = album.TY.render.decodeSideByPhoto(album.TY.render.normalizePlayData(albumRecord)).get(0);
  album.emit('wallpaperData', albumRecord);
  await album.run(100);
  assert.equal(album.resized[0].w, need, 'an album photo is fitted whole: its longer side is brought to the need');
});

test('an error while drawing ends the loop and releases the photos; the host hears nothing', async () => {
  const p = loadPlayer({ photos: { u: { w: 30, h: 30, tag: 'p' } } });
  let frames = 0;
  p.TY.render.drawAnimated = () => { if (++frames === 10) throw new Error('broken frame'); };
  p.emit('wallpaperData', record({ photoUrls: { 0: 'u' } }));
  await p.run(1000);
  assert.equal(frames, 10);
  assert.equal(p.TY.wallpaper.state.phase, 'ended');
  assert.deepEqual(p.clock.pendingKinds(), []);
  assert.deepEqual(p.closed, ['p']);
  assert.equal(p.logged.length, 1);
});

test('unknown events and commands are ignored', async () => {
  const p = loadPlayer();
  p.emit('somethingElse', { cmd: 'stop' });
  p.cmd('explode');
  p.emit('wallpaperCmd');
  p.emit('wallpaperData');
  await p.run(100);
  assert.equal(p.TY.wallpaper.state.phase, 'playing', 'an absent record plays the empty desk');
  assert.deepEqual(p.logged, []);
});

test('the pile is fitted to cover the screen; albums and equal sizes are left alone', () => {
  const { TY } = loadPlayer();
  const fit = TY.wallpaper.fitPlacements;
  const p = { x: 960, y: 540, rot: 0.3, outerW: 114, outerH: 127, photoIndex: 4, featured: true };
  const at = (data) => {
    const q = fit(data).drawList[0];
    return [q.x, q.y, q.outerW, q.outerH].map((v) => Math.round(v * 10) / 10);
  };
  const cases = [
    ['2560 × 1440: 4/3, no offset', { w: 2560, h: 1440 }, [1280, 720, 152, 169.3]],
    ['2560 × 1600: 1600 ÷ 1080, centred', { w: 2560, h: 1600 }, [1280, 800, 168.9, 188.1]],
    ['same size', { w: 1920, h: 1080 }, [960, 540, 114, 127]],
    ['album', { w: 2560, h: 1440, motion: 'album' }, [960, 540, 114, 127]],
    ['no creation size', { w: 2560, h: 1440, srcW: 0 }, [960, 540, 114, 127]],
  ];
  for (const [name, extra, expected] of cases) {
    assert.deepEqual(at({ srcW: 1920, srcH: 1080, drawList: [p], ...extra }), expected, name);
  }
  const k = 1600 / 1080;
  const fitted = fit({ w: 2560, h: 1600, srcW: 1920, srcH: 1080, drawList: [{ ...p, x: 0, y: 0 }], variants: [[{ ...p, x: 0, y: 0 }]] });
  assert.ok(Math.abs(fitted.drawList[0].x - (2560 - 1920 * k) / 2) < 1e-9);
  assert.ok(Math.abs(fitted.drawList[0].x + 142.2) < 0.05, 'ox = −142.2');
  assert.deepEqual(fitted.variants[0][0], fitted.drawList[0], 'variants are fitted alike');
  assert.equal(fitted.drawList[0].featured, true);
  assert.equal(p.x, 960, 'the record handed in is not changed');
});
