'use strict';
// The batch render of the real program: piles written without a window as
// PNG and JPEG (checked for size and for a picture of many colours, and the
// same seed giving the same PNG byte for byte), an MP4 that ffprobe reads as
// H.264 at 30 fps lasting as long as the animation, an album PDF that qpdf
// and poppler read as A4 pages of one picture each, the daily wallpaper's
// own command from its systemd unit, bad use ending with its exit code and a
// one-line reason and no file, and a render beside an open window.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { ROOT, startHost } = require('./host-session');
const { removeTree } = require('../lib/remove-tree');

const BIN_DIR = process.env.TESSARY_BIN_DIR || path.join(ROOT, 'build', 'native', 'bin');
const PROGRAM = path.join(BIN_DIR, 'TessaryMaker');
const SAMPLES = path.join(ROOT, 'samples', 'photos');
const SAMPLE_JPEGS = fs.readdirSync(SAMPLES).filter((f) => /\.jpg$/i.test(f)).sort();

/** A folder of `count` photos: the sample JPEGs, again under other names when more are asked for. */
function photoFolder(count = SAMPLE_JPEGS.length) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-batch-photos-'));
  for (let i = 0; i < count; i++) {
    const sample = SAMPLE_JPEGS[i % SAMPLE_JPEGS.length];
    fs.copyFileSync(path.join(SAMPLES, sample), path.join(dir, `${String(i).padStart(3, '0')}-${sample}`));
  }
  return dir;
}

/** Private XDG folders, so that no run touches the user's own settings or wallpaper. */
function privateHome() {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-batch-home-'));
  for (const dir of ['home', 'config', 'data', 'cache', 'run', 'out']) fs.mkdirSync(path.join(root, dir), { mode: 0o700 });
  const env = {
    ...process.env, HOME: path.join(root, 'home'), XDG_CONFIG_HOME: path.join(root, 'config'),
    XDG_DATA_HOME: path.join(root, 'data'), XDG_CACHE_HOME: path.join(root, 'cache'),
    XDG_RUNTIME_DIR: path.join(root, 'run'), LANG: 'C.UTF-8', LANGUAGE: 'en',
  };
  delete env.XDG_CURRENT_DESKTOP;
  return { root, out: path.join(root, 'out'), env };
}

/**
 * Runs the program to its end.
 * @returns {Promise<{code: number, stderr: string, seconds: number}>}
 */
function runProgram(args, env, timeoutMs = 240000) {
  return new Promise((resolve, reject) => {
    const started = process.hrtime.bigint();
    const child = spawn(PROGRAM, args, { env, stdio: ['ignore', 'ignore', 'pipe'] });
    let stderr = '';
    child.stderr.on('data', (d) => { stderr += d; });
    const timer = setTimeout(() => { child.kill('SIGKILL'); reject(new Error(`no end within ${timeoutMs} ms:\n${stderr}`)); }, timeoutMs);
    child.on('exit', (code) => {
      clearTimeout(timer);
      resolve({ code, stderr, seconds: Number(process.hrtime.bigint() - started) / 1e9 });
    });
  });
}

/** Width, height and number of colours of a picture, as ImageMagick reads it. */
function pictureFacts(file) {
  const [w, h, colours, deviation] = execFileSync('identify', ['-format', '%w %h %k %[fx:standard_deviation]', file],
    { encoding: 'utf8' }).trim().split(' ').map(Number);
  return { w, h, colours, deviation };
}

/** Expects a pile of prints: the size asked for, many colours and a spread of light and dark. */
function expectPile(file, w, h) {
  const facts = pictureFacts(file);
  assert.equal(facts.w, w);
  assert.equal(facts.h, h);
  // The gray desk alone has a few hundred colours and little spread.
  assert.ok(facts.colours > 20000, `${file}: ${facts.colours} colours`);
  assert.ok(facts.deviation > 0.15, `${file}: deviation ${facts.deviation}`);
}

const listOf = (dir) => (fs.existsSync(dir) ? fs.readdirSync(dir).sort() : []);

test('stills at 1920 x 1080 and 3840 x 2160, and the same seed giving the same PNG', async (t) => {
  const photos = photoFolder();
  const { root, out, env } = privateHome();
  try {
    const png = path.join(out, 'pile.png');
    const first = await runProgram([`--render=${png}`, `--photo-folder=${photos}`, '--seed=7', '--frame=tape'], env);
    assert.equal(first.code, 0, first.stderr);
    // Not a terminal: plain progress lines, then the outcome.
    assert.match(first.stderr, /^(Loading items|Preparing photos)… \d+\/\d+$/m);
    assert.match(first.stderr, new RegExp(`^Wrote ${png} \\(1920 x 1080 PNG, [\\d.]+ MB\\) in [\\d.]+ s$`, 'm'));
    expectPile(png, 1920, 1080);
    const bytes = fs.readFileSync(png);
    assert.deepEqual(listOf(out), ['pile.png'], 'nothing beside the picture');

    const again = await runProgram([`--render=${png}`, `--photo-folder=${photos}`, '--seed=7', '--frame=tape', '--quiet'], env);
    assert.equal(again.code, 0, again.stderr);
    assert.equal(again.stderr, '', '--quiet says nothing');
    assert.ok(fs.readFileSync(png).equals(bytes), 'the same seed gives the same picture, byte for byte');

    const other = path.join(out, 'other.png');
    assert.equal((await runProgram([`--render=${other}`, `--photo-folder=${photos}`, '--seed=8', '--frame=tape'], env)).code, 0);
    assert.ok(!fs.readFileSync(other).equals(bytes), 'another seed, another pile');

    const jpeg = path.join(out, 'pile-4k.jpg');
    const big = await runProgram([`--render=${jpeg}`, `--photo-folder=${photos}`, '--size=uhd', '--background=wood',
      '--title=Summer 2026', '--favourites=001-cameraman.jpg'], env);
    assert.equal(big.code, 0, big.stderr);
    expectPile(jpeg, 3840, 2160);
    assert.equal(execFileSync('file', ['-b', '--mime-type', jpeg], { encoding: 'utf8' }).trim(), 'image/jpeg');
    t.diagnostic(`1920 x 1080 PNG in ${first.seconds.toFixed(1)} s, 3840 x 2160 JPEG in ${big.seconds.toFixed(1)} s`);
  } finally {
    fs.rmSync(photos, { recursive: true, force: true });
    await removeTree(root);
  }
});

test('an MP4 of a 54-print drop: H.264 at 30 fps, one frame per 1/30 s of the animation and as long as it', async (t) => {
  const photos = photoFolder(54);
  const { root, out, env } = privateHome();
  try {
    const video = path.join(out, 'drop.mp4');
    // Every photo once: 54 prints; at normal speed without title or spotlight the drop lasts 10.58 s.
    const run = await runProgram([`--render=${video}`, `--photo-folder=${photos}`, '--no-repeat', '--size=1280x720'], env);
    assert.equal(run.code, 0, run.stderr);
    assert.match(run.stderr, /^Recording video… \d+%$/m);
    const probe = JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-print_format', 'json', '-show_streams',
      '-show_format', video], { encoding: 'utf8' }));
    const stream = probe.streams.find((s) => s.codec_type === 'video');
    assert.equal(stream.codec_name, 'h264');
    assert.equal(stream.r_frame_rate, '30/1');
    assert.equal(`${stream.width}x${stream.height}`, '1280x720');
    // The animation is recorded frame by frame, so a loaded machine takes
    // longer to record it but loses none of its frames.
    const seconds = Number(probe.format.duration);
    const animation = 10.583;
    assert.ok(Math.abs(Number(stream.nb_frames) - animation * 30) <= 1, `${stream.nb_frames} frames of a ${animation} s animation`);
    assert.ok(Math.abs(seconds - animation) <= 2 / 30, `duration ${seconds} s of a ${animation} s animation`);
    t.diagnostic(`54-print drop: ${seconds.toFixed(2)} s of video (the animation lasts 10.58 s), written in ${run.seconds.toFixed(1)} s`);
  } finally {
    fs.rmSync(photos, { recursive: true, force: true });
    await removeTree(root);
  }
});

test('an album PDF: A4 pages of one picture each', async () => {
  const photos = photoFolder();
  const { root, out, env } = privateHome();
  try {
    const pdf = path.join(out, 'trip.pdf');
    const run = await runProgram([`--render=${pdf}`, `--photo-folder=${photos}`, '--paper=a4',
      '--album-photos-per-page=4', '--video-title=Trip', '--album-mat=kraft'], env);
    assert.equal(run.code, 0, run.stderr);
    assert.match(run.stderr, new RegExp(`^Wrote ${pdf} \\(PDF, [\\d.]+ MB\\)`, 'm'));
    assert.match(execFileSync('qpdf', ['--check', pdf], { encoding: 'utf8' }), /No syntax or stream encoding errors found/);
    const info = execFileSync('pdfinfo', [pdf], { encoding: 'utf8' });
    assert.match(info, /Page size: +595.28 x 841.89 pts \(A4\)/);
    const pages = Number(/Pages: +(\d+)/.exec(info)[1]);
    // Eight photos four to a page, after the cover.
    assert.equal(pages, 3);
    const images = execFileSync('pdfimages', ['-list', pdf], { encoding: 'utf8' }).split('\n').slice(2)
      .filter((l) => l.trim()).map((l) => l.trim().split(/\s+/));
    assert.deepEqual(images.map((f) => Number(f[0])), Array.from({ length: pages }, (_, i) => i + 1), 'one picture per page');
    assert.ok(images.every((f) => f[3] === '2480' && f[4] === '3508' && f[8] === 'jpeg'));
    // The last page is a page of photos, not an empty sheet.
    const drawn = path.join(out, 'page');
    execFileSync('pdftoppm', ['-f', String(pages), '-l', String(pages), '-r', '30', '-png', '-singlefile', pdf, drawn]);
    assert.ok(pictureFacts(`${drawn}.png`).colours > 2000);
  } finally {
    fs.rmSync(photos, { recursive: true, force: true });
    await removeTree(root);
  }
});

test("the daily wallpaper's own command, as its systemd unit runs it, sets the picture as the wallpaper", async () => {
  const photos = photoFolder();
  const { root, env } = privateHome();
  try {
    // The unit's ExecStart as systemd runs it: %C the cache folder, the configured folder and options.
    const unit = fs.readFileSync(path.join(ROOT, 'dist', 'systemd', 'tessary-daily-wallpaper.service.in'), 'utf8');
    const line = /^ExecStart=@TESSARY_MAKER_PATH@ (.*)$/m.exec(unit)[1];
    const cache = env.XDG_CACHE_HOME;
    const args = line.replace(/%C/g, cache).replace('"--photo-folder=${TESSARY_PHOTOS}"', `--photo-folder=${photos}`)
      .replace('$TESSARY_OPTIONS', '--frame=pin').split(' ');
    fs.mkdirSync(path.join(cache, 'tessary'), { recursive: true });
    const run = await runProgram(args, env);
    assert.equal(run.code, 0, run.stderr);
    assert.equal(run.stderr, '', 'the unit runs it quietly');
    const screen = pictureFacts(path.join(cache, 'tessary', 'daily-wallpaper.jpg'));
    // --size=display: the screen's own size.
    assert.deepEqual([screen.w, screen.h], [1920, 1080]);
    // No desktop here but X: the picture is the root window's background, kept in the wallpaper folder.
    assert.deepEqual(listOf(path.join(env.HOME, 'Pictures', 'Tessary')), ['wallpaper (1).jpg']);
    const root0 = execFileSync('xprop', ['-root', '_XROOTPMAP_ID'], { encoding: 'utf8' });
    assert.match(root0, /_XROOTPMAP_ID\(PIXMAP\): pixmap id # 0x[0-9a-f]+/);
  } finally {
    fs.rmSync(photos, { recursive: true, force: true });
    await removeTree(root);
  }
});

test('bad use ends with its exit code, a one-line reason and no file', async () => {
  const photos = photoFolder(2);
  const empty = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-batch-empty-'));
  const unreadable = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-batch-broken-'));
  for (const name of ['a.jpg', 'b.png', 'c.heic']) fs.writeFileSync(path.join(unreadable, name), 'not a picture at all');
  const { root, out, env } = privateHome();
  const target = path.join(out, 'pile.png');
  const cases = [
    { why: 'a missing folder', args: [`--photo-folder=${path.join(out, 'nowhere')}`], code: 2, reason: /^TessaryMaker: --photo-folder: .*nowhere: no such folder$/ },
    { why: 'an empty folder', args: [`--photo-folder=${empty}`], code: 3, reason: /^TessaryMaker: no photos in / },
    { why: 'unreadable files', args: [`--photo-folder=${unreadable}`], code: 3, reason: /^TessaryMaker: none of the 3 photos could be read/ },
    { why: 'an unwritable path', args: [`--photo-folder=${photos}`], render: '/proc/pile.png', code: 4, reason: /^TessaryMaker: --render: cannot write there: / },
    { why: 'a folder that is not there', args: [`--photo-folder=${photos}`], render: path.join(out, 'no', 'pile.png'), code: 4, reason: /does not exist$/ },
    { why: 'an unknown value', args: [`--photo-folder=${photos}`, '--filter=vivid'], code: 2, reason: /^TessaryMaker: --filter: unknown value "vivid"; accepted: none, mono, sepia, retro, cool, warm$/ },
    { why: 'a size of 0 x 0', args: [`--photo-folder=${photos}`, '--size=0x0'], code: 2, reason: /^TessaryMaker: --size: 0x0 is out of range/ },
    { why: 'a size of 9000 x 9000', args: [`--photo-folder=${photos}`, '--size=9000x9000'], code: 2, reason: /^TessaryMaker: --size: 9000x9000 is out of range; width and height must each be 320 to 8192$/ },
  ];
  try {
    for (const c of cases) {
      const run = await runProgram([`--render=${c.render || target}`, ...c.args], env);
      assert.equal(run.code, c.code, `${c.why}: ${run.stderr}`);
      // Found by the page, the reason follows the progress lines of the run so far.
      const lines = run.stderr.split('\n').filter(Boolean);
      const reasons = lines.filter((l) => l.startsWith('TessaryMaker: '));
      assert.equal(reasons.length, 1, `${c.why}: one reason\n${run.stderr}`);
      assert.match(reasons[0], c.reason, c.why);
      if (c.code === 2) assert.match(run.stderr, /\nUsage: TessaryMaker \[OPTION\.\.\.\]\n/, `${c.why}: the usage follows`);
      else assert.equal(lines[lines.length - 1], reasons[0], `${c.why}: the reason ends the output\n${run.stderr}`);
      assert.deepEqual(listOf(out), [], `${c.why}: nothing written`);
    }
    const help = execFileSync(PROGRAM, ['--help'], { env, encoding: 'utf8' });
    assert.match(help, /^ {2}--render=OUT {2}render without a window/m);
  } finally {
    for (const dir of [photos, empty, unreadable]) fs.rmSync(dir, { recursive: true, force: true });
    await removeTree(root);
  }
});

test('a render runs while the generator window is open, without disturbing it', async () => {
  const photos = photoFolder();
  const window = await startHost({ args: [`--photo-folder=${photos}`] });
  try {
    const idle = 'window.TY && window.TY.ui && window.TY.ui.hasResult() && !window.TY.ui.isBusy()';
    await window.waitFor(idle, 60000);
    const before = await window.run('return { generation: TY.ui.generationId(), items: TY.photos.items.length, title: document.title };');
    const png = path.join(window.out, 'beside.png');
    // The window's own folders: the same user, the same session.
    const run = await runProgram([`--render=${png}`, `--photo-folder=${photos}`, '--size=1280x720'], window.env);
    assert.equal(run.code, 0, run.stderr);
    expectPile(png, 1280, 720);
    const after = await window.run('return { generation: TY.ui.generationId(), items: TY.photos.items.length, title: document.title };');
    assert.deepEqual(after, before, 'the window kept its work');
    assert.equal(await window.run('return TY.ui.isBusy();'), false);
    // Its profile stays its own: the render left no folder of its own behind.
    assert.deepEqual(listOf(os.tmpdir()).filter((f) => f.startsWith('tessary-batch-') && fs.existsSync(path.join(os.tmpdir(), f, 'content-filters'))), []);
  } finally {
    await window.close();
    fs.rmSync(photos, { recursive: true, force: true });
  }
});
