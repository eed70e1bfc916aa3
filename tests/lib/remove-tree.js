'use strict';
const fs = require('node:fs');

/**
 * Removes a scratch folder of a browser or program that has just ended. Their
 * helper processes may still write a last file (a crash report, a cache
 * journal) for a moment after the main process is gone, so a folder that
 * refills while it is being removed is tried again, and a leftover in the
 * temporary folder never fails a test.
 * @param {string} dir
 */
async function removeTree(dir) {
  for (let i = 0; i < 10 && fs.existsSync(dir); i++) {
    try {
      fs.rmSync(dir, { recursive: true, force: true, maxRetries: 3, retryDelay: 100 });
    } catch {
      // refilled meanwhile
    }
    if (fs.existsSync(dir)) await new Promise((r) => setTimeout(r, 300));
  }
}

module.exports = { removeTree };
