'use strict';
// The photo filters are baked by our own colour maps, because the native
// host's engine ignores the canvas filter off-document. The baked copy must
// match what the browser's own filter gives on a document canvas.
const test = require('node:test');
const assert = require('node:assert/strict');
const { openRenderTestPage } = require('../lib/render-fixtures.js');

/**
 * Runs in the page: a 64 × 64 picture holding 16 levels of every channel
 * (4096 colours, black and white and the pure primaries included), filtered
 * by the cache and by the engine. Returns the largest channel difference.
 */
async function compareWithEngine(chain) {
  const { c, ctx } = window.surface(64, 64);
  const img = ctx.createImageData(64, 64);
  for (let i = 0; i < 4096; i++) {
    img.data.set([(i % 16) * 17, (Math.floor(i / 16) % 16) * 17, Math.floor(i / 256) * 17, 255], i * 4);
  }
  ctx.putImageData(img, 0, 0);
  const photo = await createImageBitmap(c);

  const baked = window.surface(64, 64);
  baked.ctx.drawImage(TY.render.filteredSource(photo, chain), 0, 0);
  const ours = baked.ctx.getImageData(0, 0, 64, 64).data;

  const engine = window.surface(64, 64);
  document.body.appendChild(engine.c);
  engine.ctx.filter = chain;
  engine.ctx.drawImage(photo, 0, 0);
  const theirs = engine.ctx.getImageData(0, 0, 64, 64).data;
  engine.c.remove();

  let max = 0;
  let worst = null;
  for (let i = 0; i < ours.length; i++) {
    const d = Math.abs(ours[i] - theirs[i]);
    if (d > max) {
      max = d;
      worst = { colour: Array.from(img.data.slice(i - (i % 4), i - (i % 4) + 3)), ours: ours[i], theirs: theirs[i] };
    }
  }
  return { max, worst };
}

test('baked filters equal the engine filter for every filter key', async (t) => {
  const { session, page } = await openRenderTestPage();
  t.after(() => session.close());
  const chains = await page.evaluate(() => {
    const out = {};
    for (const [key, f] of Object.entries(TY.render.PHOTO_FILTERS)) if (f.filter) out[key] = f.filter;
    // The old-photo frame's own look when no filter is chosen.
    out.vintage = 'sepia(0.55) contrast(0.92) brightness(1.03)';
    return out;
  });
  assert.deepEqual(Object.keys(chains), ['mono', 'sepia', 'retro', 'cool', 'warm', 'stardim', 'vintage']);
  for (const [key, chain] of Object.entries(chains)) {
    const { max, worst } = await page.evaluate(compareWithEngine, chain);
    assert.ok(max <= 2, `${key} "${chain}" differs by ${max}: ${JSON.stringify(worst)}`);
  }
});
