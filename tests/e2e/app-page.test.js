'use strict';
// The generator page itself in the real program (WebKitGTK): sample photos
// and the bundled sample folder become a pile, the screen size and the
// unsaved mark travel between page and host, and closing with unsaved work
// asks before closeApp ends it.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { ROOT, startHost, waitUntil, isAlive } = require('./host-session');

test('the page makes a pile in the host and closes only after asking about unsaved work', async () => {
  const host = await startHost();
  try {
    await host.waitFor('window.TY && window.TY.ui && window.TY.ui.regenerate');
    // The host reports the screen: its size joins the output sizes.
    await host.waitFor('!!document.querySelector("#sizePreset option[value=display]")');
    assert.equal(await host.run('return window.TY.bridge.isHosted;'), true);
    await host.run('window.TY.ui.importFiles(window.TY.photos.makeSamplePhotos(6));');
    await host.waitFor('window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 30000);
    const pile = await host.run(`const v = window.TY.ui.lastVisual();
      const c = document.getElementById('preview');
      return { prints: v.drawList.length, w: c.width, h: c.height, thumbs: document.querySelectorAll('.thumb').length };`);
    assert.ok(pile.prints > 6, `a covering pile (${pile.prints} prints)`);
    assert.deepEqual([pile.w, pile.h, pile.thumbs], [1920, 1080, 6]);
    assert.equal(await host.run('return document.getElementById("wallpaperRow").hidden;'), false, 'hosted: the wallpaper row shows');

    const pid = host.programPid();
    await host.run('window.close();');
    await host.waitFor('!document.getElementById("confirmDialog").hidden');
    assert.equal(await host.run('return document.getElementById("confirmTitle").textContent;'), 'You have unsaved changes');
    assert.ok(isAlive(pid), 'the window stays open while the page asks');
    await host.run('document.getElementById("confirmSecond").click();').catch(() => {});
    assert.ok(await waitUntil(() => !isAlive(pid), 10000), 'Exit without saving closes the program');
  } finally {
    await host.close();
  }
});

test('the bundled sample folder given with --photo-folder= becomes a pile, its HEIC photo included', async () => {
  const host = await startHost({ args: [`--photo-folder=${path.join(ROOT, 'samples', 'photos')}`] });
  try {
    // The folder holds a memo, so the page asks before importing it.
    await host.waitFor('window.TY && window.TY.ui && !document.getElementById("confirmDialog").hidden', 30000);
    await host.run('document.getElementById("confirmOk").click();');
    await host.waitFor('window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 60000);
    const pile = await host.run(`const v = window.TY.ui.lastVisual();
      const heic = v.sourceItems.findIndex((it) => it.name === 'chelsea-close-up.heic');
      const bitmap = v.bitmaps[heic];
      const toast = document.getElementById('toast');
      return { items: v.sourceItems.length, prints: v.drawList.length,
        heicDrawn: heic >= 0 && v.drawList.some((p) => p.photoIndex === heic),
        heicSize: bitmap ? [bitmap.width, bitmap.height] : null,
        toast: toast.textContent, toastIsError: toast.classList.contains('error') };`);
    // Nine photos and the memo card, none refused.
    assert.deepEqual([pile.items, pile.toast, pile.toastIsError], [10, 'Added 10 items', false]);
    assert.ok(pile.prints > 10, `a covering pile (${pile.prints} prints)`);
    assert.ok(pile.heicDrawn, 'the HEIC photo lies in the pile');
    assert.ok(pile.heicSize && pile.heicSize[0] > 0 && pile.heicSize[0] === pile.heicSize[1],
      `the square HEIC photo is decoded (${pile.heicSize})`);
  } finally {
    await host.close();
  }
});
