'use strict';
// Prints how long handing a pile over to the live wallpaper takes in the real
// programs (not a test: figures vary with the machine), for piles of 54 and
// 375 prints of the bundled sample photos, each with the same pile repeated
// and with "Remake the creation each time": the page's preparation (play
// data, variants, pictures reduced to the side the screen needs), posting the
// chunks, the generator storing the hand-over, and the rest until the live
// wallpaper reports "running"; and the bytes handed over against the photos'
// own bytes.
//
//   node scripts/bench-live.js        (runs itself under xvfb-run and dbus-run-session)
const { spawn, spawnSync } = require('node:child_process');
const path = require('node:path');

const ROOT = path.join(__dirname, '..');
const RUNS = 3;
const PILES = [
  { prints: 54, cheki: 'l' },
  { prints: 375, cheki: 's' },
];

/** Runs in the page: wraps the reduction and the posting so that their time and bytes are counted. */
const INSTRUMENT = `
  const m = window.__bench = { reduceMs: 0, postMs: 0, ownBytes: 0, sentBytes: 0, photos: 0 };
  const reduce = TY.photos.reduceForHandover;
  TY.photos.reduceForHandover = async (blob, side) => {
    const t = performance.now();
    const out = await reduce(blob, side);
    m.reduceMs += performance.now() - t;
    m.ownBytes += blob.size;
    m.sentBytes += Math.floor(out.base64.length * 3 / 4);
    m.photos++;
    return out;
  };
  const send = TY.bridge.sendChunks;
  TY.bridge.sendChunks = (...args) => { const t = performance.now(); send(...args); m.postMs += performance.now() - t; };
  const post = TY.bridge.post;
  TY.bridge.post = (message) => {
    if (message.cmd === 'startLiveWallpaper') {
      const t = performance.now();
      post(message);
      m.startPostMs = performance.now() - t;
      m.startPostedAt = performance.now();
      m.dataChars = JSON.stringify(message.data).length;
      return;
    }
    post(message);
  };
  TY.bridge.on('wallpaperState', (p) => { if (p.state === 'running' && !m.reportedAt) m.reportedAt = performance.now(); });
`;

/** Runs in the page: one hand-over, timed from the button's press to the "running" report. */
const HAND_OVER = `return (async () => {
  const m = window.__bench;
  Object.assign(m, { reduceMs: 0, postMs: 0, ownBytes: 0, sentBytes: 0, photos: 0, reportedAt: 0 });
  const t0 = performance.now();
  await TY.ui.startLiveWallpaper();
  while (!m.reportedAt) await new Promise((r) => setTimeout(r, 5));
  return { ...m, prepareMs: m.startPostedAt - t0 - m.postMs - m.startPostMs,
    afterPostMs: m.reportedAt - m.startPostedAt, totalMs: m.reportedAt - t0,
    prints: TY.ui.lastVisual().drawList.length };
})();`;

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function measure() {
  const { startHost } = require('../tests/e2e/host-session');
  const host = await startHost({ args: [`--photo-folder=${path.join(ROOT, 'samples', 'photos')}`] });
  const stopped = 'window.TY.ui.liveState() === "stopped" && !window.TY.ui.liveTransferring()';
  try {
    await host.driver.manage().setTimeouts({ script: 300000 });
    await host.waitFor('window.TY && window.TY.ui && !document.getElementById("confirmDialog").hidden', 30000);
    await host.run('document.getElementById("confirmOk").click();');
    await host.waitFor('window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 60000);
    await host.run(INSTRUMENT);
    // The first hand-over asks about saving and launches TessaryLive: not measured.
    await host.run('document.getElementById("chkLive").click(); window.TY.ui.startLiveWallpaper();');
    await host.waitFor('!document.getElementById("confirmDialog").hidden');
    await host.run('document.getElementById("confirmOk").click();');
    await host.waitFor('window.TY.ui.liveState() === "running"', 30000);
    console.log(`screen ${await host.run('return document.getElementById("wallpaperSize").textContent;')}, ` +
      `${RUNS} runs each, medians; TessaryLive already running (launching it adds its start-up)`);
    for (const pile of PILES) {
      for (const loop of ['same', 'regenerate']) {
        await host.run(`document.getElementById('chekiSize').value = '${pile.cheki}';
          document.getElementById('liveLoopMode').value = '${loop}';
          return window.TY.ui.regenerate();`);
        const runs = [];
        for (let i = 0; i < RUNS; i++) {
          await host.run('window.TY.bridge.post({ cmd: "stopLiveWallpaper" });');
          await host.waitFor(stopped, 10000);
          runs.push(await host.run(HAND_OVER));
          const stored = [...host.log().matchAll(/stored (\d+) bytes of photos and (\d+) of play data in (\d+) ms/g)].pop();
          runs[i].storeMs = Number(stored[3]);
          runs[i].storedBytes = Number(stored[1]) + Number(stored[2]);
        }
        const r = runs[0];
        const f = (key) => `${median(runs.map((x) => x[key])).toFixed(0)} ms`;
        console.log(`${r.prints} prints, ${loop === 'same' ? 'same creation' : 'remade each time (6 variants)'}: ` +
          `${r.photos} photos, ${(r.ownBytes / 1024).toFixed(0)} KiB of their own -> ${(r.sentBytes / 1024).toFixed(0)} KiB ` +
          `handed over (${(100 * r.sentBytes / r.ownBytes).toFixed(0)} %), play data ${(r.dataChars / 1024).toFixed(0)} KiB`);
        console.log(`  page: preparation ${f('prepareMs')} (reducing pictures ${f('reduceMs')}), posting chunks ${f('postMs')}` +
          ` and play data ${f('startPostMs')}; generator: storing ${f('storeMs')}; start to "running" report ${f('afterPostMs')}` +
          `; total ${f('totalMs')}`);
      }
    }
  } finally {
    spawnSync(host.program, ['--ipc=quit'], { env: host.env, timeout: 15000 });
    await host.close();
  }
}

if (!process.env.DISPLAY) {
  const child = spawn('xvfb-run', ['-a', '-s', '-screen 0 1920x1080x24', 'dbus-run-session', '--',
    process.execPath, __filename], { stdio: ['ignore', 'inherit', 'ignore'] });
  child.on('exit', (code) => process.exit(code ?? 1));
} else {
  measure().catch((err) => { console.error(err); process.exit(1); });
}
