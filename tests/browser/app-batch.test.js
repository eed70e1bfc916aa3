'use strict';
// The page's side of a batch render, in Chromium with a fake host: the
// request's settings reach the controls, the favourites are starred by name
// in order, one generation with the seed lays the same pile every time, the
// picture goes through the save flow to the host's target, the busy texts
// come back as progress, and a value the page does not offer ends the run
// with exit code 2 before anything is imported.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { appSession } = require('../lib/app-page');

let session;
test.before(async () => { session = await appSession(); });
test.after(() => session.close());

// A host that answers the save as a batch render's host does: the target is
// chosen already, and the file is written once all chunks are in.
const FAKE_HOST = `window.__posted = [];
window.chrome = { webview: { addEventListener() {}, postMessage: (text) => {
  const m = JSON.parse(text);
  window.__posted.push(m);
  setTimeout(() => {
    if (m.cmd === 'chooseImageSave') window.kobHost.emit('saveTargetChosen', { requestId: m.requestId, format: 'png' });
    if (m.cmd === 'saveImage' && m.chunkIndex === m.totalChunks - 1) window.kobHost.emit('saveDone', { requestId: m.requestId, path: '/out/pile.png' });
  }, 0);
} } };`;

const PHOTOS = fs.readdirSync(path.join(__dirname, '..', '..', 'samples', 'photos')).filter((f) => /\.jpg$/.test(f)).sort();

function request(extra = {}) {
  return {
    output: 'png', mode: 'scatter', memos: false, wallpaper: false, seed: 5, titleColor: null, titlePosition: null,
    titleFreePos: null, titleFont: null, backgroundUrl: null, favourites: ['coffee.jpg', 'astronaut.jpg'],
    controls: [
      { option: '--frame', id: 'frameSelect', value: 'tape' }, { option: '--size', id: 'sizePreset', value: 'custom' },
      { option: '--size', id: 'customW', value: '800' }, { option: '--size', id: 'customH', value: '600' },
      { option: '--no-repeat', id: 'chkNoRepeat', value: true },
    ],
    folder: { baseUrl: `${session.url}/samples/photos/`, photos: PHOTOS, memos: [] },
    ...extra,
  };
}

/** Sends the request to a fresh page and waits for its end. */
async function run(req) {
  const opened = await session.open('?lang=en', { init: FAKE_HOST });
  const { page } = opened;
  await page.waitForFunction(() => window.TY && window.TY.ui && !window.TY.ui.isBusy());
  await page.evaluate((r) => window.kobHost.emit('batchRender', r), req);
  await page.waitForFunction(() => window.__posted.some((m) => m.cmd === 'batchDone'), null, { timeout: 30000 });
  const result = await page.evaluate(() => {
    const visual = window.TY.ui.lastVisual();
    return {
      done: window.__posted.find((m) => m.cmd === 'batchDone'),
      progress: window.__posted.filter((m) => m.cmd === 'batchProgress').map((m) => m.text),
      saves: window.__posted.filter((m) => m.cmd === 'saveImage').length,
      frame: document.getElementById('frameSelect').value,
      stars: window.TY.photos.items.filter((it) => it.star > 0).map((it) => `${it.star}:${it.name}`).sort(),
      layout: visual && visual.drawList.map((p) => [p.photoIndex, Math.round(p.x), Math.round(p.y), p.rot.toFixed(4)]),
      topmost: visual && visual.sourceItems[visual.drawList[visual.drawList.length - 1].photoIndex].name,
      imported: window.TY.photos.items.length,
    };
  });
  assert.deepEqual(opened.errors, []);
  await opened.close();
  return result;
}

test('a batch request sets the controls, stars the favourites, saves once and reports', async () => {
  const first = await run(request());
  assert.deepEqual(first.done, { cmd: 'batchDone', code: 0, width: 800, height: 600 });
  assert.equal(first.frame, 'tape');
  assert.deepEqual(first.stars, ['1:coffee.jpg', '2:astronaut.jpg']);
  assert.equal(first.topmost, 'coffee.jpg', '☆1 lies on top');
  assert.equal(first.layout.length, PHOTOS.length, 'no repeat: every photo once');
  assert.ok(first.saves >= 1);
  assert.ok(first.progress.length > 0 && first.progress.every((t) => typeof t === 'string' && t), first.progress.join(' | '));

  // The same seed lays the same pile; another seed another.
  assert.deepEqual((await run(request())).layout, first.layout);
  assert.notDeepEqual((await run(request({ seed: 6 }))).layout, first.layout);
});

test('a value the page does not offer ends the run with code 2 before anything is imported', async () => {
  const bad = await run(request({ controls: [{ option: '--frame', id: 'frameSelect', value: 'polaroid' }] }));
  assert.deepEqual(bad.done, { cmd: 'batchDone', code: 2, message: '--frame: the page does not offer "polaroid"' });
  assert.equal(bad.imported, 0);
  assert.equal(bad.saves, 0);
});

test('photos that cannot be read end the run with code 3', async () => {
  const unreadable = await run(request({ favourites: [], folder: { baseUrl: `${session.url}/samples/photos/`, photos: ['missing-1.jpg', 'missing-2.jpg'], memos: [] } }));
  assert.equal(unreadable.done.code, 3);
  assert.match(unreadable.done.message, /^none of the 2 photos could be read/);
});
