'use strict';
// The live wallpaper's player page in Chromium: a handed-over record loops
// play, rest, exit and replay with its variants in turn; photos that fail
// leave their prints empty without an error; sleep stops every frame and
// timer and wake brings them back.
const test = require('node:test');
const assert = require('node:assert/strict');
const { playerSession, makeRecord, hostEmit, playerState, waitForState, canvasHash } = require('../lib/wallpaper-page');

let session;
test.before(async () => { session = await playerSession(); });
test.after(() => session.close());

/** Page-side log of every frame the player asks the engine for. */
const LOG_FRAMES = `(() => {
  window.__frames = [];
  for (const name of ['drawAnimated', 'drawBreeze', 'drawGust']) {
    const draw = TY.render[name];
    TY.render[name] = function (canvas, data, ...rest) {
      const s = TY.wallpaper.state;
      window.__frames.push({ name, phase: s.phase, cycle: s.cycle, variant: s.variant, prints: data.drawList.length, at: performance.now() });
      return draw.call(this, canvas, data, ...rest);
    };
  }
})()`;

test('a handed-over record loops play, rest, breeze and replay, its variants in turn', async () => {
  const { page, errors, close } = await session.open({ clock: true });
  await page.evaluate(LOG_FRAMES);
  // Small piles keep the software-drawn frames quick: three prints leave in
  // two batches (a 16 s breeze), two prints in one (2 s).
  const print = (i, x, y) => ({ x, y, rot: 0.2 * (i - 1), outerW: 150, outerH: 150 / 1.14 * 1.27, photoIndex: i });
  const piles = [[print(0, 150, 120), print(1, 320, 200), print(2, 480, 150)], [print(2, 250, 180), print(0, 400, 160)]];
  const record = await makeRecord(page, {
    w: 640, h: 360, photoCount: 3, drawList: piles[0], variants: piles, regenerate: true, speed: 2, holdSec: 1, wind: 'breeze',
  });
  await hostEmit(page, 'wallpaperData', record);
  await waitForState(page, (s) => s.phase === 'playing');
  const entries = [];
  while (entries.filter((e) => e.phase === 'playing').length < 3) {
    await page.clock.runFor(250);
    const s = await playerState(page);
    const last = entries[entries.length - 1];
    if (!last || last.at !== s.phaseSince) entries.push({ phase: s.phase, at: s.phaseSince, cycle: s.cycle, variant: s.variant });
    assert.ok(entries.length < 20 && s.cycle <= 3, JSON.stringify(entries));
  }
  assert.deepEqual(entries.map((e) => `${e.phase} ${e.cycle}/${e.variant}`),
    ['playing 1/0', 'resting 1/0', 'exiting 1/0', 'playing 2/1', 'resting 2/1', 'exiting 2/1', 'playing 3/0']);
  const frames = await page.evaluate(() => window.__frames);
  const counts = record.variants.map((v) => v.length);
  for (const [cycle, variant] of [[1, 0], [2, 1]]) {
    const [play, rest, exit, next] = entries.slice(3 * (cycle - 1), 3 * cycle + 1);
    const mine = frames.filter((f) => f.cycle === cycle);
    assert.ok(mine.every((f) => f.prints === counts[variant]), `cycle ${cycle} plays variant ${variant}`);
    assert.ok(mine.filter((f) => f.phase === 'playing').every((f) => f.name === 'drawAnimated'));
    assert.ok(mine.filter((f) => f.phase === 'exiting').every((f) => f.name === 'drawBreeze'));
    assert.ok(!mine.some((f) => f.phase === 'resting'), 'no frame is drawn while resting');
    assert.ok(rest.at > play.at);
    assert.equal(exit.at - rest.at, 1000, 'holdSec');
    const breezeMs = await page.evaluate((n) => TY.render.breezeSchedule(n, 16000, 2).totalMs, counts[variant]);
    const lag = next.at - exit.at - breezeMs;
    assert.ok(lag >= 0 && lag < 50, `breeze of ${counts[variant]} prints took ${next.at - exit.at} ms`);
  }
  const canvas = await page.evaluate(() => {
    const c = /** @type {HTMLCanvasElement} */ (document.getElementById('wp'));
    const box = c.getBoundingClientRect();
    return [c.width, c.height, box.width, box.height, getComputedStyle(c).opacity];
  });
  assert.deepEqual(canvas, [640, 360, 640, 360, '1']);
  assert.deepEqual(errors, []);
  await close();
});

test('a photo that fails to load leaves its print empty, without an error', async () => {
  const { page, errors, consoleErrors, close } = await session.open({ photos: { 0: 'coffee.jpg', 1: undefined, 2: 'broken' } });
  // Four upright prints in a row: photo 1 is not found, photo 2 is no picture, photo 3 has no URL at all.
  const drawList = [0, 1, 2, 3].map((i) => ({ x: 100 + 150 * i, y: 180, rot: 0, outerW: 120, outerH: 120 / 1.14 * 1.27, photoIndex: i }));
  const record = await makeRecord(page, { w: 640, h: 360, photoCount: 3, drawList, speed: 2, background: 'paper' });
  await hostEmit(page, 'wallpaperData', record);
  const state = await waitForState(page, (s) => s.phase === 'resting');
  assert.equal(state.photos, 1);
  const photoCentres = await page.evaluate((list) => {
    const c = /** @type {HTMLCanvasElement} */ (document.getElementById('wp'));
    const ctx = c.getContext('2d');
    return list.map((p) => Array.from(ctx.getImageData(p.x, Math.round(p.y - 0.065 * p.outerW / 1.14), 1, 1).data.slice(0, 3)));
  }, drawList);
  const same = (a, b) => a.every((v, i) => Math.abs(v - b[i]) <= 3);
  assert.ok(same(photoCentres[1], photoCentres[3]) && same(photoCentres[2], photoCentres[3]), `empty pockets: ${JSON.stringify(photoCentres)}`);
  assert.ok(!same(photoCentres[0], photoCentres[3]), 'the photo that loaded is drawn');
  assert.deepEqual(errors, []);
  assert.deepEqual(consoleErrors.filter((text) => !/Failed to load resource/.test(text)), []);
  await close();
});

/** Counts every animation-frame and timer callback the page runs. */
const COUNT_CALLBACKS = `(() => {
  window.__ran = { frames: 0, timers: 0 };
  const rAF = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (fn) => rAF((t) => { window.__ran.frames++; fn(t); });
  const setT = window.setTimeout.bind(window);
  window.setTimeout = (fn, ms, ...args) => setT(() => { window.__ran.timers++; fn(...args); }, ms);
  const setI = window.setInterval.bind(window);
  window.setInterval = (fn, ms, ...args) => setI(() => { window.__ran.timers++; fn(...args); }, ms);
})();`;

test('sleep stops every frame and timer, wake resumes; pause holds the picture, resume moves it again', async () => {
  const { page, errors, close } = await session.open({ init: COUNT_CALLBACKS });
  const record = await makeRecord(page, { w: 640, h: 360, photoCount: 4, speed: 0.25 });
  await hostEmit(page, 'wallpaperData', record);
  await waitForState(page, (s) => s.phase === 'playing' && s.framesDrawn > 10);
  const ran = () => page.evaluate(() => ({ ...window.__ran }));
  const pause = (ms) => page.waitForTimeout(ms);
  /** The callback counts once a frame already requested has come and gone. */
  const quiet = async () => {
    let last = await ran();
    for (let i = 0; i < 20; i++) {
      await pause(150);
      const now = await ran();
      if (now.frames === last.frames && now.timers === last.timers) return now;
      last = now;
    }
    assert.fail(`callbacks still run: ${JSON.stringify(last)}`);
  };
  const until = async (what, check) => {
    for (let i = 0; i < 100 && !(await check()); i++) await pause(100);
    assert.ok(await check(), what);
  };

  await hostEmit(page, 'wallpaperCmd', { cmd: 'sleep' });
  const picture = [await canvasHash(page), (await playerState(page)).framesDrawn];
  const asleep = await quiet();
  await pause(1500);
  assert.deepEqual(await ran(), asleep, 'no frame or timer runs while asleep');
  assert.deepEqual([await canvasHash(page), (await playerState(page)).framesDrawn], picture, 'nothing is drawn while asleep');

  await hostEmit(page, 'wallpaperCmd', { cmd: 'wake' });
  await until('frames run again', async () => (await ran()).frames > asleep.frames + 5);
  await until('the picture moves again', async () => (await canvasHash(page)) !== picture[0]);
  assert.equal((await playerState(page)).phase, 'playing');

  await hostEmit(page, 'wallpaperCmd', { cmd: 'pause' });
  const held = [await canvasHash(page), (await playerState(page)).framesDrawn];
  await pause(600);
  assert.deepEqual([await canvasHash(page), (await playerState(page)).framesDrawn], held, 'the picture holds');
  await hostEmit(page, 'wallpaperCmd', { cmd: 'resume' });
  await until('the picture moves on', async () => (await canvasHash(page)) !== held[0]);

  await hostEmit(page, 'wallpaperCmd', { cmd: 'stop' });
  const stopped = await quiet();
  await pause(800);
  assert.deepEqual(await ran(), stopped, 'nothing runs once stopped');
  const s = await playerState(page);
  assert.deepEqual([s.phase, s.running, s.photos], ['idle', false, 0]);
  assert.deepEqual(errors, []);
  await close();
});
