'use strict';
// The still desktop wallpaper in the real program: "Set wallpaper" and
// "Undo wallpaper" pressed through WebDriver, once on a bare X session (the
// picture drawn into the root window's background) and once on GNOME's
// settings in a private dconf, read back with gsettings. The screen
// captures of the X session are kept in out/e2e/wallpaper/.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const readline = require('node:readline');
const { By } = require('selenium-webdriver');
const { ROOT, makeSandbox, startHost } = require('./host-session');

const CAPTURES = path.join(ROOT, 'out', 'e2e', 'wallpaper');
const EVENTS = ['wallpaperCheck', 'wallpaperDone', 'wallpaperError', 'wallpaperBackupState', 'restoreCheck',
  'restoreDone', 'restoreError'];

/** A pile of the sample photos, with the host's wallpaper answers recorded in window.__wallpaperEvents. */
async function makePile(host) {
  await host.waitFor('window.TY && window.TY.ui && window.TY.ui.regenerate');
  await host.run(`window.__wallpaperEvents = [];
    for (const name of arguments[0]) window.TY.bridge.on(name, (p) => window.__wallpaperEvents.push({ name, p }));
    window.TY.ui.importFiles(window.TY.photos.makeSamplePhotos(6));`, EVENTS);
  await host.waitFor('window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 30000);
}

/** Another look for the next picture (the photos in monochrome), drawn once the page is idle again. */
async function restyle(host) {
  const before = await host.run('return window.TY.ui.generationId();');
  await host.run(`const select = document.getElementById('filterSelect');
    select.value = 'mono';
    select.dispatchEvent(new Event('change'));`);
  await host.waitFor(`window.TY.ui.generationId() > ${before} && !window.TY.ui.isBusy()`, 30000);
}

const press = (host, id) => host.driver.findElement(By.id(id)).click();

/** Waits for the next host answer among `names`; returns it. */
async function nextAnswer(host, names) {
  const found = await host.waitFor(`(() => { const i = window.__wallpaperEvents.findIndex((e) => ${JSON.stringify(names)}.includes(e.name));
    return i >= 0 && window.__wallpaperEvents.splice(0, i + 1).pop(); })()`, 30000);
  return found;
}

/** "Set wallpaper", then "Set" in the confirmation: the question's text and the host's answer. */
async function setWallpaper(host) {
  await host.run('window.__wallpaperEvents.length = 0;');
  await press(host, 'btnSetWallpaper');
  await host.waitFor('!document.getElementById("confirmDialog").hidden');
  const question = await host.run('return document.getElementById("confirmMessage").textContent;');
  await press(host, 'confirmOk');
  const answer = await nextAnswer(host, ['wallpaperDone', 'wallpaperError']);
  await host.waitFor('!window.TY.ui.isBusy()');
  const toast = await host.run('return document.getElementById("toast").textContent;');
  return { question, answer, toast };
}

/** "Undo wallpaper" with the desktop still showing our picture: restored without a question. */
async function undoWallpaper(host) {
  await host.run('window.__wallpaperEvents.length = 0;');
  await press(host, 'btnUndoWallpaper');
  const answer = await nextAnswer(host, ['restoreDone', 'restoreError']);
  await host.waitFor('!window.TY.ui.isBusy()');
  const toast = await host.run('return document.getElementById("toast").textContent;');
  const undoShown = await host.run('return !document.getElementById("btnUndoWallpaper").hidden;');
  return { answer: answer.name, toast, undoShown };
}

const readBackup = (host) => JSON.parse(fs.readFileSync(path.join(host.root, 'config', 'TessaryMaker', 'wallpaper-backup.json'), 'utf8').replace(/^\uFEFF/, ''));
const ownPicture = (host, n) => path.join(host.root, 'home', 'Pictures', 'Tessary', `wallpaper (${n}).jpg`);

/** The whole screen into out/e2e/wallpaper/<name>.png. */
function capture(name) {
  fs.mkdirSync(CAPTURES, { recursive: true });
  const file = path.join(CAPTURES, `${name}.png`);
  execFileSync('import', ['-window', 'root', file]);
  return file;
}

/** An 16 × 16 RGB thumbnail of a region of a capture, for comparing what the desktop shows. */
function thumbnail(file, region) {
  return execFileSync('convert', [file, '-crop', `${region.w}x${region.h}+${region.x}+${region.y}`, '+repage',
    '-resize', '16x16!', '-depth', '8', 'rgb:-']);
}

/** Mean difference per channel (0..255) between two thumbnails. */
function difference(a, b) {
  let sum = 0;
  for (let i = 0; i < a.length; i++) sum += Math.abs(a[i] - b[i]);
  return sum / a.length;
}

/** The files the root window's background was drawn from, as Tessary recorded them beside it. */
function rootRecord() {
  const out = execFileSync('xprop', ['-root', '_TESSARY_WALLPAPER'], { encoding: 'utf8' });
  const m = /= "(.*)"\s*$/s.exec(out);
  return m ? JSON.parse(m[1].replace(/\\"/g, '"')).monitors : null;
}

test('on a bare X session the picture becomes the root background, and Undo brings the earlier one back', async () => {
  const host = await startHost({ env: () => ({ XDG_CURRENT_DESKTOP: '', XDG_SESSION_TYPE: 'x11' }) });
  try {
    await makePile(host);
    await host.waitFor('!document.getElementById("wallpaperRow").hidden');
    const { x, y, width, height } = await host.driver.manage().window().getRect();
    const screen = execFileSync('xdpyinfo', { encoding: 'utf8' }).match(/dimensions:\s+(\d+)x(\d+)/).slice(1).map(Number);
    // The desktop is seen right of the window and below it.
    const beside = { x: x + width, y: 0, w: screen[0] - x - width, h: screen[1] };
    assert.ok(beside.w >= 200, `room beside the window (${JSON.stringify({ x, y, width, height, screen })})`);
    const shots = { before: capture('1-before') };

    // Nothing of Tessary on the root window yet: no picture to go back to, and the page says so.
    let set = await setWallpaper(host);
    assert.equal(set.question, 'Your current desktop wallpaper will be changed.\nThe Undo feature may not be able to restore your current wallpaper.');
    assert.equal(set.answer.name, 'wallpaperDone', JSON.stringify(set.answer));
    assert.deepEqual([set.answer.p.undoCaptured, set.answer.p.undoSaved], [false, false]);
    assert.equal(set.toast, 'Set as desktop wallpaper (Undo is not possible: the previous wallpaper could not be recorded)');
    const first = ownPicture(host, 1);
    assert.deepEqual(Object.values(rootRecord()), [first]);
    assert.equal(execFileSync('identify', ['-format', '%m %wx%h', first], { encoding: 'utf8' }),
      await host.run('const c = document.getElementById("preview"); return "JPEG " + c.width + "x" + c.height;'));
    shots.first = capture('2-after-first-set');
    assert.ok(difference(thumbnail(shots.before, beside), thumbnail(shots.first, beside)) > 10, 'the desktop changed');

    // Our picture is on the desktop now: the next set can be undone.
    await restyle(host);
    set = await setWallpaper(host);
    assert.equal(set.question, 'Your current desktop wallpaper will be changed.');
    assert.deepEqual([set.answer.p.undoCaptured, set.answer.p.undoSaved], [true, true]);
    assert.equal(set.toast, 'Set as desktop wallpaper');
    assert.deepEqual(Object.values(rootRecord()), [ownPicture(host, 2)]);
    const backup = readBackup(host);
    assert.equal(backup.lastSet, ownPicture(host, 2));
    assert.deepEqual(backup.monitors.map((m) => [m.path, m.position]), [[first, 4]]);
    shots.second = capture('3-after-second-set');
    assert.ok(difference(thumbnail(shots.first, beside), thumbnail(shots.second, beside)) > 10, 'the desktop changed again');
    assert.equal(await host.run('return !document.getElementById("btnUndoWallpaper").hidden;'), true);

    const undo = await undoWallpaper(host);
    assert.deepEqual(undo, { answer: 'restoreDone', toast: 'Wallpaper restored', undoShown: false });
    assert.deepEqual(Object.values(rootRecord()), [first]);
    shots.undone = capture('4-after-undo');
    assert.ok(difference(thumbnail(shots.first, beside), thumbnail(shots.undone, beside)) < 1, 'the first picture is back');
    assert.deepEqual(fs.readdirSync(path.dirname(first)), ['wallpaper (1).jpg'], 'the undone picture is cleaned up');
    assert.equal(readBackup(host).restored, true);
  } finally {
    await host.close();
  }
});

/** A session bus of its own whose services (dconf) see the sandbox's folders. */
async function privateBus(env) {
  const daemon = spawn('dbus-daemon', ['--session', '--nofork', '--print-address=1'], { env, stdio: ['ignore', 'pipe', 'ignore'] });
  const lines = readline.createInterface({ input: daemon.stdout });
  const address = await new Promise((resolve, reject) => {
    lines.once('line', resolve);
    daemon.once('exit', () => reject(new Error('dbus-daemon ended')));
  });
  return { address, stop: () => daemon.kill() };
}

test('on GNOME the picture goes into its background settings and Undo puts the user\'s values back exactly', async () => {
  const box = makeSandbox();
  const bus = await privateBus(box.env);
  const env = { ...box.env, DBUS_SESSION_BUS_ADDRESS: bus.address, GSETTINGS_BACKEND: 'dconf' };
  const schema = 'org.gnome.desktop.background';
  const gsettings = (...args) => execFileSync('gsettings', args, { env, encoding: 'utf8' }).trim();
  const read = () => ['picture-uri', 'picture-uri-dark', 'picture-options'].map((key) => gsettings('get', schema, key));
  const lake = path.join(box.root, 'home', 'lake.jpg');
  const night = path.join(box.root, 'home', 'night.jpg');
  execFileSync('convert', ['-size', '64x48', 'xc:teal', lake]);
  execFileSync('convert', ['-size', '64x48', 'xc:navy', night]);
  gsettings('set', schema, 'picture-uri', `file://${lake}`);
  gsettings('set', schema, 'picture-uri-dark', `file://${night}`);
  gsettings('set', schema, 'picture-options', 'centered');
  const users = read();

  const host = await startHost({ box, env: () => ({ DBUS_SESSION_BUS_ADDRESS: bus.address, GSETTINGS_BACKEND: 'dconf', XDG_CURRENT_DESKTOP: 'GNOME' }) });
  try {
    await makePile(host);
    const set = await setWallpaper(host);
    assert.equal(set.question, 'Your current desktop wallpaper will be changed.', 'the user\'s pictures exist: restorable');
    assert.deepEqual([set.answer.name, set.answer.p.undoCaptured, set.answer.p.undoSaved], ['wallpaperDone', true, true]);
    const ours = `'file://${ownPicture(host, 1).replace(/ /g, '%20')}'`;
    assert.deepEqual(read(), [ours, ours, "'zoom'"]);
    assert.deepEqual(readBackup(host).monitors.map((m) => [m.path, m.position, m.darkPath]), [[lake, 0, night]]);

    const undo = await undoWallpaper(host);
    assert.deepEqual(undo, { answer: 'restoreDone', toast: 'Wallpaper restored', undoShown: false });
    assert.deepEqual(read(), users);
  } finally {
    await host.close();
    bus.stop();
  }
});
