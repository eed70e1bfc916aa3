'use strict';
// Photos for the benchmarks, made at run time and never stored: every one
// different, with the detail that makes real photos costly to decode
// (drifting colour gradients, moving shapes, fine grain), written by ffmpeg
// as baseline JPEGs at a camera's quality.
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

/**
 * Writes `count` JPEGs of `w` × `h` into `dir` as IMG_0000.jpg …; returns
 * their names in order.
 * @param {string} dir
 * @param {{count: number, w: number, h: number, seed?: number}} spec
 */
function makeDetailedPhotos(dir, { count, w, h, seed = 7 }) {
  fs.mkdirSync(dir, { recursive: true });
  // The gradients are smooth, so they are drawn small and enlarged (the
  // expensive part of the source); the grain is what costs a decoder most.
  const gradients = `gradients=s=${Math.round(w / 8)}x${Math.round(h / 8)}:n=6:speed=0.02:rate=1:seed=${seed},` +
    `scale=${w}x${h}:flags=bilinear,format=yuv420p`;
  const shapes = `testsrc2=s=${w}x${h}:rate=1,format=yuv420p`;
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', gradients, '-f', 'lavfi', '-i', shapes,
    '-filter_complex', '[0][1]blend=all_mode=overlay:all_opacity=0.45,noise=alls=18:allf=t+u',
    '-frames:v', String(count), '-q:v', '3', '-pix_fmt', 'yuvj420p', '-start_number', '0',
    path.join(dir, 'IMG_%04d.jpg')]);
  return Array.from({ length: count }, (_, i) => `IMG_${String(i).padStart(4, '0')}.jpg`);
}

/** Average file size in KiB of the named files. */
function averageKiB(dir, names) {
  const total = names.reduce((sum, name) => sum + fs.statSync(path.join(dir, name)).size, 0);
  return total / names.length / 1024;
}

module.exports = { makeDetailedPhotos, averageKiB };
