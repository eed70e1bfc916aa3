'use strict';
// The layouts that can differ between browser engines, measured in the real
// program (WebKitGTK): the viewer with landscape, portrait and square
// photos, notices over the footer and over the viewer, the confirm dialog,
// the settings panel, help and the footer. Every box must lie inside the
// window and clear of what it must not cover. Each state is also captured to
// out/e2e-layout/ (TESSARY_CAPTURE_DIR names another folder) to be looked at.
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { ROOT, startHost } = require('./host-session');
const { grabWindow } = require('./window-capture');
const { removeTree } = require('../lib/remove-tree');

const CAPTURES = process.env.TESSARY_CAPTURE_DIR || path.join(ROOT, 'out', 'e2e-layout');
const PHOTOS = { wide: [4000, 3000], tall: [3000, 4000], square: [640, 640] };
/** Time for the window on the X display to show the page's last paint. */
const SETTLE_MS = 300;

/** Photos of three shapes made by ffmpeg, and files the page cannot use. */
function makeFolder() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-layout-'));
  for (const [name, [w, h]] of Object.entries(PHOTOS)) {
    execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', `testsrc=size=${w}x${h}`, '-frames:v', '1',
      '-q:v', '8', path.join(dir, `${name}.jpg`)]);
  }
  fs.writeFileSync(path.join(dir, 'empty.jpg'), '');
  fs.writeFileSync(path.join(dir, 'letter.jpg'), 'Dear friend, this is text, not a photo.\n');
  return dir;
}

// Boxes in window coordinates; a box inside the viewer's frame is offset by the frame's own box.
const MEASURE = `
  const box = (el) => {
    if (!el) return null;
    const r = el.getBoundingClientRect();
    const shown = el.getClientRects().length > 0 && getComputedStyle(el).visibility !== 'hidden';
    return shown ? { x: r.left, y: r.top, w: r.width, h: r.height, id: el.id || el.className || el.tagName } : null;
  };
  const win = { x: 0, y: 0, w: window.innerWidth, h: window.innerHeight, id: 'window' };
  const frame = document.getElementById('lightboxFrame');
  const inner = frame.contentDocument && frame.contentDocument.getElementById('i');
  const fb = box(frame);
  let picture = null;
  if (fb && inner && !inner.hidden) {
    const r = inner.getBoundingClientRect();
    picture = { x: fb.x + r.left, y: fb.y + r.top, w: r.width, h: r.height, id: 'picture' };
  }
  const controls = (root) => root ? [...root.querySelectorAll('button, input, select, label, textarea')].map(box).filter(Boolean) : [];
  return {
    win, frame: fb, picture,
    memo: box(document.getElementById('lightboxMemo')),
    viewerTop: box(document.querySelector('.lightbox-top')),
    viewerControls: controls(document.getElementById('lightbox')),
    toast: box(document.getElementById('toast')),
    footer: box(document.getElementById('footer')),
    footerLeft: box(document.getElementById('wallpaperRow')),
    footerRight: box(document.getElementById('playRow')),
    footerControls: controls(document.getElementById('footer')),
    trayControls: controls(document.querySelector('.tray')),
    topbar: box(document.querySelector('.topbar')),
    settings: box(document.getElementById('settingsPanel')),
    confirmCard: box(document.querySelector('#confirmDialog .modal-card')),
    confirmControls: controls(document.getElementById('confirmDialog')),
    helpCard: box(document.querySelector('#helpDialog .modal-card')),
    helpClose: box(document.getElementById('helpClose')),
  };`;

const EPS = 0.5;
/** @param {any} inner @param {any} outer */
function assertInside(inner, outer, what) {
  assert.ok(inner, `${what}: shown`);
  const ok = inner.x >= outer.x - EPS && inner.y >= outer.y - EPS
    && inner.x + inner.w <= outer.x + outer.w + EPS && inner.y + inner.h <= outer.y + outer.h + EPS;
  assert.ok(ok, `${what}: ${JSON.stringify(inner)} lies inside ${JSON.stringify(outer)}`);
}
/** @param {any} a @param {any} b */
const overlaps = (a, b) => a.x < b.x + b.w - EPS && b.x < a.x + a.w - EPS && a.y < b.y + b.h - EPS && b.y < a.y + a.h - EPS;
function assertClear(a, others, what) {
  const hit = others.filter((b) => overlaps(a, b));
  assert.deepEqual(hit, [], `${what}: ${JSON.stringify(a)} covers nothing of these`);
}

describe('layouts in the real program', () => {
  let host;
  let folder;
  let notice;

  const measure = () => host.run(MEASURE);
  // A notice stays up while it is measured and captured, whatever the machine's speed.
  const showNotice = (text, isError = false) => host.run(`const later = window.setTimeout;
    let timer = 0;
    window.setTimeout = (fn, ms) => (timer = later(fn, ms));
    try { window.TY.ui.toast(arguments[0], arguments[1]); } finally { window.setTimeout = later; }
    window.clearTimeout(timer);`, text, isError);
  /** Captures the window once the page has painted what the last step changed. */
  async function capture(name) {
    await host.run('return new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(() => done(true))));');
    await new Promise((r) => setTimeout(r, SETTLE_MS));
    fs.mkdirSync(CAPTURES, { recursive: true });
    await grabWindow(host, path.join(CAPTURES, `${name}.png`));
  }

  before(async () => {
    folder = makeFolder();
    host = await startHost({ args: [`--photo-folder=${folder}`] });
    // Every notice is noted as it appears, so the import's own is known once the picture is made.
    await host.waitFor(`window.TY && window.TY.ui && window.TY.ui.toast && (window.__notices || (() => {
      const el = document.getElementById('toast');
      window.__notices = [];
      new MutationObserver(() => { if (!el.hidden) window.__notices.push({ text: el.textContent, error: el.classList.contains('error') }); })
        .observe(el, { attributes: true, childList: true, subtree: true, characterData: true });
      return true;
    })())`, 30000);
    await host.waitFor('window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 120000);
    notice = await host.run('return window.__notices.find((n) => /Added|追加/.test(n.text)) || null;');
  });
  after(async () => {
    if (host) await host.close();
    if (folder) await removeTree(folder);
  });

  test('the import notice names what was left out and lies clear of the footer and the tray', async () => {
    await showNotice(notice.text, notice.error);
    await capture('notice-footer');
    const m = await measure();
    assertInside(m.toast, m.win, 'notice');
    assertInside(m.footer, m.win, 'footer');
    assertClear(m.toast, m.footerControls, 'notice over the footer');
    assertClear(m.toast, m.trayControls, 'notice over the tray');
    await host.run('document.getElementById("btnSettings").click();');
    const open = await measure();
    assertClear(open.toast, [open.settings], 'notice over the settings panel');
    await host.run('document.getElementById("btnSettings").click(); document.getElementById("toast").hidden = true;');
    assert.match(notice.text, /^Added 3 \(2 that could not be read/, 'unusable files are said at import and not counted');
  });

  test('the footer keeps its two groups apart and inside the window', async () => {
    await capture('footer');
    const m = await measure();
    assertInside(m.footer, m.win, 'footer');
    for (const c of m.footerControls) assertInside(c, m.footer, `footer control ${c.id}`);
    assert.ok(m.footerLeft && m.footerRight, 'both groups show in the host');
    assert.ok(!overlaps(m.footerLeft, m.footerRight), 'wallpaper group and play group do not overlap');
  });

  for (const name of Object.keys(PHOTOS)) {
    test(`the viewer shows the whole ${name} photo above the memo box`, async () => {
      await host.run(`[...document.querySelectorAll('.thumb-open')].find((b) => b.title.startsWith(arguments[0])).click();`, `${name}.jpg`);
      await host.waitFor(`(() => { const f = document.getElementById('lightboxFrame').contentDocument;
        const i = f && f.getElementById('i'); return i && !i.hidden && i.complete && i.naturalWidth > 0; })()`);
      await capture(`viewer-${name}`);
      let notice;
      if (name === 'tall') {
        await showNotice('Star priority changed');
        notice = await measure();
        await capture('notice-viewer');
        await host.run('document.getElementById("toast").hidden = true;');
      }
      const m = await measure();
      await host.run('document.getElementById("lightboxClose").click();');
      assertInside(m.frame, m.win, 'viewer frame');
      assertInside(m.memo, m.win, 'memo box');
      assertInside(m.picture, m.frame, `${name} photo inside the frame`);
      assert.ok(m.picture.y + m.picture.h <= m.memo.y + EPS, `${name} photo ends above the memo box (${m.picture.y + m.picture.h} > ${m.memo.y})`);
      assert.ok(m.frame.y >= m.viewerTop.y + m.viewerTop.h - EPS, 'the frame starts below the viewer bar');
      const [w, h] = PHOTOS[name];
      assert.ok(Math.abs(m.picture.w / m.picture.h - w / h) < 0.02, `${name} photo keeps its shape`);
      if (notice) assertClear(notice.toast, [notice.memo, ...notice.viewerControls], 'notice over the viewer');
    });
  }

  test('the confirm dialog fits the window with its field and buttons', async () => {
    await host.run(`window.TY.ui.showConfirm({ title: 'Name this creation', message: 'A name to find it again later.\\nIt is kept on this computer.',
      okLabel: 'Save', secondLabel: 'Save as new', input: 'Summer by the sea' });`);
    await capture('confirm');
    const m = await measure();
    await host.run('document.getElementById("confirmCancel").click();');
    assertInside(m.confirmCard, m.win, 'confirm dialog');
    for (const c of m.confirmControls) assertInside(c, m.confirmCard, `confirm control ${c.id}`);
  });

  test('the settings panel opens inside the window below the top bar', async () => {
    await host.run('document.getElementById("btnSettings").click();');
    await capture('settings');
    const m = await measure();
    await host.run('document.getElementById("btnSettings").click();');
    assertInside(m.settings, m.win, 'settings panel');
    assert.ok(m.settings.y >= m.topbar.y + m.topbar.h - EPS, 'the panel starts below the top bar');
  });

  test('help opens inside the window with its close button', async () => {
    await host.run('document.getElementById("btnHelp").click();');
    await capture('help');
    const m = await measure();
    await host.run('document.getElementById("helpClose").click();');
    assertInside(m.helpCard, m.win, 'help');
    assertInside(m.helpClose, m.helpCard, 'help close button');
  });
});
