'use strict';
// The album's frames keep their look: a handful of frames of a landscape and
// a portrait album (closed book, opening cover, resting spreads, page turns,
// closing) are compared with reference pictures, drawn first by the scene as
// it was before its frames were composed from cached layers and drawn again
// (after a side-by-side look) when a turning sheet's light went from a fill
// per strip to one draw per run of strips. A moving sheet may be drawn a
// fraction of a pixel aside; anything a viewer could tell apart fails. The frames
// drawn are written to out/album-frames/ to be looked at;
// TESSARY_WRITE_ALBUM_FRAMES=1 writes them as the new references instead.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { sharedPage } = require('../lib/page-fixture');
const { ROOT } = require('../lib/browser');

const REFERENCE = path.join(ROOT, 'tests', 'fixtures', 'album-frames');
const OUT = path.join(ROOT, 'out', 'album-frames');
const WRITE = process.env.TESSARY_WRITE_ALBUM_FRAMES === '1';

/** Page-side: stand-in photos with detail, an album record and frames as PNG data URLs. */
const HELPERS = `(() => {
  const photo = (i) => {
    const c = document.createElement('canvas');
    c.width = 200 + (i % 3) * 40; c.height = 160;
    const g = c.getContext('2d');
    const grad = g.createLinearGradient(0, 0, c.width, c.height);
    grad.addColorStop(0, 'hsl(' + ((i * 47) % 360) + ', 70%, 60%)');
    grad.addColorStop(1, 'hsl(' + ((i * 47 + 120) % 360) + ', 60%, 30%)');
    g.fillStyle = grad; g.fillRect(0, 0, c.width, c.height);
    g.fillStyle = '#fff'; g.fillRect(20, 20, 30, 30);
    g.strokeStyle = '#000'; g.lineWidth = 3;
    for (let k = 0; k < 6; k++) { g.beginPath(); g.moveTo(60 + 20 * k, 150); g.lineTo(100 + 20 * k, 30); g.stroke(); }
    return c;
  };
  const albumRecord = (book, title) => {
    const n = book.photos;
    const drawList = Array.from({ length: n }, (_, i) => ({ photoIndex: i, x: 0, y: 0, rot: 0, outerW: 100, outerH: 111 }));
    return { w: book.w, h: book.h, motion: 'album', speed: 1, background: 'wood', frame: 'cheki', filter: 'sepia',
      drawList, bitmaps: Array.from({ length: n }, (_, i) => photo(i)), albumCfg: book.albumCfg, title,
      comments: [], captions: null };
  };
  window.albumFrames = (book) => {
    const data = albumRecord(book, 'Summer 2026');
    const tm = TY.video.timingOf(data);
    const canvas = document.createElement('canvas');
    canvas.width = book.w; canvas.height = book.h;
    const cycle = tm.pageHold + tm.turnDur;
    const at = {
      closed: 0,
      opening: tm.coverOpenDur * 0.6,
      landing: tm.coverOpenDur * 0.8,
      spread0: tm.coverOpenDur + tm.pageHold / 2,
      turnStart: tm.coverOpenDur + tm.pageHold + tm.turnDur * 0.15,
      turnRising: tm.coverOpenDur + tm.pageHold + tm.turnDur * 0.35,
      turnFalling: tm.coverOpenDur + tm.pageHold + tm.turnDur * 0.7,
      spread1: tm.coverOpenDur + cycle + tm.pageHold / 2,
      lastTurn: tm.coverOpenDur + (tm.spreads - 2) * cycle + tm.pageHold + tm.turnDur * 0.4,
      closing: tm.total - tm.closeDur * 0.5,
    };
    const out = {};
    // Drawn in the order a playback draws them, as the scene's caches expect.
    for (const [name, t] of Object.entries(at).sort((a, b) => a[1] - b[1])) {
      TY.render.drawAnimated(canvas, data, t, tm);
      out[name] = canvas.toDataURL('image/png');
    }
    return out;
  };
  // Frames of a playback (drawn over what moved since its previous frame)
  // against the same frames drawn whole: the channels that differ, and where.
  window.albumPlaybackDrift = (book) => {
    const data = albumRecord(book, '');
    const tm = TY.video.timingOf(data);
    const canvas = (w, h) => { const c = document.createElement('canvas'); c.width = w; c.height = h; return c; };
    const played = canvas(book.w, book.h);
    const whole = canvas(book.w, book.h);
    const run = {};
    let worst = { channels: 0, t: 0 };
    let frames = 0;
    // The opening, two turns and the rests between them.
    const seconds = tm.coverOpenDur + 2 * (tm.pageHold + tm.turnDur) + 0.5;
    for (let t = 0; t < Math.min(seconds, tm.total); t += 1 / 30) {
      TY.render.drawAnimated(played, data, t, tm, run);
      TY.render.drawAnimated(whole, data, t, tm);
      const a = played.getContext('2d').getImageData(0, 0, book.w, book.h).data;
      const b = whole.getContext('2d').getImageData(0, 0, book.w, book.h).data;
      let channels = 0;
      for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) channels++;
      if (channels > worst.channels) worst = { channels, t };
      frames++;
    }
    return { frames, worst };
  };
})();`;

const ALBUMS = {
  landscape: { w: 480, h: 270, photos: 13, albumCfg: {} },
  portrait: { w: 216, h: 384, photos: 9, albumCfg: { mount: 'corner', mat: 'kraft', cover: 'leather', starMode: 'coverStar1' } },
};

const shared = sharedPage(['i18n', 'layout', 'album', 'render', 'video'], HELPERS);

/** Pixels of a PNG data URL, decoded in the page. */
async function pixelsOf(page, url) {
  return page.evaluate(async (src) => {
    const img = new Image();
    img.src = src;
    await img.decode();
    const c = document.createElement('canvas');
    c.width = img.width; c.height = img.height;
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    return { w: img.width, h: img.height, data: Array.from(g.getImageData(0, 0, img.width, img.height).data) };
  }, url);
}

/**
 * How far a picture strays from the reference: the mean difference, and the
 * share of channels outside the range of the reference's 3 × 3 neighbourhood
 * by more than 8 levels. A sheet drawn a fraction of a pixel aside, or
 * unfiltered where it lies flat, stays within its neighbours; a missing or
 * added line, page or shadow does not.
 */
function difference(got, want) {
  const { w, h } = want;
  let sum = 0;
  let far = 0;
  let worst = 0;
  for (let y = 0; y < h; y++) {
    for (let x = 0; x < w; x++) {
      for (let c = 0; c < 4; c++) {
        const i = (y * w + x) * 4 + c;
        const v = got.data[i];
        sum += Math.abs(v - want.data[i]);
        let lo = 255;
        let hi = 0;
        for (let yy = Math.max(0, y - 1); yy <= Math.min(h - 1, y + 1); yy++) {
          for (let xx = Math.max(0, x - 1); xx <= Math.min(w - 1, x + 1); xx++) {
            const r = want.data[(yy * w + xx) * 4 + c];
            lo = Math.min(lo, r);
            hi = Math.max(hi, r);
          }
        }
        const off = Math.max(0, lo - v, v - hi);
        if (off > 8) far++;
        worst = Math.max(worst, off);
      }
    }
  }
  return { mean: sum / got.data.length, far: far / got.data.length, worst };
}

for (const [album, book] of Object.entries(ALBUMS)) {
  test(`the ${album} album's frames look as they did`, async () => {
    const frames = await shared.page.evaluate((s) => window.albumFrames(s), book);
    fs.mkdirSync(OUT, { recursive: true });
    if (WRITE) fs.mkdirSync(REFERENCE, { recursive: true });
    const failures = [];
    for (const [name, url] of Object.entries(frames)) {
      const file = `${album}-${name}.png`;
      const png = Buffer.from(url.split(',')[1], 'base64');
      fs.writeFileSync(path.join(OUT, file), png);
      if (WRITE) {
        fs.writeFileSync(path.join(REFERENCE, file), png);
        continue;
      }
      const reference = `data:image/png;base64,${fs.readFileSync(path.join(REFERENCE, file)).toString('base64')}`;
      const [got, want] = [await pixelsOf(shared.page, url), await pixelsOf(shared.page, reference)];
      assert.deepEqual([got.w, got.h], [want.w, want.h], file);
      const d = difference(got, want);
      if (d.mean > 0.6 || d.far > 0.001) failures.push(`${file}: mean ${d.mean.toFixed(3)}, ${(100 * d.far).toFixed(3)}% beyond their neighbours by more than 8 (worst ${d.worst})`);
    }
    assert.deepEqual(failures, []);
    assert.deepEqual(shared.page.pageErrors, []);
  });
}

test('a playback\'s frames, drawn over only what moved since the one before, equal frames drawn whole', async () => {
  for (const [album, book] of Object.entries(ALBUMS)) {
    const drift = await shared.page.evaluate((s) => window.albumPlaybackDrift(s), book);
    assert.deepEqual(drift.worst.channels, 0, `${album}: ${drift.worst.channels} channels differ at ${drift.worst.t.toFixed(2)} s of ${drift.frames} frames`);
  }
  assert.deepEqual(shared.page.pageErrors, []);
});
