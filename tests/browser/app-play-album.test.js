'use strict';
// Playback in the preview (pause, resume, Escape) and the work modes with
// album browsing on the generator page, in Chromium.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { ROOT } = require('../lib/browser');
const { appSession, settled, generatedAfter, generation } = require('../lib/app-page');

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
