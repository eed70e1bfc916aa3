'use strict';
// Contact sheets of animation frames in out/preview/: drop and sway falls,
// the title card, the spotlight, the breeze and gust exits, and the album
// opening, turning its pages and closing. Run by scripts/preview.js, or on
// its own.
const path = require('node:path');
const { ROOT } = require('../tests/lib/browser.js');
const { savePng } = require('./lib/render-page.js');
const { openAnimPage, preparePlay } = require('./lib/anim-page.js');

const OUT = path.join(ROOT, 'out', 'preview');

/**
 * Runs in the page: draws window.__play at each moment into one tile of a
 * contact sheet on window.__canvas. A moment is {label, t} with t a
 * function body of (tm) for the animation, or {label, breeze: ms} or
 * {label, gust: t} for an exit.
 */
async function sheetInPage({ moments, cols, tileW, fields }) {
  const data = { ...window.__play, ...(fields || {}) };
  await TY.render.prepareBackground(data.background);
  if (data.titleCfg) await TY.render.ensureCaptionFont(data.titleCfg.font);
  const tm = TY.video.timingOf(data);
  const frame = document.createElement('canvas');
  frame.width = data.w;
  frame.height = data.h;
  const tileH = Math.round((tileW * data.h) / data.w);
  const rows = Math.ceil(moments.length / cols);
  const sheet = document.createElement('canvas');
  sheet.width = cols * tileW;
  sheet.height = rows * (tileH + 28);
  const ctx = sheet.getContext('2d');
  ctx.fillStyle = '#202020';
  ctx.fillRect(0, 0, sheet.width, sheet.height);
  ctx.imageSmoothingQuality = 'high';
  moments.forEach((m, i) => {
    if (m.breeze !== undefined) TY.render.drawBreeze(frame, data, m.breeze, TY.render.breezeSchedule(data.drawList.length));
    else if (m.gust !== undefined) TY.render.drawGust(frame, data, m.gust);
    else TY.render.drawAnimated(frame, data, new Function('tm', 'return ' + m.t)(tm), tm);
    const x = (i % cols) * tileW;
    const y = Math.floor(i / cols) * (tileH + 28);
    ctx.drawImage(frame, x, y + 28, tileW, tileH);
    ctx.fillStyle = '#f0f0f0';
    ctx.font = '16px sans-serif';
    ctx.fillText(m.label, x + 8, y + 20);
  });
  window.__canvas = sheet;
}

const FALL = [
  { label: 'title card fading in', t: 'tm.titleDur * 0.15' },
  { label: 'title card', t: 'tm.titleDur * 0.5' },
  { label: 'first prints falling', t: 'tm.titleDur + tm.stagger * 3 + tm.fallDur * 0.4' },
  { label: 'half the pile', t: 'tm.titleDur + (tm.total - tm.titleDur - tm.spotDur - tm.hold) * 0.5' },
  { label: 'last (starred) prints landing', t: 'tm.total - tm.spotDur - tm.hold - tm.fallDur * 0.5' },
  { label: 'finished pile', t: 'tm.total - tm.spotDur - tm.hold * 0.5' },
];

const SHEETS = [
  ['anim-drop', { motion: 'drop' }, FALL],
  ['anim-sway', { motion: 'sway' }, FALL],
  ['anim-spotlight', { motion: 'drop' }, [
    { label: 'spotlight: moving out', t: 'tm.total - tm.spotDur + tm.spotMove * 0.5' },
    { label: 'spotlight: held', t: 'tm.total - tm.spotReturn - tm.spotHold * 0.5' },
    { label: 'spotlight: returning', t: 'tm.total - tm.spotReturn * 0.4' },
  ]],
  ['anim-title-card', { motion: 'drop', background: 'whiteboard', title: 'Summer on the coast', titleCfg: { font: 'yomogi', color: null } }, [
    { label: 'automatic colour on a bright desk', t: 'tm.titleDur * 0.5' },
  ]],
  ['anim-title-card-dark', { motion: 'drop', background: 'blackboard', title: '夏の海辺で', titleCfg: { font: 'mochiy', color: null } }, [
    { label: 'automatic colour on a dark desk', t: 'tm.titleDur * 0.5' },
  ]],
  ['anim-breeze', { motion: 'drop' }, [0, 600, 1500, 4000, 8000, 14000].map((ms) => ({ label: `breeze ${ms} ms`, breeze: ms }))],
  ['anim-gust', { motion: 'drop' }, [0, 0.1, 0.25, 0.45, 0.7, 0.95].map((t) => ({ label: `gust t=${t}`, gust: t }))],
];

const ALBUM = [
  { label: 'closed', t: '0' },
  { label: 'cover opening', t: 'tm.coverOpenDur * 0.6' },
  { label: 'cover landing', t: 'tm.coverOpenDur * 0.9' },
  { label: 'first spread', t: 'tm.coverOpenDur + tm.pageHold * 0.5' },
  { label: 'page turn 25%', t: 'tm.coverOpenDur + tm.pageHold + tm.turnDur * 0.25' },
  { label: 'page turn 50%', t: 'tm.coverOpenDur + tm.pageHold + tm.turnDur * 0.5' },
  { label: 'page turn 75%', t: 'tm.coverOpenDur + tm.pageHold + tm.turnDur * 0.75' },
  { label: 'closing', t: 'tm.total - tm.closeDur * 0.5' },
  { label: 'closed again', t: 'tm.total' },
];

const ALBUMS = [
  ['anim-album', { W: 1920, H: 1080 }, { title: 'Summer 2026', albumCfg: { starMode: 'both' } }],
  ['anim-album-corners-leather', { W: 1920, H: 1080 }, { title: '京都の旅', albumCfg: { cover: 'leather', mat: 'white', mount: 'corner', photosPerPage: 4 } }],
  ['anim-album-tapes-paper', { W: 1920, H: 1080 }, { albumCfg: { cover: 'paper', mat: 'kraft', mount: 'tape', tapePattern: 'auto', fitMode: 'crop' } }],
  ['anim-album-ledger-scatter', { W: 1920, H: 1080 }, { title: 'Field notes', albumCfg: { cover: 'scatter', mat: 'ledger', starMode: 'coverStar1' } }],
  ['anim-album-portrait', { W: 1080, H: 1920 }, { title: 'Phone album', albumCfg: { cover: 'cloth', mat: 'black', starMode: 'coverStar1' } }],
];

/** Writes every sheet; returns the paths written, relative to the repository. */
async function writeAnimationSheets() {
  const { session, page } = await openAnimPage({ viewport: { width: 800, height: 600 }, photoCount: 16 });
  const written = [];
  const sheet = async (name, args) => {
    await page.evaluate(sheetInPage, args);
    const file = path.join(OUT, name + '.png');
    await savePng(page, file);
    written.push(path.relative(ROOT, file));
  };
  const still = { W: 1920, H: 1080, scale: 'm', density: 1, background: 'wood', frame: 'cheki', filter: 'none', starred: 2 };
  try {
    await preparePlay(page, still, { title: 'Tessary', titleCfg: { font: 'yomogi', color: null },
      imageTitleCfg: { text: 'Tessary', position: 'bottom-right', size: 48, font: 'yomogi' } });
    for (const [name, fields, moments] of SHEETS) {
      const single = moments.length === 1;
      await sheet(name, { moments, cols: single ? 1 : 3, tileW: single ? 960 : 640, fields });
    }
    for (const [name, size, fields] of ALBUMS) {
      await preparePlay(page, { ...still, ...size, scale: 'l', starred: 1, captions: true, captionCfg: { font: 'gothic', size: 'm' } },
        { motion: 'album', background: 'wood', ...fields });
      await sheet(name, { moments: ALBUM, cols: 3, tileW: size.W > size.H ? 640 : 360 });
    }
    if (page.pageErrors.length) throw page.pageErrors[0];
  } finally {
    await session.close();
  }
  return written;
}

module.exports = { writeAnimationSheets };

if (require.main === module) {
  writeAnimationSheets().then((files) => {
    console.log('animation preview:');
    for (const f of files) console.log('  ' + f);
  }, (e) => {
    console.error(e);
    process.exitCode = 1;
  });
}
