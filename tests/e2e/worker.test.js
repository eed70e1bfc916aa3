'use strict';
// The hidden wallpaper worker: its window never reaches the screen (no
// desktop, X11 or Wayland, is asked to show it), while its page loads, draws
// and runs its animation frames as in a shown window.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const { startHost } = require('./host-session');

/** Top-level windows of the display that are mapped and belong to process `pid`. */
function mappedWindowsOf(pid) {
  const tree = execFileSync('xwininfo', ['-root', '-children'], { encoding: 'utf8' });
  const ids = [...tree.matchAll(/^\s+(0x[0-9a-f]+)/gm)].map((m) => m[1]);
  return ids.filter((id) => {
    const info = execFileSync('xwininfo', ['-id', id], { encoding: 'utf8' });
    if (!/Map State: IsViewable/.test(info)) return false;
    const owner = execFileSync('xprop', ['-id', id, '_NET_WM_PID'], { encoding: 'utf8' });
    return owner.trim().endsWith(`= ${pid}`);
  });
}

const PAGE_RUNS = `return new Promise((resolve) => {
  const canvas = document.getElementById('stage');
  const g = canvas.getContext('2d');
  let frames = 0;
  const tick = () => {
    g.fillStyle = 'rgb(0, ' + (frames * 40) + ', 0)';
    g.fillRect(0, 0, 10, 10);
    if (++frames === 5) resolve({ frames, pixel: [...g.getImageData(5, 5, 1, 1).data], visibility: document.visibilityState });
    else requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
  setTimeout(() => resolve({ frames, visibility: document.visibilityState }), 5000);
});`;

test('a wallpaper worker runs its page while no window of it is ever mapped', async () => {
  const worker = await startHost({ args: ['--web-from-disk', '--set-wallpaper=20250101-120000-abcdef'] });
  try {
    await worker.waitFor('window.hostLog && window.hostLog.events.some((e) => e.name === "displayInfo")');
    const ran = await worker.run(PAGE_RUNS);
    assert.deepEqual(ran, { frames: 5, pixel: [0, 160, 0, 255], visibility: 'visible' });
    assert.deepEqual(mappedWindowsOf(worker.programPid()), []);
  } finally {
    await worker.close();
  }
  // The same look finds the window of a normal start.
  const normal = await startHost({ args: ['--web-from-disk'] });
  try {
    await normal.waitFor('window.hostLog && window.hostLog.events.length > 0');
    assert.equal(mappedWindowsOf(normal.programPid()).length, 1);
  } finally {
    await normal.close();
  }
});
