'use strict';
// The live hand-over's pure rules: how far pictures are enlarged for the
// screen, which photos go, what the hand-over data holds, and the wallpaper
// button's table.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

const { TY } = loadScripts(['i18n', 'app'], { URLSearchParams });
const rules = TY.ui.rules;
const plain = (value) => JSON.parse(JSON.stringify(value));

test('pictures grow with the cover scale of the screen, rounded up; unknown or equal screens leave them', () => {
  const creation = { w: 1920, h: 1080 };
  const k = rules.liveCoverScale({ w: 2560, h: 1600 }, creation);
  assert.equal(k.toFixed(4), '1.4815');
  const cases = [
    [{ w: 2560, h: 1600 }, [[0, 300], [4, 1081]], [[0, 445], [4, 1602]]],
    [{ w: 3840, h: 2160 }, [[0, 300]], [[0, 600]]],  // exactly 2: no float pixel added
    [{ w: 1920, h: 1080 }, [[0, 301]], [[0, 301]]],
    [null, [[0, 301]], [[0, 301]]],
    [{ w: 0, h: 1080 }, [[0, 301]], [[0, 301]]],
    [{ w: 1080, h: 1920 }, [[0, 300]], [[0, 534]]],  // portrait screen: the height ratio wins
  ];
  for (const [screen, sides, want] of cases) {
    const scale = rules.liveCoverScale(screen, creation);
    assert.deepEqual(plain([...rules.liveScreenSides(new Map(sides), scale)]), want, JSON.stringify(screen));
  }
});

test('the photos sent are those of the draw list and every variant, once each', () => {
  const p = (i) => ({ photoIndex: i });
  assert.deepEqual(plain(rules.livePhotoIndexes([p(3), p(1), p(3)], null)), [1, 3]);
  assert.deepEqual(plain(rules.livePhotoIndexes([p(3), p(1)], [[p(3), p(1)], [p(7), p(0), null, { photoIndex: -1 }], []])),
    [0, 1, 3, 7]);
});

test('hand-over data: the page keeps its pictures and items; URLs, rest, wind and variants are added', () => {
  const data = { w: 1920, h: 1080, motion: 'drop', drawList: [{ photoIndex: 0 }], bitmaps: [{}], baseCanvas: {},
    sourceItems: [{}], captions: ['a'] };
  const photoUrls = { 0: 'tessary-live://live/0' };
  const same = rules.liveHandoverData(data, { photoUrls, wind: 'gust', variants: null });
  assert.deepEqual(plain(same), { w: 1920, h: 1080, motion: 'drop', drawList: [{ photoIndex: 0 }], captions: ['a'],
    photoUrls, holdSec: 30, wind: 'gust' });
  assert.ok('bitmaps' in data, 'the result itself is left as it is');

  const variants = [[{ photoIndex: 0 }], [{ photoIndex: 0 }]];
  const remade = rules.liveHandoverData(data, { photoUrls, wind: 'storm', variants, creation: { id: 'c1', name: 'Trip' } });
  assert.equal(remade.wind, 'none');
  assert.deepEqual(plain([remade.regenerate, remade.variants, remade.albumId, remade.albumName]), [true, variants, 'c1', 'Trip']);
  assert.equal(rules.liveHandoverData({ ...data, motion: 'album' }, { photoUrls, wind: 'breeze' }).wind, 'none');
});

test('the wallpaper button follows its table', () => {
  const at = (live, state, transferring = false, busy = false, hasResult = true, album = false) =>
    plain(rules.wallpaperButton({ live, state, transferring, busy, hasResult, album }));
  const cases = [
    // live, state, transferring, busy, result, album → label, disabled, pressed, check disabled, options disabled
    [[false, 'stopped'], ['set', false, false, false, false]],
    [[false, 'stopped', false, true], ['set', true, false, true, false]],
    [[false, 'stopped', false, false, false], ['set', true, false, false, false]],
    [[false, 'running'], ['set', false, false, true, true]],
    [[false, 'running', false, false, true, true], ['set', true, false, true, true]],
    [[true, 'stopped'], ['set', false, false, false, false]],
    [[true, 'stopped', false, true], ['set', true, false, true, false]],
    [[true, 'stopped', true], ['starting', true, false, true, true]],
    [[true, 'starting'], ['starting', true, true, true, true]],
    [[true, 'running'], ['on', true, true, true, true]],
    [[true, 'paused', false, false, false], ['on', true, true, true, true]],
  ];
  for (const [args, want] of cases) {
    const b = at(...args);
    assert.deepEqual([b.label, b.disabled, b.pressed, b.liveCheckDisabled, b.liveOptionsDisabled], want, JSON.stringify(args));
  }
});
