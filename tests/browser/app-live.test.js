'use strict';
// The live hand-over in Chromium with a fake host: the first question, the
// photos and play data sent in one session of the host's epoch, pictures at
// the size the screen needs, stale attempts, "Remake the creation each
// time", the state mirror, the button table and the ways out of "Starting…".
const test = require('node:test');
const assert = require('node:assert/strict');
const { appSession, settled, toastText } = require('../lib/app-page');

const FAKE_HOST = 'window.chrome = { webview: { postMessage: (m) => (window.__posted = window.__posted || []).push(JSON.parse(m)), addEventListener() {} } };';

let session;
test.before(async () => { session = await appSession(); });
test.after(async () => { await session.close(); });

/** A hosted page with a pile of `demo` sample photos, told the screen and epoch. */
async function livePage(query, screen = { w: 2560, h: 1600 }, epoch = 3) {
  const opened = await session.open(query, { init: FAKE_HOST });
  await settled(opened.page);
  await opened.page.evaluate(([s, e]) => window.TY.bridge.emit('displayInfo', { w: s.w, h: s.h, liveEpoch: e }), [screen, epoch]);
  await opened.page.check('#chkLive');
  return opened;
}

/** The live commands posted so far, photo chunks without their data. */
function liveMessages(page) {
  return page.evaluate(() => (window.__posted || []).filter((m) => /Live|live/.test(m.cmd)).map((m) => {
    if (m.cmd !== 'livePhoto') return m;
    return { cmd: m.cmd, epoch: m.epoch, session: m.session, index: m.index, chunkIndex: m.chunkIndex, totalChunks: m.totalChunks };
  }));
}

const until = (page, cmd) => page.waitForFunction((c) => (window.__posted || []).some((m) => m.cmd === c), cmd);
const buttonText = (page) => page.locator('#btnSetWallpaperText').textContent();

/** Makes every picture reduction wait until window.__release() is called. */
function holdReductions(page) {
  return page.evaluate(() => {
    const reduce = window.TY.photos.reduceForHandover;
    let open;
    window.__reductions = 0;
    const gate = new Promise((resolve) => { open = resolve; });
    window.__release = open;
    window.TY.photos.reduceForHandover = async (blob, side) => {
      window.__reductions++;
      await gate;
      return reduce(blob, side);
    };
  });
}

test('the first hand-over asks once, sends every photo once in one session and waits for the state report', async () => {
  const { page, errors, close } = await livePage('?demo=6&lang=en');
  assert.equal(await page.locator('#liveLoopMode').isVisible(), true, 'the live options show with the box checked');
  await page.click('#btnSetWallpaper');
  assert.equal(await page.locator('#confirmTitle').textContent(), 'Save this creation?');
  assert.equal(await page.locator('#confirmOk').textContent(), 'Save, then set');
  assert.equal(await page.locator('#confirmSecond').textContent(), 'Set without saving');
  await page.click('#confirmSecond');
  await until(page, 'startLiveWallpaper');

  const sent = await liveMessages(page);
  const visual = await page.evaluate(() => window.TY.ui.lastVisual().drawList.map((p) => p.photoIndex));
  const wanted = [...new Set(visual)].sort((a, b) => a - b);
  assert.deepEqual(sent[0], { cmd: 'beginLiveWallpaper', epoch: 3, session: 1 });
  const photos = sent.filter((m) => m.cmd === 'livePhoto');
  assert.ok(photos.every((m) => m.epoch === 3 && m.session === 1 && m.chunkIndex === 0 && m.totalChunks === 1));
  assert.deepEqual(photos.map((m) => m.index), wanted, 'each photo of the pile once, in order');
  const start = sent[sent.length - 1];
  assert.equal(start.cmd, 'startLiveWallpaper');
  assert.deepEqual([start.epoch, start.session], [3, 1]);
  assert.deepEqual(Object.keys(start.data.photoUrls).map(Number), wanted);
  assert.equal(start.data.photoUrls[wanted[0]], `tessary-live://live/${wanted[0]}`);
  assert.deepEqual([start.data.holdSec, start.data.wind, start.data.w, start.data.h], [30, 'none', 1920, 1080]);
  for (const gone of ['bitmaps', 'baseCanvas', 'sourceItems', 'regenerate', 'variants']) assert.ok(!(gone in start.data), gone);

  // Transferring: "Starting…" and the controls locked until the host reports.
  assert.equal(await buttonText(page), 'Starting…');
  assert.equal(await page.locator('#btnSetWallpaper').isDisabled(), true);
  assert.equal(await page.locator('#chkLive').isDisabled(), true);
  assert.equal(await page.locator('#liveLoopMode').isDisabled(), true);
  await page.evaluate(() => window.TY.bridge.emit('wallpaperState', { state: 'running', pauseReasons: [] }));
  assert.equal(await buttonText(page), 'Live wallpaper on');
  assert.equal(await page.getAttribute('#btnSetWallpaper', 'aria-pressed'), 'true');
  assert.equal(await toastText(page), 'Now playing on your desktop (stop it from the tray)');
  await page.evaluate(() => window.TY.bridge.emit('wallpaperState', { state: 'paused', pauseReasons: [] }));
  assert.equal(await buttonText(page), 'Live wallpaper on');
  await page.evaluate(() => window.TY.bridge.emit('wallpaperState', { state: 'stopped', pauseReasons: [] }));
  assert.equal(await buttonText(page), 'Set wallpaper');
  assert.equal(await page.getAttribute('#btnSetWallpaper', 'aria-pressed'), 'false');
  assert.equal(await toastText(page), 'Live wallpaper stopped');

  // The second time nothing is asked, and the session moves on.
  await page.click('#btnSetWallpaper');
  await page.waitForFunction(() => window.__posted.filter((m) => m.cmd === 'startLiveWallpaper').length === 2);
  assert.equal(await page.locator('#confirmDialog').isHidden(), true);
  assert.equal((await liveMessages(page)).filter((m) => m.cmd === 'beginLiveWallpaper')[1].session, 2);

  // A running wallpaper makes the button an off switch only from code; albums are refused.
  await page.evaluate(() => window.TY.bridge.emit('wallpaperState', { state: 'stopped', pauseReasons: [] }));
  await page.evaluate(() => window.TY.ui.setMode('album'));
  assert.equal(await page.isChecked('#chkLive'), false, 'album mode unchecks the box');
  await page.evaluate(() => { document.getElementById('chkLive').checked = true; return window.TY.ui.startLiveWallpaper(); });
  assert.equal(await toastText(page), 'Albums cannot be used as a live wallpaper (you can still set a still image)');
  assert.deepEqual(errors, []);
  await close();
});

test('a new generation, a new attempt or a new page epoch makes a hand-over stale', async () => {
  const { page, errors, close } = await livePage('?demo=6&lang=en');
  await page.evaluate(() => window.TY.ui.startLiveWallpaper());
  await page.click('#confirmSecond');
  await until(page, 'startLiveWallpaper');
  await page.evaluate(() => window.TY.bridge.emit('wallpaperState', { state: 'stopped', pauseReasons: [] }));
  const cases = [
    { what: 'a new generation', act: () => page.evaluate(() => window.TY.ui.regenerate()), cancels: true },
    { what: 'a new page epoch', act: () => page.evaluate(() => window.TY.bridge.emit('displayInfo', { w: 2560, h: 1600, liveEpoch: 9 })), cancels: false },
  ];
  for (const c of cases) {
    await page.evaluate(() => { window.__posted = []; });
    await holdReductions(page);
    const attempt = page.evaluate(() => window.TY.ui.startLiveWallpaper());
    await page.waitForFunction(() => window.__reductions > 0);
    const begun = (await liveMessages(page))[0];
    await c.act();
    await page.evaluate(() => window.__release());
    await attempt;
    const sent = await liveMessages(page);
    assert.equal(sent.filter((m) => m.cmd === 'livePhoto').length, 0, `${c.what}: nothing more is sent`);
    assert.ok(!sent.some((m) => m.cmd === 'startLiveWallpaper'), c.what);
    const cancel = sent.filter((m) => m.cmd === 'cancelLiveWallpaper');
    // The host discards a stale epoch's transfer itself.
    assert.deepEqual(cancel, c.cancels ? [{ cmd: 'cancelLiveWallpaper', epoch: begun.epoch, session: begun.session }] : [], c.what);
    assert.equal(await buttonText(page), 'Set wallpaper', c.what);
    assert.equal(await page.evaluate(() => window.TY.ui.liveTransferring()), false, c.what);
  }

  // A report that ends the transfer lets a new attempt start; the older one stops without cancelling it.
  await page.evaluate(() => { window.__posted = []; });
  await holdReductions(page);
  const first = page.evaluate(() => window.TY.ui.startLiveWallpaper());
  await page.waitForFunction(() => window.__reductions > 0);
  await page.evaluate(() => window.TY.bridge.emit('wallpaperState', { state: 'stopped', pauseReasons: [] }));
  const second = page.evaluate(() => window.TY.ui.startLiveWallpaper());
  await page.evaluate(() => window.__release());
  await Promise.all([first, second]);
  const sent = await liveMessages(page);
  const begins = sent.filter((m) => m.cmd === 'beginLiveWallpaper').map((m) => m.session);
  assert.equal(begins.length, 2);
  const older = begins[0];
  assert.ok(!sent.some((m) => m.session === older && m.cmd !== 'beginLiveWallpaper'), 'the older attempt sends nothing more');
  assert.deepEqual(sent.filter((m) => m.cmd === 'startLiveWallpaper').map((m) => m.session), [begins[1]]);
  assert.equal(await buttonText(page), 'Starting…', 'the newer attempt waits for its report');
  assert.deepEqual(errors, []);
  await close();
});

test('"Remake the creation each time" sends 6 variants and every photo of every variant once', async () => {
  const { page, errors, close } = await livePage('?demo=8&lang=en');
  await page.selectOption('#liveLoopMode', 'regenerate');
  await page.check('#liveWind input[value="breeze"]');
  await page.evaluate(() => window.TY.ui.startLiveWallpaper());
  await page.click('#confirmSecond');
  await until(page, 'startLiveWallpaper');
  const sent = await liveMessages(page);
  const start = sent[sent.length - 1];
  assert.equal(start.data.regenerate, true);
  assert.equal(start.data.wind, 'breeze');
  assert.equal(start.data.variants.length, 6);
  const current = await page.evaluate(() => window.TY.ui.lastVisual().drawList);
  assert.deepEqual(start.data.variants[0], JSON.parse(JSON.stringify(current)), 'the first variant is the current pile');
  assert.notDeepEqual(start.data.variants[1], start.data.variants[0]);
  const used = [...new Set(start.data.variants.flat().map((p) => p.photoIndex))].sort((a, b) => a - b);
  const indexes = sent.filter((m) => m.cmd === 'livePhoto').map((m) => m.index);
  assert.deepEqual(indexes, used, 'the union of the variants, each photo once');
  assert.deepEqual(Object.keys(start.data.photoUrls).map(Number), used);
  assert.deepEqual(errors, []);
  await close();
});

test('pictures go at the side the screen needs, never enlarged', async () => {
  // A 1920 × 1080 creation of small prints on a 2560 × 1600 screen.
  const { page, errors, close } = await livePage('?demo=4&lang=en&cheki=s&size=1920x1080');
  // One landscape photo of 1600 × 900 joins the samples.
  await page.evaluate(async () => {
    const canvas = document.createElement('canvas');
    canvas.width = 1600;
    canvas.height = 900;
    const ctx = canvas.getContext('2d');
    ctx.fillStyle = '#3a6';
    ctx.fillRect(0, 0, 1600, 900);
    const blob = window.TY.render.canvasToBlob(canvas, 'image/jpeg', 0.9);
    await window.TY.ui.importFiles([new File([blob], 'wide.jpg', { type: 'image/jpeg' })]);
  });
  await settled(page);
  await page.evaluate(() => window.TY.ui.startLiveWallpaper());
  await page.click('#confirmSecond');
  await until(page, 'startLiveWallpaper');
  const result = await page.evaluate(async () => {
    const posted = window.__posted;
    const data = posted.find((m) => m.cmd === 'startLiveWallpaper').data;
    const needed = window.TY.render.decodeSideByPhoto(data);
    const items = window.TY.ui.lastVisual().sourceItems;
    const out = [];
    for (const m of posted.filter((p) => p.cmd === 'livePhoto')) {
      const bytes = Uint8Array.from(window.atob(m.data), (c) => c.charCodeAt(0));
      const picture = await createImageBitmap(new Blob([bytes]));
      const own = new Uint8Array(await items[m.index].blob.arrayBuffer());
      const original = await createImageBitmap(items[m.index].blob);
      out.push({ index: m.index, needed: needed.get(m.index), w: picture.width, h: picture.height,
        ownSide: Math.min(original.width, original.height),
        unchanged: own.length === bytes.length && own.every((b, i) => b === bytes[i]) });
    }
    return out;
  });
  const k = Math.max(2560 / 1920, 1600 / 1080);
  assert.equal(k.toFixed(4), '1.4815');
  assert.ok(result.length >= 5);
  for (const r of result) {
    const want = Math.ceil(r.needed * k - 1e-9);
    if (r.ownSide <= want) {
      assert.ok(r.unchanged, `photo ${r.index} (needs ${want}) goes in its own bytes`);
    } else {
      assert.equal(Math.min(r.w, r.h), want, `photo ${r.index}: its shorter side is the side needed × ${k.toFixed(4)}`);
      assert.equal(r.unchanged, false);
    }
  }
  const wide = result.find((r) => Math.max(r.w, r.h) / Math.min(r.w, r.h) > 1.5);
  assert.ok(wide, 'the landscape photo was sent');
  assert.equal(wide.w, Math.round(1600 * wide.h / 900), 'its width keeps the proportion');
  assert.ok(result.some((r) => !r.unchanged), 'some pictures were reduced');
  assert.deepEqual(errors, []);
  await close();
});

test('a photo smaller than the screen needs goes in its own bytes', async () => {
  // An 8K screen needs more than the 640 px samples have.
  const { page, errors, close } = await livePage('?demo=3&lang=en', { w: 7680, h: 4320 });
  await page.evaluate(() => window.TY.ui.startLiveWallpaper());
  await page.click('#confirmSecond');
  await until(page, 'startLiveWallpaper');
  const same = await page.evaluate(async () => {
    const items = window.TY.ui.lastVisual().sourceItems;
    const out = [];
    for (const m of window.__posted.filter((p) => p.cmd === 'livePhoto')) {
      const own = new Uint8Array(await items[m.index].blob.arrayBuffer());
      let binary = '';
      for (const b of own) binary += String.fromCharCode(b);
      out.push(window.btoa(binary) === m.data);
    }
    return out;
  });
  assert.deepEqual(same, [true, true, true]);
  assert.deepEqual(errors, []);
  await close();
});

test('"Starting…" ends with the host\'s failure report, or after a minute without any report', async () => {
  const { page, errors, close } = await livePage('?demo=3&lang=en');
  await page.evaluate(() => window.TY.ui.startLiveWallpaper());
  await page.click('#confirmSecond');
  await until(page, 'startLiveWallpaper');
  // A report for another session is not this attempt's.
  await page.evaluate(() => window.TY.bridge.emit('liveWallpaperError', { epoch: 3, session: 7, message: 'other' }));
  assert.equal(await buttonText(page), 'Starting…');
  await page.evaluate(() => window.TY.bridge.emit('liveWallpaperError',
    { epoch: 3, session: 1, message: 'The live wallpaper program did not start.' }));
  assert.equal(await buttonText(page), 'Set wallpaper');
  assert.equal(await toastText(page), 'Could not start the live wallpaper: The live wallpaper program did not start.');

  await page.clock.install();
  await page.evaluate(() => { window.__posted = []; });
  await page.click('#btnSetWallpaper');
  await until(page, 'startLiveWallpaper');
  await page.clock.fastForward(59000);
  assert.equal(await buttonText(page), 'Starting…');
  await page.clock.fastForward(2000);
  assert.equal(await buttonText(page), 'Set wallpaper');
  assert.equal(await toastText(page), 'The live wallpaper did not start. Please try again');
  assert.equal(await page.locator('#chkLive').isDisabled(), false);
  assert.deepEqual(errors, []);
  await close();
});

test('closing with a live wallpaper running asks whether to close the wallpaper app too', async () => {
  const { page, errors, close } = await livePage('?demo=3&lang=en');
  await page.evaluate(() => {
    window.TY.ui.setUnsavedResult(false);
    window.TY.bridge.emit('wallpaperState', { state: 'paused', pauseReasons: [] });
    window.__posted = [];
    window.__requestExit();
  });
  assert.equal(await page.locator('#confirmTitle').textContent(), 'Close the wallpaper app too?');
  await page.click('#confirmOk');
  assert.deepEqual(await page.evaluate(() => window.__posted), [{ cmd: 'closeApp', quitWallpaper: true }]);
  await page.evaluate(() => { window.__posted = []; window.__requestExit(); });
  await page.click('#confirmSecond');
  assert.deepEqual(await page.evaluate(() => window.__posted), [{ cmd: 'closeApp' }]);
  assert.deepEqual(errors, []);
  await close();
});
