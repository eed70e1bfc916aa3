'use strict';
// The live wallpaper end to end: the real TessaryMaker hands the sample pile
// over to the real TessaryLive (started from its own folder), the page
// mirrors the state the generator reports, Undo stops it, and the batch runs
// steer the live wallpaper from a shell while the window is open.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { ROOT, startHost, waitUntil, isAlive } = require('./host-session');

const BUTTON = 'document.getElementById("btnSetWallpaperText").textContent';

/** Runs the sandbox's TessaryMaker with `--ipc=<action>`; resolves to the JSON it writes. */
function ipcFromShell(host, action) {
  const out = path.join(host.out, `ipc-${action}.json`);
  const run = spawnSync(host.program, [`--ipc=${action}`, `--ipc-out=${out}`], { env: host.env, timeout: 15000 });
  assert.equal(run.status, 0, String(run.stderr));
  return JSON.parse(fs.readFileSync(out, 'utf8').replace(/^\uFEFF/, ''));
}

test('"Set wallpaper" with "Live wallpaper" checked hands the sample pile to TessaryLive, which reports running', async () => {
  const host = await startHost({ args: [`--photo-folder=${path.join(ROOT, 'samples', 'photos')}`] });
  try {
    await host.waitFor('window.TY && window.TY.ui && !document.getElementById("confirmDialog").hidden', 30000);
    await host.run('document.getElementById("confirmOk").click();');  // the folder's memo joins
    await host.waitFor('window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 60000);
    assert.equal(await host.run(`return ${BUTTON};`), 'Set wallpaper');

    await host.run('document.getElementById("chkLive").click();');
    assert.equal(await host.run('return document.getElementById("liveLoopMode").hidden;'), false);
    await host.run('document.getElementById("btnSetWallpaper").click();');
    await host.waitFor('!document.getElementById("confirmDialog").hidden');
    assert.equal(await host.run('return document.getElementById("confirmTitle").textContent;'), 'Save this creation?');
    await host.run('document.getElementById("confirmSecond").click();  // "Set without saving"');
    await host.waitFor(`${BUTTON} === "Live wallpaper on"`, 30000);
    assert.equal(await host.run('return document.getElementById("toast").textContent;'),
      'Now playing on your desktop (stop it from the tray)');

    // The hand-over the live wallpaper plays: the photos of the pile at the side the screen needs.
    const store = path.join(host.root, 'data', 'Tessary', 'live');
    const generation = fs.readFileSync(path.join(store, 'active.txt'), 'utf8').replace(/^\uFEFF/, '').trim();
    const data = JSON.parse(fs.readFileSync(path.join(store, generation, 'data.json'), 'utf8').replace(/^\uFEFF/, ''));
    const used = await host.run('return [...new Set(window.TY.ui.lastVisual().drawList.map((p) => p.photoIndex))].sort((a, b) => a - b);');
    assert.deepEqual(Object.keys(data.photoUrls).map(Number), used);
    assert.deepEqual(fs.readdirSync(path.join(store, generation, 'photos')),
      used.map((i) => `${String(i).padStart(4, '0')}.jpg`));
    assert.deepEqual([data.w, data.h, data.srcW, data.srcH, data.workTopFrac, data.workBottomFrac, data.uiJapanese],
      [1920, 1080, 1920, 1080, 0, 1, false]);
    assert.match(host.log(), /Tessary \[handoff\] wrote \d+, failed 0, commit True/);

    // "Undo wallpaper" stops it, and the page follows the report.
    assert.equal(await host.run('return document.getElementById("btnUndoWallpaper").hidden;'), false);
    await host.run('document.getElementById("btnUndoWallpaper").click();');
    await host.waitFor(`${BUTTON} === "Set wallpaper"`, 10000);
    assert.equal(await host.run('return document.getElementById("toast").textContent;'), 'Live wallpaper stopped');

    // From a shell, while the window is open; the page learns of it from the poll.
    assert.deepEqual(ipcFromShell(host, 'start'), { found: true, sent: true, state: 1 });
    await host.waitFor(`${BUTTON} === "Live wallpaper on"`, 5000);
    assert.deepEqual(ipcFromShell(host, 'stop'), { found: true, sent: true, state: 0 });
    await host.waitFor(`${BUTTON} === "Set wallpaper"`, 5000);

    // Closing with "Yes (close both)" ends the live wallpaper program too.
    assert.deepEqual(ipcFromShell(host, 'start'), { found: true, sent: true, state: 1 });
    await host.waitFor(`${BUTTON} === "Live wallpaper on"`, 5000);
    const pid = host.programPid();
    await host.run('window.TY.ui.setUnsavedResult(false); window.__requestExit();');
    await host.waitFor('document.getElementById("confirmTitle").textContent === "Close the wallpaper app too?"');
    await host.run('document.getElementById("confirmOk").click();').catch(() => {});
    assert.ok(await waitUntil(() => !isAlive(pid), 10000), 'the generator closed');
    assert.ok(await waitUntil(() => ipcFromShell(host, 'refresh').found === false, 5000), 'TessaryLive quit');
  } finally {
    // Whatever happened, no live wallpaper program outlives the test on the shared bus.
    spawnSync(host.program, ['--ipc=quit'], { env: host.env, timeout: 15000 });
    await host.close();
  }
});
