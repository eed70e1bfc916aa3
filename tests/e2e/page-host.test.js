'use strict';
// The real program and WebKitGTK: where the page comes from, what it may
// reach, one instance per session, closing negotiated with the page, and the
// page's stored settings.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');
const { ROOT, startHost, waitUntil, isAlive } = require('./host-session');

const FETCH_STATUS = `return fetch(arguments[0]).then((r) => r.status + ' ' + r.statusText, (e) => 'failed: ' + e.message);`;

test('the page loads from the resources built into the program', async () => {
  const host = await startHost();
  try {
    assert.equal(await host.driver.getCurrentUrl(), 'tessary-app://app/index.html');
    // The sandbox's web folder holds a different index.html: the embedded one must win.
    const served = await host.run('return fetch("index.html").then((r) => r.text());');
    assert.equal(served, fs.readFileSync(path.join(ROOT, 'web', 'index.html'), 'utf8'));
    const bridge = await host.run(
      'return fetch("JS/Bridge.JS").then((r) => [r.status, r.headers.get("content-type"), r.text()])' +
        '.then(([s, t, p]) => p.then((text) => ({ s, t, text })));');
    assert.equal(bridge.s, 200);
    assert.equal(bridge.t, 'text/javascript; charset=utf-8');
    assert.equal(bridge.text, fs.readFileSync(path.join(ROOT, 'web', 'js', 'bridge.js'), 'utf8'));
  } finally {
    await host.close();
  }
});

test('no request for an http(s) address leaves the program, no window opens, unknown origins get 403', async () => {
  let connections = 0;
  const server = net.createServer((socket) => { connections++; socket.destroy(); });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  const { port } = /** @type {net.AddressInfo} */ (server.address());
  const host = await startHost({ args: ['--web-from-disk'] });
  try {
    await host.waitFor('window.hostLog && window.hostLog.events.length > 0');
    for (const url of [`http://127.0.0.1:${port}/`, `https://127.0.0.1:${port}/x.png`]) {
      assert.match(await host.run(FETCH_STATUS, url), /^failed/, url);
    }
    await host.run(`const img = new Image(); img.src = arguments[0]; document.body.appendChild(img);
      const frame = document.createElement('iframe'); frame.src = arguments[0]; document.body.appendChild(frame);
      setTimeout(() => { location.href = arguments[0]; }, 0);`, `http://127.0.0.1:${port}/page`);
    await new Promise((r) => setTimeout(r, 1500));
    assert.equal(await host.driver.getCurrentUrl(), 'tessary-app://app/index.html', 'navigation away is cancelled');
    assert.equal(await host.run(FETCH_STATUS, 'tessary-app://elsewhere/index.html'), '403 Blocked by Tessary');
    assert.equal(await host.run(FETCH_STATUS, 'tessary-photo://other/a.jpg'), '403 Blocked by Tessary');
    assert.equal(await host.run('return window.open("index.html", "_blank");'), null, 'no new window opens');
    assert.equal((await host.driver.getAllWindowHandles()).length, 1);
    assert.equal(connections, 0);
  } finally {
    await host.close();
    server.close();
  }
});

test('a second start ends at once and leaves the running program alone', async () => {
  const host = await startHost({ args: ['--web-from-disk'] });
  try {
    await host.waitFor('window.hostLog && window.hostLog.events.length > 0');
    const started = Date.now();
    const second = spawn(host.program, [], { env: host.env, stdio: 'ignore' });
    const code = await new Promise((resolve) => second.on('exit', resolve));
    assert.equal(code, 0);
    assert.ok(Date.now() - started < 5000, 'the second start returned quickly');
    assert.equal(await host.run('return TY.bridge.isHosted;'), true, 'the first program still answers');
  } finally {
    await host.close();
  }
});

test('closing the window asks the page, which closes the program with closeApp', async () => {
  const host = await startHost({ args: ['--web-from-disk'] });
  try {
    await host.waitFor('window.hostLog && window.hostLog.events.length > 0');
    const pid = host.programPid();
    await host.run('window.close();');
    await host.waitFor('window.hostLog.exitRequests === 1');
    assert.ok(isAlive(pid), 'the window stays open until the page agrees');
    await host.run('TY.bridge.post({ cmd: "closeApp" });').catch(() => {});
    assert.ok(await waitUntil(() => !isAlive(pid), 10000), 'the program ended after closeApp');
  } finally {
    await host.close();
  }
});

test('the page keeps its settings across a restart of the program', async () => {
  const first = await startHost({ args: ['--web-from-disk'] });
  let box;
  try {
    await first.waitFor('window.hostLog && window.hostLog.events.length > 0');
    assert.equal(await first.run('return location.origin;'), 'tessary-app://app');
    await first.run('localStorage.setItem("tessary.lang", "ja");');
    const pid = first.programPid();
    await first.run('TY.bridge.post({ cmd: "closeApp" });').catch(() => {});
    assert.ok(await waitUntil(() => !isAlive(pid), 10000));
    box = first.box;
  } finally {
    await first.close({ keep: true });
  }
  const second = await startHost({ args: ['--web-from-disk'], box });
  try {
    assert.equal(await second.waitFor('localStorage.getItem("tessary.lang")'), 'ja');
  } finally {
    await second.close();
  }
});
