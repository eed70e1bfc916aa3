'use strict';
// The page's pictures, fonts and sample photos are generated once and
// committed; these checks catch a missing, misnamed or oversized file.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const ROOT = path.join(__dirname, '..', '..');
const ASSETS = path.join(ROOT, 'web', 'assets');
const BACKGROUNDS = ['wood', 'steel', 'cork', 'linen', 'marble', 'marbleblack', 'washi', 'tatami',
  'leather', 'blackboard', 'whiteboard'];
const FONTS = ['Yomogi-Regular', 'YuseiMagic-Regular', 'MochiyPopPOne-Regular', 'HachiMaruPop-Regular'];

/** Width and height from a JPEG's start-of-frame segment. */
function jpegSize(buf) {
  assert.equal(buf.readUInt16BE(0), 0xffd8, 'JPEG start marker');
  let at = 2;
  while (at < buf.length) {
    const marker = buf.readUInt16BE(at);
    const length = buf.readUInt16BE(at + 2);
    if (marker >= 0xffc0 && marker <= 0xffc3) {
      return { height: buf.readUInt16BE(at + 5), width: buf.readUInt16BE(at + 7) };
    }
    at += 2 + length;
  }
  throw new Error('no frame header');
}

test('desk textures: eleven JPEGs of the expected size', () => {
  for (const key of BACKGROUNDS) {
    const buf = fs.readFileSync(path.join(ASSETS, `bg-${key}.jpg`));
    const { width, height } = jpegSize(buf);
    assert.ok(width >= 1095 && width <= 1232 && height >= 607 && height <= 768, `${key}: ${width} x ${height}`);
    assert.ok(buf.length < 400 * 1024, `${key}: ${buf.length} bytes`);
  }
  assert.match(fs.readFileSync(path.join(ASSETS, 'LICENSE-backgrounds.txt'), 'utf8'), /CC0 1\.0/);
});

test('caption fonts: one TrueType file per family, with its licence', () => {
  const licence = fs.readFileSync(path.join(ASSETS, 'fonts', 'LICENSE-OFL.txt'), 'utf8');
  assert.match(licence, /SIL OPEN FONT LICENSE Version 1\.1/);
  for (const name of FONTS) {
    const buf = fs.readFileSync(path.join(ASSETS, 'fonts', `${name}.ttf`));
    assert.equal(buf.readUInt32BE(0), 0x00010000, `${name}: TrueType signature`);
    assert.ok(licence.includes(`${name}.ttf: Copyright`), `${name}: copyright line`);
  }
});

test('sample folder: photos, one HEIC and a memo, credited outside the folder', () => {
  const folder = path.join(ROOT, 'samples', 'photos');
  const files = fs.readdirSync(folder);
  const jpegs = files.filter((f) => f.endsWith('.jpg'));
  assert.ok(jpegs.length >= 8 && jpegs.length <= 12, `${jpegs.length} photos`);
  for (const f of jpegs) {
    const { width, height } = jpegSize(fs.readFileSync(path.join(folder, f)));
    assert.ok(Math.max(width, height) <= 1600, f);
  }
  const heic = files.filter((f) => f.endsWith('.heic'));
  assert.equal(heic.length, 1);
  assert.equal(fs.readFileSync(path.join(folder, heic[0])).toString('latin1', 4, 12), 'ftypheic');
  assert.deepEqual(files.filter((f) => f.endsWith('.txt')), ['memo.txt']);
  assert.match(fs.readFileSync(path.join(folder, 'memo.txt'), 'utf8'), /思い出[\s\S]*memories/);
  const total = files.reduce((sum, f) => sum + fs.statSync(path.join(folder, f)).size, 0);
  assert.ok(total < 3e6, `${total} bytes`);
  const credits = fs.readFileSync(path.join(ROOT, 'samples', 'LICENSE-photos.txt'), 'utf8');
  for (const f of [...jpegs, ...heic]) assert.ok(credits.includes(`${f}:`), `credit for ${f}`);
});
