'use strict';
// Headless Chromium for drawing tests: a static server over the repository,
// a fresh profile per launch, and a blank page with the page scripts loaded.
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');
const { removeTree } = require('./remove-tree');

const ROOT = path.join(__dirname, '..', '..');
const CHROMIUM = ['/usr/lib/chromium/chromium', '/usr/bin/chromium'].find((p) => fs.existsSync(p));

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8', '.jpg': 'image/jpeg', '.jpeg': 'image/jpeg',
  '.png': 'image/png', '.ttf': 'font/ttf', '.json': 'application/json', '.heic': 'image/heic',
};

/** Serves the repository read-only on 127.0.0.1; resolves to {url, close}. */
function startServer(root = ROOT) {
  const server = http.createServer((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.normalize(path.join(root, rel));
    if (!file.startsWith(root) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      res.writeHead(404, { 'Access-Control-Allow-Origin': '*' });
      res.end();
      return;
    }
    res.writeHead(200, {
      'Content-Type': TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream',
      'Access-Control-Allow-Origin': '*',
      'Cache-Control': 'no-store',
    });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      const { port } = /** @type {any} */ (server.address());
      resolve({ url: `http://127.0.0.1:${port}`, close: () => new Promise((r) => server.close(r)) });
    });
  });
}

const FLAGS = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--font-render-hinting=none',
];

/** Launches Chromium with its own XDG_CONFIG_HOME; returns {browser, close}. */
async function launchBrowser() {
  if (!CHROMIUM) throw new Error('Chromium not found: run scripts/install-deps.sh');
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-chromium-'));
  const browser = await chromium.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: FLAGS,
    env: { ...process.env, XDG_CONFIG_HOME: home, XDG_CACHE_HOME: home, HOME: home },
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      await removeTree(home);
    },
  };
}

/**
 * One browser, one server, and a helper that opens a blank page with the
 * given page scripts loaded in order. Call `close` when done.
 * @param {{scripts?: string[], viewport?: {width:number,height:number}}} [opts]
 */
async function pageSession(opts = {}) {
  const server = await startServer();
  const { browser, close } = await launchBrowser();
  async function newPage(scripts = opts.scripts || []) {
    const page = await browser.newPage({ viewport: opts.viewport || { width: 800, height: 600 } });
    const errors = [];
    page.on('pageerror', (e) => errors.push(e));
    /** @type {any} */ (page).pageErrors = errors;
    await page.goto(`${server.url}/tests/fixtures/blank.html`);
    for (const s of scripts) await page.addScriptTag({ url: `${server.url}/web/js/${s}.js` });
    return page;
  }
  return {
    url: server.url,
    browser,
    newPage,
    close: async () => { await close(); await server.close(); },
  };
}

/** Replaces Math.random in the page with a seeded generator (mulberry32). */
const SEED_RANDOM_SCRIPT = `(() => {
  let a = 12345;
  Math.random = function () {
    a = (a + 0x6d2b79f5) >>> 0; let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
})();`;

module.exports = { ROOT, CHROMIUM, startServer, launchBrowser, pageSession, SEED_RANDOM_SCRIPT };
