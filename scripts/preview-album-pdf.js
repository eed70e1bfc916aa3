'use strict';
// Album PDFs of the sample photos in out/preview/album-pdf/, made the way the
// program makes them: Chromium draws the A4 sheets one at a time at 300 dpi,
// each sheet's photos decoded for print just before it, and hands over each
// sheet's JPEG, which goes to the host's PDF writer (through the small tool
// built from it). Each PDF is then listed by poppler and drawn at 40 dpi into
// a contact sheet, for looking at.
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { pageSession, ROOT } = require('../tests/lib/browser.js');
const { samplePhotos } = require('./lib/render-page.js');

const OUT = path.join(ROOT, 'out', 'preview', 'album-pdf');
const BUILD = path.join(ROOT, 'build', 'bench');
const TOOL = path.join(BUILD, 'tests', 'native', 'tessary_album_pdf_tool');

/** Albums to print: 36 photos (the samples repeated), 4 to a page, plus the cover. */
const ALBUMS = [
  {
    name: 'white-pockets', whiteBg: true, title: 'Summer 2026', captions: true,
    albumCfg: { starMode: 'coverStar1' }, stars: [4],
  },
  {
    name: 'black-mat-tapes', whiteBg: false, title: 'Tessary',
    albumCfg: { cover: 'leather', mount: 'tape', tapePattern: 'auto', starMode: 'featurePages' }, stars: [1, 6],
  },
];
const PHOTO_COUNT = 36;

/** Runs in the page: prints one album, handing each sheet's JPEG to window.__savePage. */
async function printAlbumInPage({ base, files, album, count }) {
  if (!window.__sources) {
    window.__sources = [];
    for (const file of files) window.__sources.push(await createImageBitmap(await (await fetch(base + '/' + file)).blob()));
  }
  const sources = window.__sources;
  const names = files.map((f) => f.replace(/^.*\//, '').replace(/\.[^.]+$/, ''));
  const drawList = Array.from({ length: count }, (_, i) => ({ photoIndex: i, x: 0, y: 0, rot: 0, outerW: 100, outerH: 111 }));
  for (const s of album.stars.slice().reverse()) drawList.push({ photoIndex: s, featured: true });
  const data = {
    w: 1920, h: 1080, motion: 'album', speed: 1, background: 'paper', frame: 'cheki', filter: 'none',
    drawList, bitmaps: [], albumCfg: album.albumCfg, title: album.title, comments: [],
    captions: album.captions ? drawList.map((_, i) => names[i % names.length]) : null,
    captionCfg: album.captions ? { font: 'gothic', size: 'm' } : null,
  };
  if (data.captionCfg) await TY.render.ensureCaptionFont('gothic');
  const held = [];
  return TY.album.renderPdfSheets(data, {
    paper: TY.album.printPaper('a4'),
    whiteBg: album.whiteBg,
    loadPhotos: async (indices, side) => {
      // Only this sheet's photos are held at print size.
      for (const b of held.splice(0)) b.close();
      const list = [];
      for (const i of indices) {
        const src = sources[i % sources.length];
        const k = Math.min(1, side / Math.max(src.width, src.height));
        list[i] = await createImageBitmap(src, {
          resizeWidth: Math.round(src.width * k), resizeHeight: Math.round(src.height * k), resizeQuality: 'high',
        });
        held.push(list[i]);
      }
      return list;
    },
    onPage: async (canvas, index) => {
      const sheet = await TY.album.encodePdfSheet(canvas);
      await window.__savePage(index, sheet.base64, sheet.widthPx, sheet.heightPx);
    },
  });
}

function run(cmd, args) {
  return execFileSync(cmd, args, { encoding: 'utf8' });
}

async function main() {
  run('cmake', ['-S', ROOT, '-B', BUILD, '-DCMAKE_BUILD_TYPE=Release', '-DTESSARY_GUI=OFF']);
  run('cmake', ['--build', BUILD, '-j2', '--target', 'tessary_album_pdf_tool']);
  const files = samplePhotos();
  if (!files.length) throw new Error('no sample photos in samples/photos');
  fs.rmSync(OUT, { recursive: true, force: true });
  fs.mkdirSync(OUT, { recursive: true });

  const session = await pageSession({ scripts: ['i18n', 'layout', 'album', 'render', 'video'] });
  try {
    const page = await session.newPage();
    let sheetDir = '';
    const saved = [];
    await page.exposeFunction('__savePage', (index, base64, w, h) => {
      const file = path.join(sheetDir, `sheet-${String(index + 1).padStart(2, '0')}.jpg`);
      fs.writeFileSync(file, Buffer.from(base64, 'base64'));
      saved.push({ file, w, h });
    });
    for (const album of ALBUMS) {
      sheetDir = fs.mkdtempSync(path.join(OUT, 'sheets-'));
      saved.length = 0;
      const t0 = Date.now();
      const count = await page.evaluate(printAlbumInPage, { base: session.url, files, album, count: PHOTO_COUNT });
      const seconds = (Date.now() - t0) / 1000;
      const pdf = path.join(OUT, `${album.name}.pdf`);
      run(TOOL, [pdf, 'a4', ...saved.map((s) => s.file)]);
      const bytes = saved.reduce((sum, s) => sum + fs.statSync(s.file).size, 0);
      const pages = /Pages:\s+(\d+)/.exec(run('pdfinfo', [pdf]))[1];
      console.log(`${album.name}: ${count} sheets drawn in ${seconds.toFixed(1)} s, JPEGs ${(bytes / count / 1048576).toFixed(2)} MB a sheet on average; ${pdf} has ${pages} pages`);
      const drawn = path.join(sheetDir, 'drawn');
      run('pdftoppm', ['-r', '40', '-png', pdf, drawn]);
      const pngs = fs.readdirSync(sheetDir).filter((f) => f.startsWith('drawn')).sort().map((f) => path.join(sheetDir, f));
      const contact = path.join(OUT, `${album.name}-contact.png`);
      run('montage', [...pngs, '-tile', '6x', '-geometry', '+8+8', '-background', '#777', contact]);
      console.log(`  contact sheet: ${contact}`);
      fs.rmSync(sheetDir, { recursive: true, force: true });
    }
  } finally {
    await session.close();
  }
}

main().catch((err) => {
  console.error(err);
  process.exit(1);
});
