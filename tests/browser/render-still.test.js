'use strict';
// The still picture: prints in draw-list order, dimming of non-starred
// prints, missing photos skipped, the title's size, position and box, the
// composition of the title over a base picture, and fast small encoding.
const test = require('node:test');
const assert = require('node:assert/strict');
const { openRenderTestPage } = require('../lib/render-fixtures.js');

/** A print of picture side 100 (paper 114 × 127) at (x, y), upright. */
const print = (x, y, photoIndex, extra = {}) => ({ x, y, rot: 0, outerW: 114, outerH: 127, photoIndex, ...extra });

/**
 * Runs in the page: draws a 400 × 200 still of the given prints, photo i
 * being a solid colour from `colours` (null = missing, "closed" = released),
 * and returns the pixels at the named points.
 */
async function still({ list, colours, dimOthers, dimTranslucent, points }) {
  const bitmaps = [];
  for (const [i, c] of colours.entries()) {
    if (c === 'closed') {
      bitmaps[i] = await window.bitmap(10, 10, '#000');
      bitmaps[i].close();
    } else if (c) {
      bitmaps[i] = await window.bitmap(10, 10, c);
    }
  }
  const canvas = document.createElement('canvas');
  TY.render.draw(canvas, 400, 200, list, bitmaps, 'paper', false, 'square', 'none', null, null, null,
    dimOthers, dimTranslucent);
  const ctx = canvas.getContext('2d');
  const out = { size: [canvas.width, canvas.height] };
  for (const [name, [x, y]] of Object.entries(points)) out[name] = window.px(ctx, x, y);
  return out;
}

/** Runs in the page: draws a title on a blank W × H canvas; returns the box and ink facts. */
function title({ W, H, cfg, ground }) {
  const { ctx } = window.surface(W, H, ground);
  TY.render.drawImageTitle(ctx, W, H, cfg);
  const box = TY.render.getTitleBox();
  const data = ctx.getImageData(0, 0, W, H).data;
  let ink = 0, brightest = 0, darkest = 765;
  for (let i = 0; i < data.length; i += 4) {
    if (ground ? data[i] !== data[0] || data[i + 1] !== data[1] : data[i + 3] !== 0) ink++;
    const sum = data[i] + data[i + 1] + data[i + 2];
    brightest = Math.max(brightest, sum);
    darkest = Math.min(darkest, sum);
  }
  return { box, ink, brightest, darkest };
}

const close = (a, b, tol = 0.5) => Math.abs(a - b) <= tol;

test('still composition', async (t) => {
  const { session, page } = await openRenderTestPage();
  t.after(() => session.close());

  await t.test('later prints lie on top', async () => {
    const points = { centre: [200, 100] };
    const colours = ['#ff0000', '#0000ff'];
    const a = await page.evaluate(still, { list: [print(200, 100, 0), print(200, 100, 1)], colours, points });
    const b = await page.evaluate(still, { list: [print(200, 100, 1), print(200, 100, 0)], colours, points });
    assert.deepEqual(a.size, [400, 200]);
    assert.deepEqual(a.centre, [0, 0, 255, 255]);
    assert.deepEqual(b.centre, [255, 0, 0, 255]);
  });

  await t.test('dimming greys non-starred prints and can make them translucent', async () => {
    const list = [print(100, 100, 0), print(300, 100, 1, { featured: true })];
    const colours = ['#ff0000', '#ff0000'];
    const points = { plain: [100, 100], starred: [300, 100] };
    const dim = await page.evaluate(still, { list, colours, dimOthers: true, dimTranslucent: false, points });
    assert.deepEqual(dim.starred, [255, 0, 0, 255], 'starred keeps its colour');
    const [r, g, b] = dim.plain;
    assert.ok(Math.abs(r - g) <= 2 && Math.abs(g - b) <= 2 && r < 90, `dimmed print is dark grey: ${dim.plain}`);
    const see = await page.evaluate(still, { list, colours, dimOthers: true, dimTranslucent: true, points });
    // Photo, paper and shadow at half opacity: the light desk shows through.
    assert.ok(see.plain[0] > r + 40 && see.plain[0] < 233, `translucent: ${see.plain}`);
    const none = await page.evaluate(still, { list, colours, dimOthers: false, dimTranslucent: true, points });
    assert.deepEqual(none.plain, [255, 0, 0, 255], 'no dimming without the setting');
  });

  await t.test('missing, released and bad entries are skipped without errors', async () => {
    const list = [print(60, 100, 0), print(160, 100, 1), print(260, 100, 7), null, 'junk',
      { x: NaN, y: 1, rot: 0, outerW: 114, outerH: 127, photoIndex: 0 }, print(350, 100, -1)];
    const got = await page.evaluate(still, {
      list, colours: [null, 'closed'], points: { missing: [60, 100], released: [160, 100], unknown: [260, 100] },
    });
    for (const p of [got.missing, got.released, got.unknown]) assert.deepEqual(p, [0xfe, 0xfc, 0xf8, 255]);
    const odd = await page.evaluate(() => {
      const canvas = document.createElement('canvas');
      TY.render.draw(canvas, NaN, -5, 'not a list', null, 42, false, {}, [], 'x', 'y', 'z', 1, 1);
      return [canvas.width, canvas.height];
    });
    assert.deepEqual(odd, [1, 1]);
    assert.deepEqual(page.pageErrors, []);
  });

  await t.test('title size follows the picture height', async () => {
    const cfg = { text: 'Hi', size: 64, position: 'bottom-center' };
    const hd = await page.evaluate(title, { W: 1920, H: 1080, cfg });
    const uhd = await page.evaluate(title, { W: 3840, H: 2160, cfg });
    assert.ok(close(hd.box.h, 64 * 1.18, 0.01), `1080p block ${hd.box.h}`);
    assert.ok(close(uhd.box.h, 128 * 1.18, 0.01), `4K block ${uhd.box.h}`);
    const tiny = await page.evaluate(title, { W: 1920, H: 1080, cfg: { text: 'Hi', size: 3 } });
    const junk = await page.evaluate(title, { W: 1920, H: 1080, cfg: { text: 'Hi', size: 'big' } });
    assert.ok(close(tiny.box.h, 12 * 1.18, 0.01), 'below 12 counts as 12');
    assert.ok(close(junk.box.h, 64 * 1.18, 0.01), 'non-numeric counts as 64');
  });

  await t.test('title positions', async () => {
    const W = 1920, H = 1080, m = 0.04 * 1080;
    const at = async (extra) => (await page.evaluate(title, { W, H, cfg: { text: 'Summer days', size: 64, ...extra } })).box;
    const cases = [
      [{ position: 'top-left' }, (b) => close(b.x, m) && close(b.y, m)],
      [{ position: 'bottom-right' }, (b) => close(b.x + b.w, W - m) && close(b.y + b.h, H - m)],
      [{ position: 'center' }, (b) => close(b.x + b.w / 2, W / 2) && close(b.y + b.h / 2, H / 2)],
      [{ position: 'middle-left' }, (b) => close(b.x, m) && close(b.y + b.h / 2, H / 2)],
      [{ position: 'top-center' }, (b) => close(b.x + b.w / 2, W / 2) && close(b.y, m)],
      [{ position: 'nonsense' }, (b) => close(b.x + b.w / 2, W / 2) && close(b.y + b.h, H - m)],
      [{ free: true, freePos: { x: 0, y: 0 } }, (b) => close(b.x, m) && close(b.y, m)],
      [{ free: true, freePos: { x: 1, y: 1 } }, (b) => close(b.x + b.w, W - m) && close(b.y + b.h, H - m)],
      [{ free: true, freePos: { x: 0.25, y: 0.5 } }, (b) => close(b.x + b.w / 2, W / 4) && close(b.y + b.h / 2, H / 2)],
    ];
    for (const [extra, ok] of cases) {
      const box = await at(extra);
      assert.ok(ok(box), `${JSON.stringify(extra)} → ${JSON.stringify(box)}`);
    }
  });

  await t.test('long titles split into two lines before shrinking', async () => {
    const W = 1920, H = 1080, maxW = W - 2 * 0.04 * 1080;
    const text = 'A long title about our summer holiday by the sea in the north of the island';
    const two = (await page.evaluate(title, { W, H, cfg: { text, size: 64 } })).box;
    assert.ok(close(two.h, 2 * 64 * 1.18, 0.01), `two lines at full size: ${two.h}`);
    assert.ok(two.w <= maxW && two.w > maxW / 3, `lines of about half the width: ${two.w}`);
    const huge = (await page.evaluate(title, { W, H, cfg: { text: text.repeat(4), size: 64 } })).box;
    assert.ok(huge.h < 2 * 64 * 1.18 && huge.w <= maxW + 0.5, `shrunk to fit: ${JSON.stringify(huge)}`);
  });

  await t.test('a blank title draws nothing and clears the box', async () => {
    await page.evaluate(title, { W: 300, H: 200, cfg: { text: 'x' } });
    for (const cfg of [{ text: '   \n\t ' }, null, { size: 40 }]) {
      const got = await page.evaluate(title, { W: 300, H: 200, cfg });
      assert.deepEqual([got.box, got.ink], [null, 0], JSON.stringify(cfg));
    }
  });

  await t.test('bright titles get a dark edge and dark titles a light one', async () => {
    const cfg = (color) => ({ text: 'Edge', size: 120, position: 'center', color });
    const dark = await page.evaluate(title, { W: 600, H: 300, cfg: cfg('#111111'), ground: '#808080' });
    const bright = await page.evaluate(title, { W: 600, H: 300, cfg: cfg('#ffd23e'), ground: '#808080' });
    assert.ok(dark.brightest > 600, `white outline round dark text: ${dark.brightest}`);
    assert.ok(bright.darkest < 150, `black outline round bright text: ${bright.darkest}`);
    const invalid = await page.evaluate(title, { W: 600, H: 300, cfg: cfg('not a colour'), ground: '#808080' });
    assert.ok(invalid.ink > 0 && invalid.darkest < 150, 'an invalid colour is treated as bright');
  });

  await t.test('composeTitle copies the base and lays the title over it', async () => {
    const got = await page.evaluate(() => {
      const base = window.surface(200, 100, '#ff0000').c;
      const target = window.surface(50, 50, '#00ff00').c;
      TY.render.composeTitle(target, base, { text: 'T', size: 40, position: 'top-left' });
      const afterCompose = { size: [target.width, target.height], corner: window.px(target.getContext('2d'), 199, 99),
        box: TY.render.getTitleBox() };
      TY.render.composeTitle(target, null, { text: 'T' });
      return { ...afterCompose, untouched: window.px(target.getContext('2d'), 199, 99) };
    });
    assert.deepEqual(got.size, [200, 100]);
    assert.deepEqual(got.corner, [255, 0, 0, 255]);
    assert.ok(got.box && close(got.box.x, 4) && close(got.box.y, 4), JSON.stringify(got.box));
    assert.deepEqual(got.untouched, [255, 0, 0, 255]);
  });

  await t.test('canvasToBlob encodes small canvases at once', async () => {
    const got = await page.evaluate(async () => {
      const { c } = window.surface(64, 48, '#3366cc');
      const jpeg = TY.render.canvasToBlob(c);
      const png = TY.render.canvasToBlob(c, 'image/png');
      const head = Array.from(new Uint8Array(await jpeg.slice(0, 3).arrayBuffer()));
      const decoded = await createImageBitmap(png);
      return { jpegType: jpeg.type, head, pngType: png.type, size: [decoded.width, decoded.height] };
    });
    assert.deepEqual(got, { jpegType: 'image/jpeg', head: [0xff, 0xd8, 0xff], pngType: 'image/png', size: [64, 48] });
  });
});
