// Where every print of a pile lies: centre, rotation, outer size and photo.
// Pure functions over plain records; randomness comes from `random` below,
// Math.random unless a seed was given, so every call gives a new pile.
// Lengths are canvas pixels, angles radians.
(function () {
  'use strict';

  /**
   * @typedef {{x: number, y: number, rot: number, outerW: number, outerH: number,
   *   photoIndex: number, featured?: boolean}} Placement
   * @typedef {{cols: number, rows: number, cellW: number, cellH: number, outerW: number}} Grid
   */

  /** Borders of a print as fractions of its square picture side. */
  const FRAME = Object.freeze({ side: 0.07, top: 0.07, bottom: 0.20 });
  const OUTER_W_RATIO = 1 + 2 * FRAME.side;
  const OUTER_H_RATIO = 1 + FRAME.top + FRAME.bottom;

  /** Outer print width ÷ grid cell; with JITTER the prints reach every edge (see closeGaps). */
  const SIZE_FACTOR = 1.55;
  const JITTER = 0.25;
  const SCATTER_JITTER = 0.36;
  const ROT_MIN_DEG = 8;
  const ROT_SPAN_DEG = 22;
  const FEATURE_ATTEMPTS = 120;
  /** Short-side share of the base print before the size multiplier. */
  const BASE_PRINT_SHARE = 0.40;
  /**
   * Cells per grid axis at most. Real canvases stay far below (8K at the
   * smallest size and highest density needs 42); the cap only keeps absurd
   * shapes or densities from allocating millions of tiles. Prints grow with
   * the coarser cells, so the canvas stays covered.
   */
  const MAX_GRID_SIDE = 256;

  /** Size steps: multiplier of the base print size. */
  const CHEKI_SCALES = Object.freeze({ xxl: 1.6, xl: 1.5, l: 1.0, m: 0.6, s: 0.3 });

  /** Starred prints laid over the covering layout, by size step; others 1. */
  const FEATURED_BY_SCALE = Object.freeze({ l: 2, m: 3, s: 5 });

  const hasOwn = (/** @type {object} */ o, /** @type {any} */ k) =>
    typeof k === 'string' && Object.prototype.hasOwnProperty.call(o, k);

  /** @param {any} v @returns {number} a finite, non-negative length */
  function length(v) {
    const n = Number(v);
    return Number.isFinite(n) && n > 0 ? n : 0;
  }

  /** @param {any} v @returns {number} a whole, non-negative count */
  function countOf(v) {
    const n = Math.floor(Number(v));
    return Number.isFinite(n) && n > 0 ? n : 0;
  }

  /** @type {(() => number)|null} a seeded sequence, or null for Math.random */
  let seededSource = null;

  /**
   * The uniform source of layouts and procedural backgrounds: Math.random,
   * so that every pile differs, unless `useRandom` gave a seeded sequence
   * (the same command asking for the same pile again).
   * @returns {number} in [0, 1)
   */
  function random() {
    return seededSource ? seededSource() : Math.random();
  }

  /** @param {(() => number)|null} source a sequence in [0, 1), or null for Math.random again */
  function useRandom(source) {
    seededSource = typeof source === 'function' ? source : null;
  }

  /** @param {any} scale @returns {number} */
  function scaleMultiplier(scale) {
    return hasOwn(CHEKI_SCALES, scale) ? CHEKI_SCALES[scale] : 1.0;
  }

  /** @param {number} outerW */
  function outerHeightFor(outerW) {
    return outerW / OUTER_W_RATIO * OUTER_H_RATIO;
  }

  /** Rotation sign first, then (after the caller's draws) the magnitude. */
  function rotationSign() {
    return random() < 0.5 ? -1 : 1;
  }

  /** @param {number} sign */
  function rotationWithSign(sign) {
    return sign * (ROT_MIN_DEG + random() * ROT_SPAN_DEG) * Math.PI / 180;
  }

  /** @param {number} outerW @param {number} outerH */
  function halfDiagonal(outerW, outerH) {
    return Math.sqrt(outerW * outerW + outerH * outerH) / 2;
  }

  /**
   * Fisher–Yates from the end, in place.
   * @template T
   * @param {T[]} list
   * @returns {T[]} the same list
   */
  function shuffle(list) {
    if (!Array.isArray(list)) return list;
    for (let i = list.length - 1; i > 0; i--) {
      const j = Math.floor(random() * (i + 1));
      const t = list[i];
      list[i] = list[j];
      list[j] = t;
    }
    return list;
  }

  /**
   * @param {number} W canvas width
   * @param {number} H canvas height
   * @param {string} [scale] size step key
   * @param {number} [density] cell density, 1 when absent or 0
   * @returns {Grid}
   */
  function grid(W, H, scale, density) {
    const w = length(W);
    const h = length(H);
    const d = length(density) || 1.0;
    const target = Math.min(w, h) * BASE_PRINT_SHARE * scaleMultiplier(scale);
    const cell = target / (SIZE_FACTOR * d);
    const cellsAlong = (/** @type {number} */ side) =>
      cell > 0 ? Math.min(MAX_GRID_SIDE, Math.max(2, Math.ceil(side / cell))) : 2;
    const cols = cellsAlong(w);
    const rows = cellsAlong(h);
    const cellW = w / cols;
    const cellH = h / rows;
    return { cols, rows, cellW, cellH, outerW: Math.max(cellW, cellH) * SIZE_FACTOR * d };
  }

  /**
   * Photo sequence for the covering layout: shuffled blocks of every photo,
   * with no photo twice in a row, even across block seams.
   * @param {number} photoCount
   * @param {number} tileCount
   * @returns {number[]}
   */
  function buildAssignment(photoCount, tileCount) {
    const photos = countOf(photoCount);
    const tiles = countOf(tileCount);
    /** @type {number[]} */
    const seq = [];
    if (photos === 0) return seq;
    while (seq.length < tiles) {
      const block = shuffle(Array.from({ length: photos }, (_, i) => i));
      if (seq.length > 0 && photos > 1 && block[0] === seq[seq.length - 1]) {
        const t = block[0];
        block[0] = block[photos - 1];
        block[photos - 1] = t;
      }
      for (const p of block) seq.push(p);
    }
    return seq.slice(0, tiles);
  }

  /**
   * Centre and turn of the print of one grid tile; random numbers are drawn
   * as rotation sign, x jitter, y jitter, rotation magnitude.
   * @param {number} gx @param {number} gy @param {Grid} g
   */
  function jitteredTile(gx, gy, g) {
    const sign = rotationSign();
    const x = (gx + 0.5) * g.cellW + (2 * random() - 1) * JITTER * g.cellW;
    const y = (gy + 0.5) * g.cellH + (2 * random() - 1) * JITTER * g.cellH;
    return { x, y, rot: rotationWithSign(sign) };
  }

  /**
   * The covering layout: one print per cell of a grid reaching one cell
   * beyond every edge, in random stacking order. Empty without photos.
   * @param {number} W
   * @param {number} H
   * @param {number} photoCount
   * @param {string} [scale]
   * @param {number} [density]
   * @returns {Placement[]}
   */
  function generate(W, H, photoCount, scale, density) {
    const g = grid(W, H, scale, density);
    const tileCount = (g.cols + 2) * (g.rows + 2);
    const sequence = buildAssignment(photoCount, tileCount);
    if (sequence.length === 0) return [];
    const outerH = outerHeightFor(g.outerW);
    /** @type {Placement[]} */
    const out = [];
    for (let gy = -1; gy <= g.rows; gy++) {
      for (let gx = -1; gx <= g.cols; gx++) {
        out.push({ ...jitteredTile(gx, gy, g), outerW: g.outerW, outerH, photoIndex: sequence[out.length] });
      }
    }
    // Below density 1 the desk is meant to show between the prints.
    if ((length(density) || 1) >= 1) closeGaps(out, g);
    return shuffle(out);
  }

  /**
   * A half-plane a·x + b·y + c ≤ 0.
   * @typedef {{a: number, b: number, c: number}} HalfPlane
   * @typedef {{x: number, y: number}} Point
   */

  /** @param {Placement} p @returns {HalfPlane[]} the print's paper as four half-planes */
  function paperHalfPlanes(p) {
    const cos = Math.cos(p.rot);
    const sin = Math.sin(p.rot);
    const u = { a: cos, b: sin, c: -(p.x * cos + p.y * sin) };
    const v = { a: -sin, b: cos, c: p.x * sin - p.y * cos };
    const hw = p.outerW / 2;
    const hh = p.outerH / 2;
    return [
      { a: u.a, b: u.b, c: u.c - hw }, { a: -u.a, b: -u.b, c: -u.c - hw },
      { a: v.a, b: v.b, c: v.c - hh }, { a: -v.a, b: -v.b, c: -v.c - hh },
    ];
  }

  /** Sutherland–Hodgman against one half-plane. @param {Point[]} poly @param {HalfPlane} hp */
  function clipPolygon(poly, hp) {
    /** @type {Point[]} */
    const out = [];
    for (let i = 0; i < poly.length; i++) {
      const p = poly[i];
      const q = poly[(i + 1) % poly.length];
      const fp = hp.a * p.x + hp.b * p.y + hp.c;
      const fq = hp.a * q.x + hp.b * q.y + hp.c;
      if (fp <= 0) out.push(p);
      if ((fp < 0 && fq > 0) || (fp > 0 && fq < 0)) {
        const t = fp / (fp - fq);
        out.push({ x: p.x + t * (q.x - p.x), y: p.y + t * (q.y - p.y) });
      }
    }
    return out;
  }

  /** @param {Point[]} poly */
  function polygonArea(poly) {
    let sum = 0;
    for (let i = 0; i < poly.length; i++) {
      const p = poly[i];
      const q = poly[(i + 1) % poly.length];
      sum += p.x * q.y - q.x * p.y;
    }
    return Math.abs(sum) / 2;
  }

  /**
   * The convex pieces of `poly` outside the paper.
   * @param {Point[]} poly @param {HalfPlane[]} paper @param {number} minArea
   */
  function subtractPaper(poly, paper, minArea) {
    const pieces = [];
    let rest = poly;
    for (const hp of paper) {
      const outside = clipPolygon(rest, { a: -hp.a, b: -hp.b, c: -hp.c });
      if (outside.length >= 3 && polygonArea(outside) > minArea) pieces.push(outside);
      rest = clipPolygon(rest, hp);
      if (rest.length < 3) break;
    }
    return pieces;
  }

  /** @param {Placement} p @param {Point[]} cell @returns {boolean} */
  function paperCoversCell(p, cell) {
    return paperHalfPlanes(p).every((hp) => cell.every((pt) => hp.a * pt.x + hp.b * pt.y + hp.c <= 1e-9));
  }

  /**
   * The grid's size and jitter leave a gap only rarely: when every print
   * around a cell corner happens to be pushed away and turned the wrong way.
   * Such a cell gets its own print drawn again until that print covers the
   * cell, or centred without jitter, which always covers it at density 1 or
   * more. Neighbours the moved print no longer reaches are checked again;
   * a cell is repaired at most once, so the repair always ends.
   * @param {Placement[]} tiles in grid order, ring included
   * @param {Grid} g
   */
  function closeGaps(tiles, g) {
    const across = g.cols + 2;
    const tileAt = (/** @type {number} */ gx, /** @type {number} */ gy) => tiles[(gy + 1) * across + gx + 1];
    const minArea = g.cellW * g.cellH * 1e-9;
    /** @param {number} gx @param {number} gy */
    const cellPolygon = (gx, gy) => [
      { x: gx * g.cellW, y: gy * g.cellH }, { x: (gx + 1) * g.cellW, y: gy * g.cellH },
      { x: (gx + 1) * g.cellW, y: (gy + 1) * g.cellH }, { x: gx * g.cellW, y: (gy + 1) * g.cellH },
    ];
    /** @param {number} gx @param {number} gy */
    const hasGap = (gx, gy) => {
      let uncovered = [cellPolygon(gx, gy)];
      for (let dy = -1; dy <= 1 && uncovered.length; dy++) {
        for (let dx = -1; dx <= 1 && uncovered.length; dx++) {
          const paper = paperHalfPlanes(tileAt(gx + dx, gy + dy));
          uncovered = uncovered.flatMap((piece) => subtractPaper(piece, paper, minArea));
        }
      }
      return uncovered.length > 0;
    };
    const queue = [];
    const repaired = new Set();
    for (let gy = 0; gy < g.rows; gy++) for (let gx = 0; gx < g.cols; gx++) queue.push([gx, gy]);
    for (let next = 0; next < queue.length; next++) {
      const [gx, gy] = queue[next];
      const tile = tileAt(gx, gy);
      const cell = cellPolygon(gx, gy);
      if (repaired.has(tile) || paperCoversCell(tile, cell) || !hasGap(gx, gy)) continue;
      repaired.add(tile);
      redrawCovering(tile, gx, gy, g, cell);
      for (let dy = -1; dy <= 1; dy++) {
        for (let dx = -1; dx <= 1; dx++) {
          const nx = gx + dx;
          const ny = gy + dy;
          if ((dx || dy) && nx >= 0 && ny >= 0 && nx < g.cols && ny < g.rows) queue.push([nx, ny]);
        }
      }
    }
  }

  /**
   * @param {Placement} tile @param {number} gx @param {number} gy
   * @param {Grid} g @param {Point[]} cell
   */
  function redrawCovering(tile, gx, gy, g, cell) {
    for (let attempt = 0; attempt < 24; attempt++) {
      Object.assign(tile, jitteredTile(gx, gy, g));
      if (paperCoversCell(tile, cell)) return;
    }
    tile.x = (gx + 0.5) * g.cellW;
    tile.y = (gy + 0.5) * g.cellH;
  }

  /**
   * The scattered layout: `count` prints, one per cell of a grid sized to
   * the count, leaving the unused cells empty.
   * @param {number} W
   * @param {number} H
   * @param {number} count
   * @param {string} [scale]
   * @param {boolean} [overflow] let prints run over the edges when there are many
   * @param {number} [density] raw slider value in −1 … +1, 0 neutral
   * @returns {Placement[]}
   */
  function scatter(W, H, count, scale, overflow, density) {
    const n = countOf(count);
    if (n === 0) return [];
    const w = length(W);
    const h = length(H);
    const raw = Number(density);
    const d = Number.isFinite(raw) ? Math.max(-1, Math.min(1, raw)) : 0;
    const outerW = grid(w, h, scale).outerW;
    const outerH = outerHeightFor(outerW);
    const halfDiag = halfDiagonal(outerW, outerH);
    const insideX = Math.min(halfDiag, w / 2 - 1);
    const insideY = Math.min(halfDiag, h / 2 - 1);
    const spill = overflow === true ? Math.min(1, Math.max(0, (n - 2) / 6)) : 0;
    let marginX = insideX + spill * (-0.25 * outerW - insideX);
    let marginY = insideY + spill * (-0.25 * outerW - insideY);
    if (d > 0) {
      marginX += (w / 2 - marginX) * d * 0.45;
      marginY += (h / 2 - marginY) * d * 0.45;
    } else if (d < 0 && spill > 0) {
      marginX += 0.6 * outerW * d * spill;
      marginY += 0.6 * outerW * d * spill;
    }
    const regionW = w - 2 * marginX;
    const regionH = h - 2 * marginY;
    const aspect = regionW > 0 && regionH > 0 ? regionW / regionH : 1;
    const cols = Math.max(1, Math.round(Math.sqrt(n * aspect)));
    const rows = Math.max(1, Math.ceil(n / cols));
    const cellW = regionW / cols;
    const cellH = regionH / rows;
    const cells = shuffle(Array.from({ length: cols * rows }, (_, i) => i)).slice(0, n);
    return cells.map((c) => {
      const sign = rotationSign();
      const x = marginX + ((c % cols) + 0.5 + (2 * random() - 1) * SCATTER_JITTER) * cellW;
      const y = marginY + (Math.floor(c / cols) + 0.5 + (2 * random() - 1) * SCATTER_JITTER) * cellH;
      return { x, y, rot: rotationWithSign(sign), outerW, outerH, photoIndex: -1 };
    });
  }

  /** @param {any} emphasize @returns {number} */
  function emphasisOf(emphasize) {
    if (emphasize === true) return 1.1;
    return typeof emphasize === 'number' && emphasize > 0 ? emphasize : 1;
  }

  /**
   * Starred prints: larger by the emphasis factor, wholly inside the canvas
   * at any rotation, each at the candidate farthest from those before it.
   * @param {number} W
   * @param {number} H
   * @param {number} count
   * @param {string} [scale]
   * @param {number|boolean} [emphasize] size factor; true means 1.1
   * @returns {Placement[]} in the order placed
   */
  function placeFeatured(W, H, count, scale, emphasize) {
    const n = countOf(count);
    if (n === 0) return [];
    const w = length(W);
    const h = length(H);
    const maxOuterW = (Math.min(w, h) - 2) / Math.sqrt(1 + (OUTER_H_RATIO / OUTER_W_RATIO) ** 2);
    const wanted = grid(w, h, scale).outerW * emphasisOf(emphasize);
    const outerW = Number.isFinite(wanted) && Number.isFinite(maxOuterW)
      ? Math.max(1, Math.min(wanted, maxOuterW)) : 1;
    const outerH = outerHeightFor(outerW);
    const halfDiag = halfDiagonal(outerW, outerH);
    const marginX = Math.min(halfDiag, w / 2 - 1);
    const marginY = Math.min(halfDiag, h / 2 - 1);
    /** @type {Placement[]} */
    const out = [];
    for (let i = 0; i < n; i++) {
      let best = { x: w / 2, y: h / 2, score: -1 };
      for (let k = 0; k < FEATURE_ATTEMPTS; k++) {
        const x = marginX + random() * (w - 2 * marginX);
        const y = marginY + random() * (h - 2 * marginY);
        let score = Infinity;
        for (const p of out) score = Math.min(score, Math.hypot(p.x - x, p.y - y));
        if (score > best.score) best = { x, y, score };
        if (best.score >= 2 * halfDiag) break;
      }
      const sign = rotationSign();
      out.push({ x: best.x, y: best.y, rot: rotationWithSign(sign), outerW, outerH, photoIndex: -1 });
    }
    return out;
  }

  /** @param {string} scale @returns {number} starred prints laid over the covering layout */
  function featuredCountFor(scale) {
    return hasOwn(FEATURED_BY_SCALE, scale) ? FEATURED_BY_SCALE[scale] : 1;
  }

  /**
   * Size factor of the starred prints for the "Emphasize favorites" mode;
   * "large" is toned down as more starred prints are laid.
   * @param {number} count starred prints laid
   * @param {string} mode "none", "slight" or "large"
   * @returns {number}
   */
  function emphasisFactor(count, mode) {
    const n = countOf(count);
    if (n === 0) return 1;
    if (mode === 'slight') return 1.1;
    if (mode !== 'large') return 1;
    return n === 1 ? 1.5 : n === 2 ? 1.35 : 1.2;
  }

  /**
   * One random pile: the ordinary placements and, separately, the starred
   * ones (☆1 last, so it lies on top). Covering mode lays the first
   * FEATURED_BY_SCALE starred photos over a tiling of the others; scattered
   * mode ("no repeat") lays every photo exactly once.
   * @param {{w: number, h: number, scale?: string, density?: number, densityRaw?: number,
   *   noRepeat?: boolean, photoCount: number, starred?: number[], emphasis?: string}} options
   *   `starred` holds photo indexes in priority order; `emphasis` is the
   *   "Emphasize favorites" mode
   * @returns {{placements: Placement[], favourites: Placement[], emphasisFactor: number}}
   */
  function placeAll(options) {
    const o = options || { w: 0, h: 0, photoCount: 0 };
    const photoCount = countOf(o.photoCount);
    const all = Array.from({ length: photoCount }, (_, i) => i);
    const starred = [...new Set(Array.isArray(o.starred) ? o.starred : [])]
      .filter((i) => Number.isInteger(i) && i >= 0 && i < photoCount);
    const laid = o.noRepeat ? starred : starred.slice(0, featuredCountFor(o.scale));
    const others = all.filter((i) => !laid.includes(i));
    /** @type {Placement[]} */
    let placements;
    if (o.noRepeat) {
      shuffle(others);
      placements = scatter(o.w, o.h, others.length, o.scale, true, o.densityRaw);
      placements.forEach((p, i) => { p.photoIndex = others[i]; });
    } else {
      const background = others.length ? others : all;
      placements = generate(o.w, o.h, background.length, o.scale, o.density);
      for (const p of placements) p.photoIndex = background[p.photoIndex];
    }
    const factor = emphasisFactor(laid.length, o.emphasis);
    const favourites = placeFeatured(o.w, o.h, laid.length, o.scale, factor)
      .map((p, i) => ({ ...p, photoIndex: laid[i], featured: true }))
      .reverse();
    return { placements, favourites, emphasisFactor: factor };
  }

  /**
   * Adapts a pile to the photos that decoded. Scattered mode drops prints
   * whose photo is missing; covering mode gives them a random photo that
   * decoded, so the canvas stays covered. Starred prints whose photo is
   * missing are dropped in both. ☆1, when laid, is the last entry.
   * @param {Placement[]} placements
   * @param {Placement[]} favourites
   * @param {(photoIndex: number) => boolean} decoded
   * @param {boolean} noRepeat
   * @returns {{drawList: Placement[], favourites: Placement[], spotlightIndex: number}}
   */
  function finalizeDrawList(placements, favourites, decoded, noRepeat) {
    const listOf = (/** @type {any} */ v) => (Array.isArray(v) ? v.filter((p) => p && typeof p === 'object') : []);
    const ordinary = listOf(placements);
    const starred = listOf(favourites);
    const ok = typeof decoded === 'function' ? decoded : () => false;
    const usable = [...new Set([...ordinary, ...starred].map((p) => p.photoIndex))].filter(ok);
    const kept = noRepeat
      ? ordinary.filter((p) => ok(p.photoIndex))
      : ordinary.map((p) => (ok(p.photoIndex) || usable.length === 0 ? p
        : { ...p, photoIndex: usable[Math.floor(random() * usable.length)] }));
    const stars = starred.filter((p) => ok(p.photoIndex));
    const drawList = kept.concat(stars);
    return { drawList, favourites: stars, spotlightIndex: stars.length ? drawList.length - 1 : -1 };
  }

  /**
   * Density slider (−100 … +100) → cell density of the covering layout.
   * @param {any} slider
   * @returns {number} 0.5 … 1.8
   */
  function coveringDensity(slider) {
    const v = sliderValue(slider);
    return v >= 0 ? 1 + v / 100 * 0.8 : 1 + v / 100 * 0.5;
  }

  /**
   * Density slider → spread of the scattered layout.
   * @param {any} slider
   * @returns {number} −1 … +1
   */
  function scatterDensity(slider) {
    return sliderValue(slider) / 100;
  }

  /** @param {any} slider @returns {number} −100 … +100; empty or bad counts as 0 */
  function sliderValue(slider) {
    const v = slider === '' || slider == null ? 0 : Number(slider);
    return Number.isFinite(v) ? Math.max(-100, Math.min(100, v)) : 0;
  }

  /**
   * A stored layout reused at another canvas size. x and both print sides
   * scale with the width, y with the height, so prints keep their shape;
   * entries whose photo index no longer exists are dropped.
   * @param {any} saved {w, h, drawList}
   * @param {number} W new width
   * @param {number} H new height
   * @param {number} photoCount photos now in the pile
   * @returns {{placements: Placement[], favourites: Placement[]}}
   */
  function restoreLayout(saved, W, H, photoCount) {
    const placements = [];
    const favourites = [];
    const list = saved && Array.isArray(saved.drawList) ? saved.drawList : [];
    const ratio = (/** @type {number} */ now, /** @type {any} */ then) =>
      length(then) > 0 && length(now) > 0 ? now / then : 1;
    const sx = ratio(W, saved && saved.w);
    const sy = ratio(H, saved && saved.h);
    const photos = countOf(photoCount);
    for (const e of list) {
      if (!e || typeof e !== 'object') continue;
      if (!Number.isInteger(e.photoIndex) || e.photoIndex < 0 || e.photoIndex >= photos) continue;
      const entry = {
        ...e,
        x: Number(e.x) * sx, y: Number(e.y) * sy,
        outerW: Number(e.outerW) * sx, outerH: Number(e.outerH) * sx, rot: Number(e.rot),
      };
      if (![entry.x, entry.y, entry.outerW, entry.outerH, entry.rot].every(Number.isFinite)) continue;
      (e.featured ? favourites : placements).push(entry);
    }
    return { placements, favourites };
  }

  window.TY = window.TY || /** @type {Tessary.Namespace} */ ({});
  window.TY.layout = {
    FRAME, OUTER_W_RATIO, OUTER_H_RATIO,
    grid, generate, scatter, placeFeatured, shuffle, buildAssignment,
    featuredCountFor, emphasisFactor, coveringDensity, scatterDensity,
    placeAll, finalizeDrawList, restoreLayout, random, useRandom,
  };
})();
