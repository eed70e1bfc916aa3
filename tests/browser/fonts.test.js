'use strict';
// The caption fonts are single TTF files joined from slices; the browser
// must accept each one and draw Latin, kana and kanji with it rather than
// with a fallback font.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { pageSession, ROOT } = require('../lib/browser.js');

const FONTS = ['Yomogi-Regular', 'YuseiMagic-Regular', 'MochiyPopPOne-Regular', 'HachiMaruPop-Regular'];
const SAMPLES = ['Summer 2026', 'おもいでアルバム', '日本語写真家族'];

/**
 * Runs in the page: loads the font and returns, per sample text, whether
 * its drawing differs from the same text in the fallback font.
 */
async function drawsWithFont({ url, family, samples }) {
  const face = new FontFace(family, `url(${url})`);
  await face.load();
  document.fonts.add(face);
  const canvas = document.createElement('canvas');
  canvas.width = 480;
  canvas.height = 64;
  const ctx = canvas.getContext('2d', { willReadFrequently: true });
  const render = (font, text) => {
    ctx.clearRect(0, 0, canvas.width, canvas.height);
    ctx.font = font;
    ctx.fillText(text, 4, 48);
    return Array.from(ctx.getImageData(0, 0, canvas.width, canvas.height).data);
  };
  return samples.map((text) => {
    const own = render(`40px "${family}", serif`, text);
    const fallback = render('40px serif', text);
    const inked = own.some((v, i) => i % 4 === 3 && v > 0);
    const differs = own.some((v, i) => v !== fallback[i]);
    return { text, inked, differs };
  });
}

test('caption fonts load and draw Latin, kana and kanji', async (t) => {
  const session = await pageSession();
  t.after(() => session.close());
  const page = await session.newPage();
  for (const name of FONTS) {
    await t.test(name, async () => {
      const file = path.join(ROOT, 'web', 'assets', 'fonts', `${name}.ttf`);
      assert.ok(fs.statSync(file).size > 100000, 'font file present');
      const results = await page.evaluate(drawsWithFont, {
        url: `${session.url}/web/assets/fonts/${name}.ttf`, family: `T-${name}`, samples: SAMPLES,
      });
      for (const r of results) assert.ok(r.inked && r.differs, `${name}: ${JSON.stringify(r)}`);
    });
  }
  assert.deepEqual(page.pageErrors, []);
});
