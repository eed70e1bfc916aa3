'use strict';
// Photos the real program serves reduced: in WebKitGTK, the list's
// thumbnails the host makes and the prints the page decodes from the host's
// reduced copies look like the photos' own bytes decoded at that size, for
// the kinds of JPEG cameras and programs write (turned by their EXIF tag,
// progressive, CMYK, grey), and the copies are much smaller than the photos.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startHost } = require('./host-session');
const { TAG, TYPE, xpText, buildTiff, exifSegment, jpegWith } = require('../lib/exif-jpeg');

const CONVERT = fs.existsSync('/usr/bin/convert') ? '/usr/bin/convert' : 'convert';

/** The folder: photo-like JPEGs of every kind, and one smaller than any decode asks for. */
function makePhotos(dir) {
  const base = path.join(dir, 'base.jpg');
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc2=s=1600x1200,noise=alls=12:allf=t',
    '-frames:v', '1', '-q:v', '3', base]);
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc2=s=200x150', '-frames:v', '1', '-q:v', '3',
    path.join(dir, 'small.jpg')]);
  execFileSync(CONVERT, [base, '-interlace', 'JPEG', '-quality', '90', path.join(dir, 'progressive.jpg')]);
  execFileSync(CONVERT, [base, '-colorspace', 'CMYK', '-quality', '90', path.join(dir, 'cmyk.jpg')]);
  execFileSync(CONVERT, [base, '-colorspace', 'Gray', '-quality', '90', path.join(dir, 'grey.jpg')]);
  const exif = exifSegment(buildTiff({ ifd0: [
    { tag: TAG.Orientation, type: TYPE.SHORT, value: 6 },
    { tag: TAG.XPTitle, type: TYPE.BYTE, value: xpText('回転') },
  ] }));
  fs.writeFileSync(path.join(dir, 'turned.jpg'), jpegWith([exif], fs.readFileSync(base)));
}

/** Runs in the page: each photo as the host's copies give it and as its own bytes give it. */
const COMPARE = `return (async () => {
  const P = TY.photos;
  const pixels = async (source, w, h) => {
    const c = document.createElement('canvas');
    c.width = w; c.height = h;
    const x = c.getContext('2d');
    x.drawImage(source, 0, 0, w, h);
    return x.getImageData(0, 0, w, h).data;
  };
  // Compared in blocks of 4 × 4 pixels: decoders differ in how they
  // average fine grain away, which a viewer never sees; a shift, a turn or a
  // wrong colour shows in the blocks.
  const difference = (a, b, w, h) => {
    const d = [];
    for (let by = 0; by + 4 <= h; by += 4) {
      for (let bx = 0; bx + 4 <= w; bx += 4) {
        for (let c = 0; c < 3; c++) {
          let sa = 0;
          let sb = 0;
          for (let y = by; y < by + 4; y++) for (let x = bx; x < bx + 4; x++) { sa += a[(y * w + x) * 4 + c]; sb += b[(y * w + x) * 4 + c]; }
          d.push(Math.abs(sa - sb) / 16);
        }
      }
    }
    d.sort((p, q) => p - q);
    return { mean: d.reduce((s, v) => s + v, 0) / d.length, p99: d[Math.floor(d.length * 0.99)] };
  };
  const out = {};
  const items = P.includedItems();
  await P.ensureBitmapsFor(items.map((_, i) => i), 300);
  for (const it of items) {
    // The folder's photos are not held: their bytes are fetched from the host again.
    const bytes = await P.photoBytes(it);
    // The print: the page's decode through the host against one of the photo's bytes.
    const own = await createImageBitmap(bytes, { imageOrientation: 'from-image', resizeWidth: it.bitmapBucket, resizeQuality: 'high' });
    const print = difference(await pixels(it.bitmap, own.width, own.height), await pixels(own, own.width, own.height), own.width, own.height);
    // The thumbnail against the photo's own bytes decoded at the thumbnail's size.
    const thumb = await createImageBitmap(await (await fetch(it.thumbUrl)).blob());
    const decoded = await createImageBitmap(bytes, { imageOrientation: 'from-image', resizeWidth: thumb.width, resizeQuality: 'high' });
    const list = difference(await pixels(thumb, thumb.width, thumb.height), await pixels(decoded, thumb.width, thumb.height), thumb.width, thumb.height);
    const copy = it.sourceUrl ? await (await fetch(it.sourceUrl + '?width=384')).blob() : null;
    out[it.name] = {
      printSize: [it.bitmap.width, it.bitmap.height], ownSize: [own.width, own.height], print,
      thumbSize: [thumb.width, thumb.height], list, caption: it.caption,
      bytes: bytes.size, held: !!it.blob, copyBytes: copy ? copy.size : null,
    };
  }
  out.held = P.items.filter((it) => it.bitmap).length;
  return out;
})();`;

test('photos decoded from the host\'s reduced copies look like those decoded from their own bytes', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-reduce-'));
  makePhotos(dir);
  const host = await startHost({ args: [`--photo-folder=${dir}`] });
  try {
    await host.driver.manage().setTimeouts({ script: 120000 });
    await host.waitFor('window.TY && window.TY.ui && window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 90000);
    const got = await host.run(COMPARE);
    const names = ['base.jpg', 'cmyk.jpg', 'grey.jpg', 'progressive.jpg', 'small.jpg', 'turned.jpg'];
    assert.deepEqual(Object.keys(got).filter((k) => k.endsWith('.jpg')).sort(), names);
    for (const name of names) {
      const r = got[name];
      assert.equal(r.held, false, `${name}: the page keeps no bytes of a photo the host serves`);
      assert.deepEqual(r.printSize, r.ownSize, `${name}: same size`);
      assert.ok(r.print.mean < 3 && r.print.p99 < 24, `${name}: print ${JSON.stringify(r.print)}`);
      assert.ok(r.list.mean < 3 && r.list.p99 < 20, `${name}: thumbnail ${JSON.stringify(r.list)}`);
      if (name === 'small.jpg') assert.equal(r.copyBytes, r.bytes, 'a photo no wider than asked is served as stored');
      else assert.ok(r.copyBytes < r.bytes / 4, `${name}: ${r.copyBytes} of ${r.bytes} bytes`);
    }
    // Turned by its tag, and its caption read from the copy's EXIF data.
    assert.deepEqual(got['turned.jpg'].printSize, [384, 512]);
    assert.deepEqual(got['turned.jpg'].thumbSize, [180, 240]);
    assert.equal(got['turned.jpg'].caption, '回転');
    assert.equal(got.held, names.length, 'only the pictures asked for are held');
  } finally {
    await host.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
