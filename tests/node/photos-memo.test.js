'use strict';
// Memo text cleaning and the numbers of the memo card layout.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

const { TY } = loadScripts(['i18n', 'photos'], {});
const clean = TY.photos._cleanMemoText;
const layout = (text) => TY.photos.memoLayout(clean(text));
const lines = (n, prefix = 'line') => Array.from({ length: n }, (_, i) => `${prefix} ${i + 1}`).join('\n');

test('cleaning normalises line ends, drops control characters and trims', () => {
  const cases = [
    ['\uFEFFTitle\r\nBody\rEnd', 'Title\nBody\nEnd'],
    ['\uFEFF\uFEFFTwo marks', 'Two marks'],
    ['tab\tstays\u0000\u0007\u000B\u000C\u001B\u007F!', 'tab\tstays!'],
    ['\n\n  heading  \n body \n\n', 'heading  \n body'],
    [' \r\n\t\n ', ''],
    ['', ''],
  ];
  for (const [input, expected] of cases) assert.equal(clean(input), expected, JSON.stringify(input));
});

test('cleaning keeps 50 lines of at most 400 characters', () => {
  const eighty = clean(lines(80));
  assert.equal(eighty.split('\n').length, 50);
  assert.equal(eighty.split('\n')[49], 'line 50');
  const huge = clean('あ'.repeat(1000000));
  assert.equal(huge, 'あ'.repeat(400));
  assert.equal(clean('x'.repeat(500) + '\n' + 'y'.repeat(401)), 'x'.repeat(400) + '\n' + 'y'.repeat(400));
});

test('the body keeps its base size up to 19 lines and shrinks beyond', () => {
  const cases = [
    // [body lines, fit, leading, font size]
    [0, 1, 27, 32],
    [1, 1, 27, 32],
    [19, 1, 27, 32],
    [20, 520 / 540, 26.0, 30.8],
    [49, 520 / (49 * 27), 10.612, 12.58],
  ];
  for (const [n, fit, leading, size] of cases) {
    const l = layout('Heading\n' + lines(n));
    assert.equal(l.body.length, n);
    assert.ok(Math.abs(l.fit - fit) < 1e-9, `fit for ${n} lines`);
    assert.ok(Math.abs(l.leading - leading) < 0.01, `leading for ${n} lines: ${l.leading}`);
    assert.ok(Math.abs(l.fontSize - size) < 0.02, `size for ${n} lines: ${l.fontSize}`);
    assert.equal(l.fontSize.toFixed(1), size.toFixed(1));
  }
});

test('an 80-line memo gives the heading and 49 body lines on their baselines', () => {
  const l = layout(lines(80));
  assert.equal(l.heading, 'line 1');
  assert.equal(l.body.length, 49);
  assert.equal(l.baselines[0], 145);
  assert.ok(Math.abs(l.baselines[48] - (145 + 48 * l.leading)) < 1e-9);
  assert.ok(l.baselines[48] < 665);
});

test('ruled lines follow the body spacing, at least 6 px apart, inside the band', () => {
  const base = layout('H\nbody');
  assert.equal(base.rules[0], 125);
  assert.equal(base.rules[1], 152);
  assert.equal(base.rules.at(-1), 125 + 19 * 27, "the last rule lies above 665");
  assert.equal(base.ruleWidth, 2);

  const dense = layout('H\n' + lines(49));
  assert.ok(Math.abs(dense.rules[1] - dense.rules[0] - dense.leading) < 1e-9);
  assert.ok(dense.rules.every((y) => y < 665));
  assert.equal(dense.ruleWidth, 1);
  const twenty = layout('H\n' + lines(20));
  assert.ok(Math.abs(twenty.ruleWidth - 2 * 520 / 540) < 1e-9);

  const floor = TY.photos.memoLayout('H\n' + lines(200));
  assert.equal(floor.rules[1] - floor.rules[0], 6, 'never closer than 6 px');
  assert.equal(floor.ruleWidth, 1, 'never thinner than 1 px');
});

test('a one-line memo is all heading', () => {
  const l = layout('  Only a heading  ');
  assert.equal(l.heading, 'Only a heading');
  assert.equal(l.body.length, 0);
});

test('a memo import takes the first 100 files and counts the rest as overflow', async () => {
  const { TY: store } = loadScripts(['i18n', 'photos'], { File, TextDecoder });
  // Bytes that are not UTF-8 are refused before any card is drawn.
  const notUtf8 = Array.from({ length: 130 }, (_, i) => new File([new Uint8Array([0x82, 0xa0, 0xff])], `m${i}.txt`));
  const counts = await store.photos.addMemoFiles(notUtf8);
  assert.deepEqual({ ...counts }, { added: 0, skipped: 100, overflow: 30 });
  assert.equal(store.photos.items.length, 0);
});
