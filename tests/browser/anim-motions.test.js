'use strict';
// Motions in Chromium: every motion and exit draws at every phase boundary,
// prints fall and land where they should, the title card hides the pile and
// the image title, the spotlight ends at its scale, and a gust at t = 0 is
// the resting pile, and swaying prints blur only where the canvas can.
const test = require('node:test');
const assert = require('node:assert/strict');
const { sharedPage } = require('../lib/page-fixture');

const SCRIPTS = ['i18n', 'layout', 'album', 'render', 'video'];

/** Page-side helpers: plain-coloured photos and play-data records. */
const HELPERS = `(() => {
  window.solidPhotos = (n, colour) => Array.from({ length: n }, (_, i) => {
    const c = document.createElement('canvas');
    c.width = 64; c.height = 64;
    const g = c.getContext('2d');
    g.fillStyle = colour || 'hsl(' + ((i * 53) % 360) + ', 75%, 50%)';
    g.fillRect(0, 0, 64, 64);
    return c;
  });
  window.pileRecord = (n, W, H, extra) => {
    const drawList = n ? TY.layout.generate(W, H, Math.min(n, 12), 'l').slice(0, n) : [];
    if (drawList.length) drawList[drawList.length - 1].featured = true;
    return Object.assign({ w: W, h: H, motion: 'drop', speed: 1, background: 'paper', frame: 'cheki', filter: 'none',
      drawList, bitmaps: window.solidPhotos(12), captions: null, captionCfg: null, title: null, titleCfg: { font: 'gothic', color: null },
      spotlightIndex: -1, emphasisFactor: 1, holdSec: 30 }, extra || {});
  };
  window.swayRecord = (rot) => window.pileRecord(0, 400, 300, { motion: 'sway', bitmaps: window.solidPhotos(1, '#0000ff'),
    drawList: [{ x: 200, y: 220, rot, outerW: 200, outerH: 223, photoIndex: 0 }] });
  window.canvasOf = (W, H) => { const c = document.createElement('canvas'); c.width = W; c.height = H; return c; };
  window.pixels = (c) => c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  window.pixelAt = (c, x, y) => Array.from(c.getContext('2d').getImageData(Math.round(x), Math.round(y), 1, 1).data.slice(0, 3));
  window.worstDiff = (a, b) => { let w = 0; for (let i = 0; i < a.length; i++) w = Math.max(w, Math.abs(a[i] - b[i])); return w; };
})();`;

const shared = sharedPage(SCRIPTS, HELPERS);

test('every motion and exit draws at every phase boundary for empty, one-print and large piles', async () => {
  const failures = await shared.page.evaluate(() => {
    const out = [];
    const W = 320;
    const H = 180;
    const canvas = window.canvasOf(W, H);
    const title = { text: 'Trip', size: 48, position: 'bottom-right', style: 'bold' };
    for (const motion of ['drop', 'sway', 'spin']) {
      for (const n of [0, 1, 375]) {
        for (const extra of [{}, { title: 'Our summer', spotlightIndex: n - 1, dimOthers: true, dimTranslucent: true, imageTitleCfg: title,
          captions: ['a', 'b'], captionCfg: { font: 'gothic', size: 'm' }, emphasisFactor: 1.5, frame: 'magnet', filter: 'sepia' }]) {
          const data = window.pileRecord(n, W, H, { motion, ...extra });
          if (n === 375) data.drawList = Array.from({ length: 375 }, (_, i) => data.drawList[i % data.drawList.length]);
          const tm = TY.video.timingOf(data);
          const last = tm.titleDur + (Math.max(1, data.drawList.length) - 1) * tm.stagger;
          const times = [0, tm.titleDur / 2, tm.titleDur, tm.titleDur + tm.stagger, tm.titleDur + tm.fallDur / 2, last, last + tm.fallDur,
            tm.total - tm.spotDur, tm.total - tm.spotDur / 2, tm.total, tm.total + 1];
          for (const t of times) {
            try { TY.render.drawAnimated(canvas, data, t, tm); } catch (e) { out.push(`${motion} n=${n} t=${t}: ${e.message}`); }
          }
          const schedule = TY.render.breezeSchedule(data.drawList.length);
          for (const ms of [0, 100, schedule.totalMs / 2, schedule.totalMs]) {
            try { TY.render.drawBreeze(canvas, data, ms, schedule); } catch (e) { out.push(`breeze n=${n} ms=${ms}: ${e.message}`); }
          }
          for (const t of [0, 0.1, 0.16, 0.5, 1]) {
            try { TY.render.drawGust(canvas, data, t); } catch (e) { out.push(`gust n=${n} t=${t}: ${e.message}`); }
          }
        }
      }
    }
    return out;
  });
  assert.deepEqual(failures, []);
  assert.deepEqual(shared.page.pageErrors, []);
});

test('a dropped print falls from above, twisted, and lands exactly as the still picture', async () => {
  const r = await shared.page.evaluate(() => {
    const W = 400;
    const H = 300;
    const p = { x: 200, y: 200, rot: 0, outerW: 114, outerH: 127, photoIndex: 0 };
    const data = window.pileRecord(0, W, H, { drawList: [p], bitmaps: window.solidPhotos(1, '#0000ff') });
    const tm = TY.video.timingOf(data);
    const c = window.canvasOf(W, H);
    const photoCentreY = p.y - p.outerH / 2 + 0.07 * 100 + 50;
    TY.render.drawAnimated(c, data, tm.fallDur / 2, tm);
    const fallen = 1 - 0.125; // 1 - (1 - 0.5)^3
    const midY = photoCentreY - (1 - fallen) * (0.45 * H + p.outerH);
    const midFall = { atShifted: window.pixelAt(c, p.x, midY), atRest: window.pixelAt(c, p.x, photoCentreY + 40) };
    TY.render.drawAnimated(c, data, tm.total, tm);
    const landed = window.pixels(c);
    const still = window.canvasOf(W, H);
    TY.render.draw(still, W, H, [p], data.bitmaps, 'paper', false, 'cheki', 'none', null, null, null, false, false);
    TY.render.drawAnimated(c, data, 0, tm);
    const rewound = window.pixelAt(c, p.x, photoCentreY);
    return { midFall, rewound, landedDiff: window.worstDiff(landed, window.pixels(still)) };
  });
  assert.deepEqual(r.midFall.atShifted, [0, 0, 255], 'the photo is above its place mid-fall');
  assert.notDeepEqual(r.midFall.atRest, [0, 0, 255], 'and not yet at its place');
  assert.ok(r.landedDiff <= 1, `the landed pile equals the still picture (${r.landedDiff})`);
  assert.deepEqual(r.rewound, [233, 226, 214], 'going back in time takes the landed print away again');
});

test('a print in the air shows its photo as it shows at rest: its centred square, filtered once', async () => {
  const r = await shared.page.evaluate(() => {
    const W = 400;
    const H = 300;
    // Four colours meet at the centre of the square a print shows; the
    // stripes left and right lie outside it.
    const photo = window.canvasOf(96, 64);
    const g = photo.getContext('2d');
    [['#d23', 0, 0], ['#2a4', 48, 0], ['#36c', 0, 32], ['#eb2', 48, 32]].forEach(([c, x, y]) => { g.fillStyle = c; g.fillRect(x, y, 48, 32); });
    g.fillStyle = '#f0f';
    g.fillRect(0, 0, 16, 64);
    g.fillRect(80, 0, 16, 64);
    const p = { x: 200, y: 190, rot: 0.3, outerW: 114, outerH: 127, photoIndex: 0 };
    const data = window.pileRecord(0, W, H, { drawList: [p], bitmaps: [photo], filter: 'sepia' });
    const tm = TY.video.timingOf(data);
    const c = window.canvasOf(W, H);
    // So close to landing that it lies where it lands, but still in the air.
    TY.render.drawAnimated(c, data, 0.9999 * tm.fallDur, tm);
    const inAir = c.getContext('2d').getImageData(110, 100, 180, 180).data;
    TY.render.drawAnimated(c, data, tm.total, tm);
    const atRest = c.getContext('2d').getImageData(110, 100, 180, 180).data;
    let sum = 0;
    for (let i = 0; i < inAir.length; i++) sum += Math.abs(inAir[i] - atRest[i]);
    return sum / inAir.length;
  });
  assert.ok(r < 1.5, `mean difference ${r.toFixed(2)} levels`);
});

test('the title card hides the pile and the image title, and its colour follows the background', async () => {
  const r = await shared.page.evaluate(() => {
    const W = 480;
    const H = 270;
    const imageTitleCfg = { text: 'Caption', size: 64, position: 'top-left' };
    const data = window.pileRecord(8, W, H, { title: 'Hello', imageTitleCfg, background: 'paper' });
    const tm = TY.video.timingOf(data);
    const c = window.canvasOf(W, H);
    TY.render.drawAnimated(c, data, tm.titleDur * 0.5, tm);
    const duringBox = TY.render.getTitleBox();
    const corner = window.pixelAt(c, 5, H - 5);
    const centre = window.pixelAt(c, W / 2, H / 2);
    TY.render.drawAnimated(c, data, tm.titleDur, tm);
    const afterBox = TY.render.getTitleBox();
    const lum = {};
    for (const bg of ['whiteboard', 'marbleblack']) {
      const probe = window.canvasOf(W, H);
      TY.render.paintBackground(probe.getContext('2d'), bg, W, H);
      lum[bg] = TY.render.backgroundLuminance(probe.getContext('2d'), bg, W, H);
    }
    const card = (bg) => {
      const d = window.pileRecord(0, W, H, { title: 'HHHHHH', background: bg });
      const t = TY.video.timingOf(d);
      TY.render.drawAnimated(c, d, t.titleDur / 2, t);
      const band = c.getContext('2d').getImageData(W / 2 - 60, H / 2 - 12, 120, 24).data;
      const reds = [];
      for (let i = 0; i < band.length; i += 4) reds.push(band[i]);
      return { darkest: Math.min(...reds), brightest: Math.max(...reds) };
    };
    return { duringBox, afterBox: !!afterBox, corner, centre, lum, bright: card('whiteboard'), dark: card('marbleblack') };
  });
  assert.equal(r.duringBox, null, 'no image title while the card shows');
  assert.ok(r.afterBox, 'the image title is drawn from t = titleDur');
  assert.deepEqual(r.corner, [233, 226, 214], 'no print has started to fall');
  assert.ok(r.lum.whiteboard > 0.55 && r.lum.marbleblack < 0.2, JSON.stringify(r.lum));
  assert.ok(r.bright.darkest < 90, `dark brown text on a bright desk (${JSON.stringify(r.bright)})`);
  assert.ok(r.dark.brightest > 230, `off-white text on a dark desk (${JSON.stringify(r.dark)})`);
});

test('the spotlight brings ☆1 to the centre at its final scale under a veil', async () => {
  const widths = await shared.page.evaluate(() => {
    const W = 600;
    const H = 400;
    const star = { x: 120, y: 100, rot: 0.3, outerW: 114, outerH: 127, photoIndex: 1, featured: true };
    const other = { x: 500, y: 300, rot: 0, outerW: 114, outerH: 127, photoIndex: 0 };
    const out = {};
    for (const emphasis of [1, 1.1, 1.5]) {
      const data = window.pileRecord(0, W, H, { drawList: [other, star], spotlightIndex: 1, emphasisFactor: emphasis,
        bitmaps: [window.solidPhotos(1, '#00ff00')[0], window.solidPhotos(1, '#ff0000')[0]] });
      const tm = TY.video.timingOf(data);
      const c = window.canvasOf(W, H);
      TY.render.drawAnimated(c, data, tm.total - tm.spotReturn - tm.spotHold / 2, tm);
      const img = window.pixels(c);
      let run = 0;
      const y = Math.round(H / 2 - 10);
      for (let x = 0; x < W; x++) {
        const i = (y * W + x) * 4;
        if (img[i] > 200 && img[i + 1] < 60 && img[i + 2] < 60) run++;
      }
      out[emphasis] = { run, veiled: window.pixelAt(c, 5, 5), otherUnderVeil: window.pixelAt(c, 500, 300) };
    }
    return out;
  });
  const cases = [[1, 1.7], [1.1, 1.7 / 1.1], [1.5, 1.7 / 1.5]];
  for (const [emphasis, scale] of cases) {
    const { run, veiled, otherUnderVeil } = widths[emphasis];
    assert.ok(Math.abs(run - 100 * scale) <= 2, `emphasis ${emphasis}: photo ${run} px wide, expected ${100 * scale}`);
    assert.ok(veiled[0] < 233 * 0.5, `the desk is veiled (${veiled})`);
    assert.ok(otherUnderVeil[1] > 60 && otherUnderVeil[1] < 160, `other prints stay under the veil (${otherUnderVeil})`);
  }
});

test('exits: a gust or breeze at 0 is the resting pile, a finished gust the bare desk', async () => {
  const r = await shared.page.evaluate(() => {
    const W = 480;
    const H = 270;
    const data = window.pileRecord(12, W, H, { imageTitleCfg: { text: 'Desk', size: 64 } });
    const tm = TY.video.timingOf(data);
    const rest = window.canvasOf(W, H);
    TY.render.drawAnimated(rest, data, tm.total, tm);
    const gust = window.canvasOf(W, H);
    TY.render.drawGust(gust, data, 0);
    const breeze = window.canvasOf(W, H);
    TY.render.drawBreeze(breeze, data, 0, TY.render.breezeSchedule(12));
    const away = window.canvasOf(W, H);
    TY.render.drawGust(away, data, 1);
    const empty = window.canvasOf(W, H);
    TY.render.drawAnimated(empty, window.pileRecord(0, W, H, { imageTitleCfg: data.imageTitleCfg }), 0, tm);
    return {
      gust: window.worstDiff(window.pixels(gust), window.pixels(rest)),
      breeze: window.worstDiff(window.pixels(breeze), window.pixels(rest)),
      awayIsEmpty: window.worstDiff(window.pixels(away), window.pixels(empty)),
    };
  });
  assert.ok(r.gust <= 1, `gust at 0 (${r.gust})`);
  assert.ok(r.breeze <= 1, `breeze at 0 (${r.breeze})`);
  assert.ok(r.awayIsEmpty <= 1, `after a gust only the desk and the title remain (${r.awayIsEmpty})`);
  assert.deepEqual(shared.page.pageErrors, []);
});

test('exits: a speckled procedural desk stays still from frame to frame', async () => {
  const worst = await shared.page.evaluate(() => {
    const data = window.pileRecord(0, 320, 180, { background: 'almite' });
    const a = window.canvasOf(320, 180);
    const b = window.canvasOf(320, 180);
    TY.render.drawGust(a, data, 0.3);
    TY.render.drawGust(b, data, 0.6);
    return window.worstDiff(window.pixels(a), window.pixels(b));
  });
  assert.equal(worst, 0, 'the grain of the desk is drawn once, not anew on every frame');
});

/** Page-side: one large swaying print early in its fall, as pixels. */
const SWAY_FRAME = () => {
  const data = window.swayRecord(0);
  const tm = TY.video.timingOf(data);
  const c = window.canvasOf(data.w, data.h);
  TY.render.drawAnimated(c, data, tm.fallDur * 0.05, tm);
  return Array.from(window.pixels(c));
};

test('sway blur: blurred where canvas filters work, drawn sharp where they do nothing', async () => {
  const blurred = await shared.page.evaluate(SWAY_FRAME);
  const plain = await shared.session.newPage(SCRIPTS);
  await plain.evaluate(HELPERS);
  await plain.evaluate(() => {
    Object.defineProperty(CanvasRenderingContext2D.prototype, 'filter', { configurable: true, get: () => 'none', set: () => {} });
  });
  const sharp = await plain.evaluate(SWAY_FRAME);
  await plain.close();
  // Pixels halfway between the blue photo and the white paper: a thin
  // anti-aliased line when sharp, a wide band under a blur.
  const soft = (px) => {
    let n = 0;
    for (let i = 0; i < px.length; i += 4) if (px[i] > 40 && px[i] < 200 && px[i + 2] > 200) n++;
    return n;
  };
  assert.ok(sharp.some((v, i) => i % 4 === 2 && v === 255 && sharp[i - 2] === 0), 'the sharp print shows its photo');
  assert.ok(soft(blurred) > 2 * soft(sharp) + 50, `blurred edges (${soft(blurred)} soft pixels vs ${soft(sharp)})`);
  assert.deepEqual(plain.pageErrors, []);
});

test('sway: a falling card drawn from its kept copy follows a new style and time running back', async () => {
  const r = await shared.page.evaluate(() => {
    const base = window.swayRecord(0.3);
    const tm = TY.video.timingOf(base);
    const c = window.canvasOf(base.w, base.h);
    /** How much bluer than red the bluest pixel is. */
    const blueness = () => {
      const px = window.pixels(c);
      let most = -255;
      for (let i = 0; i < px.length; i += 4) most = Math.max(most, px[i + 2] - px[i]);
      return most;
    };
    TY.render.drawAnimated(c, base, tm.fallDur * 0.3, tm);
    const blue = blueness();
    TY.render.drawAnimated(c, { ...base, filter: 'mono' }, tm.fallDur * 0.3, tm);
    const mono = blueness();
    // Late in the fall, then back to the start, where the card is twice its size.
    TY.render.drawAnimated(c, base, tm.fallDur * 0.9, tm);
    TY.render.drawAnimated(c, base, tm.fallDur * 0.05, tm);
    const back = window.pixels(c);
    TY.render.drawAnimated(c, { ...base }, tm.fallDur * 0.05, tm);
    return { blue, mono, worst: window.worstDiff(back, window.pixels(c)) };
  });
  assert.ok(r.blue > 150, `the photo shows blue (${r.blue})`);
  assert.ok(r.mono < 30, `the monochrome filter applies at once (${r.mono})`);
  assert.equal(r.worst, 0, 'a card drawn after time ran back equals one drawn afresh');
  assert.deepEqual(shared.page.pageErrors, []);
});

test('a playback puts back only what moved, and its frames equal frames drawn whole', async () => {
  const cases = [
    { motion: 'drop', frame: 'cheki' },
    { motion: 'drop', frame: 'tape', title: 'Our summer', imageTitleCfg: { text: 'Trip 2026', size: 40, position: 'top-left' } },
    { motion: 'drop', frame: 'magnet', spotlightIndex: 5, captions: ['a', 'b', 'c'], captionCfg: { font: 'gothic', size: 'm' } },
    { motion: 'sway', frame: 'stamp', imageTitleCfg: { text: '夏の旅', size: 56, position: 'center', style: 'bold' } },
    { motion: 'sway', frame: 'pin', dimOthers: true, dimTranslucent: true, filter: 'sepia', spotlightIndex: 3 },
  ];
  const results = await shared.page.evaluate((list) => list.map((extra) => {
    const W = 480;
    const H = 270;
    const data = window.pileRecord(0, W, H, { ...extra, drawList: TY.layout.generate(W, H, 40, 'm'), bitmaps: window.solidPhotos(40) });
    const tm = TY.video.timingOf(data);
    const played = window.canvasOf(W, H);
    const whole = window.canvasOf(W, H);
    const run = {};
    let worst = { channels: 0, t: 0 };
    let frames = 0;
    for (let t = 0; t <= tm.total; t += 1 / 30) {
      TY.render.drawAnimated(played, data, t, tm, run);
      TY.render.drawAnimated(whole, data, t, tm);
      const a = window.pixels(played);
      const b = window.pixels(whole);
      let channels = 0;
      for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) channels++;
      if (channels > worst.channels) worst = { channels, t };
      frames++;
    }
    return { extra, frames, worst };
  }), cases);
  for (const r of results) {
    assert.ok(r.frames > 100, `${JSON.stringify(r.extra)}: ${r.frames} frames`);
    assert.equal(r.worst.channels, 0, `${JSON.stringify(r.extra)}: ${r.worst.channels} channels differ at t = ${r.worst.t.toFixed(2)} s`);
  }
  assert.deepEqual(shared.page.pageErrors, []);
});
