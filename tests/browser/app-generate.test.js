'use strict';
// The generator page's main flow in Chromium: the sample pile with starred
// favourites, Shuffle and R, the lock, style and title redraws, favourites
// placement by photo size, fixed layouts, page-address parameters, stored
// switches and switching the display language.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { ROOT } = require('../lib/browser');
const { appSession, settled, generatedAfter, generation } = require('../lib/app-page');

let session;
test.before(async () => { session = await appSession(); });
test.after(() => session.close());

/** Photo indexes of the featured prints, in drawing order, and the entry count. */
const featured = (page) => page.evaluate(() => {
  const v = window.TY.ui.lastVisual();
  return { stars: v.drawList.filter((p) => p.featured).map((p) => p.photoIndex), last: v.drawList[v.drawList.length - 1], count: v.drawList.length };
});

test('demo with two stars: favourites on top, ☆1 last; Shuffle and R regenerate, never twice at once', async () => {
  const { page, errors, close } = await session.open('?demo=10&stars=2&lang=en');
  await page.waitForFunction(() => window.TY.photos.items.filter((it) => it.star > 0).length === 2 && window.TY.ui.generationId() >= 2
    && !window.TY.ui.isBusy(), null, { timeout: 30000 });
  const pile = await featured(page);
  assert.deepEqual(pile.stars, [1, 0], '☆2 (second item) below ☆1 (first item)');
  assert.equal(pile.last.photoIndex, 0);
  assert.equal(await page.locator('#itemCount').textContent(), '10 items');
  assert.equal(await page.locator('.star-slot.filled').count(), 2);
  assert.equal(await page.locator('#previewWrap').isHidden(), false);
  assert.equal(await page.locator('#emptyState').isHidden(), true);

  const out = path.join(ROOT, 'out', 'preview');
  fs.mkdirSync(out, { recursive: true });
  const png = await page.evaluate(() => document.getElementById('preview').toDataURL('image/png'));
  fs.writeFileSync(path.join(out, 'demo-stars.png'), Buffer.from(png.split(',')[1], 'base64'));

  let before = await generation(page);
  await page.keyboard.press('r');
  await generatedAfter(page, before);
  before = await generation(page);
  await page.click('#btnShuffle');
  await generatedAfter(page, before);
  before = await generation(page);
  // A second start while the first runs is refused.
  await page.evaluate(() => { window.TY.ui.regenerate(); window.TY.ui.regenerate(); });
  await generatedAfter(page, before);
  await page.waitForTimeout(300);
  assert.equal(await generation(page), before + 1);

  // R typed into a text field is text, not a shuffle.
  before = await generation(page);
  await page.click('#btnSettings');
  await page.fill('#videoTitle', '');
  await page.type('#videoTitle', 'Rr');
  await page.waitForTimeout(250);
  assert.equal(await generation(page), before);
  assert.equal(await page.inputValue('#videoTitle'), 'Rr');
  assert.deepEqual(errors, []);
  await close();
});

test('style redraw raises the generation by one, a title change by none; both mark unsaved', async () => {
  const { page, errors, close } = await session.open('?demo=4&lang=en', {
    init: 'window.chrome = { webview: { postMessage: (m) => (window.__posted = window.__posted || []).push(JSON.parse(m)), addEventListener() {} } };',
  });
  await settled(page);
  const sent = () => page.evaluate(() => window.__posted.filter((m) => m.cmd === 'setUnsavedResult').map((m) => m.value));
  assert.deepEqual(await sent(), [true]);
  const before = await generation(page);
  const list = await page.evaluate(() => window.TY.ui.lastVisual().drawList.length);
  await page.click('#btnSettings');
  await page.selectOption('#frameSelect', 'stamp');
  await page.waitForFunction((n) => window.TY.ui.generationId() === n + 1, before);
  await page.fill('#imageTitle', 'Summer');
  await page.waitForFunction(() => (window.TY.ui.lastVisual().imageTitleCfg || {}).text === 'Summer');
  const after = await page.evaluate(() => ({ gen: window.TY.ui.generationId(), v: window.TY.ui.lastVisual() }));
  assert.equal(after.gen, before + 1);
  assert.equal(after.v.frame, 'stamp');
  assert.equal(after.v.drawList.length, list, 'the layout stays');
  assert.equal(await page.evaluate(() => window.TY.render.getTitleBox() !== null), true);
  // An own background: a file that cannot be decoded returns the select to the last backdrop.
  await page.selectOption('#bgSelect', 'wood');
  await page.selectOption('#bgSelect', 'custombg');
  await page.setInputFiles('#customBgPicker', { name: 'broken.png', mimeType: 'image/png', buffer: Buffer.from('not a picture') });
  await page.waitForFunction(() => document.getElementById('toast').textContent.startsWith('Could not use'));
  assert.equal(await page.inputValue('#bgSelect'), 'wood');
  await page.selectOption('#bgSelect', 'custombg');
  const desk = fs.readFileSync(path.join(ROOT, 'tests', 'fixtures', 'exif', 'plain.jpg'));
  await page.setInputFiles('#customBgPicker', { name: 'desk.jpg', mimeType: 'image/jpeg', buffer: desk });
  await page.waitForFunction(() => window.TY.ui.lastVisual().background === 'custombg');
  assert.match(await page.locator('#toast').textContent(), /^Background set/);
  assert.equal(await page.inputValue('#bgSelect'), 'custombg');
  // Clear empties the list, forgets the result and clears the mark.
  await page.click('#btnSettings');
  await page.click('#btnClear');
  assert.equal(await page.evaluate(() => window.TY.ui.hasResult()), false);
  assert.deepEqual(await sent(), [true, false]);
  assert.equal(await page.locator('#emptyState').isHidden(), false);
  assert.match(await page.locator('#toast').textContent(), /Emptied the photo list/);
  assert.deepEqual(errors, []);
  await close();
});

test('favourites on top by photo size, all of them without repeats; fixed layouts scale and drop missing photos', async () => {
  const { page, errors, close } = await session.open('?demo=6&lang=en');
  await settled(page);
  const run = (cheki, noRepeat) => page.evaluate(async ([c, nr]) => {
    document.getElementById('chekiSize').value = c;
    document.getElementById('chkNoRepeat').checked = nr;
    await window.TY.ui.regenerate();
    const v = window.TY.ui.lastVisual();
    return { stars: v.drawList.filter((p) => p.featured).map((p) => p.photoIndex), tiles: v.drawList.filter((p) => !p.featured).map((p) => p.photoIndex) };
  }, [cheki, noRepeat]);
  await page.evaluate(() => { for (const it of window.TY.photos.items.slice(0, 3)) window.TY.photos.toggleStar(it.id); });
  const large = await run('l', false);
  assert.deepEqual(large.stars, [1, 0]);
  assert.ok(large.tiles.includes(2), '☆3 lies among the tiles');
  assert.deepEqual((await run('s', false)).stars, [2, 1, 0]);
  assert.deepEqual((await run('xxl', false)).stars, [0]);
  const noRepeat = await run('xxl', true);
  assert.deepEqual(noRepeat.stars, [2, 1, 0]);
  assert.deepEqual([...noRepeat.tiles].sort(), [3, 4, 5], 'each other photo exactly once');

  const fixed = await page.evaluate(async () => {
    document.getElementById('sizePreset').value = 'wqhd';
    await window.TY.ui.regenerate({ w: 1920, h: 1080, drawList: [
      { photoIndex: 4, x: 300, y: 300, outerW: 240, outerH: 267, rot: 0.2 },
      { photoIndex: 9, x: 10, y: 10, outerW: 240, outerH: 267, rot: 0 },
      { photoIndex: 0, x: 960, y: 540, outerW: 300, outerH: 334, rot: -0.1, featured: true },
    ] });
    const v = window.TY.ui.lastVisual();
    return { w: v.w, h: v.h, list: v.drawList.map((p) => [p.photoIndex, p.x, p.y, p.outerW, p.outerH, !!p.featured]), spot: v.spotlightIndex };
  });
  assert.deepEqual(fixed.list, [[4, 400, 400, 320, 356], [0, 1280, 720, 400, 334 * 4 / 3, true]].map((e) => (e.length === 5 ? [...e, false] : e)));
  assert.equal(fixed.spot, 1);
  assert.deepEqual([fixed.w, fixed.h], [2560, 1440]);
  assert.deepEqual(errors, []);
  await close();
});

test('page-address parameters and stored switches set the controls and the output', async () => {
  const init = "localStorage.setItem('tessary.starEmphasisMode', 'large'); localStorage.setItem('tessary.starDim', '1');";
  const query = '?lang=en&theme=light&demo=3&size=1000x700&cheki=m&bg=wood&frame=pin&filter=sepia&caption=file'
    + '&norepeat&density=40&titlecolor=%23c0392b&titlefree&freepos=0.2,0.8&cfont=bogus';
  const { page, errors, close } = await session.open(query, { init });
  await settled(page);
  const state = await page.evaluate(() => {
    const val = (id) => document.getElementById(id).value;
    const on = (id) => document.getElementById(id).checked;
    const v = window.TY.ui.lastVisual();
    return {
      theme: document.documentElement.dataset.theme, preset: val('sizePreset'), custom: [val('customW'), val('customH')],
      customShown: !document.getElementById('customSizeFields').hidden,
      cheki: val('chekiSize'), bg: val('bgSelect'), frame: val('frameSelect'), filter: val('filterSelect'),
      caption: val('captionMode'), cfont: val('captionFont'), noRepeat: on('chkNoRepeat'), density: val('densitySlider'),
      densityLabel: document.getElementById('densityLabel').textContent,
      emphasis: val('starEmphasisMode'), dim: on('chkStarDim'), translucentEnabled: !document.getElementById('chkStarDimTranslucent').disabled,
      title: window.TY.ui.currentImageTitleCfg(), size: [v.w, v.h], captions: v.captions,
    };
  });
  assert.equal(state.theme, 'light');
  assert.equal(state.preset, 'custom');
  assert.deepEqual(state.custom, ['1000', '700']);
  assert.equal(state.customShown, true);
  assert.deepEqual(state.size, [1000, 700]);
  assert.deepEqual([state.cheki, state.bg, state.frame, state.filter, state.caption, state.cfont], ['m', 'wood', 'pin', 'sepia', 'file', 'gothic']);
  assert.deepEqual([state.noRepeat, state.density, state.densityLabel], [true, '40', '+40%']);
  assert.deepEqual([state.emphasis, state.dim, state.translucentEnabled], ['large', true, true]);
  assert.equal(state.title, null, 'no title text: no title record');
  assert.deepEqual(state.captions, ['Sample01', 'Sample02', 'Sample03']);
  await page.click('#btnSettings');
  await page.fill('#imageTitle', 'Hi');
  const title = await page.evaluate(() => window.TY.ui.currentImageTitleCfg());
  assert.deepEqual(title, { text: 'Hi', font: 'gothic', size: 64, style: 'bold', color: '#c0392b', position: 'bottom-center', free: true, freePos: { x: 0.2, y: 0.8 } });
  // A custom size typed out of range is corrected when next used.
  await page.fill('#customW', '9000');
  await page.dispatchEvent('#customW', 'change');
  await page.waitForFunction(() => window.TY.ui.lastVisual().w === 8192 && !window.TY.ui.isBusy());
  assert.equal(await page.inputValue('#customW'), '8192');
  // Changing the emphasis is kept for the next run.
  await page.selectOption('#starEmphasisMode', 'slight');
  assert.equal(await page.evaluate(() => localStorage.getItem('tessary.starEmphasisMode')), 'slight');
  assert.deepEqual(errors, []);
  await close();
});

test('switching the display language keeps the preset and retranslates labels, counts and the display size', async () => {
  const { page, errors, close } = await session.open('?demo=2&lang=en');
  await settled(page);
  await page.evaluate(() => window.TY.bridge.emit('displayInfo', { w: 2560, h: 1600, liveEpoch: 1 }));
  assert.equal(await page.locator('#sizePreset option[value="display"]').textContent(), 'Your PC resolution (2560 × 1600)');
  await page.selectOption('#sizePreset', 'video-post');
  await settled(page);
  await page.click('#btnSettings');
  await page.selectOption('#languageSelect', 'ja');
  const ja = await page.evaluate(() => ({
    preset: document.getElementById('sizePreset').value,
    label: document.querySelector('#sizePreset option[value="video-post"]').textContent,
    count: document.getElementById('itemCount').textContent,
    thumbTip: document.querySelector('.thumb-open').title,
    speed: document.getElementById('btnPlay').title,
  }));
  assert.equal(ja.preset, 'video-post');
  assert.equal(ja.label, '1080 × 1920（動画投稿）');
  assert.equal(ja.count, '2 件');
  assert.match(ja.thumbTip, /クリックで拡大/);
  assert.match(ja.speed, /再生/);
  assert.equal(await page.evaluate(() => window.TY.ui.lastVisual().w), 1080);
  assert.equal(await page.evaluate(() => localStorage.getItem('tessary.language')), 'ja');
  assert.deepEqual(errors, []);
  await close();
});

test('free title placement starts where the title is and a drag past the edge stops at the edge', async () => {
  const { page, errors, close } = await session.open('?demo=2&lang=en');
  await settled(page);
  await page.click('#btnSettings');
  await page.fill('#imageTitle', 'Hello there');
  await page.waitForFunction(() => (window.TY.ui.lastVisual().imageTitleCfg || {}).text === 'Hello there');
  const titleBox = () => page.evaluate(() => window.TY.render.getTitleBox());
  const fixedBox = await titleBox();
  await page.check('#chkTitleFree');
  await page.waitForFunction(() => window.TY.ui.lastVisual().imageTitleCfg.free);
  const freeBox = await titleBox();
  for (const key of ['x', 'y', 'w', 'h']) assert.ok(Math.abs(freeBox[key] - fixedBox[key]) < 1.5, `${key} stays`);
  assert.equal(await page.locator('#titlePosition button').first().isDisabled(), true);

  const rect = await page.locator('#preview').boundingBox();
  const scale = rect.width / 1920;
  const start = { x: rect.x + (freeBox.x + freeBox.w / 2) * scale, y: rect.y + (freeBox.y + freeBox.h / 2) * scale };
  await page.mouse.move(start.x, start.y);
  await page.mouse.down();
  await page.mouse.move(start.x + 2000, start.y + 2000, { steps: 4 });
  await page.mouse.up();
  await page.waitForFunction(() => { const p = window.TY.ui.lastVisual().imageTitleCfg.freePos; return p.x === 1 && p.y === 1; });
  assert.deepEqual(errors, []);
  await close();
});
