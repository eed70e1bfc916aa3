'use strict';
// Saved creations and live wallpaper packages in the real programs
// (WebKitGTK under Xvfb, the session bus of the test run): a creation saved
// through the page and reopened after a restart is the same picture pixel
// for pixel; marked to start at sign-in it writes the autostart entry, and
// running that entry's command brings the live wallpaper back (hand-over
// written, TessaryLive running); the hidden worker hands a creation over
// without ever mapping a window and ends by itself; "--kiro-out=" writes a
// package other ZIP readers accept. The works screen with a dozen
// creations is captured in both themes and languages to out/e2e-works/
// (TESSARY_CAPTURE_DIR names another folder) to be looked at.
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { ROOT, startHost, waitUntil, isAlive } = require('./host-session');
const { grabWindow } = require('./window-capture');
const { removeTree } = require('../lib/remove-tree');

const CAPTURES = process.env.TESSARY_CAPTURE_DIR || path.join(ROOT, 'out', 'e2e-works');
const BOM = /^\uFEFF/;

/** Photos made by ffmpeg, each of its own pattern and shape. */
function makeFolder() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-works-'));
  const sources = ['testsrc=size=1600x1200', 'testsrc2=size=1200x1600', 'smptebars=size=1280x720', 'rgbtestsrc=size=900x900',
    'mandelbrot=size=1024x768'];
  sources.forEach((source, i) => execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', source, '-frames:v', '1',
    '-q:v', '4', path.join(dir, `photo${i + 1}.jpg`)]));
  return dir;
}

/** TessaryLive's state over the session bus: 0 stopped or absent, 1 running, 3 starting. */
function liveState() {
  try {
    const out = execFileSync('gdbus', ['call', '--session', '--dest', 'org.tessary.Live', '--object-path', '/org/tessary/Live',
      '--method', 'org.tessary.Live.State'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
    return Number((/\d+/.exec(out) || ['0'])[0]);
  } catch {
    return 0;
  }
}

function quitLive() {
  try {
    execFileSync('gdbus', ['call', '--session', '--dest', 'org.tessary.Live', '--object-path', '/org/tessary/Live',
      '--method', 'org.tessary.Live.Quit'], { stdio: 'ignore' });
  } catch {
    // not running
  }
}

/** The play data of the active hand-over in a sandbox's data folder, or null. */
function activeHandover(box) {
  const live = path.join(box.root, 'data', 'Tessary', 'live');
  const pointer = path.join(live, 'active.txt');
  if (!fs.existsSync(pointer)) return null;
  const generation = fs.readFileSync(pointer, 'utf8').replace(BOM, '').trim();
  return JSON.parse(fs.readFileSync(path.join(live, generation, 'data.json'), 'utf8').replace(BOM, ''));
}

const PREVIEW = 'return document.getElementById("preview").toDataURL("image/png");';
const IDLE = 'window.TY.ui.hasResult() && !window.TY.ui.isBusy()';
const toastIs = (text) => `document.getElementById("toast").textContent === ${JSON.stringify(text)}`;

describe('saved creations in the real programs', () => {
  let folder;
  let box;
  let savedId;
  let picture;

  before(() => { folder = makeFolder(); });
  after(async () => {
    quitLive();
    if (box) await removeTree(box.root);
    if (folder) await removeTree(folder);
  });

  test('a creation saved and reopened after a restart is the same picture, pixel for pixel', async () => {
    const first = await startHost({ args: [`--photo-folder=${folder}`] });
    box = first.box;
    try {
      await first.waitFor(`window.TY && window.TY.ui && ${IDLE}`, 60000);
      await first.run(`document.getElementById('bgSelect').value = 'wood';
        document.getElementById('bgSelect').dispatchEvent(new Event('change'));
        document.getElementById('imageTitle').value = 'Summer';
        document.getElementById('imageTitle').dispatchEvent(new Event('input'));`);
      await first.waitFor('(window.TY.ui.lastVisual().imageTitleCfg || {}).text === "Summer" && window.TY.ui.lastVisual().background === "wood" && !window.TY.ui.isBusy()', 30000);
      picture = await first.run(PREVIEW);
      await first.run('document.getElementById("btnAlbumSave").click();');
      await first.waitFor('!document.getElementById("confirmDialog").hidden');
      await first.run('document.getElementById("confirmInput").value = "Summer days"; document.getElementById("confirmOk").click();');
      await first.waitFor(toastIs('Creation saved'), 30000);
    } finally {
      await first.close({ keep: true });
    }
    const albums = path.join(box.root, 'data', 'Tessary', 'albums');
    [savedId] = fs.readdirSync(albums);
    assert.match(savedId, /^\d{8}-\d{6}-[0-9a-f]{6}$/);
    const record = JSON.parse(fs.readFileSync(path.join(albums, savedId, 'album.json'), 'utf8').replace(BOM, ''));
    assert.equal(record.name, 'Summer days');
    assert.equal(record.sourceFolder, folder);
    assert.deepEqual(record.photos.map((p) => p.origin), ['folder', 'folder', 'folder', 'folder', 'folder']);
    assert.ok(fs.statSync(path.join(albums, savedId, 'cover.jpg')).size > 1000);

    const second = await startHost({ box });
    try {
      await second.waitFor('window.TY && window.TY.ui && window.TY.ui.regenerate');
      await second.run('document.getElementById("btnAlbumOpen").click();');
      await second.waitFor('document.querySelectorAll(".album-row").length === 1', 30000);
      await second.run('document.querySelector(".album-row .btn-accent").click();');
      await second.waitFor(`${toastIs('Opened')} && ${IDLE}`, 60000);
      assert.equal(await second.run('return document.querySelectorAll(".thumb").length;'), 5);
      assert.equal(await second.run(PREVIEW), picture, 'the reopened creation is the saved picture');
    } finally {
      await second.close({ keep: true });
    }
  });

  test('marked to start at sign-in, its autostart entry brings the live wallpaper back', async () => {
    const host = await startHost({ box });
    try {
      await host.waitFor('window.TY && window.TY.ui && window.TY.ui.regenerate');
      await host.run('document.getElementById("btnAlbumOpen").click();');
      await host.waitFor('document.querySelectorAll(".album-row").length === 1', 30000);
      await host.run('document.querySelector(".album-row .btn-accent").click();');
      await host.waitFor(`${toastIs('Opened')} && ${IDLE}`, 60000);
      assert.equal(await host.run('return !document.getElementById("autoStartRow").hidden;'), true, 'the box shows for a scatter creation');
      await host.run('document.getElementById("chkAutoStart").click(); document.getElementById("btnAlbumSave").click();');
      await host.waitFor('!document.getElementById("confirmDialog").hidden');
      assert.equal(await host.run('return document.getElementById("confirmInput").value;'), 'Summer days');
      await host.run('document.getElementById("confirmOk").click();');
      await host.waitFor(toastIs('Creation saved'), 30000);
    } finally {
      await host.close({ keep: true });
    }
    const entry = fs.readFileSync(path.join(box.root, 'config', 'autostart', 'tessary.desktop'), 'utf8');
    const exec = /^Exec=(.*)$/m.exec(entry)[1];
    assert.equal(exec, `"${box.program}"`, 'the entry starts this program without options');
    execFileSync('desktop-file-validate', [path.join(box.root, 'config', 'autostart', 'tessary.desktop')]);

    // What the desktop runs at sign-in.
    assert.equal(activeHandover(box), null);
    const signIn = await startHost({ box });
    try {
      assert.ok(await waitUntil(() => liveState() === 1, 60000), 'TessaryLive runs');
      const data = activeHandover(box);
      assert.equal(data.albumId, savedId);
      assert.equal(data.albumName, 'Summer days');
      assert.equal(Object.keys(data.photoUrls).length, 5);
    } finally {
      await signIn.close({ keep: true });
      quitLive();
      await waitUntil(() => liveState() === 0, 5000);
    }
  });

  test('the hidden worker hands a creation over without a window and ends by itself', async () => {
    fs.rmSync(path.join(box.root, 'data', 'Tessary', 'live'), { recursive: true, force: true });
    const started = Date.now();
    const worker = await startHost({ box, args: [`--set-wallpaper=${savedId}`] });
    let pid;
    await waitUntil(() => (pid = worker.programPid()) !== undefined, 10000);
    const mapped = new Set();
    try {
      assert.ok(pid, 'the worker runs');
      const ended = await waitUntil(() => {
        for (const id of mappedWindowsOf(pid)) mapped.add(id);
        return !isAlive(pid);
      }, 120000);
      assert.ok(ended, 'the worker ended by itself');
      assert.ok(Date.now() - started < 120000);
      assert.deepEqual([...mapped], [], 'no window of the worker was ever mapped');
      assert.equal(activeHandover(box).albumId, savedId);
      // Starting (3) until its page has the pile, then running.
      assert.ok(await waitUntil(() => liveState() === 1, 60000), 'TessaryLive plays it');
    } finally {
      await worker.close({ keep: true });
      quitLive();
      await waitUntil(() => liveState() === 0, 5000);
    }
  });
});

/** Top-level windows of the display that are mapped and belong to process `pid`. */
function mappedWindowsOf(pid) {
  if (!pid) return [];
  try {
    const tree = execFileSync('xwininfo', ['-root', '-children'], { encoding: 'utf8' });
    const ids = [...tree.matchAll(/^\s+(0x[0-9a-f]+)/gm)].map((m) => m[1]);
    return ids.filter((id) => {
      const info = execFileSync('xwininfo', ['-id', id], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
      if (!/Map State: IsViewable/.test(info)) return false;
      const owner = execFileSync('xprop', ['-id', id, '_NET_WM_PID'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
      return owner.trim().endsWith(`= ${pid}`);
    });
  } catch {
    return [];  // a window went away while it was looked at
  }
}

test('"--kiro-out=" writes a package that other ZIP readers accept, leaving the live store alone', async () => {
  const out = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-kiro-'));
  const target = path.join(out, 'Summer.kiro');
  const host = await startHost({ args: [`--kiro-out=${target}`] });
  try {
    await host.waitFor('window.TY && window.TY.ui && window.TY.ui.regenerate');
    await host.run('window.TY.ui.importFiles(window.TY.photos.makeSamplePhotos(4));');
    await host.waitFor(IDLE, 60000);
    await host.run(`window.__exported = null;
      window.TY.bridge.on('kiroExported', (p) => { window.__exported = p; });
      window.TY.bridge.on('saveTargetChosen', (p) => { if (p.format === 'kiro') window.TY.ui.startLiveWallpaper({ handoffOnly: true }); });
      window.TY.bridge.post({ cmd: 'chooseImageSave', requestId: 'r1', album: false });`);
    const exported = await host.waitFor('window.__exported', 60000);
    assert.deepEqual(exported, { format: 'kiro', path: target });
    assert.equal(await host.run('return document.getElementById("toast").textContent;'), 'Live wallpaper saved');
    assert.equal(fs.existsSync(path.join(host.box.root, 'data', 'Tessary', 'live')), false, 'the live store is untouched');
  } finally {
    await host.close();
  }
  execFileSync('unzip', ['-tq', target]);
  const listed = execFileSync('python3', ['-c', `import sys, zipfile, json
z = zipfile.ZipFile(sys.argv[1]); print(json.dumps([z.namelist(), json.loads(z.read('data.json').decode('utf-8-sig'))['srcW']]))`, target],
  { encoding: 'utf8' });
  const [names, srcW] = JSON.parse(listed);
  assert.equal(names[0], 'meta.json');
  assert.equal(names[1], 'data.json');
  assert.ok(names.slice(2).every((n) => /^photos\/\d{4}\.jpg$/.test(n)) && names.length === 6, names.join(' '));
  assert.equal(srcW, 1920);
  await removeTree(out);
});

test('the works screen with a dozen creations, in both themes and languages', async () => {
  // A dozen creations written straight into the store before the program starts (one is marked to
  // come back at sign-in, which the capture shows but the page must not restore meanwhile).
  const empty = await startHost();
  const box = empty.box;
  await empty.close({ keep: true });
  {
    const albums = path.join(box.root, 'data', 'Tessary', 'albums');
    const names = ['Summer days', '夏休み', 'Kyoto trip', 'Birthday 2024', 'おばあちゃんの庭', 'Beach (old prints)',
      'Winter walk', '運動会', 'A very long name for a creation that does not fit on one line at all', 'Cats', '卒業式', 'Garden'];
    const patterns = ['testsrc', 'testsrc2', 'smptebars', 'rgbtestsrc', 'mandelbrot', 'life', 'cellauto', 'yuvtestsrc',
      'smptehdbars', 'pal75bars', 'color=c=teal:s', 'sierpinski'];
    names.forEach((name, i) => {
      const id = `2025010${(i % 9) + 1}-1200${String(i).padStart(2, '0')}-a${String(i).padStart(5, '0')}`;
      fs.mkdirSync(path.join(albums, id, 'files'), { recursive: true });
      const motion = ['drop', 'sway', 'album'][i % 3];
      const photos = Array.from({ length: 6 + i }, (_, k) => ({ name: `${String(k + 1).padStart(4, '0')}.jpg`, origin: 'copied' }));
      const record = { schema: 1, name, photos, settings: { motion }, autoStart: i === 1, id,
        updated: new Date(Date.UTC(2025, 0, 1 + i, 9, 30)).toISOString() };
      fs.writeFileSync(path.join(albums, id, 'album.json'), '\uFEFF' + JSON.stringify(record));
      // Most photos are there; a few creations miss some or all.
      const present = i === 4 ? 0 : i === 7 ? 3 : photos.length;
      for (const p of photos.slice(0, present)) fs.writeFileSync(path.join(albums, id, 'files', p.name), 'x');
      const pattern = patterns[i].includes('=') ? `${patterns[i]}=384x216` : `${patterns[i]}=size=384x216`;
      execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', pattern, '-frames:v', '1',
        path.join(albums, id, 'cover.jpg')]);
    });
  }
  const host = await startHost({ box });
  try {
    // The marked creation opens at the first page load; it has no readable photo.
    await host.waitFor('window.TY && window.TY.ui && /Skipped|飛ばしました/.test(document.getElementById("toast").textContent) && !window.TY.ui.isBusy()', 30000);
    fs.mkdirSync(CAPTURES, { recursive: true });
    for (const [theme, lang] of [['dark', 'en'], ['light', 'en'], ['dark', 'ja'], ['light', 'ja']]) {
      await host.run(`for (const [id, value] of [['themeSelect', arguments[0]], ['languageSelect', arguments[1]]]) {
          const el = document.getElementById(id); el.value = value; el.dispatchEvent(new Event('change'));
        }
        document.getElementById('albumListClose').click();
        document.getElementById('btnAlbumOpen').click();`, theme, lang);
      await host.waitFor('document.querySelectorAll(".album-row").length === 12 && !window.TY.ui.isBusy()', 30000);
      const rows = await host.run(`return [...document.querySelectorAll('.album-row')].map((r) => ({
          name: r.querySelector('.album-name').textContent,
          cover: r.querySelector('img.album-cover') ? r.querySelector('img.album-cover').naturalWidth : 0,
          open: !r.querySelector('.btn-accent').disabled }));`);
      assert.equal(rows[0].name, 'Garden', 'newest first');
      assert.ok(rows.every((r) => r.cover === 384), 'every cover shows');
      assert.equal(rows.filter((r) => !r.open).length, 1, 'the creation without photos cannot be opened');
      await host.run('return new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(() => done(true))));');
      await new Promise((r) => setTimeout(r, 300));
      await grabWindow(host, path.join(CAPTURES, `works-${theme}-${lang}.png`));
    }
  } finally {
    await host.close();
  }
});
