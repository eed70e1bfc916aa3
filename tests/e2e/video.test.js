'use strict';
// A canvas animation recorded by WebKitGTK's MediaRecorder and saved as
// "mp4" through the real program ends up as a regular MP4 that plays.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { startHost } = require('./host-session');

const RECORD_SECONDS = 3;

const RECORD_CANVAS = `return (async () => {
  const canvas = document.getElementById('stage');
  const g = canvas.getContext('2d');
  let frame = 0, running = true;
  (function draw() {
    if (!running) return;
    g.fillStyle = 'hsl(' + (frame * 7 % 360) + ', 70%, 50%)'; g.fillRect(0, 0, 320, 240);
    g.fillStyle = '#fff'; g.fillRect((frame * 5) % 320, 100, 40, 40); frame++;
    requestAnimationFrame(draw);
  })();
  const recorder = new MediaRecorder(canvas.captureStream(30), { mimeType: 'video/mp4' });
  const parts = [];
  recorder.ondataavailable = (e) => { if (e.data.size) parts.push(e.data); };
  const stopped = new Promise((resolve) => { recorder.onstop = resolve; });
  const started = performance.now();
  recorder.start(1000);
  await new Promise((r) => setTimeout(r, arguments[0] * 1000));
  recorder.stop();
  await stopped;
  running = false;
  const seconds = (performance.now() - started) / 1000;
  const blob = new Blob(parts, { type: 'video/mp4' });
  const dataUrl = await new Promise((resolve) => { const fr = new FileReader(); fr.onload = () => resolve(fr.result); fr.readAsDataURL(blob); });
  TY.bridge.post({ cmd: 'chooseImageSave', requestId: 'video-1' });
  TY.bridge.sendImageForSave(dataUrl, 'mp4', { requestId: 'video-1' });
  return { seconds, dataUrl };
})();`;

/** Top-level MP4 boxes as {type, at, size}. */
function topLevelBoxes(bytes) {
  const boxes = [];
  for (let at = 0; at + 8 <= bytes.length;) {
    let size = bytes.readUInt32BE(at);
    if (size === 1) size = Number(bytes.readBigUInt64BE(at + 8));
    if (size === 0) size = bytes.length - at;
    boxes.push({ type: bytes.toString('latin1', at + 4, at + 8), at, size });
    if (size < 8) break;
    at += size;
  }
  return boxes;
}

/** Samples the recorder really wrote: those of fragments whose data follows them. */
function recordedSamples(bytes) {
  const boxes = topLevelBoxes(bytes);
  let samples = 0;
  boxes.forEach((box, i) => {
    if (box.type !== 'moof' || boxes[i + 1]?.type !== 'mdat') return;
    const trun = bytes.indexOf('trun', box.at, 'latin1');
    samples += bytes.readUInt32BE(trun + 8);
  });
  return samples;
}

test('a recorded canvas saved as mp4 is a regular MP4 with its real duration', async (t) => {
  const host = await startHost({ args: ['--web-from-disk'],
    env: (box) => ({ TESSARY_TEST_SAVE_PATH: path.join(box.out, 'video.mp4') }) });
  try {
    await host.waitFor('window.hostLog.events.length > 0');
    await host.driver.manage().setTimeouts({ script: 30000 });
    const recorded = await host.run(RECORD_CANVAS, RECORD_SECONDS);
    const raw = Buffer.from(recorded.dataUrl.slice(recorded.dataUrl.indexOf(',') + 1), 'base64');
    const samples = recordedSamples(raw);
    assert.ok(samples > 0, `the recorder delivered frames (${raw.length} bytes)`);
    const done = await host.waitFor('window.hostLog.events.find((e) => e.name === "saveDone" || e.name === "saveError")');
    assert.equal(done.name, 'saveDone', JSON.stringify(done.payload));
    const file = done.payload.path;
    assert.equal(path.basename(file), 'video.mp4');

    const boxes = topLevelBoxes(fs.readFileSync(file)).map((b) => b.type);
    assert.ok(!boxes.includes('moof'), `no movie fragments left: ${boxes.join(' ')}`);
    const probe = JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-count_frames', '-show_entries',
      'format=duration:stream=codec_name,nb_read_frames', '-of', 'json', file], { encoding: 'utf8' }));
    const duration = Number(probe.format.duration);
    assert.equal(probe.streams[0].codec_name, 'h264');
    assert.equal(Number(probe.streams[0].nb_read_frames), samples, 'every recorded frame is kept');
    // The recorder stamps frames at its 30 fps; the file lasts as long as its frames.
    assert.ok(Math.abs(duration - samples / 30) < 0.05, `duration ${duration} s for ${samples} frames`);
    // Frames the recorder could not take in time (a busy machine) make the
    // video shorter, never longer, than the time spent recording.
    assert.ok(duration > 0 && duration <= recorded.seconds + 0.5, `duration ${duration} s for ${recorded.seconds} s recorded`);
    t.diagnostic(`${samples} frames, ${duration} s of video for ${recorded.seconds.toFixed(2)} s recorded`);
    const decodeErrors = execFileSync('ffmpeg', ['-v', 'error', '-i', file, '-f', 'null', '-'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
    assert.equal(decodeErrors, '');
  } finally {
    await host.close();
  }
});
