'use strict';
// Materials on the generator page in Chromium: import by file picker and by
// dropping (with the memo warning), unsupported files, the import report,
// exclusion, reordering, stars with their limit and the favourites dock, and
// the viewer with memo editing.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { ROOT } = require('../lib/browser');
const { appSession, settled, generatedAfter, generation, toastText } = require('../lib/app-page');

const EXIF = path.join(ROOT, 'tests', 'fixtures', 'exif');
const jpeg = (name, file = 'plain.jpg') => ({ name, mimeType: 'image/jpeg', buffer: fs.readFileSync(path.join(EXIF, file)) });

let session;
test.before(async () => { session = await appSession(); });
test.after(() => session.close());

/**
 * Drops files on the page the way the browser delivers a drop from outside.
 * @param {any} page @param {Array<{name: string, text?: string, jpeg?: string}>} files
 */
function dropFiles(page, files) {
  const payload = files.map((f) => ({ name: f.name, text: f.text, jpeg: f.jpeg ? fs.readFileSync(path.join(EXIF, f.jpeg)).toString('base64') : null }));
  return page.evaluate((list) => {
    const dt = new DataTransfer();
    for (const f of list) {
      const bytes = f.jpeg ? Uint8Array.from(atob(f.jpeg), (c) => c.charCodeAt(0)) : new TextEncoder().encode(f.text || '');
      dt.items.add(new File([bytes], f.name));
    }
    document.body.dispatchEvent(new DragEvent('dragenter', { dataTransfer: dt, bubbles: true, cancelable: true }));
    document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
  }, payload);
}

test('import by picker and by drop: memo warning, report, generation; unsupported files alone only explain', async () => {
  const { page, errors, close } = await session.open('?lang=en');
  await dropFiles(page, [{ name: 'notes.docx', text: 'x' }, { name: 'clip.gif', text: 'x' }]);
  await page.waitForFunction(() => !document.getElementById('toast').hidden);
  assert.match(await toastText(page), /^No items could be added \(2 in unsupported formats; Supported: photos JPEG \/ PNG \/ BMP \/ HEIC/);
  assert.equal(await page.locator('#toast.error').count(), 1);
  assert.equal(await page.evaluate(() => window.TY.ui.hasResult()), false);

  await page.setInputFiles('#filePicker', [jpeg('red-blue.jpg'), jpeg('sea.jpg', 'orient6-xptitle.jpg')]);
  await settled(page);
  assert.equal(await toastText(page), 'Added 2 items');
  assert.equal(await page.locator('.thumb').count(), 2);
  assert.equal(await page.inputValue('#filePicker'), '', 'the picker is reset so the same files can be chosen again');

  // A drop with a memo asks first; declining still imports the photo.
  let before = await generation(page);
  await dropFiles(page, [{ name: 'again.jpg', jpeg: 'mm-usercomment-unicode.jpg' }, { name: 'diary.txt', text: 'Dear diary\nline two' }]);
  await page.waitForSelector('#confirmDialog:not([hidden])');
  assert.equal(await page.locator('#confirmTitle').textContent(), 'Please do not use sensitive memos');
  assert.match(await page.locator('#confirmMessage').textContent(), /^1 memo file\(s\) are included\./);
  await page.click('#confirmCancel');
  await generatedAfter(page, before);
  assert.equal(await toastText(page), 'Added 1 (1 memos you declined)');
  assert.equal(await page.locator('.thumb').count(), 3);

  before = await generation(page);
  await dropFiles(page, [{ name: 'diary.txt', text: 'Dear diary\nline two' }]);
  await page.click('#confirmOk');
  await generatedAfter(page, before);
  assert.equal(await toastText(page), 'Added 1 item');
  assert.equal(await page.locator('.thumb').count(), 4);
  assert.equal(await page.locator('.thumb').nth(3).locator('.thumb-memo').textContent(), 'Dear diary', 'a memo card shows its first line');

  // The report of a folder that overflows the limit.
  await page.evaluate(() => window.TY.ui.reportMaterialImport({ added: 980, skipped: 0, overflow: 10 }, null, 0, 0));
  assert.equal(await toastText(page), 'Added 980 (10 over the 1000 limit)');
  // The report regenerates; a drop while that runs would be refused.
  await page.waitForFunction(() => !window.TY.ui.isBusy());

  // A refused photo says why, not only that it failed.
  await dropFiles(page, [{ name: 'phone.heic', text: 'x' }]);
  await page.waitForFunction(() => /HEIC/.test(document.getElementById('toast').textContent || ''));
  assert.match(await toastText(page), /^No items could be added \(1 that could not be read: HEIC is supported in the desktop app only; /);
  // A picture that read at its import but no longer decodes is taken out of the picture with a word, and the rest still draws.
  before = await generation(page);
  await page.evaluate(() => Object.assign(window.TY.photos.items[0], { blob: new Blob(['not a picture any more']), bitmap: null, bitmapBucket: 0 }));
  await page.click('#btnShuffle');
  await generatedAfter(page, before);
  assert.equal(await toastText(page), 'Left out 1 photo(s) that could not be read (damaged or in an unsupported format)');
  assert.deepEqual(errors, []);
  await close();
});

test('files that are no picture are named at import, in one notice, and never counted or listed', async () => {
  const { page, errors, close } = await session.open('?lang=en');
  await dropFiles(page, [{ name: 'good.jpg', jpeg: 'plain.jpg' }, { name: 'empty.jpg', text: '' },
    { name: 'letter.jpg', text: 'Dear friend' }, { name: 'clip.gif', text: 'GIF89a' }]);
  await settled(page);
  assert.equal(await toastText(page), 'Added 1 (2 that could not be read: damaged or not a photo, 1 in unsupported formats)');
  assert.deepEqual(await page.evaluate(() => window.TY.photos.items.map((it) => it.name)), ['good.jpg']);
  assert.equal(await page.locator('.thumb').count(), 1);
  assert.equal(await page.locator('#itemCount').textContent(), '1 item');

  // The host may name the files of a folder that are neither photos nor memos.
  await page.evaluate((base) => window.TY.bridge.emit('materialFolderPicked', {
    folder: '/home/u/Pictures', baseUrl: base + '/tests/fixtures/exif/',
    photos: ['orient6-xptitle.jpg'], memos: [], unsupported: ['anim.webp', 'clip.gif'],
  }), session.url);
  await page.waitForFunction(() => window.TY.photos.items.length === 2 && !window.TY.ui.isBusy());
  assert.equal(await toastText(page), 'Added 1 (2 in unsupported formats)');

  await page.evaluate(() => window.TY.i18n.setPreference('ja'));
  await dropFiles(page, [{ name: 'empty2.jpg', text: '' }]);
  await page.waitForFunction(() => /空のファイル/.test(document.getElementById('toast').textContent || ''));
  assert.match(await toastText(page), /^素材を追加できませんでした（読み込めなかった 1 件: 空のファイルです。対応形式/);
  assert.deepEqual(errors, []);
  await close();
});

test('exclusion greys an item without regenerating; reordering in scatter marks unsaved without regenerating', async () => {
  const { page, errors, close } = await session.open('?demo=4&lang=en');
  await settled(page);
  const before = await generation(page);
  await page.locator('.thumb').nth(1).locator('.thumb-include').click();
  assert.equal(await page.locator('#itemCount').textContent(), '3 items');
  assert.equal(await page.locator('.thumb').nth(1).getAttribute('class'), 'thumb excluded');
  assert.equal(await page.locator('.thumb').nth(1).locator('.thumb-include').textContent(), '＋');
  assert.equal(await page.locator('#lightbox').isHidden(), true, 'the badge does not open the viewer');
  await page.dragAndDrop('.thumb:nth-child(1)', '.thumb:nth-child(3)');
  const names = await page.evaluate(() => window.TY.photos.items.map((it) => it.name));
  assert.deepEqual(names, ['Sample02', 'Sample03', 'Sample01', 'Sample04'].map((n) => n + '.jpg'));
  await page.waitForTimeout(300);
  assert.equal(await generation(page), before, 'neither exclusion nor a scatter reorder regenerates');
  // The next Shuffle leaves the excluded item out.
  await page.click('#btnShuffle');
  await generatedAfter(page, before);
  const used = await page.evaluate(() => window.TY.ui.lastVisual().sourceItems.map((it) => it.name));
  assert.equal(used.includes('Sample02.jpg'), false);
  // The reorder rebuilt the list under the drag; files dropped afterwards still arrive.
  await dropFiles(page, [{ name: 'later.jpg', jpeg: 'plain.jpg' }]);
  await page.waitForFunction(() => window.TY.photos.items.length === 5 && !window.TY.ui.isBusy());
  assert.equal(await toastText(page), 'Added 1 item');
  assert.deepEqual(errors, []);
  await close();
});

test('a second drop while the memo question is open: the first ends as declined, and the answer waits for its import', async () => {
  const { page, errors, close } = await session.open('?lang=en');
  await dropFiles(page, [{ name: 'first.jpg', jpeg: 'plain.jpg' }, { name: 'first.txt', text: 'first memo' }]);
  await page.waitForSelector('#confirmDialog:not([hidden])');
  await dropFiles(page, [{ name: 'second.jpg', jpeg: 'plain.jpg' }, { name: 'second.txt', text: 'second memo' }]);
  // Answer the second question while the first import still holds the page.
  await page.evaluate(async () => {
    for (let i = 0; i < 400 && !window.TY.ui.isBusy(); i++) await new Promise((r) => setTimeout(r, 5));
    document.getElementById('confirmOk').click();
  });
  await page.waitForFunction(() => window.TY.photos.items.length === 3 && window.TY.ui.hasResult() && !window.TY.ui.isBusy());
  const items = await page.evaluate(() => window.TY.photos.items.map((it) => it.name.replace(/\.\w+$/, '')));
  assert.deepEqual(items, ['first', 'second', 'second'], 'the first photo without its memo, then the second pair');
  assert.equal(await page.locator('#confirmDialog').isHidden(), true);
  assert.deepEqual(errors, []);
  await close();
});

test('stars: the limit, renumbering, the dock preview and reordering priorities by dragging', async () => {
  const { page, errors, close } = await session.open('?demo=6&lang=en');
  await settled(page);
  const starOf = () => page.evaluate(() => window.TY.photos.items.map((it) => it.star));
  const badge = (i) => page.locator('.thumb').nth(i).locator('.thumb-star');
  for (let i = 0; i < 5; i++) await badge(i).click();
  await badge(5).click();
  assert.equal(await toastText(page), 'You can star up to 5 photos');
  assert.deepEqual(await starOf(), [1, 2, 3, 4, 5, 0]);
  await badge(1).click();
  assert.deepEqual(await starOf(), [1, 0, 2, 3, 4, 0], 'removing ☆2 moves the others up');
  assert.equal(await badge(2).textContent(), '★2');
  assert.equal(await page.locator('.star-slot.filled').count(), 4);
  assert.equal(await page.locator('.star-slot[data-slot="5"]').getAttribute('title'), '☆5: Empty');

  await page.hover('.star-slot[data-slot="1"]');
  await page.waitForSelector('.dock-preview:not([hidden])');
  assert.match(await page.locator('.dock-preview').textContent(), /Sample01\.jpg.*Priority ☆1 \(video spotlight\)/);
  const box = await page.locator('.dock-preview').boundingBox();
  const slot = await page.locator('.star-slot[data-slot="1"]').boundingBox();
  assert.ok(box.x >= 8 && box.y + box.height <= slot.y, 'the card sits above the slot, inside the window');

  const before = await generation(page);
  await page.dragAndDrop('.star-slot[data-slot="3"]', '.star-slot[data-slot="1"]');
  assert.deepEqual(await starOf(), [2, 0, 3, 1, 4, 0], 'old ☆3 becomes ☆1, old ☆1 and ☆2 shift down');
  assert.equal(await toastText(page), 'Star priority changed');
  await generatedAfter(page, before);
  const top = await page.evaluate(() => {
    const v = window.TY.ui.lastVisual();
    return v.sourceItems[v.drawList[v.drawList.length - 1].photoIndex].name;
  });
  assert.equal(top, 'Sample04.jpg');
  assert.deepEqual(errors, []);
  await close();
});

test('viewer: stepping, starring, zoom, and memos that stay in the page and caption the picture', async () => {
  const { page, errors, close } = await session.open('?lang=en&caption=memo');
  await page.setInputFiles('#filePicker', [jpeg('a.jpg'), jpeg('sea.jpg', 'orient6-xptitle.jpg'), jpeg('c.jpg', 'mm-usercomment-unicode.jpg')]);
  await settled(page);
  assert.deepEqual(await page.evaluate(() => window.TY.ui.lastVisual().captions), ['a', '夏の海', 'Big-endian 祭り']);

  await page.locator('.thumb-open').nth(1).click();
  await page.waitForSelector('#lightbox:not([hidden])');
  assert.equal(await page.locator('#lightboxCounter').textContent(), '2 / 3');
  assert.equal(await page.inputValue('#lightboxMemo'), '夏の海');
  const frame = page.frameLocator('#lightboxFrame');
  await frame.locator('#i:not([hidden])').waitFor();
  // Closing without typing keeps the picture's own memo and adds none.
  await page.keyboard.press('Escape');
  assert.equal(await page.locator('#lightbox').isHidden(), true);
  assert.equal(await page.evaluate(() => 'memo' in window.TY.photos.items[1]), false);

  await page.locator('.thumb-open').nth(0).click();
  assert.equal(await page.locator('#lightboxPrev').isDisabled(), true);
  await page.keyboard.press('ArrowRight');
  assert.equal(await page.locator('#lightboxCounter').textContent(), '2 / 3');
  await page.click('#lightboxStar');
  assert.equal(await page.locator('#lightboxStar').textContent(), '★1');
  await frame.locator('#i:not([hidden])').click();
  assert.equal(await frame.locator('body').getAttribute('class'), 'zoom');

  await page.click('#lightboxMemo');
  await page.keyboard.press('Control+A');
  await page.keyboard.type('Rainy day');
  await page.keyboard.press('Enter');
  await page.keyboard.type('at the beach');
  assert.equal(await page.inputValue('#lightboxMemo'), 'Rainy day\nat the beach', 'R and Enter stay in the memo');
  await page.click('#lightboxClose');
  await page.waitForFunction(() => window.TY.ui.lastVisual().captions[1] !== '夏の海' && !window.TY.ui.isBusy());
  const after = await page.evaluate(() => ({ memo: window.TY.photos.items[1].memo, captions: window.TY.ui.lastVisual().captions }));
  assert.equal(after.memo, 'Rainy day\nat the beach');
  assert.equal(after.captions[1], 'Rainy day at the beach');
  assert.equal(await page.locator('.thumb').nth(1).locator('.thumb-memo').textContent(), 'Rainy day\nat the beach');
  assert.deepEqual(errors, []);
  await close();
});
