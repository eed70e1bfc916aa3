'use strict';
// The render page of the preview and the benchmark, with the album and
// video scripts added and a helper that turns a laid-out pile into a
// play-data record.
const { openRenderPage, drawStillInPage } = require('./render-page.js');

/** Opens the render page and adds the album and video modules. */
async function openAnimPage(opts = {}) {
  const opened = await openRenderPage(opts);
  for (const name of ['album', 'video']) await opened.page.addScriptTag({ url: `${opened.session.url}/web/js/${name}.js` });
  return opened;
}

/**
 * Lays out and decodes a pile (as the still picture does) and keeps a
 * play-data record of it as window.__play. Returns the number of prints.
 * @param {import('playwright-core').Page} page
 * @param {any} still options of drawStillInPage
 * @param {any} record play-data fields laid over the defaults
 */
async function preparePlay(page, still, record) {
  await page.evaluate(drawStillInPage, still);
  return page.evaluate((fields) => {
    const a = window.__drawArgs;
    const drawList = a[3];
    const spot = drawList.length && drawList[drawList.length - 1].featured ? drawList.length - 1 : -1;
    const data = TY.render.normalizePlayData({
      w: a[1], h: a[2], drawList, motion: 'drop', speed: 1, background: a[5], frame: a[7], filter: a[8],
      captions: a[9], captionCfg: a[10], spotlightIndex: spot, emphasisFactor: 1.2, holdSec: 30,
      albumPhotos: null, comments: window.__names.map((n) => 'Memo for ' + n), ...fields,
    });
    data.bitmaps = a[4];
    data.baseCanvas = a[0];
    window.__play = data;
    return drawList.length;
  }, record);
}

module.exports = { openAnimPage, preparePlay };
