'use strict';
// The rules of saved creations in node: free names for a taken name, the
// names copies are stored under, the kind and missing-photo notes of the
// list, and the layout record a scatter creation keeps.
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadScripts } = require('../lib/vm-load');

function loadRules(language) {
  const { TY } = loadScripts(['i18n', 'app'], { URLSearchParams, navigator: { language, languages: [language] } });
  return TY.ui.rules;
}

const en = loadRules('en-US');
const ja = loadRules('ja-JP');

test('a taken name is offered with the first free number added to it as typed', () => {
  const cases = [
    ['Trip', ['Trip', 'Trip(1)'], 'Trip(2)'],
    ['Trip', [' Trip ', 'Other'], 'Trip(1)'],
    ['Trip', ['Other'], 'Trip'],
    ['Trip(1)', ['Trip(1)'], 'Trip(1)(1)'],
    ['A', ['A', ...Array.from({ length: 999 }, (_, i) => `A(${i + 1})`)], 'A(1700000000000)'],
  ];
  for (const [wanted, names, want] of cases) assert.equal(en.freeCreationName(wanted, names, 1700000000000), want, wanted);
});

test('copies are stored by list position with a picture extension', () => {
  const cases = [
    [7, 'Beach.PNG', 'image/png', '0007.png'],
    [1, 'photo.jpeg', 'image/jpeg', '0001.jpeg'],
    [12, 'no-extension', '', '0012.jpg'],
    [3, 'IMG_1.HEIC', 'image/jpeg', '0003.jpg'],
    [4, 'note.txt', 'image/png', '0004.png'],
    [1000, 'scan.bmp', 'image/bmp', '1000.bmp'],
  ];
  for (const [position, name, type, want] of cases) assert.equal(en.storedCopyName(position, name, type), want, name);
});

test('the list tells a creation\'s kind and its missing photos in both languages', () => {
  assert.equal(en.creationKindText('album'), 'Album');
  assert.equal(en.creationKindText('sway'), 'Scatter（Flutter）');
  assert.equal(en.creationKindText('spin'), 'Scatter（spin）');
  assert.equal(ja.creationKindText('drop'), '散らばり（落下）');
  assert.equal(en.missingPhotosNote(3, 3), '');
  assert.equal(en.missingPhotosNote(0, 0), '');
  assert.equal(en.missingPhotosNote(5, 2), '3 photos not found');
  assert.equal(en.missingPhotosNote(2, 0), 'Photos not found (they may have been moved or deleted)');
  assert.equal(ja.missingPhotosNote(5, 2), '3 枚の写真が見つかりません');
});

test('a layout record keeps every placement field drawing uses', () => {
  const visual = { w: 1920, h: 1080, drawList: [
    { photoIndex: 2, x: 10.123456, y: 20.5, outerW: 300.25, outerH: 333.1, rot: 0.123456789, extra: 1 },
    { photoIndex: 0, x: 1, y: 2, outerW: 3, outerH: 4, rot: -0.5, featured: true },
  ] };
  const record = JSON.parse(JSON.stringify(en.layoutRecord(visual)));
  assert.deepEqual(record, { w: 1920, h: 1080, featuredCount: 1, drawList: [
    { photoIndex: 2, x: 10.123456, y: 20.5, outerW: 300.25, outerH: 333.1, rot: 0.123456789, featured: false },
    { photoIndex: 0, x: 1, y: 2, outerW: 3, outerH: 4, rot: -0.5, featured: true },
  ] });
  assert.equal(en.layoutRecord({ ...visual, drawList: [visual.drawList[0]] }).featuredCount, 0);
});
