'use strict';
// The album scene in Chromium: covers opening, spreads, page turns and the
// close draw for every kind of page, and the picture meets its neighbours
// where the timeline says it should.
const test = require('node:test');
const assert = require('node:assert/strict');
const { sharedPage } = require('../lib/page-fixture');

const SCRIPTS = ['i18n', 'layout', 'album', 'render', 'video'];

/** Page-side helpers: coloured stand-in photos and an album record. */
const HELPERS = `(() => {
  window.testPhotos = (n) => Array.from({ length: n }, (_, i) => {
    const c = document.createElement('canvas');
    c.width = 160 + (i % 3) * 40; c.height = 160;
    const g = c.getContext('2d');
    g.fillStyle = 'hsl(' + ((i * 47) % 360) + ', 70%, 55%)';
    g.fillRect(0, 0, c.width, c.height);
    g.fillStyle = '#fff'; g.fillRect(20, 20, 30, 30);
    return c;
  });
  window.albumRecord = (n, w, h, extra) => {
    const drawList = Array.from({ length: n }, (_, i) => ({ photoIndex: i, x: 0, y: 0, rot: 0, outerW: 100, outerH: 111 }));
    return Object.assign({ w, h, motion: 'album', speed: 1, background: 'paper', frame: 'cheki', filter: 'none',
      drawList, bitmaps: window.testPhotos(n), albumCfg: {}, title: 'Summer 2026', comments: [], captions: null }, extra || {});
  };
  window.frameAt = (canvas, data, t) => {
    const tm = TY.video.timingOf(data);
    TY.render.drawAnimated(canvas, data, typeof t === 'function' ? t(tm) : t, tm);
    return tm;
  };
})();`;

const shared = sharedPage(SCRIPTS, HELPERS);

test('every album scene draws for every setting without errors', async () => {
  const failures = await shared.page.evaluate(() => {
    const settings = [
      {}, { cover: 'leather', mat: 'white', mount: 'corner', photosPerPage: 4 },
      { cover: 'paper', mat: 'kraft', mount: 'tape', tapePattern: 'auto', fitMode: 'crop', photosPerPage: 9 },
      { cover: 'scatter', mat: 'ledger', starMode: 'both' }, { mount: 'tape', tapePattern: 'sakura', starMode: 'featurePages' },
      { lastAction: 'repeat', starMode: 'coverStar1', photosPerPage: 1 },
    ];
    const sizes = [[480, 270], [270, 480], [300, 300]];
    const out = [];
    for (const albumCfg of settings) {
      for (const [w, h] of sizes) {
        for (const n of [0, 1, 13]) {
          const canvas = document.createElement('canvas');
          canvas.width = w; canvas.height = h;
          const data = window.albumRecord(n, w, h, { albumCfg, captions: n ? ['a', 'b'] : null, captionCfg: { font: 'gothic', size: 'm' },
            comments: ['one\ntwo\nthree\nfour\nfive\nsix'], baseCanvas: window.testPhotos(1)[0] });
          if (n) data.drawList[n - 1].featured = true;
          const tm = TY.video.timingOf(data);
          const times = [0, tm.coverOpenDur * 0.35, tm.coverOpenDur * 0.7, tm.coverOpenDur + tm.pageHold / 2,
            tm.coverOpenDur + tm.pageHold + tm.turnDur / 2, tm.total - tm.closeDur / 2, tm.total];
          for (const t of times) {
            try { TY.render.drawAnimated(canvas, data, t, tm); } catch (e) { out.push(`${JSON.stringify(albumCfg)} ${w}x${h} n=${n} t=${t}: ${e.message}`); }
          }
        }
      }
    }
    return out;
  });
  assert.deepEqual(failures, []);
  assert.deepEqual(shared.page.pageErrors, []);
});

test('cover opening, turn and close meet their neighbours', async () => {
  const r = await shared.page.evaluate(() => {
    const W = 480;
    const H = 270;
    const shot = (t, data) => {
      const c = document.createElement('canvas');
      c.width = W; c.height = H;
      window.frameAt(c, data, t);
      return c.getContext('2d').getImageData(0, 0, W, H).data;
    };
    const data = window.albumRecord(9, W, H);
    const tm = TY.video.timingOf(data);
    const geom = TY.album.geometry(W, H);
    // Compared over the pages themselves: the stacks of page edges outside
    // them grow by one line when a page has been turned.
    const diff = (a, b) => {
      let worst = 0;
      for (let i = 0; i < a.length; i++) {
        const x = (i >> 2) % W;
        if (x >= geom.cx - geom.pageW && x < geom.cx + geom.pageW) worst = Math.max(worst, Math.abs(a[i] - b[i]));
      }
      return worst;
    };
    const pixel = (img, x, y) => Array.from(img.slice((Math.round(y) * W + Math.round(x)) * 4, (Math.round(y) * W + Math.round(x)) * 4 + 3));
    const closed = shot(tm.coverOpenDur * 0.35, data);
    const opened = shot(tm.coverOpenDur - 1e-9, data);
    const rest0 = shot(tm.coverOpenDur + 0.1, data);
    const turnEnd = shot(tm.coverOpenDur + tm.pageHold + tm.turnDur - 1e-9, data);
    const rest1 = shot(tm.coverOpenDur + tm.pageHold + tm.turnDur + 0.1, data);
    const closeEnd = shot(tm.total, data);
    const midTurn = shot(tm.coverOpenDur + tm.pageHold + tm.turnDur / 2, data);
    return {
      start: diff(shot(0, data), closed),
      opened: diff(opened, rest0),
      turned: diff(turnEnd, rest1),
      closedAgain: diff(closeEnd, closed),
      leftOfSpineClosed: pixel(closed, geom.cx - geom.pageW / 2, geom.cy),
      leftOfSpineOpen: pixel(rest0, geom.cx - geom.pageW / 2, H - 3),
      coverColour: pixel(closed, geom.cx + geom.pageW * 0.1, geom.cy + geom.pageH * 0.3),
      midTurnDiffers: diff(midTurn, rest0) > 40 && diff(midTurn, rest1) > 40,
    };
  });
  assert.ok(r.start <= 2, 'the book stays closed for the first 35% of the cover phase');
  assert.ok(r.opened <= 8, `the opened cover meets spread 0 at rest (${r.opened})`);
  assert.ok(r.turned <= 8, `a finished turn meets the next spread (${r.turned})`);
  assert.ok(r.closedAgain <= 2, 'the close ends on the closed book');
  assert.ok(r.midTurnDiffers, 'a page in mid turn differs from both spreads');
  const [cr, cg, cb] = r.coverColour;
  assert.ok(cr > cg + 30 && cr > cb + 30, `the cloth cover is red (${r.coverColour})`);
});

test('portrait sheets fade into the binding and vanish at the end of a turn', async () => {
  const r = await shared.page.evaluate(() => {
    const W = 270;
    const H = 480;
    const data = window.albumRecord(9, W, H, { albumCfg: { photosPerPage: 2 } });
    const tm = TY.video.timingOf(data);
    const c = document.createElement('canvas');
    c.width = W; c.height = H;
    const img = (t) => { window.frameAt(c, data, t); return c.getContext('2d').getImageData(0, 0, W, H).data; };
    const turnEnd = img(tm.coverOpenDur + tm.pageHold + tm.turnDur - 1e-6);
    const rest1 = img(tm.coverOpenDur + tm.pageHold + tm.turnDur + 0.01);
    let worst = 0;
    for (let i = 0; i < turnEnd.length; i++) worst = Math.max(worst, Math.abs(turnEnd[i] - rest1[i]));
    return { spreads: tm.spreads, worst };
  });
  assert.equal(r.spreads, 5);
  assert.ok(r.worst <= 8, `nothing of the turned sheet is left (${r.worst})`);
});
