'use strict';
// Builds EXIF blocks byte by byte, so caption and orientation tests can make
// exactly the JPEG headers they need (either byte order, any tag layout).

const TYPE = { BYTE: 1, ASCII: 2, SHORT: 3, LONG: 4, UNDEFINED: 7 };
const TAG = {
  ImageDescription: 0x010e, Orientation: 0x0112, ExifIFD: 0x8769,
  UserComment: 0x9286, XPTitle: 0x9c9b, XPComment: 0x9c9c,
};

/** Windows XP* text: UTF-16 little-endian with a closing NUL, whatever the byte order. */
const xpText = (s) => Buffer.concat([Buffer.from(s, 'utf16le'), Buffer.alloc(2)]);
const asciiText = (s) => Buffer.concat([Buffer.from(s, 'utf8'), Buffer.alloc(1)]);

/**
 * UserComment: an 8-byte character-code header, then the text.
 * @param {'UNICODE'|'ASCII'|'NUL'|'JIS'} code
 * @param {string} s
 * @param {boolean} [bigEndian] byte order of UNICODE text
 */
function userComment(code, s, bigEndian = false) {
  const header = Buffer.alloc(8);
  if (code !== 'NUL') header.write(code, 0, 'latin1');
  let body;
  if (code === 'UNICODE') {
    body = Buffer.from(s, 'utf16le');
    if (bigEndian) body.swap16();
  } else {
    body = Buffer.from(s, 'utf8');
  }
  return Buffer.concat([header, body]);
}

/**
 * A TIFF block with a first directory and, when `exif` has entries, an Exif
 * sub-directory linked from it. Entry values: a number (SHORT/LONG, count 1)
 * or a Buffer (count = bytes / unit size; stored inline when 4 bytes or less).
 * @param {{bigEndian?: boolean, ifd0?: Array<{tag:number,type:number,value:number|Buffer}>, exif?: Array<{tag:number,type:number,value:number|Buffer}>}} layout
 */
function buildTiff({ bigEndian = false, ifd0 = [], exif = [] } = {}) {
  const le = !bigEndian;
  const dirs = [ifd0.slice(), exif];
  if (exif.length) dirs[0].push({ tag: TAG.ExifIFD, type: TYPE.LONG, value: -1 });
  const dirSize = (n) => (n ? 2 + n * 12 + 4 : 0);
  const offsets = [8, 8 + dirSize(dirs[0].length)];
  let dataAt = offsets[1] + dirSize(exif.length);
  const head = Buffer.alloc(dataAt);
  const data = [];
  const u16 = (p, v) => (le ? head.writeUInt16LE(v, p) : head.writeUInt16BE(v, p));
  const u32 = (p, v) => (le ? head.writeUInt32LE(v, p) : head.writeUInt32BE(v, p));
  head.write(le ? 'II' : 'MM', 0, 'latin1');
  u16(2, 42);
  u32(4, 8);
  dirs.forEach((entries, d) => {
    if (!entries.length) return;
    let p = offsets[d];
    u16(p, entries.length);
    p += 2;
    for (const e of entries) {
      u16(p, e.tag);
      u16(p + 2, e.type);
      if (typeof e.value === 'number') {
        u32(p + 4, 1);
        const v = e.value === -1 ? offsets[1] : e.value;
        if (e.type === TYPE.SHORT) u16(p + 8, v);
        else u32(p + 8, v);
      } else {
        const unit = e.type === TYPE.SHORT ? 2 : e.type === TYPE.LONG ? 4 : 1;
        u32(p + 4, e.value.length / unit);
        if (e.value.length <= 4) {
          e.value.copy(head, p + 8);
        } else {
          u32(p + 8, dataAt);
          data.push(e.value);
          dataAt += e.value.length;
        }
      }
      p += 12;
    }
    u32(p, 0);
  });
  return Buffer.concat([head, ...data]);
}

/** The APP1 segment holding a TIFF block. */
function exifSegment(tiff) {
  const size = Buffer.alloc(2);
  size.writeUInt16BE(2 + 6 + tiff.length);
  return Buffer.concat([Buffer.from([0xff, 0xe1]), size, Buffer.from('Exif\0\0', 'latin1'), tiff]);
}

/**
 * Inserts segments right after the start marker of a JPEG. Without a JPEG,
 * a header-only file (start marker, the segments, start of scan) is made.
 * @param {Buffer[]} segments
 * @param {Buffer} [jpeg]
 */
function jpegWith(segments, jpeg) {
  const base = jpeg || Buffer.from([0xff, 0xd8, 0xff, 0xda, 0x00, 0x02, 0xff, 0xd9]);
  return Buffer.concat([base.subarray(0, 2), ...segments, base.subarray(2)]);
}

module.exports = { TYPE, TAG, xpText, asciiText, userComment, buildTiff, exifSegment, jpegWith };
