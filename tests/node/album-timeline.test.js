'use strict';
// Album settings, geometry, pagination and the scene timeline: pure
// functions, checked against worked figures.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

const { TY } = loadScripts(['album']);
const A = TY.album;

// Results come from another realm: compare them as plain JSON values.
const plain = (x) => JSON.parse(JSON.stringify(x));
const near = (actual, expected, eps = 0.05) =>
  assert.ok(Math.abs(actual - expected) <= eps, `${actual} is not within ${eps} of ${expected}`);

/** Draw list of photos 0 … n-1 with the given stars (☆1 first) at the end. */
function pile(n, stars = []) {
  const list = [];
  for (let i = 0; i < n; i++) if (!stars.includes(i)) list.push({ photoIndex: i });
  for (const s of [...stars].reverse()) list.push({ photoIndex: s, featured: true });
  return list;
}

test('settings are normalised to their defaults', () => {
  const cases = [
    [undefined, A.DEFAULT_CFG],
    [{ photosPerPage: '6' }, { ...A.DEFAULT_CFG, photosPerPage: 6 }],
    [{ photosPerPage: 5 }, A.DEFAULT_CFG],
    [{ photosPerPage: 'abc' }, A.DEFAULT_CFG],
    [{ photosPerPage: 0 }, A.DEFAULT_CFG],
    [{ photosPerPage: 9, mat: 'ledger', cover: 'gold', mount: 'tape', tapePattern: 'sakura' },
      { ...A.DEFAULT_CFG, photosPerPage: 9, mat: 'ledger', mount: 'tape', tapePattern: 'sakura' }],
    [{ starMode: 'both', lastAction: 'repeat', fitMode: 'stretch' }, { ...A.DEFAULT_CFG, starMode: 'both', lastAction: 'repeat' }],
    ['nonsense', A.DEFAULT_CFG],
  ];
  for (const [raw, expected] of cases) assert.deepEqual({ ...A.cfgOf(raw) }, { ...expected }, JSON.stringify(raw));
});

test('page geometry for landscape, portrait, narrow and square canvases', () => {
  const cases = [
    [1920, 1080, false, 775.0, 993.6],
    [1080, 1920, true, 1015.2, 1522.8],
    [1024, 768, false, 491.5, 630.2],
    [1080, 1080, false, 518.4, 664.6],
  ];
  for (const [W, H, portrait, pageW, pageH] of cases) {
    const g = A.geometry(W, H);
    assert.equal(g.portrait, portrait);
    near(g.pageW, pageW);
    near(g.pageH, pageH);
  }
  const banded = A.geometry(1920, 1080, 0, 0.95 * 1080);
  assert.equal(banded.cy, 513);
  near(banded.pageH, 993.6);
  assert.equal(A.geometry(1920, 1080, 500, 400).cy, 540, 'an inverted band is ignored');
});

test('photos per page follow the setting, auto and the ledger mat', () => {
  const land = A.geometry(1920, 1080);
  const port = A.geometry(1080, 1920);
  assert.equal(A.photosOnPage(A.cfgOf({}), land), 2);
  assert.equal(A.photosOnPage(A.cfgOf({}), port), 4);
  assert.equal(A.photosOnPage(A.cfgOf({ photosPerPage: 6 }), land), 6);
  assert.equal(A.photosOnPage(A.cfgOf({ photosPerPage: 9, mat: 'ledger' }), land), 3);
});

test('cells of a page: sizes, captions and ledger rows', () => {
  const land = A.geometry(1920, 1080);
  const cells = A.cellRects(A.cfgOf({}), land, false, false);
  assert.equal(cells.length, 2);
  near(cells[0].side, 396.05, 0.1);
  const captioned = A.cellRects(A.cfgOf({}), land, false, true);
  near(captioned[0].side, (993.6 - 155 - 46.5) / 2.3, 0.1);
  assert.equal(A.cellRects(A.cfgOf({ photosPerPage: 9 }), land, true, false).length, 1, 'a feature page has one cell');
  const ledger = A.cellRects(A.cfgOf({ mat: 'ledger' }), land, false, false);
  assert.equal(ledger.length, 3);
  near(ledger[0].side, 0.55 * land.pageW);
  const rows = A.ledgerLayout(land);
  const m = 0.06 * land.pageW;
  near(rows[2].photo.y + rows[2].photo.h, land.pageH - m, 1e-6);
  near(rows[0].box.x + rows[0].box.w, land.pageW - m, 1e-6);
  assert.equal(A.previewCellSide({}, 1920, 1080), 397);
  assert.equal(A.previewCellSide({ mat: 'ledger' }, 1920, 1080), Math.ceil(0.55 * land.pageW));
});

test('stars, pagination and feature spreads', () => {
  assert.deepEqual(plain(A.starList(pile(10, [4, 7, 2]))), [4, 7, 2]);
  const many = pile(10, [0, 1, 2, 3, 4, 5]);
  assert.deepEqual(plain(A.starList(many)), [0, 1, 2, 3, 4], 'at most five');
  assert.deepEqual(plain(A.starList([{ photoIndex: 3, featured: true }, { photoIndex: 3, featured: true }])), [3]);
  const lists = (spreads) => plain(spreads.map((s) => s.pages.map((p) => p.list)));
  assert.deepEqual(lists(A.paginate([0, 1, 2, 3, 4], 2, false)), [[[0, 1], [2, 3]], [[4], []]]);
  assert.deepEqual(lists(A.paginate([0, 1, 2], 2, true)), [[[0, 1]], [[2]]]);
  assert.deepEqual(lists(A.paginate([], 2, false)), [[[], []]]);
  assert.deepEqual(lists(A.paginate([], 4, true)), [[[]]]);
  assert.deepEqual(lists(A.featureSpreads([5, 6, 7], false)), [[[5], [6]], [[7], []]]);
  assert.deepEqual(lists(A.featureSpreads([5, 6], true)), [[[5]], [[6]]]);
  assert.ok(A.featureSpreads([5], false)[0].pages.every((p) => p.feature));
  assert.deepEqual(plain(A.albumPhotoIndices({ albumPhotos: [3, 1, 'x', 1.5, 3, -1, 0] })), [0, 1, 3]);
  assert.deepEqual(plain(A.albumPhotoIndices({ drawList: [{ photoIndex: 2 }, { photoIndex: 0 }, { photoIndex: 2 }] })), [0, 2]);
});

test('album timeline: spreads and totals', () => {
  const base = { w: 1920, h: 1080, drawList: pile(10) };
  const cases = [
    ['defaults', 1, {}, 3, 22.5],
    ['repeat', 1, { albumCfg: { lastAction: 'repeat' } }, 3, 21.1],
    ['tempo 2', 2, {}, 3, 11.25],
    ['word slow', 'slow', {}, 3, 45],
    ['portrait', 1, { w: 1080, h: 1920 }, 3, 22.5],
    ['feature pages', 1, { drawList: pile(10, [0, 1, 2]), albumCfg: { starMode: 'featurePages' } }, 4, 28],
    ['star outside albumPhotos', 1, { drawList: pile(10, [0]), albumPhotos: [1, 2, 3, 4, 5], albumCfg: { starMode: 'both' } }, 2, 17],
    ['no photos', 1, { drawList: [], albumPhotos: [] }, 1, 11.5],
    ['size absent', 1, { w: undefined, h: undefined }, 3, 22.5],
    ['ledger', 1, { albumCfg: { mat: 'ledger' } }, 2, 17],
  ];
  for (const [name, speed, extra, spreads, total] of cases) {
    const tm = A.timing(10, speed, { ...base, ...extra });
    assert.equal(tm.spreads, spreads, name);
    near(tm.total, total, 1e-9);
    assert.equal(tm.stagger + tm.fallDur + tm.titleDur + tm.spotDur, 0, name);
    assert.equal(tm.hold, tm.lastHold, name);
  }
});

test('scene lookup across cover, spreads, turns and close', () => {
  const tm = A.timing(10, 1, { w: 1920, h: 1080, drawList: pile(10) });
  const mid = (t) => A.sceneAt(t, tm);
  const cases = [
    [0, 'cover', 0, 0],
    [0.8, 'cover', 0, 0.5],
    [1.6, 'spread', 0, 0],
    [1.6 + 4.5 + 0.5, 'turn', 0, 0.5],
    [1.6 + 5.5 + 2.25, 'spread', 1, 0.5],
    [1.6 + 11 + 5, 'spread', 2, 1],
    [22.5 - 0.7, 'close', 2, 0.5],
    [30, 'close', 2, 1],
  ];
  for (const [t, phase, idx, prog] of cases) {
    const s = mid(t);
    assert.equal(s.phase, phase, `t=${t}`);
    assert.equal(s.idx, idx, `t=${t}`);
    near(s.prog, prog, 1e-9);
  }
  const rest = A.timing(10, 1, { w: 1920, h: 1080, drawList: pile(10), albumCfg: { lastAction: 'repeat' } });
  assert.equal(A.sceneAt(rest.total + 5, rest).phase, 'spread', 'without a close the last spread stays');
  const shown = (i) => tm.coverOpenDur + i * (tm.pageHold + tm.turnDur) + tm.pageHold / 2;
  assert.deepEqual(plain([0, 1, 2].map((i) => A.sceneAt(shown(i), tm).idx)), [0, 1, 2]);
});

test('turn easing starts slowly and lands settled', () => {
  const cases = [[0, 0], [0.25, 0.125], [0.5, 0.5], [0.75, 0.875], [1, 1]];
  for (const [p, e] of cases) near(A.easeTurn(p), e, 1e-12);
});
