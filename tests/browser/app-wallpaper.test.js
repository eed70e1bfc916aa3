'use strict';
// The still wallpaper and Undo in the generator page, against a host faked
// in the page: the test answers each command as the host would (or not, or
// twice, or late) and checks what the page sends and shows.
const test = require('node:test');
const assert = require('node:assert/strict');
const { appSession, settled, generation, toastText } = require('../lib/app-page');

// Records every command the page posts; the test answers through window.kobHost.emit.
const FAKE_HOST = `window.__posted = [];
  window.chrome = { webview: { postMessage: (m) => window.__posted.push(JSON.parse(m)), addEventListener() {} } };`;

let session;
test.before(async () => { session = await appSession(); });
test.after(() => session.close());

async function openHosted(query = '?demo=4&lang=en') {
  const opened = await session.open(query, { init: FAKE_HOST });
  const { page } = opened;
  // What the host's page-ready sequence reports first.
  await page.waitForFunction(() => window.TY && window.TY.ui);
  await emit(page, 'wallpaperBackupState', { hasBackup: false });
  return opened;
}

/** @param {any} page @param {string} event @param {any} [payload] */
const emit = (page, event, payload) => page.evaluate(([e, p]) => window.kobHost.emit(e, p), [event, payload]);

/** Commands posted since the last call, without the unsaved mark's. */
async function takePosted(page) {
  return page.evaluate(() => window.__posted.splice(0).filter((m) => m.cmd !== 'setUnsavedResult'));
}

/** Waits for the next posted command named `cmd` and returns the ones before it too. */
async function postedUntil(page, cmd) {
  await page.waitForFunction((c) => window.__posted.some((m) => m.cmd === c), cmd);
  return takePosted(page);
}

const confirmShown = (page) => page.locator('#confirmDialog').isVisible();
const busy = (page) => page.evaluate(() => window.TY.ui.isBusy());
const toastIsError = (page) => page.locator('#toast').evaluate((el) => el.classList.contains('error'));

/** Presses "Set wallpaper" and answers the check; the confirmation is then open. */
async function pressSetWallpaper(page, restorable) {
  await takePosted(page);
  await page.click('#btnSetWallpaper');
  assert.deepEqual(await postedUntil(page, 'checkWallpaper'), [{ cmd: 'checkWallpaper' }]);
  await emit(page, 'wallpaperCheck', { restorable, hasBackup: false });
  await page.waitForSelector('#confirmDialog:not([hidden])');
}

test('cancelling the confirmation sends nothing but checkWallpaper; the second line warns when undo may fail', async () => {
  const { page, errors, close } = await openHosted();
  await settled(page);
  assert.equal(await page.locator('#btnUndoWallpaper').isHidden(), true, 'no backup, no live wallpaper: no Undo');
  const cancels = {
    'the Cancel button': () => page.click('#confirmCancel'),
    Escape: () => page.keyboard.press('Escape'),
    'a click outside': () => page.mouse.click(5, 5),
  };
  for (const [how, cancel] of Object.entries(cancels)) {
    for (const restorable of [true, false]) {
      await pressSetWallpaper(page, restorable);
      assert.equal(await page.locator('#confirmTitle').textContent(), 'Set wallpaper');
      assert.equal(await page.locator('#confirmOk').textContent(), 'Set');
      assert.equal(await page.locator('#confirmMessage').textContent(), restorable
        ? 'Your current desktop wallpaper will be changed.'
        : 'Your current desktop wallpaper will be changed.\nThe Undo feature may not be able to restore your current wallpaper.');
      await cancel();
      assert.equal(await confirmShown(page), false, how);
      await page.waitForTimeout(50);
      assert.deepEqual(await takePosted(page), [], `${how}: nothing sent after the check`);
      assert.equal(await busy(page), false);
    }
  }
  assert.deepEqual(errors, []);
  await close();
});

test('Set sends the preview as a JPEG under the pending request; only its first answer counts', async () => {
  const { page, errors, close } = await openHosted();
  await settled(page);
  const gen = await generation(page);
  await pressSetWallpaper(page, true);
  await page.click('#confirmOk');
  const sent = (await postedUntil(page, 'setWallpaper')).filter((m) => m.cmd === 'setWallpaper');
  assert.equal(await busy(page), true);
  assert.equal(await page.locator('#busyText').textContent(), 'Setting wallpaper…');
  const first = sent[0];
  assert.match(first.requestId, /^r\d+-\d{13}$/);
  assert.deepEqual(sent.map((m) => [m.format, m.requestId, m.generationId, m.chunkIndex, m.totalChunks]),
    sent.map((m, i) => ['jpg', first.requestId, gen, i, sent.length]));
  const picture = await page.evaluate(async (base64) => {
    const bitmap = await createImageBitmap(await (await fetch('data:image/jpeg;base64,' + base64)).blob());
    const canvas = document.getElementById('preview');
    return { size: [bitmap.width, bitmap.height], canvas: [canvas.width, canvas.height] };
  }, sent.map((m) => m.data).join(''));
  assert.deepEqual(picture.size, picture.canvas, 'the whole preview, at its size');

  // Answers of other requests change nothing.
  await emit(page, 'wallpaperDone', { requestId: 'r99-1', undoCaptured: true, undoSaved: true });
  await emit(page, 'wallpaperError', { message: 'no id' });
  assert.equal(await busy(page), true);
  await emit(page, 'wallpaperDone', { requestId: first.requestId, undoCaptured: true, undoSaved: true });
  assert.equal(await busy(page), false);
  assert.equal(await toastText(page), 'Set as desktop wallpaper');
  assert.equal(await toastIsError(page), false);
  // A repeated or late answer of the finished request is ignored.
  await emit(page, 'wallpaperError', { requestId: first.requestId, message: 'late' });
  assert.equal(await toastText(page), 'Set as desktop wallpaper');
  assert.deepEqual(await takePosted(page), [], 'the unsaved mark stays; nothing else sent');
  assert.equal(await page.evaluate(() => window.__posted.some((m) => m.cmd === 'setUnsavedResult' && !m.value)), false);

  // The next request gets a new id; the earlier id's answer is stale for it.
  await pressSetWallpaper(page, true);
  await page.click('#confirmOk');
  const second = (await postedUntil(page, 'setWallpaper')).find((m) => m.cmd === 'setWallpaper');
  assert.notEqual(second.requestId, first.requestId);
  await emit(page, 'wallpaperDone', { requestId: first.requestId, undoCaptured: true, undoSaved: true });
  assert.equal(await busy(page), true);
  await emit(page, 'wallpaperError', { requestId: second.requestId, message: 'the Xfce settings service (xfconfd) does not answer' });
  assert.equal(await busy(page), false);
  assert.equal(await toastText(page), 'Failed to set wallpaper: the Xfce settings service (xfconfd) does not answer');
  assert.equal(await toastIsError(page), true);
  assert.deepEqual(errors, []);
  await close();
});

test('a wallpaper set without a saved backup says that Undo is not possible', async () => {
  const { page, close } = await openHosted();
  await settled(page);
  const cases = [
    [{ undoCaptured: false, undoSaved: false }, 'Set as desktop wallpaper (Undo is not possible: the previous wallpaper could not be recorded)'],
    [{ backupError: 'No space left on device', undoCaptured: true, undoSaved: false },
      'Set as desktop wallpaper (Undo is not possible: the previous wallpaper could not be saved: No space left on device)'],
  ];
  for (const [answer, text] of cases) {
    await pressSetWallpaper(page, false);
    await page.click('#confirmOk');
    const { requestId } = (await postedUntil(page, 'setWallpaper')).find((m) => m.cmd === 'setWallpaper');
    await emit(page, 'wallpaperDone', { requestId, ...answer });
    assert.equal(await toastText(page), text);
    assert.equal(await toastIsError(page), true);
  }
  await close();
});

test('Undo restores at once when the desktop shows our picture, asks when the user changed it, and reports every failure', async () => {
  const { page, errors, close } = await openHosted();
  await settled(page);
  await emit(page, 'wallpaperBackupState', { hasBackup: true });
  assert.equal(await page.locator('#btnUndoWallpaper').isVisible(), true);
  assert.equal(await page.locator('#btnUndoWallpaper').getAttribute('title'),
    'Restore the wallpaper from just before Tessary changed it (also stops a live wallpaper)');

  /** Presses Undo and answers the check. */
  async function undo(check) {
    await takePosted(page);
    await page.click('#btnUndoWallpaper');
    assert.deepEqual(await postedUntil(page, 'checkRestore'), [{ cmd: 'checkRestore' }]);
    await emit(page, 'restoreCheck', check);
  }

  const refusals = [
    [{ hasBackup: false, missing: false, matchesLastSet: false }, 'No saved wallpaper to restore'],
    [{ hasBackup: true, missing: true, matchesLastSet: true }, 'Cannot restore: the original wallpaper file is missing'],
  ];
  for (const [check, text] of refusals) {
    await undo(check);
    assert.equal(await toastText(page), text);
    assert.equal(await toastIsError(page), true);
    await page.waitForTimeout(50);
    assert.deepEqual(await takePosted(page), []);
  }

  // Changed by hand: cancelling leaves the wallpaper alone.
  await undo({ hasBackup: true, missing: false, matchesLastSet: false });
  await page.waitForSelector('#confirmDialog:not([hidden])');
  assert.equal(await page.locator('#confirmTitle').textContent(), 'Undo wallpaper');
  assert.equal(await page.locator('#confirmMessage').textContent(),
    'The wallpaper has changed since Tessary set it. Restore the original wallpaper?');
  assert.equal(await page.locator('#confirmOk').textContent(), 'Restore');
  await page.click('#confirmCancel');
  await page.waitForTimeout(50);
  assert.deepEqual(await takePosted(page), []);

  // Confirmed, and the host fails: its words after "Could not restore: "; the backup stays offered.
  await undo({ hasBackup: true, missing: false, matchesLastSet: false });
  await page.waitForSelector('#confirmDialog:not([hidden])');
  await page.click('#confirmOk');
  assert.deepEqual(await postedUntil(page, 'restoreWallpaper'), [{ cmd: 'restoreWallpaper' }]);
  assert.equal(await busy(page), true);
  assert.equal(await page.locator('#busyText').textContent(), 'Restoring wallpaper…');
  await emit(page, 'restoreError', { message: 'failed to apply original wallpaper' });
  assert.equal(await busy(page), false);
  assert.equal(await toastText(page), 'Could not restore: failed to apply original wallpaper');
  assert.equal(await page.locator('#btnUndoWallpaper').isVisible(), true);

  // Still ours: restored without asking; the button goes with the backup.
  await undo({ hasBackup: true, missing: false, matchesLastSet: true });
  assert.deepEqual(await postedUntil(page, 'restoreWallpaper'), [{ cmd: 'restoreWallpaper' }]);
  assert.equal(await confirmShown(page), false);
  await emit(page, 'restoreDone');
  assert.equal(await toastText(page), 'Wallpaper restored');
  assert.equal(await toastIsError(page), false);
  assert.equal(await page.locator('#btnUndoWallpaper').isHidden(), true);
  // The host's report that follows, and a stray repeat, change nothing more.
  await emit(page, 'wallpaperBackupState', { hasBackup: false });
  await emit(page, 'restoreDone');
  assert.equal(await busy(page), false);
  assert.deepEqual(await takePosted(page), []);
  assert.deepEqual(errors, []);
  await close();
});

test('with a live wallpaper running Undo stops it, and its state report decides whether Undo stays', async () => {
  const { page, errors, close } = await openHosted('?lang=en');
  // No result and no backup: nothing to show in the wallpaper row.
  assert.equal(await page.locator('#wallpaperRow').isHidden(), true);
  await emit(page, 'wallpaperState', { state: 'running', pauseReasons: [] });
  assert.equal(await page.locator('#wallpaperRow').isVisible(), true);
  assert.equal(await page.locator('#btnUndoWallpaper').isVisible(), true);
  assert.equal(await page.locator('#btnSetWallpaper').isDisabled(), true, 'no picture to set');
  await takePosted(page);
  await page.click('#btnUndoWallpaper');
  assert.deepEqual(await postedUntil(page, 'stopLiveWallpaper'), [{ cmd: 'stopLiveWallpaper' }]);
  await page.waitForTimeout(50);
  assert.deepEqual(await takePosted(page), [], 'no restore check while the live wallpaper runs');

  await emit(page, 'wallpaperState', { state: 'stopped', pauseReasons: [] });
  assert.equal(await page.locator('#btnUndoWallpaper').isHidden(), true);
  // With a backup the row and the button stay without a picture.
  await emit(page, 'wallpaperBackupState', { hasBackup: true });
  assert.equal(await page.locator('#wallpaperRow').isVisible(), true);
  assert.equal(await page.locator('#btnUndoWallpaper').isVisible(), true);
  await emit(page, 'wallpaperState', { state: 'paused', pauseReasons: [] });
  await page.click('#btnUndoWallpaper');
  assert.deepEqual(await postedUntil(page, 'stopLiveWallpaper'), [{ cmd: 'stopLiveWallpaper' }]);
  assert.deepEqual(errors, []);
  await close();
});

test('busy, Album mode and the page without a host leave both buttons idle', async () => {
  const { page, close } = await openHosted();
  await settled(page);
  await emit(page, 'wallpaperBackupState', { hasBackup: true });
  await takePosted(page);
  await page.evaluate(() => window.TY.ui.setBusy(true, 'Working…'));
  assert.equal(await page.locator('#btnSetWallpaper').isDisabled(), true);
  assert.equal(await page.locator('#btnUndoWallpaper').isDisabled(), true);
  await page.evaluate(() => { document.getElementById('btnSetWallpaper').click(); document.getElementById('btnUndoWallpaper').click(); });
  await page.evaluate(() => window.TY.ui.setBusy(false));
  // Albums are never a wallpaper; the row stays hidden unless a live wallpaper runs.
  await page.evaluate(() => window.TY.ui.setMode('album'));
  assert.equal(await page.locator('#wallpaperRow').isHidden(), true);
  await page.evaluate(() => document.getElementById('btnSetWallpaper').click());
  await page.waitForTimeout(50);
  assert.deepEqual(await takePosted(page), []);
  await close();

  const standalone = await session.open('?demo=4&lang=en');
  await settled(standalone.page);
  assert.equal(await standalone.page.locator('#wallpaperRow').isHidden(), true);
  assert.equal(await standalone.page.locator('#btnUndoWallpaper').isHidden(), true);
  await standalone.close();
});

test('Japanese texts of the still wallpaper and Undo', async () => {
  const { page, close } = await openHosted('?demo=4&lang=ja');
  await settled(page);
  await pressSetWallpaper(page, false);
  assert.equal(await page.locator('#confirmTitle').textContent(), '壁紙に設定');
  assert.equal(await page.locator('#confirmMessage').textContent(),
    '現在のデスクトップの壁紙が変更されます。\n「壁紙を元に戻す」で今の壁紙に戻せない場合があります。');
  await page.click('#confirmOk');
  const { requestId } = (await postedUntil(page, 'setWallpaper')).find((m) => m.cmd === 'setWallpaper');
  assert.equal(await page.locator('#busyText').textContent(), '壁紙を設定しています…');
  await emit(page, 'wallpaperError', { requestId, message: 'disk full' });
  assert.equal(await toastText(page), '壁紙を設定できませんでした: disk full');
  await emit(page, 'wallpaperBackupState', { hasBackup: true });
  assert.equal(await page.locator('#btnUndoWallpaper').getAttribute('title'),
    'Tessary が変更する直前の壁紙に戻します（ライブ壁紙も止めます）');
  await takePosted(page);
  await page.click('#btnUndoWallpaper');
  await postedUntil(page, 'checkRestore');
  await emit(page, 'restoreCheck', { hasBackup: true, missing: false, matchesLastSet: true });
  await postedUntil(page, 'restoreWallpaper');
  await emit(page, 'restoreDone');
  assert.equal(await toastText(page), '壁紙を元に戻しました');
  await close();
});
