// Album: settings, pagination and timeline, page faces and covers, and the
// scene drawn on every frame of the album motion (cover opening, spreads,
// curled page turns, closing). Faces, and stills of desk and book, are
// drawn once offscreen; a frame copies a still and draws only the moving
// sheet, so a 4K album stays cheap to animate.
//
// Contents:
//   settings · geometry and pagination (pure) · timeline (pure) · drawing helpers · page faces
//   · cover face · scene state and face cache · scene drawing · stills · print pages · PDF sheets
(function () {
  'use strict';

  // ================================================================ settings

  const DEFAULT_CFG = Object.freeze({
    cover: 'cloth', mat: 'black', photosPerPage: 'auto', fitMode: 'fit', mount: 'pocket',
    tapePattern: 'none', starMode: 'none', lastAction: 'close',
  });

  const CFG_ENUM = Object.freeze({
    cover: ['cloth', 'leather', 'paper', 'scatter'],
    mat: ['black', 'white', 'kraft', 'ledger'],
    photosPerPage: ['auto', 1, 2, 3, 4, 6, 9],
    fitMode: ['fit', 'crop'],
    mount: ['pocket', 'corner', 'tape'],
    tapePattern: ['none', 'fuji', 'sunflower', 'sakura', 'stars', 'shinkansen', 'dots', 'auto'],
    starMode: ['none', 'coverStar1', 'featurePages', 'both'],
    lastAction: ['close', 'repeat'],
  });

  const MAT_COLORS = Object.freeze({ black: '#23201d', white: '#f1ede4', kraft: '#b6997a', ledger: '#ffffff' });
  const COVER_COLORS = Object.freeze({ cloth: '#8a3a3a', leather: '#5a3a26', paper: '#d8cfc0' });
  const PAGE_GRIDS = Object.freeze({ 1: [1, 1], 2: [1, 2], 3: [1, 3], 4: [2, 2], 6: [2, 3], 9: [3, 3] });

  /**
   * Normalised album settings: every unknown value falls back to its default.
   * @param {any} raw
   */
  function cfgOf(raw) {
    const src = raw && typeof raw === 'object' ? raw : {};
    /** @type {any} */
    const cfg = { ...DEFAULT_CFG };
    for (const key of Object.keys(DEFAULT_CFG)) {
      if (key === 'photosPerPage') continue;
      if (CFG_ENUM[key].includes(src[key])) cfg[key] = src[key];
    }
    const ppp = src.photosPerPage;
    const num = typeof ppp === 'number' ? ppp : (typeof ppp === 'string' && /^\d+$/.test(ppp) ? Number(ppp) : NaN);
    cfg.photosPerPage = PAGE_GRIDS[num] ? num : 'auto';
    return cfg;
  }

  /**
   * Tempo of a play-data `speed`: a number clamped to 0.25 … 2, or the old
   * words `slow` and `superslow`; anything else plays at normal tempo.
   * @param {any} speed
   */
  function rateOf(speed) {
    const num = typeof speed === 'number' ? speed : (typeof speed === 'string' && speed.trim() !== '' ? Number(speed) : NaN);
    if (Number.isFinite(num) && num !== 0) return Math.min(2, Math.max(0.25, num));
    if (speed === 'slow') return 0.5;
    if (speed === 'superslow') return 0.25;
    return 1;
  }

  // ================================================================ geometry and pagination (pure)

  /**
   * Page geometry on a W × H canvas; the optional work band only moves the
   * album's centre, never its size.
   */
  function geometry(W, H, vTop, vBottom) {
    const portrait = H > W;
    let pageW;
    let pageH;
    if (portrait) {
      pageW = Math.min(0.94 * W, 0.63 * H);
      pageH = Math.min(0.94 * H, 1.5 * pageW);
    } else {
      pageH = 0.92 * H;
      pageW = 0.78 * pageH;
      if (2 * pageW > 0.96 * W) {
        pageW = 0.48 * W;
        pageH = Math.min(0.94 * H, pageW / 0.78);
      }
    }
    const banded = Number.isFinite(vTop) && Number.isFinite(vBottom) && vBottom > vTop;
    return { portrait, pageW, pageH, cx: W / 2, cy: banded ? (vTop + vBottom) / 2 : H / 2 };
  }

  function portraitRows(geom) {
    return Math.min(4, Math.max(2, Math.round((geom.pageH / geom.pageW) * 1.6)));
  }

  function photosOnPage(cfg, geom) {
    if (cfg.mat === 'ledger') return 3;
    if (cfg.photosPerPage === 'auto') return geom.portrait ? 2 * portraitRows(geom) : 2;
    return cfg.photosPerPage;
  }

  /** Columns × rows of a normal page (feature pages hold one photo). */
  function pageGrid(cfg, geom, feature) {
    if (feature) return [1, 1];
    if (cfg.photosPerPage === 'auto') return geom.portrait ? [2, portraitRows(geom)] : [1, 2];
    return PAGE_GRIDS[cfg.photosPerPage];
  }

  /** The three rows of the photo-ledger form, in page coordinates. */
  function ledgerLayout(geom) {
    const { pageW, pageH } = geom;
    const m = 0.06 * pageW;
    const g = 0.02 * pageH;
    const r = (pageH - 2 * m - 2 * g) / 3;
    const photoW = 0.55 * pageW;
    const boxX = m + photoW + 0.02 * pageW;
    const rows = [];
    for (let i = 0; i < 3; i++) {
      const y = m + i * (r + g);
      rows.push({ photo: { x: m, y, w: photoW, h: r }, box: { x: boxX, y, w: pageW - 2 * m - photoW - 0.02 * pageW, h: r } });
    }
    return rows;
  }

  /** Cells of a page in page coordinates, row by row. */
  function cellRects(cfg, geom, feature, captionsOn) {
    if (cfg.mat === 'ledger' && !feature) {
      return ledgerLayout(geom).map((row) => ({ x: row.photo.x, y: row.photo.y, side: row.photo.w, w: row.photo.w, h: row.photo.h }));
    }
    const [cols, rows] = pageGrid(cfg, geom, feature);
    const { pageW, pageH } = geom;
    const m = 0.10 * pageW;
    const g = 0.06 * pageW;
    const c = captionsOn ? 0.15 : 0;
    const side = Math.max(0, Math.min((pageW - 2 * m - g * (cols - 1)) / cols, (pageH - 2 * m - g * (rows - 1)) / (rows * (1 + c))));
    const rowH = side * (1 + c);
    const x0 = (pageW - (cols * side + (cols - 1) * g)) / 2;
    const y0 = (pageH - (rows * rowH + (rows - 1) * g)) / 2;
    const cells = [];
    for (let r = 0; r < rows; r++) {
      for (let col = 0; col < cols; col++) cells.push({ x: x0 + col * (side + g), y: y0 + r * (rowH + g), side, w: side, h: side });
    }
    return cells;
  }

  /** Distinct non-negative integers, ascending. */
  function distinctIndices(values) {
    return [...new Set(values.filter((v) => Number.isInteger(v) && v >= 0))].sort((a, b) => a - b);
  }

  /** The album's photos: `albumPhotos` when given, else the draw list's photos. */
  function albumPhotoIndices(data) {
    if (Array.isArray(data.albumPhotos)) return distinctIndices(data.albumPhotos);
    return distinctIndices((data.drawList || []).map((p) => p && p.photoIndex));
  }

  /** Starred photos, ☆1 first (the draw list ends with ☆1), at most five. */
  function starList(drawList) {
    const stars = [];
    const list = drawList || [];
    for (let i = list.length - 1; i >= 0 && stars.length < 5; i--) {
      const p = list[i];
      if (p && p.featured && Number.isInteger(p.photoIndex) && !stars.includes(p.photoIndex)) stars.push(p.photoIndex);
    }
    return stars;
  }

  function page(list, feature) {
    return { list, feature, pageNum: 0 };
  }

  function paginate(indices, perPage, portrait) {
    const per = portrait ? perPage : 2 * perPage;
    const spreads = [];
    for (let i = 0; i < indices.length; i += per) {
      const run = indices.slice(i, i + per);
      spreads.push({ pages: portrait ? [page(run, false)] : [page(run.slice(0, perPage), false), page(run.slice(perPage), false)] });
    }
    if (!spreads.length) spreads.push({ pages: portrait ? [page([], false)] : [page([], false), page([], false)] });
    return spreads;
  }

  function featureSpreads(stars, portrait) {
    const spreads = [];
    if (portrait) {
      for (const s of stars) spreads.push({ pages: [page([s], true)] });
    } else {
      for (let i = 0; i < stars.length; i += 2) {
        spreads.push({ pages: [page([stars[i]], true), page(i + 1 < stars.length ? [stars[i + 1]] : [], true)] });
      }
    }
    return spreads;
  }

  function usesFeaturePages(cfg) {
    return cfg.starMode === 'featurePages' || cfg.starMode === 'both';
  }

  /** Feature spreads first, then the normal ones; pages numbered across all. */
  function buildSpreads(cfg, geom, photos, stars) {
    const featured = usesFeaturePages(cfg) ? stars : [];
    const normal = photos.filter((p) => !featured.includes(p));
    const spreads = featureSpreads(featured, geom.portrait);
    if (normal.length || !spreads.length) spreads.push(...paginate(normal, photosOnPage(cfg, geom), geom.portrait));
    let num = 1;
    for (const spread of spreads) for (const pg of spread.pages) pg.pageNum = num++;
    return spreads;
  }

  // ================================================================ timeline (pure)

  /** Album timeline; same contract as the video timing. */
  function timing(n, speed, opts) {
    const o = opts || {};
    const rate = rateOf(speed);
    const cfg = cfgOf(o.albumCfg);
    const geom = geometry(o.w || 16, o.h || 9);
    const p = photosOnPage(cfg, geom);
    const perSpread = geom.portrait ? p : 2 * p;
    const given = Array.isArray(o.albumPhotos) ? distinctIndices(o.albumPhotos) : null;
    let stars = usesFeaturePages(cfg) ? starList(o.drawList) : [];
    if (given) stars = stars.filter((s) => given.includes(s));
    let photoCount;
    if (given) photoCount = given.length;
    else if (Array.isArray(o.drawList) && o.drawList.length) photoCount = albumPhotoIndices({ drawList: o.drawList }).length;
    else photoCount = Math.max(1, n);
    const normal = Math.max(0, photoCount - stars.length);
    const feature = geom.portrait ? stars.length : Math.ceil(stars.length / 2);
    const normalSpreads = normal ? Math.ceil(normal / perSpread) : (feature ? 0 : 1);
    const spreads = Math.max(1, feature + normalSpreads);
    const coverOpenDur = 1.6 / rate;
    const pageHold = 4.5 / rate;
    const turnDur = 1.0 / rate;
    const lastHold = 4.0 / rate;
    const closeDur = cfg.lastAction === 'close' ? 1.4 / rate : 0;
    const total = coverOpenDur + spreads * pageHold + (spreads - 1) * turnDur + lastHold + closeDur;
    return {
      stagger: 0, fallDur: 0, titleDur: 0, spotDur: 0, spotMove: 0, spotHold: 0, spotReturn: 0, hold: lastHold,
      coverOpenDur, pageHold, turnDur, lastHold, closeDur, spreads, total, rate,
    };
  }

  /** Which scene shows at time t: cover, spread, turn or close. */
  function sceneAt(t, tm) {
    if (t < tm.coverOpenDur) return { phase: 'cover', idx: 0, prog: Math.max(0, t / tm.coverOpenDur) };
    const last = tm.spreads - 1;
    if (tm.closeDur > 0 && t >= tm.total - tm.closeDur) {
      return { phase: 'close', idx: last, prog: Math.min(1, (t - (tm.total - tm.closeDur)) / tm.closeDur) };
    }
    const lt = t - tm.coverOpenDur;
    const cycle = tm.pageHold + tm.turnDur;
    const i = Math.min(last, Math.floor(lt / cycle));
    const c = lt - i * cycle;
    if (i === last) return { phase: 'spread', idx: i, prog: Math.min(1, c / tm.pageHold) };
    if (c < tm.pageHold) return { phase: 'spread', idx: i, prog: c / tm.pageHold };
    return { phase: 'turn', idx: i, prog: (c - tm.pageHold) / tm.turnDur };
  }

  /** Side to which album photos are decoded for pages of this geometry. */
  function cellSide(albumCfg, geom) {
    const cfg = cfgOf(albumCfg);
    if (cfg.mat === 'ledger') {
      const cell = ledgerLayout(geom)[0].photo;
      return Math.ceil(Math.max(cell.w, cell.h));
    }
    const cells = cellRects(cfg, geom, false, false);
    return Math.ceil(cells.length ? cells[0].side : 0.8 * geom.pageW);
  }

  /** Decode side for album photos on screen. */
  function previewCellSide(albumCfg, w, h) {
    return cellSide(albumCfg, geometry(w, h));
  }

  /** One printed page fills the whole portrait sheet. */
  function printGeometry(pxW, pxH) {
    return { portrait: true, pageW: pxW, pageH: pxH, cx: pxW / 2, cy: pxH / 2 };
  }

  /** Decode side for album photos on printed sheets of pxW × pxH. */
  function printCellSide(albumCfg, pxW, pxH) {
    return cellSide(albumCfg, printGeometry(pxW, pxH));
  }

  // ================================================================ drawing helpers

  /** @returns {HTMLCanvasElement} */
  function makeSurface(w, h) {
    const c = document.createElement('canvas');
    c.width = Math.max(1, Math.round(w));
    c.height = Math.max(1, Math.round(h));
    return c;
  }

  function render() {
    return window.TY.render;
  }

  function usable(image) {
    return render().usableBitmap(image);
  }

  function fillRects(ctx, rects, color) {
    if (!rects.length) return;
    ctx.fillStyle = color;
    ctx.beginPath();
    for (const r of rects) ctx.rect(r[0], r[1], r[2], r[3]);
    ctx.fill();
  }

  /** Random specks and fibres split into two colours, each filled in one go. */
  function grain(ctx, random, count, makeRect, light, dark) {
    const lights = [];
    const darks = [];
    for (let i = 0; i < count; i++) {
      const rect = makeRect(random);
      (random() < 0.5 ? lights : darks).push(rect);
    }
    fillRects(ctx, lights, light);
    fillRects(ctx, darks, dark);
  }

  // ================================================================ page faces

  const PLAIN_TAPE_RGB = [[240, 200, 120], [150, 205, 190], [235, 165, 165], [175, 185, 225]];
  const LEDGER_LINES = 5;

  /** What a page face needs from the play data, gathered once per face. */
  function faceInputs(data, cfg, geom) {
    const printMode = !!data.printMode;
    const whiteBg = printMode && !!data.printWhiteBg;
    return {
      cfg, geom, printMode, whiteBg,
      textMat: whiteBg && cfg.mat !== 'ledger' ? 'white' : cfg.mat,
      bitmaps: data.bitmaps || [],
      filter: data.filter,
      captions: Array.isArray(data.captions) && data.captionCfg ? data.captions : null,
      captionCfg: data.captionCfg || null,
      comments: Array.isArray(data.comments) ? data.comments : [],
    };
  }

  function drawMatGround(ctx, f) {
    const { pageW, pageH } = f.geom;
    if (f.whiteBg) {
      ctx.fillStyle = '#ffffff';
      ctx.fillRect(0, 0, pageW, pageH);
      return;
    }
    const mat = f.cfg.mat;
    ctx.fillStyle = MAT_COLORS[mat];
    ctx.fillRect(0, 0, pageW, pageH);
    const random = render().mulberry32(mat === 'black' ? 11 : mat === 'white' ? 22 : 33);
    const onBlack = mat === 'black';
    const light = onBlack ? 'rgba(255,250,240,0.055)' : 'rgba(255,255,255,0.10)';
    const dark = onBlack ? 'rgba(0,0,0,0.22)' : 'rgba(95,85,68,0.075)';
    const specks = Math.round((pageW * pageH) / 700);
    grain(ctx, random, specks, (r) => [r() * pageW, r() * pageH, 1.4, 1.4], light, dark);
    grain(ctx, random, Math.round(specks / 6), (r) => [r() * pageW, r() * pageH, 3 + r() * 7, 1], light, dark);
  }

  function drawBindingShadow(ctx, geom, side) {
    if (side !== 'left' && side !== 'right') return;
    const w = 0.10 * geom.pageW;
    const x0 = side === 'left' ? 0 : geom.pageW;
    const g = ctx.createLinearGradient(x0, 0, side === 'left' ? w : geom.pageW - w, 0);
    g.addColorStop(0, 'rgba(0,0,0,0.28)');
    g.addColorStop(1, 'rgba(0,0,0,0)');
    ctx.fillStyle = g;
    ctx.fillRect(side === 'left' ? 0 : geom.pageW - w, 0, w, geom.pageH);
  }

  function drawPageNumber(ctx, f, pg, side) {
    if (!pg || !pg.pageNum) return;
    const { pageW, pageH } = f.geom;
    ctx.save();
    ctx.font = `${Math.max(9, Math.round(0.030 * pageW))}px Georgia, "Yu Mincho", serif`;
    ctx.fillStyle = f.textMat === 'black' ? 'rgba(232,224,208,0.5)' : 'rgba(70,58,44,0.55)';
    ctx.textBaseline = 'middle';
    const leftPage = side === 'right';
    ctx.textAlign = leftPage ? 'left' : 'right';
    ctx.fillText(String(pg.pageNum), (leftPage ? 0.08 : 0.92) * pageW, pageH - 0.045 * pageW);
    ctx.restore();
  }

  /** Ledger comment wrapped character by character onto at most 5 lines. */
  function wrapComment(ctx, text, maxW) {
    const paragraphs = String(text || '').split(/\r\n|\r|\n/);
    const lines = [];
    let leftover = false;
    for (let p = 0; p < paragraphs.length; p++) {
      let line = '';
      for (const ch of Array.from(paragraphs[p])) {
        if (line && ctx.measureText(line + ch).width > maxW) {
          lines.push(line);
          line = ch;
          if (lines.length === LEDGER_LINES) break;
        } else {
          line += ch;
        }
      }
      if (lines.length === LEDGER_LINES) {
        leftover = true;
        break;
      }
      lines.push(line);
      if (lines.length === LEDGER_LINES) {
        leftover = p < paragraphs.length - 1;
        break;
      }
    }
    if (leftover) {
      const last = Array.from(lines[LEDGER_LINES - 1]);
      while (last.length && ctx.measureText(last.join('') + '…').width > maxW) last.pop();
      lines[LEDGER_LINES - 1] = last.join('') + '…';
    }
    return lines;
  }

  function drawLedgerRows(ctx, f, pg) {
    const { pageW } = f.geom;
    const l = Math.max(1, 0.0016 * pageW);
    const ink = 'rgba(40,40,40,0.9)';
    ledgerLayout(f.geom).forEach((row, i) => {
      const idx = pg && pg.list[i];
      const bmp = Number.isInteger(idx) ? f.bitmaps[idx] : null;
      const { photo, box } = row;
      if (usable(bmp)) render().photoInCell(ctx, bmp, photo.x, photo.y, photo.w, photo.h, f.filter, 'fit');
      ctx.lineWidth = l;
      ctx.strokeStyle = ink;
      ctx.strokeRect(photo.x, photo.y, photo.w, photo.h);
      ctx.strokeRect(box.x, box.y, box.w, box.h);
      const pitch = box.h / (LEDGER_LINES + 1);
      ctx.beginPath();
      for (let k = 1; k <= LEDGER_LINES; k++) {
        ctx.moveTo(box.x, box.y + k * pitch);
        ctx.lineTo(box.x + box.w, box.y + k * pitch);
      }
      ctx.lineWidth = Math.max(0.75, 0.75 * l);
      ctx.strokeStyle = 'rgba(120,120,120,0.45)';
      ctx.stroke();
      const comment = Number.isInteger(idx) ? f.comments[idx] : '';
      if (!comment) return;
      const size = Math.min(0.48 * pitch, 0.0175 * pageW);
      const pad = 0.05 * box.w;
      ctx.font = `${size.toFixed(1)}px "Yu Gothic UI", Meiryo, sans-serif`;
      ctx.fillStyle = ink;
      ctx.textAlign = 'left';
      ctx.textBaseline = 'alphabetic';
      wrapComment(ctx, comment, box.w - 2 * pad).forEach((text, k) => {
        ctx.fillText(text, box.x + pad, box.y + (k + 1) * pitch - Math.max(1, 0.16 * size));
      });
    });
  }

  /** Smallest gap between neighbouring cells; Infinity without neighbours. */
  function smallestGap(cells) {
    let gap = Infinity;
    for (const a of cells) {
      for (const b of cells) {
        if (b === a) continue;
        if (Math.abs(b.y - a.y) < 1e-6 && b.x > a.x) gap = Math.min(gap, b.x - (a.x + a.w));
        if (Math.abs(b.x - a.x) < 1e-6 && b.y > a.y) gap = Math.min(gap, b.y - (a.y + a.h));
      }
    }
    return gap;
  }

  /** Tape length limit per cell: 0 = unlimited, null = no tapes at all. */
  function tapeAllowance(cfg, cells) {
    if (cfg.mount !== 'tape' || cells.length < 2) return 0;
    const gap = smallestGap(cells);
    if (gap === Infinity) return 0;
    return gap > 0 ? 0.45 * gap : null;
  }

  function drawPocket(ctx, f, cell, bmp) {
    if (!f.printMode) {
      ctx.fillStyle = 'rgba(255,255,255,0.045)';
      ctx.fillRect(cell.x, cell.y, cell.side, cell.side);
    }
    if (usable(bmp)) render().photoInCell(ctx, bmp, cell.x, cell.y, cell.side, cell.side, f.filter, f.cfg.fitMode);
    if (f.printMode) return;
    const g = ctx.createLinearGradient(cell.x, cell.y, cell.x + cell.side, cell.y + cell.side);
    [[0, 0.10], [0.35, 0.02], [0.5, 0.09], [0.65, 0.01], [1, 0.05]].forEach(([at, a]) => g.addColorStop(at, `rgba(255,255,255,${a})`));
    ctx.fillStyle = g;
    ctx.fillRect(cell.x, cell.y, cell.side, cell.side);
    ctx.strokeStyle = 'rgba(255,255,255,0.16)';
    ctx.lineWidth = Math.max(1, 0.006 * cell.side);
    ctx.strokeRect(cell.x, cell.y, cell.side, cell.side);
  }

  function drawPhotoCorners(ctx, rect, printMode) {
    const s = Math.max(10, Math.min(rect.w, rect.h) * (printMode ? 0.13 : 0.17));
    const o = (printMode ? 0.04 : 0.10) * s;
    const leg = s + o;
    const thin = Math.min(3, Math.max(1, 0.018 * s));
    const corners = [
      [rect.x - o, rect.y - o, 1, 1], [rect.x + rect.w + o, rect.y - o, -1, 1],
      [rect.x - o, rect.y + rect.h + o, 1, -1], [rect.x + rect.w + o, rect.y + rect.h + o, -1, -1],
    ];
    ctx.save();
    for (const [px, py, dx, dy] of corners) {
      const ax = px + dx * leg;
      const by = py + dy * leg;
      const shift = 0.06 * s / Math.SQRT2;
      ctx.beginPath();
      ctx.moveTo(ax + dx * shift, py + dy * shift);
      ctx.lineTo(px + dx * shift, by + dy * shift);
      ctx.strokeStyle = printMode ? 'rgba(0,0,0,0.13)' : 'rgba(0,0,0,0.20)';
      ctx.lineWidth = printMode ? thin : Math.max(1.5, 0.07 * s);
      ctx.stroke();
      const triangle = () => {
        ctx.beginPath();
        ctx.moveTo(px, py);
        ctx.lineTo(ax, py);
        ctx.lineTo(px, by);
        ctx.closePath();
      };
      triangle();
      ctx.fillStyle = `rgba(255,255,255,${printMode ? 0.08 : 0.14})`;
      ctx.fill();
      const shine = ctx.createLinearGradient(px, py, px + dx * 0.35 * leg, py + dy * 0.35 * leg);
      shine.addColorStop(0, `rgba(255,255,255,${printMode ? 0.14 : 0.22})`);
      shine.addColorStop(0.55, 'rgba(255,255,255,0.05)');
      shine.addColorStop(1, 'rgba(255,255,255,0)');
      ctx.fillStyle = shine;
      ctx.fill();
      ctx.beginPath();
      ctx.moveTo(ax, py);
      ctx.lineTo(px, by);
      ctx.strokeStyle = `rgba(255,255,255,${printMode ? 0.42 : 0.55})`;
      ctx.lineWidth = printMode ? thin : Math.max(1, 0.055 * s);
      ctx.stroke();
      ctx.beginPath();
      ctx.moveTo(ax, py);
      ctx.lineTo(px, py);
      ctx.lineTo(px, by);
      ctx.strokeStyle = 'rgba(255,255,255,0.30)';
      ctx.lineWidth = 1;
      ctx.stroke();
    }
    ctx.restore();
  }

  function drawPlainAlbumTape(ctx, tw, th, random, photoIndex) {
    const [r, g, b] = PLAIN_TAPE_RGB[photoIndex % 4];
    render().tornTapePath(ctx, tw, th, random);
    ctx.fillStyle = `rgba(${r},${g},${b},0.62)`;
    ctx.fill();
    ctx.save();
    ctx.clip();
    ctx.fillStyle = 'rgba(255,255,255,0.14)';
    ctx.fillRect(-tw, -0.14 * th, 2 * tw, 0.28 * th);
    ctx.restore();
    ctx.strokeStyle = `rgba(${Math.round(r * 0.7)},${Math.round(g * 0.7)},${Math.round(b * 0.7)},0.35)`;
    ctx.lineWidth = 1;
    ctx.stroke();
  }

  function drawPhotoTapes(ctx, rect, photoIndex, limit, pattern) {
    let tw = Math.max(14, 0.30 * Math.min(rect.w, rect.h));
    if (limit > 0) {
      const cap = limit / (0.5 * 1.07 * 0.7071);
      if (cap < 6) return;
      tw = Math.min(tw, cap);
    }
    const th = 0.36 * tw;
    const index = Math.max(0, photoIndex);
    const q = Math.PI / 4;
    const corners = [[rect.x, rect.y, -q], [rect.x + rect.w, rect.y, q], [rect.x, rect.y + rect.h, q], [rect.x + rect.w, rect.y + rect.h, -q]];
    corners.forEach(([x, y, rot], c) => {
      const random = render().mulberry32(index * 97 + c * 13 + 7);
      ctx.save();
      ctx.translate(x, y);
      ctx.rotate(rot);
      if (pattern && pattern !== 'none') render().paintTape(ctx, tw, th, random, index, pattern, 1);
      else drawPlainAlbumTape(ctx, tw, th, random, index);
      ctx.restore();
    });
  }

  function drawMountedPhoto(ctx, f, cell, bmp, idx, allowance) {
    const hasPhoto = usable(bmp);
    let rect;
    if (hasPhoto) {
      rect = render().photoCellRect(bmp, cell.x, cell.y, cell.side, cell.side, f.cfg.fitMode);
      if (!f.printMode) {
        const o = Math.max(2, 0.014 * rect.w);
        ctx.fillStyle = 'rgba(0,0,0,0.10)';
        ctx.fillRect(rect.x + 2 * o, rect.y + 2.6 * o, rect.w, rect.h);
        ctx.fillStyle = 'rgba(0,0,0,0.22)';
        ctx.fillRect(rect.x + o, rect.y + 1.3 * o, rect.w, rect.h);
      }
      render().photoInCell(ctx, bmp, cell.x, cell.y, cell.side, cell.side, f.filter, f.cfg.fitMode);
      if (f.printMode) {
        ctx.strokeStyle = 'rgba(30,30,30,0.22)';
        ctx.lineWidth = Math.min(3, Math.max(1, 0.0018 * Math.min(rect.w, rect.h)));
        ctx.strokeRect(rect.x, rect.y, rect.w, rect.h);
      }
    } else {
      const inset = 0.07 * cell.side;
      rect = { x: cell.x + inset, y: cell.y + inset, w: cell.side - 2 * inset, h: cell.side - 2 * inset };
      ctx.fillStyle = 'rgba(255,255,255,0.03)';
      ctx.fillRect(rect.x, rect.y, rect.w, rect.h);
    }
    if (f.cfg.mount === 'corner') {
      drawPhotoCorners(ctx, rect, f.printMode);
    } else if (hasPhoto && allowance !== null) {
      const margin = Math.min(rect.x - cell.x, rect.y - cell.y);
      drawPhotoTapes(ctx, rect, idx, allowance > 0 ? allowance + margin : 0, f.cfg.tapePattern);
    }
  }

  function drawCellCaption(ctx, f, cell, idx) {
    const text = f.captions[idx];
    if (!text) return;
    const { pageW, pageH } = f.geom;
    const top = cell.y + cell.side + 0.03 * cell.side;
    const room = pageH - 0.085 * pageW - top;
    if (room < 0.10 * cell.side) return;
    const size = Math.min(0.10 * cell.side, 0.9 * room, 0.030 * pageW);
    ctx.save();
    ctx.font = `${size.toFixed(1)}px ${render().resolveFontFamily(f.captionCfg.font)}`;
    ctx.fillStyle = f.textMat === 'black' ? 'rgba(232,224,208,0.82)' : 'rgba(66,56,46,0.86)';
    ctx.textAlign = 'center';
    ctx.textBaseline = 'top';
    ctx.fillText(render().fitText(ctx, String(text), 0.98 * cell.side), cell.x + cell.side / 2, top);
    ctx.restore();
  }

  /** Draws one page at (0, 0) of the context; `side` is the binding side. */
  function drawPage(ctx, f, pg, side) {
    ctx.save();
    drawMatGround(ctx, f);
    drawBindingShadow(ctx, f.geom, side);
    if (f.cfg.mat === 'ledger' && !(pg && pg.feature)) {
      drawLedgerRows(ctx, f, pg);
    } else {
      const cells = cellRects(f.cfg, f.geom, !!(pg && pg.feature), !!f.captions);
      const allowance = tapeAllowance(f.cfg, cells);
      cells.forEach((cell, k) => {
        const idx = pg ? pg.list[k] : undefined;
        const bmp = Number.isInteger(idx) ? f.bitmaps[idx] : null;
        if (f.cfg.mount === 'pocket') drawPocket(ctx, f, cell, bmp);
        else drawMountedPhoto(ctx, f, cell, bmp, idx, allowance);
        if (f.captions && usable(bmp)) drawCellCaption(ctx, f, cell, idx);
      });
    }
    drawPageNumber(ctx, f, pg, side);
    ctx.restore();
  }

  /** A page face: a page-sized surface with the page drawn on it. */
  function renderFace(geom, cfg, data, pg, bindingSide) {
    const face = faceSurface(geom.pageW, geom.pageH);
    const ctx = face.getContext('2d');
    ctx.imageSmoothingEnabled = true;
    ctx.imageSmoothingQuality = 'high';
    ctx.scale(face.width / geom.pageW, face.height / geom.pageH);
    drawPage(ctx, faceInputs(data, cfg, geom), pg || null, bindingSide);
    return face;
  }

  // ================================================================ cover face

  function drawCoverTexture(ctx, cover, W, H) {
    if (cover === 'cloth') {
      const random = render().mulberry32(101);
      const rows = [];
      const cols = [];
      for (let y = 0; y < H; y += 3) rows.push([0, y, W, 1]);
      for (let x = 0; x < W; x += 3) cols.push([x, 0, 1, H]);
      fillRects(ctx, rows, 'rgba(0,0,0,0.045)');
      fillRects(ctx, cols, 'rgba(255,255,255,0.035)');
      grain(ctx, random, 500, (r) => [r() * W, r() * H, 2 + r() * 4, 1], 'rgba(255,255,255,0.05)', 'rgba(0,0,0,0.05)');
    } else if (cover === 'leather') {
      const random = render().mulberry32(202);
      for (let i = 0; i < 260; i++) {
        const x = random() * W;
        const y = random() * H;
        const radius = 6 + random() * 34;
        const g = ctx.createRadialGradient(x, y, 0, x, y, radius);
        g.addColorStop(0, random() < 0.55 ? 'rgba(0,0,0,0.055)' : 'rgba(255,240,220,0.045)');
        g.addColorStop(1, 'rgba(0,0,0,0)');
        ctx.fillStyle = g;
        ctx.fillRect(x - radius, y - radius, 2 * radius, 2 * radius);
      }
    } else {
      const random = render().mulberry32(303);
      grain(ctx, random, 220, (r) => [r() * W, r() * H, 8 + r() * 30, 1], 'rgba(255,255,255,0.08)', 'rgba(120,100,70,0.06)');
      const specks = [];
      for (let i = 0; i < 180; i++) specks.push([random() * W, random() * H, 1.5, 1.5]);
      fillRects(ctx, specks, 'rgba(90,75,55,0.10)');
    }
  }

  function drawCoverFinish(ctx, cover, W, H) {
    const shade = ctx.createLinearGradient(0, 0, W, 0);
    shade.addColorStop(0, 'rgba(0,0,0,0.32)');
    shade.addColorStop(0.10, 'rgba(0,0,0,0.05)');
    shade.addColorStop(0.92, 'rgba(0,0,0,0)');
    shade.addColorStop(1, 'rgba(255,255,255,0.07)');
    ctx.fillStyle = shade;
    ctx.fillRect(0, 0, W, H);
    const sheen = ctx.createLinearGradient(0, 0, W, H);
    sheen.addColorStop(0, 'rgba(255,255,255,0.07)');
    sheen.addColorStop(0.45, 'rgba(255,255,255,0)');
    sheen.addColorStop(1, 'rgba(255,255,255,0.04)');
    ctx.fillStyle = sheen;
    ctx.fillRect(0, 0, W, H);
    const lw = Math.max(1, 0.0025 * W);
    const inset = Math.round(0.07 * W);
    const inner = inset + Math.max(3, 0.012 * W);
    ctx.lineWidth = lw;
    ctx.strokeStyle = 'rgba(0,0,0,0.30)';
    ctx.strokeRect(inset, inset, W - 2 * inset, H - 2 * inset);
    ctx.strokeStyle = 'rgba(255,255,255,0.16)';
    ctx.strokeRect(inner, inner, W - 2 * inner, H - 2 * inner);
    const arm = Math.max(6, 0.035 * W);
    ctx.strokeStyle = cover === 'paper' ? 'rgba(110,85,50,0.55)' : 'rgba(217,179,106,0.65)';
    ctx.lineWidth = Math.max(1.2, 0.003 * W);
    ctx.beginPath();
    for (const [x, y, dx, dy] of [[inner, inner, 1, 1], [W - inner, inner, -1, 1], [inner, H - inner, 1, -1], [W - inner, H - inner, -1, -1]]) {
      ctx.moveTo(x + dx * arm, y);
      ctx.lineTo(x, y);
      ctx.lineTo(x, y + dy * arm);
    }
    ctx.stroke();
  }

  /** The cover window with the ☆1 photo; returns whether one was drawn. */
  function drawCoverWindow(ctx, bmp, filter, W, H) {
    if (!usable(bmp)) return false;
    const side = Math.min(0.56 * W, 0.40 * H);
    const x = (W - side) / 2;
    const y = 0.42 * H - side / 2;
    render().photoInCell(ctx, bmp, x, y, side, side, filter, 'crop');
    const g = ctx.createLinearGradient(0, y, 0, y + 0.18 * side);
    g.addColorStop(0, 'rgba(0,0,0,0.35)');
    g.addColorStop(1, 'rgba(0,0,0,0)');
    ctx.fillStyle = g;
    ctx.fillRect(x, y, side, 0.18 * side);
    const lw = Math.max(2, 0.006 * W);
    ctx.lineWidth = lw;
    ctx.strokeStyle = 'rgba(0,0,0,0.40)';
    ctx.strokeRect(x - lw, y - lw, side + 2 * lw, side + 2 * lw);
    ctx.strokeStyle = 'rgba(255,255,255,0.22)';
    ctx.strokeRect(x + 1, y + 1, side - 2, side - 2);
    return true;
  }

  function drawCoverTitle(ctx, title, cover, W, H, belowWindow) {
    const text = typeof title === 'string' ? title.trim() : '';
    if (!text) return;
    ctx.save();
    let size = 0.085 * W;
    const setFont = () => {
      ctx.font = `${size.toFixed(1)}px "Yu Mincho", "Hiragino Mincho ProN", serif`;
      if ('letterSpacing' in ctx) ctx.letterSpacing = `${(0.10 * size).toFixed(2)}px`;
    };
    setFont();
    while (ctx.measureText(text).width > 0.74 * W && size > 14) {
      size *= 0.92;
      setFont();
    }
    const shown = render().fitText(ctx, text, 0.74 * W);
    const textW = ctx.measureText(shown).width;
    const cy = (belowWindow ? 0.78 : 0.40) * H;
    ctx.textAlign = 'center';
    ctx.textBaseline = 'middle';
    if (cover === 'scatter') {
      const band = ctx.createLinearGradient(0, cy - 1.05 * size, 0, cy + 1.05 * size);
      band.addColorStop(0, 'rgba(0,0,0,0)');
      band.addColorStop(0.5, 'rgba(0,0,0,0.52)');
      band.addColorStop(1, 'rgba(0,0,0,0)');
      ctx.fillStyle = band;
      ctx.fillRect(0, cy - 1.05 * size, W, 2.1 * size);
    }
    const x = W / 2;
    ctx.fillStyle = 'rgba(0,0,0,0.45)';
    ctx.fillText(shown, x + 0.045 * size, cy + 0.06 * size);
    ctx.fillStyle = 'rgba(255,255,240,0.18)';
    ctx.fillText(shown, x - 0.03 * size, cy - 0.045 * size);
    const foil = ctx.createLinearGradient(0, cy - size / 2, 0, cy + size / 2);
    const onPaper = cover === 'paper';
    if (onPaper) {
      foil.addColorStop(0, '#8a6a3a');
      foil.addColorStop(1, '#5a3f1e');
    } else {
      foil.addColorStop(0, '#f0d48a');
      foil.addColorStop(0.55, '#d9b36a');
      foil.addColorStop(1, '#a97f36');
    }
    ctx.fillStyle = foil;
    ctx.fillText(shown, x, cy);
    const lineW = Math.min(0.74 * W, Math.max(0.18 * W, 0.6 * textW));
    ctx.fillStyle = onPaper ? 'rgba(110,85,50,0.7)' : 'rgba(217,179,106,0.8)';
    ctx.fillRect(x - lineW / 2, cy + 0.85 * size, lineW, Math.max(1.5, 0.05 * size));
    ctx.restore();
  }

  function drawPictureCover(ctx, picture, W, H) {
    render().drawCover(ctx, picture, W, H);
    const e = Math.min(3, Math.max(1, 0.002 * W));
    ctx.lineWidth = e;
    ctx.strokeStyle = 'rgba(0,0,0,0.32)';
    ctx.strokeRect(e / 2, e / 2, W - e, H - e);
  }

  /** The front cover; `coverPhoto` is the cover-window photo index or -1. */
  function makeCoverFace(geom, cfg, data, coverPhoto) {
    const face = faceSurface(geom.pageW, geom.pageH);
    const ctx = face.getContext('2d');
    ctx.imageSmoothingEnabled = true;
    ctx.imageSmoothingQuality = 'high';
    const W = face.width;
    const H = face.height;
    const picture = data.baseCanvas;
    if (cfg.cover === 'scatter' && usable(picture)) {
      drawPictureCover(ctx, picture, W, H);
      drawCoverTitle(ctx, data.title, 'scatter', W, H, false);
      return face;
    }
    const cover = cfg.cover === 'scatter' ? 'cloth' : cfg.cover;
    ctx.fillStyle = COVER_COLORS[cover];
    ctx.fillRect(0, 0, W, H);
    drawCoverTexture(ctx, cover, W, H);
    drawCoverFinish(ctx, cover, W, H);
    const bmp = coverPhoto >= 0 ? (data.bitmaps || [])[coverPhoto] : null;
    const windowed = drawCoverWindow(ctx, bmp, data.filter, W, H);
    drawCoverTitle(ctx, data.title, cover, W, H, windowed);
    return face;
  }

  // ================================================================ scene state and face cache

  const FACE_CACHE_MAX = 8;
  const SCENE_KEY = '__albumScene';

  function sceneSignature(data, cfg, geom, photos, stars) {
    const caps = Array.isArray(data.captions) && data.captionCfg
      ? JSON.stringify([data.captionCfg.font, data.captionCfg.size, photos.map((i) => String(data.captions[i] ?? ''))])
      : 'none';
    return JSON.stringify([
      Math.round(geom.pageW), Math.round(geom.pageH), geom.portrait, data.filter || '',
      cfg.cover, cfg.mat, cfg.photosPerPage, cfg.fitMode, cfg.mount, cfg.tapePattern, cfg.starMode,
      data.title || '', stars, Array.isArray(data.albumPhotos) ? 'a' : 'd', photos, caps,
      !!data.printMode, !!data.printWhiteBg,
    ]);
  }

  /** Scene state lives on the record but never travels with its JSON. */
  function sceneOf(data) {
    if (!Object.prototype.hasOwnProperty.call(data, SCENE_KEY)) {
      Object.defineProperty(data, SCENE_KEY, { value: null, writable: true, configurable: true, enumerable: false });
    }
    return data[SCENE_KEY];
  }

  /** Forgets the scene state and its stills: the album ended or its player lets go of its photos. */
  function dropScene(data) {
    if (data && sceneOf(data)) {
      if (stills.scene === data[SCENE_KEY]) releaseStills();
      for (const face of data[SCENE_KEY].faces.values()) retireFace(face);
      data[SCENE_KEY] = null;
    }
  }

  function releaseSurface(surface) {
    surface.width = 0;
    surface.height = 0;
  }

  /**
   * Surfaces of faces that left the cache, oldest first, for the next faces
   * to be drawn on: allocating a page-sized canvas cost most of a face's
   * time. They hold no face: the cache alone keeps at most FACE_CACHE_MAX.
   */
  const spareFaces = [];
  const SPARE_FACES_MAX = 3;

  /** A cleared surface of the size asked, a spare one when there is one. */
  function faceSurface(w, h) {
    const W = Math.max(1, Math.round(w));
    const H = Math.max(1, Math.round(h));
    const at = spareFaces.findIndex((c) => c.width === W && c.height === H);
    if (at < 0) return makeSurface(W, H);
    const surface = spareFaces.splice(at, 1)[0];
    const ctx = surface.getContext('2d');
    // Assigning the size also clears and resets, but lets go of the pixels.
    if (typeof ctx.reset === 'function') ctx.reset();
    else surface.width = W;
    return surface;
  }

  /** Keeps a face's surface for reuse, letting go of the oldest spare. */
  function retireFace(surface) {
    dropStrips(surface);
    spareFaces.push(surface);
    if (spareFaces.length > SPARE_FACES_MAX) releaseSurface(spareFaces.shift());
  }

  /** The spread list and caches, rebuilt only when their inputs changed. */
  function ensureScene(data, cfg, geom) {
    const photos = albumPhotoIndices(data);
    const stars = cfg.starMode === 'none' ? [] : starList(data.drawList).filter((s) => photos.includes(s));
    const sig = sceneSignature(data, cfg, geom, photos, stars);
    let scene = sceneOf(data);
    if (!scene || scene.sig !== sig) {
      dropScene(data);
      scene = {
        sig,
        spreads: buildSpreads(cfg, geom, photos, stars),
        coverPhoto: (cfg.starMode === 'coverStar1' || cfg.starMode === 'both') && stars.length ? stars[0] : -1,
        faces: new Map(),
        shadow: null,
      };
      data[SCENE_KEY] = scene;
    }
    return scene.spreads;
  }

  /** Numbers telling decoded pictures apart, for the keys of the faces that show them. */
  const pictureIds = new WeakMap();
  let lastPictureId = 0;

  function pictureId(bmp) {
    if (!bmp || typeof bmp !== 'object') return 0;
    if (!pictureIds.has(bmp)) pictureIds.set(bmp, ++lastPictureId);
    return pictureIds.get(bmp);
  }

  /**
   * A face is named by its place and by the pictures it shows as drawn:
   * playback decodes the photos of the pages coming up while the album
   * plays, and only a face whose own picture arrived (or changed) is drawn
   * again; the others, and the stills made of them, are kept.
   */
  function faceKey(scene, cfg, data, i, name) {
    const key = `${i}:${name}`;
    const bitmaps = data.bitmaps || [];
    if (name === 'EM') return key;
    if (name === 'COVER') return `${key}#${pictureId(bitmaps[scene.coverPhoto])}`;
    const pages = scene.spreads[i].pages;
    const pg = name === 'R' ? pages[1] : pages[0];
    const list = pg ? pg.list : [];
    const shown = `${key}#${list.map((idx) => pictureId(bitmaps[idx])).join(',')}`;
    if (cfg.mat !== 'ledger') return shown;
    const comments = Array.isArray(data.comments) ? data.comments : [];
    return `${shown}:${list.map((idx) => String(comments[idx] ?? '')).join('\u001f')}`;
  }

  function mirrored(face) {
    const out = faceSurface(face.width, face.height);
    const ctx = out.getContext('2d');
    ctx.translate(out.width, 0);
    ctx.scale(-1, 1);
    ctx.drawImage(face, 0, 0);
    return out;
  }

  /** A face from the 8-entry LRU cache, drawn on a miss. */
  function getFace(data, cfg, geom, i, name) {
    const scene = data[SCENE_KEY];
    const idx = Math.max(0, Math.min(scene.spreads.length - 1, i));
    const key = faceKey(scene, cfg, data, idx, name);
    const cached = scene.faces.get(key);
    if (cached) {
      scene.faces.delete(key);
      scene.faces.set(key, cached);
      return cached;
    }
    const pages = scene.spreads[idx].pages;
    let face;
    if (name === 'L') face = renderFace(geom, cfg, data, pages[0], 'right');
    else if (name === 'R') face = renderFace(geom, cfg, data, pages[1], 'left');
    else if (name === 'P') face = renderFace(geom, cfg, data, pages[0], null);
    else if (name === 'LM') face = mirrored(getFace(data, cfg, geom, idx, 'L'));
    else if (name === 'EM') {
      const empty = renderFace(geom, cfg, data, null, null);
      face = mirrored(empty);
      retireFace(empty);
    }
    else face = makeCoverFace(geom, cfg, data, scene.coverPhoto);
    scene.faces.set(key, face);
    while (scene.faces.size > FACE_CACHE_MAX) {
      const oldest = scene.faces.keys().next().value;
      retireFace(scene.faces.get(oldest));
      scene.faces.delete(oldest);
    }
    return face;
  }

  // ================================================================ scene drawing

  const COVER_OPEN_START = 0.35;
  const STRIPS = 32;
  /** Source width of a cut strip in strips: enough for the overlap but where a strip stands on edge. */
  const STRIP_CUT = 1.25;
  const CURL = 0.30;

  function easeTurn(p) {
    return p < 0.5 ? 2 * p * p : 1 - ((2 - 2 * p) ** 2) / 2;
  }

  /** Drawing state of one frame: context, record, settings and geometry. */
  function frameOf(ctx, data, cfg, geom) {
    // Drawn on whole pixels at the faces' own size, so that faces are copied
    // unscaled and a landed sheet meets the page beneath it exactly.
    const drawn = { ...geom, pageW: Math.round(geom.pageW), pageH: Math.round(geom.pageH), cx: Math.round(geom.cx) };
    return {
      ctx, data, cfg, geom: drawn,
      spreads: data[SCENE_KEY].spreads.length,
      top: Math.round(geom.cy - drawn.pageH / 2),
      face: (i, name) => getFace(data, cfg, geom, i, name),
    };
  }

  /**
   * Notes an area a moving part is drawn on, when the frame keeps count of
   * them (see `drawScene`): the next frame on the same still puts back only that.
   */
  function touch(fr, x0, y0, x1, y1) {
    if (fr.moved) fr.moved.push({ x0, y0, x1, y1 });
  }

  /** Left edge of a single (portrait) page. */
  function pageLeft(geom) {
    return Math.round(geom.cx - geom.pageW / 2);
  }

  /** Faces are drawn unscaled at whole pixels: a plain copy, the cheapest draw. */
  function drawFace(fr, face, x) {
    fr.ctx.drawImage(face, Math.round(x), Math.round(fr.top));
  }

  /** The blurred shadow of the book, made once per scene at the size first asked. */
  function shadowSprite(fr, w, h) {
    const scene = fr.data[SCENE_KEY];
    if (!scene.shadow) {
      const w0 = Math.max(2, Math.round(w));
      const h0 = Math.max(2, Math.round(h));
      const pad = Math.round(0.12 * h0);
      const sprite = makeSurface(w0 + 2 * pad, h0 + 2 * pad);
      const sctx = sprite.getContext('2d');
      // Blurred through the shadow of a rectangle drawn off the surface:
      // canvas filters are not honoured everywhere, shadows are.
      const off = sprite.width + 10;
      sctx.shadowColor = 'rgba(20, 12, 6, 0.5)';
      sctx.shadowBlur = 2 * 0.045 * h0;
      sctx.shadowOffsetX = off;
      sctx.fillStyle = '#000';
      sctx.fillRect(pad - off, pad, w0, h0);
      scene.shadow = { sprite, w0, h0, pad };
    }
    return scene.shadow;
  }

  /**
   * The desk shadow of a book lying at (x, y) of w × h. With `hole`, a
   * whole-pixel rectangle that opaque pages cover, only the shadow round it
   * is drawn, left of `hole.left` beside it: a shadow growing under the
   * landing cover is drawn on every frame, and only what shows of it.
   */
  function drawDeskShadow(fr, x, y, w, h, hole) {
    const { sprite, w0, h0, pad } = shadowSprite(fr, w, h);
    const p = (pad * w) / w0;
    const q = (pad * h) / h0;
    const dx = x - p;
    const dy = y - q + 0.02 * h;
    const dw = w + 2 * p;
    const dh = h + 2 * q;
    if (!hole) touch(fr, dx, dy, dx + dw, dy + dh);
    fr.ctx.save();
    // A blur needs no careful resampling when stretched.
    fr.ctx.imageSmoothingQuality = 'low';
    if (!hole) fr.ctx.drawImage(sprite, dx, dy, dw, dh);
    else {
      // Nor any filtering at all: its levels change by less than one from
      // one pixel to the next, and filtering costs several times the copy.
      fr.ctx.imageSmoothingEnabled = false;
      const x0 = Math.floor(dx);
      const x1 = Math.ceil(dx + dw);
      const y0 = Math.floor(dy);
      const y1 = Math.ceil(dy + dh);
      const below = hole.y + hole.h;
      const pieces = [
        [x0, y0, x1, Math.min(y1, hole.y)], [x0, Math.max(y0, below), x1, y1],
        [x0, Math.max(y0, hole.y), Math.min(hole.x, hole.left), Math.min(y1, below)],
        [Math.max(x0, hole.x + hole.w), Math.max(y0, hole.y), x1, Math.min(y1, below)],
      ];
      const kx = sprite.width / dw;
      const ky = sprite.height / dh;
      for (const [a, b, c, d] of pieces) {
        if (c <= a || d <= b) continue;
        touch(fr, a, b, c, d);
        fr.ctx.drawImage(sprite, (a - dx) * kx, (b - dy) * ky, (c - a) * kx, (d - b) * ky, a, b, c - a, d - b);
      }
    }
    fr.ctx.restore();
  }

  function drawPageStack(fr, edgeX, dir, count) {
    const { ctx, top } = fr;
    const { pageH } = fr.geom;
    const far = edgeX + dir * 1.6 * count;
    touch(fr, Math.min(edgeX, far) - 1, top, Math.max(edgeX, far) + 1, top + pageH);
    ctx.save();
    ctx.strokeStyle = 'rgba(250, 245, 235, 0.75)';
    ctx.lineWidth = 1;
    ctx.beginPath();
    for (let k = 1; k <= count; k++) {
      const x = edgeX + dir * 1.6 * k;
      ctx.moveTo(x, top + 0.8 * k);
      ctx.lineTo(x, top + pageH - 0.8 * k);
    }
    ctx.stroke();
    ctx.restore();
  }

  function drawSpine(fr) {
    const { ctx, geom, top } = fr;
    const lineWidth = Math.max(1, 0.004 * geom.pageH);
    touch(fr, geom.cx - lineWidth, top, geom.cx + lineWidth, top + geom.pageH);
    ctx.save();
    ctx.strokeStyle = 'rgba(0,0,0,0.35)';
    ctx.lineWidth = lineWidth;
    ctx.beginPath();
    ctx.moveTo(geom.cx, top);
    ctx.lineTo(geom.cx, top + geom.pageH);
    ctx.stroke();
    ctx.restore();
  }

  /** Closed book: peeking page edges and the cover on top. */
  function drawClosedBlock(fr, x) {
    const { ctx, geom, top } = fr;
    for (let i = 3; i >= 1; i--) {
      ctx.fillStyle = i % 2 ? '#efe9db' : '#e2dbc9';
      ctx.fillRect(x + 2 * i, top + 2 * i, geom.pageW, geom.pageH);
    }
    drawFace(fr, fr.face(0, 'COVER'), x);
  }

  function closedX(geom) {
    return geom.portrait ? pageLeft(geom) : geom.cx;
  }

  /**
   * A face cut into the turning sheet's strips, each with a little of its
   * neighbour for the overlap: a strip drawn out of the whole face cost,
   * besides its pixels, an overhead growing with the face (several
   * milliseconds a frame at 4K). Kept for the two faces of the sheet in
   * turn, as long as their faces live. Only a filtered sheet is cut:
   * unfiltered, drawing out of the whole face measured no slower, and
   * cutting a 4K face took 25 to 30 ms.
   */
  const STRIP_SETS_MAX = 2;
  /** @type {Map<any, Array<{canvas: HTMLCanvasElement, from: number}>>} */
  const stripSets = new Map();

  function stripsOf(face) {
    const known = stripSets.get(face);
    if (known) return known;
    const srcW = face.width / STRIPS;
    const cuts = [];
    for (let i = 0; i < STRIPS; i++) {
      const from = Math.max(0, Math.floor(i * srcW) - 1);
      const to = Math.min(face.width, Math.ceil((i + STRIP_CUT) * srcW) + 1);
      const canvas = makeSurface(to - from, face.height);
      canvas.getContext('2d').drawImage(face, from, 0, to - from, face.height, 0, 0, to - from, face.height);
      cuts.push({ canvas, from });
    }
    stripSets.set(face, cuts);
    while (stripSets.size > STRIP_SETS_MAX) dropStrips(stripSets.keys().next().value);
    return cuts;
  }

  /** Lets go of a face's strips (it left the sheet or the cache). */
  function dropStrips(face) {
    const cuts = stripSets.get(face);
    if (!cuts) return;
    for (const cut of cuts) releaseSurface(cut.canvas);
    stripSets.delete(face);
  }

  /**
   * A sheet hinged at spineX, lying right at θ = 0 and left at θ = π, cut
   * into strips that bend progressively so that the free edge leads.
   */
  /** Angles of the sheet's strips at θ: the free edge leads. */
  function sheetPhis(theta) {
    // The curl relaxes over the second half of the turn so that the sheet
    // lands flat: a full curl at θ = π left the strips near the spine
    // standing, and the landed page jumped into place.
    const curl = CURL * Math.min(1, Math.max(0, (Math.PI - theta) / (Math.PI / 2)));
    const phis = [];
    for (let i = 0; i < STRIPS; i++) {
      const u = (i + 0.5) / STRIPS;
      phis.push(Math.min(Math.PI, Math.max(0, theta * (1 + curl * (u - 0.5)))));
    }
    return phis;
  }

  /** Where the strips' edges lie from the spine, for a sheet pageW wide at θ. */
  function sheetXs(pageW, theta, phis = sheetPhis(theta)) {
    const s = pageW / STRIPS;
    const xs = [0];
    for (let i = 0; i < STRIPS; i++) xs.push(xs[i] + s * Math.cos(phis[i]));
    return xs;
  }

  function drawTurnSheet(fr, front, backMirrored, spineX, theta) {
    const { ctx, geom, top } = fr;
    const { pageW, pageH } = geom;
    const s = pageW / STRIPS;
    const phis = sheetPhis(theta);
    const xs = sheetXs(pageW, theta, phis);
    const lift = Math.sin(theta);
    const reach = xs[STRIPS];
    const spread = Math.max(Math.abs(reach), 0.12 * pageW * lift);
    if (lift > 0 && spread > 0) {
      const dir = reach >= 0 ? 1 : -1;
      const g = ctx.createLinearGradient(spineX, 0, spineX + dir * spread, 0);
      g.addColorStop(0, `rgba(0,0,0,${0.30 * lift})`);
      g.addColorStop(1, 'rgba(0,0,0,0)');
      ctx.fillStyle = g;
      // An opaque sheet hides the shadow it casts beneath itself: only what
      // shows beyond its edge (and a little under it, for the anti-aliased
      // edge) is filled, since a gradient costs many times a plain fill.
      const hidden = ctx.globalAlpha < 1 ? 0 : Math.max(0, dir > 0 ? Math.max(...xs) : -Math.min(...xs)) - 2;
      if (hidden < spread) {
        const near = Math.max(0, hidden);
        const x = dir > 0 ? spineX + near : spineX - spread;
        ctx.fillRect(x, top, spread - near, pageH);
        touch(fr, x, top, x + spread - near, top + pageH);
      }
    }
    const heights = phis.map((phi) => pageH * (1 + 0.035 * Math.sin(phi)));
    const tallest = Math.max(...heights);
    touch(fr, spineX + Math.min(...xs), top + (pageH - tallest) / 2, spineX + Math.max(...xs), top + (pageH + tallest) / 2);
    for (let i = 0; i < STRIPS;) {
      if (Math.abs(xs[i + 1] - xs[i]) < 0.01) {
        i++;
        continue;
      }
      const end = stripRun(xs, phis, heights, s, i, runTolerance(pageW));
      const face = phis[i] <= Math.PI / 2 ? front : backMirrored;
      const h = heights.slice(i, end).reduce((a, b) => a + b, 0) / (end - i);
      drawStripRun(ctx, face, spineX, top + pageH / 2, s, xs, h, i, end);
      shadeRun(ctx, spineX, top + (pageH - h) / 2, h, xs, phis, i, end);
      i = end;
    }
  }

  /**
   * How far in dest pixels strips drawn as one may stray from where their
   * own draws would put them: half a pixel, a little more on pages so large
   * that a pixel is a fraction of what a viewer tells apart on a moving sheet.
   */
  function runTolerance(pageW) {
    return Math.max(0.5, pageW / 1000);
  }

  /**
   * The end of the run of strips from `first` that can be drawn as one: on
   * the same side of the sheet and so nearly alike that one scaling puts
   * every inner edge, and the top and bottom, within `tolerance` of their
   * own. Each strip drawn cost as much again per row of pixels as its
   * pixels (most of a flat sheet's time at 4K); a sheet lying nearly flat,
   * most of a turn, is drawn in a few runs.
   */
  function stripRun(xs, phis, heights, s, first, tolerance) {
    const front = phis[first] <= Math.PI / 2;
    let end = first + 1;
    for (let next = end + 1; next <= STRIPS; next++) {
      const last = next - 1;
      const dx = xs[next] - xs[last];
      if (Math.abs(dx) < 0.01 || (phis[last] <= Math.PI / 2) !== front || Math.sign(dx) !== Math.sign(xs[first + 1] - xs[first])) break;
      const k = (xs[next] - xs[first]) / ((next - first) * s);
      const lo = Math.min(...heights.slice(first, next));
      const hi = Math.max(...heights.slice(first, next));
      let fits = (hi - lo) / 2 <= tolerance;
      for (let m = first + 1; fits && m < next; m++) fits = Math.abs(xs[m] - xs[first] - k * (m - first) * s) <= tolerance;
      if (!fits) break;
      end = next;
    }
    return end;
  }

  /**
   * Faces taller than this turn unfiltered. Filtering a nearly flat sheet
   * costs about 13 ms at 4K where canvases are drawn without a GPU, four
   * times the copy; on a page this large a column dropped from a moving
   * sheet is a quarter of what it is at 1080p, and nobody tells the two apart.
   */
  const FILTERED_SHEET_MAX_H = 1600;

  function filtered(face) {
    return face.height <= FILTERED_SHEET_MAX_H;
  }

  /** Strips first … end - 1 of a face in one draw h high, scaled between their outer edges. */
  function drawStripRun(ctx, face, spineX, midY, s, xs, h, first, end) {
    const n = end - first;
    const k = (xs[end] - xs[first]) / (n * s);
    const srcW = face.width / STRIPS;
    // A little overlap hides the hairline seams anti-aliasing leaves.
    const dw = n * s + Math.min(s, 1 / Math.abs(k));
    const sw = Math.min(face.width - first * srcW, (dw * srcW) / s);
    const cut = n === 1 && filtered(face) ? stripsOf(face)[first] : null;
    const fits = cut && first * srcW + sw <= cut.from + cut.canvas.width;
    ctx.save();
    // Careful resampling rebuilds the face's reduced copies for every
    // strip, several milliseconds a frame once the sheet stands on edge;
    // a strip narrow enough to show the difference is only a few pixels
    // wide, shaded and moving.
    ctx.imageSmoothingQuality = 'low';
    ctx.imageSmoothingEnabled = filtered(face);
    ctx.translate(spineX + xs[first], 0);
    ctx.scale(k, 1);
    const y = midY - h / 2;
    if (fits) ctx.drawImage(cut.canvas, first * srcW - cut.from, 0, sw, face.height, 0, y, (sw * s) / srcW, h);
    else ctx.drawImage(face, first * srcW, 0, sw, face.height, 0, y, (sw * s) / srcW, h);
    ctx.restore();
  }

  /**
   * A strip's light as one colour laid over it (unpremultiplied, alpha 0 … 1):
   * darker as it turns away, and a warm gleam as it stands up, laid over
   * the shade. Under half a level either changes nothing.
   */
  function stripLight(phi) {
    const onFront = phi <= Math.PI / 2;
    const lit = 0.15 + 0.85 * Math.max(0, onFront ? Math.cos(phi) : -Math.cos(phi));
    const darker = 0.38 * (1 - lit);
    const shade = darker >= 0.002 ? darker : 0;
    const shine = 0.12 * Math.sin(phi) ** 6;
    const gleam = shine > 0.005 ? shine : 0;
    // The gleam laid over the shade gives D·(1 - shade)·(1 - gleam) + G·gleam: one colour G·gleam/alpha at alpha.
    const alpha = 1 - (1 - shade) * (1 - gleam);
    const k = alpha > 0 ? gleam / alpha : 0;
    return { alpha, r: 255 * k, g: 252 * k, b: 240 * k };
  }

  /** One pixel high, as wide as a sheet, for the light of a run of strips. */
  let lightRow = null;

  /** The light row, at least `width` wide: made with a sheet's strips, ahead of its turn. */
  function lightRowOf(width) {
    if (!lightRow || lightRow.width < width) lightRow = makeSurface(Math.max(width, lightRow ? lightRow.width : 0), 1);
    return lightRow;
  }

  /**
   * The light of strips first … end - 1, h high from y, in one draw: a
   * pixel row holding each strip's colour where it lies (shared pixels mixed
   * by how much of them each covers), stretched down the run. Filling the
   * strips one by one cost, besides their pixels, as much again per row of
   * each: more than the sheet itself at 4K once it stands up.
   */
  function shadeRun(ctx, spineX, y, h, xs, phis, first, end) {
    const left = spineX + Math.min(xs[first], xs[end]);
    const x0 = Math.floor(left);
    const width = Math.ceil(spineX + Math.max(xs[first], xs[end])) - x0;
    if (width <= 0) return;
    const sums = new Float64Array(width * 4);
    let lit = false;
    for (let m = first; m < end; m++) {
      const light = stripLight(phis[m]);
      if (light.alpha <= 0) continue;
      lit = true;
      const a = spineX + Math.min(xs[m], xs[m + 1]) - x0;
      const b = spineX + Math.max(xs[m], xs[m + 1]) - x0;
      for (let c = Math.max(0, Math.floor(a)); c < Math.min(width, Math.ceil(b)); c++) {
        const cover = (Math.min(b, c + 1) - Math.max(a, c)) * light.alpha;
        sums[4 * c] += cover * light.r;
        sums[4 * c + 1] += cover * light.g;
        sums[4 * c + 2] += cover * light.b;
        sums[4 * c + 3] += cover;
      }
    }
    if (!lit) return;
    const row = new ImageData(width, 1);
    for (let c = 0; c < width; c++) {
      const alpha = Math.min(1, sums[4 * c + 3]);
      if (alpha <= 0) continue;
      for (let ch = 0; ch < 3; ch++) row.data[4 * c + ch] = Math.round(sums[4 * c + ch] / sums[4 * c + 3]);
      row.data[4 * c + 3] = Math.round(255 * alpha);
    }
    const surface = lightRowOf(width);
    surface.getContext('2d').putImageData(row, 0, 0);
    ctx.save();
    ctx.imageSmoothingEnabled = false;
    ctx.drawImage(surface, 0, 0, width, 1, x0, y, width, h);
    ctx.restore();
  }

  /** Opacity of a portrait sheet: it fades as it goes round into the binding. */
  function portraitSheetAlpha(theta) {
    if (theta <= Math.PI / 2) return 1;
    return Math.max(0, 1 - (theta - Math.PI / 2) / (Math.PI / 2)) ** 1.2;
  }

  function drawFadingSheet(fr, front, back, spineX, theta) {
    const alpha = portraitSheetAlpha(theta);
    if (alpha < 0.01) return;
    fr.ctx.save();
    fr.ctx.globalAlpha *= alpha;
    drawTurnSheet(fr, front, back, spineX, theta);
    fr.ctx.restore();
  }

  function coverTheta(prog) {
    return easeTurn((prog - COVER_OPEN_START) / (1 - COVER_OPEN_START)) * Math.PI;
  }

  /** How far the opening cover has come down on the left, 0 … 1. */
  function coverLanded(theta) {
    return Math.max(0, -Math.cos(theta));
  }

  function drawClosedBook(fr) {
    const x0 = closedX(fr.geom);
    drawDeskShadow(fr, x0, fr.top, fr.geom.pageW, fr.geom.pageH);
    drawClosedBlock(fr, x0);
  }

  /** Under the opening cover: the book's shadow and the first page. */
  function drawCoverBase(fr, landed) {
    const { geom } = fr;
    const x0 = closedX(geom);
    drawDeskShadow(fr, x0 - geom.pageW * landed, fr.top, geom.pageW * (1 + landed), geom.pageH);
    drawFace(fr, fr.face(0, geom.portrait ? 'P' : 'R'), x0);
    drawPageStack(fr, x0 + geom.pageW, 1, Math.min(4, fr.spreads));
  }

  /** The cover in its turn; as it lands, the spine and the left edge appear. */
  function drawCoverSheet(fr, theta, landed) {
    const { geom } = fr;
    if (geom.portrait) {
      drawFadingSheet(fr, fr.face(0, 'COVER'), fr.face(0, 'EM'), closedX(geom), theta);
      return;
    }
    drawTurnSheet(fr, fr.face(0, 'COVER'), fr.face(0, 'LM'), geom.cx, theta);
    // So that the opened book meets spread 0 at rest without a jump.
    if (landed > 0) {
      fr.ctx.save();
      fr.ctx.globalAlpha *= landed;
      drawSpine(fr);
      drawPageStack(fr, geom.cx - geom.pageW, -1, 1);
      fr.ctx.restore();
    }
  }

  function drawCoverScene(fr, prog) {
    if (prog <= COVER_OPEN_START) {
      drawClosedBook(fr);
      return;
    }
    const theta = coverTheta(prog);
    const landed = coverLanded(theta);
    drawCoverBase(fr, landed);
    drawCoverSheet(fr, theta, landed);
  }

  function drawSpread(fr, i) {
    const { geom } = fr;
    if (geom.portrait) {
      const x = pageLeft(geom);
      drawDeskShadow(fr, x, fr.top, geom.pageW, geom.pageH);
      drawFace(fr, fr.face(i, 'P'), x);
      drawPageStack(fr, x, -1, Math.min(4, i + 1));
      drawPageStack(fr, x + geom.pageW, 1, Math.min(4, fr.spreads - i));
      return;
    }
    const x = geom.cx - geom.pageW;
    drawDeskShadow(fr, x, fr.top, 2 * geom.pageW, geom.pageH);
    drawFace(fr, fr.face(i, 'L'), x);
    drawFace(fr, fr.face(i, 'R'), geom.cx);
    drawSpine(fr);
    drawPageStack(fr, x, -1, Math.min(4, i + 1));
    drawPageStack(fr, geom.cx + geom.pageW, 1, Math.min(4, fr.spreads - i));
  }

  /** What a turn from spread i uncovers: the pages on either side of the sheet. */
  function drawTurnBase(fr, i) {
    const { geom } = fr;
    const right = Math.min(4, fr.spreads - i - 1);
    if (geom.portrait) {
      const x = pageLeft(geom);
      drawDeskShadow(fr, x, fr.top, geom.pageW, geom.pageH);
      drawFace(fr, fr.face(i + 1, 'P'), x);
      drawPageStack(fr, x, -1, Math.min(4, i + 2));
      drawPageStack(fr, x + geom.pageW, 1, right);
      return;
    }
    const x = geom.cx - geom.pageW;
    drawDeskShadow(fr, x, fr.top, 2 * geom.pageW, geom.pageH);
    drawFace(fr, fr.face(i, 'L'), x);
    drawFace(fr, fr.face(i + 1, 'R'), geom.cx);
    drawSpine(fr);
    drawPageStack(fr, x, -1, Math.min(4, i + 1));
    drawPageStack(fr, geom.cx + geom.pageW, 1, right);
  }

  /** The sheet of a turn from spread i. */
  function drawTurningSheet(fr, i, prog) {
    const theta = easeTurn(prog) * Math.PI;
    if (fr.geom.portrait) drawFadingSheet(fr, fr.face(i, 'P'), fr.face(i, 'EM'), pageLeft(fr.geom), theta);
    else drawTurnSheet(fr, fr.face(i, 'R'), fr.face(i + 1, 'LM'), fr.geom.cx, theta);
  }

  function drawCloseScene(fr, i, prog) {
    const a = easeTurn(prog);
    const { ctx, geom } = fr;
    if (a < 0.995) {
      ctx.save();
      ctx.globalAlpha *= 1 - a;
      drawSpread(fr, i);
      ctx.restore();
    }
    if (a > 0.01) {
      const x0 = closedX(geom);
      ctx.save();
      ctx.globalAlpha *= a;
      drawDeskShadow(fr, x0, fr.top, geom.pageW, geom.pageH);
      drawClosedBlock(fr, x0);
      ctx.restore();
    }
  }

  /** Geometry of a record's canvas, with its work band when it has one. */
  function sceneGeometry(data, W, H) {
    const banded = typeof data.workTopFrac === 'number' && typeof data.workBottomFrac === 'number';
    return banded ? geometry(W, H, H * data.workTopFrac, H * data.workBottomFrac) : geometry(W, H);
  }

  /**
   * Faces the next moving scene will need while the book lies still: the
   * opening cover's pages, the next turn's sheet and page, or the cover for
   * the closing. At most five with the two on show, within the cache bound.
   */
  function upcomingFaces(fr, scene) {
    const portrait = fr.geom.portrait;
    if (scene.phase === 'cover') return portrait ? [[0, 'P'], [0, 'EM']] : [[0, 'R'], [0, 'L'], [0, 'LM']];
    const i = Math.min(scene.idx, fr.spreads - 1);
    if (i < fr.spreads - 1) return portrait ? [[i + 1, 'P'], [i, 'EM']] : [[i + 1, 'R'], [i + 1, 'L'], [i + 1, 'LM']];
    return fr.cfg.lastAction === 'close' ? [[0, 'COVER']] : [];
  }

  /** The front and back of the next sheet to turn, while the book lies still. */
  function upcomingSheet(fr, scene) {
    const portrait = fr.geom.portrait;
    if (scene.phase === 'cover') return [[0, 'COVER'], [0, portrait ? 'EM' : 'LM']];
    const i = Math.min(scene.idx, fr.spreads - 1);
    if (i === fr.spreads - 1) return [];
    return portrait ? [[i, 'P'], [i, 'EM']] : [[i, 'R'], [i + 1, 'LM']];
  }

  /** Scratch pixel that makes a prepared face draw its pixels now, not on its first use. */
  let rasterProbe = null;

  /** Makes a surface drawn ahead of its use draw its pixels now. */
  function rasterize(surface) {
    if (!rasterProbe) rasterProbe = makeSurface(1, 1);
    rasterProbe.getContext('2d').drawImage(surface, 0, 0, 1, 1, 0, 0, 1, 1);
  }

  // ================================================================ stills
  // Between two frames most of the picture stays put: the desk, the book's
  // shadow, the pages lying open, the spine and the page edges. They are
  // composed once into a still of the canvas's size, and a frame copies it
  // and draws only what moves on top: a resting spread is one copy, a turn
  // one copy and the sheet. Blurred shadows and full-page copies per frame
  // cost tens of milliseconds at 4K where canvases are drawn without a GPU.

  /** Two stills at most, about 33 MB each at 4K: the one on show and the next. */
  const STILLS_MAX = 2;
  /** The stills of the scene drawn last, over the backdrop (background) they were composed on. */
  const stills = { scene: null, backdrop: null, version: -1, layers: new Map() };

  /** How often each still surface was composed: a surface reused for another still is not the one a canvas shows. */
  const compositions = new WeakMap();

  /**
   * What the last frame of a playback left on its canvas: the still it
   * copied, and the areas its moving parts covered.
   * Everywhere else the canvas still shows the still, so the playback's next
   * frame on the same still puts back only that area: copying a whole 4K
   * still cost more than the turning sheet drawn on it.
   */
  const painted = new WeakMap();

  /** Lets go of every still (a new scene, backdrop or size, the album's end, dropScene). */
  function releaseStills() {
    for (const layer of stills.layers.values()) releaseSurface(layer);
    stills.layers.clear();
    stills.scene = null;
    stills.backdrop = null;
    // The strips go with them: they are cut again ahead of the next turn.
    for (const face of [...stripSets.keys()]) dropStrips(face);
  }

  /**
   * The still a scene moment stands on, as its name and how to draw it; null
   * where nothing stays put from one frame to the next (the cover landing,
   * whose shadow grows, and the closing fade).
   */
  function stillOf(fr, scene) {
    const i = Math.min(scene.idx, fr.spreads - 1);
    const portrait = fr.geom.portrait;
    // Named by the faces they show too: a ledger page's face changes with its comments.
    const still = (name, faces, draw) => {
      const cache = fr.data[SCENE_KEY];
      return { key: [name, ...faces.map(([k, face]) => faceKey(cache, fr.cfg, fr.data, k, face))].join('|'), draw };
    };
    if (scene.phase === 'spread') return still(`spread:${i}`, portrait ? [[i, 'P']] : [[i, 'L'], [i, 'R']], (f) => drawSpread(f, i));
    if (scene.phase === 'turn') return still(`turn:${i}`, portrait ? [[i + 1, 'P']] : [[i, 'L'], [i + 1, 'R']], (f) => drawTurnBase(f, i));
    if (scene.phase !== 'cover') return null;
    if (scene.prog <= COVER_OPEN_START) return still('closed', [[0, 'COVER']], drawClosedBook);
    const first = [[0, portrait ? 'P' : 'R']];
    if (coverLanded(coverTheta(scene.prog)) > 0) return still('landing', first, (f) => drawFace(f, f.face(0, first[0][1]), closedX(f.geom)));
    return still('cover', first, (f) => drawCoverBase(f, 0));
  }

  /** A scene moment drawn whole over the background. */
  function drawWhole(fr, scene) {
    const i = Math.min(scene.idx, fr.spreads - 1);
    if (scene.phase === 'cover') drawCoverScene(fr, scene.prog);
    else if (scene.phase === 'turn') {
      drawTurnBase(fr, i);
      drawTurningSheet(fr, i, scene.prog);
    } else if (scene.phase === 'close') drawCloseScene(fr, i, scene.prog);
    else drawSpread(fr, i);
  }

  /** What moves over the still of a scene moment. */
  function drawMoving(fr, scene) {
    if (scene.phase === 'turn') drawTurningSheet(fr, Math.min(scene.idx, fr.spreads - 1), scene.prog);
    if (scene.phase !== 'cover' || scene.prog <= COVER_OPEN_START) return;
    const theta = coverTheta(scene.prog);
    const landed = coverLanded(theta);
    if (landed > 0) drawLandingDesk(fr, theta, landed);
    drawCoverSheet(fr, theta, landed);
  }

  /**
   * Round the first page (in the still) as the cover lands: the shadow
   * growing under it, where it shows, and the page edges over the shadow.
   */
  function drawLandingDesk(fr, theta, landed) {
    const { geom, top } = fr;
    const x0 = closedX(geom);
    // Left of the landing cover's edge the shadow shows; under an opaque
    // cover it would be covered again at once (a fading one shows it).
    const edge = geom.portrait ? x0 : geom.cx + Math.floor(Math.min(0, ...sheetXs(geom.pageW, theta))) + 2;
    const hole = { x: x0, y: top, w: geom.pageW, h: geom.pageH, left: Math.min(x0, edge) };
    drawDeskShadow(fr, x0 - geom.pageW * landed, top, geom.pageW * (1 + landed), geom.pageH, hole);
    drawPageStack(fr, x0 + geom.pageW, 1, Math.min(4, fr.spreads));
  }

  /** The still that the next moving moment will stand on, while the book lies still. */
  function upcomingStill(fr, scene) {
    // The opening's first moments: halfway, the turn's rounding put the cover a hair past upright, landing.
    if (scene.phase === 'cover') return stillOf(fr, { phase: 'cover', idx: 0, prog: COVER_OPEN_START + (1 - COVER_OPEN_START) / 4 });
    const i = Math.min(scene.idx, fr.spreads - 1);
    return i < fr.spreads - 1 ? stillOf(fr, { phase: 'turn', idx: i, prog: 0 }) : null;
  }

  /** The parts of area `a` outside area `c` (null: none). */
  function outside(a, c) {
    if (!c || c.x0 >= a.x1 || c.x1 <= a.x0 || c.y0 >= a.y1 || c.y1 <= a.y0) return [a];
    const parts = [];
    if (c.y0 > a.y0) parts.push({ x0: a.x0, y0: a.y0, x1: a.x1, y1: c.y0 });
    if (c.y1 < a.y1) parts.push({ x0: a.x0, y0: c.y1, x1: a.x1, y1: a.y1 });
    const y0 = Math.max(a.y0, c.y0);
    const y1 = Math.min(a.y1, c.y1);
    if (c.x0 > a.x0) parts.push({ x0: a.x0, y0, x1: c.x0, y1 });
    if (c.x1 < a.x1) parts.push({ x0: c.x1, y0, x1: a.x1, y1 });
    return parts;
  }

  /**
   * Where the opaque sheet of a scene moment lies, whole pixels well inside
   * its edges, or null: nothing drawn before it shows there, so a frame need
   * not put back the still there first. A portrait sheet fades, and has none.
   */
  function sheetCover(fr, scene) {
    let theta;
    if (fr.geom.portrait) return null;
    if (scene.phase === 'turn') theta = easeTurn(scene.prog) * Math.PI;
    else if (scene.phase === 'cover' && scene.prog > COVER_OPEN_START) theta = coverTheta(scene.prog);
    else return null;
    const { pageW, pageH, cx } = fr.geom;
    const phis = sheetPhis(theta);
    const xs = sheetXs(pageW, theta, phis);
    const lowest = pageH * (1 + 0.035 * Math.min(...phis.map((phi) => Math.sin(phi))));
    const c = {
      x0: Math.ceil(cx + Math.min(...xs)) + 2, x1: Math.floor(cx + Math.max(...xs)) - 2,
      y0: Math.ceil(fr.top + (pageH - lowest) / 2) + 2, y1: Math.floor(fr.top + (pageH + lowest) / 2) - 2,
    };
    return c.x1 > c.x0 && c.y1 > c.y0 ? c : null;
  }

  /**
   * Lays the still under a frame: the whole of it, or within a playback
   * whose previous frame showed the same still on this canvas, only what
   * that frame's moving parts covered, outside `cover` (the sheet about to
   * be drawn).
   */
  function layStill(ctx, layer, key, run, cover) {
    const last = run ? painted.get(ctx.canvas) : null;
    const same = last && last.run === run && last.layer === layer && last.key === key &&
      last.composed === compositions.get(layer) && last.width === ctx.canvas.width && last.height === ctx.canvas.height;
    const { copyLayer, copyArea } = window.TY.render;
    if (!same) copyLayer(ctx, layer);
    else for (const area of last.areas) outside(area, cover).forEach((part) => copyArea(ctx, layer, part));
  }

  /** The still `still` over the backdrop, composed on a miss (reusing the surface it evicts). */
  function stillLayer(fr, backdrop, still) {
    const scene = fr.data[SCENE_KEY];
    if (stills.scene !== scene || stills.backdrop !== backdrop.canvas || stills.version !== backdrop.version) {
      releaseStills();
      Object.assign(stills, { scene, backdrop: backdrop.canvas, version: backdrop.version });
    }
    const cached = stills.layers.get(still.key);
    if (cached) {
      stills.layers.delete(still.key);
      stills.layers.set(still.key, cached);
      return cached;
    }
    let layer = null;
    if (stills.layers.size >= STILLS_MAX) {
      const oldest = stills.layers.keys().next().value;
      layer = stills.layers.get(oldest);
      stills.layers.delete(oldest);
    }
    const { width, height } = backdrop.canvas;
    if (!layer || layer.width !== width || layer.height !== height) {
      if (layer) releaseSurface(layer);
      layer = makeSurface(width, height);
    }
    const lctx = layer.getContext('2d');
    window.TY.render.copyLayer(lctx, backdrop.canvas);
    lctx.save();
    lctx.imageSmoothingEnabled = true;
    lctx.imageSmoothingQuality = 'high';
    still.draw({ ...fr, ctx: lctx });
    lctx.restore();
    compositions.set(layer, (compositions.get(layer) || 0) + 1);
    stills.layers.set(still.key, layer);
    return layer;
  }

  /**
   * While the book lies still, draws one thing the next moving moment needs
   * ahead of it (a face, else the still it stands on): a turn that drew them
   * itself took several frames' time at once.
   */
  function prepareAhead(fr, scene, backdrop) {
    const cache = fr.data[SCENE_KEY];
    for (const [i, name] of upcomingFaces(fr, scene)) {
      if (cache.faces.has(faceKey(cache, fr.cfg, fr.data, i, name))) continue;
      rasterize(fr.face(i, name));
      return;
    }
    const next = backdrop && upcomingStill(fr, scene);
    if (next && !stills.layers.has(next.key)) {
      rasterize(stillLayer(fr, backdrop, next));
      return;
    }
    const sheet = upcomingSheet(fr, scene).map(([i, name]) => fr.face(i, name));
    // A run's light may reach a pixel past the sheet on either side.
    for (const face of sheet) lightRowOf(face.width + 2);
    const cutting = sheet.filter(filtered);
    if (cutting.some((face) => !stripSets.has(face))) cutting.forEach((face) => rasterize(stripsOf(face)[0].canvas));
  }

  /**
   * Draws the album at time t. With the backdrop (the background layer and
   * its version) the scene lays it itself, from a still where it can;
   * without, it draws over the already painted background. The backdrop's
   * `run`, an object standing for one playback on this canvas, tells that
   * nothing else draws on the canvas between its frames.
   * @param {any} [backdrop] {canvas, version, run?}
   */
  function drawScene(ctx, data, t, tm, backdrop) {
    const cfg = cfgOf(data.albumCfg);
    const geom = sceneGeometry(data, data.w || ctx.canvas.width, data.h || ctx.canvas.height);
    ensureScene(data, cfg, geom);
    const fr = frameOf(ctx, data, cfg, geom);
    const scene = sceneAt(t, tm);
    const still = backdrop ? stillOf(fr, scene) : null;
    ctx.save();
    ctx.imageSmoothingEnabled = true;
    ctx.imageSmoothingQuality = 'high';
    if (still) {
      const layer = stillLayer(fr, backdrop, still);
      layStill(ctx, layer, still.key, backdrop.run, sheetCover(fr, scene));
      const moving = { ...fr, moved: [] };
      drawMoving(moving, scene);
      if (backdrop.run) {
        painted.set(ctx.canvas, {
          run: backdrop.run, layer, key: still.key, composed: compositions.get(layer),
          width: ctx.canvas.width, height: ctx.canvas.height, areas: window.TY.render.movedAreas(moving.moved, ctx.canvas),
        });
      }
    } else {
      painted.delete(ctx.canvas);
      if (backdrop) window.TY.render.copyLayer(ctx, backdrop.canvas);
      drawWhole(fr, scene);
    }
    ctx.restore();
    // The closing fade draws the book whole: nothing stays put any more.
    if (scene.phase === 'close' && stills.scene === data[SCENE_KEY]) releaseStills();
    const resting = scene.phase === 'spread' || (scene.phase === 'cover' && scene.prog <= COVER_OPEN_START);
    if (resting) prepareAhead(fr, scene, backdrop);
  }

  /**
   * Photo indices needed by frames around time t: the current spread, radius
   * spreads either side, one more ahead during a turn, and the cover photo.
   */
  function photoIndicesAt(data, t, tm, radius) {
    const cfg = cfgOf(data.albumCfg);
    const spreads = ensureScene(data, cfg, geometry(data.w || 16, data.h || 9));
    const scene = sceneAt(t, tm);
    const last = spreads.length - 1;
    const current = scene.phase === 'close' ? last : Math.min(scene.idx, last);
    const r = Math.max(0, Math.floor(radius || 0));
    const upTo = Math.min(last, current + r + (scene.phase === 'turn' ? 1 : 0));
    const out = new Set();
    for (let i = Math.max(0, current - r); i <= upTo; i++) {
      for (const pg of spreads[i].pages) pg.list.forEach((idx) => out.add(idx));
    }
    const coverPhoto = data[SCENE_KEY].coverPhoto;
    if (coverPhoto >= 0) out.add(coverPhoto);
    return [...out].sort((a, b) => a - b);
  }

  // ================================================================ print pages

  /**
   * Renders the album as portrait sheets, one page each, preceded by the
   * cover when it carries a title or a cover photo. Sheets are drawn one at
   * a time: each is handed to `onPage` (awaited; the receiver releases it)
   * before the next is drawn. Resolves to the number of sheets, or to the
   * list of sheets without `onPage`. A set `printWhiteBg` on the record
   * prints pure white pages. With `photosFor`, each sheet is drawn with the
   * pictures it resolves to for that sheet's photo indices (a sparse list by
   * photo index) instead of the record's. The screen's scene is left untouched.
   * @param {any} data @param {number} pxW @param {number} pxH
   * @param {(canvas: HTMLCanvasElement, index: number) => any} [onPage]
   * @param {(indices: number[]) => Promise<any[]>} [photosFor]
   */
  async function renderPrintPages(data, pxW, pxH, onPage, photosFor) {
    const copy = { ...data, printMode: true };
    const cfg = cfgOf(copy.albumCfg);
    const geom = printGeometry(pxW, pxH);
    const spreads = ensureScene(copy, cfg, geom);
    const coverPhoto = copy[SCENE_KEY].coverPhoto;
    const sheets = [];
    let count = 0;
    const sheet = async (indices, draw) => {
      const bitmaps = photosFor ? await photosFor(indices) : copy.bitmaps;
      const canvas = draw({ ...copy, bitmaps });
      if (onPage) await onPage(canvas, count);
      else sheets.push(canvas);
      count++;
    };
    const titled = typeof copy.title === 'string' && copy.title.trim() !== '';
    if (titled || coverPhoto >= 0) {
      await sheet(coverPhoto >= 0 ? [coverPhoto] : [], (d) => makeCoverFace(geom, cfg, d, coverPhoto));
    }
    for (const spread of spreads) {
      for (const pg of spread.pages) await sheet(pg.list, (d) => renderFace(geom, cfg, d, pg, null));
    }
    return onPage ? count : sheets;
  }

  // ================================================================ PDF sheets
  // The paper, each sheet's photos decoded for print just before it is
  // drawn, and the JPEG the host writes into the PDF.

  /** Sheet sizes in pixels: portrait at 300 dpi. */
  const PRINT_PAPERS = Object.freeze({ a4: Object.freeze({ w: 2480, h: 3508 }), letter: Object.freeze({ w: 2550, h: 3300 }) });
  const PDF_JPEG_QUALITY = 0.95;

  /**
   * The sheet of the first known paper key given ("a4", "letter"); A4 when
   * none is known.
   * @param {...any} keys
   * @returns {{key: string, w: number, h: number}}
   */
  function printPaper(...keys) {
    const key = keys.find((k) => typeof k === 'string' && Object.prototype.hasOwnProperty.call(PRINT_PAPERS, k)) || 'a4';
    return { key, ...PRINT_PAPERS[key] };
  }

  /**
   * The album's sheets for the PDF, streamed: before each sheet is drawn its
   * photos are asked of `loadPhotos` at the print cell's side (pictures
   * decoded for the screen would print blurred), so that only the photos of
   * one sheet need to be held at print size, however long the album; the
   * sheet then goes to `onPage`, which owns and releases it, before the next
   * is drawn. `onPhotos` hears how many of the album's photos have been
   * asked for so far. The record passed in, and the screen's album, stay as
   * they were.
   * @param {any} data the album's play data
   * @param {{paper: {w: number, h: number}, whiteBg?: boolean,
   *   loadPhotos: (indices: number[], side: number) => Promise<any[]>,
   *   onPhotos?: (done: number, total: number) => void,
   *   onPage: (canvas: HTMLCanvasElement, index: number) => any}} options
   *   `loadPhotos` resolves to the pictures as a sparse list by photo index
   * @returns {Promise<number>} the number of sheets
   */
  function renderPdfSheets(data, options) {
    const { w, h } = options.paper;
    const side = printCellSide(data.albumCfg, w, h);
    const total = albumPhotoIndices(data).length;
    const asked = new Set();
    const photosFor = async (indices) => {
      const bitmaps = await options.loadPhotos(indices, side);
      for (const i of indices) asked.add(i);
      if (options.onPhotos) options.onPhotos(Math.min(asked.size, total), total);
      return bitmaps;
    };
    const sheets = renderPrintPages({ ...data, printWhiteBg: !!options.whiteBg }, w, h, options.onPage, photosFor);
    return /** @type {Promise<number>} */ (sheets);
  }

  /** @param {Blob} blob @returns {Promise<string>} */
  function dataUrlOf(blob) {
    return new Promise((resolve, reject) => {
      const reader = new FileReader();
      reader.onload = () => resolve(String(reader.result));
      reader.onerror = () => reject(reader.error);
      reader.readAsDataURL(blob);
    });
  }

  /**
   * Encodes a PDF sheet as a JPEG of quality 0.95 and releases the sheet as
   * soon as its pixels are taken, so that no two sheets are ever held.
   * Throws when the browser yields no JPEG.
   * @param {HTMLCanvasElement} canvas
   * @returns {Promise<{base64: string, widthPx: number, heightPx: number}>}
   */
  async function encodePdfSheet(canvas) {
    const widthPx = canvas.width;
    const heightPx = canvas.height;
    let blob;
    try {
      blob = await new Promise((resolve) => canvas.toBlob(resolve, 'image/jpeg', PDF_JPEG_QUALITY));
    } finally {
      releaseSurface(canvas);
    }
    if (!blob || !blob.size || blob.type !== 'image/jpeg') {
      throw new Error(window.TY.i18n.T('ページを JPEG にできませんでした', 'The page could not be turned into a JPEG'));
    }
    const url = await dataUrlOf(blob);
    return { base64: url.slice(url.indexOf(',') + 1), widthPx, heightPx };
  }

  window.TY = window.TY || /** @type {Tessary.Namespace} */ ({});
  window.TY.album = {
    DEFAULT_CFG, FACE_CACHE_MAX,
    cfgOf, rateOf, geometry, photosOnPage, ledgerLayout, cellRects, albumPhotoIndices, starList,
    paginate, featureSpreads, timing, sceneAt, previewCellSide, printCellSide, easeTurn,
    ensureScene, dropScene, getFace, drawScene, photoIndicesAt, wrapComment, renderPrintPages,
    PRINT_PAPERS, printPaper, renderPdfSheets, encodePdfSheet,
  };
})();
