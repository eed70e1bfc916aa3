'use strict';
/* global window */
// The generator page (web/index.html) in Chromium for flow tests: one
// browser and server per test file, a fresh context per page.
const { startServer, launchBrowser } = require('./browser');

/** Starts the server and browser; `open` gives a page with its errors. */
async function appSession() {
  const server = await startServer();
  const chromium = await launchBrowser();
  /**
   * @param {string} query e.g. "?lang=en&demo=5"
   * @param {{init?: string, width?: number}} [opts] `init` runs before the page's scripts
   */
  async function open(query, opts = {}) {
    const context = await chromium.browser.newContext({ viewport: { width: opts.width || 1366, height: 800 }, locale: 'en-US' });
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e));
    if (opts.init) await page.addInitScript(opts.init);
    await page.goto(`${server.url}/web/index.html${query}`);
    return { page, errors, close: () => context.close() };
  }
  return { url: server.url, open, close: async () => { await chromium.close(); await server.close(); } };
}

/** Waits until the page holds a result and no flow runs. */
function settled(page, timeout = 20000) {
  return page.waitForFunction(() => window.TY.ui.hasResult() && !window.TY.ui.isBusy(), null, { timeout });
}

/** Waits until the generation counter has passed `after` and the page is idle. */
function generatedAfter(page, after, timeout = 20000) {
  return page.waitForFunction((n) => window.TY.ui.generationId() > n && !window.TY.ui.isBusy(), after, { timeout });
}

const generation = (page) => page.evaluate(() => window.TY.ui.generationId());
const toastText = (page) => page.locator('#toast').textContent();

module.exports = { appSession, settled, generatedAfter, generation, toastText };
