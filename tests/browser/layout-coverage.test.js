'use strict';
// The covering layout must hide the desk completely: every print's paper is
// filled on a canvas cleared to a key colour, and no key pixel may survive.
const test = require('node:test');
const assert = require('node:assert/strict');
const { pageSession, SEED_RANDOM_SCRIPT } = require('../lib/browser.js');

// Width, height and piles per case; large canvases are slow to read back.
const CANVASES = [[320, 480, 3], [1920, 1080, 2], [1170, 2532, 1], [3840, 2160, 1]];
const SCALES = ['xxl', 'xl', 'l', 'm', 's'];

/**
 * Runs in the page: lays out covering piles and counts the key-colour
 * pixels left uncovered by each.
 * @param {{W: number, H: number, scale: string, density: number, piles: number}} c
 */
function uncoveredPixels({ W, H, scale, density, piles }) {
  const canvas = document.createElement('canvas');
  canvas.width = W;
  canvas.height = H;
  const ctx = canvas.getContext('2d', { willReadFrequently: true });
  const counts = [];
  for (let n = 0; n < piles; n++) {
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.fillStyle = '#ff00ff';
    ctx.fillRect(0, 0, W, H);
    ctx.fillStyle = '#20a040';
    for (const p of TY.layout.generate(W, H, 7, scale, density)) {
      ctx.setTransform(1, 0, 0, 1, 0, 0);
      ctx.translate(p.x, p.y);
      ctx.rotate(p.rot);
      ctx.fillRect(-p.outerW / 2, -p.outerH / 2, p.outerW, p.outerH);
    }
    const pixels = new Uint32Array(ctx.getImageData(0, 0, W, H).data.buffer);
    const key = new Uint32Array(new Uint8ClampedArray([255, 0, 255, 255]).buffer)[0];
    let uncovered = 0;
    for (let i = 0; i < pixels.length; i++) if (pixels[i] === key) uncovered++;
    counts.push(uncovered);
  }
  return counts;
}

test('covering piles leave no pixel of the desk uncovered', async (t) => {
  const session = await pageSession({ scripts: ['layout'] });
  t.after(() => session.close());
  const page = await session.newPage();
  await page.evaluate(SEED_RANDOM_SCRIPT);

  for (const [W, H, piles] of CANVASES) {
    await t.test(`${W} x ${H}`, async () => {
      for (const scale of SCALES) {
        // Neutral and densest settings of the density slider.
        for (const density of [1, 1.8]) {
          const counts = await page.evaluate(uncoveredPixels, { W, H, scale, density, piles });
          assert.deepEqual(counts, Array(piles).fill(0), `${scale} density ${density}`);
        }
      }
    });
  }

  await t.test('the sparsest setting lets the desk show, as intended', async () => {
    for (const scale of SCALES) {
      const [uncovered] = await page.evaluate(uncoveredPixels, { W: 1920, H: 1080, scale, density: 0.5, piles: 1 });
      assert.ok(uncovered > 1920 * 1080 * 0.01, `${scale}: ${uncovered} desk pixels`);
    }
  });
  assert.deepEqual(page.pageErrors, []);
});
