'use strict';
// The photo store's bookkeeping in node: adding, limits, duplicates, stars,
// exclusion, order, host fetches, HEIC hand-off and dropped folders. Pictures
// are not decoded here: a stand-in decoder refuses empty bytes and text, and
// thumbnails fall back to the bytes; Chromium tests cover decoding.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

/** Stands in for the browser's decoder: empty bytes and text fail, anything else is a 4 × 3 picture. */
async function fakeDecode(blob) {
  const head = new Uint8Array(await blob.slice(0, 4).arrayBuffer());
  if (!head.length || String.fromCharCode(...head) === 'text') throw new Error('not an image');
  return { width: 4, height: 3, close() {} };
}

/**
 * @param {{hosted?: boolean, fetch?: Function, setTimeout?: Function, decode?: Function}} [opts]
 */
function loadStore(opts = {}) {
  const posted = [];
  const revoked = [];
  let urls = 0;
  const globals = {
    Blob, File, TextDecoder, btoa, createImageBitmap: opts.decode || fakeDecode,
    URL: { createObjectURL: () => 'blob:thumb-' + ++urls, revokeObjectURL: (u) => revoked.push(u) },
    fetch: opts.fetch || (async () => { throw new Error('offline'); }),
  };
  if (opts.hosted) globals.chrome = { webview: { postMessage: (m) => posted.push(JSON.parse(m)) } };
  if (opts.setTimeout) globals.setTimeout = opts.setTimeout;
  const { TY } = loadScripts(['i18n', 'bridge', 'photos'], globals);
  return { photos: TY.photos, bridge: TY.bridge, posted, revoked };
}

const file = (name, size = 8) => new File([new Uint8Array(size).fill(7)], name);
const plain = (value) => JSON.parse(JSON.stringify(value));
// Arrays made in the page's realm are copied so deepEqual compares values only.
const names = (list) => Array.from(list, (it) => it.name);
const stars = (photos) => Array.from(photos.items, (it) => it.star);

/** A store holding n photos named p1.png … pn.png. */
async function storeWith(n, opts) {
  const store = loadStore(opts);
  await store.photos.addBlobs(Array.from({ length: n }, (_, i) => file(`p${i + 1}.png`)));
  return store;
}

test('addBlobs takes photo names in any case and counts the rest as skipped', async () => {
  const { photos } = loadStore();
  const result = await photos.addBlobs([
    file('a.JPG'), file('b.jpeg'), file('c.png'), file('d.Bmp'),
    file('notes.txt'), file('e.gif'), file('jpg'), file('f.jpg.zip'),
  ]);
  assert.deepEqual(plain(result), { added: 4, skipped: 4, overflow: 0, lastError: null });
  assert.deepEqual(names(photos.items), ['a.JPG', 'b.jpeg', 'c.png', 'd.Bmp']);
  const first = photos.items[0];
  assert.equal(first.id, 1);
  assert.equal(first.included, true);
  assert.equal(first.star, 0);
  assert.equal(first.bitmap, null);
  assert.equal(first.bitmapBucket, 0);
  assert.equal(first.origin, 'copied');
  assert.equal(first.caption, null);
  assert.equal('memo' in first, false);
  assert.match(first.thumbUrl, /^blob:/);
});

test('files that are no picture are refused at import, saying why, and never counted as added', async () => {
  const { photos } = loadStore();
  const letter = new File(['text, not a photo'], 'letter.jpg');
  const empty = new File([], 'empty.jpg');
  const cases = [
    [[file('ok.jpg'), empty, letter], { added: 1, skipped: 2, overflow: 0, lastError: 'damaged or not a photo' }],
    [[letter, empty], { added: 0, skipped: 2, overflow: 0, lastError: 'the file is empty' }],
  ];
  for (const [files, expected] of cases) assert.deepEqual(plain(await photos.addBlobs(files)), expected);
  assert.deepEqual(names(photos.items), ['ok.jpg']);
  const fetched = loadStore({ fetch: async () => new Response(new Uint8Array(0)) });
  assert.deepEqual(plain(await fetched.photos.addFromHost('https://photos.example/', ['empty.jpg'])),
    { added: 0, skipped: 1, overflow: 0, lastError: 'the file is empty' });
});

test('a duplicate is the same name with the same byte size', async () => {
  const { photos } = loadStore();
  await photos.addBlobs([file('a.jpg', 10)]);
  const result = await photos.addBlobs([file('a.jpg', 10), file('a.jpg', 11), file('b.jpg', 10), file('A.jpg', 10)]);
  assert.equal(result.added, 3);
  assert.equal(result.skipped, 1);
  assert.deepEqual(names(photos.items), ['a.jpg', 'a.jpg', 'b.jpg', 'A.jpg']);
});

test('the 1001st material is overflow', async () => {
  const { photos } = await storeWith(999);
  const result = await photos.addBlobs([file('last.png'), file('one-more.png'), file('bad.gif')]);
  assert.deepEqual(plain(result), { added: 1, skipped: 1, overflow: 1, lastError: null });
  assert.equal(photos.items.length, photos.MAX_PHOTOS);
});

test('a material that waited while the list filled up is overflow', async () => {
  const fetches = [];
  const { photos, bridge, posted } = await storeWith(999, {
    hosted: true,
    fetch: async (url) => { fetches.push(url); return new Response(new Uint8Array(20)); },
  });
  const heic = photos.addBlobs([file('slow.heic')]);
  await new Promise((r) => setTimeout(r, 10));
  assert.equal(posted.length, 1, 'the conversion is under way');
  const quick = await photos.addBlobs([file('quick.png')]);
  assert.equal(quick.added, 1);
  bridge.emit('heicConverted', { reqId: posted[0].reqId, url: 'https://photos.example/__temp/x.jpg' });
  const late = await heic;
  assert.equal(late.overflow, 1);
  assert.equal(late.added, 0);
  assert.equal(photos.items.length, 1000);
});

test('clear empties the list, releases thumbnails and keeps the id counter', async () => {
  const { photos, revoked } = await storeWith(3);
  const list = photos.items;
  const thumbs = Array.from(list, (it) => it.thumbUrl);
  const before = revoked.length;
  photos.clear();
  assert.equal(photos.items.length, 0);
  assert.equal(photos.items, list, 'the controller keeps reading the same array');
  assert.deepEqual(revoked.slice(before), thumbs);
  await photos.addBlobs([file('again.png')]);
  assert.equal(photos.items[0].id, 4);
});

test('stars get the next number, stop at five and close gaps when removed', async () => {
  const { photos } = await storeWith(7);
  const ids = photos.items.map((it) => it.id);
  for (const id of ids.slice(0, 5)) assert.equal(photos.toggleStar(id).changed, true);
  assert.deepEqual(stars(photos), [1, 2, 3, 4, 5, 0, 0]);
  assert.deepEqual(plain(photos.toggleStar(ids[5])), { changed: false, limit: true });
  assert.deepEqual(stars(photos), [1, 2, 3, 4, 5, 0, 0]);
  assert.deepEqual(plain(photos.toggleStar(ids[1])), { changed: true });
  assert.deepEqual(stars(photos), [1, 0, 2, 3, 4, 0, 0]);
  assert.equal(photos.toggleStar(ids[6]).changed, true);
  assert.deepEqual(stars(photos), [1, 0, 2, 3, 4, 0, 5]);
  assert.deepEqual(plain(photos.toggleStar(9999)), { changed: false });
});

test('excluded favourites keep their number and still count towards the cap', async () => {
  const { photos } = await storeWith(6);
  const ids = photos.items.map((it) => it.id);
  for (const id of ids.slice(0, 5)) photos.toggleStar(id);
  photos.toggle(ids[0]);
  assert.equal(photos.toggleStar(ids[5]).limit, true);
  assert.deepEqual(names(photos.starredItems()), ['p2.png', 'p3.png', 'p4.png', 'p5.png']);
});

test('reorderStar moves a favourite and renumbers, clamping the target', async () => {
  const cases = [
    // [star of the moved item, target, stars afterwards of p1..p4, changed]
    [3, 1, [2, 3, 1, 0], true],
    [1, 0, [1, 2, 3, 0], false],
    [1, 99, [3, 1, 2, 0], true],
    [2, 2, [1, 2, 3, 0], false],
    [2, 2.4, [1, 2, 3, 0], false],
  ];
  for (const [from, target, expected, changed] of cases) {
    const { photos } = await storeWith(4);
    for (const it of photos.items.slice(0, 3)) photos.toggleStar(it.id);
    const moved = photos.items.find((it) => it.star === from);
    const result = photos.reorderStar(moved.id, target);
    assert.equal(result.changed, changed, `☆${from} → ${target}`);
    if (changed) assert.equal(result.item, moved);
    assert.deepEqual(stars(photos), expected, `☆${from} → ${target}`);
  }
});

test('reorderStar refuses unstarred items and single favourites', async () => {
  const { photos } = await storeWith(3);
  const [a, b] = photos.items;
  photos.toggleStar(a.id);
  assert.equal(photos.reorderStar(a.id, 2).changed, false, 'only one favourite');
  assert.equal(photos.reorderStar(b.id, 1).changed, false, 'not a favourite');
  assert.equal(photos.reorderStar(12345, 1).changed, false);
});

test('reorderStar never gives two items the same number when one favourite is excluded', async () => {
  const { photos } = await storeWith(3);
  for (const it of photos.items) photos.toggleStar(it.id);
  photos.toggle(photos.items[1].id);
  photos.reorderStar(photos.items[2].id, 1);
  assert.deepEqual(stars(photos), [2, 3, 1]);
  assert.deepEqual(names(photos.starredItems()), ['p3.png', 'p1.png']);
});

test('toggle flips inclusion; the included list keeps list order', async () => {
  const { photos } = await storeWith(4);
  const [a, b, c, d] = photos.items;
  assert.equal(photos.toggle(b.id), b);
  assert.equal(b.included, false);
  photos.toggleStar(d.id);
  photos.toggleStar(a.id);
  photos.toggleStar(b.id);
  assert.deepEqual(names(photos.includedItems()), ['p1.png', 'p3.png', 'p4.png']);
  assert.deepEqual(names(photos.starredItems()), ['p4.png', 'p1.png']);
  photos.toggle(b.id);
  assert.deepEqual(names(photos.starredItems()), ['p4.png', 'p1.png', 'p2.png']);
  assert.equal(photos.toggle(999), undefined);
  assert.equal(c.included, true);
});

test('move accepts only whole in-range positions that differ', async () => {
  const { photos } = await storeWith(4);
  for (const [from, to] of [[0, 0], [0.5, 1], [1, 4], [4, 0], [-1, 2], [1, NaN], ['1', 2]]) {
    assert.equal(photos.move(from, to), false, `move(${from}, ${to})`);
  }
  assert.deepEqual(names(photos.items), ['p1.png', 'p2.png', 'p3.png', 'p4.png']);
  assert.equal(photos.move(0, 3), true);
  assert.deepEqual(names(photos.items), ['p2.png', 'p3.png', 'p4.png', 'p1.png']);
  assert.equal(photos.move(3, 1), true);
  assert.deepEqual(names(photos.items), ['p2.png', 'p1.png', 'p3.png', 'p4.png']);
});

test('setMemo trims and clears; the effective memo prefers it over the caption', async () => {
  const { photos } = await storeWith(1);
  const [item] = photos.items;
  assert.equal(photos.effectiveMemo(item), null);
  item.caption = 'From EXIF';
  assert.equal(photos.effectiveMemo(item), 'From EXIF');
  assert.equal(photos.setMemo(item.id, '  夏の思い出\n'), true);
  assert.equal(item.memo, '夏の思い出');
  assert.equal(photos.effectiveMemo(item), '夏の思い出');
  assert.equal(photos.setMemo(item.id, ' \n '), true);
  assert.equal('memo' in item, false);
  assert.equal(photos.effectiveMemo(item), 'From EXIF');
  assert.equal(photos.setMemo(777, 'x'), false);
});

test('splitMaterials sorts photos, memos and the rest', () => {
  const { photos } = loadStore();
  const split = photos.splitMaterials([
    file('a.HEIC'), file('b.heif'), file('n.TXT'), file('r.md'), file('x.pdf'), file('c.jpg'), file('md'),
  ]);
  assert.deepEqual(names(split.photos), ['a.HEIC', 'b.heif', 'c.jpg']);
  assert.deepEqual(names(split.memos), ['n.TXT', 'r.md']);
  assert.deepEqual(names(split.others), ['x.pdf', 'md']);
});

test('addFromHost fetches each encoded path and reports what failed', async () => {
  const requested = [];
  const answers = {
    'a%20b/%E5%86%99%E7%9C%9F%231.jpg': () => new Response(new Uint8Array(5)),
    'missing.png': () => new Response('', { status: 404 }),
    'phone.heic': () => new Response('', { status: 415 }),
  };
  const { photos } = loadStore({
    fetch: async (url) => {
      requested.push(url);
      const rel = url.slice('https://photos.example/'.length);
      if (!answers[rel]) throw new Error('connection reset');
      return answers[rel]();
    },
  });
  const progress = [];
  const list = ['a b/写真#1.jpg', 'notes.txt', 'missing.png', 'phone.heic', 'broken.bmp'];
  const result = await photos.addFromHost('https://photos.example/', list, (d, t) => progress.push([d, t]), 'copied');
  assert.equal(result.added, 1);
  assert.equal(result.skipped, 4);
  assert.equal(result.lastError, 'connection reset');
  assert.deepEqual(progress, [[1, 5], [2, 5], [3, 5], [4, 5], [5, 5]]);
  assert.equal(requested[0], 'https://photos.example/a%20b/%E5%86%99%E7%9C%9F%231.jpg');
  assert.equal(requested.length, 4, 'the memo name is never fetched');
  assert.equal(photos.items[0].name, 'a b/写真#1.jpg');
  assert.equal(photos.items[0].origin, 'copied');

  const heic = await photos.addFromHost('https://photos.example/', ['phone.heic']);
  assert.equal(heic.lastError, photos.CODEC_HINT);
  const missing = await photos.addFromHost('https://photos.example/', ['missing.png']);
  assert.match(missing.lastError, /404/);
});

test('addFromHost gives host photos the origin "folder" by default', async () => {
  const { photos } = loadStore({ fetch: async () => new Response(new Uint8Array(3)) });
  await photos.addFromHost('https://photos.example/', ['x.png']);
  assert.equal(photos.items[0].origin, 'folder');
});

test('HEIC outside the desktop app is refused with a clear message', async () => {
  const { photos } = loadStore();
  const progress = [];
  const result = await photos.addBlobs([file('a.png'), file('IMG_1.HEIC')], (d, t) => progress.push([d, t]));
  assert.equal(result.added, 1);
  assert.equal(result.skipped, 1);
  assert.equal(result.lastError, 'HEIC is supported in the desktop app only');
  assert.deepEqual(progress, [[2, 2]], 'progress is reported for HEIC files only');
});

test('HEIC up to exactly 100 MB is sent for conversion, one byte more is refused before sending', async () => {
  const { photos, posted } = loadStore({ hosted: true, setTimeout: () => 0 });
  const fake = (size) => {
    const blob = { name: 'big.heic', size, read: 0, async arrayBuffer() { blob.read++; return new Uint8Array([1, 2, 3]).buffer; } };
    return blob;
  };
  const over = fake(104857601);
  const refused = await photos.addBlobs([over]);
  assert.equal(refused.lastError, 'HEIC file is too large (max 100 MB)');
  assert.equal(over.read, 0);
  assert.equal(posted.length, 0);

  photos.addBlobs([fake(104857600)]);
  await new Promise((r) => setTimeout(r, 10));
  assert.equal(posted.length, 1);
  assert.equal(posted[0].cmd, 'convertHeic');
  assert.equal(posted[0].data, 'AQID');
  assert.equal(posted[0].chunkIndex, 0);
  assert.equal(posted[0].totalChunks, 1);
  assert.match(posted[0].reqId, /^h[0-9a-z]{7,}[0-9a-z]{6}$/);
  assert.ok(posted[0].reqId.length <= 32, 'the host accepts at most 32 characters');
});

test('a HEIC answer is matched by request id; errors carry the codec hint', async () => {
  const fetched = [];
  const { photos, bridge, posted } = loadStore({
    hosted: true,
    fetch: async (url) => {
      fetched.push(url);
      return url.endsWith('gone.jpg') ? new Response('', { status: 404 }) : new Response(new Uint8Array(42));
    },
  });
  const started = (n) => new Promise((resolve) => {
    const poll = () => (posted.length >= n ? resolve(posted[n - 1].reqId) : setTimeout(poll, 2));
    poll();
  });

  const ok = photos.addBlobs([file('a.heic', 100)]);
  const okId = await started(1);
  bridge.emit('heicConverted', { reqId: 'hunknown123456', url: 'https://p/__temp/other.jpg' });
  bridge.emit('heicConverted', { reqId: okId, url: 'https://p/__temp/' + okId + '.jpg' });
  assert.equal((await ok).added, 1);
  const converted = 'https://p/__temp/' + okId + '.jpg';
  // The thumbnail is decoded from a copy the host reduces from the converted picture.
  assert.deepEqual(fetched, [converted, converted + '?thumb=240']);
  assert.equal(photos.items[0].name, 'a.heic');
  assert.equal(photos.items[0].blob.size, 42, 'the converted JPEG is kept');
  assert.equal(photos.items[0].sourceUrl, converted);

  const failed = photos.addBlobs([file('b.heic')]);
  bridge.emit('heicConverted', { reqId: await started(2), error: 'unsupported image size (12001x10)' });
  assert.equal((await failed).lastError, photos.CODEC_HINT + ' (unsupported image size (12001x10))');

  const noUrl = photos.addBlobs([file('c.heic')]);
  bridge.emit('heicConverted', { reqId: await started(3) });
  assert.equal((await noUrl).lastError, photos.CODEC_HINT + ' (conversion failed)');

  const gone = photos.addBlobs([file('d.heic')]);
  bridge.emit('heicConverted', { reqId: await started(4), url: 'https://p/__temp/gone.jpg' });
  assert.match((await gone).lastError, /404/);
});

test('a HEIC answer that never comes fails after 30 s and a late answer is ignored', async () => {
  const timers = [];
  const { photos, bridge, posted } = loadStore({
    hosted: true,
    setTimeout: (fn, ms) => { timers.push({ fn, ms }); return timers.length; },
  });
  const pending = photos.addBlobs([file('slow.heic')]);
  while (!posted.length) await new Promise((r) => setImmediate(r));
  assert.deepEqual(timers.map((t) => t.ms), [30000]);
  timers[0].fn();
  const result = await pending;
  assert.equal(result.lastError, 'HEIC conversion timed out');
  bridge.emit('heicConverted', { reqId: posted[0].reqId, url: 'https://p/__temp/late.jpg' });
  assert.equal(photos.items.length, 0);
});

// ------------------------------------------------------------ dropped folders

function fakeFile(name) {
  return { isFile: true, isDirectory: false, name, file: (ok) => ok(file(name)) };
}
function fakeDir(name, children, { failFirstRead = false } = {}) {
  return {
    isFile: false, isDirectory: true, name,
    createReader() {
      let at = 0;
      let failed = !failFirstRead;
      return {
        readEntries(ok, fail) {
          if (!failed) { failed = true; fail(new Error('busy')); return; }
          const batch = children.slice(at, at + 100);
          at += batch.length;
          ok(batch);
        },
      };
    },
  };
}
function transfer(entries, plainFiles = []) {
  const items = [
    ...plainFiles.map((f) => ({ kind: 'file', webkitGetAsEntry: () => null, getAsFile: () => f })),
    { kind: 'string', webkitGetAsEntry: () => null, getAsFile: () => null },
    ...entries.map((e) => ({ kind: 'file', webkitGetAsEntry: () => e, getAsFile: () => null })),
  ];
  return { items, files: [] };
}

test('a dropped folder of 250 files is read in full, sub-folders only when recursive', async () => {
  const { photos } = loadStore();
  const many = Array.from({ length: 250 }, (_, i) => fakeFile(`f${i}.jpg`));
  const sub = fakeDir('sub', [fakeFile('s1.jpg'), fakeDir('deeper', [fakeFile('d1.md')]), fakeFile('s2.txt')]);
  const unreadable = { isFile: true, isDirectory: false, name: 'locked.jpg', file: (ok, fail) => fail(new Error('denied')) };
  const folder = fakeDir('trip', [...many.slice(0, 120), sub, unreadable, ...many.slice(120)]);
  const loose = file('loose.png');

  const flat = await photos.collectDropped(transfer([folder], [loose]), false);
  assert.equal(flat.length, 251);
  assert.equal(flat[0].name, 'loose.png', 'plain files come first');
  assert.equal(flat[250].name, 'f249.jpg');

  const deep = await photos.collectDropped(transfer([folder, fakeFile('top.md')], [loose]), true);
  const order = names(deep);
  assert.equal(deep.length, 255);
  assert.deepEqual(order.slice(120, 125), ['f119.jpg', 's1.jpg', 'd1.md', 's2.txt', 'f120.jpg']);
  assert.equal(order.at(-1), 'top.md');
});

test('a failing directory read counts as the end of the folder', async () => {
  const { photos } = loadStore();
  const folder = fakeDir('x', [fakeFile('a.jpg')], { failFirstRead: true });
  assert.equal((await photos.collectDropped(transfer([folder]), true)).length, 0);
  const fallback = await photos.collectDropped({ items: [], files: [file('p.jpg')] }, true);
  assert.deepEqual(names(fallback), ['p.jpg']);
});

const tick = (ms = 1) => new Promise((r) => setTimeout(r, ms));

test('addFromHost lists photos in the given order however their fetches finish, fetching eight ahead', async () => {
  const pending = [];
  const { photos } = loadStore({ fetch: (url) => new Promise((resolve) => pending.push({ url, resolve })) });
  const list = Array.from({ length: 10 }, (_, i) => `p${i}.png`);
  let finished = false;
  const adding = photos.addFromHost('https://photos.example/', list).finally(() => { finished = true; });
  let mostOpen = 0;
  while (!finished) {
    await tick();
    mostOpen = Math.max(mostOpen, pending.length);
    const latest = pending.pop(); // answered newest first
    if (latest) latest.resolve(new Response(new Uint8Array(8)));
  }
  assert.deepEqual(plain(await adding), { added: 10, skipped: 0, overflow: 0, lastError: null });
  assert.deepEqual(names(photos.items), list);
  assert.equal(mostOpen, 8);
});

test('pictures decode three at a time, started in the order asked', async () => {
  let slow = false;
  let open = 0;
  let mostOpen = 0;
  const started = [];
  const decode = async (blob) => {
    if (!slow) return fakeDecode(blob);
    started.push(blob.size);
    mostOpen = Math.max(mostOpen, ++open);
    await tick(5 + (blob.size % 3) * 7);
    open--;
    return { width: 4, height: 3, close() {} };
  };
  const { photos } = loadStore({ decode });
  await photos.addBlobs(Array.from({ length: 8 }, (_, i) => file(`p${i}.png`, 10 + i)));
  slow = true;
  const progress = [];
  const got = await photos.ensureBitmapsFor([7, 6, 5, 4, 3, 2, 1, 0], 300, (d, t) => progress.push([d, t]));
  assert.equal(mostOpen, 3);
  assert.deepEqual(started, [17, 16, 15, 14, 13, 12, 11, 10]);
  assert.deepEqual(progress, Array.from({ length: 8 }, (_, i) => [i + 1, 8]));
  assert.equal(Object.keys(got).length, 8);
});

test('the cache makes room before it decodes, so it never holds more than it may', async () => {
  let held = [];
  let photos;
  const decode = async (blob) => {
    if (photos) held.push(photos.items.filter((it) => it.bitmap).length);
    return fakeDecode(blob);
  };
  ({ photos } = loadStore({ decode }));
  await photos.addBlobs(Array.from({ length: 6 }, (_, i) => file(`p${i}.png`)));
  await photos.ensureBitmapsFor([0, 1, 2], 128);
  held = [];
  await photos.ensureBitmapsFor([3, 4, 5], 128, null, { maxCached: 3 });
  assert.ok(held.every((n) => n <= 3), `held while decoding: ${held}`);
  assert.deepEqual(Array.from(photos.items, (it) => it.bitmapBucket), [0, 0, 0, 128, 128, 128]);
});

test('in the desktop host, JPEGs are decoded from copies it reduces; a copy that fails falls back to the held bytes', async () => {
  const fetched = [];
  const { photos } = loadStore({
    hosted: true,
    fetch: async (url) => {
      fetched.push(url);
      if (url.includes('broken.jpg?')) return new Response('', { status: 500 });
      return new Response(new Uint8Array(9));
    },
  });
  const base = 'tessary-photo://photo/';
  await photos.addFromHost(base, ['a.jpg', 'b.png', 'broken.jpg']);
  assert.deepEqual(Array.from(photos.items, (it) => it.sourceUrl), [base + 'a.jpg', null, base + 'broken.jpg']);
  assert.deepEqual([...fetched].sort(), [base + 'a.jpg', base + 'a.jpg?thumb=240', base + 'b.png', base + 'broken.jpg',
    base + 'broken.jpg?thumb=240', base + 'broken.jpg?width=240']);
  fetched.length = 0;
  await photos.ensureBitmapsFor([0, 1, 2], 300);
  assert.deepEqual([...fetched].sort(), [base + 'a.jpg?width=384', base + 'broken.jpg?width=384']);
  assert.deepEqual(Array.from(photos.items, (it) => it.bitmapBucket), [384, 384, 384]);
});

test('photos of a folder the host keeps serving hold no bytes: fetched again when needed, and left out once gone', async () => {
  const fetched = [];
  const gone = new Set();
  const { photos } = loadStore({
    hosted: true,
    fetch: async (url) => {
      fetched.push(url);
      if (gone.has(url.split('?')[0])) return new Response('', { status: 404 });
      const type = url.includes('.png') ? 'image/png' : 'image/jpeg';
      return new Response(new Uint8Array(url.includes('?width=') ? 5 : 9).fill(1), { headers: { 'Content-Type': type } });
    },
  });
  const base = 'tessary-photo://photo/__dir/0/';
  assert.deepEqual(plain(await photos.addFromHost(base, ['a.jpg', 'b.png', 'c.heic', 'a.jpg'], undefined, 'folder', { lasting: true })),
    { added: 3, skipped: 1, overflow: 0, lastError: null }, 'the same file again is still a duplicate');
  const [a, b, c] = photos.items;
  assert.deepEqual([a.blob, b.blob, c.blob && c.blob.size], [null, null, 9], 'a HEIC photo keeps its converted bytes');
  assert.deepEqual(Array.from(photos.items, (it) => [it.size, it.type, it.fileUrl]),
    [[9, 'image/jpeg', base + 'a.jpg'], [9, 'image/png', base + 'b.png'], [9, 'image/jpeg', null]]);

  fetched.length = 0;
  assert.equal((await photos.photoBytes(b)).size, 9);
  await photos.ensureBitmapsFor([0, 1], 100);
  assert.deepEqual([...fetched].sort(), [base + 'a.jpg?width=128', base + 'b.png', base + 'b.png']);
  assert.deepEqual([a.bitmapBucket, b.bitmapBucket], [128, 128]);

  gone.add(base + 'a.jpg');
  gone.add(base + 'b.png');
  await assert.rejects(photos.photoBytes(b), /HTTP 404/);
  await photos.ensureBitmapsFor([0, 1, 2], 600);
  assert.deepEqual(Array.from(photos.items, (it) => it.included), [false, false, true], 'gone like an unreadable photo');
});

test('a folder listed with sizes: the host makes the thumbnails and no photo is read whole, unless it must be', async () => {
  const fetched = [];
  const { photos } = loadStore({
    hosted: true,
    fetch: async (url) => {
      fetched.push(url);
      // The host makes no thumbnail of a JPEG it cannot scale.
      if (url.includes('odd.jpg?thumb=')) return new Response(null, { status: 204 });
      return new Response(new Uint8Array(url.includes('?') ? 5 : 9).fill(1), { headers: { 'Content-Type': 'image/jpeg' } });
    },
  });
  const base = 'tessary-photo://photo/__dir/0/';
  const list = ['a.jpg', 'odd.jpg', 'b.png', 'unlisted.jpg', 'a.jpg'];
  const result = await photos.addFromHost(base, list, undefined, 'folder', { lasting: true, sizes: [700, 800, 900, null, 700] });
  assert.deepEqual(plain(result), { added: 4, skipped: 1, overflow: 0, lastError: null }, 'the same file again is a duplicate');
  assert.deepEqual(Array.from(photos.items, (it) => [it.name, it.size, it.type, it.blob]), [
    ['a.jpg', 700, 'image/jpeg', null], ['odd.jpg', 800, 'image/jpeg', null],
    ['b.png', 900, 'image/png', null], ['unlisted.jpg', 9, 'image/jpeg', null]]);
  const asked = (name) => fetched.filter((url) => url.startsWith(base + name)).map((url) => url.slice(base.length));
  // The same file listed twice may be asked for twice while both are prepared; it is listed once.
  assert.deepEqual([...new Set(asked('a.jpg'))], ['a.jpg?thumb=240'], 'only the thumbnail is asked for');
  assert.ok(asked('odd.jpg').includes('odd.jpg?width=240'), 'without a thumbnail from the host, the page makes one');
  assert.equal(asked('b.png')[0], 'b.png', 'a PNG is decoded by the page');
  assert.deepEqual(asked('unlisted.jpg'), ['unlisted.jpg', 'unlisted.jpg?thumb=240'], 'a size not listed is read from the file');
  assert.match(photos.items[0].thumbUrl, /^blob:/);
});
