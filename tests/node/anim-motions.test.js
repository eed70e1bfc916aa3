'use strict';
// The animation's pure parts: play-data normalisation, decode sizes, the
// sway transform, title and spotlight curves, and the paper exits' schedule
// and flight.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

const { TY } = loadScripts(['layout', 'album', 'render']);
const R = TY.render;
const plain = (x) => JSON.parse(JSON.stringify(x));
const near = (actual, expected, eps = 1e-9) =>
  assert.ok(Math.abs(actual - expected) <= eps, `${actual} is not within ${eps} of ${expected}`);

const print = (extra = {}) => ({ x: 500, y: 400, rot: 0.2, outerW: 114, outerH: 127, photoIndex: 0, ...extra });

test('play data: defaults, fallbacks and the older wind flag', () => {
  const min = R.normalizePlayData({ drawList: [], w: 640, h: 360, speed: 1, motion: 'drop', holdSec: 30 });
  assert.deepEqual(plain({ w: min.w, h: min.h, motion: min.motion, speed: min.speed, wind: min.wind, spot: min.spotlightIndex, title: min.title, hold: min.holdSec }),
    { w: 640, h: 360, motion: 'drop', speed: 1, wind: 'none', spot: -1, title: null, hold: 30 });
  const cases = [
    ['unknown motion', { motion: 'spin' }, (d) => d.motion, 'drop'],
    ['speed word', { speed: 'superslow' }, (d) => d.speed, 0.25],
    ['speed clamp', { speed: 7 }, (d) => d.speed, 2],
    ['old gust flag', { gust: true }, (d) => d.wind, 'gust'],
    ['wind wins over gust', { wind: 'breeze', gust: true }, (d) => d.wind, 'breeze'],
    ['invalid wind, gust flag', { wind: 'storm', gust: true }, (d) => d.wind, 'gust'],
    ['album never has wind', { motion: 'album', wind: 'gust' }, (d) => d.wind, 'none'],
    ['hold absent', {}, (d) => d.holdSec, 30],
    ['spotlight beyond list', { drawList: [print()], spotlightIndex: 3 }, (d) => d.spotlightIndex, -1],
    ['emphasis invalid', { emphasisFactor: 'big' }, (d) => d.emphasisFactor, 1],
    ['title trimmed to 40', { title: `  ${'あ'.repeat(45)} ` }, (d) => d.title, 'あ'.repeat(40)],
    ['blank title', { title: '   ' }, (d) => d.title, null],
    ['installed title font kept', { titleCfg: { font: 'sys:Noto Serif CJK JP' } }, (d) => d.titleCfg.font, 'sys:Noto Serif CJK JP'],
    ['caption font as title font', { titleCfg: { font: 'yomogi' } }, (d) => d.titleCfg.font, 'yomogi'],
    ['unknown title font', { titleCfg: { font: 'comic' } }, (d) => d.titleCfg.font, 'gothic'],
    ['installed font without a name', { titleCfg: { font: 'sys: ' } }, (d) => d.titleCfg.font, 'gothic'],
    ['album settings', { albumCfg: { mat: 'gold' } }, (d) => d.albumCfg.mat, 'black'],
    ['bad placements dropped', { drawList: [print(), null, { x: 1 }, 'x'] }, (d) => d.drawList.length, 1],
    ['watermark', { watermark: true }, (d) => d.watermark, false],
    ['size', { w: -5, h: 'x' }, (d) => [d.w, d.h].join('x'), '1x1'],
  ];
  for (const [name, raw, pick, expected] of cases) assert.deepEqual(plain(pick(R.normalizePlayData(raw))), expected, name);
  const bitmaps = [];
  assert.equal(R.normalizePlayData({ bitmaps }).bitmaps, bitmaps, 'runtime fields are kept');
  assert.doesNotThrow(() => R.normalizePlayData(null));
});

test('decode sides cover every enlargement a frame can make', () => {
  const p = print({ outerW: 300, outerH: 334, photoIndex: 4 });
  const side = (data) => Object.fromEntries(R.decodeSideByPhoto({ w: 1920, h: 1080, ...data }));
  assert.deepEqual(side({ motion: 'drop', drawList: [p] }), { 4: 349 });
  assert.deepEqual(side({ motion: 'sway', drawList: [p] }), { 4: 698 });
  assert.deepEqual(side({ motion: 'drop', drawList: [p], spotlightIndex: 0 }), { 4: 593 });
  assert.deepEqual(side({ motion: 'drop', drawList: [print({ outerW: 114 })], variants: [[print({ outerW: 228 })]] }), { 0: Math.ceil(200 * 1.325) });
  const album = side({ motion: 'album', albumCfg: {}, drawList: [p, { photoIndex: 7, albumOnly: true }] });
  assert.deepEqual(album, { 4: Math.ceil(397 * 1.325), 7: Math.ceil(397 * 1.325) });
});

test('sway: starts large above its place, lands exactly at rest', () => {
  const W = 1920;
  const H = 1080;
  const p = print({ x: 300, y: 900 });
  const start = R.swayTransform(p, 3, 0, W, H);
  near(start.scale, 2);
  near(start.blur, 0.018 * 114);
  const startX = W / 2 + (300 - W / 2) * 0.15;
  const seed = (3 * 2.399963) % 6.283;
  near(start.x, startX + Math.sin(seed) * 0.08 * 114);
  near(start.y, 0.4 * 127 + Math.cos(seed) * 0.03 * 127);
  const end = R.swayTransform(p, 3, 1, W, H);
  assert.deepEqual(plain({ x: end.x, y: end.y, rot: end.rot, scale: end.scale, wf: end.widthFactor }), { x: 300, y: 900, rot: 0.2, scale: 1, wf: 1 });
  near(end.blur, 0);
  const nearTop = R.swayTransform(print({ y: 20 }), 0, 0, W, H);
  near(nearTop.y, 20 - 0.5 * 127 + 0.03 * 127, 1e-9);
});

test('title card opacity and spotlight progress', () => {
  const alpha = [[0, 0], [0.392, 0.5], [0.784, 1], [1.4, 1], [2.8 - 0.392, 0.5], [2.8, 0], [3, 0]];
  for (const [t, a] of alpha) near(R.titleAlpha(t, 2.8), a, 1e-9);
  const tm = { total: 20, spotDur: 4.6, spotMove: 0.8, spotHold: 3, spotReturn: 0.8 };
  const spot = [[15, 0], [15.4, 0], [15.8, 0.5], [16.2, 1], [19.2, 1], [19.6, 0.5], [20, 0], [21, 0]];
  for (const [t, p] of spot) near(R.spotlightProgress(t, tm), p, 1e-9);
  assert.equal(R.spotlightProgress(19, { ...tm, spotDur: 0 }), 0);
  near(R.spotlightProgress(16, { total: 20, spotDur: 8, spotMove: 0, spotHold: 0, spotReturn: 0 }), 0.5, 1e-9);
});

test('breeze schedule and departures, gust delays', () => {
  const schedules = [[375, 188, 14000 / 187, 16000], [1000, 500, 60, 31940], [1, 1, 0, 2000], [0, 1, 0, 2000]];
  for (const [count, batches, interval, total] of schedules) {
    const s = R.breezeSchedule(count);
    assert.equal(s.batches, batches, `count ${count}`);
    near(s.intervalMs, interval, 1e-9);
    near(s.totalMs, total, 1e-6);
    assert.equal(s.flightMs, 2000);
  }
  const s = R.breezeSchedule(10);
  assert.equal(R.breezeProgress(0, 0, s), 0);
  near(R.breezeProgress(1, 1000, s), 0.5);
  assert.equal(R.breezeProgress(2, s.intervalMs, s), 0, 'prints 2 and 3 leave one interval later');
  near(R.breezeProgress(3, s.intervalMs + 500, s), 0.25);
  assert.equal(R.breezeProgress(2, 2000, { flightMs: 2000, pairSize: 2 }), 0, 'without an interval, batches leave a flight apart');
  assert.equal(R.gustProgress(100, 101, 0.16), 0, 'the bottom print of 101 starts at 0.16');
  assert.ok(R.gustProgress(100, 101, 0.161) > 0);
  assert.equal(R.gustProgress(100, 101, 1), 1, 'and finishes exactly at 1');
  near(R.gustProgress(0, 1, 0.5), 0.5);
});

test('paper flight: at rest at 0, trembling then sliding on the desk, gone at 1', () => {
  const W = 1920;
  const H = 1080;
  const p = print({ x: 900, y: 500 });
  for (const strength of ['breeze', 'gust']) {
    const cfg = R.PAPER_EXIT[strength];
    const rest = R.paperFlightTransform(p, 0, 0, W, H, strength);
    assert.deepEqual(plain([rest.x, rest.y, rest.rot, rest.scale, rest.widthFactor, rest.paperLift]), [900, 500, 0.2, 1, 1, 0]);
    assert.equal(R.paperFlightTransform(p, 0, cfg.shakePart / 2, W, H, strength).stage, 'shake');
    assert.equal(R.paperFlightTransform(p, 0, cfg.shakePart + cfg.slidePart / 2, W, H, strength).stage, 'slide');
    const fly = R.paperFlightTransform(p, 0, 0.7, W, H, strength);
    assert.equal(fly.stage, 'flight');
    assert.ok(fly.paperLift > 0);
    for (let q = 0.05; q <= 1; q += 0.05) {
      const tf = R.paperFlightTransform(p, 0, q, W, H, strength);
      assert.ok(Math.abs(tf.rot - 0.2) <= cfg.rock + 1e-9, 'rotation swings about its angle, never spins');
    }
    const gone = R.paperFlightTransform(p, 0, 1, W, H, strength);
    const halfDiag = Math.hypot(114, 127) / 2;
    assert.ok(gone.x - halfDiag > W && gone.y + halfDiag < 0, `${strength}: beyond the right and top edges`);
  }
});
