'use strict';
// Frames of the live wallpaper's player page at 1920 × 1080 in
// out/preview/: the pile falling, resting, leaving with the breeze, and the
// next round of "Remake the creation each time" beginning. The sample
// photos are handed over as the generator does; a paused clock stops the
// player exactly where each picture is taken.
const path = require('node:path');
const { ROOT } = require('../tests/lib/browser.js');
const { savePng } = require('./lib/render-page.js');
const { SAMPLE_FILES, playerSession, makeRecord, hostEmit, playerState, waitForState } = require('../tests/lib/wallpaper-page.js');

const OUT = path.join(ROOT, 'out', 'preview');

/**
 * Moves the paused clock on by ms: a jump (software drawing at this size
 * takes far longer than a display frame) and then two frames drawn there.
 */
async function jump(page, ms) {
  await page.clock.fastForward(Math.max(0, Math.round(ms)));
  await page.clock.runFor(34);
}

/** Jumps on in small steps until the player is in `phase` of `cycle`. */
async function jumpUntil(page, phase, cycle) {
  for (let i = 0; i < 1000; i++) {
    const s = await playerState(page);
    if (s.phase === phase && s.cycle === cycle) return s;
    await jump(page, 200);
  }
  throw new Error(`never reached ${phase} of cycle ${cycle}`);
}

async function main() {
  const session = await playerSession();
  const { page, errors, close } = await session.open({ width: 1920, height: 1080, clock: true });
  try {
    const record = await makeRecord(page, {
      w: 1920, h: 1080, photoCount: SAMPLE_FILES.length, layouts: 2, holdSec: 3, wind: 'breeze',
      captions: SAMPLE_FILES.map((f) => f.replace(/\.jpg$/, '').replace(/-/g, ' ')), captionCfg: { font: 'yomogi', size: 'm' },
      imageTitleCfg: { text: 'Tessary', position: 'bottom-right', size: 64, style: 'bold', font: 'mochiy' },
    });
    record.spotlightIndex = record.drawList.length - 1;
    await hostEmit(page, 'wallpaperData', record);
    await waitForState(page, (s) => s.phase === 'playing', 60000);
    const total = await page.evaluate((r) => TY.video.timingOf(TY.render.normalizePlayData(r)).total, record);
    const run = (ms) => jump(page, ms - 34);
    const shots = [
      ['wallpaper-1-falling', () => run(2500)],
      ['wallpaper-2-spotlight', () => run(total * 1000 - 2000 - 2500)],
      ['wallpaper-3-resting', async () => { await jumpUntil(page, 'resting', 1); await run(500); }],
      ['wallpaper-4-breeze-1500ms', async () => { await jumpUntil(page, 'exiting', 1); await run(1500); }],
      ['wallpaper-5-breeze-6000ms', () => run(4500)],
      ['wallpaper-6-breeze-12000ms', () => run(6000)],
      ['wallpaper-7-second-layout-falling', async () => { await jumpUntil(page, 'playing', 2); await run(3500); }],
    ];
    for (const [name, step] of shots) {
      await step();
      await savePng(page, path.join(OUT, `${name}.png`), "document.getElementById('wp')");
      const s = await playerState(page);
      console.log(`${name}.png: ${s.phase}, cycle ${s.cycle}, variant ${s.variant}, ${s.photos} photos (${(s.decodedPixels / 1e6).toFixed(2)} Mpx)`);
    }
    if (errors.length) throw errors[0];
  } finally {
    await close();
    await session.close();
  }
}

main().catch((err) => {
  console.error(err);
  process.exit(1);
});
