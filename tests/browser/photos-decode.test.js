'use strict';
// The photo store in Chromium: thumbnails, EXIF orientation and captions,
// the width-bucket decode cache, broken pictures, sample photos.
const test = require('node:test');
const assert = require('node:assert/strict');
const { pageSession } = require('../lib/browser');

const SCRIPTS = ['i18n', 'bridge', 'layout', 'render', 'photos'];
let session;

test.before(async () => { session = await pageSession({ scripts: SCRIPTS }); });
test.after(async () => { await session.close(); });

/** Opens a page and adds the named fixture photos (plus made-up ones) to its store. */
async function pageWith(fixtures, extraScript = '') {
  const page = await session.newPage();
  await page.evaluate(async ({ base, fixtures, extraScript }) => {
    const files = [];
    for (const name of fixtures) {
      const blob = await (await fetch(base + '/tests/fixtures/exif/' + name)).blob();
      files.push(new File([blob], name, { type: 'image/jpeg' }));
    }
    if (extraScript) files.push(...(await new Function('return (async () => {' + extraScript + '})()')()));
    window.__addResult = await TY.photos.addBlobs(files);
  }, { base: session.url, fixtures, extraScript });
  return page;
}

/** A JPEG of the given size made in the page, as a File script snippet. */
const madeJpeg = (name, w, h) => `
  const c = document.createElement('canvas'); c.width = ${w}; c.height = ${h};
  const x = c.getContext('2d'); x.fillStyle = '#3a7'; x.fillRect(0, 0, ${w}, ${h});
  return [new File([TY.render.canvasToBlob(c, 'image/jpeg', 0.9)], '${name}', { type: 'image/jpeg' })];`;

test('thumbnails are 240 px JPEGs turned by the EXIF orientation; captions come from EXIF', async () => {
  const page = await pageWith(['orient6-xptitle.jpg', 'plain.jpg', 'mm-usercomment-unicode.jpg']);
  const info = await page.evaluate(async () => {
    const out = [];
    for (const it of TY.photos.items) {
      const blob = await (await fetch(it.thumbUrl)).blob();
      const img = await createImageBitmap(blob);
      const c = document.createElement('canvas');
      c.width = img.width; c.height = img.height;
      const x = c.getContext('2d');
      x.drawImage(img, 0, 0);
      const top = x.getImageData(img.width / 2, 4, 1, 1).data;
      out.push({ name: it.name, caption: it.caption, type: blob.type, w: img.width, h: img.height, topRed: top[0] > 150 && top[2] < 100 });
    }
    return { out, result: window.__addResult };
  });
  assert.deepEqual(info.result, { added: 3, skipped: 0, overflow: 0, lastError: null });
  const [turned, plain, bigEndian] = info.out;
  assert.deepEqual(turned, { name: 'orient6-xptitle.jpg', caption: '夏の海', type: 'image/jpeg', w: 120, h: 240, topRed: true });
  assert.deepEqual([plain.w, plain.h, plain.caption], [240, 120, null]);
  assert.equal(bigEndian.caption, 'Big-endian 祭り');
  assert.deepEqual(page.pageErrors, []);
  await page.close();
});

test('decodes use 128 px width buckets up to 1024 and are reused when large enough', async () => {
  const page = await pageWith(['orient6-xptitle.jpg'], madeJpeg('wide.jpg', 300, 200));
  const steps = await page.evaluate(async () => {
    const log = [];
    const run = async (width) => {
      const progress = [];
      const got = await TY.photos.ensureBitmapsFor([0, 1], width, (d, t) => progress.push([d, t]));
      const [a, b] = TY.photos.includedItems();
      log.push({ width, progress, sizes: [[got[0].width, got[0].height], [got[1].width, got[1].height]], buckets: [a.bitmapBucket, b.bitmapBucket] });
    };
    await run(300);
    await run(200);
    await run(2000);
    return log;
  });
  assert.deepEqual(steps[0], { width: 300, progress: [[1, 2], [2, 2]], sizes: [[384, 768], [384, 256]], buckets: [384, 384] });
  assert.deepEqual(steps[1].progress, [], 'a smaller request reuses the 384 decode');
  assert.deepEqual(steps[1].sizes, [[384, 768], [384, 256]]);
  assert.deepEqual(steps[2].sizes, [[1024, 2048], [1024, 683]]);
  assert.deepEqual(steps[2].buckets, [1024, 1024]);
  await page.close();
});

test('a picture that cannot be decoded is excluded silently', async () => {
  const page = await pageWith(['plain.jpg', 'orient6-xptitle.jpg']);
  const state = await page.evaluate(async () => {
    // Readable at its import, damaged since.
    TY.photos.items[1].blob = new File([new Uint8Array([0xff, 0xd8, 1, 2, 3, 4])], 'broken.jpg');
    const got = await TY.photos.ensureBitmapsFor([0, 1, 7], 100);
    return {
      result: Object.keys(got).map(Number),
      included: TY.photos.items.map((it) => it.included),
      thumbOfBroken: TY.photos.items[1].thumbUrl.startsWith('blob:'),
    };
  });
  assert.deepEqual(state.result, [0]);
  assert.deepEqual(state.included, [true, false]);
  assert.equal(state.thumbOfBroken, true, 'the list still shows the bytes it received');
  await page.close();
});

test('bytes that are no picture are refused at import; a transparent PNG shows the print paper in its thumbnail', async () => {
  const page = await pageWith([], `
    const c = document.createElement('canvas'); c.width = 300; c.height = 200;
    const x = c.getContext('2d'); x.fillStyle = '#c33'; x.fillRect(0, 0, 150, 200);
    const png = await new Promise((done) => c.toBlob(done, 'image/png'));
    return [new File([png], 'cutout.png', { type: 'image/png' }), new File([], 'empty.jpg'),
      new File([new Uint8Array([0xff, 0xd8, 1, 2, 3, 4])], 'broken.jpg')];`);
  const state = await page.evaluate(async () => {
    const it = TY.photos.items[0];
    const img = await createImageBitmap(await (await fetch(it.thumbUrl)).blob());
    const c = document.createElement('canvas');
    c.width = img.width; c.height = img.height;
    const x = c.getContext('2d');
    x.drawImage(img, 0, 0);
    const px = (X, Y) => Array.from(x.getImageData(X, Y, 1, 1).data.slice(0, 3));
    return { names: TY.photos.items.map((i) => i.name), result: window.__addResult, clear: px(220, 100), solid: px(40, 100), paper: TY.render.PAPER };
  });
  assert.deepEqual(state.names, ['cutout.png']);
  assert.deepEqual(state.result, { added: 1, skipped: 2, overflow: 0, lastError: 'damaged or not a photo' });
  const paper = [1, 3, 5].map((i) => parseInt(state.paper.slice(i, i + 2), 16));
  assert.ok(state.clear.every((v, i) => Math.abs(v - paper[i]) <= 6), `the clear half shows the paper ${state.paper}: ${state.clear}`);
  assert.ok(state.solid[0] > 170 && state.solid[1] < 90, `the painted half keeps its colour: ${state.solid}`);
  await page.close();
});

test('beyond the cache cap only the requested pictures stay decoded', async () => {
  const page = await pageWith(['plain.jpg', 'orient6-xptitle.jpg', 'mm-usercomment-unicode.jpg']);
  const state = await page.evaluate(async () => {
    const P = TY.photos;
    await P.ensureBitmapsFor([0, 1, 2], 128);
    const released = P.items[0].bitmap;
    const within = P.items.map((it) => it.bitmapBucket);
    await P.ensureBitmapsFor([2], 128, null, { maxCached: 2 });
    return {
      within,
      after: P.items.map((it) => it.bitmapBucket),
      releasedSize: [released.width, released.height],
      usable: TY.render.usableBitmap(released),
    };
  });
  assert.deepEqual(state.within, [128, 128, 128]);
  assert.deepEqual(state.after, [0, 0, 128]);
  assert.deepEqual(state.releasedSize, [0, 0]);
  assert.equal(state.usable, false, 'drawing skips a released picture');
  await page.close();
});

test('clear releases every decode while ids keep counting', async () => {
  const page = await pageWith(['plain.jpg']);
  const state = await page.evaluate(async () => {
    const [bitmap] = await TY.photos.ensureBitmapsFor([0], 256);
    TY.photos.clear();
    await TY.photos.addBlobs([new File([await (await fetch(document.baseURI.replace(/[^/]*$/, 'exif/plain.jpg'))).blob()], 'again.jpg')]);
    return { width: bitmap.width, count: TY.photos.items.length, id: TY.photos.items[0].id };
  });
  assert.deepEqual(state, { width: 0, count: 1, id: 2 });
  await page.close();
});

test('sample photos: ten 640 px landscapes with their palettes and names', async () => {
  const page = await session.newPage();
  const samples = await page.evaluate(async () => {
    const files = TY.photos.makeSamplePhotos(12);
    const out = [];
    for (const f of files) {
      const img = await createImageBitmap(f);
      const c = document.createElement('canvas');
      c.width = img.width; c.height = img.height;
      const x = c.getContext('2d');
      x.drawImage(img, 0, 0);
      const px = (X, Y) => Array.from(x.getImageData(X, Y, 1, 1).data.slice(0, 3));
      out.push({ name: f.name, type: f.type, w: img.width, h: img.height, top: px(600, 2), bottom: px(320, 636) });
    }
    return out;
  });
  assert.equal(samples.length, 12);
  assert.deepEqual(samples.slice(0, 3).map((s) => s.name), ['Sample01.jpg', 'Sample02.jpg', 'Sample03.jpg']);
  assert.equal(samples[11].name, 'Sample12.jpg');
  for (const s of samples) assert.deepEqual([s.type, s.w, s.h], ['image/jpeg', 640, 640]);
  const near = (a, hex) => a.every((v, i) => Math.abs(v - parseInt(hex.slice(1 + 2 * i, 3 + 2 * i), 16)) <= 12);
  assert.ok(near(samples[0].top, '#eef4f8'), `sky of picture 1: ${samples[0].top}`);
  assert.ok(near(samples[0].bottom, '#4a7ba6'), `ridge of picture 1: ${samples[0].bottom}`);
  assert.ok(near(samples[10].bottom, '#4a7ba6'), 'picture 11 repeats the first palette');
  await page.close();
});
