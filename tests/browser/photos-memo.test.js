'use strict';
// Memo cards in Chromium: strict UTF-8 import from files and from the host,
// the card picture itself, and its place in the store.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { pageSession, ROOT } = require('../lib/browser');

const OUT = path.join(ROOT, 'out', 'test-memo');
let session;

test.before(async () => { session = await pageSession({ scripts: ['i18n', 'bridge', 'layout', 'render', 'photos'] }); });
test.after(async () => { await session.close(); });

const utf16 = (s) => Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from(s, 'utf16le')]);
// "メモ" in Shift_JIS.
const shiftJis = Buffer.from([0x83, 0x81, 0x83, 0x82, 0x0d, 0x0a]);

test('memo files: UTF-8 with a byte-order mark is drawn as a card, other encodings and blanks are refused', async () => {
  const page = await session.newPage();
  const files = [
    ['trip.txt', Buffer.from('\uFEFF京都の夏\r\n祇園祭の宵山\r\n鉾がきれいだった', 'utf8')],
    ['utf16.txt', utf16('メモ')],
    ['sjis.md', shiftJis],
    ['blank.md', Buffer.from(' \n\n\t\n', 'utf8')],
  ];
  const state = await page.evaluate(async (list) => {
    const made = list.map(([name, bytes]) => new File([new Uint8Array(bytes)], name));
    const counts = await TY.photos.addMemoFiles(made);
    const it = TY.photos.items[0];
    const img = await createImageBitmap(it.blob);
    const c = document.createElement('canvas');
    c.width = img.width; c.height = img.height;
    const x = c.getContext('2d');
    x.drawImage(img, 0, 0);
    const px = (X, Y) => Array.from(x.getImageData(X, Y, 1, 1).data.slice(0, 3));
    return {
      counts,
      item: { name: it.name, caption: it.caption, origin: it.origin, type: it.blob.type, memo: 'memo' in it },
      size: [img.width, img.height],
      paper: px(20, 680),
      tape: px(450, 20),
      ink: (() => {
        // Dark writing somewhere on the heading's line, inside the safe area.
        const row = x.getImageData(150, 60, 600, 40).data;
        let dark = 0;
        for (let i = 0; i < row.length; i += 4) if (row[i] < 140) dark++;
        return dark;
      })(),
      dataUrl: c.toDataURL('image/png'),
    };
  }, files.map(([n, b]) => [n, [...b]]));
  assert.deepEqual(state.counts, { added: 1, skipped: 3, overflow: 0 });
  assert.deepEqual(state.item, { name: 'trip.png', caption: '京都の夏', origin: 'memo', type: 'image/png', memo: false });
  assert.deepEqual(state.size, [900, 700]);
  assert.deepEqual(state.paper, [0xee, 0xe7, 0xcf]);
  assert.ok(state.tape[0] > state.tape[2] + 40, `tape colour over the paper: ${state.tape}`);
  assert.ok(state.ink > 200, 'the heading is written');
  fs.mkdirSync(OUT, { recursive: true });
  fs.writeFileSync(path.join(OUT, 'memo-card.png'), Buffer.from(state.dataUrl.split(',')[1], 'base64'));
  assert.deepEqual(page.pageErrors, []);
  await page.close();
});

test('memos from the host are fetched by encoded path; a failed fetch is skipped', async () => {
  const page = await session.newPage();
  const requested = [];
  await page.route('https://photos.test/**', (route) => {
    const url = route.request().url();
    requested.push(url);
    if (url.endsWith('/gone.md')) return route.fulfill({ status: 404, body: '' });
    return route.fulfill({ status: 200, body: 'Heading\nline one', headers: { 'Access-Control-Allow-Origin': '*' } });
  });
  const result = await page.evaluate(async () => {
    const counts = await TY.photos.addMemosFromHost('https://photos.test/', ['旅/day 1.md', 'gone.md', '旅/day 1.md']);
    return { counts, names: TY.photos.items.map((it) => it.name), captions: TY.photos.items.map((it) => it.caption) };
  });
  assert.deepEqual(result.counts, { added: 1, skipped: 2, overflow: 0 }, 'the repeated memo is a duplicate');
  assert.deepEqual(result.names, ['旅/day 1.png']);
  assert.deepEqual(result.captions, ['Heading']);
  assert.equal(requested[0], 'https://photos.test/%E6%97%85/day%201.md');
  await page.close();
});

test('a long memo is written smaller: 49 body lines fit above the bottom edge', async () => {
  const page = await session.newPage();
  const state = await page.evaluate(async () => {
    const text = Array.from({ length: 80 }, (_, i) => (i ? 'line ' + i : 'Long memo')).join('\n');
    const blob = await TY.photos._memoBlob(text);
    const img = await createImageBitmap(blob);
    const c = document.createElement('canvas');
    c.width = img.width; c.height = img.height;
    const x = c.getContext('2d');
    x.drawImage(img, 0, 0);
    const inkRows = (y0, y1) => {
      const d = x.getImageData(150, y0, 600, y1 - y0).data;
      let n = 0;
      for (let i = 0; i < d.length; i += 4) if (d[i] < 140) n++;
      return n;
    };
    // Left and right margins that a framed print crops away stay clean.
    const margin = x.getImageData(0, 120, 140, 560).data;
    let marginInk = 0;
    for (let i = 0; i < margin.length; i += 4) if (margin[i] < 140) marginInk++;
    return { nearBottom: inkRows(640, 665), belowBand: inkRows(668, 700), marginInk, dataUrl: c.toDataURL() };
  });
  assert.ok(state.nearBottom > 20, 'the last lines reach the bottom of the band');
  assert.equal(state.belowBand, 0, 'nothing is written below the band');
  assert.equal(state.marginInk, 0);
  fs.mkdirSync(OUT, { recursive: true });
  fs.writeFileSync(path.join(OUT, 'memo-long.png'), Buffer.from(state.dataUrl.split(',')[1], 'base64'));
  await page.close();
});
