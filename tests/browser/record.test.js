'use strict';
// Recording in Chromium: a dropped pile and an album become video files
// whose container and codec ffprobe confirms, holding one frame per 1/30 s
// of the animation and lasting as long as it, whose middle frame shows a
// picture rather than black.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { sharedPage } = require('../lib/page-fixture');

const SCRIPTS = ['i18n', 'layout', 'album', 'render', 'video'];
const W = 640;
const H = 360;

/** Page-side: records a play-data record and returns the file as base64. */
const RECORD = async ([kind, W, H]) => {
  const photos = Array.from({ length: 9 }, (_, i) => {
    const c = document.createElement('canvas');
    c.width = 96; c.height = 96;
    const g = c.getContext('2d');
    g.fillStyle = 'hsl(' + i * 40 + ', 70%, 55%)';
    g.fillRect(0, 0, 96, 96);
    return c;
  });
  const drawList = kind === 'album'
    ? [0, 1].map((i) => ({ photoIndex: i, x: 0, y: 0, rot: 0, outerW: 100, outerH: 111 }))
    : TY.layout.generate(1920, 1080, 9, 'l').map((p) => ({ ...p, x: p.x / 3, y: p.y / 3, outerW: p.outerW / 3, outerH: p.outerH / 3 }));
  const data = {
    w: W, h: H, motion: kind, speed: 2, background: 'paper', frame: 'cheki', filter: 'none', drawList, bitmaps: photos,
    captions: null, captionCfg: null, title: null, spotlightIndex: -1, albumCfg: {}, comments: [], holdSec: 30,
  };
  const canvas = document.createElement('canvas');
  document.body.appendChild(canvas);
  let captureFps = null;
  const capture = HTMLCanvasElement.prototype.captureStream;
  canvas.captureStream = function (fps) {
    const stream = capture.call(this, fps);
    captureFps = stream.getVideoTracks()[0].getSettings().frameRate;
    return stream;
  };
  let progressCalls = 0;
  const result = await TY.video.record(canvas, data, () => { progressCalls++; });
  const url = await new Promise((resolve) => {
    const reader = new FileReader();
    reader.onload = () => resolve(reader.result);
    reader.readAsDataURL(result.blob);
  });
  canvas.remove();
  return { base64: String(url).split(',')[1], mime: result.mime, type: result.blob.type, seconds: result.seconds,
    frames: result.frames, prints: drawList.length, progressCalls, captureFps };
};

function probe(file) {
  const out = execFileSync('ffprobe', ['-v', 'error', '-show_entries', 'format=format_name,duration:stream=codec_name,r_frame_rate,avg_frame_rate',
    '-count_frames', '-show_entries', 'stream=nb_read_frames', '-of', 'json', file], { encoding: 'utf8' });
  return JSON.parse(out);
}

/** Mean brightness 0 … 255 of the frame at `at` seconds, as a grey PNG. */
function meanBrightness(file, at, png) {
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-ss', String(at), '-i', file, '-frames:v', '1', png]);
  const raw = execFileSync('ffmpeg', ['-v', 'error', '-i', png, '-f', 'rawvideo', '-pix_fmt', 'gray', '-'], { maxBuffer: 1 << 24 });
  let sum = 0;
  for (const v of raw) sum += v;
  return sum / raw.length;
}

const shared = sharedPage(SCRIPTS);
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-record-'));
test.after(() => fs.rmSync(dir, { recursive: true, force: true }));

for (const kind of ['drop', 'album']) {
  test(`records a ${kind} animation to a playable video`, async () => {
    const r = await shared.page.evaluate(RECORD, [kind, W, H]);
    if (kind === 'drop') assert.equal(r.prints, 54);
    const mp4 = r.mime.includes('mp4');
    const file = path.join(dir, `${kind}.${mp4 ? 'mp4' : 'webm'}`);
    fs.writeFileSync(file, Buffer.from(r.base64, 'base64'));
    assert.equal(r.type, r.mime.split(';')[0], 'the file is typed without codec parameters');
    assert.ok(r.progressCalls > 10);
    const info = probe(file);
    const video = info.streams.find((s) => s.codec_name);
    if (mp4) {
      assert.match(info.format.format_name, /mp4/);
      assert.equal(video.codec_name, 'h264');
    } else {
      assert.match(info.format.format_name, /webm|matroska/);
      assert.match(video.codec_name, /vp9|vp8/);
    }
    assert.equal(r.captureFps, 30);
    // Chromium stamps frames with the time they were captured; the page
    // stamps them 1/30 s apart, so a slow machine records longer but the
    // file still lasts as long as the animation.
    const frames = Number(video.nb_read_frames);
    assert.equal(r.frames, Math.round(r.seconds * 30));
    assert.ok(Math.abs(frames - r.frames) <= 2, `${frames} frames for ${r.frames} of the animation`);
    if (mp4) {
      const duration = Number(info.format.duration);
      assert.ok(Math.abs(duration - r.seconds) <= 2 / 30, `duration ${duration} s, animation ${r.seconds} s`);
    }
    const png = path.join(dir, `${kind}-middle.png`);
    const mean = meanBrightness(file, r.seconds / 2, png);
    assert.ok(mean > 60, `the middle frame is not black (mean ${mean.toFixed(1)})`);
    if (process.env.TESSARY_KEEP_FRAMES) fs.copyFileSync(png, path.join(process.env.TESSARY_KEEP_FRAMES, path.basename(png)));
  });
}
