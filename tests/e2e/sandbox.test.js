'use strict';
// Every photo is decoded in the page's web process, so that process runs in
// the browser engine's bubblewrap sandbox: a mount namespace of its own in
// which the user's files that the program did not serve do not exist. Where
// bubblewrap cannot make its namespaces (no user namespaces, as in many
// containers) the program says so once and runs the page without it.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startHost } = require('./host-session');

const NOTICE = 'the web page sandbox cannot start here';
const FETCH_STATUS = 'return fetch(arguments[0]).then((r) => r.status, (e) => String(e));';

/** Whether bubblewrap can make the namespaces the engine asks for a web process. */
function bubblewrapWorks() {
  try {
    execFileSync('bwrap', ['--die-with-parent', '--unshare-pid', '--unshare-uts', '--unshare-ipc', '--unshare-net',
      '--ro-bind', '/', '/', '--proc', '/proc', '--dev', '/dev', 'true'], { stdio: 'ignore' });
    return true;
  } catch {
    return false;
  }
}

/** Whether this machine lets a test take user namespaces away from a program (see `withoutNamespaces`). */
function canTakeNamespacesAway() {
  try {
    execFileSync('unshare', ['--user', '--map-root-user', 'sh', '-c', 'echo 0 > /proc/sys/user/max_user_namespaces'],
      { stdio: 'ignore' });
    return true;
  } catch {
    return false;
  }
}

/**
 * A launcher that starts the program in a user namespace of its own in which
 * no further user namespace may be made, without capabilities: bubblewrap
 * then fails as it does for root in a container.
 */
function withoutNamespaces(box) {
  const launcher = path.join(box.root, 'no-namespaces.sh');
  fs.writeFileSync(launcher, `#!/bin/sh
exec unshare --user --map-root-user sh -c 'echo 0 > /proc/sys/user/max_user_namespaces && exec setpriv --bounding-set=-all --inh-caps=-all -- "$@"' sh '${box.program}' "$@"
`, { mode: 0o755 });
  return launcher;
}

/** The program's WebKitWebProcess descendants (the sandbox puts bwrap between them). */
function webProcesses(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const ppid = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      children.set(ppid, [...(children.get(ppid) || []), Number(entry)]);
    } catch {
      // ended meanwhile
    }
  }
  const found = [];
  const walk = (p) => (children.get(p) || []).forEach((child) => {
    if (fs.readFileSync(`/proc/${child}/comm`, 'utf8').trim().startsWith('WebKitWebProces')) found.push(child);
    walk(child);
  });
  walk(pid);
  return found;
}

const mountNamespace = (pid) => fs.readlinkSync(`/proc/${pid}/ns/mnt`);
const notices = (log) => log.split('\n').filter((line) => line.includes(NOTICE));

function makePhotos() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-sandbox-'));
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc=size=64x48', '-frames:v', '1',
    path.join(dir, 'Beach.jpg')]);
  return dir;
}

test('the page runs in a sandbox of its own, where files the program did not serve do not exist', async (t) => {
  const photos = makePhotos();
  const host = await startHost({ args: ['--web-from-disk', `--photo-folder=${photos}`] });
  try {
    await host.waitFor('window.hostLog.events.some((e) => e.name === "materialFolderPicked")');
    // A file of the user's, made after the page started.
    const privateFile = path.join(host.root, 'home', 'Documents', 'private.txt');
    fs.mkdirSync(path.dirname(privateFile), { recursive: true });
    fs.writeFileSync(privateFile, 'not for the page');
    assert.equal(await host.run(FETCH_STATUS, 'tessary-photo://photo/Beach.jpg'), 200);
    assert.notEqual(await host.run(FETCH_STATUS, `file://${privateFile}`), 200);

    const program = host.programPid();
    const pages = webProcesses(program);
    assert.ok(pages.length > 0, 'the page has a web process');
    if (!bubblewrapWorks()) {
      t.diagnostic('bubblewrap cannot make namespaces on this machine: the page runs without the sandbox');
      assert.equal(notices(host.log()).length, 1, host.log());
      return;
    }
    assert.deepEqual(notices(host.log()), []);
    // Installed fonts still reach the page's drawing: each family draws
    // otherwise than the stand-in for a family that does not exist.
    const widths = await host.run(`const g = document.createElement('canvas').getContext('2d');
      return ['No Such Family', 'IPAexGothic', 'Noto Sans CJK JP'].map((f) => { g.font = '40px "' + f + '"'; return g.measureText('MMMMMMMMMM').width; });`);
    assert.equal(new Set(widths).size, 3, `widths ${widths}`);
    const element = path.join(path.dirname(host.program), 'gst', 'libgsttessaryflip.so');
    for (const page of pages) {
      assert.notEqual(mountNamespace(page), mountNamespace(program), 'a mount namespace of its own');
      const root = `/proc/${page}/root`;
      assert.ok(fs.existsSync(`${root}/usr/lib`), 'the web process\'s view of the files can be read');
      assert.ok(fs.existsSync(`${root}${element}`), 'the recorder\'s element is there');
      assert.equal(fs.existsSync(`${root}${privateFile}`), false, 'the user\'s file is not there');
      assert.equal(fs.existsSync(`${root}${photos}/Beach.jpg`), false, 'photos reach it only through the program');
    }
  } finally {
    await host.close();
    fs.rmSync(photos, { recursive: true, force: true });
  }
});

test('where bubblewrap cannot make namespaces the page runs without the sandbox, said once', async (t) => {
  if (!canTakeNamespacesAway()) {
    t.skip('this machine cannot take user namespaces away from a program');
    return;
  }
  const photos = makePhotos();
  const host = await startHost({ args: ['--web-from-disk', `--photo-folder=${photos}`], launcher: withoutNamespaces });
  try {
    await host.waitFor('window.hostLog.events.some((e) => e.name === "materialFolderPicked")');
    assert.equal(await host.run(FETCH_STATUS, 'tessary-photo://photo/Beach.jpg'), 200);
    assert.equal(notices(host.log()).length, 1, host.log());
    const program = host.programPid();
    const pages = webProcesses(program);
    assert.ok(pages.length > 0, 'the page has a web process');
    for (const page of pages) assert.equal(mountNamespace(page), mountNamespace(program));
  } finally {
    await host.close();
    fs.rmSync(photos, { recursive: true, force: true });
  }
});
