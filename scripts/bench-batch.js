'use strict';
// Prints how long a batch render takes from the command's start to the
// written file: 100 twelve-megapixel JPEGs laid as a 3840 x 2160 PNG pile of
// 100 prints, beside the polaroid pile ImageMagick makes of the same prints
// with two processes (one turns every photo into a turned polaroid at its
// place, the other lays them over the desk), in the same run; ImageMagick
// once as usually written and once with its JPEG size hint, which lets the
// decoder read the photos reduced. The photos are made at run time.
// Usage: node scripts/bench-batch.js [runs]   (starts its own virtual display when there is none)
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { loadScripts } = require('../tests/lib/vm-load');

const ROOT = path.join(__dirname, '..');
const PROGRAM = path.join(process.env.TESSARY_BIN_DIR || path.join(ROOT, 'build', 'native', 'bin'), 'TessaryMaker');
const RUNS = Number(process.argv[2]) || 1;
const PHOTOS = 100;
const W = 3840;
const H = 2160;
const PHOTO_W = 4000;
const PHOTO_H = 3000;

if (!process.env.DISPLAY && !process.env.TESSARY_BENCH_INNER) {
  const inner = spawnSync('xvfb-run', ['-a', '-s', '-screen 0 1920x1080x24', 'dbus-run-session', '--', process.execPath,
    __filename, ...process.argv.slice(2)], { stdio: 'inherit', env: { ...process.env, TESSARY_BENCH_INNER: '1' } });
  process.exit(inner.status === null ? 1 : inner.status);
}

/** The same uniform sequence each run (mulberry32). @param {number} seed */
function sequence(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = Math.imul(a ^ (a >>> 15), a | 1);
    t = (t + Math.imul(t ^ (t >>> 7), t | 61)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

/** 100 photos of 12 MP: the sample JPEGs enlarged, each flipped or tinted apart, under 100 names. */
function makePhotos(dir) {
  const samples = fs.readdirSync(path.join(ROOT, 'samples', 'photos')).filter((f) => /\.jpg$/i.test(f)).sort();
  const variants = [[], ['-flop', '-modulate', '100,120,95']];
  const bases = [];
  samples.forEach((name, i) => variants.forEach((ops, v) => {
    const base = path.join(dir, `base-${i}-${v}.jpg`);
    execFileSync('convert', [path.join(ROOT, 'samples', 'photos', name), '-resize', `${PHOTO_W}x${PHOTO_H}!`, ...ops,
      '-attenuate', '0.3', '+noise', 'Gaussian', '-quality', '90', base]);
    bases.push(base);
  }));
  const folder = path.join(dir, 'photos');
  fs.mkdirSync(folder);
  for (let i = 0; i < PHOTOS; i++) fs.copyFileSync(bases[i % bases.length], path.join(folder, `IMG_${String(i).padStart(4, '0')}.jpg`));
  for (const base of bases) fs.rmSync(base);
  return folder;
}

/** Seconds the command takes from start to end. */
function timed(cmd, args, options = {}) {
  const t0 = process.hrtime.bigint();
  const run = spawnSync(cmd, args, { stdio: ['ignore', 'ignore', 'pipe'], maxBuffer: 64 * 1024 * 1024, ...options });
  if (run.status !== 0) throw new Error(`${cmd} failed (${run.status}): ${run.stderr}`);
  return Number(process.hrtime.bigint() - t0) / 1e9;
}

/** The polaroid pile in two processes: polaroids placed on their layers, piped into the one that lays them down. */
function imagemagickPile(folder, out, side, sizeHint) {
  const random = sequence(1);
  const hint = sizeHint ? ['-define', `jpeg:size=${2 * side}x${2 * side}`] : [];
  const layers = [];
  for (const file of fs.readdirSync(folder).sort()) {
    const angle = (random() < 0.5 ? -1 : 1) * (8 + random() * 22);
    const x = Math.round(random() * W - side * 0.6);
    const y = Math.round(random() * H - side * 0.7);
    layers.push('(', path.join(folder, file), '-auto-orient', '-thumbnail', `${side}x${side}^`, '-gravity', 'center',
      '-extent', `${side}x${side}`, '-bordercolor', 'white', '-background', 'gray20', '-polaroid', angle.toFixed(1),
      '-repage', `+${x}+${y}`, ')');
  }
  const script = `convert ${[...hint, ...layers, 'miff:-'].map(quote).join(' ')} | `
    + `convert -size ${W}x${H} xc:'#8c8c8c' miff:- -flatten ${quote(out)}`;
  return timed('bash', ['-o', 'pipefail', '-c', script]);
}

const quote = (s) => `'${String(s).replace(/'/g, "'\\''")}'`;

function main() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-bench-batch-'));
  const home = path.join(dir, 'home');
  fs.mkdirSync(home);
  const env = { ...process.env, HOME: home, XDG_CONFIG_HOME: path.join(home, '.config'), XDG_CACHE_HOME: path.join(home, '.cache'),
    XDG_DATA_HOME: path.join(home, '.local', 'share') };
  try {
    const folder = makePhotos(dir);
    // The prints the page lays: every photo once at this size ("--no-repeat"), their picture side.
    const { TY } = loadScripts(['layout']);
    const prints = TY.layout.scatter(W, H, PHOTOS, 'l', true, TY.layout.scatterDensity(0));
    const side = Math.round(prints[0].outerW / TY.layout.OUTER_W_RATIO);
    console.log(`${PHOTOS} photos of ${PHOTO_W} x ${PHOTO_H} (${(fs.statSync(path.join(folder, 'IMG_0000.jpg')).size / 1048576).toFixed(1)} MB each), `
      + `a ${W} x ${H} PNG of ${prints.length} prints with ${side}-pixel pictures`);
    const rows = [];
    for (let run = 1; run <= RUNS; run++) {
      const ours = timed(PROGRAM, [`--render=${path.join(dir, 'tessary.png')}`, `--photo-folder=${folder}`, `--size=${W}x${H}`,
        '--no-repeat', '--seed=1', '--quiet'], { env });
      const magick = imagemagickPile(folder, path.join(dir, 'magick.png'), side, false);
      const hinted = imagemagickPile(folder, path.join(dir, 'magick-hint.png'), side, true);
      rows.push({ ours, magick, hinted });
      console.log(`run ${run}: TessaryMaker --render ${ours.toFixed(2)} s · ImageMagick ${magick.toFixed(2)} s `
        + `(${(magick / ours).toFixed(2)}x ours) · ImageMagick with jpeg:size ${hinted.toFixed(2)} s (${(hinted / ours).toFixed(2)}x ours)`);
    }
    const best = (key) => Math.min(...rows.map((r) => r[key]));
    console.log(`best: TessaryMaker ${best('ours').toFixed(2)} s, ImageMagick ${best('magick').toFixed(2)} s `
      + `(${(best('magick') / best('ours')).toFixed(2)} times as long), with jpeg:size ${best('hinted').toFixed(2)} s `
      + `(${(best('hinted') / best('ours')).toFixed(2)} times as long)`);
    if (process.env.TESSARY_BENCH_KEEP) console.log(`pictures kept in ${dir}`);
  } finally {
    if (!process.env.TESSARY_BENCH_KEEP) fs.rmSync(dir, { recursive: true, force: true });
  }
}

main();
