'use strict';
// A Chromium page with the layout and render scripts and a set of photos
// (the bundled samples, or generated pictures when there are none), shared
// by the preview and the benchmark.
const fs = require('node:fs');
const path = require('node:path');
const { pageSession, ROOT } = require('../../tests/lib/browser.js');

const SAMPLE_DIR = path.join(ROOT, 'samples', 'photos');

/** @returns {string[]} sample photo paths relative to the repository */
function samplePhotos() {
  if (!fs.existsSync(SAMPLE_DIR)) return [];
  return fs.readdirSync(SAMPLE_DIR)
    .filter((f) => /\.jpe?g$/i.test(f))
    .sort()
    .map((f) => 'samples/photos/' + f);
}

/**
 * Runs in the page: fetches the sample photos, or paints stand-ins, and
 * keeps them full size as window.__sources with names in window.__names.
 * @param {{base: string, files: string[], count: number}} args
 */
async function loadPhotosInPage({ base, files, count }) {
  const sources = [];
  const names = [];
  for (const file of files) {
    try {
      const blob = await (await fetch(base + '/' + file)).blob();
      sources.push(await createImageBitmap(blob));
      names.push(file.replace(/^.*\//, '').replace(/\.[^.]+$/, ''));
    } catch { /* an unreadable sample is left out */ }
  }
  const shapes = [[1200, 900], [900, 1200], [1200, 800], [1000, 1000]];
  for (let i = 0; sources.length < count; i++) {
    const [w, h] = shapes[i % shapes.length];
    const c = document.createElement('canvas');
    c.width = w;
    c.height = h;
    const ctx = c.getContext('2d');
    const hue = (i * 47) % 360;
    const sky = ctx.createLinearGradient(0, 0, 0, h);
    sky.addColorStop(0, `hsl(${hue}, 70%, 72%)`);
    sky.addColorStop(1, `hsl(${(hue + 40) % 360}, 60%, 88%)`);
    ctx.fillStyle = sky;
    ctx.fillRect(0, 0, w, h);
    ctx.fillStyle = `hsl(${(hue + 180) % 360}, 55%, 45%)`;
    ctx.beginPath();
    ctx.moveTo(0, h);
    for (let x = 0; x <= w; x += w / 8) ctx.lineTo(x, h * (0.6 + 0.12 * Math.sin(x / w * 7 + i)));
    ctx.lineTo(w, h);
    ctx.fill();
    ctx.fillStyle = '#fff6c8';
    ctx.beginPath();
    ctx.arc(w * 0.7, h * 0.3, Math.min(w, h) * 0.1, 0, Math.PI * 2);
    ctx.fill();
    ctx.fillStyle = 'rgba(30,30,40,0.8)';
    ctx.font = `bold ${Math.round(h / 5)}px sans-serif`;
    ctx.fillText(String(i + 1), w * 0.08, h * 0.3);
    sources.push(await createImageBitmap(c));
    names.push('photo-' + String(i + 1).padStart(2, '0'));
  }
  window.__sources = sources;
  window.__names = names;
}

/**
 * Opens a page with the render scripts and the photos loaded.
 * @param {{viewport?: {width: number, height: number}, photoCount?: number}} [opts]
 */
async function openRenderPage(opts = {}) {
  const session = await pageSession({ scripts: ['layout', 'render'], viewport: opts.viewport });
  const page = await session.newPage();
  const files = samplePhotos();
  await page.evaluate(loadPhotosInPage, { base: session.url, files, count: opts.photoCount || 12 });
  return { session, page, samples: files.length > 0 };
}

/**
 * Runs in the page: lays out a covering pile with starred prints on top,
 * decodes every photo at the side its print needs and draws the still onto
 * window.__canvas. Returns the milliseconds spent drawing.
 * @param {any} o {W, H, scale, density, background, frame, filter, starred,
 *   captions, captionCfg, title, dimOthers, dimTranslucent, photoLimit}
 */
async function drawStillInPage(o) {
  const L = TY.layout;
  const R = TY.render;
  const total = Math.min(window.__sources.length, o.photoLimit || Infinity);
  const starred = Math.min(o.starred || 0, total - 1);
  const others = Array.from({ length: total - starred }, (_, i) => i + starred);
  const list = L.generate(o.W, o.H, others.length, o.scale, o.density)
    .map((p) => ({ ...p, photoIndex: others[p.photoIndex] }));
  const favourites = L.placeFeatured(o.W, o.H, starred, o.scale, L.emphasisFactor(starred, 'large'));
  favourites.forEach((p, i) => { p.photoIndex = i; p.featured = true; });
  const drawList = list.concat(favourites.reverse());
  const sideByPhoto = new Map();
  for (const p of drawList) {
    sideByPhoto.set(p.photoIndex, Math.max(sideByPhoto.get(p.photoIndex) || 0, Math.ceil(p.outerW / 1.14 * 1.25)));
  }
  const bitmaps = [];
  for (const [index, side] of sideByPhoto) {
    const src = window.__sources[index];
    const k = side / Math.min(src.width, src.height);
    bitmaps[index] = await createImageBitmap(src, {
      resizeWidth: Math.max(1, Math.round(src.width * k)),
      resizeHeight: Math.max(1, Math.round(src.height * k)), resizeQuality: 'high',
    });
  }
  await R.prepareBackground(o.background);
  if (o.captionCfg) await R.ensureCaptionFont(o.captionCfg.font);
  if (o.title) await R.ensureCaptionFont(o.title.font);
  window.__canvas = window.__canvas || document.createElement('canvas');
  window.__drawArgs = [window.__canvas, o.W, o.H, drawList, bitmaps, o.background, false, o.frame, o.filter,
    o.captions ? window.__names : null, o.captionCfg || null, o.title || null, !!o.dimOthers, !!o.dimTranslucent];
  const t0 = performance.now();
  R.draw(...window.__drawArgs);
  // Reading a pixel waits for the drawing to finish, not just to be queued.
  window.__canvas.getContext('2d').getImageData(0, 0, 1, 1);
  return { ms: performance.now() - t0, prints: drawList.length, photos: sideByPhoto.size };
}

/** Writes window.__canvas (or the canvas named by `expr`) as a PNG file. */
async function savePng(page, file, expr = 'window.__canvas') {
  const dataUrl = await page.evaluate(`${expr}.toDataURL('image/png')`);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, Buffer.from(dataUrl.slice(dataUrl.indexOf(',') + 1), 'base64'));
}

module.exports = { openRenderPage, drawStillInPage, savePng, samplePhotos };
