'use strict';
// "Save creation" on the generator page in Chromium, with a fake host: the
// request ids and the chunks of a picture, late, repeated and foreign
// answers, the one request sequence shared with the still wallpaper, the
// WebM recording, the album PDF with its paper dialog (one page
// at a time, host errors, closing it), the regional paper, Ctrl+S, the
// save begun at the exit question, and the standalone download.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { appSession, settled } = require('../lib/app-page');

let session;
test.before(async () => { session = await appSession(); });
test.after(() => session.close());

// A host that keeps what the page posts; `window.__answer(message)`, when
// set, answers commands as a host would.
const FAKE_HOST = `window.__posted = [];
window.chrome = { webview: { addEventListener() {}, postMessage: (text) => {
  const message = JSON.parse(text);
  window.__posted.push(message);
  if (window.__answer) setTimeout(() => window.__answer(message), 0);
} } };`;

const posted = (page, cmd) => page.evaluate((c) => window.__posted.filter((m) => m.cmd === c), cmd);
const emit = (page, event, payload) => page.evaluate(([e, p]) => window.kobHost.emit(e, p), [event, payload]);
const busyState = (page) => page.evaluate(() => ({ busy: window.TY.ui.isBusy(), text: document.getElementById('busyText').textContent }));
const toast = (page) => page.evaluate(() => {
  const el = document.getElementById('toast');
  return { text: el.textContent, error: el.classList.contains('error') };
});
/** Runs `action` and returns the chooseImageSave it makes the page post. */
async function choiceAfter(page, action) {
  const before = (await posted(page, 'chooseImageSave')).length;
  await action();
  await page.waitForFunction((n) => window.__posted.filter((m) => m.cmd === 'chooseImageSave').length > n, before);
  return (await posted(page, 'chooseImageSave')).pop();
}

/** Lets the page handle what it was given (answers arrive as events; flows go on across waits). */
const settle = (page, ms = 150) => page.waitForTimeout(ms);

/** The base64 text of one transfer, its chunks joined in order. */
function joined(chunks) {
  assert.ok(chunks.length > 0, 'a transfer was sent');
  chunks.forEach((c, i) => { assert.equal(c.chunkIndex, i); assert.equal(c.totalChunks, chunks.length); });
  return chunks.map((c) => c.data).join('');
}

/** Pixel size of a picture given as base64, decoded by the page. */
const decodedSize = (page, base64, type) => page.evaluate(async ([b64, t]) => {
  const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
  const bitmap = await createImageBitmap(new Blob([bytes], { type: t }));
  return [bitmap.width, bitmap.height];
}, [base64, type]);

async function openHosted(query, init = '') {
  const opened = await session.open(query, { init: FAKE_HOST + init });
  await settled(opened.page, 30000);
  return opened;
}

test('a JPEG save: its request, its chunks, and answers that are late, repeated or foreign change nothing', async () => {
  const { page, errors, close } = await openHosted('?demo=4&lang=en');
  const choose = await choiceAfter(page, () => page.click('#btnSaveCreation'));
  assert.deepEqual(await busyState(page), { busy: true, text: 'Choosing where to save…' });
  assert.match(choose.requestId, /^r\d+-\d{13}$/);
  assert.equal(choose.album, false);
  assert.equal(choose.generationId, await page.evaluate(() => window.TY.ui.generationId()));
  const id = choose.requestId;

  // Answers for other requests are not this save's.
  await emit(page, 'saveTargetChosen', { requestId: 'r0-1', format: 'jpeg' });
  await emit(page, 'saveDone', { requestId: 'r0-1', path: '/elsewhere.png' });
  await settle(page);
  assert.deepEqual(await posted(page, 'saveImage'), []);
  assert.equal((await busyState(page)).busy, true);

  await emit(page, 'saveTargetChosen', { requestId: id, format: 'jpeg' });
  await page.waitForFunction(() => window.__posted.some((m) => m.cmd === 'saveImage'));
  await emit(page, 'saveTargetChosen', { requestId: id, format: 'png' });
  await settle(page, 400);
  const chunks = await posted(page, 'saveImage');
  assert.ok(chunks.every((c) => c.requestId === id && c.format === 'jpg' && c.generationId === choose.generationId),
    'one transfer, as "jpg", with the request and its generation');
  const picture = joined(chunks);
  assert.ok(picture.startsWith('/9j/'), 'a JPEG');
  assert.deepEqual(await decodedSize(page, picture, 'image/jpeg'), [1920, 1080]);
  assert.equal((await busyState(page)).text, 'Preparing to save…');

  await emit(page, 'saveDone', { requestId: id, path: '/home/me/Pictures/pile.jpg' });
  assert.deepEqual(await toast(page), { text: 'Saved: /home/me/Pictures/pile.jpg', error: false });
  assert.equal((await busyState(page)).busy, false);
  assert.deepEqual((await posted(page, 'setUnsavedResult')).map((m) => m.value), [true, false]);
  // Once accepted, the save is over: its repeated or late answers are ignored.
  await emit(page, 'saveError', { requestId: id, message: 'late' });
  await emit(page, 'saveDone', { requestId: id, path: '/again.jpg' });
  assert.deepEqual(await toast(page), { text: 'Saved: /home/me/Pictures/pile.jpg', error: false });

  // The next request has the next number; a cancel ends it quietly, a failure aloud.
  const second = (await choiceAfter(page, () => page.click('#btnSaveCreation'))).requestId;
  assert.equal(Number(/^r(\d+)-/.exec(second)[1]), Number(/^r(\d+)-/.exec(id)[1]) + 1);
  await emit(page, 'saveCancelled', { requestId: id });
  assert.equal((await busyState(page)).busy, true, 'a cancel of the earlier save is not this one');
  await emit(page, 'saveCancelled', { requestId: second });
  assert.equal((await busyState(page)).busy, false);
  const third = (await choiceAfter(page, () => page.click('#btnSaveCreation'))).requestId;
  await emit(page, 'saveTargetChosen', { requestId: third, format: 'png' });
  await page.waitForFunction((r) => window.__posted.some((m) => m.cmd === 'saveImage' && m.requestId === r), third);
  const png = joined((await posted(page, 'saveImage')).filter((c) => c.requestId === third));
  assert.ok(png.startsWith('iVBORw0KGgo'), 'a PNG');
  await emit(page, 'saveError', { requestId: third, message: 'No space left on device' });
  assert.deepEqual(await toast(page), { text: 'Save failed: No space left on device', error: true });
  assert.equal((await busyState(page)).busy, false);
  assert.deepEqual(errors, []);
  await close();
});

/** The sequence number of a request id "r<number>-<ms>". */
const sequenceOf = (requestId) => Number(/^r(\d+)-\d+$/.exec(requestId)[1]);

test('saves and still wallpapers are the one pending request, numbered in one sequence, each hearing only its own answers', async () => {
  const { page, errors, close } = await openHosted('?demo=4&lang=en', `window.__answer = (m) => {
    if (m.cmd === 'checkWallpaper') window.kobHost.emit('wallpaperCheck', { restorable: true, hasBackup: false });
  };`);
  const save = (await choiceAfter(page, () => page.click('#btnSaveCreation'))).requestId;
  await emit(page, 'saveCancelled', { requestId: save });
  await page.click('#btnSetWallpaper');
  await page.waitForSelector('#confirmDialog:not([hidden])');
  await page.click('#confirmOk');
  await page.waitForFunction(() => window.__posted.some((m) => m.cmd === 'setWallpaper'));
  const wallpaper = (await posted(page, 'setWallpaper'))[0].requestId;
  assert.equal(sequenceOf(wallpaper), sequenceOf(save) + 1);
  // A save's answers carrying the wallpaper's id do not end the wallpaper, nor the other way round.
  await emit(page, 'saveDone', { requestId: wallpaper, path: '/not/a/save.png' });
  await emit(page, 'saveError', { requestId: wallpaper, message: 'not a save' });
  assert.deepEqual(await busyState(page), { busy: true, text: 'Setting wallpaper…' });
  await emit(page, 'wallpaperDone', { requestId: wallpaper, undoCaptured: true, undoSaved: true });
  assert.deepEqual(await toast(page), { text: 'Set as desktop wallpaper', error: false });
  const next = (await choiceAfter(page, () => page.keyboard.press('Control+s'))).requestId;
  assert.equal(sequenceOf(next), sequenceOf(wallpaper) + 1);
  await emit(page, 'wallpaperError', { requestId: next, message: 'not a wallpaper' });
  assert.equal((await busyState(page)).busy, true);
  await emit(page, 'saveCancelled', { requestId: next });
  assert.equal((await busyState(page)).busy, false);
  assert.deepEqual(await toast(page), { text: 'Set as desktop wallpaper', error: false });
  assert.deepEqual(errors, []);
  await close();
});

// Chromium records MP4 here only with proprietary codecs; the recording
// itself is tested in record.test.js and in the real program. This test
// gives the page a WebM recording.
test('a recording that yields WebM is sent as "webm"; the host may then cancel, and a failed recording says why', async () => {
  const { page, errors, close } = await openHosted('?demo=4&lang=en');
  await page.evaluate(() => {
    window.__recording = { texts: [], fail: null };
    window.TY.video.record = async (canvas, data, onProgress) => {
      onProgress(0.5);
      window.__recording.texts.push(document.getElementById('busyText').textContent);
      window.__recording.size = [canvas.width, canvas.height];
      window.__recording.drawList = data.drawList.length;
      if (window.__recording.fail) throw new Error(window.__recording.fail);
      const webm = new Uint8Array([0x1a, 0x45, 0xdf, 0xa3, 0x9f, 0x42, 0x86, 0x81, 0x01]);
      return { blob: new Blob([webm], { type: 'video/webm' }), mime: 'video/webm;codecs=vp9', seconds: 4 };
    };
  });
  const still = await page.evaluate(() => document.getElementById('preview').toDataURL().length);
  const choose = await choiceAfter(page, () => page.keyboard.press('Control+s'));
  await emit(page, 'saveTargetChosen', { requestId: choose.requestId, format: 'mp4' });
  await page.waitForFunction(() => window.__posted.some((m) => m.cmd === 'saveImage'));
  const recording = await page.evaluate(() => window.__recording);
  assert.deepEqual(recording.texts, ['Recording video… 50%']);
  assert.deepEqual(recording.size, [1920, 1080]);
  assert.ok(recording.drawList > 0);
  const chunks = await posted(page, 'saveImage');
  assert.deepEqual(chunks.map((c) => [c.format, c.requestId]), [['webm', choose.requestId]]);
  assert.equal(joined(chunks), 'GkXfo59ChoEB');
  // The host's own dialog for the WebM was cancelled.
  await emit(page, 'saveCancelled', { requestId: choose.requestId });
  assert.equal((await busyState(page)).busy, false);
  assert.equal(await page.evaluate(() => document.getElementById('preview').toDataURL().length), still, 'the still is back');

  await page.evaluate(() => { window.__recording.fail = 'Video recording is not supported here'; });
  const failing = (await choiceAfter(page, () => page.keyboard.press('Control+S'))).requestId;
  await emit(page, 'saveTargetChosen', { requestId: failing, format: 'mp4' });
  await page.waitForFunction(() => !window.TY.ui.isBusy());
  assert.deepEqual(await toast(page), { text: 'Video failed: Video recording is not supported here', error: true });
  await emit(page, 'saveDone', { requestId: failing, path: '/never.mp4' });
  assert.equal((await toast(page)).text, 'Video failed: Video recording is not supported here', 'the dropped request has no answer');
  assert.equal((await posted(page, 'saveImage')).length, 1);
  assert.deepEqual(errors, []);
  await close();
});

// The host answers the PDF commands: ready, then each page once written
// (after a delay, so that the page must wait), then done. `fail` makes it
// refuse page `fail`; `repeat` makes it answer the page before once more
// as each page arrives.
const PDF_HOST = ({ fail = 0, repeat = false } = {}) => `window.__pdfLog = [];
window.__answer = (m) => {
  const emit = (e, p) => window.kobHost.emit(e, p);
  if (m.cmd === 'beginAlbumPdf') emit('albumPdfReady', { requestId: m.requestId });
  if (m.cmd === 'albumPdfPage' && m.chunkIndex === m.totalChunks - 1) {
    const page = window.__pdfLog.filter((l) => l.startsWith('page')).length + 1;
    window.__pdfLog.push('page ' + page + ' ' + m.widthPx + 'x' + m.heightPx);
    if (${repeat} && page > 1) emit('albumPdfPageDone', { requestId: m.requestId, pages: page - 1 });
    setTimeout(() => {
      window.__pdfLog.push('written ' + page);
      if (page === ${fail}) emit('albumPdfError', { requestId: m.requestId, message: 'page image is not a JPEG' });
      else emit('albumPdfPageDone', { requestId: m.requestId, pages: page });
    }, 300);
  }
  if (m.cmd === 'finishAlbumPdf') { window.__pdfLog.push('finish'); emit('albumPdfDone', { requestId: m.requestId, path: '/out/album.pdf' }); }
  if (m.cmd === 'cancelAlbumPdf') window.__pdfLog.push('cancel');
};`;

async function openAlbum(init = '') {
  const opened = await openHosted('?demo=6&lang=en', init);
  await opened.page.evaluate(() => window.TY.ui.setMode('album'));
  await settled(opened.page, 30000);
  return opened;
}

/** Save creation up to the PDF dialog; returns the save's request id. */
async function chooseThePdf(page) {
  const { requestId, album } = await choiceAfter(page, () => page.click('#btnSaveCreation'));
  assert.equal(album, true);
  await emit(page, 'saveTargetChosen', { requestId, format: 'pdf' });
  await page.waitForFunction(() => !document.getElementById('pdfDialog').hidden);
  return requestId;
}

test('an album PDF: the dialog, then one 300 dpi page at a time, and answers of other requests ignored', async () => {
  const { page, errors, close } = await openAlbum();
  const save = await chooseThePdf(page);
  assert.equal((await busyState(page)).busy, false, 'the page waits for the user, not busy');
  assert.equal(await page.inputValue('#pdfPaper'), 'letter', 'en-US: Letter');
  await page.selectOption('#pdfPaper', 'a4');
  await page.click('#pdfSave');
  assert.equal(await page.locator('#pdfDialog').isHidden(), true);
  const [begin] = await posted(page, 'beginAlbumPdf');
  assert.deepEqual({ ...begin, requestId: undefined }, { cmd: 'beginAlbumPdf', requestId: undefined, paper: 'a4', useChosenPath: true });
  assert.equal(sequenceOf(begin.requestId), sequenceOf(save) + 1, 'the PDF is the next pending request');
  assert.deepEqual(await busyState(page), { busy: true, text: 'Choose where to save…' });

  for (const [event, payload] of [['albumPdfReady', {}], ['albumPdfCancelled', {}], ['albumPdfError', { message: 'not yours' }]]) {
    await emit(page, event, { requestId: 'r0-1', ...payload });
  }
  await settle(page, 300);
  assert.deepEqual(await posted(page, 'albumPdfPage'), [], 'no page before this PDF is ready');
  assert.equal((await busyState(page)).busy, true);
  assert.notEqual((await toast(page)).text, 'Could not save the PDF: not yours');

  await page.evaluate(PDF_HOST({ repeat: true }));
  await emit(page, 'albumPdfReady', { requestId: begin.requestId });
  await emit(page, 'albumPdfReady', { requestId: begin.requestId });
  await page.waitForFunction(() => !window.TY.ui.isBusy(), null, { timeout: 60000 });
  assert.deepEqual(await page.evaluate(() => window.__pdfLog),
    ['page 1 2480x3508', 'written 1', 'page 2 2480x3508', 'written 2', 'finish'], 'two pages of six photos, each sent once the last is written, whatever answers come again');
  const pages = await posted(page, 'albumPdfPage');
  assert.ok(pages.every((c) => c.requestId === begin.requestId));
  const first = joined(pages.slice(0, pages.findIndex((p, i) => i > 0 && p.chunkIndex === 0)));
  assert.deepEqual(await decodedSize(page, first, 'image/jpeg'), [2480, 3508]);
  assert.deepEqual(await toast(page), { text: 'Saved the PDF', error: false });
  assert.deepEqual(await posted(page, 'cancelAlbumPdf'), []);
  assert.equal(await page.locator('#albumNav').isHidden(), false, 'the album is shown again');
  assert.deepEqual(errors, []);
  await close();
});

test('a host error while pages go ends the PDF with a cancel; closing the dialog writes nothing', async () => {
  const { page, errors, close } = await openAlbum(PDF_HOST({ fail: 1 }));
  await chooseThePdf(page);
  await page.click('#pdfSave');
  await page.waitForFunction(() => !window.TY.ui.isBusy() && window.__pdfLog.includes('cancel'), null, { timeout: 60000 });
  assert.deepEqual(await page.evaluate(() => window.__pdfLog), ['page 1 2550x3300', 'written 1', 'cancel'], 'Letter: the paper of en-US');
  assert.deepEqual(await toast(page), { text: 'Could not save the PDF: page image is not a JPEG', error: true });
  const [begin] = await posted(page, 'beginAlbumPdf');
  assert.deepEqual(await posted(page, 'cancelAlbumPdf'), [{ cmd: 'cancelAlbumPdf', requestId: begin.requestId }]);

  // Closed by its button, by a click beside it, or by Escape: nothing begins.
  for (const close of [() => page.click('#pdfClose'), () => page.mouse.click(5, 5), () => page.keyboard.press('Escape')]) {
    await chooseThePdf(page);
    await close();
    assert.equal(await page.locator('#pdfDialog').isHidden(), true);
    assert.equal((await busyState(page)).busy, false);
  }
  assert.equal((await posted(page, 'beginAlbumPdf')).length, 1);
  assert.deepEqual(errors, []);
  await close();
});

test('the paper follows the first language that names a region until the user picks one', async () => {
  const { page, close } = await session.open('?lang=en');
  const table = [
    [['en-US', 'ja'], 'letter'], [['ja-JP'], 'a4'], [['en-GB'], 'a4'], [['en'], 'a4'], [['ja', 'en-US'], 'letter'],
    [['es-MX', 'en-US'], 'letter'], [['fr-CA'], 'letter'], [['pt-BR'], 'a4'], [['zh-Hant-TW'], 'a4'], [['es-419', 'en-PH'], 'a4'],
    [['en-us'], 'letter'], [['de_DE-x-US'], 'letter'], [[], 'a4'], [['', 'ja'], 'a4'],
  ];
  const got = await page.evaluate((rows) => rows.map(([tags]) => window.TY.ui.rules.defaultPaper(tags)), table);
  assert.deepEqual(got, table.map(([, paper]) => paper));
  await close();

  const languages = `Object.defineProperty(navigator, 'language', { get: () => 'ja' });
    Object.defineProperty(navigator, 'languages', { get: () => ['ja', 'en-US'] });`;
  const { page: album, errors, close: closeAlbum } = await openAlbum(languages);
  assert.equal(await album.inputValue('#pdfPaper'), 'letter', 'ja has no region; en-US decides');
  await album.evaluate(() => { document.getElementById('pdfPaper').value = 'a4'; });
  await chooseThePdf(album);
  assert.equal(await album.inputValue('#pdfPaper'), 'letter', 'untouched: the default again on each PDF');
  await album.selectOption('#pdfPaper', 'a4');
  await album.click('#pdfClose');
  await chooseThePdf(album);
  assert.equal(await album.inputValue('#pdfPaper'), 'a4', "the user's choice stays");
  assert.deepEqual(errors, []);
  await closeAlbum();
});

test('the save begun at the exit question closes the program once done, and only that save', async () => {
  const { page, errors, close } = await openHosted('?demo=4&lang=en');
  const exitThenSave = async () => {
    await page.evaluate(() => window.__requestExit());
    assert.equal(await page.locator('#confirmTitle').textContent(), 'You have unsaved changes');
    return (await choiceAfter(page, () => page.click('#confirmOk'))).requestId;
  };
  // Cancelled: the program stays open, and a later save does not close it.
  const cancelled = await exitThenSave();
  await emit(page, 'saveCancelled', { requestId: cancelled });
  const later = (await choiceAfter(page, () => page.keyboard.press('Control+s'))).requestId;
  assert.notEqual(later, cancelled);
  await emit(page, 'saveTargetChosen', { requestId: later, format: 'png' });
  await page.waitForFunction((r) => window.__posted.some((m) => m.cmd === 'saveImage' && m.requestId === r), later);
  await emit(page, 'saveDone', { requestId: later, path: '/a.png' });
  assert.deepEqual(await posted(page, 'closeApp'), []);

  // A failed one neither.
  await page.evaluate(() => window.TY.ui.setUnsavedResult(true));
  const failed = await exitThenSave();
  await emit(page, 'saveError', { requestId: failed, message: 'Permission denied' });
  assert.deepEqual(await posted(page, 'closeApp'), []);

  const saved = await exitThenSave();
  await emit(page, 'saveTargetChosen', { requestId: saved, format: 'png' });
  await page.waitForFunction((r) => window.__posted.some((m) => m.cmd === 'saveImage' && m.requestId === r), saved);
  await emit(page, 'saveDone', { requestId: saved, path: '/b.png' });
  assert.deepEqual(await posted(page, 'closeApp'), [{ cmd: 'closeApp' }]);
  assert.deepEqual(errors, []);
  await close();
});

test('an album PDF begun at the exit question closes the program once written; closing its dialog keeps it open', async () => {
  const { page, errors, close } = await openAlbum(PDF_HOST());
  const exitThenPdf = async () => {
    await page.evaluate(() => window.__requestExit());
    const { requestId } = await choiceAfter(page, () => page.click('#confirmOk'));
    await emit(page, 'saveTargetChosen', { requestId, format: 'pdf' });
    await page.waitForFunction(() => !document.getElementById('pdfDialog').hidden);
  };
  await exitThenPdf();
  await page.click('#pdfClose');
  await chooseThePdf(page);
  await page.click('#pdfSave');
  await page.waitForFunction(() => window.__pdfLog.includes('finish') && !window.TY.ui.isBusy(), null, { timeout: 60000 });
  assert.deepEqual(await posted(page, 'closeApp'), [], 'the exit question was over when its dialog closed');

  await page.evaluate(() => window.TY.ui.setUnsavedResult(true));
  await exitThenPdf();
  await page.click('#pdfSave');
  await page.waitForFunction(() => window.__posted.some((m) => m.cmd === 'closeApp'), null, { timeout: 60000 });
  assert.deepEqual(await posted(page, 'closeApp'), [{ cmd: 'closeApp' }]);
  assert.deepEqual(errors, []);
  await close();
});

test('"Live wallpaper" packs the hand-over without starting it; the host\'s answer ends the save, and at the exit question closes', async () => {
  const { page, errors, close } = await openHosted('?demo=4&lang=en');
  const packageChosen = async (action) => {
    const { requestId } = await choiceAfter(page, action);
    await emit(page, 'saveTargetChosen', { requestId, format: 'kiro' });
    await page.waitForFunction(() => window.__posted.filter((m) => m.cmd === 'commitLiveHandoff').length > 0 && !window.TY.ui.isBusy());
    return page.evaluate(() => window.__posted.splice(0).filter((m) => /Live|live/.test(m.cmd)).map((m) => m.cmd));
  };
  const sent = await packageChosen(() => page.keyboard.press('Control+s'));
  assert.equal(sent[0], 'beginLiveWallpaper');
  assert.ok(sent.includes('livePhoto'));
  assert.equal(sent[sent.length - 1], 'commitLiveHandoff', 'nothing is started, and no question is asked first');
  await emit(page, 'kiroExported', { format: 'kiro', error: 'No space left on device' });
  assert.deepEqual(await toast(page), { text: 'Could not export (No space left on device)', error: true });

  await emit(page, 'kiroExported', { format: 'kiro', path: '/home/u/desk.kiro' });
  assert.deepEqual(await toast(page), { text: 'Live wallpaper saved', error: false });
  assert.deepEqual(await posted(page, 'closeApp'), []);

  await page.evaluate(() => window.TY.ui.setUnsavedResult(true));
  await page.evaluate(() => window.__requestExit());
  await packageChosen(() => page.click('#confirmOk'));
  await emit(page, 'kiroExported', { format: 'kiro', path: '/home/u/desk.kiro' });
  assert.deepEqual(await posted(page, 'closeApp'), [{ cmd: 'closeApp' }]);
  assert.deepEqual(errors, []);
  await close();
});

test('without a host, Save creation downloads the picture as a PNG named by size and time', async () => {
  const { page, errors, close } = await session.open('?demo=4&lang=en');
  await settled(page, 30000);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#btnSaveCreation')]);
  assert.match(download.suggestedFilename(), /^Tessary_1920x1080_\d{8}_\d{6}\.png$/);
  const file = await download.path();
  const bytes = fs.readFileSync(file);
  assert.equal(bytes.subarray(1, 4).toString('latin1'), 'PNG');
  assert.deepEqual([bytes.readUInt32BE(16), bytes.readUInt32BE(20)], [1920, 1080]);
  assert.deepEqual(await toast(page), { text: 'Saved (download)', error: false });
  assert.equal(await page.evaluate(() => window.TY.ui.isBusy()), false);
  assert.deepEqual(errors, []);
  await close();
});
