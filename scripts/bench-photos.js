'use strict';
// Prints figures for the photo store in Chromium (not a test): adding
// camera-sized JPEGs (thumbnail and EXIF read per photo), decoding them at
// the width buckets a pile uses, and a regeneration that finds them cached.
// Usage: node scripts/bench-photos.js [count]
const { pageSession } = require('../tests/lib/browser');

const COUNT = Number(process.argv[2]) || 120;

(async () => {
  const session = await pageSession({ scripts: ['i18n', 'bridge', 'layout', 'render', 'photos'] });
  try {
    const page = await session.newPage();
    const figures = await page.evaluate(async (count) => {
      // One 4000 × 3000 JPEG, re-labelled per photo so the duplicate test passes.
      const c = document.createElement('canvas');
      c.width = 4000; c.height = 3000;
      const x = c.getContext('2d');
      const g = x.createLinearGradient(0, 0, 4000, 3000);
      g.addColorStop(0, '#88b8dd'); g.addColorStop(1, '#b0763a');
      x.fillStyle = g; x.fillRect(0, 0, 4000, 3000);
      for (let i = 0; i < 400; i++) {
        x.fillStyle = `hsl(${i * 37 % 360} 60% 55%)`;
        x.fillRect((i * 997) % 4000, (i * 577) % 3000, 90, 70);
      }
      const jpeg = await new Promise((r) => c.toBlob(r, 'image/jpeg', 0.9));
      const files = Array.from({ length: count }, (_, i) => new File([jpeg], `IMG_${String(i).padStart(4, '0')}.jpg`, { type: 'image/jpeg' }));
      const ms = async (fn) => { const t = performance.now(); await fn(); return performance.now() - t; };
      const out = { count, jpegBytes: jpeg.size };
      out.addMs = await ms(() => TY.photos.addBlobs(files));
      const all = TY.photos.includedItems().map((_, i) => i);
      out.decode384Ms = await ms(() => TY.photos.ensureBitmapsFor(all, 300));
      out.cached384Ms = await ms(() => TY.photos.ensureBitmapsFor(all, 200));
      out.decode1024Ms = await ms(() => TY.photos.ensureBitmapsFor(all.slice(0, 20), 1000));
      out.held = TY.photos.items.filter((it) => it.bitmap).length;
      return out;
    }, COUNT);
    const per = (v) => (v / figures.count).toFixed(1);
    console.log(`photos: ${figures.count} × 4000×3000 JPEG (${(figures.jpegBytes / 1024).toFixed(0)} KiB each)`);
    console.log(`add (thumbnail + EXIF):   ${figures.addMs.toFixed(0)} ms total, ${per(figures.addMs)} ms per photo`);
    console.log(`decode at 384 px:         ${figures.decode384Ms.toFixed(0)} ms total, ${per(figures.decode384Ms)} ms per photo`);
    console.log(`same again (cached):      ${figures.cached384Ms.toFixed(1)} ms total`);
    console.log(`20 photos at 1024 px:     ${figures.decode1024Ms.toFixed(0)} ms total`);
    console.log(`decodes held afterwards:  ${figures.held}`);
  } finally {
    await session.close();
  }
})();
