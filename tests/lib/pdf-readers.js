'use strict';
// Album PDFs read back by the programs people open them with: qpdf checks
// the structure, poppler counts, measures, lists and draws the pages.
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const PAPER_SIZES = { a4: '595.28 x 841.89 pts (A4)', letter: '612 x 792 pts (letter)' };
const escaped = (text) => text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');

const run = (cmd, args, options = {}) => execFileSync(cmd, args, { maxBuffer: 256 * 1024 * 1024, ...options });

/**
 * Expects every reader to take `pdf` as an album of `pages` pages on
 * `paper`, one DCT picture per page at `pixelSize`, and its last page drawn
 * by poppler to show `lastJpeg` (the bytes the page sent), within the
 * smoothing poppler adds. Returns the mean difference per channel.
 * @param {string} pdf
 * @param {{pages: number, paper: 'a4'|'letter', pixelSize: [number, number], lastJpeg: Buffer}} expected
 */
function expectAlbumPdf(pdf, expected) {
  const check = run('qpdf', ['--check', pdf], { encoding: 'utf8' });
  assert.match(check, /No syntax or stream encoding errors found/);

  const info = run('pdfinfo', [pdf], { encoding: 'utf8' });
  assert.match(info, new RegExp(`Pages: +${expected.pages}\n`), info);
  assert.match(info, new RegExp(`Page size: +${escaped(PAPER_SIZES[expected.paper])}\n`), info);

  const listed = run('pdfimages', ['-list', pdf], { encoding: 'utf8' }).split('\n').slice(2).filter((l) => l.trim())
    .map((line) => line.trim().split(/\s+/)).map((f) => `${f[0]} ${f[2]} ${f[3]}x${f[4]} ${f[5]} ${f[8]}`);
  const [w, h] = expected.pixelSize;
  assert.deepEqual(listed, Array.from({ length: expected.pages }, (_, i) => `${i + 1} image ${w}x${h} rgb jpeg`));

  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-pdf-'));
  try {
    const jpeg = path.join(scratch, 'sent.jpg');
    fs.writeFileSync(jpeg, expected.lastJpeg);
    const sent = run('ffmpeg', ['-v', 'error', '-i', jpeg, '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-']);
    const page = String(expected.pages);
    run('pdftoppm', ['-f', page, '-l', page, '-singlefile', '-scale-to-x', String(w), '-scale-to-y', String(h),
      pdf, path.join(scratch, 'drawn')]);
    const ppm = fs.readFileSync(path.join(scratch, 'drawn.ppm'));
    // "P6\n<w> <h>\n255\n" then the pixels.
    let at = 0;
    for (let fields = 0; fields < 4; at++) if (ppm[at] === 0x0a || ppm[at] === 0x20) fields++;
    const drawn = ppm.subarray(at);
    assert.equal(drawn.length, sent.length, 'the page is drawn at the size of its picture');
    let difference = 0;
    for (let i = 0; i < sent.length; i++) difference += Math.abs(sent[i] - drawn[i]);
    const mean = difference / sent.length;
    // Poppler smooths a photo even at its own size (a few levels); another
    // picture, or this one misplaced, differs by tens.
    assert.ok(mean < 12, `the last page shows the JPEG sent (mean difference ${mean.toFixed(2)} per channel)`);
    return mean;
  } finally {
    fs.rmSync(scratch, { recursive: true, force: true });
  }
}

module.exports = { expectAlbumPdf };
