'use strict';
// Animation benchmark (not a test): per-frame draw time of drawAnimated
// (median and 95th percentile) for drop, sway and album at 1080p and 4K
// with about 375 prints, sampled about once a second and, at 1080p, frame
// after frame at 60 fps as playback draws them; and the frames a 1080p
// recording at 30 fps loses. Run by scripts/bench.js, or on its own
// (`--quick`: the 1080p figures alone).
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { openAnimPage, preparePlay } = require('./lib/anim-page.js');

/**
 * Runs in the page: draws `frames` frames spread over the animation, or with
 * `fps`, up to `frames` consecutive frames from the first print's fall (the
 * album's start).
 */
function frameTimesInPage({ frames, fps }) {
  const data = window.__play;
  const tm = TY.video.timingOf(data);
  const canvas = window.__animCanvas = window.__animCanvas || document.createElement('canvas');
  canvas.width = data.w;
  canvas.height = data.h;
  const ctx = canvas.getContext('2d');
  const times = [];
  const count = fps ? Math.min(frames, Math.floor((tm.total - tm.titleDur) * fps)) : frames;
  for (let i = 0; i < count; i++) {
    const t = fps ? tm.titleDur + i / fps : (tm.total * (i + 0.5)) / frames;
    const t0 = performance.now();
    TY.render.drawAnimated(canvas, data, t, tm);
    ctx.getImageData(0, 0, 1, 1); // waits for the drawing to finish
    times.push(performance.now() - t0);
  }
  times.sort((a, b) => a - b);
  return { median: times[Math.floor(times.length / 2)], p95: times[Math.min(times.length - 1, Math.floor(times.length * 0.95))] };
}

/** Runs in the page: records the animation; returns the file as base64. */
async function recordInPage() {
  const data = window.__play;
  const canvas = document.createElement('canvas');
  document.body.appendChild(canvas);
  const result = await TY.video.record(canvas, data, null);
  canvas.remove();
  const url = await new Promise((resolve) => {
    const reader = new FileReader();
    reader.onload = () => resolve(reader.result);
    reader.readAsDataURL(result.blob);
  });
  return { base64: String(url).split(',')[1], mime: result.mime, seconds: result.seconds };
}

function countFrames(file) {
  const out = execFileSync('ffprobe', ['-v', 'error', '-count_frames', '-select_streams', 'v:0',
    '-show_entries', 'stream=nb_read_frames', '-of', 'csv=p=0', file], { encoding: 'utf8' });
  return Number(out.trim());
}

/** Records the 1080p drop animation and counts the frames the file holds. @param {any} page */
async function recordedFrames(page) {
  await preparePlay(page, { W: 1920, H: 1080, scale: 's', density: 1, background: 'wood', frame: 'cheki', filter: 'none', starred: 2 },
    { motion: 'drop', speed: 1, spotlightIndex: -1 });
  const rec = await page.evaluate(recordInPage);
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-bench-')), rec.mime.includes('mp4') ? 'drop.mp4' : 'drop.webm');
  fs.writeFileSync(file, Buffer.from(rec.base64, 'base64'));
  const frames = countFrames(file);
  const expected = Math.round(rec.seconds * 30);
  fs.rmSync(path.dirname(file), { recursive: true, force: true });
  return `record drop 1920x1080 (${rec.mime}): ${frames} of ${expected} frames at 30 fps, ${Math.max(0, expected - frames)} dropped`;
}

const SIZES = [[1920, 1080], [3840, 2160]];
const MOTIONS = ['drop', 'sway', 'album'];

/** @param {{quick?: boolean}} [opts] */
async function runAnimationBench(opts = {}) {
  const { session, page } = await openAnimPage({ viewport: { width: 800, height: 600 }, photoCount: 40 });
  const lines = [];
  const figures = (/** @type {any} */ r) => `median ${r.median.toFixed(1)} ms, p95 ${r.p95.toFixed(1)} ms`;
  try {
    for (const [W, H] of opts.quick ? SIZES.slice(0, 1) : SIZES) {
      // Scale `s` gives a 25 × 15 grid of 375 prints at both sizes.
      const still = { W, H, scale: 's', density: 1, background: 'wood', frame: 'cheki', filter: 'sepia', starred: 2 };
      for (const motion of MOTIONS) {
        const prints = await preparePlay(page, still, { motion, title: 'Bench', speed: 1 });
        const r = await page.evaluate(frameTimesInPage, { frames: motion === 'album' ? 60 : 40 });
        lines.push(`drawAnimated ${motion.padEnd(5)} ${W}x${H} ${prints} prints: ${figures(r)}`);
        if (W !== SIZES[0][0]) continue;
        // 15 s of playback; the album's whole book.
        await preparePlay(page, still, { motion, title: 'Bench', speed: 1 });
        const live = await page.evaluate(frameTimesInPage, { frames: motion === 'album' ? 2400 : 900, fps: 60 });
        lines.push(`drawAnimated ${motion.padEnd(5)} ${W}x${H} ${prints} prints, every frame at 60 fps: ${figures(live)}`);
      }
    }
    if (!opts.quick) lines.push(await recordedFrames(page));
    if (page.pageErrors.length) throw page.pageErrors[0];
  } finally {
    await session.close();
  }
  return lines;
}

module.exports = { runAnimationBench };

if (require.main === module) {
  runAnimationBench({ quick: process.argv.includes('--quick') }).then((lines) => lines.forEach((l) => console.log(l)), (e) => {
    console.error(e);
    process.exitCode = 1;
  });
}
