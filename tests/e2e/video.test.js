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
  return { seconds, bytes: blob.size };
})();`;

function topLevelBoxes(bytes) {
  const types = [];
  for (let at = 0; at + 8 <= bytes.length;) {
    let size = bytes.readUInt32BE(at);
    if (size === 1) size = Number(bytes.readBigUInt64BE(at + 8));
    if (size === 0) size = bytes.length - at;
    types.push(bytes.toString('latin1', at + 4, at + 8));
    if (size < 8) break;
    at += size;
  }
  return types;
}

test('a recorded canvas saved as mp4 is a regular MP4 with its real duration', async () => {
  const host = await startHost({ args: ['--web-from-disk'],
    env: (box) => ({ TESSARY_TEST_SAVE_PATH: path.join(box.out, 'video.mp4') }) });
  try {
    await host.waitFor('window.hostLog.events.length > 0');
    await host.driver.manage().setTimeouts({ script: 30000 });
    const recorded = await host.run(RECORD_CANVAS, RECORD_SECONDS);
    assert.ok(recorded.bytes > 1000, `the recorder delivered data (${recorded.bytes} bytes)`);
    const done = await host.waitFor('window.hostLog.events.find((e) => e.name === "saveDone" || e.name === "saveError")');
    assert.equal(done.name, 'saveDone', JSON.stringify(done.payload));
    const file = done.payload.path;
    assert.equal(path.basename(file), 'video.mp4');

    const boxes = topLevelBoxes(fs.readFileSync(file));
    assert.ok(!boxes.includes('moof'), `no movie fragments left: ${boxes.join(' ')}`);
    const probe = JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-count_frames', '-show_entries',
      'format=duration:stream=codec_name,nb_read_frames', '-of', 'json', file], { encoding: 'utf8' }));
    const duration = Number(probe.format.duration);
    assert.ok(Math.abs(duration - recorded.seconds) < 0.6, `duration ${duration} s for ${recorded.seconds} s recorded`);
    assert.equal(probe.streams[0].codec_name, 'h264');
    assert.ok(Number(probe.streams[0].nb_read_frames) >= 20 * RECORD_SECONDS, JSON.stringify(probe.streams[0]));
    const decodeErrors = execFileSync('ffmpeg', ['-v', 'error', '-i', file, '-f', 'null', '-'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
    assert.equal(decodeErrors, '');
  } finally {
    await host.close();
  }
});
