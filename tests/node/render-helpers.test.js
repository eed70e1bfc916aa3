'use strict';
// Pure helpers of the render module: the seeded sequence, colour helpers,
// font resolution, the filter colour maps and the tape outline and pattern
// choice (recorded on a stand-in context).
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load.js');

const { TY } = loadScripts(['render']);
const R = TY.render;

/** A 2D context stand-in that records path points and the fill styles used. */
function recordingContext() {
  const log = { points: [], fills: [], strokes: 0 };
  const ctx = {
    log,
    save() {}, restore() {}, clip() {}, beginPath() {}, closePath() {}, fillRect() {}, arc() {},
    quadraticCurveTo() {}, translate() {}, rotate() {},
    moveTo(x, y) { log.points.push([x, y]); },
    lineTo(x, y) { log.points.push([x, y]); },
    fill() { log.fills.push(ctx.fillStyle); },
    stroke() { log.strokes++; },
  };
  return ctx;
}

test('mulberry32 is the published sequence', () => {
  const next = R.mulberry32(42);
  assert.deepEqual([next(), next(), next()], [0.6011037519201636, 0.44829055899754167, 0.8524657934904099]);
});

test('colour helpers', () => {
  assert.equal(R.shade('#d9463e', 0.6), 'rgb(130,42,37)');
  assert.equal(R.shade('#f2b011', 1.35), 'rgb(255,237,22)');
  assert.equal(R.shade('rgb(10, 20, 30)', 2), 'rgb(20,40,60)');
  assert.equal(R.colorToHex('not a colour'), '#888888');
  assert.equal(R.colorToHex('#ABC'), '#aabbcc');
  assert.ok(Math.abs(R.hexLuminance('#111111') - 0.0667) < 0.001);
  assert.ok(Math.abs(R.hexLuminance('#ffd23e') - 0.819) < 0.001);
  for (const other of ['red', '#fff', null, 12]) assert.equal(R.hexLuminance(other), 1);
});

test('usableBitmap: only images with a size', () => {
  const cases = [
    [null, false], [undefined, false], ['photo.jpg', false], [{ width: 0, height: 0 }, false],
    [{ width: 12, height: 0 }, false], [{ width: 12, height: 9 }, true],
    // An image element whose picture failed keeps its width attribute but no natural size.
    [{ naturalWidth: 0, naturalHeight: 0, width: 100, height: 80 }, false],
    [{ naturalWidth: 640, naturalHeight: 480, width: 0, height: 0 }, true],
  ];
  for (const [image, want] of cases) assert.equal(R.usableBitmap(image), want, JSON.stringify(image));
});

test('font families and title styles', () => {
  const cases = [
    ['yomogi', '"Yomogi", "Yu Gothic UI", sans-serif'],
    ['bogus', '"Yu Gothic UI", "Meiryo", sans-serif'],
    [undefined, '"Yu Gothic UI", "Meiryo", sans-serif'],
    ['sys:Noto Serif', '"Noto Serif", "Yu Gothic UI", sans-serif'],
    ['sys:Bad Font\\', '"Bad Font", "Yu Gothic UI", sans-serif'],
    ['sys:Evil"; x', '"Evil; x", "Yu Gothic UI", sans-serif'],
    ['sys:', '"Yu Gothic UI", "Meiryo", sans-serif'],
  ];
  for (const [key, want] of cases) assert.equal(R.resolveFontFamily(key), want, String(key));
  assert.deepEqual(['bolditalic', 'italic', 'bold', 'regular', 'x'].map(R.titleFontPrefix),
    ['italic 700 ', 'italic ', '700 ', '', '']);
});

test('filter chains follow the standard, clamping after every step', () => {
  const apply = (rgb, chain) => {
    const data = new Uint8ClampedArray([...rgb, 255]);
    R.applyFilterChain(data, chain);
    return Array.from(data.slice(0, 3));
  };
  assert.deepEqual(apply([255, 0, 0], 'grayscale(1)'), [54, 54, 54]);
  assert.deepEqual(apply([200, 100, 50], 'grayscale(0)'), [200, 100, 50]);
  assert.deepEqual(apply([100, 100, 100], 'brightness(150%)'), [150, 150, 150]);
  assert.deepEqual(apply([255, 255, 255], 'sepia(1)'), [255, 255, 239]);
  // 200 × 2 clamps to 255 before the contrast, which then gives 191.
  assert.deepEqual(apply([200, 200, 200], 'brightness(2) contrast(0.5)'), [191, 191, 191]);
  assert.deepEqual(apply([10, 200, 30], 'hue-rotate(0deg)'), [10, 200, 30]);
  assert.deepEqual(apply([10, 200, 30], 'blur(4px) unknown(2)'), [10, 200, 30]);
});

test('torn tapes: same seed, same outline; none means seed 42', () => {
  const outline = (random) => {
    const ctx = recordingContext();
    R.tornTapePath(ctx, 100, 30, random);
    return ctx.log.points;
  };
  const a = outline(R.mulberry32(7));
  assert.equal(a.length, 14);
  assert.deepEqual(a, outline(R.mulberry32(7)));
  assert.notDeepEqual(a, outline(R.mulberry32(8)));
  for (const [x] of a) assert.ok(Math.abs(x) <= 50 + 3.5 && Math.abs(x) >= 50 - 6.5);

  const painted = (random) => {
    const ctx = recordingContext();
    R.paintTape(ctx, 100, 30, random, 0, 'none', 1);
    return ctx.log.points;
  };
  assert.deepEqual(painted(null), painted(R.mulberry32(42)));
});

test('tape patterns: auto by photo index, plain colours cycle, negative counts as 0', () => {
  const firstFill = (photoIndex, pattern) => {
    const ctx = recordingContext();
    R.paintTape(ctx, 100, 30, null, photoIndex, pattern, 1);
    return ctx.log.fills[0];
  };
  const ground = (key) => R.TAPE_PATTERNS[key].ground;
  assert.deepEqual([...R.TAPE_PATTERN_KEYS], ['fuji', 'sunflower', 'sakura', 'stars', 'shinkansen', 'dots']);
  // A patterned tape fills its ground by fillRect; the first path fill is the pattern's own.
  const rectFill = (photoIndex, pattern) => {
    const ctx = recordingContext();
    let style = null;
    ctx.fillRect = () => { style = style || ctx.fillStyle; };
    R.paintTape(ctx, 100, 30, null, photoIndex, pattern, 1);
    return style;
  };
  assert.equal(rectFill(6, 'auto'), ground('fuji'));
  assert.equal(rectFill(10, 'auto'), ground('shinkansen'));
  assert.equal(rectFill(-4, 'auto'), ground('fuji'));
  assert.equal(firstFill(5, 'none'), R.TAPE_COLORS[1]);
  assert.equal(firstFill(5, 'bogus'), R.TAPE_COLORS[1]);
  assert.equal(firstFill(-2, undefined), R.TAPE_COLORS[0]);
});
