'use strict';
// Prints how fast the generator is where users run it (not a test: figures
// vary with the machine and its load; compare the ratios of one run). The
// real TessaryMaker runs under Xvfb, driven through WebDriver, and the same
// page runs standalone in Chromium; beside them, on the same files in the
// same run, the tools users know.
//
//   import   1000 photos of 2048 × 1536 listed with thumbnails (per photo),
//            and the first pile; vipsthumbnail and mogrify making the same
//            240 px thumbnails on two processes
//   shuffle  100 photos of 4000 × 3000: Shuffle to the finished still at
//            1920 × 1080 and 3840 × 2160, first (nothing decoded at that
//            size) and repeated; an ImageMagick pile of the same prints on
//            two processes, shrinking each JPEG while loading it
//   frames   draw time of every frame at 60 fps (median, 95th percentile)
//            of drop, sway and album with 375 prints at both sizes
//   record   frames a 1080p recording at 30 fps loses, and how long the
//            file lasts against the animation: on an idle machine and beside
//            a busy loop on one core; the program's file as its save writes it
//   memory   the page's process (WebKit's web process; Chromium's renderer)
//            after start without photos, at its peak and after the import
//
//   node scripts/bench-program.js [--program-only | --chromium-only] [--quick | --record-only]
//                                 [--only=frames] [--motions=album,...] [label=repoRoot ...]
//
// `--quick` draws a tenth of the frames (a trial run of the harness);
// `--record-only` measures the recording alone, `--only=frames` the frames
// alone (no import of the 1000 photos, no tools, Shuffle timings or
// recording), `--motions` only the motions named.
// Each argument names a checkout whose build/native/bin holds its programs
// and whose web/ holds its page (default: after=this checkout), so an older
// revision can be measured beside this one in the same run. BENCH_IMPORT_COUNT
// and BENCH_SHUFFLE_COUNT change the numbers of photos.
const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { makeDetailedPhotos, averageKiB } = require('./lib/bench-inputs');
const { vipsThumbnails, mogrifyThumbnails, imagemagickPile } = require('./lib/bench-tools');
const { benchScript } = require('./lib/bench-page');

const ROOT = path.join(__dirname, '..');
const IMPORT_COUNT = Number(process.env.BENCH_IMPORT_COUNT) || 1000;
const SHUFFLE_COUNT = Number(process.env.BENCH_SHUFFLE_COUNT) || 100;
const SIZES = [['fhd', 1920, 1080], ['uhd', 3840, 2160]];
const MOTIONS = ['drop', 'sway', 'album'];
// Frames drawn per motion, one after the other at 60 fps: 15 s of the falls
// (6 s at 4K, where a frame costs more) and the album's whole book at both
// sizes, whose page turns are most of its frames (its first 10 s are
// mostly the cover opening).
const FRAMES = { fhd: { drop: 900, sway: 900, album: 2400 }, uhd: { drop: 360, sway: 360, album: 2400 } };
// Scale "s" lays 25 × 15 = 375 prints at both sizes.
const ANIM_STYLE = { scale: 's', background: 'wood', frame: 'cheki', filter: 'sepia', stars: 2 };

// ---------------------------------------------------------------- processes and memory
/** Every process as {pid, ppid, comm}. */
function processTable() {
  const rows = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const close = stat.lastIndexOf(')');
      rows.push({ pid: Number(entry), comm: stat.slice(stat.indexOf('(') + 1, close), ppid: Number(stat.slice(close + 2).split(' ')[1]) });
    } catch { /* ended meanwhile */ }
  }
  return rows;
}

/** Descendants of `pid` whose name starts with `prefix`. */
function descendants(pid, prefix) {
  const rows = processTable();
  const ours = new Set([pid]);
  for (let grew = true; grew;) {
    grew = false;
    for (const r of rows) if (ours.has(r.ppid) && !ours.has(r.pid)) { ours.add(r.pid); grew = true; }
  }
  return rows.filter((r) => ours.has(r.pid) && r.pid !== pid && r.comm.startsWith(prefix)).map((r) => r.pid);
}

/** Resident memory of processes in MiB. */
function rssMiB(pids) {
  let kib = 0;
  for (const pid of pids) {
    try {
      const m = /VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
      if (m) kib += Number(m[1]);
    } catch { /* ended */ }
  }
  return kib / 1024;
}

/** Processor time (user + system) of processes in ms. */
function cpuMs(pids) {
  const tick = 1000 / 100; // USER_HZ
  let ms = 0;
  for (const pid of pids) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      ms += (Number(fields[11]) + Number(fields[12])) * tick;
    } catch { /* ended */ }
  }
  return ms;
}

/** The 1-minute load average: how busy the machine was (other programs make every figure slower). */
function loadAverage() {
  return Number(fs.readFileSync('/proc/loadavg', 'utf8').split(' ')[0]);
}

/** Samples the memory of the processes `find` names every 200 ms; `stop` gives the peak in MiB. */
function memoryPeak(find) {
  let peak = rssMiB(find());
  const timer = setInterval(() => { peak = Math.max(peak, rssMiB(find())); }, 200);
  return { stop: () => { clearInterval(timer); return Math.max(peak, rssMiB(find())); } };
}

const pause = (ms) => new Promise((r) => setTimeout(r, ms));

// ---------------------------------------------------------------- one scenario, either browser
/**
 * The whole scenario in one browser. `browser` gives `open(photoFolder)`
 * (a page whose start has settled, with `call(name, arg)`, `webProcess()`
 * and `close()`) and `hosted`.
 */
async function runScenario(browser, inputs) {
  if (inputs.recordOnly) return { record: await withCameraPhotos(browser, inputs, (page) => recordings(page, browser)) };
  const out = {};
  if (!inputs.framesOnly) await measureImport(browser, inputs, out);
  // Shuffle, frames and recording with the camera-sized photos.
  return withCameraPhotos(browser, inputs, async (page, imported) => {
    out.shuffleImport = imported;
    if (!inputs.framesOnly) out.shuffle = await measureShuffle(page);
    out.frames = await measureFrames(page, inputs);
    if (!inputs.framesOnly) {
      out.record = await recordings(page, browser);
      out.endMiB = rssMiB(page.webProcess());
    }
    return out;
  });
}

/** Import: the page starts without photos, then gets the folder. */
async function measureImport(browser, inputs, out) {
  const page = await browser.open(inputs.importStage);
  try {
    await pause(2000);
    out.startMiB = rssMiB(page.webProcess());
    if (browser.hosted) for (const name of inputs.importNames) fs.linkSync(path.join(inputs.importDir, name), path.join(inputs.importStage, name));
    else await page.call('loadFiles', { base: inputs.importBase, names: inputs.importNames });
    const before = rssMiB(page.webProcess());
    const peak = memoryPeak(page.webProcess);
    const sizes = inputs.importNames.map((name) => fs.statSync(path.join(inputs.importDir, name)).size);
    out.import = await page.call('timeImport', { hosted: browser.hosted, baseUrl: 'tessary-photo://photo/', folder: inputs.importStage, names: inputs.importNames, sizes });
    out.import.load = loadAverage();
    out.import.beforeMiB = before;
    out.import.peakMiB = peak.stop();
    await pause(2000);
    out.import.afterMiB = rssMiB(page.webProcess());
    out.import.otherMiB = page.otherProcesses ? rssMiB(page.otherProcesses()) : null;
  } finally {
    await page.close();
  }
}

/** Runs `measure(page, imported)` on a page that has imported the camera-sized photos. */
async function withCameraPhotos(browser, inputs, measure) {
  const page = await browser.open(inputs.shuffleStage);
  try {
    if (browser.hosted) for (const name of inputs.shuffleNames) fs.linkSync(path.join(inputs.shuffleDir, name), path.join(inputs.shuffleStage, name));
    else await page.call('loadFiles', { base: inputs.shuffleBase, names: inputs.shuffleNames });
    const sizes = inputs.shuffleNames.map((name) => fs.statSync(path.join(inputs.shuffleDir, name)).size);
    const imported = await page.call('timeImport', { hosted: browser.hosted, baseUrl: 'tessary-photo://photo/', folder: inputs.shuffleStage, names: inputs.shuffleNames, sizes });
    return await measure(page, imported);
  } finally {
    await page.close();
  }
}

/** Shuffle at each size, first (nothing decoded at that size) and repeated. */
async function measureShuffle(page) {
  const shuffle = {};
  for (const [preset] of SIZES) {
    await page.call('dropDecodes');
    const first = await page.call('timeShuffle', { preset });
    const again = await page.call('timeShuffle', { preset });
    shuffle[preset] = { first: first.ms, again: again.ms, prints: first.prints, decoded: again.decoded, load: loadAverage() };
  }
  return shuffle;
}

/** Frame times of each motion measured at each size. */
async function measureFrames(page, inputs) {
  const frames = {};
  for (const [preset] of SIZES) {
    await page.call('setStyle', { preset, ...ANIM_STYLE });
    await page.call('timeShuffle', { preset });
    for (const motion of inputs.motions) {
      const count = Math.ceil(FRAMES[preset][motion] / (inputs.quick ? 10 : 1));
      // The page's processor time per frame does not grow with other
      // programs' load the way the time on the clock does.
      const cpu0 = cpuMs(page.webProcess());
      const r = await page.call('frameTimes', { motion, frames: count, fps: 60 });
      r.cpuPerFrame = (cpuMs(page.webProcess()) - cpu0) / r.frames;
      r.load = loadAverage();
      frames[`${preset} ${motion}`] = r;
    }
  }
  return frames;
}

/** The drop animation recorded at 1080p on an idle machine, then beside a busy loop on one core. */
async function recordings(page, browser) {
  await page.call('setStyle', { preset: 'fhd', ...ANIM_STYLE });
  await page.call('timeShuffle', { preset: 'fhd' });
  const idle = await recordedFrames(page, browser);
  const busy = spawn(process.execPath, ['-e', 'for (;;) {}'], { stdio: 'ignore' });
  try {
    await pause(1000);
    return { idle, loaded: await recordedFrames(page, browser) };
  } finally {
    busy.kill();
  }
}

/** Records the drop animation at 1080p; the frames and the duration of the file. */
async function recordedFrames(page, browser) {
  const load = loadAverage();
  const rec = await page.call('recordDrop', { hosted: browser.hosted });
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-bench-rec-'));
  try {
    let file = rec.path;
    if (!file) {
      file = path.join(dir, rec.mime.includes('mp4') ? 'drop.mp4' : 'drop.webm');
      fs.writeFileSync(file, Buffer.from(rec.base64, 'base64'));
    }
    // Counted as the packets the file holds: a frame the recorder lost has none.
    const probe = JSON.parse(execFileSync('ffprobe', ['-v', 'quiet', '-count_packets', '-select_streams', 'v:0',
      '-show_entries', 'stream=nb_read_packets:format=duration', '-of', 'json', file], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }));
    if (rec.path) fs.rmSync(rec.path, { force: true });
    return {
      mime: rec.mime.split(';')[0], frames: Number(probe.streams[0].nb_read_packets), expected: Math.round(rec.seconds * 30),
      duration: Number(probe.format.duration), seconds: rec.seconds, wallSeconds: rec.wallSeconds, load,
    };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// ---------------------------------------------------------------- the real program
/** The real TessaryMaker of one checkout, in this process (the harness reads TESSARY_BIN_DIR when loaded). */
function programBrowser() {
  const { startHost } = require('../tests/e2e/host-session');
  return {
    hosted: true,
    async open(photoFolder) {
      fs.mkdirSync(photoFolder, { recursive: true });
      // The save dialog answers with this file (recordings are saved there).
      const host = await startHost({ args: [`--photo-folder=${photoFolder}`],
        env: (box) => ({ TESSARY_TEST_SAVE_PATH: path.join(box.out, 'recording.mp4') }) });
      await host.driver.manage().setTimeouts({ script: 1800000 });
      // The empty folder's import has run once the page is idle.
      await host.waitFor('window.TY && window.TY.ui && window.TY.photos && !window.TY.ui.isBusy()', 60000);
      await host.run(benchScript());
      const pid = host.programPid();
      return {
        call: (name, arg) => host.run('return window.__bench[arguments[0]](arguments[1]);', name, arg),
        webProcess: () => descendants(pid, 'WebKitWebProces'),
        otherProcesses: () => [pid, ...descendants(pid, 'WebKitNetworkPr')],
        close: () => host.close(),
      };
    },
  };
}

async function measureProgram() {
  const inputs = JSON.parse(process.env.BENCH_INPUTS);
  const result = await runScenario(programBrowser(), inputs);
  process.stdout.write(JSON.stringify(result));
}

function runProgramChild(label, root, inputs) {
  const stage = fs.mkdtempSync(path.join(inputs.work, `stage-${label}-`));
  const staged = { ...inputs, importStage: path.join(stage, 'import'), shuffleStage: path.join(stage, 'shuffle') };
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, [__filename, '--measure-program'], {
      env: { ...process.env, TESSARY_BIN_DIR: path.join(root, 'build', 'native', 'bin'), BENCH_INPUTS: JSON.stringify(staged) },
      stdio: ['ignore', 'pipe', 'inherit'],
    });
    let out = '';
    child.stdout.on('data', (d) => { out += d; });
    child.on('exit', (code) => {
      fs.rmSync(stage, { recursive: true, force: true });
      if (code === 0) resolve(JSON.parse(out));
      else reject(new Error(`measuring the program of ${root} failed (${code})`));
    });
  });
}

// ---------------------------------------------------------------- Chromium
async function runChromium(root, inputs) {
  const { startServer, launchBrowser } = require('../tests/lib/browser');
  const pageServer = await startServer(root);
  const photoServer = await startServer(inputs.work);
  const chromium = await launchBrowser();
  const renderers = () => descendants(process.pid, 'chromium').filter((pid) => {
    try { return fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer'); } catch { return false; }
  });
  const browser = {
    hosted: false,
    async open() {
      const context = await chromium.browser.newContext({ viewport: { width: 1366, height: 800 }, locale: 'en-US' });
      const page = await context.newPage();
      await page.goto(`${pageServer.url}/web/index.html?lang=en`);
      await page.waitForFunction(() => window.TY && window.TY.ui && !window.TY.ui.isBusy());
      await page.addScriptTag({ content: benchScript() });
      return {
        call: (name, arg) => page.evaluate(([n, a]) => window.__bench[n](a), [name, arg]),
        webProcess: renderers,
        close: () => context.close(),
      };
    },
  };
  try {
    return await runScenario(browser, { ...inputs, importBase: `${photoServer.url}/import`, shuffleBase: `${photoServer.url}/shuffle` });
  } finally {
    await chromium.close();
    await pageServer.close();
    await photoServer.close();
  }
}

// ---------------------------------------------------------------- report
const s = (ms) => `${(ms / 1000).toFixed(2)} s`;
const frame = (r) => `${r.median.toFixed(1)} / ${r.p95.toFixed(1)} ms; processor ${r.cpuPerFrame.toFixed(1)} ms per frame` +
  ` (${r.frames} frames, ${r.prints} prints, load ${r.load.toFixed(1)})`;

/** One line per recording: the frames the file holds and how long it lasts. */
function recordLines(record) {
  return [['idle', record.idle], ['one core busy', record.loaded]].map(([when, rec]) =>
    `  record drop 1920×1080 at 30 fps (${rec.mime}), ${when}: ${rec.frames} of ${rec.expected} frames, ` +
    `${rec.frames - rec.expected >= 0 ? '+' : ''}${rec.frames - rec.expected}; ${rec.duration.toFixed(3)} s of video for ` +
    `${rec.seconds.toFixed(3)} s of animation; recorded in ${rec.wallSeconds.toFixed(1)} s (load ${rec.load.toFixed(1)})`);
}

function report(label, r, tools) {
  if (!r.frames) return [`${label}:`, ...recordLines(r.record)].join('\n');
  const lines = [`${label}:`];
  if (r.import) {
    const per = r.import.listedMs / r.import.total;
    lines.push(`  import ${r.import.total} photos: listed with thumbnails ${s(r.import.listedMs)} = ${per.toFixed(1)} ms per photo` +
      ` (vipsthumbnail ×${(tools.vips / r.import.total / per).toFixed(2)} of ours, mogrify ×${(tools.mogrify / r.import.total / per).toFixed(2)});` +
      ` first pile ${s(r.import.pileMs)} (${r.import.prints} prints, ${r.import.decoded} pictures held; load ${r.import.load.toFixed(1)})`);
    lines.push(`  memory of the page's process: ${r.startMiB.toFixed(0)} MiB after start without photos;` +
      ` import ${r.import.beforeMiB.toFixed(0)} -> peak ${r.import.peakMiB.toFixed(0)} -> ${r.import.afterMiB.toFixed(0)} MiB` +
      `${r.import.otherMiB != null ? ` (program and network process ${r.import.otherMiB.toFixed(0)} MiB)` : ''}; at the end ${r.endMiB.toFixed(0)} MiB`);
  }
  for (const [preset, w, h] of r.shuffle ? SIZES : []) {
    const sh = r.shuffle[preset];
    const im = tools.pile[preset];
    lines.push(`  Shuffle ${w}×${h}: first ${s(sh.first)}, again ${s(sh.again)} (${sh.prints.length} prints, ${sh.decoded} held, load ${sh.load.toFixed(1)})` +
      (im ? `; ImageMagick pile ${s(im)} = ${(im / sh.first).toFixed(1)}× our first, ${(im / sh.again).toFixed(1)}× again` : ''));
  }
  for (const [preset, w, h] of SIZES) {
    for (const motion of MOTIONS) {
      const f = r.frames[`${preset} ${motion}`];
      if (f) lines.push(`  frame ${w}×${h} ${motion.padEnd(5)} median / p95 ${frame(f)}`);
    }
  }
  if (r.record) lines.push(...recordLines(r.record));
  return lines.join('\n');
}

/** The value of `--name=value` among the flags, or null. */
function flagValue(flags, name) {
  const flag = flags.find((a) => a.startsWith(`--${name}=`));
  return flag ? flag.slice(name.length + 3) : null;
}

// ---------------------------------------------------------------- main
async function main() {
  if (process.argv.includes('--measure-program')) return measureProgram();
  if (!process.env.DISPLAY) {
    const child = spawn('xvfb-run', ['-a', '-s', '-screen 0 1920x1080x24', 'dbus-run-session', '--',
      process.execPath, __filename, ...process.argv.slice(2)], { stdio: 'inherit' });
    child.on('exit', (code) => process.exit(code ?? 1));
    return undefined;
  }
  const flags = process.argv.slice(2).filter((a) => a.startsWith('--'));
  const builds = process.argv.slice(2).filter((a) => !a.startsWith('--')).map((a) => a.split('='));
  if (!builds.length) builds.push(['after', ROOT]);
  const recordOnly = flags.includes('--record-only');
  const only = flagValue(flags, 'only');
  if (only !== null && only !== 'frames') throw new Error(`--only=${only}: only "frames" can be measured alone`);
  const framesOnly = only === 'frames';
  const motions = flagValue(flags, 'motions')?.split(',') ?? MOTIONS;
  const unknown = motions.filter((m) => !MOTIONS.includes(m));
  if (unknown.length) throw new Error(`--motions: unknown ${unknown.join(', ')} (known: ${MOTIONS.join(', ')})`);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-bench-program-'));
  try {
    const importDir = path.join(work, 'import');
    const shuffleDir = path.join(work, 'shuffle');
    if (recordOnly) {
      console.log(`making ${SHUFFLE_COUNT} photos of 4000×3000 …`);
      const shuffleNames = makeDetailedPhotos(shuffleDir, { count: SHUFFLE_COUNT, w: 4000, h: 3000, seed: 11 });
      const inputs = { work, shuffleDir, shuffleNames, importNames: [], recordOnly };
      for (const [label, root] of builds) {
        if (!flags.includes('--chromium-only')) console.log(report(`${label}, TessaryMaker (WebKitGTK)`, await runProgramChild(label, root, inputs)));
        if (!flags.includes('--program-only')) console.log(report(`${label}, page in Chromium`, await runChromium(root, inputs)));
      }
      return undefined;
    }
    const importCount = framesOnly ? 0 : IMPORT_COUNT;
    console.log(`making ${importCount} photos of 2048×1536 and ${SHUFFLE_COUNT} of 4000×3000 …`);
    const importNames = importCount ? makeDetailedPhotos(importDir, { count: importCount, w: 2048, h: 1536, seed: 7 }) : [];
    const shuffleNames = makeDetailedPhotos(shuffleDir, { count: SHUFFLE_COUNT, w: 4000, h: 3000, seed: 11 });
    console.log(`  ${importCount ? averageKiB(importDir, importNames).toFixed(0) : '-'} KiB and ${averageKiB(shuffleDir, shuffleNames).toFixed(0)} KiB per photo`);
    const tools = { pile: {} };
    if (!framesOnly) {
      tools.vips = await vipsThumbnails(importDir, importNames, path.join(work, 'vips'));
      tools.mogrify = await mogrifyThumbnails(importDir, importNames, path.join(work, 'mogrify'));
      console.log(`vipsthumbnail, two processes: ${(tools.vips / IMPORT_COUNT).toFixed(1)} ms per photo; ` +
        `mogrify, two processes: ${(tools.mogrify / IMPORT_COUNT).toFixed(1)} ms per photo (load ${loadAverage().toFixed(1)})`);
    }
    const inputs = { work, importDir, shuffleDir, importNames, shuffleNames, quick: flags.includes('--quick'), framesOnly, motions };
    const results = [];
    for (const [label, root] of builds) {
      if (!flags.includes('--chromium-only')) results.push([`${label}, TessaryMaker (WebKitGTK)`, await runProgramChild(label, root, inputs)]);
      if (!flags.includes('--program-only')) results.push([`${label}, page in Chromium`, await runChromium(root, inputs)]);
      // The ImageMagick pile lays the prints of the first measured Shuffle at each size.
      for (const [preset, w, h] of SIZES.filter(([size]) => results.length && results[0][1].shuffle && !tools.pile[size])) {
        const prints = results[0][1].shuffle[preset].prints.map((p) => ({ ...p, file: path.join(shuffleDir, p.name) }));
        tools.pile[preset] = await imagemagickPile(prints, w, h, path.join(work, 'pile'));
        console.log(`ImageMagick pile ${w}×${h}, two processes: ${s(tools.pile[preset])} (load ${loadAverage().toFixed(1)})`);
      }
    }
    for (const [label, r] of results) console.log(report(label, r, tools));
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
  return undefined;
}

main().catch((err) => { console.error(err); process.exit(1); });
