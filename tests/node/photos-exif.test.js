'use strict';
// The EXIF caption reader against JPEG headers built byte by byte and the
// committed fixture files.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { loadScripts } = require('../lib/vm-load');
const { TYPE, TAG, xpText, asciiText, userComment, buildTiff, exifSegment, jpegWith } = require('../lib/exif-jpeg');

const { TY } = loadScripts(['i18n', 'photos'], { TextDecoder });
const read = (bytes) => TY.photos.readExifCaption(bytes);
const FIXTURES = path.join(__dirname, '..', 'fixtures', 'exif');

const title = (s) => ({ tag: TAG.XPTitle, type: TYPE.BYTE, value: xpText(s) });
const comment = (s) => ({ tag: TAG.XPComment, type: TYPE.BYTE, value: xpText(s) });
const description = (s) => ({ tag: TAG.ImageDescription, type: TYPE.ASCII, value: asciiText(s) });
const user = (code, s, bigEndian) => ({ tag: TAG.UserComment, type: TYPE.UNDEFINED, value: userComment(code, s, bigEndian) });
const orientation = { tag: TAG.Orientation, type: TYPE.SHORT, value: 6 };

/** @param {Parameters<typeof buildTiff>[0]} layout */
const jpeg = (layout) => jpegWith([exifSegment(buildTiff(layout))]);

test('captions are taken in the order XPTitle, XPComment, ImageDescription, UserComment', () => {
  const cases = [
    ['XPTitle wins over the description', { ifd0: [description('Desc'), title('祇園祭')] }, '祇園祭'],
    ['XPComment when no title', { ifd0: [orientation, comment('Comment'), description('Desc')] }, 'Comment'],
    ['an empty title is passed over', { ifd0: [title('  '), description('Desc')] }, 'Desc'],
    ['ImageDescription is UTF-8', { ifd0: [description('京都の夏 ☀')] }, '京都の夏 ☀'],
    ['short description stored in the entry', { ifd0: [description('Hi')] }, 'Hi'],
    ['UserComment with 8 NUL bytes is UTF-8', { exif: [user('NUL', 'Été à Kyoto')] }, 'Été à Kyoto'],
    ['UserComment ASCII', { exif: [user('ASCII', 'Plain words')] }, 'Plain words'],
    ['UserComment UNICODE little-endian', { exif: [user('UNICODE', '花火')] }, '花火'],
    ['UserComment with another code gives nothing', { exif: [user('JIS', 'x')] }, null],
    ['UserComment is read only when the texts are empty', { ifd0: [title('T')], exif: [user('ASCII', 'U')] }, 'T'],
    ['NUL characters are removed and the text trimmed', { ifd0: [description(' a\0b ')] }, 'ab'],
    ['no caption tags', { ifd0: [orientation] }, null],
  ];
  for (const [what, layout, expected] of cases) assert.equal(read(jpeg(layout)), expected, what);
});

test('a big-endian file reads UNICODE comments big-endian and XP tags little-endian', () => {
  assert.equal(read(jpeg({ bigEndian: true, exif: [user('UNICODE', 'Osaka 大阪', true)] })), 'Osaka 大阪');
  assert.equal(read(jpeg({ bigEndian: true, ifd0: [title('大阪城'), orientation] })), '大阪城');
  assert.equal(read(jpeg({ bigEndian: true, ifd0: [description('Desc')] })), 'Desc');
});

test('the EXIF block is found after other segments and ignored after the scan starts', () => {
  const app0 = Buffer.from([0xff, 0xe0, 0x00, 0x06, 0x4a, 0x46, 0x49, 0x46]);
  const exif = exifSegment(buildTiff({ ifd0: [title('After JFIF')] }));
  assert.equal(read(jpegWith([app0, exif])), 'After JFIF');
  const sos = Buffer.from([0xff, 0xda, 0x00, 0x02]);
  assert.equal(read(jpegWith([sos, exif])), null);
});

test('only the first 256 KiB are looked at', () => {
  const padding = (n) => {
    const seg = Buffer.alloc(n + 4);
    seg.writeUInt16BE(0xffe2, 0);
    seg.writeUInt16BE(n + 2, 2);
    return seg;
  };
  const exif = exifSegment(buildTiff({ ifd0: [title('Far')] }));
  const fillers = (count) => Array.from({ length: count }, () => padding(60000));
  assert.equal(read(jpegWith([...fillers(4), exif])), 'Far');
  assert.equal(read(jpegWith([...fillers(5), exif])), null);
});

test('every value is read within its own EXIF segment', () => {
  const filler = (n) => {
    const seg = Buffer.alloc(n + 4, 0x41);
    seg.writeUInt16BE(0xffe2, 0);
    seg.writeUInt16BE(n + 2, 2);
    return seg;
  };
  // A title whose byte count runs far past its segment, into the bytes after it.
  const damaged = exifSegment(buildTiff({ ifd0: [title('first'), description('Desc')] }));
  const countAt = damaged.indexOf(Buffer.from([0x9b, 0x9c])) + 4;
  damaged.writeUInt32LE(120000, countAt);
  // A segment whose stated size ends inside its own title: the rest belongs to the next segment.
  const cut = exifSegment(buildTiff({ ifd0: [title('first')] }));
  cut.writeUInt16BE(cut.length - 2 - 6, 2);
  const cases = [
    ['a damaged count is ignored; the next text is taken', jpegWith([damaged, filler(60000), filler(60000)]), 'Desc'],
    ['a title cut off by its segment is ignored', jpegWith([cut.subarray(0, cut.length - 6), exifSegment(buildTiff({ ifd0: [title('second')] }))]), null],
    ['a value that fits is still read', jpegWith([exifSegment(buildTiff({ ifd0: [title('first')] })), filler(100)]), 'first'],
  ];
  for (const [what, bytes, expected] of cases) assert.equal(read(bytes), expected, what);
});

test('broken or foreign data gives no caption and never throws', () => {
  const good = jpeg({ ifd0: [title('Fine')] });
  const badMagic = Buffer.from(good);
  badMagic.writeUInt16LE(43, 14);
  const pointingOut = jpeg({ ifd0: [{ tag: TAG.XPTitle, type: TYPE.BYTE, value: xpText('far') }] });
  pointingOut.writeUInt32LE(0x7fffffff, 30);
  const truncated = good.subarray(0, 30);
  const cases = [
    Buffer.alloc(0), Buffer.from([0xff, 0xd8]), Buffer.from('\x89PNG\r\n\x1a\n0000', 'latin1'),
    Buffer.from([0xff, 0xd8, 0x00, 0x00, 0xff, 0xe1]), badMagic, pointingOut, truncated,
  ];
  for (const bytes of cases) assert.equal(read(bytes), null, bytes.toString('hex').slice(0, 40));
  assert.equal(read(good.buffer.slice(good.byteOffset, good.byteOffset + good.length)), 'Fine', 'an ArrayBuffer is read too');
});

test('the committed fixture photos carry the expected captions', () => {
  const expected = {
    'orient6-xptitle.jpg': '夏の海',
    'mm-usercomment-unicode.jpg': 'Big-endian 祭り',
    'plain.jpg': null,
  };
  for (const [name, caption] of Object.entries(expected)) {
    assert.equal(read(fs.readFileSync(path.join(FIXTURES, name))), caption, name);
  }
});
