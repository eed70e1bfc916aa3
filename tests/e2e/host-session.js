'use strict';
// Runs the real TessaryMaker under WebKitGTK's WebDriver. Each session gets
// a private copy of the program (so its "web" folder can hold the test page),
// private XDG folders and its own driver; `close` ends everything it started.
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { WebDriver, Capabilities } = require('selenium-webdriver');
const seleniumHttp = require('selenium-webdriver/http');
const { removeTree } = require('../lib/remove-tree');

const ROOT = path.join(__dirname, '..', '..');
const BIN_DIR = process.env.TESSARY_BIN_DIR || path.join(ROOT, 'build', 'native', 'bin');
const FIXTURE_PAGE = path.join(ROOT, 'tests', 'fixtures', 'e2e', 'index.html');

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = /** @type {net.AddressInfo} */ (server.address());
      server.close(() => resolve(port));
    });
  });
}

async function waitForDriver(url, deadline) {
  while (Date.now() < deadline) {
    try {
      const res = await fetch(`${url}/status`);
      if (res.ok) return;
    } catch {
      // not listening yet
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error('WebKitWebDriver did not start');
}

/** Child processes of `pid` (from /proc), to end the program the driver started. */
function childPids(pid) {
  const out = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const ppid = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (ppid === pid) out.push(Number(entry));
    } catch {
      // process ended meanwhile
    }
  }
  return out;
}

/** True while the process runs (an ended child waiting to be reaped does not count). */
function isAlive(pid) {
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    return stat.slice(stat.lastIndexOf(')') + 2, stat.lastIndexOf(')') + 3) !== 'Z';
  } catch {
    return false;
  }
}

/** A private program copy with the test page as its web folder, and private XDG folders. */
function makeSandbox() {
  const program = path.join(BIN_DIR, 'TessaryMaker');
  if (!fs.existsSync(program)) throw new Error(`${program} is missing: build it first (scripts/test-native.sh)`);
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-e2e-'));
  const bin = path.join(root, 'bin');
  fs.cpSync(BIN_DIR, bin, { recursive: true, filter: (src) => !src.endsWith(`${path.sep}web`) });
  fs.mkdirSync(path.join(bin, 'web', 'js'), { recursive: true });
  fs.copyFileSync(FIXTURE_PAGE, path.join(bin, 'web', 'index.html'));
  fs.copyFileSync(path.join(ROOT, 'web', 'js', 'bridge.js'), path.join(bin, 'web', 'js', 'bridge.js'));
  for (const dir of ['home', 'config', 'data', 'cache', 'run', 'out']) fs.mkdirSync(path.join(root, dir), { mode: 0o700 });
  const env = {
    ...process.env,
    HOME: path.join(root, 'home'),
    XDG_CONFIG_HOME: path.join(root, 'config'),
    XDG_DATA_HOME: path.join(root, 'data'),
    XDG_CACHE_HOME: path.join(root, 'cache'),
    XDG_RUNTIME_DIR: path.join(root, 'run'),
    LANG: 'C.UTF-8',
    LANGUAGE: 'en',
  };
  return { root, program: path.join(bin, 'TessaryMaker'), out: path.join(root, 'out'), env };
}

/**
 * Starts the program with `args` under a new WebDriver session.
 * @param {{args?: string[], env?: (box: {root: string, out: string}) => Record<string,string>, box?: any,
 *   launcher?: (box: {root: string, program: string}) => string}} [opts]
 *   `env` adds variables for the program, made from the sandbox's folders;
 *   `box` runs again in the sandbox of an earlier session closed with `keep`;
 *   `launcher` names an executable that starts the program in its stead
 */
async function startHost(opts = {}) {
  const box = opts.box || makeSandbox();
  const env = { ...box.env, ...(opts.env ? opts.env(box) : {}) };
  const port = await freePort();
  const driverProcess = spawn('WebKitWebDriver', [`--port=${port}`], { env, stdio: ['ignore', 'ignore', 'pipe'] });
  let driverLog = '';
  driverProcess.stderr.on('data', (d) => { driverLog += d; });
  const url = `http://127.0.0.1:${port}`;
  let driver;
  try {
    await waitForDriver(url, Date.now() + 10000);
    const caps = new Capabilities({
      'webkitgtk:browserOptions': {
        binary: opts.launcher ? opts.launcher(box) : box.program,
        args: ['--automation', ...(opts.args || [])],
      },
    });
    driver = await WebDriver.createSession(new seleniumHttp.Executor(new seleniumHttp.HttpClient(url)), caps);
  } catch (err) {
    driverProcess.kill();
    if (!opts.box) await removeTree(box.root);
    throw new Error(`${err.message}\n${driverLog}`);
  }
  const programPid = () => childPids(driverProcess.pid)[0];

  const session = {
    ...box,
    box,
    driver,
    programPid,
    /** What the driver and the program wrote to stderr so far. */
    log: () => driverLog,
    /** Runs a function body in the page (WebDriver's executeAsyncScript when it returns a promise). */
    run: (body, ...args) => driver.executeScript(body, ...args),
    /** Waits until the page's expression is truthy; returns its value. */
    async waitFor(expression, timeoutMs = 15000) {
      const deadline = Date.now() + timeoutMs;
      for (;;) {
        const value = await driver.executeScript(`return (${expression});`);
        if (value) return value;
        if (Date.now() > deadline) throw new Error(`timed out waiting for ${expression}`);
        await new Promise((r) => setTimeout(r, 100));
      }
    },
    /** Host events the test page has seen so far, by name. */
    events: (name) => driver.executeScript('return window.hostLog.events.filter((e) => e.name === arguments[0]);', name),
    /** Ends the program and the driver; the sandbox stays when `keep` is set. */
    async close({ keep = false } = {}) {
      const pid = programPid();
      try {
        await driver.quit();
      } catch {
        // closing is negotiated with the page, so the driver cannot close the window itself
      }
      try {
        if (pid && isAlive(pid)) process.kill(pid, 'SIGTERM');
      } catch {
        // it ended meanwhile
      }
      driverProcess.kill();
      await waitUntil(() => !pid || !isAlive(pid), 5000);
      if (keep) return;
      await removeTree(box.root);
    },
  };
  return session;
}

async function waitUntil(predicate, timeoutMs) {
  const deadline = Date.now() + timeoutMs;
  while (!predicate()) {
    if (Date.now() > deadline) return false;
    await new Promise((r) => setTimeout(r, 50));
  }
  return true;
}

module.exports = { ROOT, makeSandbox, startHost, waitUntil, isAlive };
