'use strict';
// The generator page itself in the real program (WebKitGTK): sample photos
// and the bundled sample folder become a pile, a folder with a name that is
// not UTF-8, a link out of it and a GIF becomes a pile of what it may show,
// the screen size and the unsaved mark travel between page and host, and
// closing with unsaved work asks before closeApp ends it.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
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

test('a photo whose name is not UTF-8 becomes a print; a link out of the folder and a GIF do not', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-names-'));
  const outside = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-outside-'));
  const photo = (file, size) => execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', `testsrc=size=${size}`,
    '-frames:v', '1', '-f', 'image2', '-c:v', 'mjpeg', file]);
  photo(path.join(dir, 'plain.jpg'), '640x480');
  // "café.jpg" written in Latin-1, as an old camera or archive would.
  photo(path.join(dir, 'latin1.jpg'), '480x640');
  fs.renameSync(path.join(dir, 'latin1.jpg'), Buffer.concat([Buffer.from(`${dir}/caf`), Buffer.from([0xe9]), Buffer.from('.jpg')]));
  photo(path.join(outside, 'private.jpg'), '320x240');
  fs.symlinkSync(path.join(outside, 'private.jpg'), path.join(dir, 'link.jpg'));
  fs.writeFileSync(path.join(dir, 'anim.gif'), 'GIF89a');
  const host = await startHost({ args: [`--photo-folder=${dir}`] });
  try {
    await host.waitFor('window.TY && window.TY.ui && window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 60000);
    const pile = await host.run(`const v = window.TY.ui.lastVisual();
      const index = v.sourceItems.findIndex((it) => it.name === 'caf\uFFFDE9.jpg');
      const bitmap = v.bitmaps[index];
      return { names: v.sourceItems.map((it) => it.name).sort(),
        drawn: index >= 0 && v.drawList.some((p) => p.photoIndex === index),
        size: bitmap ? [bitmap.width, bitmap.height] : null,
        toast: document.getElementById('toast').textContent };`);
    assert.deepEqual(pile.names, ['caf\uFFFDE9.jpg', 'plain.jpg']);
    assert.ok(pile.drawn, 'the photo lies in the pile');
    assert.ok(pile.size && pile.size[1] > pile.size[0], `the portrait photo is decoded (${pile.size})`);
    assert.equal(pile.toast, 'Added 2 (1 in unsupported formats)');
  } finally {
    await host.close();
    fs.rmSync(dir, { recursive: true, force: true });
    fs.rmSync(outside, { recursive: true, force: true });
  }
});
