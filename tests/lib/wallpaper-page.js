'use strict';
/* global document, TY */
// The live wallpaper's player page (web/wallpaper.html) in Chromium, with
// its photos served under a stand-in for the live photo origin, records
// handed over the way the host does it, and state read from TY.wallpaper.
const fs = require('node:fs');
const path = require('node:path');
const { ROOT, startServer, launchBrowser } = require('./browser');

/** Chromium cannot fetch the host's own scheme; this origin stands in for it. */
const LIVE_ORIGIN = 'http://live.tessary.test';
const SAMPLES = path.join(ROOT, 'samples', 'photos');
const SAMPLE_FILES = fs.readdirSync(SAMPLES).filter((f) => f.endsWith('.jpg')).sort();

/**
 * Answers the live photo origin as the host does: photo n by its index,
 * 404 otherwise. `photos` maps an index to a sample file name or to
 * "broken" (bytes that are no picture); by default index n is sample n.
 */
async function routeLivePhotos(page, photos) {
  await page.route(`${LIVE_ORIGIN}/**`, (route) => {
    const n = Number(new URL(route.request().url()).pathname.slice(1));
    const file = photos ? photos[n] : SAMPLE_FILES[n];
    const headers = { 'Access-Control-Allow-Origin': '*', 'Cache-Control': 'no-store' };
    if (!file) return route.fulfill({ status: 404, headers: { ...headers, 'Content-Type': 'text/plain' } });
    const body = file === 'broken' ? Buffer.from('this is not a picture') : fs.readFileSync(path.join(SAMPLES, file));
    return route.fulfill({ status: 200, headers: { ...headers, 'Content-Type': 'image/jpeg' }, body });
  });
}

/** One server and browser for a test file or script. */
async function playerSession() {
  const server = await startServer();
  const chromium = await launchBrowser();
  /**
   * Opens the player page. `clock`: a paused fake clock, so that timers and
   * animation frames move only with page.clock.runFor;
   * `init` runs before the page's scripts.
   * @param {{width?: number, height?: number, photos?: Record<number, string>, clock?: boolean, init?: string}} [opts]
   */
  async function open(opts = {}) {
    const context = await chromium.browser.newContext({ viewport: { width: opts.width || 640, height: opts.height || 360 } });
    const page = await context.newPage();
    const errors = [];
    const consoleErrors = [];
    page.on('pageerror', (e) => errors.push(e));
    page.on('console', (m) => { if (m.type() === 'error') consoleErrors.push(m.text()); });
    await routeLivePhotos(page, opts.photos);
    if (opts.clock) await page.clock.install({ time: 0 });
    if (opts.init) await page.addInitScript(opts.init);
    await page.goto(`${server.url}/web/wallpaper.html`);
    // An installed clock runs on with real time until it is paused.
    if (opts.clock) await page.clock.pauseAt(await page.evaluate(() => Date.now() + 1000));
    return { page, errors, consoleErrors, close: () => context.close() };
  }
  return { url: server.url, open, close: async () => { await chromium.close(); await server.close(); } };
}

/**
 * A play-data record as the generator hands it over, laid out in the page:
 * a covering pile of `photoCount` photos with ☆1 on top (`layouts` of them
 * for "Remake the creation each time"), photo URLs on the live photo origin.
 * `fields` are laid over the result.
 */
function makeRecord(page, { w, h, photoCount, layouts = 1, ...fields }) {
  return page.evaluate(({ w, h, photoCount, layouts, fields, origin }) => {
    const pile = () => {
      const laid = TY.layout.placeAll({ w, h, photoCount, scale: 'l', starred: [0] });
      return TY.layout.finalizeDrawList(laid.placements, laid.favourites, () => true, false);
    };
    const piles = Array.from({ length: layouts }, pile);
    const photoUrls = {};
    for (let i = 0; i < photoCount; i++) photoUrls[i] = `${origin}/${i}`;
    return {
      w, h, srcW: w, srcH: h, drawList: piles[0].drawList, motion: 'drop', speed: 1, background: 'cork', frame: 'cheki',
      filter: 'none', captions: null, captionCfg: null, imageTitleCfg: null, title: null, titleCfg: { font: 'gothic', color: null },
      spotlightIndex: -1, emphasisFactor: 1.2, dimOthers: false, dimTranslucent: false, albumCfg: {}, albumPhotos: null,
      comments: [], watermark: false, photoUrls, holdSec: 30, wind: 'none',
      regenerate: layouts > 1, variants: layouts > 1 ? piles.map((p) => p.drawList) : undefined,
      ...fields,
    };
  }, { w, h, photoCount, layouts, fields, origin: LIVE_ORIGIN });
}

/** Delivers an event the way the wallpaper window does: a script with the JSON text in place. */
function hostEmit(page, event, payload) {
  return page.evaluate(`window.kobHost && window.kobHost.emit('${event}', ${JSON.stringify(payload)});`);
}

const playerState = (page) => page.evaluate(() => TY.wallpaper.state);

/**
 * Polls from outside the page (a fake clock in the page would hold its own
 * timers) until `predicate(state)` holds.
 */
async function waitForState(page, predicate, timeout = 20000) {
  const end = Date.now() + timeout;
  for (;;) {
    const state = await playerState(page);
    if (predicate(state)) return state;
    if (Date.now() > end) throw new Error('player state not reached: ' + JSON.stringify(state));
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

/** A cheap fingerprint of the player canvas's pixels. */
function canvasHash(page) {
  return page.evaluate(() => {
    const canvas = /** @type {HTMLCanvasElement} */ (document.getElementById('wp'));
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let hash = 0;
    for (let i = 0; i < data.length; i += 7) hash = (Math.imul(hash, 31) + data[i]) | 0;
    return hash;
  });
}

module.exports = { LIVE_ORIGIN, SAMPLE_FILES, playerSession, makeRecord, hostEmit, playerState, waitForState, canvasHash };
