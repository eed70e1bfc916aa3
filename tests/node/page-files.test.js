'use strict';
// The large page files stay navigable: a contents list at the top that
// names every section banner, in order, and one banner style throughout.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const WEB_JS = path.join(__dirname, '..', '..', 'web', 'js');
const BANNER = /^ {2}\/\/ ={64} (.+)$/;
// Rules of dashes or equals signs that are not the one banner style.
const OTHER_RULE = /^\s*\/\/\s*(?:-{8,}|={8,})(?!=)/;

/** @param {string} text the file @returns {string[]} section names listed under "Contents:" */
function contentsOf(text) {
  const lines = text.split('\n');
  const start = lines.indexOf('// Contents:');
  if (start < 0) return [];
  const listed = [];
  for (const line of lines.slice(start + 1)) {
    if (!line.startsWith('//   ')) break;
    listed.push(line.slice(5));
  }
  return listed.join(' ').split(' · ').map((name) => name.trim().replace(/\s+/g, ' '));
}

test('every large page file lists its sections at the top, in the order of their banners', () => {
  for (const name of ['app', 'album', 'render', 'photos', 'bridge']) {
    const text = fs.readFileSync(path.join(WEB_JS, name + '.js'), 'utf8');
    const lines = text.split('\n');
    const banners = lines.map((line) => BANNER.exec(line)).filter(Boolean).map((m) => m[1]);
    assert.ok(banners.length >= 3, `${name}.js has sections`);
    assert.deepEqual(contentsOf(text), banners, `${name}.js: contents and banners agree`);
    const stray = lines.filter((line) => OTHER_RULE.test(line) && !BANNER.test(line));
    assert.deepEqual(stray, [], `${name}.js uses one banner style`);
  }
});
