'use strict';
// Files through the real program: the photo folder served to the page (HEIC
// as JPEG), links that lead out of it, names that are not UTF-8, HEIC files
// sent in chunks for conversion, a picture saved in chunks arriving byte for
// byte, a save without data, and the system's font list.
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startHost } = require('./host-session');

const FETCH_PICTURE = `return fetch(arguments[0]).then(async (r) => {
  const bytes = new Uint8Array(await r.arrayBuffer());
  let size = null;
  if (r.ok) {
    try { const bmp = await createImageBitmap(new Blob([bytes])); size = [bmp.width, bmp.height]; } catch (e) { size = String(e); }
  }
  let bin = ''; for (const b of bytes) bin += String.fromCharCode(b);
  return { status: r.status, type: r.headers.get('content-type'), base64: btoa(bin), size };
});`;

/** A photo of the user's that lies outside the photo folder. */
function makeOutsideFolder() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-outside-'));
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc=size=32x24', '-frames:v', '1',
    path.join(dir, 'private.jpg')]);
  return dir;
}

/**
 * A photo folder made with real encoders: JPEG and PNG by ffmpeg, HEIC by
 * heif-enc; with links out of it and within it, a name that is not UTF-8 and
 * pictures the page cannot read.
 */
function makePhotoFolder(outside) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-photos-'));
  const ffmpeg = (size, file) => execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', `testsrc=size=${size}`,
    '-frames:v', '1', path.join(dir, file)]);
  ffmpeg('640x480', 'Beach.jpg');
  ffmpeg('64x48', 'alpha.png');
  fs.copyFileSync(path.join(dir, 'Beach.jpg'), path.join(dir, 'a..b.jpg'));
  fs.mkdirSync(path.join(dir, 'sub'));
  execFileSync('heif-enc', ['-q', '60', path.join(dir, 'Beach.jpg'), '-o', path.join(dir, 'sub', 'Night.HEIC')]);
  fs.writeFileSync(path.join(dir, 'notes.txt'), '夏の海\n');
  fs.writeFileSync(path.join(dir, 'readme.pdf'), 'not a photo');
  fs.writeFileSync(path.join(dir, 'anim.gif'), 'GIF89a');
  fs.writeFileSync(path.join(dir, 'sticker.webp'), 'RIFF');
  fs.symlinkSync(path.join(outside, 'private.jpg'), path.join(dir, 'link.jpg'));
  fs.symlinkSync(outside, path.join(dir, 'away'));
  fs.symlinkSync('Beach.jpg', path.join(dir, 'same.jpg'));
  fs.copyFileSync(path.join(dir, 'alpha.png'), Buffer.concat([Buffer.from(`${dir}/bad`), Buffer.from([0xff]), Buffer.from('.png')]));
  return dir;
}

/** A listed name as the page asks for it: each path segment URI-encoded. */
const photoUrl = (name) => `tessary-photo://photo/${name.split('/').map(encodeURIComponent).join('/')}`;

describe('files between the page and the program', () => {
  let host;
  let photos;
  let outside;
  before(async () => {
    outside = makeOutsideFolder();
    photos = makePhotoFolder(outside);
    host = await startHost({ args: ['--web-from-disk', `--photo-folder=${photos}`],
      env: (box) => ({ TESSARY_TEST_SAVE_PATH: path.join(box.out, 'picture.png') }) });
    await host.waitFor('window.hostLog.events.some((e) => e.name === "materialFolderPicked")');
  });
  after(async () => {
    await host.close();
    fs.rmSync(photos, { recursive: true, force: true });
    fs.rmSync(outside, { recursive: true, force: true });
  });

  test('the start folder is listed to the page, sorted by character codes', async () => {
    const [picked] = await host.events('materialFolderPicked');
    assert.deepEqual(picked.payload, {
      baseUrl: 'tessary-photo://photo/__dir/0/',
      folder: photos,
      lasting: true,
      // No link out of the folder; the name that is not UTF-8 in its listed form.
      photos: ['Beach.jpg', 'a..b.jpg', 'alpha.png', 'bad\uFFFDFF.png', 'same.jpg', 'sub/Night.HEIC'],
      // Each file's size (a link's is its target's), so that the page need not read it whole to learn it.
      photoSizes: ['Beach.jpg', 'a..b.jpg', 'alpha.png', 'alpha.png', 'Beach.jpg', 'sub/Night.HEIC']
        .map((name) => fs.statSync(path.join(photos, name)).size),
      memos: ['notes.txt'],
      unsupported: ['anim.gif', 'sticker.webp'],
    });
  });

  test('links that lead out of the folder are not served; links inside it are', async () => {
    assert.equal((await host.run(FETCH_PICTURE, photoUrl('link.jpg'))).status, 404);
    assert.equal((await host.run(FETCH_PICTURE, photoUrl('away/private.jpg'))).status, 404);
    const same = await host.run(FETCH_PICTURE, photoUrl('same.jpg'));
    assert.equal(same.status, 200);
    assert.deepEqual(Buffer.from(same.base64, 'base64'), fs.readFileSync(path.join(photos, 'Beach.jpg')));
  });

  test('a name that is not UTF-8 is fetched by its listed name', async () => {
    const [picked] = await host.events('materialFolderPicked');
    const listed = picked.payload.photos.find((name) => name.startsWith('bad'));
    const png = await host.run(FETCH_PICTURE, photoUrl(listed));
    assert.equal(png.status, 200);
    assert.deepEqual(png.size, [64, 48]);
    assert.equal((await host.run(FETCH_PICTURE, photoUrl('bad\uFFFD.png'))).status, 404);
  });

  test('the fragment of a photo address is not part of its name', async () => {
    const jpeg = await host.run(FETCH_PICTURE, 'tessary-photo://photo/Beach.jpg#print-1');
    assert.equal(jpeg.status, 200);
    assert.deepEqual(jpeg.size, [640, 480]);
  });

  test('the page fetches photos from the photo origin, HEIC converted to JPEG', async () => {
    const jpeg = await host.run(FETCH_PICTURE, 'tessary-photo://photo/Beach.jpg');
    assert.equal(jpeg.status, 200);
    assert.equal(jpeg.type, 'image/jpeg');
    assert.deepEqual(Buffer.from(jpeg.base64, 'base64'), fs.readFileSync(path.join(photos, 'Beach.jpg')));

    const heic = await host.run(FETCH_PICTURE, 'tessary-photo://photo/sub/Night.HEIC');
    assert.equal(heic.status, 200);
    assert.equal(heic.type, 'image/jpeg');
    assert.equal(Buffer.from(heic.base64, 'base64').subarray(0, 3).toString('hex'), 'ffd8ff');
    assert.deepEqual(heic.size, [640, 480]);

    assert.equal((await host.run(FETCH_PICTURE, 'tessary-photo://photo/a..b.jpg')).status, 404);
    assert.equal((await host.run(FETCH_PICTURE, 'tessary-photo://photo/missing.jpg')).status, 404);
  });

  test('a HEIC file sent in chunks comes back as a JPEG under /__temp/', async () => {
    const heic = fs.readFileSync(path.join(photos, 'sub', 'Night.HEIC')).toString('base64');
    await host.run('TY.bridge.sendChunks("convertHeic", arguments[0], { reqId: "heic7" });', heic);
    const converted = await host.waitFor('window.hostLog.events.find((e) => e.name === "heicConverted")');
    assert.deepEqual(converted.payload, { reqId: 'heic7', url: 'tessary-photo://photo/__temp/heic7.jpg' });
    const jpeg = await host.run(FETCH_PICTURE, converted.payload.url);
    assert.equal(jpeg.type, 'image/jpeg');
    assert.deepEqual(jpeg.size, [640, 480]);
  });

  test('the installed font families reach the page without vertical-writing variants', async () => {
    await host.run('TY.bridge.post({ cmd: "getFonts" });');
    const fonts = await host.waitFor('window.hostLog.events.find((e) => e.name === "fonts")');
    const names = fonts.payload.names;
    assert.ok(names.some((n) => /Noto Sans CJK JP|IPAexGothic/.test(n)), names.join(', '));
    assert.ok(names.every((n) => n && !n.startsWith('@')));
  });

  test('a picture saved in several chunks arrives byte for byte', async () => {
    const target = path.join(host.out, 'picture.png');
    // The save dialog is answered by the test hook set at start (TESSARY_TEST_SAVE_PATH).
    await host.run('TY.bridge.post({ cmd: "chooseImageSave", requestId: "save-1" });');
    const chosen = await host.waitFor('window.hostLog.events.find((e) => e.name === "saveTargetChosen")');
    assert.deepEqual(chosen.payload, { requestId: 'save-1', format: 'png' });
    const dataUrl = await host.run(`const c = document.createElement('canvas'); c.width = 900; c.height = 900;
      const g = c.getContext('2d'); const img = g.createImageData(900, 900);
      let s = 7; for (let i = 0; i < img.data.length; i++) { s = (Math.imul(s, 1103515245) + 12345) >>> 0; img.data[i] = s >>> 24; }
      g.putImageData(img, 0, 0); const url = c.toDataURL('image/png');
      TY.bridge.sendImageForSave(url, 'png', { requestId: 'save-1', generationId: 3 }); return url;`);
    const base64 = dataUrl.slice(dataUrl.indexOf(',') + 1);
    assert.ok(base64.length > 2 * 1048576, 'the picture needs several chunks');
    const done = await host.waitFor('window.hostLog.events.find((e) => e.name === "saveDone" || e.name === "saveError")');
    assert.deepEqual(done, { name: 'saveDone', payload: { requestId: 'save-1', path: target } });
    assert.deepEqual(fs.readFileSync(target), Buffer.from(base64, 'base64'));
  });

  test('a save without data is refused and the chosen file keeps its bytes', async () => {
    const target = path.join(host.out, 'picture.png');
    const before = fs.readFileSync(target);
    await host.run('TY.bridge.post({ cmd: "chooseImageSave", requestId: "g20" });');
    await host.waitFor('window.hostLog.events.some((e) => e.name === "saveTargetChosen" && e.payload.requestId === "g20")');
    await host.run('TY.bridge.post({ cmd: "saveImage", requestId: "g20", chunkIndex: 0, totalChunks: 1 });');
    const answer = await host.waitFor(`window.hostLog.events.find((e) => e.payload && e.payload.requestId === "g20"
      && (e.name === "saveDone" || e.name === "saveError"))`);
    assert.deepEqual(answer, { name: 'saveError', payload: { requestId: 'g20', message: 'invalid transfer' } });
    assert.deepEqual(fs.readFileSync(target), before);
  });
});
