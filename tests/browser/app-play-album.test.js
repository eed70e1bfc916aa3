'use strict';
// Playback in the preview (pause, resume, Escape) and the work modes with
// album browsing on the generator page, in Chromium.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { ROOT } = require('../lib/browser');
const { appSession, settled, generatedAfter, generation, toastText } = require('../lib/app-page');

// Both flows draw through the renderer's frame function, which arrives with the animation work.
const HAS_FRAMES = fs.readFileSync(path.join(ROOT, 'web', 'js', 'render.js'), 'utf8').includes('drawAnimated');
const needsFrames = { skip: HAS_FRAMES ? false : 'the renderer has no frame function yet' };

let session;
test.before(async () => { session = await appSession(); });
test.after(() => session.close());

const canvasPixels = (page) => page.evaluate(() => document.getElementById('preview').toDataURL('image/png').length
  + ':' + document.getElementById('preview').toDataURL('image/png').slice(-200));

test('play, pause holding the frame, resume, and Escape ending with the still back', needsFrames, async () => {
  const { page, errors, close } = await session.open('?demo=4&lang=en');
  await settled(page);
  const still = await canvasPixels(page);
  await page.fill('#videoSpeed', '25');
  await page.click('#btnPlay');
  await page.waitForFunction(() => window.TY.ui.isPlaying() && window.TY.ui.isBusy());
  assert.equal(await page.locator('#btnPlay').textContent(), '❚❚');
  assert.equal(await page.locator('#btnStop').isHidden(), false);
  assert.equal(await page.locator('#btnShuffle').isDisabled(), true);
  assert.equal(await page.locator('#busyText').textContent(), 'Playing…');
  await page.waitForTimeout(400);
  await page.click('#btnPlay');
  assert.equal(await page.locator('#busyText').textContent(), 'Paused (▶ to resume, Esc to end)');
  assert.equal(await page.locator('#btnPlay').getAttribute('title'), 'Resume from here (Esc to end)');
  const held = await canvasPixels(page);
  await page.waitForTimeout(300);
  assert.equal(await canvasPixels(page), held, 'a paused playback holds its frame');
  await page.click('#btnPlay');
  assert.equal(await page.locator('#btnPlay').getAttribute('title'), 'Pause (Esc to end)');
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => !window.TY.ui.isPlaying() && !window.TY.ui.isBusy());
  assert.equal(await page.locator('#btnStop').isHidden(), true);
  assert.equal(await page.locator('#btnPlay').textContent(), '▶');
  assert.equal(await canvasPixels(page), still, 'the finished still returns');
  assert.deepEqual(errors, []);
  await close();
});

test('modes: album keeps the scatter motion to return to, relabels, browses spreads and reorders by regenerating', needsFrames, async () => {
  const { page, errors, close } = await session.open('?demo=12&lang=en&albumpp=1');
  await settled(page);
  await page.selectOption('#videoMotion', 'sway');
  await page.click('#modeAlbum');
  await page.waitForFunction(() => !document.getElementById('albumNav').hidden && document.getElementById('albumPos').textContent !== '');
  const shown = await page.evaluate(() => ({
    motion: document.getElementById('videoMotion').value,
    selected: document.getElementById('modeAlbum').getAttribute('aria-selected'),
    coverTitle: document.getElementById('videoTitleLabel').textContent,
    desk: document.getElementById('bgLabel').textContent,
    frameHidden: document.getElementById('frameRow').hidden,
    albumShown: !document.getElementById('sectionAlbum').hidden,
    options: [...document.getElementById('videoMotion').options].filter((o) => !o.hidden).map((o) => o.value),
  }));
  assert.deepEqual(shown, { motion: 'album', selected: 'true', coverTitle: 'Cover title', desk: 'Desk surface', frameHidden: true, albumShown: true, options: ['drop', 'sway'] });
  const spreads = await page.evaluate(() => window.TY.ui.albumSpreadCount());
  assert.ok(spreads > 3, `a 12-photo album at one photo a page has several spreads (${spreads})`);
  assert.equal(await page.locator('#albumPos').textContent(), `1 / ${spreads}`);

  await page.keyboard.press('Home');
  await page.waitForFunction(() => window.TY.ui.albumTurn() === null);
  assert.equal(await page.locator('#albumPos').textContent(), 'Cover');
  assert.equal(await page.locator('#albumPrev').isDisabled(), true);
  await page.click('#albumNext');
  await page.waitForFunction(() => window.TY.ui.albumTurn() === null);
  assert.equal(await page.locator('#albumPos').textContent(), `1 / ${spreads}`);
  await page.click('#albumLast');
  await page.waitForFunction(() => window.TY.ui.albumTurn() === null);
  assert.equal(await page.locator('#albumPos').textContent(), `${spreads} / ${spreads}`);
  assert.equal(await page.locator('#albumNext').isDisabled(), true);

  // The ledger mat fixes the page form; the tape pattern applies only to tape mounting.
  await page.click('#btnSettings');
  await page.selectOption('#albumMat', 'ledger');
  const ledger = await page.evaluate(() => ['albumPp', 'albumFit', 'albumMount', 'albumTapePattern'].map((id) => document.getElementById(id).disabled));
  assert.deepEqual(ledger, [true, true, true, true]);
  await page.selectOption('#albumMat', 'black');
  assert.equal(await page.locator('#albumTapePattern').isDisabled(), true);
  await page.selectOption('#albumMount', 'tape');
  assert.equal(await page.locator('#albumTapePattern').isDisabled(), false);
  assert.equal(await page.locator('#albumStar').isDisabled(), true, 'no favourite on top');

  // Album pages follow the list order, so reordering regenerates.
  await page.click('#btnSettings');
  const before = await generation(page);
  await page.dragAndDrop('.thumb:nth-child(1)', '.thumb:nth-child(2)');
  await generatedAfter(page, before);

  await page.click('#btnSettings');
  await page.selectOption('#languageSelect', 'ja');
  assert.equal(await page.locator('#videoTitleLabel').textContent(), '表紙のタイトル');
  await page.click('#modeScatter');
  assert.equal(await page.inputValue('#videoMotion'), 'sway');
  assert.equal(await page.locator('#albumNav').isHidden(), true);
  assert.equal(await page.locator('#videoTitleLabel').textContent(), 'オープニングタイトル');
  // Album pages decoded their own sizes; a restyled scatter still has every picture.
  await page.selectOption('#frameSelect', 'square');
  await page.waitForFunction(() => window.TY.ui.lastVisual().frame === 'square' && !window.TY.ui.isBusy());
  const blank = await page.evaluate(() => {
    const v = window.TY.ui.lastVisual();
    return v.drawList.filter((p) => !window.TY.render.usableBitmap(v.bitmaps[p.photoIndex])).length;
  });
  assert.equal(blank, 0);
  assert.deepEqual(errors, []);
  await close();
});

test('changes during a playback: a drop is refused aloud, and a star, a frame and a memo reach the picture once it ends', needsFrames, async () => {
  const { page, errors, close } = await session.open('?demo=6&lang=en&caption=memo');
  await settled(page);
  const before = await generation(page);
  await page.fill('#videoSpeed', '25');
  await page.click('#btnPlay');
  await page.waitForFunction(() => window.TY.ui.isPlaying());

  const veilShown = await page.evaluate(() => {
    const dt = new DataTransfer();
    dt.items.add(new File(['x'], 'late.jpg', { type: 'image/jpeg' }));
    window.dispatchEvent(new DragEvent('dragenter', { dataTransfer: dt, bubbles: true, cancelable: true }));
    const shown = !document.getElementById('dropVeil').hidden;
    window.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
    return shown;
  });
  assert.equal(veilShown, false, 'no invitation to drop while work runs');
  const refusal = 'Not added because work is in progress. Please try again when it has finished';
  assert.equal(await toastText(page), refusal);
  await page.evaluate(() => { document.getElementById('toast').hidden = true; });
  await page.evaluate(() => window.kobHost.emit('materialFolderPicked', { folder: '/photos', baseUrl: 'http://127.0.0.1:9/', photos: ['x.jpg'] }));
  assert.equal(await toastText(page), refusal, 'a folder the host lists meanwhile is refused the same way');

  await page.click('.thumb:nth-child(2) .thumb-star');
  await page.click('#btnSettings');
  await page.selectOption('#frameSelect', 'stamp');
  await page.click('#btnSettings');
  await page.click('.thumb:nth-child(1) .thumb-open');
  await page.fill('#lightboxMemo', 'typed during play');
  await page.click('#lightboxClose');
  assert.equal(await page.evaluate(() => window.TY.ui.isPlaying()), true, 'the changes were made while playing');
  await page.keyboard.press('Escape');

  await generatedAfter(page, before);
  await page.waitForTimeout(300);
  const result = await page.evaluate(() => {
    const v = window.TY.ui.lastVisual();
    return { frame: v.frame, caption: v.captions[0], spotlight: v.sourceItems[v.drawList[v.spotlightIndex].photoIndex].name,
      items: window.TY.photos.items.length };
  });
  assert.deepEqual(result, { frame: 'stamp', caption: 'typed during play', spotlight: 'Sample02.jpg', items: 6 });
  assert.equal(await generation(page), before + 1, 'one regeneration covers the restyle too');
  assert.deepEqual(errors, []);
  await close();
});

test('album: an excluded photo keeps its picture, the page label follows the language, a restyle there reaches the scatter', needsFrames, async () => {
  const { page, errors, close } = await session.open('?demo=60&lang=en&albumpp=1');
  await settled(page, 60000);
  await page.click('#modeAlbum');
  await page.waitForFunction(() => document.getElementById('albumPos').textContent === '1 / 30' && !window.TY.ui.albumTurn());
  // Far pages are released, so the last photo has to be decoded again, excluded or not.
  await page.locator('.thumb').nth(59).locator('.thumb-include').click();
  await page.click('#albumLast');
  await page.waitForFunction(() => window.TY.ui.albumTurn() === null && document.getElementById('albumPos').textContent === '30 / 30');
  assert.equal(await page.evaluate(() => !!window.TY.ui.buildVideoData().bitmaps[59]), true, 'the excluded photo is not an empty sleeve');

  await page.click('#albumFirst');
  await page.waitForFunction(() => window.TY.ui.albumTurn() === null);
  await page.click('#btnSettings');
  await page.selectOption('#languageSelect', 'ja');
  assert.equal(await page.locator('#albumPos').textContent(), '表紙');
  await page.selectOption('#languageSelect', 'en');
  assert.equal(await page.locator('#albumPos').textContent(), 'Cover');

  let before = await generation(page);
  await page.selectOption('#bgSelect', 'wood');
  await generatedAfter(page, before);
  before = await generation(page);
  await page.click('#modeScatter');
  await generatedAfter(page, before);
  const preview = () => page.evaluate(() => document.getElementById('preview').toDataURL('image/png'));
  const shown = await preview();
  await page.evaluate(() => window.TY.ui.redrawCurrentVisual());
  assert.equal(await preview(), shown, 'the scatter shown is the one the controls describe');
  assert.equal(await page.evaluate(() => window.TY.ui.lastVisual().background), 'wood');
  assert.deepEqual(errors, []);
  await close();
});
