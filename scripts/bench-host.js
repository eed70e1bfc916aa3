'use strict';
// Prints how well the real TessaryMaker keeps answering while large saves are
// written and a long video is remuxed (not a test: figures vary with the
// machine). The page sends two 150 MB saves and a real fragmented MP4 whose
// remux takes tens of seconds, then measures, until all three are answered:
// the round trip of a cheap command (getFonts -> fonts) and of a small file
// fetched from the photo origin.
//
//   node scripts/bench-host.js [label=binFolder ...]
//
// Each argument names a build's bin folder (default: after=build/native/bin),
// so a build of another revision can be measured beside this one, e.g.
//   node scripts/bench-host.js before=/tmp/main/bin after=build/native/bin
// BENCH_REMUX_LOOPS (default 30) sets the video's length and so its remux time.
const { execFileSync, spawn } = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const ROOT = path.join(__dirname, '..');
const SAVE_MB = 150;
const REMUX_LOOPS = Number(process.env.BENCH_REMUX_LOOPS || 30);

/** The photo folder the program serves: two large saves, a fragmented MP4 and a small file. */
function makeInputs(dir) {
  for (const name of ['save-1.bin', 'save-2.bin']) {
    const fd = fs.openSync(path.join(dir, name), 'w');
    for (let mb = 0; mb < SAVE_MB; mb++) fs.writeSync(fd, crypto.randomBytes(1 << 20));
    fs.closeSync(fd);
  }
  // Many small frames: remuxing costs per frame, so a long clip of a tiny
  // picture remuxes for as long as a large recording would.
  const clip = path.join(dir, 'clip.mp4');
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc2=size=64x48:rate=1000', '-t', '60',
    '-c:v', 'libx264', '-preset', 'ultrafast', '-crf', '45', '-g', '1000',
    '-movflags', 'frag_keyframe+empty_moov+default_base_moof', clip]);
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-stream_loop', String(REMUX_LOOPS - 1), '-i', clip, '-c', 'copy',
    '-movflags', 'frag_keyframe+empty_moov+default_base_moof', path.join(dir, 'video.mp4')]);
  fs.rmSync(clip);
  fs.writeFileSync(path.join(dir, 'tiny.jpg'), crypto.randomBytes(2048));
}

/** Runs in the page: loads the inputs as data URLs. */
const LOAD_INPUTS = `return (async () => {
  const load = async (name) => {
    const blob = await (await fetch('tessary-photo://photo/' + name)).blob();
    return new Promise((resolve) => { const r = new FileReader(); r.onload = () => resolve(r.result); r.readAsDataURL(blob); });
  };
  window.__bench = { saves: [await load('save-1.bin'), await load('save-2.bin')], video: await load('video.mp4') };
  return window.__bench.saves[0].length + window.__bench.saves[1].length + window.__bench.video.length;
})();`;

/** Runs in the page: sends the saves and measures answers until all of them are answered. */
const MEASURE = `return (async () => {
  const ids = ['save-1', 'save-2', 'video'];
  const answered = {};
  const t0 = performance.now();
  for (const name of ['saveDone', 'saveError', 'saveCancelled']) {
    TY.bridge.on(name, (p) => { if (ids.includes(p.requestId) && !answered[p.requestId]) answered[p.requestId] = { event: name, ms: performance.now() - t0 }; });
  }
  const waiting = [];
  TY.bridge.on('fonts', () => { const w = waiting.shift(); if (w) w(); });
  // Each answer as [when it was asked (ms since the first chunk), how long it took].
  const ping = () => new Promise((resolve) => {
    const start = performance.now();
    waiting.push(() => resolve([start - t0, performance.now() - start]));
    TY.bridge.post({ cmd: 'getFonts' });
  });
  const allAnswered = () => ids.every((id) => answered[id]);
  const pause = (ms) => new Promise((r) => setTimeout(r, ms));

  TY.bridge.sendImageForSave(window.__bench.saves[0], 'png', { requestId: 'save-1' });
  TY.bridge.sendImageForSave(window.__bench.saves[1], 'png', { requestId: 'save-2' });
  TY.bridge.sendImageForSave(window.__bench.video, 'mp4', { requestId: 'video' });
  const posted = performance.now() - t0;

  const fetches = [];
  const fetchLoop = (async () => {
    for (let i = 0; !allAnswered(); i++) {
      const start = performance.now();
      await (await fetch('tessary-photo://photo/tiny.jpg?n=' + i)).arrayBuffer();
      fetches.push([start - t0, performance.now() - start]);
      await pause(20);
    }
  })();
  // The first command waits behind every chunk (commands are taken in order).
  const [, intake] = await ping();
  const pings = [];
  while (!allAnswered()) {
    pings.push(await ping());
    await pause(20);
  }
  await fetchLoop;
  return { posted, intake, intakeDoneAt: posted + intake, answered, pings, fetches };
})();`;

/** Summary of [askedAt, ms] answers. */
function stats(answers) {
  if (!answers.length) return 'none';
  const sorted = [...answers].sort((a, b) => a[1] - b[1]);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))][1];
  const [askedAt, longest] = sorted[sorted.length - 1];
  return `n=${sorted.length} median ${at(0.5).toFixed(1)} ms, p95 ${at(0.95).toFixed(1)} ms, ` +
    `max ${longest.toFixed(1)} ms (asked at ${(askedAt / 1000).toFixed(1)} s)`;
}

/** One build, in a process of its own (the harness reads TESSARY_BIN_DIR when loaded). */
async function measureOne() {
  const { startHost } = require('../tests/e2e/host-session');
  const photos = process.env.BENCH_PHOTO_DIR;
  const host = await startHost({ args: ['--web-from-disk', `--photo-folder=${photos}`],
    env: (box) => ({ TESSARY_TEST_SAVE_PATH: path.join(box.out, 'bench.mp4') }) });
  try {
    await host.waitFor('window.hostLog.events.some((e) => e.name === "materialFolderPicked")');
    await host.driver.manage().setTimeouts({ script: 900000 });
    const chars = await host.run(LOAD_INPUTS);
    const result = await host.run(MEASURE);
    result.chars = chars;
    process.stdout.write(JSON.stringify(result));
  } finally {
    await host.close();
  }
}

function runChild(binDir, photoDir) {
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, [__filename, '--measure'], {
      env: { ...process.env, TESSARY_BIN_DIR: binDir, BENCH_PHOTO_DIR: photoDir },
      stdio: ['ignore', 'pipe', 'ignore'],
    });
    let out = '';
    child.stdout.on('data', (d) => { out += d; });
    child.on('exit', (code) => (code === 0 ? resolve(JSON.parse(out)) : reject(new Error(`measuring ${binDir} failed (${code})`))));
  });
}

function report(label, r) {
  const answers = Object.entries(r.answered).map(([id, a]) => `${id} ${a.event} at ${(a.ms / 1000).toFixed(1)} s`).join(', ');
  console.log(`${label}:`);
  console.log(`  page posted ${(r.chars / 1e6).toFixed(0)} M characters of chunks in ${(r.posted / 1000).toFixed(1)} s`);
  console.log(`  first command after the chunks answered at ${(r.intakeDoneAt / 1000).toFixed(1)} s (waits behind every chunk)`);
  console.log(`  answers: ${answers}`);
  console.log(`  getFonts -> fonts after that, while saves were written and the video remuxed: ${
    r.pings.length ? stats(r.pings) : 'none (the first answer came after all the work)'}`);
  console.log(`  small photo fetch during the whole run: ${stats(r.fetches)}`);
  const longest = Math.max(r.intake, ...[...r.pings, ...r.fetches].map(([, ms]) => ms));
  console.log(`  longest wait for any answer: ${(longest / 1000).toFixed(1)} s`);
}

async function main() {
  if (process.argv.includes('--measure')) return measureOne();
  if (!process.env.DISPLAY) {
    const child = spawn('xvfb-run', ['-a', '-s', '-screen 0 1920x1080x24', 'dbus-run-session', '--',
      process.execPath, __filename, ...process.argv.slice(2)], { stdio: 'inherit' });
    child.on('exit', (code) => process.exit(code ?? 1));
    return undefined;
  }
  const builds = process.argv.slice(2).map((arg) => arg.split('='));
  if (!builds.length) builds.push(['after', path.join(ROOT, 'build', 'native', 'bin')]);
  const photos = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-bench-host-'));
  try {
    makeInputs(photos);
    const video = fs.statSync(path.join(photos, 'video.mp4')).size;
    console.log(`inputs: 2 saves of ${SAVE_MB} MB, a fragmented MP4 of ${(video / 1e6).toFixed(0)} MB (${REMUX_LOOPS * 60000} frames)`);
    for (const [label, binDir] of builds) report(label, await runChild(binDir, photos));
  } finally {
    fs.rmSync(photos, { recursive: true, force: true });
  }
  return undefined;
}

main().catch((err) => { console.error(err); process.exit(1); });
