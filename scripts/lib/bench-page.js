'use strict';
// What the program benchmark does inside the generator page. The functions
// are sent to the page as one script that keeps them as window.__bench, so
// the same ones run in WebKitGTK (through WebDriver) and in Chromium (through
// Playwright). They use only the page's public surface (TY.ui, TY.photos,
// TY.render, TY.video), so that a build of an older revision can be measured
// the same way.

/** Standalone: fetches the benchmark's files from the server into File objects. */
async function loadFiles({ base, names }) {
  const files = [];
  for (const name of names) {
    const blob = await (await fetch(`${base}/${name}`)).blob();
    files.push(new File([blob], name, { type: 'image/jpeg' }));
  }
  window.__benchFiles = files;
  return files.length;
}

/**
 * Imports the photos and times until all are listed with thumbnails, and
 * until the first pile is shown. Hosted, the host's folder answer is
 * replayed with the files' sizes it lists (the photos are served from the
 * photo origin); standalone, the
 * files loaded by `loadFiles` are imported as if dropped.
 */
async function timeImport({ hosted, baseUrl, folder, names, sizes }) {
  const total = hosted ? names.length : window.__benchFiles.length;
  // A host that keeps serving every folder picked lists its start folder as
  // the first of them, and the page then holds none of its photos' bytes:
  // the answer is replayed as that host gives it.
  const served = hosted && names.length ? baseUrl + '__dir/0/' : '';
  const lasting = !!served && (await fetch(served + encodeURIComponent(names[0]))).ok;
  const listing = { baseUrl: lasting ? served : baseUrl, folder, photos: names, photoSizes: sizes, memos: [], ...(lasting ? { lasting } : {}) };
  const t0 = performance.now();
  if (hosted) window.kobHost.emit('materialFolderPicked', listing);
  else window.TY.ui.importFiles(window.__benchFiles);
  const pause = () => new Promise((r) => setTimeout(r, 20));
  while (document.querySelectorAll('.thumb').length < total) await pause();
  const listedMs = performance.now() - t0;
  while (!window.TY.ui.hasResult() || window.TY.ui.isBusy()) await pause();
  const pileMs = performance.now() - t0;
  window.__benchFiles = null;
  return {
    total, listedMs, pileMs,
    prints: window.TY.ui.lastVisual().drawList.length,
    decoded: window.TY.photos.items.filter((it) => it.bitmap).length,
  };
}

/** Sets the style controls (without their change events) and stars the first photos. */
function setStyle({ preset, scale, background, frame, filter, stars }) {
  const set = (id, value) => { document.getElementById(id).value = value; };
  set('sizePreset', preset);
  set('chekiSize', scale);
  set('bgSelect', background);
  set('frameSelect', frame);
  set('filterSelect', filter);
  const P = window.TY.photos;
  for (const it of P.items) if (it.star) P.toggleStar(it.id);
  for (const it of P.items.slice(0, stars)) P.toggleStar(it.id);
}

/** Forgets every decoded picture, so that the next Shuffle decodes all it uses. */
function dropDecodes() {
  for (const it of window.TY.photos.items) {
    if (it.bitmap && typeof it.bitmap.close === 'function') it.bitmap.close();
    it.bitmap = null;
    it.bitmapBucket = 0;
  }
}

/** One Shuffle at a size preset, timed to the finished still; with the prints for the ImageMagick pile. */
async function timeShuffle({ preset }) {
  document.getElementById('sizePreset').value = preset;
  const t0 = performance.now();
  await window.TY.ui.regenerate();
  const ms = performance.now() - t0;
  const v = window.TY.ui.lastVisual();
  return {
    ms, w: v.w, h: v.h,
    prints: v.drawList.map((p) => ({
      name: v.sourceItems[p.photoIndex].name, x: p.x, y: p.y, outerW: p.outerW, outerH: p.outerH, rot: p.rot,
      side: p.outerW / window.TY.layout.OUTER_W_RATIO,
    })),
    decoded: window.TY.photos.items.filter((it) => it.bitmap).length,
  };
}

/** The play-data record of the current result for a motion, with its pictures. */
function playDataFor(motion) {
  const v = window.TY.ui.lastVisual();
  const data = window.TY.render.normalizePlayData({
    w: v.w, h: v.h, drawList: v.drawList, motion, speed: 1, background: v.background, frame: v.frame,
    filter: v.filter, captions: v.captions, captionCfg: v.captionCfg, spotlightIndex: v.spotlightIndex,
    emphasisFactor: v.emphasisFactor || 1.2, holdSec: 30, albumPhotos: null, title: 'Bench',
    comments: v.sourceItems.map((it) => 'Memo for ' + it.name),
  });
  data.bitmaps = v.bitmaps;
  data.baseCanvas = v.baseCanvas;
  return data;
}

/**
 * Draws `frames` consecutive frames at `fps` from the first print's fall
 * (the album's start), as playback draws them; median and 95th percentile
 * of the draw time, the drawing waited for by reading one pixel back.
 */
function frameTimes({ motion, frames, fps }) {
  const data = playDataFor(motion);
  const tm = window.TY.video.timingOf(data);
  const canvas = document.createElement('canvas');
  canvas.width = data.w;
  canvas.height = data.h;
  const ctx = canvas.getContext('2d');
  const times = [];
  // One playback: the album redraws only what moved since the frame before.
  const run = {};
  const count = Math.min(frames, Math.floor((tm.total - tm.titleDur) * fps));
  for (let i = 0; i < count; i++) {
    const t = tm.titleDur + i / fps;
    const t0 = performance.now();
    window.TY.render.drawAnimated(canvas, data, t, tm, run);
    ctx.getImageData(0, 0, 1, 1);
    times.push(performance.now() - t0);
  }
  canvas.width = 0;
  times.sort((a, b) => a - b);
  return {
    frames: count, prints: data.drawList.length,
    median: times[Math.floor(count / 2)], p95: times[Math.min(count - 1, Math.floor(count * 0.95))],
  };
}

/**
 * Records the drop animation of the current result. Hosted, the recording
 * goes through the program's own save (which finishes an MP4 as users get
 * it) into the file its save dialog is set to answer, and the path comes
 * back; standalone, the file comes back as base64. With the wall-clock time
 * the recording took.
 */
async function recordDrop({ hosted }) {
  const data = playDataFor('drop');
  data.title = '';
  data.spotlightIndex = -1;
  const canvas = document.createElement('canvas');
  document.body.appendChild(canvas);
  try {
    const t0 = performance.now();
    const result = await window.TY.video.record(canvas, data, null);
    const wallSeconds = (performance.now() - t0) / 1000;
    const url = await new Promise((resolve) => {
      const reader = new FileReader();
      reader.onload = () => resolve(reader.result);
      reader.readAsDataURL(result.blob);
    });
    const base64 = String(url).split(',')[1];
    const out = { mime: result.mime, seconds: result.seconds, wallSeconds };
    if (!hosted) return { ...out, base64 };
    const requestId = 'bench-record-' + Date.now();
    const saved = new Promise((resolve) => {
      for (const name of ['saveDone', 'saveError', 'saveCancelled']) {
        window.TY.bridge.on(name, (payload) => { if (payload && payload.requestId === requestId) resolve({ name, payload }); });
      }
    });
    window.TY.bridge.post({ cmd: 'chooseImageSave', requestId });
    window.TY.bridge.sendChunks('saveImage', base64, { format: 'mp4', requestId });
    const answer = await saved;
    if (answer.name !== 'saveDone') throw new Error(`saving the recording: ${answer.name} ${JSON.stringify(answer.payload)}`);
    return { ...out, path: answer.payload.path };
  } finally {
    canvas.remove();
    canvas.width = 0;
  }
}

const IN_PAGE = { loadFiles, timeImport, setStyle, dropDecodes, timeShuffle, frameTimes, recordDrop };

/** The script that defines the functions in the page (with their helper) as window.__bench. */
function benchScript() {
  const defs = [playDataFor, ...Object.values(IN_PAGE)].map(String).join('\n');
  return `(function () {\n${defs}\nwindow.__bench = { ${Object.keys(IN_PAGE).join(', ')} };\n})();`;
}

module.exports = { benchScript };
