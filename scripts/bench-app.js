'use strict';
// Prints figures for the generator page in Chromium (not a test): importing
// 1000 photos (time until listed with thumbnails, time until the first pile,
// peak memory of the page's processes, pictures still decoded afterwards),
// and Shuffle to the finished still at 1920 × 1080 and 3840 × 2160 with 100
// twelve-megapixel JPEGs. The photos are drawn at run time, never stored.
// Usage: node scripts/bench-app.js [importCount] [shuffleCount]
const { execFileSync } = require('node:child_process');
const { startServer, launchBrowser } = require('../tests/lib/browser');

const IMPORT_COUNT = Number(process.argv[2]) || 1000;
const SHUFFLE_COUNT = Number(process.argv[3]) || 100;

/** Resident memory (KiB) of this process's descendant renderer processes. */
function rendererRssKiB() {
  const rows = execFileSync('ps', ['-eo', 'pid=,ppid=,rss=,args='], { encoding: 'utf8' }).trim().split('\n')
    .map((line) => {
      const m = /^\s*(\d+)\s+(\d+)\s+(\d+)\s+(.*)$/.exec(line);
      return m ? { pid: +m[1], ppid: +m[2], rss: +m[3], args: m[4] } : null;
    }).filter(Boolean);
  const ours = new Set([process.pid]);
  for (let grew = true; grew;) {
    grew = false;
    for (const r of rows) if (ours.has(r.ppid) && !ours.has(r.pid)) { ours.add(r.pid); grew = true; }
  }
  return rows.filter((r) => ours.has(r.pid) && r.args.includes('--type=renderer')).reduce((sum, r) => sum + r.rss, 0);
}

/** Samples renderer memory every 200 ms until stopped; resolves to the peak in MiB. */
function memoryPeak() {
  let peak = 0;
  const timer = setInterval(() => { peak = Math.max(peak, rendererRssKiB()); }, 200);
  return { stop: () => { clearInterval(timer); peak = Math.max(peak, rendererRssKiB()); return peak / 1024; } };
}

/** In the page: `count` JPEGs of w × h, one picture relabelled per file. */
async function makeFiles({ count, w, h }) {
  const c = document.createElement('canvas');
  c.width = w;
  c.height = h;
  const x = c.getContext('2d');
  const g = x.createLinearGradient(0, 0, w, h);
  g.addColorStop(0, '#88b8dd');
  g.addColorStop(1, '#b0763a');
  x.fillStyle = g;
  x.fillRect(0, 0, w, h);
  for (let i = 0; i < 400; i++) {
    x.fillStyle = `hsl(${i * 37 % 360} 60% 55%)`;
    x.fillRect((i * 997) % w, (i * 577) % h, w / 40, h / 40);
  }
  const jpeg = await new Promise((r) => c.toBlob(r, 'image/jpeg', 0.9));
  c.width = 0;
  window.__benchFiles = Array.from({ length: count }, (_, i) => new File([jpeg], `IMG_${String(i).padStart(4, '0')}.jpg`, { type: 'image/jpeg' }));
  return jpeg.size;
}

/** In the page: imports the prepared files; times until listed and until the first pile. */
async function timeImport() {
  const t0 = performance.now();
  const listed = new Promise((resolve) => {
    const poll = () => (document.querySelectorAll('.thumb').length >= window.__benchFiles.length ? resolve(performance.now() - t0) : setTimeout(poll, 20));
    poll();
  });
  window.TY.ui.importFiles(window.__benchFiles);
  const listedMs = await listed;
  while (!window.TY.ui.hasResult() || window.TY.ui.isBusy()) await new Promise((r) => setTimeout(r, 20));
  window.__benchFiles = null;
  return {
    listedMs, pileMs: performance.now() - t0,
    prints: window.TY.ui.lastVisual().drawList.length,
    decoded: window.TY.photos.items.filter((it) => it.bitmap).length,
  };
}

/** In the page: one Shuffle at a preset, timed to the finished still. */
async function timeShuffle(preset) {
  document.getElementById('sizePreset').value = preset;
  const t0 = performance.now();
  await window.TY.ui.regenerate();
  return { ms: performance.now() - t0, prints: window.TY.ui.lastVisual().drawList.length };
}

(async () => {
  const server = await startServer();
  const chromium = await launchBrowser();
  try {
    const open = async () => {
      const page = await chromium.browser.newPage({ viewport: { width: 1366, height: 800 } });
      await page.goto(`${server.url}/web/index.html?lang=en`);
      return page;
    };

    let page = await open();
    const importBytes = await page.evaluate(makeFiles, { count: IMPORT_COUNT, w: 2048, h: 1536 });
    const before = rendererRssKiB() / 1024;
    const peak = memoryPeak();
    const imported = await page.evaluate(timeImport);
    const peakMiB = peak.stop();
    const after = rendererRssKiB() / 1024;
    console.log(`import: ${IMPORT_COUNT} × 2048×1536 JPEG (${(importBytes / 1024).toFixed(0)} KiB each)`);
    console.log(`  listed with thumbnails: ${(imported.listedMs / 1000).toFixed(1)} s (${(imported.listedMs / IMPORT_COUNT).toFixed(1)} ms per photo)`);
    console.log(`  first pile shown:       ${(imported.pileMs / 1000).toFixed(1)} s (${imported.prints} prints)`);
    console.log(`  page memory:            ${before.toFixed(0)} MiB before, peak ${peakMiB.toFixed(0)} MiB, ${after.toFixed(0)} MiB after`);
    console.log(`  pictures decoded:       ${imported.decoded} of ${IMPORT_COUNT} items`);
    await page.close();

    page = await open();
    const bytes = await page.evaluate(makeFiles, { count: SHUFFLE_COUNT, w: 4000, h: 3000 });
    await page.evaluate(timeImport);
    console.log(`shuffle: ${SHUFFLE_COUNT} × 4000×3000 JPEG (${(bytes / 1024).toFixed(0)} KiB each), Shuffle to finished still`);
    for (const preset of ['fhd', 'uhd']) {
      const first = await page.evaluate(timeShuffle, preset);
      const again = await page.evaluate(timeShuffle, preset);
      console.log(`  ${preset === 'fhd' ? '1920×1080' : '3840×2160'}: ${first.ms.toFixed(0)} ms (decodes at a new size), `
        + `${again.ms.toFixed(0)} ms again (${again.prints} prints)`);
    }
    await page.close();
  } finally {
    await chromium.close();
    await server.close();
  }
})();
