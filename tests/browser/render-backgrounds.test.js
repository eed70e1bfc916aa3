'use strict';
// Backgrounds must cover every pixel, with their texture and with their
// procedural fallback, and a texture that cannot load must fall back quietly.
const test = require('node:test');
const assert = require('node:assert/strict');
const { openRenderTestPage, addPageHelpers } = require('../lib/render-fixtures.js');

const SIZES = [[320, 180], [180, 320], [257, 101]];

/** Runs in the page: paints a background on a transparent canvas; counts pixels left not fully opaque. */
function uncovered({ key, W, H }) {
  const { ctx } = window.surface(W, H);
  TY.render.paintBackground(ctx, key, W, H);
  const data = ctx.getImageData(0, 0, W, H).data;
  let n = 0;
  for (let i = 3; i < data.length; i += 4) if (data[i] !== 255) n++;
  return n;
}

/**
 * A stand-in texture served for every bg-*.jpg: 240 × 240, blue with a red
 * centre square of 100 px (so that the tatami zoom of 2.4 fills a square
 * canvas with red, where plain cover shows the blue rim).
 */
async function makeTexture(page) {
  const b64 = await page.evaluate(() => {
    const { c, ctx } = window.surface(240, 240, '#0000ff');
    ctx.fillStyle = '#ff0000';
    ctx.fillRect(70, 70, 100, 100);
    return c.toDataURL('image/jpeg', 0.95).split(',')[1];
  });
  return Buffer.from(b64, 'base64');
}

test('backgrounds', async (t) => {
  const { session, page } = await openRenderTestPage();
  t.after(() => session.close());
  const keys = await page.evaluate(() => Object.keys(TY.render.BACKGROUNDS));
  assert.equal(keys.length, 15);

  await t.test('procedural paintings cover every pixel', async () => {
    for (const [W, H] of SIZES) {
      for (const key of keys) {
        assert.equal(await page.evaluate(uncovered, { key, W, H }), 0, `${key} at ${W} x ${H}`);
      }
    }
  });

  await t.test('unknown keys paint paper; custombg without an image paints gray', async () => {
    const got = await page.evaluate(() => {
      const paint = (key) => {
        const { ctx } = window.surface(64, 36);
        TY.render.paintBackground(ctx, key, 64, 36);
        return Array.from(ctx.getImageData(0, 0, 64, 36).data).join();
      };
      return { bogus: paint('bogus'), proto: paint('__proto__'), paper: paint('paper'),
        custom: paint('custombg'), gray: paint('gray'), hasCustom: TY.render.hasCustomBackground() };
    });
    assert.equal(got.bogus, got.paper);
    assert.equal(got.proto, got.paper);
    assert.ok(got.paper.startsWith('233,226,214,255'), 'paper is #e9e2d6');
    assert.equal(got.custom, got.gray);
    assert.equal(got.hasCustom, false);
  });

  await t.test('a texture that cannot load is marked failed once and its fallback painted', async () => {
    const failing = await addPageHelpers(await session.newPage(['layout', 'render']));
    let requests = 0;
    await failing.route('**/assets/bg-*.jpg', (route) => { requests++; return route.abort(); });
    const got = await failing.evaluate(async () => {
      const R = TY.render;
      await Promise.all([R.prepareBackground('wood'), R.prepareBackground('wood')]);
      await R.prepareBackground('wood');
      await R.prepareBackground('gray');
      return { loaded: R.hasBackgroundImage('wood') };
    });
    assert.deepEqual(got, { loaded: false });
    assert.equal(requests, 1, 'the file is asked for once');
    assert.equal(await failing.evaluate(uncovered, { key: 'wood', W: 200, H: 100 }), 0);
    assert.deepEqual(failing.pageErrors, []);
    await failing.close();
  });

  await t.test('loaded textures cover the canvas, tatami zoomed by 2.4', async () => {
    const textured = await addPageHelpers(await session.newPage(['layout', 'render']));
    const jpeg = await makeTexture(textured);
    await textured.route('**/assets/bg-*.jpg', (route) => route.fulfill({ body: jpeg, contentType: 'image/jpeg' }));
    const textureKeys = keys.filter((k) => !['gray', 'almite', 'custombg', 'paper'].includes(k));
    await textured.evaluate((list) => Promise.all(list.map((k) => TY.render.prepareBackground(k))), textureKeys);
    for (const key of textureKeys) {
      assert.ok(await textured.evaluate((k) => TY.render.hasBackgroundImage(k), key), `${key} loaded`);
      for (const [W, H] of SIZES) {
        assert.equal(await textured.evaluate(uncovered, { key, W, H }), 0, `${key} texture at ${W} x ${H}`);
      }
    }
    const corners = await textured.evaluate(() => {
      const corner = (key) => {
        const { ctx } = window.surface(200, 200);
        TY.render.paintBackground(ctx, key, 200, 200);
        return window.px(ctx, 8, 8);
      };
      return { tatami: corner('tatami'), wood: corner('wood') };
    });
    assert.ok(corners.tatami[0] > 120 && corners.tatami[2] < 60, `tatami corner is the red centre: ${corners.tatami}`);
    assert.ok(corners.wood[2] > 120 && corners.wood[0] < 60, `wood corner is the blue rim: ${corners.wood}`);
    await textured.close();
  });

  await t.test('the custom image is drawn by cover and raises the version', async () => {
    const got = await page.evaluate(async () => {
      const R = TY.render;
      const before = R.customBackgroundVersion;
      R.setCustomBackground(await window.bitmap(30, 10, '#00ff00'));
      const { ctx } = window.surface(100, 100);
      R.paintBackground(ctx, 'custombg', 100, 100);
      return { centre: window.px(ctx, 50, 50), bumped: R.customBackgroundVersion === before + 1, has: R.hasCustomBackground() };
    });
    assert.ok(got.centre[1] > 200 && got.centre[0] < 40, `custom image shows: ${got.centre}`);
    assert.deepEqual([got.bumped, got.has], [true, true]);
  });

  await t.test('leather has its stitched seam at 3.5% of the short side', async () => {
    const got = await page.evaluate(() => {
      const { ctx } = window.surface(1920, 1080);
      TY.render.paintBackground(ctx, 'leather', 1920, 1080);
      // The thread runs along y = 38 (round(0.035 × 1080)); the row between
      // it and the edge is plain leather.
      const brightest = (y) => {
        const row = ctx.getImageData(400, y, 1000, 1).data;
        let max = 0;
        for (let i = 0; i < row.length; i += 4) max = Math.max(max, row[i] + row[i + 1] + row[i + 2]);
        return max;
      };
      return { seam: brightest(38), inside: brightest(20) };
    });
    assert.ok(got.seam > got.inside + 150, `thread ${got.seam} vs leather ${got.inside}`);
  });
});
