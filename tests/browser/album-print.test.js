'use strict';
// The album's PDF sheets in Chromium: which sheets come out and in what
// order, what is drawn on them at 300 dpi, the white background, one sheet at
// a time with its own photos, the JPEG handed to the host, and the screen
// album left as it was.
const test = require('node:test');
const assert = require('node:assert/strict');
const { sharedPage } = require('../lib/page-fixture');

const SCRIPTS = ['i18n', 'layout', 'album', 'render', 'video'];

/** Page-side helpers: coloured stand-in photos, album records and a sheet recorder. */
const HELPERS = `(() => {
  const photo = (i, light) => {
    const c = document.createElement('canvas');
    c.width = 160 + (i % 3) * 40; c.height = 160;
    const g = c.getContext('2d');
    g.fillStyle = 'hsl(' + ((i * 47) % 360) + ', 70%, ' + (light ? 80 : 45) + '%)';
    g.fillRect(0, 0, c.width, c.height);
    g.fillStyle = '#fff'; g.fillRect(20, 20, 30, 30);
    return c;
  };
  window.photoColour = (i, light) => Array.from(photo(i, light).getContext('2d').getImageData(100, 100, 1, 1).data.slice(0, 3));
  window.albumRecord = (n, extra) => {
    const drawList = Array.from({ length: n }, (_, i) => ({ photoIndex: i, x: 0, y: 0, rot: 0, outerW: 100, outerH: 111 }));
    return Object.assign({ w: 960, h: 540, motion: 'album', speed: 1, background: 'paper', frame: 'cheki', filter: 'none',
      drawList, bitmaps: Array.from({ length: n }, (_, i) => photo(i, true)), albumCfg: {}, title: null, comments: [], captions: null },
      extra || {});
  };
  // Texts filled on each canvas, with their colour.
  const texts = new Map();
  const fillText = CanvasRenderingContext2D.prototype.fillText;
  CanvasRenderingContext2D.prototype.fillText = function (text, x, y, maxWidth) {
    if (!texts.has(this.canvas)) texts.set(this.canvas, []);
    texts.get(this.canvas).push({ text: String(text), colour: String(this.fillStyle).replace(/ /g, '') });
    return fillText.call(this, text, x, y, maxWidth);
  };
  // Prints the record on A4 (or the paper given) and reports every sheet:
  // its size, its texts, the colours at the given points in page
  // coordinates, and the order in which photos were asked for and sheets handed over.
  window.printSheets = async (data, { whiteBg, paper, points } = {}) => {
    const events = [];
    const sheets = [];
    const count = await TY.album.renderPdfSheets(data, {
      paper: TY.album.printPaper(paper), whiteBg,
      loadPhotos: async (indices, side) => {
        events.push('photos ' + indices.join(',') + ' at ' + side);
        await new Promise((r) => setTimeout(r, 0));
        const list = [];
        for (const i of indices) list[i] = photo(i, false);
        return list;
      },
      onPage: async (canvas, index) => {
        events.push('sheet ' + index);
        const ctx = canvas.getContext('2d');
        const at = (x, y) => Array.from(ctx.getImageData(Math.round(x), Math.round(y), 1, 1).data.slice(0, 3));
        sheets.push({ index, w: canvas.width, h: canvas.height, texts: texts.get(canvas) || [],
          colours: (points || []).map(([x, y]) => at(x, y)) });
        texts.delete(canvas);
        await new Promise((r) => setTimeout(r, 0));
        canvas.width = 0; canvas.height = 0;
        events.push('released ' + index);
      },
    });
    return { count, sheets, events };
  };
  // Centres of a normal A4 page's cells and of a feature page's one cell.
  window.cellCentres = (albumCfg, feature) => {
    const cfg = TY.album.cfgOf(albumCfg);
    return TY.album.cellRects(cfg, { portrait: true, pageW: 2480, pageH: 3508 }, feature, false)
      .map((c) => [c.x + c.side / 2, c.y + c.side / 2]);
  };
})();`;

const shared = sharedPage(SCRIPTS, HELPERS);

/** Largest channel difference between two RGB triples. */
const diff = (a, b) => Math.max(...a.map((v, i) => Math.abs(v - b[i])));
const numbers = (sheet) => sheet.texts.filter((t) => /^\d+$/.test(t.text)).map((t) => t.text);

test('nine photos print a cover sheet and three numbered pages, photos in their cells', async () => {
  const r = await shared.page.evaluate(async () => {
    const points = [...window.cellCentres({}, false), [1240, 0.65 * 3508]];
    const titled = await window.printSheets(window.albumRecord(9, { title: 'Summer 2026' }), { points });
    const plain = await window.printSheets(window.albumRecord(9), { points });
    return { titled, plain, colours: Array.from({ length: 9 }, (_, i) => window.photoColour(i)) };
  });
  const { titled, plain, colours } = r;
  assert.equal(titled.count, 4);
  assert.deepEqual(titled.sheets.map((s) => [s.index, s.w, s.h]), [[0, 2480, 3508], [1, 2480, 3508], [2, 2480, 3508], [3, 2480, 3508]]);
  const cover = titled.sheets[0];
  assert.ok(cover.texts.some((t) => t.text === 'Summer 2026'), 'the cover carries the title');
  assert.deepEqual(numbers(cover), [], 'the cover has no page number');
  const [cr, cg, cb] = cover.colours[4];
  assert.ok(cr > cg + 30 && cr > cb + 30, `the cloth cover is red (${cover.colours[4]})`);
  assert.deepEqual(titled.sheets.slice(1).map(numbers), [['1'], ['2'], ['3']]);
  // Photos 0-3, 4-7 and 8 in the cells, at their print decode (the darker shade).
  for (let page = 0; page < 3; page++) {
    for (let cell = 0; cell < 4; cell++) {
      const photo = page * 4 + cell;
      const seen = titled.sheets[page + 1].colours[cell];
      if (photo < 9) assert.ok(diff(seen, colours[photo]) <= 3, `page ${page + 1} cell ${cell} shows photo ${photo} (${seen})`);
      else assert.ok(diff(seen, colours[8]) > 40, `page ${page + 1} cell ${cell} is empty (${seen})`);
    }
  }
  assert.equal(plain.count, 3, 'without a title or a cover photo the cover is not printed');
  assert.deepEqual(plain.sheets.map(numbers), [['1'], ['2'], ['3']]);
});

test('feature pages come first, one star each, and the page numbers run on', async () => {
  const r = await shared.page.evaluate(async () => {
    const data = window.albumRecord(9, { title: 'Trip', albumCfg: { starMode: 'featurePages' } });
    data.drawList.push({ photoIndex: 2, featured: true }, { photoIndex: 5, featured: true }); // ☆2 = 2, ☆1 = 5
    const points = [window.cellCentres({}, true)[0], ...window.cellCentres({}, false)];
    return { printed: await window.printSheets(data, { points }), colours: Array.from({ length: 9 }, (_, i) => window.photoColour(i)) };
  });
  const { printed, colours } = r;
  assert.equal(printed.count, 5, 'cover, two feature pages, then 7 photos on two pages');
  assert.deepEqual(printed.sheets.map(numbers), [[], ['1'], ['2'], ['3'], ['4']]);
  assert.ok(diff(printed.sheets[1].colours[0], colours[5]) <= 3, '☆1 has the first feature page');
  assert.ok(diff(printed.sheets[2].colours[0], colours[2]) <= 3, '☆2 the second');
  assert.ok(diff(printed.sheets[3].colours[1], colours[0]) <= 3, 'the normal pages start with the first photo');
  assert.ok(diff(printed.sheets[3].colours[3], colours[3]) <= 3, 'and leave the stars out');
  assert.ok(printed.events.includes('photos 5 at 918'), 'a feature page asks for its star at the print cell side');
});

test('photos are decoded at the print cell side of the paper and layout', async () => {
  const r = await shared.page.evaluate(() => [
    TY.album.printCellSide({}, 2480, 3508),
    TY.album.printCellSide({}, 2550, 3300),
    TY.album.printCellSide({ photosPerPage: 9 }, 2480, 3508),
    TY.album.printCellSide({ mat: 'ledger' }, 2480, 3508),
    [TY.album.printPaper('letter'), TY.album.printPaper('a3', 'letter'), TY.album.printPaper('a3'), TY.album.printPaper()],
  ]);
  // min((2480 − 496 − 148.8) ÷ 2, (3508 − 496 − 148.8) ÷ 2) = 917.6; Letter
  // min(943.5, 1318.5); nine a page (2480 − 496 − 297.6) ÷ 3 = 562.1; the
  // ledger's photo cell is 0.55 × 2480 wide.
  assert.deepEqual(r.slice(0, 4), [918, 944, 563, 1364]);
  assert.deepEqual(r[4], [{ key: 'letter', w: 2550, h: 3300 }, { key: 'letter', w: 2550, h: 3300 },
    { key: 'a4', w: 2480, h: 3508 }, { key: 'a4', w: 2480, h: 3508 }]);
});

test('a white background prints pure white pages with the text colours of a light mat', async () => {
  const r = await shared.page.evaluate(async () => {
    const record = () => window.albumRecord(2, { captions: ['Beach', 'Harbour'], captionCfg: { font: 'gothic', size: 'm' } });
    const corners = [[3, 3], [2476, 3504], [1240, 3400]];
    return {
      white: await window.printSheets(record(), { whiteBg: true, points: corners }),
      mat: await window.printSheets(record(), { whiteBg: false, points: corners }),
    };
  });
  const textColours = (sheet) => sheet.texts.map((t) => `${t.text} ${t.colour}`);
  assert.deepEqual(r.white.sheets[0].colours, [[255, 255, 255], [255, 255, 255], [255, 255, 255]]);
  assert.deepEqual(textColours(r.white.sheets[0]), ['Beach rgba(66,56,46,0.86)', 'Harbour rgba(66,56,46,0.86)', '1 rgba(70,58,44,0.55)']);
  for (const seen of r.mat.sheets[0].colours) assert.ok(diff(seen, [0x23, 0x20, 0x1d]) <= 40, `the black mat (${seen})`);
  assert.deepEqual(textColours(r.mat.sheets[0]), ['Beach rgba(232,224,208,0.82)', 'Harbour rgba(232,224,208,0.82)', '1 rgba(232,224,208,0.5)']);
});

test('sheets are drawn one at a time, each with only its own photos, and released before the next', async () => {
  const { events } = await shared.page.evaluate(() => {
    const data = window.albumRecord(6, { title: 'Trip', albumCfg: { starMode: 'coverStar1' } });
    data.drawList.push({ photoIndex: 4, featured: true });
    return window.printSheets(data, { paper: 'letter' });
  });
  assert.deepEqual(events, [
    'photos 4 at 944', 'sheet 0', 'released 0',
    'photos 0,1,2,3 at 944', 'sheet 1', 'released 1',
    'photos 4,5 at 944', 'sheet 2', 'released 2',
  ]);
});

test('a sheet becomes a JPEG of its own size and is released at once', async () => {
  const r = await shared.page.evaluate(async () => {
    const sheet = document.createElement('canvas');
    sheet.width = 2480; sheet.height = 3508;
    const g = sheet.getContext('2d');
    g.fillStyle = '#2a6'; g.fillRect(0, 0, 2480, 3508);
    const encoded = await TY.album.encodePdfSheet(sheet);
    const bytes = Uint8Array.from(atob(encoded.base64), (c) => c.charCodeAt(0));
    const picture = await createImageBitmap(new Blob([bytes], { type: 'image/jpeg' }));
    const probe = document.createElement('canvas').getContext('2d');
    probe.drawImage(picture, 0, 0);
    const empty = document.createElement('canvas');
    empty.width = 0;
    let failure = null;
    try { await TY.album.encodePdfSheet(empty); } catch (e) { failure = e.message; }
    return {
      released: [sheet.width, sheet.height], size: [encoded.widthPx, encoded.heightPx], decoded: [picture.width, picture.height],
      start: Array.from(bytes.slice(0, 3)), colour: Array.from(probe.getImageData(5, 5, 1, 1).data.slice(0, 3)), failure,
    };
  });
  assert.deepEqual(r.released, [0, 0]);
  assert.deepEqual(r.size, [2480, 3508]);
  assert.deepEqual(r.decoded, [2480, 3508]);
  assert.deepEqual(r.start, [0xff, 0xd8, 0xff]);
  assert.ok(diff(r.colour, [0x22, 0xaa, 0x66]) <= 4, `the JPEG shows the sheet (${r.colour})`);
  assert.equal(r.failure, 'The page could not be turned into a JPEG', 'an empty sheet is an error');
});

test('the screen album shows exactly as before after printing', async () => {
  const r = await shared.page.evaluate(async () => {
    const data = window.albumRecord(9, { title: 'Summer 2026' });
    const tm = TY.video.timingOf(data);
    const canvas = document.createElement('canvas');
    canvas.width = 960; canvas.height = 540;
    const shot = (t) => {
      TY.render.drawAnimated(canvas, data, t, tm);
      return canvas.getContext('2d').getImageData(0, 0, 960, 540).data;
    };
    const times = [tm.coverOpenDur * 0.2, tm.coverOpenDur + tm.pageHold / 2, tm.coverOpenDur + tm.pageHold + tm.turnDur / 2];
    const before = times.map(shot);
    const cfg = TY.album.cfgOf(data.albumCfg);
    const geom = TY.album.geometry(960, 540);
    const face = TY.album.getFace(data, cfg, geom, 0, 'L');
    const bitmaps = data.bitmaps;
    await window.printSheets(data, { whiteBg: true });
    const after = times.map(shot);
    let worst = 0;
    before.forEach((img, k) => { for (let i = 0; i < img.length; i++) worst = Math.max(worst, Math.abs(img[i] - after[k][i])); });
    return { worst, sameFace: TY.album.getFace(data, cfg, geom, 0, 'L') === face, sameBitmaps: data.bitmaps === bitmaps,
      printFlags: [data.printMode, data.printWhiteBg] };
  });
  assert.equal(r.worst, 0, 'cover, spread and turn look as before');
  assert.ok(r.sameFace, 'the screen faces were not redrawn');
  assert.ok(r.sameBitmaps, 'the screen keeps its own pictures');
  assert.deepEqual(r.printFlags, [undefined, undefined]);
  assert.deepEqual(shared.page.pageErrors, []);
});
