'use strict';
// Saved creations on the generator page in Chromium, against a host that
// keeps its store in this test: the name dialog and the same-name check,
// what a creation stores, the list with its covers, kinds and missing
// photos, deleting, reopening to the identical picture (or a new layout
// when a photo is gone), and the requests from outside the page.
const test = require('node:test');
const assert = require('node:assert/strict');
const { appSession, settled, toastText } = require('../lib/app-page');

let session;
test.before(async () => { session = await appSession(); });
test.after(() => session.close());

const COPIES = 'http://fake-album.invalid/';

/**
 * Opens the page with a host whose creation store lives here: `store` maps
 * ids to {record, copies}; `posted` collects every command.
 * @param {string} query @param {Record<string, any>} [store]
 */
async function openWithStore(query, store = {}) {
  const { page, errors, close } = await session.open(query, {
    // Start-up messages (language, fonts) come before the host below is wired; they need no answer.
    init: 'window.chrome = { webview: { postMessage: (m) => window.hostPost && window.hostPost(JSON.parse(m)), addEventListener() {} } };',
  });
  const posted = [];
  let nextId = 1;
  /** Events a command answers with; `hold` keeps the answer back until `release`. */
  const host = { posted, store, hold: false, held: [], failLoad: null };
  const emit = (event, payload) => page.evaluate(([e, p]) => window.kobHost.emit(e, p), [event, payload]);
  host.emit = emit;
  host.release = async () => { for (const [e, p] of host.held.splice(0)) await emit(e, p); };
  const answer = async (event, payload) => {
    if (host.hold) host.held.push([event, payload]);
    else await emit(event, payload);
  };
  await page.exposeFunction('hostPost', async (m) => {
    posted.push(m);
    if (m.cmd === 'albumSaveList') {
      const albums = Object.entries(store).map(([id, { record, copies }]) => ({
        id, name: record.name, updated: record.updated || '', motion: (record.settings || {}).motion || 'album',
        photoCount: record.photos.length, availableCount: record.available ?? record.photos.length,
        cover: copies.cover || '', autoStart: !!record.autoStart,
      }));
      await answer('albumList', m.purpose === undefined ? { albums } : { albums, purpose: m.purpose });
    } else if (m.cmd === 'albumSave') {
      const record = JSON.parse(m.json);
      const id = record.id || `c${nextId++}`;
      record.id = id;
      record.updated = '2025-03-01T10:00:00.000Z';
      const copies = { cover: m.coverPngDataUrl };
      for (const c of m.copies) copies[c.name] = c.dataUrl;
      store[id] = { record, copies };
      await answer('albumSaved', { id });
    } else if (m.cmd === 'albumLoad') {
      if (host.failLoad) return answer('albumError', { message: host.failLoad });
      const { record } = store[m.id];
      await answer('albumLoaded', { json: JSON.stringify(record), copiedBaseUrl: `${COPIES}${m.id}/` });
    } else if (m.cmd === 'albumDelete') {
      delete store[m.id];
      await answer('albumDeleted', { id: m.id });
    }
  });
  // The album files origin: the copies of the store above.
  await page.route(`${COPIES}**`, (route) => {
    const [id, name] = decodeURIComponent(new URL(route.request().url()).pathname).slice(1).split('/');
    const url = store[id] && store[id].copies[name];
    if (!url) return route.fulfill({ status: 404 });
    return route.fulfill({ status: 200, contentType: 'image/jpeg', body: Buffer.from(url.split(',')[1], 'base64') });
  });
  return { page, errors, close, host };
}

const previewPixels = (page) => page.evaluate(() => document.getElementById('preview').toDataURL('image/png'));
const lastPosted = (host, cmd) => host.posted.filter((m) => m.cmd === cmd).pop();

/** Names the creation in the save dialog and confirms. */
async function saveAs(page, name) {
  await page.click('#btnAlbumSave');
  await page.waitForSelector('#confirmDialog:not([hidden])');
  await page.fill('#confirmInput', name);
  await page.click('#confirmOk');
}

/** Waits until the host has taken one more save than `before` and the page is idle again. */
async function savedAfter(page, host, before) {
  while (host.posted.filter((m) => m.cmd === 'albumSave').length <= before) await new Promise((r) => setTimeout(r, 20));
  await page.waitForFunction(() => !window.TY.ui.isBusy() && document.getElementById('toast').textContent === 'Creation saved');
}

test('saving stores the items, favourites, layout and settings; the same name offers to overwrite or a free name', async () => {
  const { page, errors, close, host } = await openWithStore('?demo=4&stars=2&lang=en');
  await settled(page);
  await page.click('#btnAlbumSave');
  await page.waitForSelector('#confirmDialog:not([hidden])');
  assert.equal(await page.locator('#confirmTitle').textContent(), 'Save creation');
  assert.equal(await page.inputValue('#confirmInput'), 'New creation');
  await page.fill('#confirmInput', '  Trip  ');
  await page.click('#confirmOk');
  await page.waitForFunction(() => document.getElementById('toast').textContent === 'Creation saved');

  assert.equal(lastPosted(host, 'albumSaveList').purpose, 'save');
  const sent = lastPosted(host, 'albumSave');
  const record = JSON.parse(sent.json);
  assert.equal(record.schema, 1);
  assert.equal(record.name, 'Trip');
  assert.equal('id' in record, false, 'a new creation leaves the id to the host');
  assert.deepEqual(record.photos.map((p) => [p.name, p.origin]), [['0001.jpg', 'copied'], ['0002.jpg', 'copied'], ['0003.jpg', 'copied'], ['0004.jpg', 'copied']]);
  assert.equal(record.photos[0].displayName, 'Sample01.jpg');
  assert.deepEqual(record.stars, ['0001.jpg', '0002.jpg']);
  assert.equal(sent.copies.length, 4);
  assert.match(sent.copies[0].dataUrl, /^data:image\/jpeg;base64,/);
  assert.match(sent.coverPngDataUrl, /^data:image\/jpeg;base64,/);
  const visual = await page.evaluate(() => window.TY.ui.lastVisual());
  assert.equal(record.layout.w, visual.w);
  assert.equal(record.layout.drawList.length, visual.drawList.length);
  assert.equal(record.layout.featuredCount, 1);
  assert.deepEqual(Object.keys(record.layout.drawList[0]), ['photoIndex', 'x', 'y', 'outerW', 'outerH', 'rot', 'featured']);
  for (const key of ['motion', 'album', 'chekiSize', 'density', 'noRepeat', 'background', 'frame', 'filter', 'captionMode',
    'captionFont', 'captionSize', 'sizePreset', 'customW', 'customH', 'videoTitle', 'videoSpeed', 'videoSpotlight',
    'starEmphasis', 'starDim', 'starDimTranslucent', 'titleFont', 'titleColor', 'imageTitle', 'titleSize', 'titleStyle',
    'titlePosition', 'titleFree', 'titleFreePos']) {
    assert.ok(key in record.settings, `settings.${key}`);
  }
  assert.equal(record.settings.titleColor, null, 'Auto');
  assert.equal(record.autoStart, false);

  // The open creation under its own name is overwritten in place.
  await saveAs(page, 'Trip');
  await savedAfter(page, host, 1);
  assert.equal(JSON.parse(lastPosted(host, 'albumSave').json).id, 'c1');

  // Another creation already called "Trip", and a "Trip(1)": a new name offers "Trip(2)".
  host.store.other = { record: { ...host.store.c1.record, id: 'other', updated: '2025-02-01T08:00:00.000Z' }, copies: {} };
  host.store.one = { record: { ...host.store.c1.record, id: 'one', name: 'Trip(1)' }, copies: {} };
  await saveAs(page, 'Beach');
  await savedAfter(page, host, 2);
  assert.equal(JSON.parse(lastPosted(host, 'albumSave').json).id, undefined, 'a different name makes a new creation');
  await saveAs(page, 'Trip');
  await page.waitForFunction(() => document.getElementById('confirmTitle').textContent === 'A creation with this name already exists');
  assert.match(await page.locator('#confirmMessage').textContent(), /^“Trip” is already saved \(last updated .+\)\. Overwriting cannot be undone\.$/);
  assert.equal(await page.locator('#confirmSecond').textContent(), 'Save as “Trip(2)”');
  await page.click('#confirmSecond');
  await savedAfter(page, host, 3);
  const renamed = JSON.parse(lastPosted(host, 'albumSave').json);
  assert.deepEqual([renamed.name, renamed.id], ['Trip(2)', undefined]);
  assert.deepEqual(errors, []);
  await close();
});

test('the list shows covers, kinds and missing photos; deleting asks and lists again', async () => {
  const photo = (name) => ({ name, origin: 'copied' });
  const store = {
    a: { record: { name: 'Old album', updated: '2024-01-01T00:00:00.000Z', photos: [photo('0001.jpg')], available: 1 }, copies: {} },
    b: { record: { name: 'Flutter pile', updated: '2025-01-01T00:00:00.000Z', settings: { motion: 'sway' }, photos: [photo('1'), photo('2'), photo('3')], available: 1, autoStart: true }, copies: {} },
    c: { record: { name: 'Gone', updated: '2023-01-01T00:00:00.000Z', settings: { motion: 'drop' }, photos: [photo('1')], available: 0 }, copies: {} },
  };
  const { page, errors, close, host } = await openWithStore('?lang=en', store);
  await page.click('#btnAlbumOpen');
  await page.waitForSelector('#albumListDialog:not([hidden])');
  assert.equal(lastPosted(host, 'albumSaveList').purpose, 'browse');
  const rows = await page.$$eval('.album-row', (list) => list.map((r) => ({
    text: r.querySelector('.album-info').innerText.split('\n'),
    open: !r.querySelector('.btn-accent').disabled,
    tip: r.querySelector('.btn-accent').title,
  })));
  assert.deepEqual(rows.map((r) => r.text[0]), ['Flutter pile', 'Old album', 'Gone'], 'newest first');
  assert.match(rows[0].text[1], /^Scatter（Flutter）・/);
  assert.equal(rows[0].text[2], 'Restored as the live wallpaper at sign-in');
  assert.equal(rows[0].text[3], '2 photos not found');
  assert.match(rows[1].text[1], /^Album・/);
  assert.equal(rows[2].text[2], 'Photos not found (they may have been moved or deleted)');
  assert.deepEqual(rows.map((r) => r.open), [true, true, false]);
  assert.equal(rows[2].tip, 'No photos available to open');

  await page.locator('.album-row', { hasText: 'Gone' }).locator('.btn-light').click();
  assert.equal(await page.locator('#confirmMessage').textContent(), '“Gone” will be deleted. This cannot be undone.');
  await page.click('#confirmOk');
  await page.waitForFunction(() => document.querySelectorAll('.album-row').length === 2);
  assert.equal(lastPosted(host, 'albumDelete').id, 'c');
  assert.equal(lastPosted(host, 'albumSaveList').purpose, undefined, 'the list after a deletion is asked without purpose');

  // While an answer is awaited the list is locked, but its close button is not.
  host.hold = true;
  await page.locator('.album-row', { hasText: 'Old album' }).locator('.btn-accent').click();
  assert.equal(await page.locator('#albumListBody button:not([disabled])').count(), 0);
  assert.equal(await page.locator('#albumListProgress').isVisible(), true);
  assert.equal(await page.locator('#albumListClose').isDisabled(), false);
  await page.keyboard.press('Escape');
  assert.equal(await page.locator('#albumListDialog').isHidden(), true);
  host.hold = false;
  host.held.length = 0;
  assert.deepEqual(errors, []);
  await close();
});

test('reopening gives the identical picture; a missing photo gives a new layout and says so', async () => {
  const { page, errors, close, host } = await openWithStore('?demo=5&stars=1&lang=en&bg=wood&frame=stamp');
  await settled(page);
  await page.click('#btnSettings');
  await page.selectOption('#videoMotion', 'sway');
  await page.fill('#imageTitle', 'Summer');
  await page.waitForFunction(() => (window.TY.ui.lastVisual().imageTitleCfg || {}).text === 'Summer');
  await page.click('#btnSettings');
  const before = await previewPixels(page);
  await saveAs(page, 'Identical');
  await page.waitForFunction(() => document.getElementById('toast').textContent === 'Creation saved');

  // Something else on the page, then the creation again.
  await page.click('#btnClear');
  await page.evaluate(() => window.TY.ui.importFiles(window.TY.photos.makeSamplePhotos(2)));
  await settled(page);
  await page.evaluate(() => {
    for (const [id, value] of [['bgSelect', 'cork'], ['imageTitle', '']]) {
      document.getElementById(id).value = value;
      document.getElementById(id).dispatchEvent(new Event(id === 'bgSelect' ? 'change' : 'input'));
    }
  });
  await settled(page);
  await page.click('#btnAlbumOpen');
  await page.waitForSelector('.album-row');
  await page.locator('.album-row .btn-accent').click();
  await page.waitForFunction(() => document.getElementById('toast').textContent === 'Opened');
  await settled(page);
  assert.equal(await page.locator('.thumb').count(), 5);
  assert.equal(await page.inputValue('#bgSelect'), 'wood');
  assert.equal(await page.inputValue('#videoMotion'), 'sway');
  assert.equal(await page.inputValue('#imageTitle'), 'Summer');
  assert.equal(await page.evaluate(() => window.TY.photos.items[0].star), 1);
  assert.equal(await previewPixels(page), before, 'the same picture, pixel for pixel');
  const unsaved = host.posted.filter((m) => m.cmd === 'setUnsavedResult').pop();
  assert.equal(unsaved.value, false);

  // A copy that cannot be read any more.
  delete host.store.c1.copies['0003.jpg'];
  await page.click('#btnAlbumOpen');
  await page.waitForSelector('.album-row');
  await page.locator('.album-row .btn-accent').click();
  await page.waitForFunction(() => document.getElementById('toast').textContent === 'Skipped 1 missing photos');
  await settled(page);
  assert.equal(await page.locator('#toast.error').count(), 1);
  assert.equal(await page.locator('.thumb').count(), 4);
  assert.notEqual(await previewPixels(page), before);
  assert.deepEqual(errors, []);
  await close();
});

test('opening asked from outside: unsaved work asks first; the open creation only restarts; refusals are told', async () => {
  const { page, errors, close, host } = await openWithStore('?demo=3&lang=en');
  await settled(page);
  await saveAs(page, 'Mine');
  await page.waitForFunction(() => document.getElementById('toast').textContent === 'Creation saved');
  host.store.theirs = { record: { ...host.store.c1.record, id: 'theirs', name: 'Theirs' }, copies: host.store.c1.copies };

  const loads = () => host.posted.filter((m) => m.cmd === 'albumLoad').length;
  await host.emit('openAlbumRequested', { id: 'c1', setWallpaper: false });
  assert.equal(loads(), 0, 'the creation already open is not loaded again');

  await page.click('#btnSettings');
  await page.selectOption('#frameSelect', 'stamp');
  await page.waitForFunction(() => window.TY.ui.lastVisual().frame === 'stamp' && !window.TY.ui.isBusy());
  await host.emit('openAlbumRequested', { id: 'theirs', setWallpaper: false });
  await page.waitForSelector('#confirmDialog:not([hidden])');
  assert.equal(await page.locator('#confirmTitle').textContent(), 'You have unsaved changes');
  assert.equal(await page.locator('#confirmSecond').textContent(), 'Open without saving');
  await page.click('#confirmSecond');
  await page.waitForFunction(() => document.getElementById('toast').textContent === 'Opened');
  assert.equal(lastPosted(host, 'albumLoad').id, 'theirs');

  host.failLoad = 'Album not found';
  await host.emit('albumAutoStart', { id: 'gone' });
  await page.waitForFunction(() => document.getElementById('toast').textContent.startsWith('Album operation failed'));
  assert.equal(await toastText(page), 'Album operation failed: Album not found');
  assert.equal(await page.evaluate(() => window.TY.ui.isBusy()), false);

  await page.check('#chkAutoStart');
  await host.emit('autoStartUnavailable', {});
  assert.equal(await page.isChecked('#chkAutoStart'), false);
  assert.match(await toastText(page), /^Start at sign-in is not available in this version/);
  assert.deepEqual(errors, []);
  await close();
});

test('"Save, then set" hands the pile over only once the creation is saved, as that creation; an open one is not asked about', async () => {
  const { page, errors, close, host } = await openWithStore('?demo=3&lang=en');
  await settled(page);
  await page.check('#chkLive');
  await page.click('#btnSetWallpaper');
  assert.equal(await page.locator('#confirmOk').textContent(), 'Save, then set');
  await page.click('#confirmOk');
  await page.waitForFunction(() => document.getElementById('confirmTitle').textContent === 'Save creation');
  assert.equal(host.posted.some((m) => m.cmd === 'beginLiveWallpaper'), false, 'nothing is handed over before the save');
  await page.fill('#confirmInput', 'Desk');
  await page.click('#confirmOk');
  while (!lastPosted(host, 'startLiveWallpaper')) await new Promise((r) => setTimeout(r, 20));
  const order = ['albumSave', 'beginLiveWallpaper', 'startLiveWallpaper'].map((cmd) => host.posted.findIndex((m) => m.cmd === cmd));
  assert.deepEqual([...order].sort((a, b) => a - b), order);
  const start = lastPosted(host, 'startLiveWallpaper');
  assert.deepEqual([start.data.albumId, start.data.albumName], ['c1', 'Desk']);

  // The wallpaper ended; the open creation goes straight to the hand-over.
  await host.emit('wallpaperState', { state: 'stopped', pauseReasons: [] });
  const starts = host.posted.filter((m) => m.cmd === 'startLiveWallpaper').length;
  await page.click('#btnSetWallpaper');
  while (host.posted.filter((m) => m.cmd === 'startLiveWallpaper').length === starts) await new Promise((r) => setTimeout(r, 20));
  assert.equal(await page.locator('#confirmDialog').isHidden(), true);
  assert.deepEqual(errors, []);
  await close();
});

test('photos the host keeps serving hold no bytes, yet are drawn, copied into a creation and handed over; one gone is left out', async () => {
  const fs = require('node:fs');
  const path = require('node:path');
  const FOLDERS = 'http://fake-photos.invalid/';
  const fixtures = path.join(__dirname, '..', 'fixtures', 'exif');
  const gone = new Set();
  const { page, errors, close, host } = await openWithStore('?lang=en');
  // The photo origin: two folders of the same files, each under a base URL of its own.
  await page.route(`${FOLDERS}**`, (route) => {
    const name = new URL(route.request().url()).pathname.split('/').pop();
    if (gone.has(name)) return route.fulfill({ status: 404 });
    return route.fulfill({ status: 200, contentType: 'image/jpeg', body: fs.readFileSync(path.join(fixtures, name)) });
  });
  const names = ['plain.jpg', 'orient6-xptitle.jpg', 'mm-usercomment-unicode.jpg'];
  const pick = async (folder, photos) => {
    const count = await page.evaluate(() => window.TY.photos.items.length);
    await host.emit('materialFolderPicked', { folder, baseUrl: `${FOLDERS}${folder}/`, photos, memos: [], lasting: true });
    await page.waitForFunction((n) => window.TY.photos.items.length > n && !window.TY.ui.isBusy(), count);
  };
  await pick('a', names);
  await pick('b', ['b/plain.jpg']);
  const held = await page.evaluate(() => window.TY.photos.items.map((it) => [it.origin, it.blob, it.fileUrl]));
  assert.deepEqual(held, [['copied', null, `${FOLDERS}a/plain.jpg`], ['copied', null, `${FOLDERS}a/orient6-xptitle.jpg`],
    ['copied', null, `${FOLDERS}a/mm-usercomment-unicode.jpg`], ['folder', null, `${FOLDERS}b/b/plain.jpg`]]);

  await page.evaluate(() => window.TY.ui.regenerate());
  await settled(page);
  const drawn = await page.evaluate(() => [...new Set(window.TY.ui.lastVisual().drawList.map((p) => p.photoIndex))].sort());
  assert.deepEqual(drawn, [0, 1, 2, 3], 'every photo is in the pile');

  // The first folder's photos are no longer the source folder's: the creation keeps copies of their files.
  await saveAs(page, 'Fetched');
  await savedAfter(page, host, 0);
  const copies = lastPosted(host, 'albumSave').copies;
  assert.deepEqual(copies.map((c) => c.name), ['0001.jpg', '0002.jpg', '0003.jpg']);
  copies.forEach((c, i) => assert.ok(Buffer.from(c.dataUrl.split(',')[1], 'base64').equals(fs.readFileSync(path.join(fixtures, names[i]))), c.name));

  gone.add('orient6-xptitle.jpg');
  await page.check('#chkLive');
  await page.click('#btnSetWallpaper');
  while (!lastPosted(host, 'startLiveWallpaper')) await new Promise((r) => setTimeout(r, 20));
  const handed = host.posted.filter((m) => m.cmd === 'livePhoto').map((m) => m.index);
  assert.deepEqual(handed, [0, 2, 3]);
  assert.equal(await toastText(page), 'Left out 1 photo(s) that can no longer be read');
  assert.deepEqual(errors, []);
  await close();
});
