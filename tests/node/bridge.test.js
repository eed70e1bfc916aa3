'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const vm = require('node:vm');
const { loadScripts } = require('../lib/vm-load');

/**
 * Loads the bridge as if hosted; every posted text lands in `posted`.
 * @param {object} [extra] more globals, e.g. a fake setTimeout
 */
function hostedBridge(extra = {}) {
  const posted = [];
  const chrome = { webview: { postMessage: (text) => posted.push(text) } };
  const { TY, window, context } = loadScripts(['bridge'], { chrome, ...extra });
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

// ------------------------------------------------------------ requests and their answers

/** A bridge whose timers are held in a list, to be fired by hand. */
function bridgeWithTimers() {
  const timers = [];
  const hosted = hostedBridge({
    setTimeout: (fn, ms) => { timers.push({ fn, ms, cleared: false }); return timers.length; },
    clearTimeout: (id) => { if (timers[id - 1]) timers[id - 1].cleared = true; },
  });
  return { ...hosted, timers, fire: (i) => timers[i].fn() };
}

/** Settles a promise into a plain record, so that pending ones can be told apart. */
function outcome(promise) {
  const state = { settled: false };
  promise.then((answer) => Object.assign(state, { settled: true, answer }),
    (err) => Object.assign(state, { settled: true, error: err }));
  return state;
}
const flush = () => new Promise((r) => setImmediate(r));

test('requests are answered by the event that repeats their id; stale and repeated answers are dropped', async () => {
  const { bridge, messages } = hostedBridge();
  const saves = bridge.requestChannel({ answers: ['saveTargetChosen', 'saveCancelled'], idField: 'requestId', idPrefix: 's' });
  const first = outcome(saves.request({ cmd: 'chooseImageSave', album: false }));
  const second = outcome(saves.request({ cmd: 'chooseImageSave', album: true }));
  const [a, b] = messages();
  assert.match(a.requestId, /^s[0-9a-z]+$/);
  assert.notEqual(a.requestId, b.requestId);
  assert.deepEqual([a.cmd, a.album, b.album], ['chooseImageSave', false, true]);
  assert.equal(saves.pendingCount(), 2);

  bridge.emit('saveTargetChosen', { requestId: 'sUnknown', format: 'png' });
  bridge.emit('saveTargetChosen', { format: 'png' });
  bridge.emit('saveCancelled');
  await flush();
  assert.equal(first.settled || second.settled, false, 'answers for no pending request change nothing');

  bridge.emit('saveCancelled', { requestId: b.requestId });
  bridge.emit('saveTargetChosen', { requestId: a.requestId, format: 'jpeg' });
  bridge.emit('saveTargetChosen', { requestId: a.requestId, format: 'png' });
  await flush();
  assert.deepEqual(plainAnswer(first.answer), { event: 'saveTargetChosen', payload: { requestId: a.requestId, format: 'jpeg' } },
    'the first answer counts; the repeated one is dropped');
  assert.equal(second.answer.event, 'saveCancelled');
  assert.equal(saves.pendingCount(), 0);
});

const plainAnswer = (answer) => JSON.parse(JSON.stringify(answer));

test('a request given its id again runs the next step of the same exchange', async () => {
  const { bridge, messages } = hostedBridge();
  const saves = bridge.requestChannel({ answers: ['saveTargetChosen', 'saveCancelled', 'saveDone', 'saveError'], idField: 'requestId' });
  const target = saves.request({ cmd: 'chooseImageSave' });
  const id = messages()[0].requestId;
  await assert.rejects(saves.request({ cmd: 'chooseImageSave' }, { id }), (err) => err.code === 'busy', 'the same id cannot wait twice');
  bridge.emit('saveTargetChosen', { requestId: id, format: 'png' });
  assert.equal((await target).event, 'saveTargetChosen');
  // Chunked commands post through a function given the id.
  const written = saves.request((requestId) => bridge.sendImageForSave('data:image/png;base64,QUJD', 'png', { requestId }), { id });
  assert.deepEqual(messages().slice(-1).map((m) => [m.cmd, m.requestId, m.data]), [['saveImage', id, 'QUJD']]);
  bridge.emit('saveDone', { requestId: id, path: '/home/u/Tessary.png' });
  assert.equal((await written).payload.path, '/home/u/Tessary.png');
});

test('a request without an answer fails after its time-out and its late answer is dropped', async () => {
  const { bridge, timers, fire, messages } = bridgeWithTimers();
  const heic = bridge.requestChannel({ answers: ['heicConverted'], idField: 'reqId', idPrefix: 'h', timeoutMs: 30000 });
  const slow = outcome(heic.request((reqId) => bridge.sendChunks('convertHeic', 'QUJD', { reqId })));
  const quick = outcome(heic.request((reqId) => bridge.sendChunks('convertHeic', 'REVG', { reqId }), { timeoutMs: 50 }));
  const never = outcome(heic.request({ cmd: 'convertHeic' }, { timeoutMs: 0 }));
  assert.deepEqual(timers.map((t) => t.ms), [30000, 50], 'a time-out of 0 waits for ever');
  const [slowId, quickId] = messages().map((m) => m.reqId);

  fire(0);
  await flush();
  assert.equal(slow.error.code, 'timeout');
  bridge.emit('heicConverted', { reqId: slowId, url: 'tessary-photo://photo/__temp/late.jpg' });
  bridge.emit('heicConverted', { reqId: quickId, url: 'tessary-photo://photo/__temp/ok.jpg' });
  await flush();
  assert.equal(quick.answer.payload.url, 'tessary-photo://photo/__temp/ok.jpg');
  assert.equal(timers[1].cleared, true, 'an answered request stops its timer');
  fire(1);
  await flush();
  assert.equal(quick.error, undefined, 'a timer that fires after the answer changes nothing');
  assert.equal(never.settled, false);
  assert.equal(heic.pendingCount(), 1);
});

test('answers without an id: one request of the kind at a time; a second is refused, not confused', async () => {
  const { bridge, messages } = hostedBridge();
  const creations = bridge.requestChannel({ answers: ['albumSaved', 'albumError'] });
  bridge.emit('albumSaved', { id: 'before' });
  const saving = outcome(creations.request({ cmd: 'albumSave', json: '{}' }));
  const meanwhile = outcome(creations.request({ cmd: 'albumSaveList' }));
  await flush();
  assert.equal(meanwhile.error.code, 'busy');
  assert.equal(saving.settled, false, 'an answer that came before the request is not taken for it');
  assert.deepEqual(messages(), [{ cmd: 'albumSave', json: '{}' }], 'the refused request is not sent');

  bridge.emit('albumError', { message: 'disk full' });
  bridge.emit('albumSaved', { id: 'late' });
  await flush();
  assert.deepEqual(plainAnswer(saving.answer), { event: 'albumError', payload: { message: 'disk full' } });

  const next = creations.request({ cmd: 'albumSaveList' });
  creations.abandon();
  await assert.rejects(next, (err) => err.code === 'abandoned');
  bridge.emit('albumList', { albums: [] });
  assert.equal(creations.pendingCount(), 0);
});

test('an answer given while the command is still being posted is not missed', async () => {
  let bridge;
  const { TY } = loadScripts(['bridge'], {
    chrome: { webview: { postMessage: (text) => bridge.emit('wallpaperDone', { requestId: JSON.parse(text).requestId }) } },
  });
  bridge = TY.bridge;
  const wallpapers = bridge.requestChannel({ answers: ['wallpaperDone', 'wallpaperError'], idField: 'requestId' });
  assert.equal((await wallpapers.request({ cmd: 'setWallpaper' })).event, 'wallpaperDone');
});
