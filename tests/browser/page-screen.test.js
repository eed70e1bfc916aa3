'use strict';
// The generator page's screen in Chromium: both languages and themes (with
// screenshots to look at), switching language, notices, the confirm dialog,
// help, zoom suppression, the drop veil and the sample photos.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { startServer, launchBrowser, ROOT } = require('../lib/browser');

const OUT = path.join(ROOT, 'out', 'test-screen');
let server;
let chromium;

test.before(async () => {
  server = await startServer();
  chromium = await launchBrowser();
  fs.mkdirSync(OUT, { recursive: true });
});
test.after(async () => {
  if (shared) await shared.close();
  await chromium.close();
  await server.close();
});

/**
 * Opens index.html; `clock` installs Playwright's fake clock first.
 * @param {string} query
 * @param {{locale?: string, clock?: boolean, width?: number}} [opts]
 */
async function openPage(query, opts = {}) {
  const context = await chromium.browser.newContext({
    viewport: { width: opts.width || 1366, height: 800 }, locale: opts.locale || 'en-US',
  });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e));
  if (opts.clock) await page.clock.install();
  await page.goto(`${server.url}/web/index.html${query}`);
  return { page, errors, close: () => context.close() };
}

const text = (page, selector) => page.locator(selector).first().textContent();

/** One English page shared by the checks that leave no state behind. */
let shared = null;
async function sharedPage() {
  if (!shared) shared = await openPage('?lang=en');
  return shared.page;
}

test('both languages and both themes render the empty screen', async () => {
  const cases = [
    ['?lang=ja&theme=dark', 'ja', 'dark', '写真やメモをここにドロップ', 'rgb(28, 25, 22)'],
    ['?lang=en&theme=light', 'en', 'light', 'Drop your photos and memos here', 'rgb(245, 242, 236)'],
  ];
  for (const [query, lang, theme, heading, background] of cases) {
    const { page, errors, close } = await openPage(query);
    const state = await page.evaluate(() => ({
      lang: document.documentElement.lang,
      theme: document.documentElement.dataset.theme,
      title: document.title,
      background: getComputedStyle(document.body).backgroundColor,
      folderTooltip: document.getElementById('btnPickFolder').title,
      placeholder: document.getElementById('imageTitle').placeholder,
      loopLabel: document.getElementById('liveLoopMode').getAttribute('aria-label'),
      stageHidden: document.getElementById('previewWrap').hidden,
      footerShown: getComputedStyle(document.getElementById('footer')).display !== 'none',
      // Swapping a text twin replaces the whole content: it must hold text only.
      twinsWithChildren: [...document.querySelectorAll('[data-en]')].filter((el) => el.children.length).map((el) => el.outerHTML.slice(0, 60)),
    }));
    assert.equal(state.lang, lang, query);
    assert.equal(state.theme, theme, query);
    assert.equal(await text(page, '#emptyState h2'), heading, query);
    assert.equal(state.background, background, query);
    assert.equal(state.footerShown, false, 'hidden elements stay hidden whatever their display rule');
    assert.deepEqual(state.twinsWithChildren, []);
    if (lang === 'en') {
      assert.equal(state.title, 'Tessary');
      assert.equal(state.folderTooltip, 'Load the photos and memos in a folder');
      assert.equal(state.placeholder, 'e.g. Gion Festival (Kyoto)');
      assert.equal(state.loopLabel, 'Loop mode');
    } else {
      assert.match(state.title, /^Tessary - /);
      assert.equal(state.loopLabel, 'ループ方法');
    }
    await page.screenshot({ path: path.join(OUT, `empty-${lang}-${theme}.png`) });
    assert.deepEqual(errors, [], query);
    await close();
  }
});

test('the settings panel and help render in both languages', async () => {
  const { page, errors, close } = await openPage('?lang=ja&theme=dark');
  await page.click('#btnSettings');
  assert.equal(await page.getAttribute('#btnSettings', 'aria-expanded'), 'true');
  await page.screenshot({ path: path.join(OUT, 'settings-ja.png') });
  await page.selectOption('#languageSelect', 'en');
  await page.click('#btnSettings');
  assert.equal(await page.isHidden('#settingsPanel'), true);
  await page.click('#btnHelp');
  assert.equal(await text(page, '#helpTitle'), 'How to use Tessary');
  await page.screenshot({ path: path.join(OUT, 'help-en.png') });
  await page.keyboard.press('Escape');
  assert.equal(await page.isHidden('#helpDialog'), true);
  assert.deepEqual(errors, []);
  await close();
});

test('switching the language swaps static texts, keeps a shown notice and tells no one twice', async () => {
  const { page, errors, close } = await openPage('', { locale: 'ja-JP' });
  assert.equal(await page.evaluate(() => document.documentElement.lang), 'ja');
  assert.equal(await page.inputValue('#languageSelect'), 'auto');
  await page.evaluate(() => TY.ui.toast(TY.i18n.T('日本語の通知', 'English notice')));
  await page.click('#btnSettings');
  await page.selectOption('#languageSelect', 'en');
  const after = await page.evaluate(() => ({
    heading: document.querySelector('#emptyState h2').textContent,
    option: document.querySelector('#frameSelect option[value="cheki"]').textContent,
    toast: document.getElementById('toast').textContent,
    stored: localStorage.getItem('tessary.language'),
    title: document.title,
  }));
  assert.deepEqual(after, {
    heading: 'Drop your photos and memos here', option: 'Instant (default)',
    toast: '日本語の通知', stored: 'en', title: 'Tessary',
  });
  await page.selectOption('#languageSelect', 'ja');
  assert.equal(await text(page, '#frameSelect option[value="cheki"]'), 'チェキ（標準）');
  assert.match(await page.title(), /^Tessary - /);
  assert.deepEqual(errors, []);
  await close();
});

test('the theme select applies and stores the theme', async () => {
  const { page, close } = await openPage('?lang=en');
  assert.equal(await page.evaluate(() => document.documentElement.dataset.theme), 'dark');
  await page.click('#btnSettings');
  await page.selectOption('#themeSelect', 'light');
  assert.deepEqual(await page.evaluate(() => [document.documentElement.dataset.theme, localStorage.getItem('tessary.theme')]), ['light', 'light']);
  await page.reload();
  assert.equal(await page.evaluate(() => document.documentElement.dataset.theme), 'light');
  await close();
});

test('notices last 3200 ms; a new one replaces the text and restarts the time', async () => {
  const { page, close } = await openPage('?lang=en', { clock: true });
  await page.evaluate(() => TY.ui.toast('first'));
  await page.clock.runFor(3000);
  await page.evaluate(() => TY.ui.toast('second', true));
  await page.clock.runFor(3000);
  assert.deepEqual(await page.evaluate(() => {
    const el = document.getElementById('toast');
    return [el.hidden, el.textContent, el.classList.contains('error')];
  }), [false, 'second', true]);
  await page.clock.runFor(300);
  assert.equal(await page.isHidden('#toast'), true);
  await close();
});

test('confirm dialog: text field rules, second action, cancel paths', async () => {
  const page = await sharedPage();
  const open = (extra) => page.evaluate((extra) => {
    window.__log = [];
    TY.ui.showConfirm({
      title: 'Save creation', message: 'Line one\nLine two', okLabel: 'Save',
      onOk: (t) => window.__log.push(['ok', t === undefined ? null : t]),
      onCancel: () => window.__log.push(['cancel']),
      ...extra,
      ...(extra.second ? { secondLabel: 'Other', onSecond: (t) => window.__log.push(['second', t === undefined ? null : t]) } : {}),
    });
  }, extra);
  const log = () => page.evaluate(() => window.__log);

  await open({ input: '   ' });
  assert.equal(await page.isHidden('#confirmSecond'), true, 'no second button without a label');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'confirmInput');
  await page.keyboard.press('Enter');
  assert.equal(await page.isVisible('#confirmDialog'), true, 'blank text keeps the dialog open');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'confirmInput');
  await page.fill('#confirmInput', '  Summer trip  ');
  await page.keyboard.press('Enter');
  assert.deepEqual(await log(), [['ok', 'Summer trip']]);
  assert.equal(await page.isHidden('#confirmDialog'), true);

  await open({ input: 'x'.repeat(100) });
  assert.equal((await page.inputValue('#confirmInput')).length, 80);
  await page.keyboard.press('Escape');
  assert.deepEqual(await log(), [['cancel']]);

  await open({ second: true });
  assert.equal(await page.isHidden('#confirmInput'), true);
  assert.equal(await text(page, '#confirmMessage'), 'Line one\nLine two');
  await page.click('#confirmSecond');
  assert.deepEqual(await log(), [['second', null]]);

  await open({});
  await page.mouse.click(5, 5);
  assert.deepEqual(await log(), [['cancel']], 'a click on the backdrop cancels');
});

test('Ctrl with + - = 0 and Ctrl+wheel do not zoom the page', async () => {
  const page = await sharedPage();
  const prevented = await page.evaluate(() => {
    const key = (k, ctrlKey) => {
      const e = new KeyboardEvent('keydown', { key: k, ctrlKey, cancelable: true, bubbles: true });
      document.body.dispatchEvent(e);
      return e.defaultPrevented;
    };
    const wheel = new WheelEvent('wheel', { deltaY: -100, ctrlKey: true, cancelable: true, bubbles: true });
    document.body.dispatchEvent(wheel);
    return { plus: key('+', true), minus: key('-', true), eq: key('=', true), zero: key('0', true), plain: key('+', false), wheel: wheel.defaultPrevented };
  });
  assert.deepEqual(prevented, { plus: true, minus: true, eq: true, zero: true, plain: false, wheel: true });
});

test('the drop veil shows for outside files only and hides once the drag has left', async () => {
  const page = await sharedPage();
  const states = await page.evaluate(() => {
    const veil = () => !document.getElementById('dropVeil').hidden;
    const fire = (type, dt, target = document.body) => target.dispatchEvent(new DragEvent(type, { dataTransfer: dt, bubbles: true, cancelable: true }));
    const files = new DataTransfer();
    files.items.add(new File(['x'], 'a.txt'));
    const out = [];
    fire('dragenter', files);
    fire('dragenter', files, document.getElementById('stage'));
    out.push(veil());
    fire('dragleave', files, document.getElementById('stage'));
    out.push(veil());
    fire('dragleave', files);
    fire('dragleave', files);
    out.push(veil());
    const internal = new DataTransfer();
    internal.setData('application/x-tessary-photo', '3');
    fire('dragenter', internal);
    out.push(veil());
    return out;
  });
  assert.deepEqual(states, [true, true, false, false]);
});

test('sample photos are imported with a notice and the empty card goes away', async () => {
  const { page, errors, close } = await openPage('?lang=ja&theme=light');
  await page.click('#btnSamples');
  await page.waitForFunction(() => TY.photos.items.length === 10 && !TY.ui.isBusy());
  const state = await page.evaluate(() => ({
    names: TY.photos.items.map((it) => it.name),
    toast: document.getElementById('toast').textContent,
    empty: document.getElementById('emptyState').hidden,
    count: document.getElementById('itemCount').textContent,
    clear: document.getElementById('btnClear').hidden,
  }));
  assert.equal(state.names[0], 'サンプル01.jpg');
  assert.equal(state.names[9], 'サンプル10.jpg');
  assert.equal(state.toast, '10 件を追加しました');
  assert.equal(state.empty, true);
  assert.equal(state.count, '10 件');
  assert.equal(state.clear, false);
  await page.screenshot({ path: path.join(OUT, 'samples-imported-ja-light.png') });
  assert.deepEqual(errors, []);
  await close();
});

test('importing only unsupported files explains the supported formats', async () => {
  const page = await sharedPage();
  await page.evaluate(() => TY.ui.importFiles([new File(['x'], 'a.pdf'), new File(['y'], 'b.gif')]));
  assert.equal(await text(page, '#toast'),
    'No items could be added (2 in unsupported formats; Supported: photos JPEG / PNG / BMP / HEIC, memos UTF-8 .txt / .md (first 50 lines))');
  assert.equal(await page.evaluate(() => document.getElementById('toast').classList.contains('error')), true);
});

test('memos are imported only after the warning is accepted', async () => {
  const { page, close } = await openPage('?lang=en');
  const importing = page.evaluate(() => TY.ui.importFiles([new File(['Trip\nday one'], 'trip.txt')]));
  await page.waitForSelector('#confirmDialog:not([hidden])');
  assert.equal(await text(page, '#confirmTitle'), 'Please do not use sensitive memos');
  await page.click('#confirmCancel');
  await importing;
  assert.match(await text(page, '#toast'), /1 memos you declined/);
  assert.equal(await page.evaluate(() => TY.photos.items.length), 0);

  const again = page.evaluate(() => TY.ui.importFiles([new File(['Trip\nday one'], 'trip.txt')]));
  await page.waitForSelector('#confirmDialog:not([hidden])');
  await page.click('#confirmOk');
  await again;
  assert.equal(await text(page, '#toast'), 'Added 1 item');
  assert.equal(await page.evaluate(() => TY.photos.items[0].origin), 'memo');
  await close();
});

test('the demo address parameter imports that many sample photos', async () => {
  const { page, close } = await openPage('?lang=en&demo=3');
  await page.waitForFunction(() => TY.photos.items.length === 3 && !TY.ui.isBusy());
  assert.deepEqual(await page.evaluate(() => TY.photos.items.map((it) => it.name)), ['Sample01.jpg', 'Sample02.jpg', 'Sample03.jpg']);
  await close();
});

test('the tape sample in the settings is painted without a random sequence, like every unseeded tape', async () => {
  const page = await sharedPage();
  for (const pattern of ['sakura', 'none', 'dots']) {
    const same = await page.evaluate((key) => {
      const select = document.getElementById('albumTapePattern');
      select.value = key;
      select.dispatchEvent(new Event('change'));
      const sample = document.getElementById('albumTapeSwatch');
      const ref = document.createElement('canvas');
      ref.width = 52;
      ref.height = 20;
      const ctx = ref.getContext('2d');
      ctx.translate(26, 10);
      TY.render.paintTape(ctx, 48, 14, undefined, 0, key, 0.7);
      const a = sample.getContext('2d').getImageData(0, 0, 52, 20).data;
      const b = ref.getContext('2d').getImageData(0, 0, 52, 20).data;
      return [sample.width, sample.height].join('x') === '52x20' && a.every((v, i) => v === b[i]);
    }, pattern);
    assert.equal(same, true, pattern);
  }
});

test('notices lie over the picture, never over the footer, the tray, the settings panel or the viewer memo', async () => {
  const { page, errors, close } = await openPage('?demo=3&lang=en');
  await page.waitForFunction(() => window.TY.ui.hasResult() && !window.TY.ui.isBusy(), null, { timeout: 20000 });
  const clearOf = (around) => page.evaluate((sel) => {
    window.TY.ui.toast('Added 298 (2 that could not be read: damaged or not a photo, 3 in unsupported formats)', true);
    const r = document.getElementById('toast').getBoundingClientRect();
    const hit = [];
    for (const el of document.querySelectorAll(sel)) {
      const b = el.getBoundingClientRect();
      if (!el.getClientRects().length) continue;
      if (r.left < b.right && b.left < r.right && r.top < b.bottom && b.top < r.bottom) hit.push(el.id || el.className || el.tagName);
    }
    return { hit, inside: r.left >= 0 && r.top >= 0 && r.right <= innerWidth && r.bottom <= innerHeight };
  }, around);
  const footerAndTray = '#footer button, #footer input, #footer select, #footer label, .tray button, .tray input, .tray select';
  assert.deepEqual(await clearOf(footerAndTray), { hit: [], inside: true });
  await page.click('#btnSettings');
  assert.deepEqual(await clearOf('#settingsPanel'), { hit: [], inside: true });
  await page.click('#btnSettings');
  await page.locator('.thumb-open').first().click();
  assert.deepEqual(await clearOf('#lightboxMemo, #lightbox button'), { hit: [], inside: true });
  assert.deepEqual(errors, []);
  await close();
});
