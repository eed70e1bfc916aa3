'use strict';
// Writes tests/fixtures/live/pile-1920x1080.json: the play-data record of a
// live wallpaper as the generator hands it over, a covering pile of the
// sample photos at 1920 × 1080 with captions, ☆1 on top and the gust exit.
// The layout is drawn from a seeded sequence, so the file comes out the
// same each time. The native desktop tests and scripts/bench-live-playback.sh hand
// it over with the sample photos (tests/linux/HandoffWriter.cpp adds the
// photo addresses).
const fs = require('node:fs');
const path = require('node:path');
const { loadScripts, seededRandom } = require('../tests/lib/vm-load.js');

const ROOT = path.join(__dirname, '..');
const OUT = path.join(ROOT, 'tests', 'fixtures', 'live', 'pile-1920x1080.json');
const SAMPLES = fs.readdirSync(path.join(ROOT, 'samples', 'photos')).filter((f) => f.endsWith('.jpg')).sort();

const random = seededRandom(20260808);
const { TY } = loadScripts(['i18n', 'layout'], { Math: Object.assign(Object.create(Math), { random }) });
const w = 1920;
const h = 1080;
const laid = TY.layout.placeAll({ w, h, photoCount: SAMPLES.length, scale: 'l', starred: [0] });
const pile = TY.layout.finalizeDrawList(laid.placements, laid.favourites, () => true, false);
const round = (/** @type {number} */ v) => Math.round(v * 100) / 100;
const record = {
  w, h, srcW: w, srcH: h,
  drawList: pile.drawList.map((p) => ({ ...p, x: round(p.x), y: round(p.y), rot: Math.round(p.rot * 1e4) / 1e4, outerW: round(p.outerW), outerH: round(p.outerH) })),
  spotlightIndex: pile.drawList.length - 1,
  motion: 'drop', speed: 1, background: 'cork', frame: 'cheki', filter: 'none',
  captions: SAMPLES.map((f) => f.replace(/\.jpg$/, '').replace(/-/g, ' ')),
  captionCfg: { font: 'yomogi', size: 'm' },
  imageTitleCfg: null, title: null, titleCfg: { font: 'gothic', color: null },
  emphasisFactor: 1.2, dimOthers: false, dimTranslucent: false, albumCfg: {}, albumPhotos: null, comments: [],
  holdSec: 3, wind: 'gust', uiJapanese: false,
};
fs.mkdirSync(path.dirname(OUT), { recursive: true });
fs.writeFileSync(OUT, JSON.stringify(record) + '\n');
console.log(`${path.relative(ROOT, OUT)}: ${record.drawList.length} prints of ${SAMPLES.length} photos`);
