'use strict';
// One print in every frame style, drawn upright at a known place, checked
// pixel by pixel: photo, paper, decoration, caption, shadow, fallbacks.
const test = require('node:test');
const assert = require('node:assert/strict');
const { openRenderTestPage } = require('../lib/render-fixtures.js');

// A print centred at (200, 200) with picture side 200: paper 228 × 254,
// spanning x 86 … 314 and y 73 … 327.
const CARD = { x: 200, y: 200, rot: 0, outerW: 228, outerH: 254, photoIndex: 0 };

/**
 * Runs in the page: draws one card on a 400 × 400 canvas filled with `ground`
 * and returns the pixels at the named points.
 */
async function cardPixels({ card, frame, filter, photo, caption, captionCfg, ground, points }) {
  const { ctx } = window.surface(400, 400, ground || '#000000');
  const image = photo === 'released' ? await window.bitmap(40, 40, '#0000ff') : photo ? await window.bitmap(40, 40, photo) : null;
  if (photo === 'released') image.close();
  TY.render.drawOne(ctx, card, image, frame, filter, caption, captionCfg);
  const out = {};
  for (const [name, [x, y]] of Object.entries(points)) out[name] = window.px(ctx, x, y);
  return out;
}

/** Runs in the page: a digest of the 400 × 400 drawing of one card, for comparing two drawings. */
async function cardImage({ card, frame, filter, caption, captionCfg }) {
  const { ctx } = window.surface(400, 400, '#000000');
  window.sharedPhoto = window.sharedPhoto || await window.bitmap(60, 40, '#d04020', '#2080c0');
  TY.render.drawOne(ctx, card, window.sharedPhoto, frame, filter, caption, captionCfg);
  const digest = await crypto.subtle.digest('SHA-256', ctx.getImageData(0, 0, 400, 400).data);
  return Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, '0')).join('');
}

/** Runs in the page: rows and columns of the strip holding dark (caption) pixels. */
function captionInk({ card, frame, caption, captionCfg }) {
  const { ctx } = window.surface(400, 400, '#000000');
  TY.render.drawOne(ctx, card, null, frame, 'none', caption, captionCfg);
  const data = ctx.getImageData(86, 73, 228, 254).data;
  let minX = Infinity, maxX = -Infinity, minY = Infinity, maxY = -Infinity;
  for (let y = 0; y < 254; y++) {
    for (let x = 0; x < 228; x++) {
      const i = (y * 228 + x) * 4;
      if (data[i] < 150) {
        // Inside the paper but darker than it: ink.
        minX = Math.min(minX, x + 86); maxX = Math.max(maxX, x + 86);
        minY = Math.min(minY, y + 73); maxY = Math.max(maxY, y + 73);
      }
    }
  }
  return Number.isFinite(minX) ? { minX, maxX, minY, maxY } : null;
}

const PAPER = [0xfe, 0xfc, 0xf8, 255];
const BLUE = [0, 0, 255, 255];
const BLACK = [0, 0, 0, 255];

// Photo centre, a point in the left border, and the paper's top-left corner.
const STYLES = {
  cheki: { photoCentre: [200, 187], paper: PAPER, corner: 'paper' },
  square: { photoCentre: [200, 200], paper: PAPER, corner: 'paper' },
  stamp: { photoCentre: [200, 196], paper: [0xfd, 0xf9, 0xef, 255], corner: 'cut' },
  tape: { photoCentre: [200, 200], paper: PAPER, corner: 'tape' },
  pin: { photoCentre: [200, 200], paper: PAPER, corner: 'paper' },
  magnet: { photoCentre: [200, 200], paper: PAPER, corner: 'paper' },
  vintage: { photoCentre: [200, 200], paper: [0xf0, 0xe6, 0xcd, 255], corner: 'paper' },
};

const near = (a, b, tol = 2) => a.every((v, i) => Math.abs(v - b[i]) <= tol);

test('photo cards', async (t) => {
  const { session, page } = await openRenderTestPage();
  t.after(() => session.close());

  await t.test('every frame style puts photo, paper and decoration in place', async () => {
    for (const [frame, want] of Object.entries(STYLES)) {
      const got = await page.evaluate(cardPixels, {
        card: CARD, frame, filter: 'none', photo: '#0000ff',
        points: {
          photoCentre: want.photoCentre, border: [96, 200], outside: [40, 40], corner: [88, 75],
          pinHead: [205, 92], magnetBody: [207, 99], photoCorner: [103, 103],
        },
      });
      if (frame === 'vintage') {
        // The old look tints the photo and darkens its edges.
        assert.ok(!near(got.photoCentre, BLUE, 30), 'vintage tints the photo');
        const sum = (p) => p[0] + p[1] + p[2];
        assert.ok(sum(got.photoCorner) < sum(got.photoCentre) - 15, 'vintage edges are darker');
      } else {
        assert.deepEqual(got.photoCentre, BLUE, `${frame}: photo centre`);
      }
      assert.ok(near(got.border, want.paper), `${frame}: border is paper ${got.border}`);
      assert.deepEqual(got.outside, BLACK, `${frame}: nothing outside the paper`);
      // Only the faint brown shadow may show in the cut.
      if (want.corner === 'cut') assert.ok(near(got.corner, BLACK, 8), `stamp corner is cut away ${got.corner}`);
      if (want.corner === 'paper') assert.ok(near(got.corner, want.paper), `${frame}: plain corner`);
      if (want.corner === 'tape') assert.ok(got.corner[2] < 225 && got.corner[0] > 240, `tape over corner ${got.corner}`);
      const [r, g] = got.pinHead;
      if (frame === 'pin') assert.ok(r > g + 60, `red pin head ${got.pinHead}`);
      if (frame === 'square') assert.ok(near(got.pinHead, PAPER), 'no pin head without the pin style');
      if (frame === 'magnet') assert.ok(got.magnetBody[0] > got.magnetBody[1] + 60, `red magnet ${got.magnetBody}`);
    }
  });

  await t.test('stamp perforations are cut into the edge, with paper between them', async () => {
    // First cut on the top edge: centre x = 86 + 7 + 214 / 11 / 2.
    const got = await page.evaluate(cardPixels, {
      card: CARD, frame: 'stamp', filter: 'none', photo: null,
      points: { inCut: [102.7, 75], betweenCuts: [112.5, 75] },
    });
    assert.ok(near(got.inCut, BLACK, 8), `cut ${got.inCut}`);
    assert.ok(near(got.betweenCuts, [0xfd, 0xf9, 0xef, 255]), `paper between cuts ${got.betweenCuts}`);
  });

  await t.test('missing and released photos leave paper and decoration', async () => {
    for (const photo of [null, 'released']) {
      for (const frame of Object.keys(STYLES)) {
        const got = await page.evaluate(cardPixels, {
          card: CARD, frame, filter: 'mono', photo, points: { photoCentre: STYLES[frame].photoCentre },
        });
        assert.ok(near(got.photoCentre, STYLES[frame].paper), `${frame} with ${photo}: ${got.photoCentre}`);
      }
    }
    assert.deepEqual(page.pageErrors, []);
  });

  await t.test('the shadow falls down and to the right', async () => {
    const got = await page.evaluate(cardPixels, {
      card: CARD, frame: 'cheki', filter: 'none', photo: null, ground: '#ffffff',
      points: { below: [200, 333], above: [200, 67], right: [318, 200], left: [82, 200] },
    });
    assert.ok(got.below[0] < got.above[0] - 20, `below ${got.below} vs above ${got.above}`);
    assert.ok(got.right[0] < got.left[0], `right ${got.right} vs left ${got.left}`);
  });

  await t.test('the kept shadow of a turned print matches the one the canvas blurs itself', async () => {
    // The same prints on white, once as drawn (the kept, turned shadow) and
    // once under a scale too small to see, where the canvas blurs the shadow itself.
    const diff = await page.evaluate(() => {
      const draw = (scale) => {
        const { ctx } = window.surface(400, 400, '#ffffff');
        ctx.scale(scale, scale);
        for (const [frame, rot, x] of [['cheki', 0.5, 130], ['stamp', -0.3, 270]]) {
          TY.render.drawOne(ctx, { x, y: 200, rot, outerW: 150, outerH: 167, photoIndex: 0 }, null, frame, 'none', null, null);
        }
        return ctx.getImageData(0, 0, 400, 400).data;
      };
      const kept = draw(1);
      const canvas = draw(1 + 1e-6);
      let sum = 0;
      let worst = 0;
      for (let i = 0; i < kept.length; i++) {
        const d = Math.abs(kept[i] - canvas[i]);
        sum += d;
        worst = Math.max(worst, d);
      }
      return { mean: sum / kept.length, worst };
    });
    assert.ok(diff.mean < 0.2 && diff.worst <= 12, `mean ${diff.mean}, worst ${diff.worst}`);
  });

  await t.test('unknown frame, filter, font and caption size fall back to their defaults', async () => {
    const caption = 'Kyoto 2026';
    const pairs = [
      [{ frame: 'bogus', filter: 'none' }, { frame: 'cheki', filter: 'none' }],
      [{ frame: 'constructor', filter: 'none' }, { frame: 'cheki', filter: 'none' }],
      [{ frame: 'square', filter: 'bogus' }, { frame: 'square', filter: 'none' }],
      [{ frame: 'cheki', filter: 'none', caption, captionCfg: { font: 'bogus', size: 'huge' } },
        { frame: 'cheki', filter: 'none', caption, captionCfg: { font: 'gothic', size: 'm' } }],
    ];
    for (const [bad, good] of pairs) {
      const a = await page.evaluate(cardImage, { card: CARD, ...bad });
      const b = await page.evaluate(cardImage, { card: CARD, ...good });
      assert.equal(a, b, `${JSON.stringify(bad)} draws as ${JSON.stringify(good)}`);
    }
  });

  await t.test('pin and magnet colours cycle by photo index', async () => {
    for (const frame of ['pin', 'magnet']) {
      const draw = (photoIndex) => page.evaluate(cardImage, { card: { ...CARD, photoIndex }, frame, filter: 'none' });
      const [i7, i2, i0, neg] = [await draw(7), await draw(2), await draw(0), await draw(-3)];
      assert.equal(i7, i2, `${frame}: index 7 uses the third colour`);
      assert.equal(neg, i0, `${frame}: a negative index counts as 0`);
      assert.notEqual(i2, i0, `${frame}: colours differ by index`);
    }
  });

  await t.test('captions sit in the writing strip and are cut to fit', async () => {
    const cfg = { font: 'gothic', size: 'l' };
    const short = await page.evaluate(captionInk, { card: CARD, frame: 'cheki', caption: 'Hello', captionCfg: cfg });
    // cheki strip: y 287 … 323 on the canvas.
    assert.ok(short && short.minY >= 287 && short.maxY <= 323, JSON.stringify(short));
    const long = await page.evaluate(captionInk, { card: CARD, frame: 'square', caption: 'W'.repeat(80), captionCfg: cfg });
    // At most 0.94 s = 188 px wide, centred on x = 200; strip y 300 … 323.
    assert.ok(long && long.minX >= 105 && long.maxX <= 295, JSON.stringify(long));
    assert.ok(long.minY >= 300 && long.maxY <= 323, JSON.stringify(long));
    const off = await page.evaluate(captionInk, { card: CARD, frame: 'cheki', caption: 'Hello', captionCfg: null });
    assert.equal(off, null, 'no caption settings, no caption');
  });

  await t.test('photoInCell crops or fits, and photoCellRect says where', async () => {
    const got = await page.evaluate(async () => {
      const image = await window.bitmap(300, 200, '#ff0000', '#0000ff');
      const results = {};
      for (const mode of ['crop', 'fit']) {
        const { ctx } = window.surface(140, 110, '#000000');
        TY.render.photoInCell(ctx, image, 10, 10, 120, 90, 'none', mode);
        results[mode] = { top: window.px(ctx, 70, 12), bottom: window.px(ctx, 70, 97), left: window.px(ctx, 12, 55) };
      }
      results.rect = TY.render.photoCellRect(image, 10, 10, 120, 90, 'fit');
      results.cropRect = TY.render.photoCellRect(image, 10, 10, 120, 90, 'crop');
      results.noPhoto = TY.render.photoCellRect(null, 10, 10, 120, 90, 'fit');
      return results;
    });
    assert.notDeepEqual(got.crop.top, BLACK);
    assert.notDeepEqual(got.crop.bottom, BLACK);
    assert.deepEqual(got.crop.left, [255, 0, 0, 255]);
    assert.deepEqual(got.fit.top, BLACK, 'band above the fitted photo');
    assert.deepEqual(got.fit.bottom, BLACK, 'band below the fitted photo');
    assert.deepEqual(got.rect, { x: 10, y: 15, w: 120, h: 80 });
    assert.deepEqual(got.cropRect, { x: 10, y: 10, w: 120, h: 90 });
    assert.deepEqual(got.noPhoto, { x: 10, y: 10, w: 120, h: 90 });
  });

  await t.test('the filtered-photo cache keeps two filters per image', async () => {
    const got = await page.evaluate(async () => {
      const R = TY.render;
      const image = await window.bitmap(20, 20, '#336699');
      const mono = R.filteredSource(image, R.PHOTO_FILTERS.mono.filter);
      const dim = R.filteredSource(image, R.PHOTO_FILTERS.stardim.filter);
      const kept = R.filteredSource(image, R.PHOTO_FILTERS.mono.filter) === mono
        && R.filteredSource(image, R.PHOTO_FILTERS.stardim.filter) === dim;
      R.filteredSource(image, R.PHOTO_FILTERS.sepia.filter);
      const rebaked = R.filteredSource(image, R.PHOTO_FILTERS.mono.filter) !== mono;
      return { kept, rebaked, unfiltered: R.filteredSource(image, '') === image };
    });
    assert.deepEqual(got, { kept: true, rebaked: true, unfiltered: true });
  });
});
