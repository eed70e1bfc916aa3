'use strict';
// The tools users know, run on the benchmark's own files beside Tessary:
// vipsthumbnail and mogrify making list thumbnails, and an ImageMagick pile
// of the same prints Tessary laid out. Each job is split over two processes,
// one per core, and timed from start to the last file written.
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const CONVERT = fs.existsSync('/usr/bin/convert') ? '/usr/bin/convert' : 'convert';

/** Runs a program; resolves when it ends, rejects on failure. */
function run(program, args) {
  return new Promise((resolve, reject) => {
    const child = spawn(program, args, { stdio: ['ignore', 'ignore', 'pipe'] });
    let err = '';
    child.stderr.on('data', (d) => { err += d; });
    child.on('error', reject);
    child.on('exit', (code) => (code === 0 ? resolve() : reject(new Error(`${program} failed (${code}): ${err.slice(0, 400)}`))));
  });
}

/** Milliseconds that `jobs` (promise makers) take when started together. */
async function timed(jobs) {
  const t0 = process.hrtime.bigint();
  await Promise.all(jobs.map((job) => job()));
  return Number(process.hrtime.bigint() - t0) / 1e6;
}

/** The list split in two, alternating, so both halves hold alike files. */
function halves(list) {
  return [list.filter((_, i) => i % 2 === 0), list.filter((_, i) => i % 2 === 1)];
}

/** 240 px thumbnails at quality 78 with vipsthumbnail (it shrinks while loading). */
function vipsThumbnails(dir, names, outDir) {
  fs.mkdirSync(outDir, { recursive: true });
  return timed(halves(names).map((part) => () => run('vipsthumbnail',
    ['-s', '240', '-o', path.join(outDir, '%s.jpg[Q=78]'), ...part.map((n) => path.join(dir, n))])));
}

/** The same thumbnails with mogrify, told the size so that it shrinks while loading too. */
function mogrifyThumbnails(dir, names, outDir) {
  fs.mkdirSync(outDir, { recursive: true });
  return timed(halves(names).map((part) => () => run('mogrify',
    ['-path', outDir, '-define', 'jpeg:size=480x480', '-thumbnail', '240x240', '-quality', '78',
      ...part.map((n) => path.join(dir, n))])));
}

/** An ImageMagick offset: "+12" or "-12". */
const signed = (v) => (v >= 0 ? `+${Math.round(v)}` : `${Math.round(v)}`);

/**
 * One print for convert: the photo read at about twice its drawn side (the
 * JPEG is shrunk while loading), cut square, white paper with the wider
 * strip below, turned, with a soft shadow, placed at its centre.
 * @param {{file: string, x: number, y: number, side: number, outerW: number, outerH: number, rot: number}} p
 * @param {number} w @param {number} h canvas size
 */
function printArgs(p, w, h) {
  const side = Math.max(8, Math.round(p.side));
  const border = Math.max(1, Math.round((p.outerW - side) / 2));
  const strip = Math.max(0, Math.round(p.outerH - side - 2 * border));
  const blur = Math.max(1, Math.round(p.outerW * 0.02));
  return ['(', '-define', `jpeg:size=${2 * side}x${2 * side}`, p.file,
    '-thumbnail', `${side}x${side}^`, '-gravity', 'center', '-extent', `${side}x${side}`,
    '-bordercolor', 'white', '-border', String(border), '-gravity', 'south', '-background', 'white', '-splice', `0x${strip}`,
    '-background', 'none', '-rotate', (p.rot * 180 / Math.PI).toFixed(2),
    '(', '+clone', '-background', 'black', '-shadow', `35x${blur}+${Math.round(blur / 2)}+${Math.round(blur / 2)}`, ')',
    '+swap', '-background', 'none', '-layers', 'merge', '+repage', ')',
    '-gravity', 'center', '-geometry', `${signed(p.x - w / 2)}${signed(p.y - h / 2)}`, '-composite'];
}

/**
 * The pile as convert makes it: each process lays half the prints, in
 * drawing order, on a transparent canvas; a last step lays both halves on
 * the desk colour and writes the JPEG.
 * @param {Array<any>} prints in drawing order, with `file` paths
 * @param {number} w @param {number} h
 * @param {string} outDir
 */
async function imagemagickPile(prints, w, h, outDir) {
  fs.mkdirSync(outDir, { recursive: true });
  const mid = Math.ceil(prints.length / 2);
  const parts = [prints.slice(0, mid), prints.slice(mid)];
  const layers = parts.map((_, i) => path.join(outDir, `layer-${i}.miff`));
  const t0 = process.hrtime.bigint();
  await Promise.all(parts.map((part, i) => run(CONVERT,
    ['-size', `${w}x${h}`, 'xc:none', ...part.flatMap((p) => printArgs(p, w, h)), layers[i]])));
  await run(CONVERT, ['-size', `${w}x${h}`, 'xc:#8a6a48', layers[0], '-composite', layers[1], '-composite',
    '-quality', '92', path.join(outDir, `pile-${w}x${h}.jpg`)]);
  return Number(process.hrtime.bigint() - t0) / 1e6;
}

module.exports = { vipsThumbnails, mogrifyThumbnails, imagemagickPile };
