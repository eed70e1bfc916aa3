'use strict';
// Drawing-test page for the render module: the render script, seeded
// Math.random, and small page helpers for making bitmaps and reading pixels.
const { pageSession, SEED_RANDOM_SCRIPT } = require('./browser.js');

const PAGE_HELPERS = `(() => {
  // A canvas of w × h, painted by paint(ctx), for drawing into.
  window.surface = (w, h, fill) => {
    const c = document.createElement('canvas');
    c.width = w; c.height = h;
    const ctx = c.getContext('2d', { willReadFrequently: true });
    if (fill) { ctx.fillStyle = fill; ctx.fillRect(0, 0, w, h); }
    return { c, ctx };
  };
  // A decoded bitmap of one colour, or split left/right into two.
  window.bitmap = (w, h, left, right) => {
    const { c, ctx } = window.surface(w, h, left);
    if (right) { ctx.fillStyle = right; ctx.fillRect(w / 2, 0, w / 2, h); }
    return createImageBitmap(c);
  };
  window.px = (ctx, x, y) => Array.from(ctx.getImageData(Math.round(x), Math.round(y), 1, 1).data);
})();`;

/**
 * Opens one browser page with the given page scripts (the drawing, after the
 * layout whose random source it shares, by default) and the helpers above.
 * Close the returned session when done.
 * @param {string[]} [scripts]
 */
async function openRenderTestPage(scripts = ['layout', 'render']) {
  const session = await pageSession({ scripts });
  const page = await session.newPage();
  await addPageHelpers(page);
  return { session, page };
}

/** Seeds Math.random and adds the helpers to a page opened by the session. */
async function addPageHelpers(page) {
  await page.evaluate(SEED_RANDOM_SCRIPT);
  await page.evaluate(PAGE_HELPERS);
  return page;
}

module.exports = { openRenderTestPage, addPageHelpers };
