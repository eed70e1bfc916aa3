'use strict';
// "Save creation" through the real program: an album saved as PDF with
// "--pdf-out=" that qpdf and poppler read as the pages the page sent (and a
// 10-page album of the sample photos drawn into a contact sheet for looking
// at), the PDF dialog closed writing nothing, a PNG and an album PDF typed
// into the real GTK file chooser as a user would, a JPEG and a recorded MP4
// arriving as files that `file` and ffprobe recognise, the MP4 with one frame
// per 1/30 s of the animation.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { ROOT, startHost, waitUntil } = require('./host-session');
const { expectAlbumPdf } = require('../lib/pdf-readers');

const SAMPLES = path.join(ROOT, 'samples', 'photos');
const PREVIEW = path.join(ROOT, 'out', 'preview', 'album-pdf-host');

/** The sample photos (not the memo) and, with `copies`, that many again under other names. */
function photoFolder(copies = 0) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-album-'));
  const photos = fs.readdirSync(SAMPLES).filter((f) => /\.(jpe?g|heic)$/i.test(f)).sort();
  for (const f of photos) fs.copyFileSync(path.join(SAMPLES, f), path.join(dir, f));
  for (let i = 0; i < copies; i++) fs.copyFileSync(path.join(SAMPLES, photos[i]), path.join(dir, `z-copy-${i}-${photos[i]}`));
  return dir;
}

// Page side: hears the save answers and keeps the last PDF page sent.
const LISTEN = `window.__answers = [];
for (const e of ['saveDone', 'saveError', 'saveCancelled', 'albumPdfDone', 'albumPdfError', 'albumPdfCancelled']) {
  TY.bridge.on(e, (p) => window.__answers.push({ event: e, payload: p }));
}
const send = TY.bridge.sendChunks;
window.__pdfPages = 0;
TY.bridge.sendChunks = (cmd, base64, extra) => {
  if (cmd === 'albumPdfPage') { window.__pdfPages++; window.__lastPdfPage = base64; }
  return send(cmd, base64, extra);
};`;

const idle = 'window.TY.ui.hasResult() && !window.TY.ui.isBusy()';
const lastAnswer = 'window.__answers.length && window.__answers[window.__answers.length - 1]';
const filesIn = (dir) => (fs.existsSync(dir) ? fs.readdirSync(dir).sort() : []);

/** Sets a control of the page as the user would and waits for the page to settle. */
async function choose(host, id, value) {
  await host.run(`const el = document.getElementById(arguments[0]);
    if (el.type === 'checkbox') el.checked = arguments[1]; else el.value = arguments[1];
    el.dispatchEvent(new Event('input', { bubbles: true })); el.dispatchEvent(new Event('change', { bubbles: true }));`, id, value);
  await new Promise((r) => setTimeout(r, 300));
  await host.waitFor(idle, 60000);
}

/** Saves the album as PDF through the button and the page's dialog; returns the host's answer. */
async function saveAlbumPdf(host) {
  await host.run('window.__answers.length = 0; window.__pdfPages = 0; document.getElementById("btnSaveCreation").click();');
  await host.waitFor('!document.getElementById("pdfDialog").hidden');
  await host.run('document.getElementById("pdfSave").click();');
  return host.waitFor(lastAnswer, 180000);
}

async function startWithPhotos(args, env, folder) {
  const host = await startHost({ args: [`--photo-folder=${folder}`, ...args], env });
  await host.waitFor(`window.TY && window.TY.ui && ${idle}`, 60000);
  await host.run(LISTEN);
  return host;
}

test('albums saved with --pdf-out= are read by qpdf and poppler as the pages sent; closing the dialog writes nothing', async (t) => {
  const folder = photoFolder(3);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-pdf-out-'));
  // Not there yet: the program makes it.
  const outDir = path.join(scratch, 'albums');
  const pdfHost = await startWithPhotos([`--pdf-out=${outDir}`], () => ({}), folder);
  try {
    await pdfHost.run('window.TY.ui.setMode("album");');
    await pdfHost.waitFor(idle, 60000);
    await choose(pdfHost, 'videoTitle', 'Summer 2026');

    // Closing the PDF dialog begins nothing and writes nothing.
    await pdfHost.run('document.getElementById("btnSaveCreation").click();');
    await pdfHost.waitFor('!document.getElementById("pdfDialog").hidden');
    await pdfHost.run('document.getElementById("pdfClose").click();');
    await new Promise((r) => setTimeout(r, 500));
    assert.equal(await pdfHost.run('return window.TY.ui.isBusy();'), false);
    assert.deepEqual(filesIn(outDir), []);

    // Twelve photos with a title: the cover and three pages of four.
    const done = await saveAlbumPdf(pdfHost);
    assert.equal(done.event, 'albumPdfDone', JSON.stringify(done.payload));
    const pdf = done.payload.path;
    assert.equal(path.dirname(pdf), outDir);
    assert.match(path.basename(pdf), /^album_a4_\d{9}\.pdf$/);
    assert.deepEqual(filesIn(outDir), [path.basename(pdf)], 'nothing beside the PDF');
    assert.equal(await pdfHost.run('return window.__pdfPages;'), 4);
    const lastJpeg = Buffer.from(await pdfHost.run('return window.__lastPdfPage;'), 'base64');
    const mean = expectAlbumPdf(pdf, { pages: 4, paper: 'a4', pixelSize: [2480, 3508], lastJpeg });
    t.diagnostic(`4-page album: ${(fs.statSync(pdf).size / 1048576).toFixed(1)} MB, last page drawn by poppler within ${mean.toFixed(2)} per channel`);

    // The sample photos one to a page with a cover: ten pages, for looking at.
    await pdfHost.run(`for (const it of window.TY.photos.items) if (it.name.startsWith('z-copy-')) window.TY.photos.toggle(it.id);
      window.TY.ui.rebuildThumbs(); window.TY.ui.regenerate();`);
    await new Promise((r) => setTimeout(r, 300));
    await pdfHost.waitFor(idle, 60000);
    await choose(pdfHost, 'albumPp', '1');
    await choose(pdfHost, 'albumMat', 'white');
    const ten = await saveAlbumPdf(pdfHost);
    assert.equal(ten.event, 'albumPdfDone', JSON.stringify(ten.payload));
    const tenJpeg = Buffer.from(await pdfHost.run('return window.__lastPdfPage;'), 'base64');
    expectAlbumPdf(ten.payload.path, { pages: 10, paper: 'a4', pixelSize: [2480, 3508], lastJpeg: tenJpeg });
    fs.mkdirSync(PREVIEW, { recursive: true });
    const drawn = path.join(PREVIEW, 'page');
    for (const f of filesIn(PREVIEW)) fs.rmSync(path.join(PREVIEW, f));
    execFileSync('pdftoppm', ['-r', '40', '-png', ten.payload.path, drawn]);
    const pngs = filesIn(PREVIEW).filter((f) => f.startsWith('page')).map((f) => path.join(PREVIEW, f));
    execFileSync('montage', [...pngs, '-tile', '5x', '-geometry', '+8+8', '-background', '#777', path.join(PREVIEW, 'contact.png')]);
    for (const png of pngs) fs.rmSync(png);
    fs.copyFileSync(ten.payload.path, path.join(PREVIEW, 'samples-10-pages.pdf'));
    t.diagnostic(`contact sheet of the 10-page album: ${path.join(PREVIEW, 'contact.png')}`);
  } finally {
    await pdfHost.close();
    fs.rmSync(folder, { recursive: true, force: true });
    fs.rmSync(scratch, { recursive: true, force: true });
  }
});

/** Window ids of X windows named `name` (exactly), waiting until one shows. */
async function findWindow(name, timeoutMs = 20000) {
  let ids = [];
  await waitUntil(() => {
    try {
      ids = execFileSync('xdotool', ['search', '--onlyvisible', '--name', `^${name}$`], { encoding: 'utf8' }).trim().split('\n').filter(Boolean);
    } catch {
      ids = [];
    }
    return ids.length > 0;
  }, timeoutMs);
  return ids;
}

/** Types `typed` into the open file chooser named `title` and presses Return, as a user would. */
async function typeIntoChooser(title, typed) {
  const [dialog] = await findWindow(title);
  assert.ok(dialog, `the file chooser "${title}" opens`);
  execFileSync('xdotool', ['windowfocus', '--sync', dialog]);
  // The name field has the suggested name selected; a typed path replaces it.
  execFileSync('xdotool', ['key', '--clearmodifiers', 'ctrl+a']);
  execFileSync('xdotool', ['type', '--delay', '15', typed]);
  execFileSync('xdotool', ['key', 'Return']);
}

test('the real GTK file chooser, typed into as a user would: a PNG, and in albums the PDF chosen by default', async () => {
  const folder = photoFolder();
  const host = await startWithPhotos([], () => ({}), folder);
  try {
    const png = path.join(host.out, 'typed by hand.png');
    await host.run('document.getElementById("btnSaveCreation").click();');
    await typeIntoChooser('Save generated image', png);
    const done = await host.waitFor(lastAnswer, 60000);
    assert.equal(done.event, 'saveDone', JSON.stringify(done.payload));
    assert.equal(done.payload.path, png);
    assert.match(execFileSync('file', ['-b', png], { encoding: 'utf8' }), /^PNG image data, 1920 x 1080, 8-bit\/color RGBA?, non-interlaced/);

    // In an album the chooser starts on "PDF document": a name typed without
    // extension becomes a PDF, written once the page's own dialog is confirmed.
    await host.run('window.TY.ui.setMode("album");');
    await new Promise((r) => setTimeout(r, 300));
    await host.waitFor(idle, 60000);
    await host.run('window.__answers.length = 0; document.getElementById("btnSaveCreation").click();');
    await typeIntoChooser('Save generated image', path.join(host.out, 'our album'));
    await host.waitFor('!document.getElementById("pdfDialog").hidden', 30000);
    await host.run('document.getElementById("pdfSave").click();');
    const pdf = await host.waitFor(lastAnswer, 180000);
    assert.equal(pdf.event, 'albumPdfDone', JSON.stringify(pdf.payload));
    assert.equal(pdf.payload.path, path.join(host.out, 'our album.pdf'));
    const lastJpeg = Buffer.from(await host.run('return window.__lastPdfPage;'), 'base64');
    // Nine photos, four a page, no title: three pages.
    expectAlbumPdf(pdf.payload.path, { pages: 3, paper: 'a4', pixelSize: [2480, 3508], lastJpeg });
    assert.deepEqual(filesIn(host.out), ['our album.pdf', 'typed by hand.png']);
  } finally {
    await host.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
});

test('a JPEG and a recorded MP4 saved through the button arrive as such; the MP4 holds every frame of the animation', async (t) => {
  const folder = photoFolder();
  for (const [name, check] of [
    ['pile.jpeg', (file) => assert.match(execFileSync('file', ['-b', file], { encoding: 'utf8' }), /^JPEG image data.*, 1920x1080, components 3/)],
    ['pile.mp4', (file, recorded) => {
      assert.match(execFileSync('file', ['-b', file], { encoding: 'utf8' }), /ISO Media, MP4/);
      const probe = JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-count_packets', '-show_entries',
        'format=duration:stream=codec_name,width,height,nb_read_packets', '-of', 'json', file], { encoding: 'utf8' }));
      const video = probe.streams[0];
      assert.deepEqual([video.codec_name, video.width, video.height], ['h264', 1920, 1080]);
      // One frame per 1/30 s of the animation, whatever the machine's load.
      const frames = Number(video.nb_read_packets);
      const seconds = Number(probe.format.duration);
      assert.ok(Math.abs(frames - recorded.seconds * 30) <= 1, `${frames} frames for ${recorded.seconds.toFixed(3)} s of animation`);
      assert.ok(Math.abs(seconds - recorded.seconds) <= 2 / 30, `${seconds} s of video for ${recorded.seconds.toFixed(3)} s of animation`);
      t.diagnostic(`MP4 of ${frames} frames, ${seconds.toFixed(3)} s for ${recorded.seconds.toFixed(3)} s of animation, recorded in ${recorded.wall.toFixed(1)} s`);
    }],
  ]) {
    const host = await startWithPhotos([], (box) => ({ TESSARY_TEST_SAVE_PATH: path.join(box.out, name) }), folder);
    try {
      await choose(host, 'videoSpeed', '200');
      // What the page recorded, as the save button had it recorded.
      await host.run(`const record = TY.video.record;
        TY.video.record = async (...args) => {
          const t0 = performance.now();
          const result = await record(...args);
          window.__recorded = { seconds: result.seconds, wall: (performance.now() - t0) / 1000 };
          return result;
        };`);
      await host.run('document.getElementById("btnSaveCreation").click();');
      const done = await host.waitFor(lastAnswer, 120000);
      assert.equal(done.event, 'saveDone', JSON.stringify(done.payload));
      assert.equal(done.payload.path, path.join(host.out, name));
      check(done.payload.path, await host.run('return window.__recorded;'));
      assert.equal(await host.run('return document.getElementById("toast").textContent;'), `Saved: ${done.payload.path}`);
    } finally {
      await host.close();
    }
  }
  fs.rmSync(folder, { recursive: true, force: true });
});
