'use strict';
// Loads page scripts into a fresh vm context with a small `window`, so the
// pure parts of the page can be tested in node without a browser.
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const WEB_JS = path.join(__dirname, '..', '..', 'web', 'js');

/**
 * @param {string[]} names script names under web/js without ".js", in load order
 * @param {object} [extra] extra globals (e.g. a stubbed Math)
 * @returns {{TY: any, window: any, context: any}}
 */
function loadScripts(names, extra = {}) {
  const window = {
    console,
    setTimeout, clearTimeout, setInterval, clearInterval,
    performance,
    navigator: { language: 'en-US', languages: ['en-US'] },
    localStorage: memoryStorage(),
    ...extra,
  };
  window.window = window;
  window.self = window;
  window.globalThis = window;
  const context = vm.createContext(window);
  for (const name of names) {
    const file = path.join(WEB_JS, name + '.js');
    vm.runInContext(fs.readFileSync(file, 'utf8'), context, { filename: file });
  }
  return { TY: window.TY, window, context };
}

function memoryStorage() {
  const map = new Map();
  return {
    getItem: (k) => (map.has(k) ? map.get(k) : null),
    setItem: (k, v) => map.set(k, String(v)),
    removeItem: (k) => map.delete(k),
    clear: () => map.clear(),
    key: (i) => [...map.keys()][i] ?? null,
    get length() { return map.size; },
  };
}

/** A seeded stand-in for Math.random (mulberry32), for deterministic tests. */
function seededRandom(seed = 1) {
  let a = seed >>> 0;
  return function random() {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

module.exports = { loadScripts, seededRandom };
