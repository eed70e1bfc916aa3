'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts, seededRandom } = require('../lib/vm-load.js');

/** A fresh layout module whose Math.random is seeded. */
function layoutWithSeed(seed = 1) {
  const math = Object.create(Math);
  math.random = seededRandom(seed);
  return loadScripts(['layout'], { Math: math }).TY.layout;
}

const L = layoutWithSeed();
/** Values from the vm context, as plain objects of this realm. */
const plain = (v) => JSON.parse(JSON.stringify(v));
const DEG = Math.PI / 180;

/** Corners of a placement's paper at its rotation (clockwise positive). */
function corners(p) {
  const c = Math.cos(p.rot);
  const s = Math.sin(p.rot);
  return [[-1, -1], [1, -1], [1, 1], [-1, 1]].map(([u, v]) => {
    const dx = (u * p.outerW) / 2;
    const dy = (v * p.outerH) / 2;
    return { x: p.x + dx * c - dy * s, y: p.y + dx * s + dy * c };
  });
}

function whollyInside(p, W, H) {
  return corners(p).every((k) => k.x >= -1e-9 && k.y >= -1e-9 && k.x <= W + 1e-9 && k.y <= H + 1e-9);
}

function assertRotationsInRange(list) {
  for (const p of list) {
    const mag = Math.abs(p.rot);
    assert.ok(mag >= 8 * DEG && mag < 30 * DEG, `rotation ${p.rot / DEG}°`);
  }
}

test('constants follow the print proportions', () => {
  assert.deepEqual(plain(L.FRAME), { side: 0.07, top: 0.07, bottom: 0.2 });
  assert.ok(Math.abs(L.OUTER_W_RATIO - 1.14) < 1e-12);
  assert.ok(Math.abs(L.OUTER_H_RATIO - 1.27) < 1e-12);
});

test('grid figures', async (t) => {
  const cases = [
    // W, H, scale, density, cols, rows, outerW
    [1920, 1080, 'l', undefined, 7, 4, 425.142857],
    [1920, 1080, 'xxl', undefined, 5, 3, 595.2],
    [1920, 1080, 's', 1, 23, 13, 129.391304],
    [1920, 1080, 'unknown', 0, 7, 4, 425.142857],
    [1920, 1080, 'toString', undefined, 7, 4, 425.142857],
    [1920, 1080, 'l', -3, 7, 4, 425.142857],
    [100, 100, 'xxl', 0.5, 2, 2, 38.75],
  ];
  for (const [W, H, scale, density, cols, rows, outerW] of cases) {
    await t.test(`${W}x${H} ${scale} d=${density}`, () => {
      const g = L.grid(W, H, scale, density);
      assert.equal(g.cols, cols);
      assert.equal(g.rows, rows);
      assert.ok(Math.abs(g.cellW - W / cols) < 1e-9 && Math.abs(g.cellH - H / rows) < 1e-9);
      assert.ok(Math.abs(g.outerW - outerW) < 1e-4, `outerW ${g.outerW}`);
    });
  }
  await t.test('degenerate canvases give a small finite grid', () => {
    for (const [W, H] of [[0, 0], [NaN, 1080], [-5, 10], [Infinity, 100]]) {
      const g = L.grid(W, H, 'l');
      assert.ok(g.cols >= 2 && g.rows >= 2 && Number.isFinite(g.outerW), JSON.stringify(g));
    }
    const thin = L.grid(1e7, 1, 's', 1.8);
    assert.ok(thin.cols <= 256 && thin.outerW >= thin.cellW * 1.55);
  });
});

test('buildAssignment', async (t) => {
  const noRepeatInARow = (seq) => seq.every((v, i) => i === 0 || v !== seq[i - 1]);
  await t.test('one photo fills every tile', () => {
    assert.deepEqual(plain(L.buildAssignment(1, 6)), [0, 0, 0, 0, 0, 0]);
  });
  await t.test('never the same photo twice in a row, across block seams too', () => {
    for (const [photos, tiles] of [[2, 9], [3, 40], [5, 54], [7, 375]]) {
      for (let seed = 1; seed <= 20; seed++) {
        const seq = layoutWithSeed(seed).buildAssignment(photos, tiles);
        assert.equal(seq.length, tiles);
        assert.ok(noRepeatInARow(seq), `${photos}/${tiles} seed ${seed}: ${seq}`);
        for (let b = 0; b + photos <= tiles; b += photos) {
          assert.deepEqual(plain(seq.slice(b, b + photos).sort((a, c) => a - c)), [...Array(photos).keys()]);
        }
      }
    }
  });
  await t.test('more photos than tiles: a distinct subset', () => {
    const seq = L.buildAssignment(100, 54);
    assert.equal(new Set(seq).size, 54);
    assert.ok(seq.every((i) => i >= 0 && i < 100));
  });
  await t.test('no photos or no tiles give an empty sequence', () => {
    for (const [p, n] of [[0, 5], [-1, 5], [NaN, 5], [3, 0]]) assert.deepEqual(plain(L.buildAssignment(p, n)), []);
  });
});

test('generate: the covering layout', async (t) => {
  await t.test('1920 x 1080 size l: 9 x 6 tiles with a ring outside the canvas', () => {
    const list = L.generate(1920, 1080, 5, 'l');
    assert.equal(list.length, 54);
    const g = L.grid(1920, 1080, 'l');
    for (const p of list) {
      const gx = Math.floor(p.x / g.cellW);
      const gy = Math.floor(p.y / g.cellH);
      assert.ok(gx >= -1 && gx <= g.cols && gy >= -1 && gy <= g.rows);
      assert.equal(p.outerW, g.outerW);
      assert.ok(Math.abs(p.outerH - (p.outerW / 1.14) * 1.27) < 1e-9);
      assert.ok(Number.isInteger(p.photoIndex) && p.photoIndex >= 0 && p.photoIndex < 5);
    }
    assertRotationsInRange(list);
    assert.ok(list.some((p) => p.x < 0) && list.some((p) => p.y > 1080), 'ring tiles present');
    const gridOrder = [...list].sort((a, b) => a.y - b.y || a.x - b.x);
    assert.notDeepEqual(plain(list), plain(gridOrder), 'stacking order is shuffled');
  });
  await t.test('tile counts', () => {
    assert.equal(L.generate(1920, 1080, 3, 's', 1).length, 375);
    assert.equal(L.generate(1920, 1080, 3, 'xxl').length, 35);
  });
  await t.test('photos >= tiles: every photo index distinct', () => {
    const list = L.generate(1920, 1080, 60, 'l');
    assert.equal(new Set(list.map((p) => p.photoIndex)).size, list.length);
  });
  await t.test('without photos nothing is laid', () => {
    assert.equal(L.generate(1920, 1080, 0, 'l').length, 0);
  });
  await t.test('every point of the canvas lies under some print', () => {
    // Rare without the gap repair: seeds 8, 9 and 12 opened gaps at 1920 x 1080 size s.
    for (let seed = 1; seed <= 12; seed++) {
      const layout = layoutWithSeed(seed);
      for (const [W, H, scale] of [[1920, 1080, 's'], [1080, 2400, 'm'], [320, 100, 'l']]) {
        const gap = firstUncoveredPoint(layout.generate(W, H, 4, scale, 1), layout.grid(W, H, scale, 1), W, H);
        assert.equal(gap, null, `gap at ${gap} (${W}x${H} ${scale} seed ${seed})`);
      }
    }
  });
});

/** Samples the canvas on a fine lattice; prints are bucketed by grid cell. */
function firstUncoveredPoint(list, g, W, H) {
  const buckets = new Map();
  const key = (gx, gy) => `${gx},${gy}`;
  for (const p of list) {
    const k = key(Math.floor(p.x / g.cellW), Math.floor(p.y / g.cellH));
    if (!buckets.has(k)) buckets.set(k, []);
    buckets.get(k).push(p);
  }
  const under = (p, x, y) => {
    const c = Math.cos(p.rot);
    const s = Math.sin(p.rot);
    const u = (x - p.x) * c + (y - p.y) * s;
    const v = -(x - p.x) * s + (y - p.y) * c;
    return Math.abs(u) <= p.outerW / 2 && Math.abs(v) <= p.outerH / 2;
  };
  const step = Math.max(2, Math.min(W, H) / 90);
  for (let y = 0.5; y < H; y += step) {
    for (let x = 0.5; x < W; x += step) {
      const gx = Math.floor(x / g.cellW);
      const gy = Math.floor(y / g.cellH);
      let covered = false;
      for (let dy = -2; dy <= 2 && !covered; dy++) {
        for (let dx = -2; dx <= 2 && !covered; dx++) {
          covered = (buckets.get(key(gx + dx, gy + dy)) || []).some((p) => under(p, x, y));
        }
      }
      if (!covered) return `${x},${y}`;
    }
  }
  return null;
}

test('scatter: the scattered layout', async (t) => {
  await t.test('count 0 gives an empty list', () => {
    assert.equal(L.scatter(1920, 1080, 0, 'l', true, 0).length, 0);
  });
  await t.test('one or two prints lie wholly inside for any density', () => {
    for (const count of [1, 2]) {
      for (const density of [-1, -0.5, 0, 0.5, 1]) {
        for (const scale of ['xxl', 'l', 's']) {
          for (let seed = 1; seed <= 8; seed++) {
            const list = layoutWithSeed(seed).scatter(1920, 1080, count, scale, true, density);
            assert.equal(list.length, count);
            for (const p of list) assert.ok(whollyInside(p, 1920, 1080), `${count} ${density} ${scale}`);
          }
        }
      }
    }
  });
  await t.test('eight or more with overflow reach a quarter print beyond the edges', () => {
    const list = L.scatter(1920, 1080, 40, 'l', true, 0);
    const outerW = list[0].outerW;
    assert.equal(list.length, 40);
    assert.ok(list.every((p) => p.photoIndex === -1));
    assert.ok(list.some((p) => !whollyInside(p, 1920, 1080)), 'edge prints are cut by the border');
    for (const p of list) {
      assert.ok(p.x >= -0.25 * outerW && p.x <= 1920 + 0.25 * outerW);
      assert.ok(p.y >= -0.25 * outerW && p.y <= 1080 + 0.25 * outerW);
    }
    assertRotationsInRange(list);
  });
  await t.test('without overflow every print stays inside', () => {
    const list = L.scatter(1920, 1080, 12, 'm', false, 0);
    assert.ok(list.every((p) => whollyInside(p, 1920, 1080)));
  });
  await t.test('one print per cell: centres never share a cell', () => {
    for (let seed = 1; seed <= 10; seed++) {
      const list = layoutWithSeed(seed).scatter(1000, 1000, 9, 's', false, 0);
      const margin = Math.min(Math.hypot(list[0].outerW, list[0].outerH) / 2, 499);
      const cell = (1000 - 2 * margin) / 3;
      const cells = new Set(list.map((p) => `${Math.floor((p.x - margin) / cell)},${Math.floor((p.y - margin) / cell)}`));
      assert.equal(cells.size, 9);
    }
  });
  await t.test('positive density heaps the prints towards the centre', () => {
    const spread = (d) => {
      const list = layoutWithSeed(3).scatter(1920, 1080, 30, 'm', true, d);
      return Math.max(...list.map((p) => Math.abs(p.x - 960)));
    };
    assert.ok(spread(1) < spread(0) && spread(0) < spread(-1));
  });
  await t.test('bad input never throws', () => {
    for (const args of [[0, 0, 3], [NaN, 100, 2], [1920, 1080, 5, 'l', true, 99], [1920, 1080, 'x']]) {
      const list = L.scatter(...args);
      assert.ok(Array.isArray(list));
      assert.ok(list.every((p) => [p.x, p.y, p.rot, p.outerW].every(Number.isFinite)));
    }
  });
});

test('placeFeatured: the starred layout', async (t) => {
  await t.test('clamps the width to what fits in the short side', () => {
    const list = L.placeFeatured(1920, 1080, 1, 'xxl', 10);
    assert.ok(Math.abs(list[0].outerW - 720.096) < 0.01, String(list[0].outerW));
  });
  await t.test('emphasize values', () => {
    const base = L.grid(1920, 1080, 'm').outerW;
    const cases = [[true, 1.1], [1.35, 1.35], [0, 1], [-2, 1], ['1.5', 1], [undefined, 1], [false, 1]];
    for (const [emphasize, factor] of cases) {
      const [p] = L.placeFeatured(1920, 1080, 1, 'm', emphasize);
      assert.ok(Math.abs(p.outerW - base * factor) < 1e-9, `${emphasize}`);
    }
  });
  await t.test('non-finite sizes give 1 px prints', () => {
    for (const [W, H] of [[Infinity, 1080], [NaN, NaN]]) {
      const list = L.placeFeatured(W, H, 2, 'l', 1);
      assert.equal(list.length, 2);
      assert.ok(list.every((p) => p.outerW === 1 && Number.isFinite(p.x)));
    }
  });
  await t.test('wholly inside the canvas at any rotation', () => {
    for (let seed = 1; seed <= 10; seed++) {
      const layout = layoutWithSeed(seed);
      for (const [W, H] of [[1920, 1080], [1080, 2400], [320, 240], [3840, 2160]]) {
        for (const [scale, emphasize] of [['xxl', 1.5], ['l', 1.35], ['s', true]]) {
          const list = layout.placeFeatured(W, H, 5, scale, emphasize);
          assert.equal(list.length, 5);
          assert.ok(list.every((p) => p.photoIndex === -1));
          for (const p of list) assert.ok(whollyInside(p, W, H), `${W}x${H} ${scale}`);
          assertRotationsInRange(list);
        }
      }
    }
  });
  await t.test('kept apart when there is room', () => {
    const list = L.placeFeatured(3840, 2160, 3, 's', 1.1);
    const halfDiag = Math.hypot(list[0].outerW, list[0].outerH) / 2;
    for (let i = 0; i < list.length; i++) {
      for (let j = i + 1; j < list.length; j++) {
        assert.ok(Math.hypot(list[i].x - list[j].x, list[i].y - list[j].y) >= 2 * halfDiag);
      }
    }
  });
});

test('pile assembly helpers', async (t) => {
  await t.test('featured count and emphasis factor', () => {
    assert.deepEqual(['l', 'm', 's', 'xxl', 'xl', 'bogus'].map(L.featuredCountFor), [2, 3, 5, 1, 1, 1]);
    const cases = [
      ['none', 1, 1], ['slight', 1, 1.1], ['slight', 4, 1.1], ['large', 1, 1.5],
      ['large', 2, 1.35], ['large', 3, 1.2], ['large', 5, 1.2], ['large', 0, 1], ['bogus', 2, 1],
    ];
    for (const [mode, count, factor] of cases) assert.equal(L.emphasisFactor(count, mode), factor, `${mode} ${count}`);
  });
  await t.test('density slider mapping', () => {
    const cases = [[0, 1, 0], [100, 1.8, 1], [-100, 0.5, -1], [50, 1.4, 0.5], [-50, 0.75, -0.5],
      ['', 1, 0], [null, 1, 0], ['abc', 1, 0], [400, 1.8, 1]];
    for (const [v, covering, raw] of cases) {
      assert.ok(Math.abs(L.coveringDensity(v) - covering) < 1e-12, `${v}`);
      assert.ok(Math.abs(L.scatterDensity(v) - raw) < 1e-12, `${v}`);
    }
  });
  await t.test('covering pile: top favourites over a tiling of the others, star 1 last', () => {
    const pile = L.placeAll({ w: 1920, h: 1080, scale: 'l', density: 1, photoCount: 6, starred: [4, 1, 2], emphasis: 'large' });
    assert.deepEqual(plain(pile.favourites.map((p) => p.photoIndex)), [1, 4]);
    assert.ok(pile.favourites.every((p) => p.featured === true));
    assert.equal(pile.emphasisFactor, 1.35);
    assert.equal(pile.placements.length, 54);
    assert.deepEqual(plain([...new Set(pile.placements.map((p) => p.photoIndex))].sort()), [0, 2, 3, 5]);
  });
  await t.test('covering pile where every photo is starred tiles them all', () => {
    const pile = L.placeAll({ w: 800, h: 600, scale: 'xxl', photoCount: 1, starred: [0], emphasis: 'slight' });
    assert.deepEqual(plain(pile.favourites.map((p) => p.photoIndex)), [0]);
    assert.ok(pile.placements.length > 0 && pile.placements.every((p) => p.photoIndex === 0));
  });
  await t.test('scattered pile uses each photo exactly once', () => {
    const pile = L.placeAll({ w: 1920, h: 1080, scale: 'm', densityRaw: 0, noRepeat: true, photoCount: 20, starred: [3, 7, 9, 11, 15, 99] });
    const used = [...pile.placements, ...pile.favourites].map((p) => p.photoIndex);
    assert.equal(used.length, 20);
    assert.deepEqual(plain(used).sort((a, b) => a - b), [...Array(20).keys()]);
    assert.deepEqual(plain(pile.favourites.map((p) => p.photoIndex)), [15, 11, 9, 7, 3]);
    assert.equal(pile.emphasisFactor, 1);
  });
  await t.test('finalizeDrawList', () => {
    const at = (photoIndex, extra = {}) => ({ x: 0, y: 0, rot: 0, outerW: 1, outerH: 1, photoIndex, ...extra });
    const placements = [at(0), at(1), at(2), at(1)];
    const favourites = [at(3, { featured: true }), at(4, { featured: true })];
    const decoded = (i) => i !== 1 && i !== 3;
    const tiled = L.finalizeDrawList(placements, favourites, decoded, false);
    assert.equal(tiled.drawList.length, 5);
    assert.ok(tiled.drawList.every((p) => decoded(p.photoIndex)));
    assert.equal(tiled.spotlightIndex, 4);
    assert.equal(tiled.drawList[4].photoIndex, 4);
    const scattered = L.finalizeDrawList(placements, favourites, decoded, true);
    assert.deepEqual(plain(scattered.drawList.map((p) => p.photoIndex)), [0, 2, 4]);
    const none = L.finalizeDrawList(placements, [at(3)], () => false, false);
    assert.equal(none.spotlightIndex, -1);
    assert.deepEqual(plain(none.drawList.map((p) => p.photoIndex)), [0, 1, 2, 1]);
  });
  await t.test('saved layout rescaled to a new canvas', () => {
    const saved = {
      w: 1000, h: 500,
      drawList: [
        { photoIndex: 0, x: 100, y: 100, outerW: 200, outerH: 222.8, rot: 0.2 },
        { photoIndex: 5, x: 1, y: 1, outerW: 1, outerH: 1, rot: 0 },
        { photoIndex: 1.5, x: 1, y: 1, outerW: 1, outerH: 1, rot: 0 },
        { photoIndex: 1, x: 'x', y: 1, outerW: 1, outerH: 1, rot: 0 },
        null,
        { photoIndex: 2, x: 500, y: 250, outerW: 300, outerH: 334.2, rot: -0.3, featured: true },
      ],
    };
    const { placements, favourites } = L.restoreLayout(saved, 2000, 2000, 3);
    assert.deepEqual(plain(placements), [{ photoIndex: 0, x: 200, y: 400, outerW: 400, outerH: 445.6, rot: 0.2 }]);
    assert.deepEqual(plain(favourites), [{ photoIndex: 2, x: 1000, y: 1000, outerW: 600, outerH: 668.4, rot: -0.3, featured: true }]);
    const unscaled = L.restoreLayout({ w: 0, drawList: saved.drawList }, 2000, 2000, 3);
    assert.equal(unscaled.placements[0].x, 100);
    assert.deepEqual(plain(L.restoreLayout(null, 10, 10, 3)), { placements: [], favourites: [] });
    // A turn stored as text would be added to as a string by the motions.
    const textual = L.restoreLayout({ drawList: [{ photoIndex: 0, x: 1, y: 1, outerW: 1, outerH: 1, rot: '0.25' }] }, 10, 10, 1);
    assert.equal(textual.placements[0].rot, 0.25);
  });
});

test('shuffle is an in-place permutation and tolerates non-lists', () => {
  const list = [...Array(50).keys()];
  const same = L.shuffle(list);
  assert.equal(same, list);
  assert.deepEqual(plain(list).sort((a, b) => a - b), [...Array(50).keys()]);
  assert.notDeepEqual(plain(list), [...Array(50).keys()]);
  assert.equal(L.shuffle(null), null);
});
