'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const vm = require('node:vm');
const { loadScripts } = require('../lib/vm-load');

/** Loads the bridge as if hosted; every posted text lands in `posted`. */
function hostedBridge() {
  const posted = [];
  const chrome = { webview: { postMessage: (text) => posted.push(text) } };
  const { TY, window, context } = loadScripts(['bridge'], { chrome });
  return { bridge: TY.bridge, window, context, posted, messages: () => posted.map((t) => JSON.parse(t)) };
}

test('outside the host nothing is posted and nothing fails', () => {
  const { TY, window } = loadScripts(['bridge']);
  assert.equal(TY.bridge.isHosted, false);
  assert.doesNotThrow(() => TY.bridge.post({ cmd: 'getFonts' }));
  assert.doesNotThrow(() => TY.bridge.sendImageForSave('data:image/png;base64,AAAA', 'png', { requestId: 'r1' }));
  assert.equal(typeof window.kobHost.emit, 'function');
});

test('post sends one JSON text per command and leaves out undefined members', () => {
  const { bridge, posted } = hostedBridge();
  assert.equal(bridge.isHosted, true);
  bridge.post({ cmd: 'chooseImageSave', requestId: 'a1', album: undefined });
  bridge.post({ cmd: 'setLanguage', lang: 'ja' });
  assert.deepEqual(posted, ['{"cmd":"chooseImageSave","requestId":"a1"}', '{"cmd":"setLanguage","lang":"ja"}']);
  assert.equal(typeof posted[0], 'string');
});

test('events reach every listener in registration order, also when one throws', () => {
  const { bridge, window } = hostedBridge();
  const calls = [];
  const errors = [];
  const consoleError = console.error;
  console.error = (...args) => errors.push(args);
  try {
    bridge.on('saveDone', (p) => calls.push(['first', p]));
    bridge.on('saveDone', () => { throw new Error('listener fault'); });
    bridge.on('saveDone', (p) => calls.push(['third', p]));
    bridge.on('restoreDone', (p) => calls.push(['restore', p]));
    window.kobHost.emit('saveDone', { requestId: 'r1', path: '/tmp/a.png' });
    window.kobHost.emit('restoreDone');
    window.kobHost.emit('nobodyListens', { x: 1 });
  } finally {
    console.error = consoleError;
  }
  assert.deepEqual(calls, [
    ['first', { requestId: 'r1', path: '/tmp/a.png' }],
    ['third', { requestId: 'r1', path: '/tmp/a.png' }],
    ['restore', undefined],
  ]);
  assert.equal(errors.length, 1);
});

test("the host's ASCII event script delivers non-ASCII text intact", () => {
  const { bridge, context } = hostedBridge();
  let got;
  bridge.on('albumSaved', (p) => { got = p; });
  // The host escapes everything above 127, astral characters as surrogate pairs.
  const script = 'window.kobHost.emit("albumSaved", {"id":"\\u590F\\u306E\\u601D\\u3044\\u51FA \\uD83D\\uDCF7"});';
  assert.match(script, /^[\x20-\x7e]+$/);
  vm.runInContext(script, context);
  assert.equal(got.id, '夏の思い出 📷');
});

test('sendChunks cuts at 1 MiB of base64 and every chunk carries the extra fields', () => {
  const MiB = 1048576;
  const cases = [
    { length: 0, chunks: [0] },
    { length: 12, chunks: [12] },
    { length: MiB, chunks: [MiB] },
    { length: MiB + 1, chunks: [MiB, 1] },
    { length: 2 * MiB + 5, chunks: [MiB, MiB, 5] },
  ];
  for (const { length, chunks } of cases) {
    const { bridge, messages } = hostedBridge();
    const text = 'QUJD'.repeat(Math.ceil(length / 4)).slice(0, length);
    bridge.sendChunks('convertHeic', text, { reqId: 'h1', chunkIndex: 99 });
    const sent = messages();
    assert.deepEqual(sent.map((m) => m.data.length), chunks, `length ${length}`);
    assert.equal(sent.map((m) => m.data).join(''), text);
    for (const m of sent) {
      assert.equal(m.cmd, 'convertHeic');
      assert.equal(m.totalChunks, chunks.length);
      assert.equal(m.reqId, 'h1');
      assert.equal(m.chunkIndex, 99, 'an extra field of the same name wins');
    }
  }
});

test('sendChunks numbers the chunks from 0 in order', () => {
  const { bridge, messages } = hostedBridge();
  bridge.sendChunks('saveImage', 'x'.repeat(3 * 1048576), { requestId: 'r' });
  assert.deepEqual(messages().map((m) => [m.chunkIndex, m.totalChunks]), [[0, 3], [1, 3], [2, 3]]);
});

test('pictures travel as the base64 part of their data URL with format and request fields', () => {
  const { bridge, messages } = hostedBridge();
  bridge.sendImageForSave('data:image/png;base64,iVBORw0K', 'png', { requestId: 'save-1', generationId: 4 });
  bridge.sendImageChunks('setWallpaper', 'data:image/jpeg;base64,/9j/4AAQ', 'jpg', { requestId: 'wp_2' });
  assert.deepEqual(messages(), [
    { cmd: 'saveImage', chunkIndex: 0, totalChunks: 1, data: 'iVBORw0K', format: 'png', requestId: 'save-1', generationId: 4 },
    { cmd: 'setWallpaper', chunkIndex: 0, totalChunks: 1, data: '/9j/4AAQ', format: 'jpg', requestId: 'wp_2' },
  ]);
});
