'use strict';
// Album scene state without a browser: the photos each moment needs, the
// 8-face cache, its keys and when the scene is rebuilt. Drawing goes to a
// recording stand-in canvas; the real drawing is checked in Chromium.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

const plain = (x) => JSON.parse(JSON.stringify(x));

/**
 * A 2D context that accepts every call; `onReset` hears a surface being
 * reused, `onDraw` the sources of the pictures drawn.
 */
function fakeContext(canvas, onReset, onDraw = () => {}) {
  const target = {
    canvas,
    reset: onReset,
    drawImage: (source) => onDraw(source),
    measureText: (text) => ({ width: String(text).length * 8 }),
    createLinearGradient: () => ({ addColorStop() {} }),
    createRadialGradient: () => ({ addColorStop() {} }),
  };
  return new Proxy(target, {
    get: (t, key) => (key in t ? t[key] : () => {}),
    set: (t, key, value) => { t[key] = value; return true; },
  });
}

function setup() {
  // Surfaces made or reused: one per face drawn, and those made for the
  // strips of a turning sheet, told apart by their narrow width once sized.
  let surfaces = 0;
  const made = [];
  const drawn = [];
  const document = {
    createElement: () => {
      surfaces++;
      let width = 300;
      const canvas = {
        height: 150,
        strip: false,
        get width() { return width; },
        widest: 0,
        set width(w) { width = w; canvas.widest = Math.max(canvas.widest, w); if (w > 1 && w < 100) canvas.strip = true; },
      };
      canvas.getContext = () => fakeContext(canvas, () => { surfaces++; }, (source) => drawn.push(source));
      made.push(canvas);
      return canvas;
    },
  };
  const render = {
    mulberry32: () => () => 0.5,
    usableBitmap: (b) => !!b && b.width > 0 && b.height > 0,
    photoInCell() {}, photoCellRect: (b, x, y, w, h) => ({ x, y, w, h }), paintTape() {}, tornTapePath() {},
    resolveFontFamily: () => 'sans-serif', drawCover() {}, fitText: (ctx, text) => text,
    copyLayer: (ctx, layer) => ctx.drawImage(layer, 0, 0), copyArea: (ctx, layer) => ctx.drawImage(layer, 0, 0), movedAreas: () => [],
  };
  class ImageData {
    constructor(width, height) { Object.assign(this, { width, height, data: new Uint8ClampedArray(4 * width * height) }); }
  }
  const { TY } = loadScripts(['album'], { document, ImageData, TY: { render } });
  const strips = () => made.filter((c) => c.strip).length;
  return { A: TY.album, surfaces: () => surfaces, strips, made, drawn };
}

/** A landscape record of n photos, 2 per page (4 per spread). */
function record(n, extra = {}) {
  const drawList = [];
  for (let i = 0; i < n; i++) drawList.push({ photoIndex: i });
  return { w: 1920, h: 1080, motion: 'album', speed: 1, drawList, bitmaps: [], albumCfg: {}, ...extra };
}

function timingOf(A, data) {
  return A.timing(data.drawList.length, data.speed, { albumCfg: data.albumCfg, w: data.w, h: data.h, drawList: data.drawList, albumPhotos: data.albumPhotos });
}

test('photoIndicesAt covers the current spread, its neighbours and the cover photo', () => {
  const { A } = setup();
  const data = record(20); // spreads: [0-3] [4-7] [8-11] [12-15] [16-19]
  const tm = timingOf(A, data);
  const at = (i, extra = 0) => tm.coverOpenDur + i * (tm.pageHold + tm.turnDur) + extra;
  const cases = [
    ['cover', 0, 1, [0, 1, 2, 3, 4, 5, 6, 7]],
    ['spread 2, radius 1', at(2, 1), 1, [4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15]],
    ['spread 2, radius 0', at(2, 1), 0, [8, 9, 10, 11]],
    ['turn 2 → 3, radius 0', at(2, tm.pageHold + 0.5), 0, [8, 9, 10, 11, 12, 13, 14, 15]],
    ['turn 3 → 4, radius 1', at(3, tm.pageHold + 0.5), 1, [8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19]],
    ['close', tm.total - 0.1, 0, [16, 17, 18, 19]],
  ];
  for (const [name, t, radius, expected] of cases) assert.deepEqual(plain(A.photoIndicesAt(data, t, tm, radius)), expected, name);

  const starred = record(20, { albumCfg: { starMode: 'coverStar1' } });
  starred.drawList.push({ photoIndex: 17, featured: true });
  assert.deepEqual(plain(A.photoIndicesAt(starred, 0, timingOf(A, starred), 0)), [0, 1, 2, 3, 17]);
});

test('feature pages come first and their photos leave the normal pages', () => {
  const { A } = setup();
  const data = record(10, { albumCfg: { starMode: 'featurePages' } });
  for (const s of [2, 1, 0]) data.drawList.push({ photoIndex: s, featured: true }); // ☆1 = 0
  const cfg = A.cfgOf(data.albumCfg);
  const spreads = A.ensureScene(data, cfg, A.geometry(1920, 1080));
  assert.deepEqual(plain(spreads.map((s) => s.pages.map((p) => [p.pageNum, p.feature, p.list]))), [
    [[1, true, [0]], [2, true, [1]]],
    [[3, true, [2]], [4, true, []]],
    [[5, false, [3, 4]], [6, false, [5, 6]]],
    [[7, false, [7, 8]], [8, false, [9]]],
  ]);
  assert.equal(timingOf(A, data).spreads, spreads.length, 'the timeline counts the spreads the scene builds');
  assert.equal(JSON.stringify(data).includes('faces'), false, 'scene state never travels with the record');
});

test('the face cache holds at most 8 faces and evicts the least recently used', () => {
  const { A, surfaces } = setup();
  const data = record(40);
  const cfg = A.cfgOf({});
  const geom = A.geometry(1920, 1080);
  A.ensureScene(data, cfg, geom);
  const faces = [];
  for (let i = 0; i < 8; i++) faces.push(A.getFace(data, cfg, geom, i, 'L'));
  const drawn = surfaces();
  assert.equal(A.getFace(data, cfg, geom, 0, 'L'), faces[0], 'a hit returns the same face');
  assert.equal(surfaces(), drawn, 'a hit draws nothing');
  const ninth = A.getFace(data, cfg, geom, 8, 'L'); // evicts 1:L, not the re-read 0:L
  assert.equal(A.getFace(data, cfg, geom, 0, 'L'), faces[0]);
  const before = surfaces();
  const redrawn = A.getFace(data, cfg, geom, 1, 'L');
  assert.equal(surfaces(), before + 1, '1:L was evicted and redrawn');
  assert.ok(![ninth, faces[0], ...faces.slice(2)].includes(redrawn), 'an evicted face\'s surface is reused, never a cached one');
  for (let i = 0; i < 30; i++) A.getFace(data, cfg, geom, i % 10, ['L', 'R', 'LM', 'COVER'][i % 4]);
  let cached = 0;
  for (let i = 0; i < 10; i++) {
    for (const name of ['L', 'R', 'LM', 'COVER', 'P', 'EM']) {
      const before = surfaces();
      const face = A.getFace(data, cfg, geom, i, name);
      if (surfaces() === before && face.width > 0) cached++;
    }
  }
  assert.ok(cached <= 8, `at most 8 faces are kept (${cached} hits)`);
  assert.equal(A.getFace(data, cfg, geom, 99, 'P'), A.getFace(data, cfg, geom, 9, 'P'), 'spread indices are clamped');
});

test('still frames draw the next turn\'s faces one a frame and cut its sheet, so turns and the opening draw none', () => {
  for (const [w, h] of [[1920, 1080], [1080, 1920]]) {
    const { A, surfaces, strips } = setup();
    const data = record(20, { w, h });
    const tm = timingOf(A, data);
    const canvas = { width: w, height: h };
    // Surfaces drawn by a frame, other than the strips of a sheet cut ahead.
    const frame = (t) => {
      const before = surfaces() - strips();
      A.drawScene(fakeContext(canvas), data, t, tm);
      return surfaces() - strips() - before;
    };
    const moving = (t) => {
      const before = surfaces();
      A.drawScene(fakeContext(canvas), data, t, tm);
      return surfaces() - before;
    };
    const cycle = tm.pageHold + tm.turnDur;
    frame(0); // the closed cover and the desk shadow
    const opening = [0.1, 0.2, 0.3].map((f) => frame(f * tm.coverOpenDur));
    const opened = [0.5, 0.8, 0.99].map((f) => moving(f * tm.coverOpenDur));
    frame(tm.coverOpenDur + cycle + 0.1); // spread 1 on show
    const still = [0.3, 0.5, 0.7, 0.9].map((f) => frame(tm.coverOpenDur + cycle + f * tm.pageHold));
    const turning = [0.1, 0.5, 0.9].map((f) => moving(tm.coverOpenDur + cycle + tm.pageHold + f * tm.turnDur));
    const label = `${w}x${h}`;
    // Two surfaces at most: an empty mirrored page is drawn, then turned over.
    assert.ok([...opening, ...still].every((n) => n <= 2), `${label}: at most one face a still frame (${opening} ${still})`);
    assert.deepEqual(opened, [0, 0, 0], `${label}: the opening cover finds its pages and its strips ready`);
    assert.deepEqual(turning, [0, 0, 0], `${label}: the turn finds its faces and its strips ready`);
    assert.ok(data.__albumScene.faces.size <= A.FACE_CACHE_MAX);
  }
});

test('stills: two canvas-sized layers at most, reused, let go at the closing and by dropScene', () => {
  const { A, made } = setup();
  const data = record(20);
  const tm = timingOf(A, data);
  const canvas = { width: 1920, height: 1080 };
  const backdrop = { canvas: { width: 1920, height: 1080 }, version: 1 };
  const stills = () => made.filter((c) => c.width === 1920 && c.height === 1080);
  const draw = (t, drop = backdrop) => A.drawScene(fakeContext(canvas), data, t, tm, drop);
  let most = 0;
  for (let t = 0; t < tm.total - tm.closeDur; t += 1 / 20) {
    draw(t);
    most = Math.max(most, stills().length);
  }
  assert.equal(most, 2, 'the still on show and the next one');
  assert.equal(made.filter((c) => c.widest === 1920).length, 2, 'an evicted still\'s surface takes the next one');
  draw(tm.total - tm.closeDur / 2);
  assert.equal(stills().length, 0, 'the closing lets go of them');
  draw(tm.coverOpenDur + 0.1);
  assert.equal(stills().length, 1);
  draw(tm.coverOpenDur + 0.2, { ...backdrop, version: 2 });
  assert.equal(stills().length, 1, 'a new backdrop replaces them');
  A.dropScene(data);
  assert.equal(stills().length, 0, 'dropScene lets go of them');
});

test('a still is composed again when a ledger comment on its pages changes', () => {
  const { A, drawn } = setup();
  const data = record(12, { albumCfg: { mat: 'ledger' }, comments: ['a', 'b', 'c', 'd', 'e', 'f', 'g'] });
  const tm = timingOf(A, data);
  const backdrop = { canvas: { width: 1920, height: 1080 }, version: 1 };
  const composed = (t) => {
    const before = drawn.filter((source) => source === backdrop.canvas).length;
    A.drawScene(fakeContext({ width: 1920, height: 1080 }), data, t, tm, backdrop);
    return drawn.filter((source) => source === backdrop.canvas).length - before;
  };
  const spread1 = tm.coverOpenDur + tm.pageHold + tm.turnDur + 0.5;
  // Long enough for everything the next turn needs to be drawn ahead.
  for (let k = 0; k < 20; k++) composed(spread1 + k / 60);
  assert.equal(composed(spread1 + 0.5), 0, 'the still is copied, not composed');
  data.comments[10] = 'changed'; // on spread 1's right page (photos 9, 10, 11)
  assert.equal(composed(spread1 + 0.6), 1);
});

test('ledger comments key their faces; settings rebuild the scene', () => {
  const { A } = setup();
  const data = record(12, { albumCfg: { mat: 'ledger' }, comments: ['a', 'b', 'c', 'd', 'e', 'f', 'g'] });
  const cfg = A.cfgOf(data.albumCfg);
  const geom = A.geometry(1920, 1080);
  A.ensureScene(data, cfg, geom);
  const left = A.getFace(data, cfg, geom, 1, 'L');
  const right = A.getFace(data, cfg, geom, 1, 'R');
  data.comments[10] = 'changed'; // on spread 1's right page (photos 9, 10, 11)
  A.ensureScene(data, cfg, geom);
  assert.equal(A.getFace(data, cfg, geom, 1, 'L'), left, 'the face without the comment is kept');
  assert.notEqual(A.getFace(data, cfg, geom, 1, 'R'), right, 'the face showing the comment is redrawn');

  const changes = [
    ['tape pattern', (d) => { d.albumCfg = { mat: 'ledger', tapePattern: 'dots' }; }],
    ['filter', (d) => { d.filter = 'mono'; }],
    ['captions', (d) => { d.captions = ['x']; d.captionCfg = { font: 'gothic', size: 'm' }; }],
    ['print flags', (d) => { d.printMode = true; }],
    ['a picture of the page arriving', (d) => { d.bitmaps = [...d.bitmaps]; d.bitmaps[6] = { width: 4, height: 3 }; }],
  ];
  for (const [name, change] of changes) {
    const before = A.getFace(data, A.cfgOf(data.albumCfg), geom, 1, 'L');
    change(data);
    A.ensureScene(data, A.cfgOf(data.albumCfg), geom);
    assert.notEqual(A.getFace(data, A.cfgOf(data.albumCfg), geom, 1, 'L'), before, name);
  }
});

test('pictures arriving redraw only the faces that show them, and the stills made of those', () => {
  const { A, drawn } = setup();
  const picture = () => ({ width: 4, height: 3 });
  const data = record(20, { bitmaps: Array.from({ length: 8 }, picture) });
  const tm = timingOf(A, data);
  const cfg = A.cfgOf({});
  const geom = A.geometry(1920, 1080);
  A.ensureScene(data, cfg, geom);
  const spread1 = [A.getFace(data, cfg, geom, 1, 'L'), A.getFace(data, cfg, geom, 1, 'R')];
  const spread2Left = A.getFace(data, cfg, geom, 2, 'L');
  // Playback hands over a new list at every turn, holding the pictures already decoded.
  data.bitmaps = [...data.bitmaps];
  assert.deepEqual([A.getFace(data, cfg, geom, 1, 'L'), A.getFace(data, cfg, geom, 1, 'R')], spread1, 'the same pictures keep their faces');
  data.bitmaps[8] = picture(); // on spread 2's left page (photos 8 and 9)
  assert.notEqual(A.getFace(data, cfg, geom, 2, 'L'), spread2Left, 'a face whose picture arrived is drawn again');
  data.bitmaps[4] = picture(); // on spread 1's left page, in place of the one decoded before
  assert.notEqual(A.getFace(data, cfg, geom, 1, 'L'), spread1[0], 'a face whose picture changed is drawn again');
  assert.equal(A.getFace(data, cfg, geom, 1, 'R'), spread1[1]);

  const backdrop = { canvas: { width: 1920, height: 1080 }, version: 1 };
  const composed = (t) => {
    const before = drawn.filter((source) => source === backdrop.canvas).length;
    A.drawScene(fakeContext({ width: 1920, height: 1080 }), data, t, tm, backdrop);
    return drawn.filter((source) => source === backdrop.canvas).length - before;
  };
  const closed = tm.coverOpenDur * 0.1;
  composed(closed);
  data.bitmaps = [...data.bitmaps];
  assert.equal(composed(closed + 0.01), 0, 'the closed book\'s still is kept');
  const starred = record(20, { bitmaps: data.bitmaps, albumCfg: { starMode: 'coverStar1' } });
  starred.drawList[3].featured = true;
  const starTm = timingOf(A, starred);
  const composedStarred = (t) => {
    const before = drawn.filter((source) => source === backdrop.canvas).length;
    A.drawScene(fakeContext({ width: 1920, height: 1080 }), starred, t, starTm, backdrop);
    return drawn.filter((source) => source === backdrop.canvas).length - before;
  };
  composedStarred(closed);
  starred.bitmaps = [...starred.bitmaps];
  starred.bitmaps[3] = picture();
  assert.equal(composedStarred(closed + 0.01), 1, 'the closed book is composed again when its cover photo arrives');
});

test('ledger comments wrap onto at most five lines', () => {
  const { A } = setup();
  const ctx = fakeContext({});
  const cases = [
    ['two short lines', 'one\ntwo', ['one', 'two']],
    ['seven short lines', '1\n2\n3\n4\n5\n6\n7', ['1', '2', '3', '4', '5…']],
    ['wrapped by width', 'abcdefghij', ['abcd', 'efgh', 'ij']],
    ['too long to wrap', 'x'.repeat(30), ['xxxx', 'xxxx', 'xxxx', 'xxxx', 'xxx…']],
  ];
  for (const [name, text, lines] of cases) assert.deepEqual(plain(A.wrapComment(ctx, text, 35)), lines, name);
});

test('print pages: cover only when it carries something, one sheet per page', async () => {
  const { A } = setup();
  assert.equal(A.printCellSide({}, 2480, 3508), 918);
  const cases = [
    ['9 photos with a title', record(9, { title: 'Trip' }), 4],
    ['9 photos, no title, no cover star', record(9), 3],
    ['cover star without title', record(9, { albumCfg: { starMode: 'coverStar1' }, drawList: [...record(9).drawList, { photoIndex: 2, featured: true }] }), 4],
    ['empty album with a title', record(0, { title: 'Empty' }), 2],
    ['two feature pages first', record(9, { albumCfg: { starMode: 'featurePages' }, drawList: [...record(9).drawList, { photoIndex: 1, featured: true }, { photoIndex: 0, featured: true }] }), 2 + 2],
  ];
  for (const [name, data, sheets] of cases) {
    const handed = [];
    const count = await A.renderPrintPages(data, 2480, 3508, async (canvas, index) => { handed.push([index, canvas.width, canvas.height]); });
    assert.equal(count, sheets, name);
    assert.deepEqual(plain(handed.map((h) => h[0])), [...Array(sheets).keys()], name);
    assert.ok(handed.every(([, w, h]) => w === 2480 && h === 3508), name);
  }
  const screen = record(9);
  const cfg = A.cfgOf({});
  const geom = A.geometry(1920, 1080);
  A.ensureScene(screen, cfg, geom);
  const face = A.getFace(screen, cfg, geom, 0, 'L');
  const sheets = await A.renderPrintPages(screen, 2480, 3508);
  assert.equal(sheets.length, 3);
  assert.equal(A.getFace(screen, cfg, geom, 0, 'L'), face, 'the screen faces survive printing');
});
