'use strict';
// Prints layout and drawing figures (not a test): the covering layout at 4K,
// the still picture at 1080p and 4K with a cold and a warm filter cache, and
// the paint time of every background at 4K. Chromium headless, software
// drawing; figures vary with the machine.
const { openRenderPage, drawStillInPage } = require('./lib/render-page.js');
const { runAnimationBench } = require('./bench-anim.js');

const RUNS = 5;

/** Runs in the page: median milliseconds and the placement count of `generate`. */
function benchGenerate({ runs }) {
  const times = [];
  let count = 0;
  for (let i = 0; i < runs; i++) {
    const t0 = performance.now();
    count = TY.layout.generate(3840, 2160, 24, 's', 1.8).length;
    times.push(performance.now() - t0);
  }
  times.sort((a, b) => a - b);
  return { count, ms: times[Math.floor(runs / 2)] };
}

/** Runs in the page: draws the last still again (filter cache warm), read back to force the work. */
function redrawStill() {
  const t0 = performance.now();
  TY.render.draw(...window.__drawArgs);
  window.__canvas.getContext('2d').getImageData(0, 0, 1, 1);
  return performance.now() - t0;
}

/** Runs in the page: paint time of every background at W × H, with its texture and with its fallback. */
async function benchBackgrounds({ W, H }) {
  const R = TY.render;
  const canvas = document.createElement('canvas');
  canvas.width = W;
  canvas.height = H;
  const ctx = canvas.getContext('2d');
  const out = [];
  // The first paint also allocates the canvas; keep that out of the figures.
  R.paintBackground(ctx, 'paper', W, H);
  ctx.getImageData(0, 0, 1, 1);
  const timed = (paint) => {
    const t0 = performance.now();
    paint();
    ctx.getImageData(0, 0, 1, 1);
    return performance.now() - t0;
  };
  for (const [key, bg] of Object.entries(R.BACKGROUNDS)) {
    await R.prepareBackground(key);
    const ms = timed(() => R.paintBackground(ctx, key, W, H));
    const texture = R.hasBackgroundImage(key);
    out.push({ key, ms, texture, fallbackMs: texture ? timed(() => bg.procedural(ctx, W, H)) : null });
  }
  return out;
}

const fmt = (ms) => ms.toFixed(1).padStart(8) + ' ms';

async function main() {
  const { session, page, samples } = await openRenderPage({ photoCount: 24 });
  try {
    console.log(`photos: ${samples ? 'samples/photos' : 'generated pictures'}`);
    const gen = await page.evaluate(benchGenerate, { runs: RUNS });
    console.log(`generate 3840x2160 size s density 1.8: ${gen.count} placements, median ${fmt(gen.ms)}`);

    for (const [W, H] of [[1920, 1080], [3840, 2160]]) {
      const first = await page.evaluate(drawStillInPage, {
        W, H, scale: 's', density: 1, background: 'gray', frame: 'cheki', filter: 'mono', starred: 3,
        captions: true, captionCfg: { font: 'gothic', size: 'm' },
      });
      const warm = [];
      for (let i = 0; i < 3; i++) warm.push(await page.evaluate(redrawStill));
      warm.sort((a, b) => a - b);
      console.log(`still ${W}x${H}, ${first.prints} prints of ${first.photos} photos, filter mono: ` +
        `first draw (cache cold) ${fmt(first.ms)}, second draw (cache warm) ${fmt(warm[1])}`);
    }

    console.log('background paint at 3840x2160:');
    for (const b of await page.evaluate(benchBackgrounds, { W: 3840, H: 2160 })) {
      const fallback = b.texture ? `   procedural fallback ${fmt(b.fallbackMs)}` : '   (procedural only)';
      console.log(`  ${b.key.padEnd(12)}${fmt(b.ms)}${b.texture ? ' texture' : '        '}${fallback}`);
    }
    if (page.pageErrors.length) throw page.pageErrors[0];
  } finally {
    await session.close();
  }
  console.log('animation:');
  for (const line of await runAnimationBench()) console.log('  ' + line);
}

main().catch((e) => {
  console.error(e);
  process.exitCode = 1;
});
