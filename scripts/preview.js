'use strict';
// Writes sample stills to out/preview/: every frame style and filter, the
// tape patterns, every background, titles at several positions, and full
// piles at 1080p, 4K and phone size.
const path = require('node:path');
const { ROOT } = require('../tests/lib/browser.js');
const { openRenderPage, drawStillInPage, savePng } = require('./lib/render-page.js');
const { writeAnimationSheets } = require('./preview-anim.js');

const OUT = path.join(ROOT, 'out', 'preview');

/**
 * Runs in the page: draws loose prints on a background, each card given as
 * {x, y, rot, outerW, frame, filter, photo, caption, tapePattern, featured}.
 */
async function sheetInPage({ W, H, background, cards, captionCfg, tapes }) {
  const R = TY.render;
  await R.prepareBackground(background);
  if (captionCfg) await R.ensureCaptionFont(captionCfg.font);
  const canvas = window.__canvas = window.__canvas || document.createElement('canvas');
  canvas.width = W;
  canvas.height = H;
  const ctx = canvas.getContext('2d');
  R.paintBackground(ctx, background, W, H);
  ctx.imageSmoothingQuality = 'high';
  for (const c of cards) {
    const src = window.__sources[c.photo % window.__sources.length];
    const p = { x: c.x, y: c.y, rot: c.rot, outerW: c.outerW, outerH: c.outerW / 1.14 * 1.27,
      photoIndex: c.photo, tapePattern: c.tapePattern, featured: c.featured };
    R.drawOne(ctx, p, src, c.frame, c.filter, c.caption, captionCfg);
  }
  for (const t of tapes || []) {
    ctx.save();
    ctx.translate(t.x, t.y);
    ctx.rotate(t.rot || 0);
    R.paintTape(ctx, t.tw, t.th, t.seed === undefined ? null : R.mulberry32(t.seed), t.photo || 0, t.pattern, t.edge);
    ctx.restore();
  }
}

/** Cards in a row, centred on y. */
function row(keys, y, W, outerW, make) {
  const step = W / keys.length;
  return keys.map((key, i) => ({ x: step * (i + 0.5), y, rot: (i % 2 ? 1 : -1) * 0.06, outerW, photo: i, ...make(key, i) }));
}

const FRAMES = ['cheki', 'square', 'stamp', 'tape', 'pin', 'magnet', 'vintage'];
const FILTERS = ['none', 'mono', 'sepia', 'retro', 'cool', 'warm', 'stardim'];
const PATTERNS = ['none', 'fuji', 'sunflower', 'sakura', 'stars', 'shinkansen', 'dots'];
const BACKGROUND_KEYS = ['gray', 'wood', 'leather', 'steel', 'almite', 'blackboard', 'cork', 'linen', 'marble',
  'marbleblack', 'washi', 'tatami', 'whiteboard', 'custombg', 'paper'];

const TITLES = [
  ['title-top-left', { text: 'Summer 2026', position: 'top-left', size: 64, style: 'bold', font: 'yomogi' }],
  ['title-center', { text: 'Kyoto Trip', position: 'center', size: 96, style: 'bolditalic', font: 'mochiy' }],
  ['title-bottom-right', { text: 'Our garden', position: 'bottom-right', size: 48, color: '#111111', font: 'hachimaru' }],
  ['title-free', { text: '夏休みの思い出', free: true, freePos: { x: 0.3, y: 0.7 }, size: 80, color: '#ffd23e', font: 'yusei' }],
  ['title-long', {
    text: 'A very long title that certainly does not fit on one line of this picture at this size',
    position: 'top-center', size: 128, style: 'bold',
  }],
];

async function main() {
  const { session, page, samples } = await openRenderPage({ viewport: { width: 800, height: 600 }, photoCount: 16 });
  const written = [];
  const save = async (name) => {
    const file = path.join(OUT, name + '.png');
    await savePng(page, file);
    written.push(path.relative(ROOT, file));
  };
  try {
    const captionCfg = { font: 'yomogi', size: 'm' };
    await page.evaluate(sheetInPage, {
      W: 2400, H: 1300, background: 'linen', captionCfg,
      cards: [
        ...row(FRAMES, 330, 2400, 300, (frame) => ({ frame, filter: 'none', caption: frame })),
        ...row(FILTERS, 900, 2400, 300, (filter) => ({ frame: 'cheki', filter, caption: filter })),
      ],
    });
    await save('frames-and-filters');

    await page.evaluate(sheetInPage, {
      W: 2400, H: 1100, background: 'cork', captionCfg: { font: 'hachimaru', size: 'l' },
      cards: row(PATTERNS, 330, 2400, 300, (tapePattern) => ({ frame: 'tape', filter: 'none', caption: tapePattern, tapePattern })),
      tapes: [
        ...PATTERNS.map((pattern, i) => ({ x: 2400 / 7 * (i + 0.5), y: 780, tw: 300, th: 108, pattern, seed: i, edge: 1.2 })),
        ...PATTERNS.map((pattern, i) => ({ x: 2400 / 7 * (i + 0.5), y: 960, tw: 78, th: 28, pattern, edge: 0.8 })),
      ],
    });
    await save('tapes');

    const still = (o) => page.evaluate(drawStillInPage, {
      W: 1920, H: 1080, scale: 'm', density: 1, background: 'wood', frame: 'cheki', filter: 'none',
      starred: 2, captions: true, captionCfg, ...o,
    });
    for (const background of BACKGROUND_KEYS) {
      await still({ background, density: 0.5, frame: FRAMES[BACKGROUND_KEYS.indexOf(background) % FRAMES.length] });
      await save('bg-' + background);
    }
    for (const [name, title] of TITLES) {
      await still({ background: 'marble', title });
      await save(name);
    }
    await still({ scale: 'l', starred: 2, title: { text: 'Tessary', position: 'bottom-center', size: 64, font: 'yomogi' } });
    await save('still-1080p');
    await still({ W: 3840, H: 2160, scale: 's', density: 1.8, starred: 5, background: 'steel', frame: 'magnet',
      filter: 'retro', title: { text: 'Tessary 4K', position: 'top-right', size: 80, style: 'bold' } });
    await save('still-4k');
    await still({ W: 1080, H: 1920, scale: 'm', starred: 3, background: 'tatami', frame: 'tape', filter: 'warm',
      dimOthers: true, dimTranslucent: true, title: { text: 'ゆめ', position: 'middle-left', size: 96, font: 'mochiy' } });
    await save('still-phone-dimmed');
    if (page.pageErrors.length) throw page.pageErrors[0];
  } finally {
    await session.close();
  }
  written.push(...await writeAnimationSheets());
  console.log(`preview (${samples ? 'sample photos' : 'generated pictures'}):`);
  for (const f of written) console.log('  ' + f);
}

main().catch((e) => {
  console.error(e);
  process.exitCode = 1;
});
