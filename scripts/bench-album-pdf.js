'use strict';
// Prints album PDF figures of the real TessaryMaker (not a test: figures vary
// with the machine and its load). For albums of 10, 40 and 100 A4 pages, four
// camera-sized photos a page, saved with "Save creation" into --pdf-out=:
// the page's time per page (photos decoded for print, the sheet drawn,
// encoded as JPEG, waiting for the host), the host's time per page (chunks
// taken in, decoded and written), and the peak memory of the web process and
// of the host during the save, beside their memory before it. Both must not
// grow with the page count: one sheet and one page's chunks are held at a
// time. Then the host's writer beside Debian's img2pdf on the very page
// JPEGs of the 100-page album (scripts/bench-pdf.sh).
//
//   node scripts/bench-album-pdf.js [pages ...]     (default 10 40 100)
const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const ROOT = path.join(__dirname, '..');
const PHOTOS_PER_PAGE = 4;
const PHOTO_SIZE = '3000:2250';
const SAMPLE_INTERVAL_MS = 100;

/** Camera-sized photos made from the samples, `count` of them under their own names. */
function makePhotos(dir, count) {
  const samples = fs.readdirSync(path.join(ROOT, 'samples', 'photos')).filter((f) => f.endsWith('.jpg')).sort();
  const bases = samples.map((name, i) => {
    const file = path.join(dir, `base-${i}.jpg`);
    execFileSync('ffmpeg', ['-v', 'error', '-y', '-i', path.join(ROOT, 'samples', 'photos', name),
      '-vf', `scale=${PHOTO_SIZE},noise=alls=6:allf=t`, '-q:v', '3', file]);
    return file;
  });
  const folder = path.join(dir, `photos-${count}`);
  fs.mkdirSync(folder);
  for (let i = 0; i < count; i++) fs.copyFileSync(bases[i % bases.length], path.join(folder, `photo-${String(i).padStart(4, '0')}.jpg`));
  for (const base of bases) fs.rmSync(base);
  return folder;
}

/** Runs in the page: times every sheet of the album PDF on its way to the host. */
const INSTRUMENT = `(() => {
  const bench = window.__bench = { sheets: [], sentAt: [], doneAt: [], finished: null };
  const album = TY.album;
  const render = album.renderPdfSheets;
  const encode = album.encodePdfSheet;
  let sheet = null;
  const begin = () => { sheet = { start: performance.now(), load: 0, encode: 0 }; };
  album.encodePdfSheet = async (canvas) => { const t = performance.now(); const r = await encode(canvas); sheet.encode = performance.now() - t; return r; };
  album.renderPdfSheets = (data, options) => {
    begin();
    return render(data, { ...options,
      loadPhotos: async (indices, side) => { const t = performance.now(); const r = await options.loadPhotos(indices, side); sheet.load += performance.now() - t; return r; },
      onPage: async (canvas, index) => {
        sheet.draw = performance.now() - sheet.start - sheet.load;
        const t = performance.now();
        await options.onPage(canvas, index);
        sheet.handOver = performance.now() - t;
        bench.sheets.push(sheet);
        begin();
      } });
  };
  const send = TY.bridge.sendChunks;
  TY.bridge.sendChunks = (cmd, base64, extra) => { if (cmd === 'albumPdfPage') bench.sentAt.push(performance.now()); return send(cmd, base64, extra); };
  TY.bridge.on('albumPdfPageDone', () => bench.doneAt.push(performance.now()));
  for (const e of ['albumPdfDone', 'albumPdfError', 'albumPdfCancelled']) TY.bridge.on(e, (p) => { bench.finished = { event: e, payload: p, at: performance.now() }; });
})();`;

/** VmRSS of a process in MB, or 0 once it is gone. */
function rssMb(pid) {
  try {
    const m = /VmRSS:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
    return m ? Number(m[1]) / 1024 : 0;
  } catch {
    return 0;
  }
}

/** The web process of the program: its child named WebKitWebProcess. */
function webProcessOf(pid) {
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const ppid = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (ppid === pid && stat.includes('(WebKitWebProces')) return Number(entry);
    } catch { /* ended meanwhile */ }
  }
  return 0;
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted.length ? sorted[Math.floor(sorted.length / 2)] : 0;
};
const sum = (values) => values.reduce((a, b) => a + b, 0);

/** One album through the program, in a process of its own (the harness reads its environment when loaded). */
async function measureOne(pages, photoDir, outDir) {
  const { startHost } = require('../tests/e2e/host-session');
  const host = await startHost({ args: [`--photo-folder=${photoDir}`, `--pdf-out=${outDir}`] });
  try {
    await host.driver.manage().setTimeouts({ script: 60000 });
    await host.waitFor('window.TY && window.TY.ui && window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 600000);
    await host.run('window.TY.ui.setMode("album");');
    await new Promise((r) => setTimeout(r, 300));
    await host.waitFor('!window.TY.ui.isBusy()', 120000);
    await host.run(`document.getElementById('albumPp').value = '${PHOTOS_PER_PAGE}';
      document.getElementById('albumPp').dispatchEvent(new Event('change', { bubbles: true }));`);
    await new Promise((r) => setTimeout(r, 300));
    await host.waitFor('!window.TY.ui.isBusy()', 120000);
    await host.run(INSTRUMENT);
    const hostPid = host.programPid();
    const webPid = webProcessOf(hostPid);
    const before = { host: rssMb(hostPid), web: rssMb(webPid) };
    const peak = { ...before };
    const sampler = setInterval(() => {
      peak.host = Math.max(peak.host, rssMb(hostPid));
      peak.web = Math.max(peak.web, rssMb(webPid));
    }, SAMPLE_INTERVAL_MS);
    const t0 = Date.now();
    await host.run('document.getElementById("btnSaveCreation").click();');
    await host.waitFor('!document.getElementById("pdfDialog").hidden', 30000);
    await host.run('document.getElementById("pdfSave").click();');
    await host.waitFor('window.__bench.finished', 3600000);
    const seconds = (Date.now() - t0) / 1000;
    clearInterval(sampler);
    const bench = await host.run('return window.__bench;');
    if (bench.finished.event !== 'albumPdfDone') throw new Error(JSON.stringify(bench.finished));
    const pdf = bench.finished.payload.path;
    const counted = Number(/Pages:\s+(\d+)/.exec(execFileSync('pdfinfo', [pdf], { encoding: 'utf8' }))[1]);
    const hostMs = bench.sentAt.map((sent, i) => bench.doneAt[i] - sent);
    return {
      pages, counted, seconds, before, peak, pdf, mb: fs.statSync(pdf).size / 1048576,
      load: median(bench.sheets.map((s) => s.load)), draw: median(bench.sheets.map((s) => s.draw)),
      encode: median(bench.sheets.map((s) => s.encode)),
      waited: median(bench.sheets.map((s) => s.handOver - s.encode)),
      pageTotal: sum(bench.sheets.map((s) => s.load + s.draw + s.encode)) / bench.sheets.length,
      host: median(hostMs), hostMax: Math.max(...hostMs),
    };
  } finally {
    await host.close({ keep: false });
  }
}

function runChild(pages, photoDir, outDir) {
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, [__filename, '--measure', String(pages), photoDir, outDir],
      { stdio: ['ignore', 'pipe', 'ignore'] });
    let out = '';
    child.stdout.on('data', (d) => { out += d; });
    child.on('exit', (code) => (code === 0 ? resolve(JSON.parse(out)) : reject(new Error(`the ${pages}-page album failed (${code})`))));
  });
}

async function main() {
  if (process.argv[2] === '--measure') {
    const [pages, photoDir, outDir] = process.argv.slice(3);
    process.stdout.write(JSON.stringify(await measureOne(Number(pages), photoDir, outDir)));
    return;
  }
  if (!process.env.DISPLAY) {
    const child = spawn('xvfb-run', ['-a', '-s', '-screen 0 1920x1080x24', 'dbus-run-session', '--',
      process.execPath, __filename, ...process.argv.slice(2)], { stdio: 'inherit' });
    child.on('exit', (code) => process.exit(code ?? 1));
    return;
  }
  const counts = process.argv.slice(2).map(Number).filter((n) => n > 0);
  if (!counts.length) counts.push(10, 40, 100);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-bench-album-'));
  try {
    console.log(`A4 albums, ${PHOTOS_PER_PAGE} photos of ${PHOTO_SIZE.replace(':', ' × ')} px a page, white background, through TessaryMaker`);
    const columns = [['pages', 5], ['total s', 7], ['photos ms', 9], ['draw ms', 7], ['JPEG ms', 7], ['waits ms', 8],
      ['host ms (max)', 13], ['web MB before → peak', 20], ['host MB before → peak', 21], ['PDF MB', 6]];
    const row = (cells) => cells.map((c, i) => String(c).padStart(columns[i][1])).join(' | ');
    console.log(row(columns.map(([name]) => name)));
    let last = null;
    for (const pages of counts) {
      const photos = makePhotos(work, pages * PHOTOS_PER_PAGE);
      const out = path.join(work, `out-${pages}`);
      const r = await runChild(pages, photos, out);
      if (r.counted !== pages) throw new Error(`the ${pages}-page album has ${r.counted} pages`);
      const mb = (v) => v.toFixed(0);
      console.log(row([pages, r.seconds.toFixed(1), r.load.toFixed(0), r.draw.toFixed(0), r.encode.toFixed(0), r.waited.toFixed(0),
        `${r.host.toFixed(0)} (${r.hostMax.toFixed(0)})`, `${mb(r.before.web)} → ${mb(r.peak.web)}`,
        `${mb(r.before.host)} → ${mb(r.peak.host)}`, r.mb.toFixed(1)]));
      fs.rmSync(photos, { recursive: true, force: true });
      last = r;
    }
    console.log('Page side, medians per sheet: photos decoded for print, the sheet drawn, its JPEG, and the wait for the');
    console.log('host to have written the page before. Host: from the page posting a page\'s chunks to its answer (chunks');
    console.log('taken in, decoded, written). Memory: resident MB just before the save and the highest during it.');
    // The host's writer beside img2pdf on the very JPEGs the page sent for the largest album.
    const jpegs = path.join(work, 'pages');
    fs.mkdirSync(jpegs);
    execFileSync('pdfimages', ['-j', last.pdf, path.join(jpegs, 'page')]);
    console.log(`\nThe writer on the ${last.pages} page JPEGs of that album, beside img2pdf (scripts/bench-pdf.sh):`);
    execFileSync(path.join(ROOT, 'scripts', 'bench-pdf.sh'), [jpegs], { stdio: 'inherit' });
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((err) => { console.error(err); process.exit(1); });
