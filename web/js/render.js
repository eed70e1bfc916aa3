// Drawing of the pile: washi tapes, photo cards in every frame style, desk
// backgrounds, the still picture and its title. Drawing functions take a 2D
// context and return nothing; bad style keys fall back to their defaults and
// missing or released photos are skipped, so a drawing never throws for them.
//
// Contents:
//   colours and seeded randomness · washi tapes and their patterns · photo filters · photos in
//   prints and in cells · photo cards · backgrounds · still picture and title · play data and
//   motions · paper exits
(function () {
  'use strict';

  /**
   * @typedef {CanvasRenderingContext2D} Ctx
   * @typedef {{ja: string, en: string}} Label
   * @typedef {{x: number, y: number, rot: number, outerW: number, outerH: number,
   *   photoIndex: number, featured?: boolean, paperLift?: number, tapePattern?: string, inAir?: boolean}} Placement
   * @typedef {{font?: string, size?: string}} CaptionCfg
   * @typedef {{x: number, y: number, w: number, h: number}} Box
   * @typedef {{x0: number, y0: number, x1: number, y1: number}} Area
   */

  const OUTER_W_RATIO = 1.14;
  const FULL_HD_AREA = 1920 * 1080;

  const hasOwn = (/** @type {object} */ o, /** @type {any} */ k) =>
    typeof k === 'string' && Object.prototype.hasOwnProperty.call(o, k);

  /** @param {any[]} values */
  const allFinite = (...values) => values.every((v) => typeof v === 'number' && Number.isFinite(v));

  // Where the page's pictures and fonts live: next to the scripts' folder,
  // whichever page (generator, player, test page) loaded this script.
  const ASSET_BASE = (() => {
    try {
      const script = /** @type {HTMLScriptElement|null} */ (window.document && window.document.currentScript);
      if (script && script.src) return new URL('../assets/', script.src).href;
    } catch { /* no document: relative paths */ }
    return 'assets/';
  })();

  // ================================================================ colours and seeded randomness

  /**
   * The mulberry32 generator: decorations that must look the same on every
   * redraw draw from it.
   * @param {number} seed
   * @returns {() => number} uniform in [0, 1)
   */
  function mulberry32(seed) {
    let a = seed >>> 0;
    return function () {
      a = (a + 0x6d2b79f5) >>> 0;
      let t = Math.imul(a ^ (a >>> 15), a | 1);
      t = (t + Math.imul(t ^ (t >>> 7), t | 61)) ^ t;
      return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
  }

  /** The procedural backgrounds draw from the layouts' source: new each time, unless seeded. */
  const pileRandom = () => window.TY.layout.random();

  /**
   * "#rrggbb" for a "#rrggbb", "#rgb" or "rgb(…)" colour; "#888888" when unparsable.
   * @param {any} color
   * @returns {string}
   */
  function colorToHex(color) {
    const text = typeof color === 'string' ? color.trim() : '';
    if (/^#[0-9a-f]{6}$/i.test(text)) return text.toLowerCase();
    if (/^#[0-9a-f]{3}$/i.test(text)) return '#' + [...text.slice(1)].map((c) => c + c).join('').toLowerCase();
    const m = /^rgba?\(\s*([\d.]+)\s*,\s*([\d.]+)\s*,\s*([\d.]+)/i.exec(text);
    if (!m) return '#888888';
    const hex = (/** @type {string} */ v) => Math.min(255, Math.round(Number(v))).toString(16).padStart(2, '0');
    return '#' + hex(m[1]) + hex(m[2]) + hex(m[3]);
  }

  /**
   * A colour darkened (f < 1) or brightened (f > 1), as rgb(r,g,b).
   * @param {string} color
   * @param {number} f
   */
  function shade(color, f) {
    const hex = colorToHex(color);
    const ch = (/** @type {number} */ i) => Math.min(255, Math.trunc(parseInt(hex.slice(i, i + 2), 16) * f));
    return 'rgb(' + ch(1) + ',' + ch(3) + ',' + ch(5) + ')';
  }

  /**
   * Relative brightness of a "#rrggbb" colour in 0 … 1; anything else counts as bright.
   * @param {any} color
   */
  function hexLuminance(color) {
    if (typeof color !== 'string' || !/^#[0-9a-f]{6}$/i.test(color)) return 1;
    const v = (/** @type {number} */ i) => parseInt(color.slice(i, i + 2), 16);
    return (0.2126 * v(1) + 0.7152 * v(3) + 0.0722 * v(5)) / 255;
  }

  /** @param {any[]} list @param {any} index the entry at index mod length; negative counts as 0 */
  function cycle(list, index) {
    const i = Number.isInteger(index) && index > 0 ? index : 0;
    return list[i % list.length];
  }

  /** @param {Ctx} ctx */
  function shadowOff(ctx) {
    ctx.shadowColor = 'rgba(0,0,0,0)';
    ctx.shadowBlur = 0;
  }

  /**
   * A drawing surface of the given size: a document canvas where there is a
   * document (the only kind every engine filters and reads back alike).
   * @param {number} w
   * @param {number} h
   * @returns {HTMLCanvasElement|OffscreenCanvas}
   */
  function makeSurface(w, h) {
    if (window.document && typeof window.document.createElement === 'function') {
      const c = window.document.createElement('canvas');
      c.width = w;
      c.height = h;
      return c;
    }
    return new OffscreenCanvas(w, h);
  }

  // ================================================================ washi tapes and their patterns

  const TAPE_COLORS = [
    'rgba(250,238,180,0.62)', 'rgba(200,230,240,0.60)',
    'rgba(245,205,215,0.60)', 'rgba(214,238,205,0.60)',
  ];
  const TAPE_EDGE = 'rgba(120,110,80,0.25)';
  const TAPE_TEETH = 6;

  /** @param {Ctx} ctx @param {number} x @param {number} y @param {number} r @param {string} color */
  function disc(ctx, x, y, r, color) {
    ctx.fillStyle = color;
    ctx.beginPath();
    ctx.arc(x, y, r, 0, Math.PI * 2);
    ctx.fill();
  }

  /** @param {Ctx} ctx @param {number} w @param {number} h */
  function drawFuji(ctx, w, h) {
    const b = w / 4;
    const base = 0.44 * h;
    const peak = -0.36 * h;
    const d = base - peak;
    for (let i = 0; i < 4; i++) {
      const cx = -w / 2 + b * (i + 0.5);
      const hw = 0.48 * b;
      const tp = 0.20 * hw;
      ctx.fillStyle = '#3f6ea8';
      ctx.beginPath();
      ctx.moveTo(cx - hw, base);
      ctx.quadraticCurveTo(cx - 0.52 * hw, base - 0.42 * d, cx - tp, peak);
      ctx.lineTo(cx + tp, peak);
      ctx.quadraticCurveTo(cx + 0.52 * hw, base - 0.42 * d, cx + hw, base);
      ctx.closePath();
      ctx.fill();
      const sy = base - 0.60 * d;
      ctx.fillStyle = '#f7fbff';
      ctx.beginPath();
      ctx.moveTo(cx - 0.34 * hw, sy);
      ctx.quadraticCurveTo(cx - 0.26 * hw, base - 0.80 * d, cx - tp, peak);
      ctx.lineTo(cx + tp, peak);
      ctx.quadraticCurveTo(cx + 0.26 * hw, base - 0.80 * d, cx + 0.34 * hw, sy);
      ctx.lineTo(cx + 0.14 * hw, sy - 0.03 * h);
      ctx.lineTo(cx - 0.02 * hw, sy + 0.02 * h);
      ctx.lineTo(cx - 0.18 * hw, sy - 0.02 * h);
      ctx.closePath();
      ctx.fill();
    }
  }

  /**
   * One sunflower: two rows of pointed petals that close up round the centre.
   * @param {Ctx} ctx @param {number} x @param {number} y @param {number} rc centre radius @param {number} turn
   */
  function sunflower(ctx, x, y, rc, turn) {
    const PETALS = 18;
    const pitch = Math.PI * 2 / PETALS;
    const q = pitch * rc * 0.95;
    ctx.save();
    ctx.translate(x, y);
    ctx.rotate(turn);
    for (const [offset, color] of [[pitch / 2, '#dd9214'], [0, '#f6b62a']]) {
      ctx.fillStyle = /** @type {string} */ (color);
      for (let k = 0; k < PETALS; k++) {
        ctx.save();
        ctx.rotate(/** @type {number} */ (offset) + k * pitch);
        ctx.beginPath();
        ctx.moveTo(0, -0.85 * rc);
        ctx.quadraticCurveTo(-q, -1.9 * rc, 0, -3 * rc);
        ctx.quadraticCurveTo(q, -1.9 * rc, 0, -0.85 * rc);
        ctx.fill();
        ctx.restore();
      }
    }
    disc(ctx, 0, 0, rc, '#7a4d22');
    disc(ctx, 0, 0, 0.62 * rc, 'rgba(84,51,21,0.55)');
    ctx.restore();
  }

  /** @param {Ctx} ctx @param {number} w @param {number} h */
  function drawSunflowers(ctx, w, h) {
    const random = mulberry32(23);
    for (const t of [-0.34, 0, 0.34]) {
      const y = (random() - 0.5) * 0.08 * h;
      sunflower(ctx, -w / 2 + w * (t + 0.5), y, 0.125 * h, random() * 0.9);
    }
    const small = [[-0.50, -0.26], [-0.17, 0.26], [0.17, -0.26], [0.50, 0.26]];
    for (const [t, y] of small) sunflower(ctx, -w / 2 + w * (t + 0.5), y * h, 0.072 * h, random() * 0.9);
  }

  /** @param {Ctx} ctx @param {number} w @param {number} h */
  function drawSakura(ctx, w, h) {
    const random = mulberry32(3);
    [-0.36, -0.12, 0.12, 0.36].forEach((t, n) => {
      const R = h * (0.30 + (random() - 0.5) * 0.03);
      const turn = random() * 6;
      ctx.save();
      ctx.translate(-w / 2 + w * (t + 0.5), (n % 2 === 0 ? -0.13 : 0.13) * h);
      ctx.rotate(turn);
      ctx.fillStyle = '#e8709c';
      ctx.strokeStyle = 'rgba(255,255,255,0.85)';
      ctx.lineWidth = Math.max(0.6, 0.09 * R);
      for (let k = 0; k < 5; k++) {
        ctx.save();
        ctx.rotate(k * Math.PI * 2 / 5);
        ctx.beginPath();
        ctx.moveTo(0, -0.14 * R);
        ctx.quadraticCurveTo(-0.46 * R, -0.55 * R, -0.1564 * R, -R);
        ctx.quadraticCurveTo(0, -0.86 * R, 0.1564 * R, -R);
        ctx.quadraticCurveTo(0.46 * R, -0.55 * R, 0, -0.14 * R);
        ctx.fill();
        ctx.stroke();
        ctx.restore();
      }
      disc(ctx, 0, 0, 0.17 * R, '#fff0a8');
      ctx.restore();
    });
  }

  /** @param {Ctx} ctx @param {number} w @param {number} h */
  function drawStars(ctx, w, h) {
    const random = mulberry32(11);
    for (let i = 0; i < 34; i++) {
      const x = -w / 2 + random() * w;
      const y = -h / 2 + random() * h;
      const m = h * (0.03 + random() * 0.09);
      ctx.fillStyle = 'rgba(255,250,225,' + (0.55 + random() * 0.45) + ')';
      if (random() < 0.32) {
        const outer = 2.1 * m;
        ctx.beginPath();
        for (let p = 0; p < 10; p++) {
          const r = p % 2 === 0 ? outer : 0.42 * outer;
          const a = -Math.PI / 2 + p * Math.PI / 5;
          ctx.lineTo(x + Math.cos(a) * r, y + Math.sin(a) * r);
        }
        ctx.closePath();
        ctx.fill();
      } else {
        disc(ctx, x, y, m, /** @type {string} */ (ctx.fillStyle));
      }
    }
  }

  /** @param {Ctx} ctx @param {number} w @param {number} h */
  function drawShinkansen(ctx, w, h) {
    // The bands run past the torn ends; the clip trims them.
    ctx.fillStyle = '#123c78';
    ctx.fillRect(-w, 0.06 * h, 2 * w, 0.30 * h);
    ctx.fillStyle = '#e8622a';
    ctx.fillRect(-w, -0.02 * h, 2 * w, 0.07 * h);
    ctx.fillStyle = 'rgba(60,80,110,0.35)';
    for (let i = 0; i < 12; i++) {
      const cx = -w / 2 + w * (i + 0.5) / 12;
      ctx.fillRect(cx - 0.018 * w, -0.30 * h, 0.036 * w, 0.16 * h);
    }
  }

  /** @param {Ctx} ctx @param {number} w @param {number} h */
  function drawDots(ctx, w, h) {
    const colors = ['#e0896f', '#7fb0c9', '#d8b45c'];
    for (let i = 0; i < 16; i++) {
      disc(ctx, -w / 2 + w * (i + 0.5) / 16, (i % 2 === 0 ? 0.16 : -0.16) * h, 0.15 * h, colors[i % 3]);
    }
  }

  /** @type {Record<string, {label: Label, ground: string, draw: (ctx: Ctx, w: number, h: number) => void}>} */
  const TAPE_PATTERNS = {
    fuji: { label: { ja: '富士山', en: 'Mt. Fuji' }, ground: 'rgba(214,232,244,0.88)', draw: drawFuji },
    sunflower: { label: { ja: 'ひまわり', en: 'Sunflower' }, ground: 'rgba(252,240,200,0.88)', draw: drawSunflowers },
    sakura: { label: { ja: '桜', en: 'Cherry blossom' }, ground: 'rgba(250,225,232,0.86)', draw: drawSakura },
    stars: { label: { ja: '星空', en: 'Starry sky' }, ground: 'rgba(38,48,88,0.90)', draw: drawStars },
    shinkansen: { label: { ja: '新幹線', en: 'Bullet train' }, ground: 'rgba(248,250,252,0.92)', draw: drawShinkansen },
    dots: { label: { ja: '水玉', en: 'Polka dots' }, ground: 'rgba(252,244,228,0.88)', draw: drawDots },
  };
  const TAPE_PATTERN_KEYS = Object.keys(TAPE_PATTERNS);

  /**
   * Corner points of a tape with torn short ends, six teeth per end.
   * @param {number} tw @param {() => number} random
   */
  function tornTapePoints(tw, random) {
    const left = [];
    const right = [];
    for (let k = 0; k <= TAPE_TEETH; k++) {
      left.push(-tw / 2 + (random() - 0.35) * 0.1 * tw);
      right.push(tw / 2 - (random() - 0.35) * 0.1 * tw);
    }
    return { left, right };
  }

  /** @param {Ctx} ctx @param {{left: number[], right: number[]}} pts @param {number} th */
  function traceTape(ctx, pts, th) {
    const yAt = (/** @type {number} */ k) => -th / 2 + th * k / TAPE_TEETH;
    ctx.beginPath();
    ctx.moveTo(pts.left[0], yAt(0));
    for (let k = 0; k <= TAPE_TEETH; k++) ctx.lineTo(pts.right[k], yAt(k));
    for (let k = TAPE_TEETH; k >= 1; k--) ctx.lineTo(pts.left[k], yAt(k));
    ctx.closePath();
  }

  /**
   * Makes the current path the outline of a tape centred on the origin.
   * @param {Ctx} ctx @param {number} tw @param {number} th @param {() => number} random
   */
  function tornTapePath(ctx, tw, th, random) {
    traceTape(ctx, tornTapePoints(tw, random), th);
  }

  /**
   * @param {any} pattern a pattern key, "auto", "none" or nothing
   * @param {number} photoIndex
   * @returns {string|null} the pattern key to paint, or null for a plain tape
   */
  function resolveTapePattern(pattern, photoIndex) {
    if (pattern === 'auto') return TAPE_PATTERN_KEYS[photoIndex % TAPE_PATTERN_KEYS.length];
    return hasOwn(TAPE_PATTERNS, pattern) ? pattern : null;
  }

  /**
   * Paints one tape centred on the origin of the current transform.
   * @param {Ctx} ctx
   * @param {number} tw length
   * @param {number} th width
   * @param {(() => number)|null} [random] torn-edge sequence; seed 42 when absent
   * @param {number} [photoIndex] picks the plain colour and the `auto` pattern
   * @param {string} [pattern]
   * @param {number} [edgeWidth]
   */
  function paintTape(ctx, tw, th, random, photoIndex, pattern, edgeWidth) {
    if (!allFinite(tw, th) || tw <= 0 || th <= 0) return;
    const index = Number.isInteger(photoIndex) && photoIndex > 0 ? photoIndex : 0;
    const pts = tornTapePoints(tw, typeof random === 'function' ? random : mulberry32(42));
    const key = resolveTapePattern(pattern, index);
    ctx.save();
    shadowOff(ctx);
    traceTape(ctx, pts, th);
    if (key) {
      const p = TAPE_PATTERNS[key];
      ctx.save();
      ctx.clip();
      ctx.fillStyle = p.ground;
      ctx.fillRect(-tw, -th, 2 * tw, 2 * th);
      p.draw(ctx, tw, th);
      ctx.restore();
      traceTape(ctx, pts, th);
    } else {
      ctx.fillStyle = cycle(TAPE_COLORS, index);
      ctx.fill();
    }
    ctx.strokeStyle = TAPE_EDGE;
    ctx.lineWidth = allFinite(edgeWidth) && edgeWidth > 0 ? edgeWidth : 1;
    ctx.stroke();
    ctx.restore();
  }

  // ================================================================ photo filters
  // Baked once per image into a cached copy.

  /** @type {Record<string, {filter: string, label: Label|null}>} */
  const PHOTO_FILTERS = {
    none: { filter: '', label: { ja: 'なし（標準）', en: 'None (default)' } },
    mono: { filter: 'grayscale(1) contrast(1.06)', label: { ja: 'モノクロ', en: 'Monochrome' } },
    sepia: { filter: 'sepia(0.62) contrast(0.96)', label: { ja: 'セピア', en: 'Sepia' } },
    retro: {
      filter: 'sepia(0.32) saturate(0.72) contrast(0.9) brightness(1.06)',
      label: { ja: 'レトロ（退色）', en: 'Retro (faded)' },
    },
    cool: { filter: 'saturate(0.92) hue-rotate(-10deg) brightness(1.02)', label: { ja: 'クール', en: 'Cool' } },
    warm: { filter: 'saturate(1.12) sepia(0.16) brightness(1.03)', label: { ja: 'ウォーム', en: 'Warm' } },
    stardim: { filter: 'grayscale(1) brightness(1.12) contrast(0.88)', label: null },
  };
  const VINTAGE_FILTER = 'sepia(0.55) contrast(0.92) brightness(1.03)';
  const FILTERS_PER_IMAGE = 2;

  /** @param {any} key @returns {string} the filter chain of a key; "" for none or unknown keys */
  function filterString(key) {
    return hasOwn(PHOTO_FILTERS, key) ? PHOTO_FILTERS[key].filter : '';
  }

  /**
   * One filter function as an affine colour map on 0 … 255 channels:
   * 3 × 3 matrix `m` (row-major) plus offset `o`, as the Filter Effects
   * standard defines the shorthand functions.
   * @param {string} name
   * @param {number} v amount (radians for hue-rotate)
   * @returns {{m: number[], o: number}|null}
   */
  function filterStep(name, v) {
    const unit = (/** @type {number} */ x) => Math.max(0, Math.min(1, x));
    switch (name) {
      case 'grayscale': {
        const k = 1 - unit(v);
        return { m: [
          0.2126 + 0.7874 * k, 0.7152 - 0.7152 * k, 0.0722 - 0.0722 * k,
          0.2126 - 0.2126 * k, 0.7152 + 0.2848 * k, 0.0722 - 0.0722 * k,
          0.2126 - 0.2126 * k, 0.7152 - 0.7152 * k, 0.0722 + 0.9278 * k], o: 0 };
      }
      case 'sepia': {
        const k = 1 - unit(v);
        return { m: [
          0.393 + 0.607 * k, 0.769 - 0.769 * k, 0.189 - 0.189 * k,
          0.349 - 0.349 * k, 0.686 + 0.314 * k, 0.168 - 0.168 * k,
          0.272 - 0.272 * k, 0.534 - 0.534 * k, 0.131 + 0.869 * k], o: 0 };
      }
      case 'saturate': {
        const s = Math.max(0, v);
        return { m: [
          0.213 + 0.787 * s, 0.715 - 0.715 * s, 0.072 - 0.072 * s,
          0.213 - 0.213 * s, 0.715 + 0.285 * s, 0.072 - 0.072 * s,
          0.213 - 0.213 * s, 0.715 - 0.715 * s, 0.072 + 0.928 * s], o: 0 };
      }
      case 'hue-rotate': {
        const c = Math.cos(v);
        const s = Math.sin(v);
        return { m: [
          0.213 + c * 0.787 - s * 0.213, 0.715 - c * 0.715 - s * 0.715, 0.072 - c * 0.072 + s * 0.928,
          0.213 - c * 0.213 + s * 0.143, 0.715 + c * 0.285 + s * 0.140, 0.072 - c * 0.072 - s * 0.283,
          0.213 - c * 0.213 - s * 0.787, 0.715 - c * 0.715 + s * 0.715, 0.072 + c * 0.928 + s * 0.072], o: 0 };
      }
      case 'brightness': {
        const b = Math.max(0, v);
        return { m: [b, 0, 0, 0, b, 0, 0, 0, b], o: 0 };
      }
      case 'contrast': {
        const c = Math.max(0, v);
        return { m: [c, 0, 0, 0, c, 0, 0, 0, c], o: (0.5 - 0.5 * c) * 255 };
      }
      default:
        return null;
    }
  }

  /**
   * Parses a filter chain such as "sepia(0.62) contrast(96%)" into steps;
   * functions it does not know are left out.
   * @param {string} chain
   */
  function parseFilterChain(chain) {
    const steps = [];
    const re = /([a-z-]+)\(\s*(-?[\d.]+)\s*(%|deg|rad|turn)?\s*\)/g;
    let m;
    while ((m = re.exec(chain)) !== null) {
      let v = Number(m[2]);
      if (m[3] === '%') v /= 100;
      else if (m[3] === 'deg') v = v * Math.PI / 180;
      else if (m[3] === 'turn') v *= Math.PI * 2;
      const step = Number.isFinite(v) ? filterStep(m[1], v) : null;
      if (step) steps.push(step);
    }
    return steps;
  }

  /**
   * Applies a filter chain to RGBA pixels in place, each function in turn and
   * clamped after each, so every engine gives the same picture.
   * @param {Uint8ClampedArray} data
   * @param {string} chain
   */
  function applyFilterChain(data, chain) {
    const steps = parseFilterChain(chain);
    if (steps.length === 0) return;
    // Channels stay unrounded between the steps, as in a floating-point pipeline.
    const rgb = new Float32Array((data.length / 4) * 3);
    for (let i = 0, j = 0; i < data.length; i += 4, j += 3) {
      rgb[j] = data[i];
      rgb[j + 1] = data[i + 1];
      rgb[j + 2] = data[i + 2];
    }
    for (const { m, o } of steps) {
      const [m0, m1, m2, m3, m4, m5, m6, m7, m8] = m;
      for (let j = 0; j < rgb.length; j += 3) {
        const r = rgb[j];
        const g = rgb[j + 1];
        const b = rgb[j + 2];
        const nr = m0 * r + m1 * g + m2 * b + o;
        const ng = m3 * r + m4 * g + m5 * b + o;
        const nb = m6 * r + m7 * g + m8 * b + o;
        rgb[j] = nr < 0 ? 0 : nr > 255 ? 255 : nr;
        rgb[j + 1] = ng < 0 ? 0 : ng > 255 ? 255 : ng;
        rgb[j + 2] = nb < 0 ? 0 : nb > 255 ? 255 : nb;
      }
    }
    for (let i = 0, j = 0; i < data.length; i += 4, j += 3) {
      data[i] = rgb[j];
      data[i + 1] = rgb[j + 1];
      data[i + 2] = rgb[j + 2];
    }
  }

  /** Filtered copies by image, each a map from filter chain to copy. */
  const filteredCache = new WeakMap();

  /** @param {any} image @returns {{w: number, h: number}} */
  function imageSize(image) {
    if (!image) return { w: 0, h: 0 };
    // An image element's own width may be set while its picture failed to load.
    if ('naturalWidth' in image) return { w: Number(image.naturalWidth) || 0, h: Number(image.naturalHeight) || 0 };
    if ('videoWidth' in image) return { w: Number(image.videoWidth) || 0, h: Number(image.videoHeight) || 0 };
    return { w: Number(image.width) || 0, h: Number(image.height) || 0 };
  }

  /** True when the image exists and has a size: released images have none. @param {any} image */
  function usableBitmap(image) {
    if (!image || typeof image !== 'object') return false;
    const { w, h } = imageSize(image);
    return w > 0 && h > 0;
  }

  /**
   * A copy of the whole image with the filter chain baked in.
   * @param {CanvasImageSource} image @param {string} chain
   */
  function bakeFilter(image, chain) {
    const { w, h } = imageSize(image);
    const surface = makeSurface(w, h);
    const ctx = /** @type {Ctx} */ (surface.getContext('2d', { willReadFrequently: true }));
    ctx.drawImage(image, 0, 0, w, h);
    try {
      const pixels = ctx.getImageData(0, 0, w, h);
      applyFilterChain(pixels.data, chain);
      ctx.putImageData(pixels, 0, 0);
    } catch {
      // A picture from another origin cannot be read back; the engine's own
      // filter is the best that is left.
      ctx.clearRect(0, 0, w, h);
      ctx.filter = chain;
      ctx.drawImage(image, 0, 0, w, h);
      ctx.filter = 'none';
    }
    return surface;
  }

  /**
   * The image with the filter chain applied, from the cache when it was made before.
   * @param {any} image
   * @param {string} chain
   * @returns {CanvasImageSource}
   */
  function filteredSource(image, chain) {
    if (!chain) return image;
    let entry = filteredCache.get(image);
    if (!entry) {
      entry = new Map();
      filteredCache.set(image, entry);
    }
    let copy = entry.get(chain);
    if (!copy) {
      if (entry.size >= FILTERS_PER_IMAGE) entry.clear();
      copy = bakeFilter(image, chain);
      entry.set(chain, copy);
    }
    return copy;
  }

  // ================================================================ photos in prints and in cells

  const PHOTO_EDGE = 'rgba(40, 35, 28, 0.12)';

  /**
   * Photos of prints in the air, filtered and reduced once to the size they
   * are drawn at, by picture: each frame then samples one pixel for pixel.
   * The pictures decoded for a still are often several times larger than
   * the prints of a big pile, and the engine reduces a picture again for
   * every draw once it no longer keeps its reduced copies, which made a
   * 4K drop frame about 40 % slower. Kept by picture, then by filter and size;
   * photos no frame drew since the last sweep are let go.
   * @type {Map<any, Map<string, {surface: any, used: boolean}>>}
   */
  const airPhotos = new Map();

  /** The photo's centred square, filtered, as a size × size surface kept while it is drawn. @param {any} image @param {string} chain @param {number} size */
  function airPhoto(image, chain, size) {
    const n = Math.max(1, Math.ceil(size));
    const key = chain + '|' + n;
    let sizes = airPhotos.get(image);
    if (!sizes) airPhotos.set(image, (sizes = new Map()));
    let kept = sizes.get(key);
    if (!kept) {
      const surface = makeSurface(n, n);
      const sctx = /** @type {Ctx} */ (surface.getContext('2d'));
      const { w, h } = imageSize(image);
      const side = Math.min(w, h);
      sctx.imageSmoothingEnabled = true;
      sctx.imageSmoothingQuality = 'high';
      sctx.drawImage(filteredSource(image, chain), (w - side) / 2, (h - side) / 2, side, side, 0, 0, n, n);
      kept = { surface, used: true };
      sizes.set(key, kept);
    }
    kept.used = true;
    return kept.surface;
  }

  /** Lets go of the photos in the air that were not drawn since the last sweep. */
  function sweepAirPhotos() {
    for (const [image, sizes] of airPhotos) {
      for (const [key, kept] of sizes) {
        if (kept.used) kept.used = false;
        else {
          kept.surface.width = 0;
          sizes.delete(key);
        }
      }
      if (!sizes.size) airPhotos.delete(image);
    }
  }

  /**
   * The centred square of the photo, filtered, with a thin paper edge round it.
   * @param {Ctx} ctx @param {any} image @param {number} x @param {number} y
   * @param {number} size @param {string} chain @param {boolean} [inAir] drawn again on the next frame
   */
  function photoAt(ctx, image, x, y, size, chain, inAir) {
    if (!usableBitmap(image)) return;
    if (inAir) ctx.drawImage(airPhoto(image, chain, size), x, y, size, size);
    else {
      const { w, h } = imageSize(image);
      const side = Math.min(w, h);
      ctx.drawImage(filteredSource(image, chain), (w - side) / 2, (h - side) / 2, side, side, x, y, size, size);
    }
    ctx.strokeStyle = PHOTO_EDGE;
    ctx.lineWidth = Math.max(1, 0.004 * size);
    ctx.strokeRect(x, y, size, size);
  }

  /**
   * The rectangle a photo covers in a cell: the whole cell when cropped (or
   * when there is no photo), else the centred letterbox.
   * @param {any} image @param {number} x @param {number} y @param {number} w @param {number} h
   * @param {string} mode "crop" or "fit"
   * @returns {Box}
   */
  function photoCellRect(image, x, y, w, h, mode) {
    if (mode === 'crop' || !usableBitmap(image)) return { x, y, w, h };
    const size = imageSize(image);
    const scale = Math.min(w / size.w, h / size.h);
    const dw = size.w * scale;
    const dh = size.h * scale;
    return { x: x + (w - dw) / 2, y: y + (h - dh) / 2, w: dw, h: dh };
  }

  /**
   * Draws a photo into a rectangle: `crop` fills it with the photo's centre,
   * any other mode fits the whole photo inside.
   * @param {Ctx} ctx @param {any} image @param {number} x @param {number} y
   * @param {number} w @param {number} h @param {string} filterKey @param {string} mode
   */
  function photoInCell(ctx, image, x, y, w, h, filterKey, mode) {
    if (!usableBitmap(image) || !allFinite(x, y, w, h) || w <= 0 || h <= 0) return;
    const source = filteredSource(image, filterString(filterKey));
    const size = imageSize(image);
    if (mode === 'crop') {
      const scale = Math.max(w / size.w, h / size.h);
      const sw = w / scale;
      const sh = h / scale;
      ctx.drawImage(source, (size.w - sw) / 2, (size.h - sh) / 2, sw, sh, x, y, w, h);
    } else {
      const r = photoCellRect(image, x, y, w, h, mode);
      ctx.drawImage(source, 0, 0, size.w, size.h, r.x, r.y, r.w, r.h);
    }
  }

  // ================================================================ photo cards
  // Paper, shadow, photo, frame decoration, caption.

  const PAPER = '#fefcf8';
  const STAMP_PAPER = '#fdf9ef';
  const VINTAGE_PAPER = '#f0e6cd';
  const PAPER_EDGE = 'rgba(60, 50, 40, 0.10)';
  const STAR_DIM_ALPHA = 0.5;
  const PIN_COLORS = ['#d9463e', '#3a76c4', '#e8a812', '#4d9a56', '#e0709e'];
  const MAGNET_COLORS = ['#e23b32', '#2f6fd0', '#f2b011', '#3f9d47', '#ec6f9e'];
  const CAPTION_COLOR = 'rgba(66, 56, 46, 0.88)';
  const CAPTION_MIN_STRIP = 0.07;

  /** @type {Record<string, {families: string, label: Label, file?: string, family?: string}>} */
  const CAPTION_FONTS = {
    gothic: { families: '"Yu Gothic UI", "Meiryo", sans-serif', label: { ja: 'ゴシック', en: 'Gothic' } },
    meiryo: { families: '"Meiryo", "Yu Gothic UI", sans-serif', label: { ja: 'メイリオ', en: 'Meiryo' } },
    mincho: { families: '"Yu Mincho", "MS PMincho", serif', label: { ja: '明朝', en: 'Mincho' } },
    yomogi: {
      families: '"Yomogi", "Yu Gothic UI", sans-serif', family: 'Yomogi', file: 'Yomogi-Regular.ttf',
      label: { ja: 'よもぎ（ペン）', en: 'Yomogi (pen)' },
    },
    yusei: {
      families: '"Yusei Magic", "Yu Gothic UI", sans-serif', family: 'Yusei Magic', file: 'YuseiMagic-Regular.ttf',
      label: { ja: '油性マジック（マーカー）', en: 'Yusei Magic (marker)' },
    },
    mochiy: {
      families: '"Mochiy Pop P One", "Yu Gothic UI", sans-serif', family: 'Mochiy Pop P One',
      file: 'MochiyPopPOne-Regular.ttf', label: { ja: 'もちぃポップ', en: 'Mochiy Pop' },
    },
    hachimaru: {
      families: '"Hachi Maru Pop", "Yu Gothic UI", sans-serif', family: 'Hachi Maru Pop',
      file: 'HachiMaruPop-Regular.ttf', label: { ja: 'はちまるポップ（丸文字）', en: 'Hachi Maru (round)' },
    },
  };
  const CAPTION_SIZES = { s: 0.055, m: 0.075, l: 0.095 };

  /**
   * Shadow under the paper: lying on the desk, or lifted by a paper exit.
   * Offsets are in canvas space, so every print is lit from the same side.
   * @param {Ctx} ctx @param {number} s picture side @param {any} lift
   */
  function setPaperShadow(ctx, s, lift) {
    const L = allFinite(lift) && lift > 0 ? Math.min(1, lift) : 0;
    if (L > 0) {
      ctx.shadowColor = 'rgba(30, 20, 10, ' + (0.24 - 0.10 * L) + ')';
      ctx.shadowBlur = (0.18 + 0.10 * L) * s;
      ctx.shadowOffsetX = (0.07 + 0.05 * L) * s;
      ctx.shadowOffsetY = (0.10 + 0.07 * L) * s;
    } else {
      ctx.shadowColor = DESK_SHADOW.color;
      ctx.shadowBlur = DESK_SHADOW.blur * s;
      ctx.shadowOffsetX = DESK_SHADOW.x * s;
      ctx.shadowOffsetY = DESK_SHADOW.y * s;
    }
  }

  const DESK_SHADOW = { color: 'rgba(30, 20, 10, 0.42)', blur: 0.10, x: 0.012, y: 0.035 };
  const SHADOW_SPRITES_KEPT = 12;
  /** @type {Map<string, {surface: any, cx: number, cy: number}>} blurred paper shapes, most recent last */
  const shadowSprites = new Map();

  /**
   * The shadow of a paper lying on the desk, blurred once and kept: a blur
   * costs far more than drawing the blurred picture, and every print of a
   * pile (and of each frame of its animation) has the same few sizes. A
   * Gaussian blur turns with its shape, so the kept shadow is drawn turned
   * with the card, at the offset the canvas would give it.
   * @param {string} shape "rect" or "stamp" @param {number} w @param {number} h @param {number} s
   * @returns {{surface: any, cx: number, cy: number}|null} the sprite and where the card's centre lies on it
   */
  function paperShadowSprite(shape, w, h, s) {
    const key = [shape, w.toFixed(2), h.toFixed(2), s.toFixed(2)].join('|');
    const kept = shadowSprites.get(key);
    if (kept) {
      shadowSprites.delete(key);
      shadowSprites.set(key, kept);
      return kept;
    }
    const blur = DESK_SHADOW.blur * s;
    const margin = Math.ceil(1.5 * blur) + 2;
    const surface = makeSurface(Math.ceil(w) + 2 * margin, Math.ceil(h) + 2 * margin);
    const sctx = /** @type {Ctx} */ (surface.getContext('2d'));
    if (!sctx) return null;
    // The shape itself lies beside the surface; only its shadow falls on it.
    const away = surface.width + 16;
    const sprite = { surface, cx: margin + w / 2, cy: margin + h / 2 };
    sctx.translate(sprite.cx - away, sprite.cy);
    sctx.shadowColor = DESK_SHADOW.color;
    sctx.shadowBlur = blur;
    sctx.shadowOffsetX = away;
    sctx.fillStyle = '#000';
    if (shape === 'stamp') {
      stampPath(sctx, w, h, 0.035 * s);
      sctx.fill();
    } else {
      sctx.fillRect(-w / 2, -h / 2, w, h);
    }
    shadowSprites.set(key, sprite);
    if (shadowSprites.size > SHADOW_SPRITES_KEPT) {
      const oldest = shadowSprites.keys().next().value;
      const gone = shadowSprites.get(oldest);
      shadowSprites.delete(oldest);
      if (gone) gone.surface.width = 0;
    }
    return sprite;
  }

  /**
   * Lays the paper's shadow, centred on the current origin. A paper on the
   * desk under a plain turn (no scaling: the canvas does not scale blur)
   * gets its kept shadow; anything else the canvas's own, which the caller
   * must turn off after drawing the paper. Returns whether it did that.
   * @param {Ctx} ctx @param {string} shape @param {number} w @param {number} h @param {number} s @param {any} lift
   * @returns {boolean} true when the canvas shadow is set
   */
  function layPaperShadow(ctx, shape, w, h, s, lift) {
    const m = typeof ctx.getTransform === 'function' && !(allFinite(lift) && lift > 0) ? ctx.getTransform() : null;
    const turn = m && Math.abs(m.a - m.d) < 1e-9 && Math.abs(m.b + m.c) < 1e-9 && Math.abs(m.a * m.a + m.b * m.b - 1) < 1e-9;
    const sprite = turn ? paperShadowSprite(shape, w, h, s) : null;
    if (!m || !sprite) {
      setPaperShadow(ctx, s, lift);
      return true;
    }
    // The canvas-space offset, seen from the turned card. The shadow is a
    // blur already: its nearest pixels draw it alike, and a turned copy
    // costs about half of one sampled between pixels.
    const ox = DESK_SHADOW.x * s;
    const oy = DESK_SHADOW.y * s;
    const smoothing = ctx.imageSmoothingEnabled;
    ctx.imageSmoothingEnabled = false;
    ctx.drawImage(sprite.surface, m.a * ox + m.b * oy - sprite.cx, m.a * oy - m.b * ox - sprite.cy);
    ctx.imageSmoothingEnabled = smoothing;
    return false;
  }

  /** @param {Ctx} ctx @param {number} w @param {number} h @param {number} s @param {string} color @param {any} lift */
  function plainPaper(ctx, w, h, s, color, lift) {
    const canvasShadow = layPaperShadow(ctx, 'rect', w, h, s, lift);
    ctx.fillStyle = color;
    ctx.fillRect(-w / 2, -h / 2, w, h);
    if (canvasShadow) shadowOff(ctx);
    ctx.strokeStyle = PAPER_EDGE;
    ctx.lineWidth = Math.max(1, 0.006 * s);
    ctx.strokeRect(-w / 2, -h / 2, w, h);
  }

  /**
   * Perforated outline of a postage stamp: semicircles cut into every edge
   * and quarter circles at the corners, so no sharp corner sits between two
   * perforations.
   * @param {Ctx} ctx @param {number} w @param {number} h @param {number} r
   */
  function stampPath(ctx, w, h, r) {
    const corners = [[-w / 2, -h / 2], [w / 2, -h / 2], [w / 2, h / 2], [-w / 2, h / 2]];
    ctx.beginPath();
    ctx.moveTo(-w / 2 + r, -h / 2);
    for (let e = 0; e < 4; e++) {
      const [px, py] = corners[e];
      const [qx, qy] = corners[(e + 1) % 4];
      const len = Math.hypot(qx - px, qy - py);
      const dx = (qx - px) / len;
      const dy = (qy - py) / len;
      const theta = Math.atan2(dy, dx);
      const span = len - 2 * r;
      const n = Math.max(3, Math.round(span / (2.8 * r)));
      for (let i = 0; i < n; i++) {
        const along = r + (i + 0.5) * span / n;
        const cx = px + dx * along;
        const cy = py + dy * along;
        ctx.lineTo(cx - dx * r, cy - dy * r);
        ctx.arc(cx, cy, r, theta + Math.PI, theta, true);
      }
      ctx.lineTo(qx - dx * r, qy - dy * r);
      ctx.arc(qx, qy, r, theta + Math.PI, theta + Math.PI / 2, true);
    }
    ctx.closePath();
  }

  /** @param {Ctx} ctx @param {number} w @param {number} h @param {number} s @param {any} lift */
  function stampPaper(ctx, w, h, s, lift) {
    const canvasShadow = layPaperShadow(ctx, 'stamp', w, h, s, lift);
    stampPath(ctx, w, h, 0.035 * s);
    ctx.fillStyle = STAMP_PAPER;
    ctx.fill();
    if (canvasShadow) shadowOff(ctx);
    ctx.strokeStyle = 'rgba(60, 50, 40, 0.14)';
    ctx.lineWidth = Math.max(1, 0.005 * s);
    ctx.stroke();
  }

  /** Two torn tapes across the top-left and bottom-right corners. @param {Ctx} ctx @param {any} card */
  function cornerTapes(ctx, card) {
    const { w, h, s, index, placement } = card;
    [[-w / 2, -h / 2], [w / 2, h / 2]].forEach(([x, y], c) => {
      ctx.save();
      ctx.translate(x, y);
      ctx.rotate(-Math.PI / 4);
      paintTape(ctx, 0.42 * s, 0.13 * s, mulberry32(index * 97 + c * 13 + 7), index,
        placement.tapePattern, Math.max(0.8, 0.003 * s));
      ctx.restore();
    });
  }

  /**
   * A round head at the top centre of the print, lit from the upper left,
   * with its own small shadow (the x offset stays the paper's).
   * @param {Ctx} ctx @param {any} card
   * @param {{radius: number, rise: number, colors: string[], shadow: string, blur: number, drop: number,
   *   light: number, core: number, stops: (c: string) => Array<[number, string]>}} o
   * @returns {{r: number, cy: number}} radius and centre height
   */
  function roundHead(ctx, card, o) {
    const r = o.radius * card.s;
    const cy = -card.h / 2 + o.rise * r;
    ctx.shadowColor = o.shadow;
    ctx.shadowBlur = o.blur * r;
    ctx.shadowOffsetY = o.drop * r;
    const g = ctx.createRadialGradient(-o.light * r, cy - o.light * r, o.core * r, 0, cy, r);
    for (const [at, color] of o.stops(cycle(o.colors, card.index))) g.addColorStop(at, color);
    disc(ctx, 0, cy, r, /** @type {any} */ (g));
    return { r, cy };
  }

  /** A push pin at the top centre. @param {Ctx} ctx @param {any} card */
  function pushPin(ctx, card) {
    ctx.save();
    roundHead(ctx, card, {
      radius: 0.055, rise: 1.4, colors: PIN_COLORS, shadow: 'rgba(20,12,5,0.4)', blur: 0.8, drop: 0.35,
      light: 0.3, core: 0.1, stops: (c) => [[0, '#ffffff'], [0.25, c], [1, shade(c, 0.6)]],
    });
    ctx.restore();
  }

  /** A round magnet at the top centre, with a highlight and a rim. @param {Ctx} ctx @param {any} card */
  function roundMagnet(ctx, card) {
    ctx.save();
    const { r, cy } = roundHead(ctx, card, {
      radius: 0.085, rise: 1.15, colors: MAGNET_COLORS, shadow: 'rgba(20,15,10,0.35)', blur: 0.5, drop: 0.22,
      light: 0.35, core: 0.15, stops: (c) => [[0, shade(c, 1.35)], [0.65, c], [1, shade(c, 0.7)]],
    });
    shadowOff(ctx);
    const alpha = ctx.globalAlpha;
    ctx.globalAlpha = alpha * 0.5;
    ctx.strokeStyle = '#ffffff';
    ctx.lineWidth = 0.16 * r;
    ctx.beginPath();
    ctx.arc(0, cy, 0.62 * r, -2.4, -0.7);
    ctx.stroke();
    ctx.globalAlpha = alpha;
    ctx.strokeStyle = 'rgba(0,0,0,0.18)';
    ctx.lineWidth = 0.07 * r;
    ctx.beginPath();
    ctx.arc(0, cy, 0.97 * r, 0, Math.PI * 2);
    ctx.stroke();
    ctx.restore();
  }

  /** Darkened photo edges of an old print. @param {Ctx} ctx @param {any} card */
  function agedEdges(ctx, card) {
    const { s } = card;
    const g = ctx.createRadialGradient(0, 0, 0.3 * s, 0, 0, 0.75 * s);
    g.addColorStop(0, 'rgba(60,40,10,0)');
    g.addColorStop(1, 'rgba(60,40,10,0.22)');
    ctx.fillStyle = g;
    ctx.fillRect(card.photoX, card.photoY, card.photoSize, card.photoSize);
  }

  /**
   * Frame styles. `photo` gives the photo square's top-left corner and side
   * in the card's frame; `strip` the top of the writing strip.
   * @typedef {{w: number, h: number, s: number}} CardSize
   * @type {Record<string, {label: Label, paper: string, photo: (c: CardSize) => number[],
   *   strip: (c: CardSize) => number, decorate?: (ctx: Ctx, card: any) => void, filter?: string}>}
   */
  const FRAME_STYLES = (() => {
    const centred = (/** @type {CardSize} */ c) => [-c.w / 2 + 0.07 * c.s, -c.s / 2, c.s];
    const stripBelowCentred = (/** @type {CardSize} */ c) => 0.5 * c.s;
    return {
      cheki: {
        label: { ja: 'チェキ風（標準）', en: 'Instant (default)' }, paper: PAPER,
        photo: (c) => [-c.w / 2 + 0.07 * c.s, -c.h / 2 + 0.07 * c.s, c.s],
        strip: (c) => -c.h / 2 + 1.07 * c.s,
      },
      square: { label: { ja: 'スクエア', en: 'Square print' }, paper: PAPER, photo: centred, strip: stripBelowCentred },
      stamp: {
        label: { ja: '切手風', en: 'Postage stamp' }, paper: STAMP_PAPER,
        photo: (c) => [-c.w / 2 + 0.09 * c.s, -c.s / 2, 0.96 * c.s],
        strip: (c) => 0.46 * c.s,
      },
      tape: {
        label: { ja: 'マスキングテープ', en: 'Washi tape' }, paper: PAPER,
        photo: centred, strip: stripBelowCentred, decorate: cornerTapes,
      },
      pin: {
        label: { ja: '画びょう', en: 'Push pin' }, paper: PAPER,
        photo: centred, strip: stripBelowCentred, decorate: pushPin,
      },
      magnet: {
        label: { ja: '丸マグネット', en: 'Round magnet' }, paper: PAPER,
        photo: centred, strip: stripBelowCentred, decorate: roundMagnet,
      },
      vintage: {
        label: { ja: '古い写真', en: 'Old photo' }, paper: VINTAGE_PAPER,
        photo: centred, strip: stripBelowCentred, decorate: agedEdges, filter: VINTAGE_FILTER,
      },
    };
  })();

  /** @param {any} key @returns {string} */
  function frameKey(key) {
    return hasOwn(FRAME_STYLES, key) ? key : 'cheki';
  }

  /** @param {any} key @returns {string} a caption font key; `gothic` for unknown keys */
  function fontKey(key) {
    return hasOwn(CAPTION_FONTS, key) ? key : 'gothic';
  }

  /**
   * A title font key: a caption font key, or an installed font the user
   * picked ("sys:" and its family name), which titles may use.
   * @param {any} key @returns {string}
   */
  function titleFontKey(key) {
    return typeof key === 'string' && key.startsWith('sys:') && key.slice(4).trim() ? key : fontKey(key);
  }

  /**
   * The text cut at its end, whole characters at a time, until it and "…" fit.
   * @param {Ctx} ctx @param {string} text @param {number} maxW
   */
  function fitText(ctx, text, maxW) {
    if (ctx.measureText(text).width <= maxW) return text;
    const chars = graphemes(text);
    let n = chars.length - 1;
    while (n > 1 && ctx.measureText(chars.slice(0, n).join('') + '…').width > maxW) n--;
    return chars.slice(0, Math.max(1, n)).join('') + '…';
  }

  /** Whole user-perceived characters, so no emoji is ever cut in half. @param {string} text */
  function graphemes(text) {
    const Segmenter = /** @type {any} */ (Intl).Segmenter;
    if (typeof Segmenter === 'function') {
      return Array.from(new Segmenter(undefined, { granularity: 'grapheme' }).segment(text), (g) => g.segment);
    }
    return Array.from(text);
  }

  /**
   * The caption in the writing strip below the photo.
   * @param {Ctx} ctx @param {string} frame @param {number} w @param {number} h @param {number} s
   * @param {any} text @param {CaptionCfg} cfg
   */
  function drawCaption(ctx, frame, w, h, s, text, cfg) {
    if (typeof text !== 'string' || text === '') return;
    const top = FRAME_STYLES[frame].strip({ w, h, s });
    const bottom = h / 2 - 0.02 * s;
    const strip = bottom - top;
    if (strip < CAPTION_MIN_STRIP * s) return;
    const fraction = hasOwn(CAPTION_SIZES, cfg.size) ? CAPTION_SIZES[cfg.size] : CAPTION_SIZES.m;
    const size = Math.min(s * fraction, 0.72 * strip);
    ctx.font = size.toFixed(1) + 'px ' + CAPTION_FONTS[fontKey(cfg.font)].families;
    ctx.fillStyle = CAPTION_COLOR;
    ctx.textAlign = 'center';
    ctx.textBaseline = 'middle';
    ctx.fillText(fitText(ctx, text, 0.94 * s), 0, (top + bottom) / 2);
  }

  /**
   * Draws one print and leaves the context's state as it found it.
   * @param {Ctx} ctx
   * @param {Placement} p
   * @param {any} bitmap the photo; nothing or a released image draws no photo
   * @param {string} frame frame key
   * @param {string} filter filter key
   * @param {any} [captionText]
   * @param {CaptionCfg|null} [captionCfg] nothing = captions off
   */
  function drawOne(ctx, p, bitmap, frame, filter, captionText, captionCfg) {
    if (!p || !allFinite(p.x, p.y, p.outerW, p.outerH) || p.outerW <= 0 || p.outerH <= 0) return;
    const key = frameKey(frame);
    const style = FRAME_STYLES[key];
    const w = p.outerW;
    const h = p.outerH;
    const s = w / OUTER_W_RATIO;
    const [photoX, photoY, photoSize] = style.photo({ w, h, s });
    const card = { w, h, s, photoX, photoY, photoSize, placement: p, index: p.photoIndex };
    ctx.save();
    ctx.translate(p.x, p.y);
    ctx.rotate(allFinite(p.rot) ? p.rot : 0);
    if (key === 'stamp') stampPaper(ctx, w, h, s, p.paperLift);
    else plainPaper(ctx, w, h, s, style.paper, p.paperLift);
    photoAt(ctx, bitmap, photoX, photoY, photoSize, filterString(filter) || style.filter || '', !!p.inAir);
    if (style.decorate) style.decorate(ctx, card);
    if (captionCfg && typeof captionCfg === 'object') drawCaption(ctx, key, w, h, s, captionText, captionCfg);
    ctx.restore();
  }

  /**
   * Waits until a carried handwriting font can draw, since text drawn while
   * its font is loading stays in the fallback face. Fonts of the system and
   * failures return at once; the fallback face is then used.
   * @param {any} key caption font key
   * @returns {Promise<void>}
   */
  async function ensureCaptionFont(key) {
    const font = hasOwn(CAPTION_FONTS, key) ? CAPTION_FONTS[key] : null;
    const fonts = window.document && /** @type {any} */ (window.document).fonts;
    if (!font || !font.file || !fonts) return;
    try {
      if (!fontDeclared(fonts, font.family) && typeof window.FontFace === 'function') {
        fonts.add(new window.FontFace(font.family, 'url("' + ASSET_BASE + 'fonts/' + font.file + '")'));
      }
      await fonts.load('32px "' + font.family + '"');
    } catch { /* the fallback face stays in use */ }
  }

  /** @param {any} fonts the document's font set @param {string} family */
  function fontDeclared(fonts, family) {
    for (const face of fonts) {
      if (String(face.family).replace(/^["']|["']$/g, '') === family) return true;
    }
    return false;
  }

  // ================================================================ backgrounds

  const BG_FALLBACK_KEY = 'paper';
  /** Texture loads by key: the image, "failed", or a pending promise. */
  const imageCache = new Map();
  let customImage = null;
  let customVersion = 0;

  /** @param {number} W @param {number} H */
  const unitOf = (W, H) => Math.max(1, H / 1080);
  /** @param {number} perFullHD @param {number} cap @param {number} W @param {number} H */
  const areaCount = (perFullHD, cap, W, H) => Math.min(cap, Math.round(perFullHD * W * H / FULL_HD_AREA));

  /**
   * Alpha for one of many small specks, on top of the context's own opacity.
   * One colour with a varying opacity paints far faster than a new colour
   * string per speck; the alpha keeps three decimals, as a colour string would.
   * @param {number} base the context's opacity before the specks
   * @param {number} alpha
   */
  const speckAlpha = (base, alpha) => base * Math.round(alpha * 1000) / 1000;

  /** @param {Ctx} ctx @param {string} color @param {number} W @param {number} H */
  function fillAll(ctx, color, W, H) {
    ctx.fillStyle = color;
    ctx.fillRect(0, 0, W, H);
  }

  /**
   * A two-stop radial gradient over the whole canvas.
   * @param {Ctx} ctx @param {number} W @param {number} H @param {string} a @param {string} b
   * @param {number[]} from [x, y, r] @param {number[]} to [x, y, r]
   */
  function radialFill(ctx, W, H, a, b, from, to) {
    const g = ctx.createRadialGradient(from[0], from[1], from[2], to[0], to[1], to[2]);
    g.addColorStop(0, a);
    g.addColorStop(1, b);
    fillAll(ctx, /** @type {any} */ (g), W, H);
  }

  /**
   * A linear gradient over the whole canvas.
   * @param {Ctx} ctx @param {number} W @param {number} H @param {number[]} line [x0, y0, x1, y1]
   * @param {Array<[number, string]>} stops
   */
  function linearFill(ctx, W, H, line, stops) {
    const g = ctx.createLinearGradient(line[0], line[1], line[2], line[3]);
    for (const [at, color] of stops) g.addColorStop(at, color);
    fillAll(ctx, /** @type {any} */ (g), W, H);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H @param {number} strength */
  function vignette(ctx, W, H, strength) {
    const g = ctx.createRadialGradient(W / 2, H / 2, 0.35 * H, W / 2, H / 2, Math.hypot(W, H) / 2);
    g.addColorStop(0, 'rgba(0,0,0,0)');
    g.addColorStop(1, 'rgba(0,0,0,' + strength + ')');
    fillAll(ctx, /** @type {any} */ (g), W, H);
  }

  /**
   * Dark and light specks, their number scaled by the canvas area.
   * @param {Ctx} ctx @param {number} W @param {number} H
   * @param {number} darkMax @param {number} lightMax @param {number} perFullHD
   */
  function grainNoise(ctx, W, H, darkMax, lightMax, perFullHD) {
    const n = areaCount(perFullHD, 150000, W, H);
    // Dark specks first, then light ones: one colour per pass paints faster.
    const specks = new Float32Array(n * 6);
    for (let i = 0; i < specks.length; i += 6) {
      const dark = pileRandom() < 0.5;
      specks[i] = dark ? 1 : 0;
      specks[i + 1] = pileRandom() * (dark ? darkMax : lightMax);
      specks[i + 2] = pileRandom() * W;
      specks[i + 3] = pileRandom() * H;
      specks[i + 4] = 1 + pileRandom() * 2;
      specks[i + 5] = 1 + pileRandom() * 2;
    }
    const base = ctx.globalAlpha;
    for (const { dark, color } of [{ dark: 1, color: '#000000' }, { dark: 0, color: '#ffffff' }]) {
      ctx.fillStyle = color;
      for (let i = 0; i < specks.length; i += 6) {
        if (specks[i] !== dark) continue;
        ctx.globalAlpha = speckAlpha(base, specks[i + 1]);
        ctx.fillRect(specks[i + 2], specks[i + 3], specks[i + 4], specks[i + 5]);
      }
    }
    ctx.globalAlpha = base;
  }

  /**
   * The image scaled to cover the canvas (times zoom), centred.
   * @param {Ctx} ctx @param {any} image @param {number} W @param {number} H @param {number} [zoom]
   */
  function drawCover(ctx, image, W, H, zoom) {
    const { w, h } = imageSize(image);
    const scale = Math.max(W / w, H / h) * (zoom || 1);
    const dw = w * scale;
    const dh = h * scale;
    // A paper-coloured ground keeps the anti-aliased rim of the picture opaque.
    fillAll(ctx, '#e9e2d6', W, H);
    ctx.drawImage(image, (W - dw) / 2, (H - dh) / 2, dw, dh);
  }

  /** @param {Ctx} ctx @param {number} x @param {number} y @param {number} w @param {number} h @param {number} r */
  function roundedRectPath(ctx, x, y, w, h, r) {
    ctx.beginPath();
    ctx.moveTo(x + r, y);
    ctx.arcTo(x + w, y, x + w, y + h, r);
    ctx.arcTo(x + w, y + h, x, y + h, r);
    ctx.arcTo(x, y + h, x, y, r);
    ctx.arcTo(x, y, x + w, y, r);
    ctx.closePath();
  }

  /** The stitched seam round a leather desk pad. @param {Ctx} ctx @param {number} W @param {number} H */
  function stitchBorder(ctx, W, H) {
    const u = unitOf(W, H);
    const i = Math.round(0.035 * Math.min(W, H));
    ctx.save();
    ctx.lineWidth = 2.6 * u;
    ctx.setLineDash([9 * u, 7 * u]);
    ctx.translate(0, 1.5 * u);
    roundedRectPath(ctx, i, i, W - 2 * i, H - 2 * i, 0.9 * i);
    ctx.strokeStyle = 'rgba(15,6,2,.5)';
    ctx.stroke();
    ctx.translate(0, -1.5 * u);
    roundedRectPath(ctx, i, i, W - 2 * i, H - 2 * i, 0.9 * i);
    ctx.strokeStyle = 'rgba(238,214,178,.65)';
    ctx.stroke();
    ctx.setLineDash([]);
    ctx.restore();
  }

  /**
   * A random walk stroked as one line, broken where `breakChance` says.
   * @param {Ctx} ctx @param {number} W @param {number} H @param {number} steps @param {number} stepLen
   * @param {number} turn @param {number} [breakChance]
   */
  function randomWalk(ctx, W, H, steps, stepLen, turn, breakChance) {
    let x = pileRandom() * W;
    let y = pileRandom() * H;
    let dir = pileRandom() * Math.PI * 2;
    ctx.beginPath();
    ctx.moveTo(x, y);
    for (let k = 0; k < steps; k++) {
      x += Math.cos(dir) * stepLen;
      y += Math.sin(dir) * stepLen;
      dir += (pileRandom() - 0.5) * turn;
      ctx.lineTo(x, y);
      if (breakChance && pileRandom() < breakChance) {
        ctx.stroke();
        ctx.beginPath();
        ctx.moveTo(x, y);
      }
    }
    ctx.stroke();
  }

  /**
   * A soft disc fading from its centre colour to transparent at its rim.
   * @param {Ctx} ctx @param {number} x @param {number} y @param {number} r @param {string} rgb "r,g,b" @param {number} alpha
   */
  function softDisc(ctx, x, y, r, rgb, alpha) {
    const g = ctx.createRadialGradient(x, y, 0, x, y, r);
    g.addColorStop(0, 'rgba(' + rgb + ',' + alpha + ')');
    g.addColorStop(1, 'rgba(' + rgb + ',0)');
    disc(ctx, x, y, r, /** @type {any} */ (g));
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintGray(ctx, W, H) {
    radialFill(ctx, W, H, '#c9c9cd', '#8e8e94', [W / 2, 0.42 * H, 0.1 * H], [W / 2, H / 2, Math.hypot(W, H) / 1.6]);
    vignette(ctx, W, H, 0.18);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintWood(ctx, W, H) {
    linearFill(ctx, W, H, [0, 0, 0, H], [[0, '#b98d5a'], [0.5, '#ab7e4c'], [1, '#9d7243']]);
    const lines = Math.round(H / 6);
    for (let i = 0; i < lines; i++) {
      const y0 = pileRandom() * H;
      const amp = H * (0.002 + pileRandom() * 0.006);
      const p = pileRandom() * 9;
      ctx.strokeStyle = 'rgba(96,60,28,' + (0.04 + pileRandom() * 0.1) + ')';
      ctx.lineWidth = Math.max(0.5, H * 0.0008 * (0.5 + pileRandom()));
      const waves = Math.PI * (0.8 + (p % 1.4));
      ctx.beginPath();
      for (let x = 0; x <= W; x += 28) ctx.lineTo(x, y0 + Math.sin(x / W * waves + p) * amp);
      ctx.stroke();
    }
    grainNoise(ctx, W, H, 0.035, 0.02, 4000);
    vignette(ctx, W, H, 0.22);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintLeatherFallback(ctx, W, H) {
    const u = unitOf(W, H);
    radialFill(ctx, W, H, '#7a4f33', '#4a2e1c', [W / 2, 0.45 * H, 0.1 * H], [W / 2, H / 2, Math.hypot(W, H) / 1.7]);
    for (let i = 0; i < 34; i++) {
      const x = pileRandom() * W;
      const y = pileRandom() * H;
      const r = H * (0.05 + pileRandom() * 0.16);
      const a = 0.02 + pileRandom() * 0.035;
      if (pileRandom() < 0.5) softDisc(ctx, x, y, r, '0,0,0', a);
      else softDisc(ctx, x, y, r, '255,220,180', 0.7 * a);
    }
    // Embossed grains: a dark lower and a light upper rim each, painted in
    // two passes of one colour.
    const grains = new Float32Array(areaCount(16000, 60000, W, H) * 4);
    for (let i = 0; i < grains.length; i += 4) {
      grains[i] = pileRandom() * W;
      grains[i + 1] = pileRandom() * H;
      grains[i + 2] = (0.9 + pileRandom() * 1.7) * u;
      grains[i + 3] = 0.05 + pileRandom() * 0.09;
    }
    const base = ctx.globalAlpha;
    ctx.lineWidth = 0.8 * u;
    const rims = [
      { color: 'rgb(20,8,2)', share: 1, from: 0.15, to: 0.85 },
      { color: 'rgb(255,215,170)', share: 0.55, from: 1.15, to: 1.85 },
    ];
    for (const { color, share, from, to } of rims) {
      ctx.strokeStyle = color;
      for (let i = 0; i < grains.length; i += 4) {
        ctx.globalAlpha = speckAlpha(base, share * grains[i + 3]);
        ctx.beginPath();
        ctx.arc(grains[i], grains[i + 1], grains[i + 2], from * Math.PI, to * Math.PI);
        ctx.stroke();
      }
    }
    ctx.globalAlpha = base;
    const creases = Math.round(150 * W * H / FULL_HD_AREA);
    ctx.lineWidth = u;
    for (let i = 0; i < creases; i++) {
      const x = pileRandom() * W;
      const y = pileRandom() * H;
      const dir0 = pileRandom() * Math.PI * 2;
      const steps = Math.floor(14 + pileRandom() * 40);
      const turns = Array.from({ length: steps }, () => (pileRandom() - 0.5) * 0.9);
      const alpha = 0.05 + pileRandom() * 0.08;
      const crease = (/** @type {number} */ dy, /** @type {string} */ color) => {
        let px = x;
        let py = y + dy;
        let dir = dir0;
        ctx.strokeStyle = color;
        ctx.beginPath();
        ctx.moveTo(px, py);
        for (const t of turns) {
          px += Math.cos(dir) * 7 * u;
          py += Math.sin(dir) * 7 * u;
          dir += t;
          ctx.lineTo(px, py);
        }
        ctx.stroke();
      };
      crease(0, 'rgba(15,6,2,' + alpha + ')');
      crease(1.4 * u, 'rgba(255,215,170,0.04)');
    }
    vignette(ctx, W, H, 0.3);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintSteel(ctx, W, H) {
    linearFill(ctx, W, H, [0, 0, 0, H], [
      [0, '#d9dbde'], [0.18, '#b9bdc2'], [0.34, '#e3e5e8'], [0.5, '#aeb2b8'],
      [0.66, '#d3d6da'], [0.82, '#b3b7bc'], [1, '#c9ccd0']]);
    const base = ctx.globalAlpha;
    for (let y = 0; y < H; y++) {
      const a = pileRandom();
      ctx.fillStyle = a > 0.5 ? '#ffffff' : 'rgb(60,65,72)';
      ctx.globalAlpha = speckAlpha(base, a > 0.5 ? 0.03 + (a - 0.5) * 0.22 : 0.03 + (0.5 - a) * 0.18);
      const len = pileRandom() < 0.35 ? pileRandom() * W : W;
      ctx.fillRect(pileRandom() * (W - len), y, len, 1);
    }
    ctx.globalAlpha = base;
    for (const [at, half, peak] of [[0.22, 0.10, 0.10], [0.58, 0.06, 0.07], [0.83, 0.13, 0.08]]) {
      const cx = at * W;
      const hw = half * W;
      const g = ctx.createLinearGradient(cx - hw, 0, cx + hw, 0);
      g.addColorStop(0, 'rgba(255,255,255,0)');
      g.addColorStop(0.5, 'rgba(255,255,255,' + peak + ')');
      g.addColorStop(1, 'rgba(255,255,255,0)');
      ctx.fillStyle = g;
      ctx.fillRect(cx - hw, 0, 2 * hw, H);
    }
    vignette(ctx, W, H, 0.14);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintAlmite(ctx, W, H) {
    radialFill(ctx, W, H, '#d4d7db', '#a8acb3', [0.42 * W, 0.36 * H, 0.1 * H], [W / 2, H / 2, Math.hypot(W, H) / 1.5]);
    grainNoise(ctx, W, H, 0.06, 0.07, 60000);
    ctx.save();
    ctx.translate(W / 2, H / 2);
    ctx.rotate(-0.3);
    const g = ctx.createLinearGradient(-0.3 * W, 0, 0.3 * W, 0);
    g.addColorStop(0, 'rgba(255,255,255,0)');
    g.addColorStop(0.5, 'rgba(255,255,255,0.05)');
    g.addColorStop(1, 'rgba(255,255,255,0)');
    ctx.fillStyle = g;
    ctx.fillRect(-0.3 * W, -1.2 * H, 0.6 * W, 2.4 * H);
    ctx.restore();
    vignette(ctx, W, H, 0.16);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintBlackboard(ctx, W, H) {
    radialFill(ctx, W, H, '#2e4a3e', '#1e332b', [W / 2, 0.4 * H, 0.2 * H], [W / 2, H / 2, Math.hypot(W, H) / 1.6]);
    for (let i = 0; i < 7; i++) {
      const x = pileRandom() * W;
      const y = pileRandom() * H;
      const r = H * (0.1 + pileRandom() * 0.25);
      const turn = pileRandom() * 0.6 - 0.3;
      const alpha = 0.02 + pileRandom() * 0.03;
      ctx.save();
      ctx.translate(x, y);
      ctx.rotate(turn);
      ctx.scale(1.8, 0.5);
      softDisc(ctx, 0, 0, r, '235,240,235', alpha);
      ctx.restore();
    }
    grainNoise(ctx, W, H, 0.02, 0.06, 22000);
    vignette(ctx, W, H, 0.28);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintCork(ctx, W, H) {
    const u = unitOf(W, H);
    radialFill(ctx, W, H, '#c79d6d', '#a97f4f', [W / 2, 0.42 * H, 0.15 * H], [W / 2, H / 2, Math.hypot(W, H) / 1.6]);
    const count = areaCount(22000, 80000, W, H);
    const base = ctx.globalAlpha;
    for (let i = 0; i < count; i++) {
      const x = pileRandom() * W;
      const y = pileRandom() * H;
      const rx = (1.5 + pileRandom() * 5) * u;
      const ry = rx * (0.4 + pileRandom() * 0.5);
      const a = 0.04 + pileRandom() * 0.09;
      const dark = pileRandom() < 0.55;
      ctx.fillStyle = dark ? 'rgb(96,64,32)' : 'rgb(240,214,170)';
      ctx.globalAlpha = speckAlpha(base, dark ? a : 0.8 * a);
      ctx.beginPath();
      ctx.ellipse(x, y, rx, ry, pileRandom() * Math.PI, 0, Math.PI * 2);
      ctx.fill();
    }
    ctx.globalAlpha = base;
    vignette(ctx, W, H, 0.24);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintLinen(ctx, W, H) {
    fillAll(ctx, '#e9e3d3', W, H);
    const v = Math.max(1, Math.round(H / 360));
    for (let y = 0; y < H; y += 3 * v) {
      ctx.fillStyle = 'rgba(150,138,112,' + (0.05 + pileRandom() * 0.05) + ')';
      ctx.fillRect(0, y, W, v);
    }
    for (let x = 0; x < W; x += 3 * v) {
      ctx.fillStyle = 'rgba(150,138,112,' + (0.04 + pileRandom() * 0.05) + ')';
      ctx.fillRect(x, 0, v, H);
    }
    grainNoise(ctx, W, H, 0.03, 0.04, 9000);
    vignette(ctx, W, H, 0.18);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintMarble(ctx, W, H) {
    const u = unitOf(W, H);
    linearFill(ctx, W, H, [0, 0, W, H], [[0, '#f2f1ee'], [0.5, '#e6e4e0'], [1, '#eeece9']]);
    for (let i = 0; i < 14; i++) {
      const x = pileRandom() * W;
      const y = pileRandom() * H;
      softDisc(ctx, x, y, H * (0.08 + pileRandom() * 0.3), '168,168,175', 0.03 + pileRandom() * 0.05);
    }
    for (let i = 0; i < 10; i++) {
      ctx.strokeStyle = 'rgba(120,122,132,' + (0.10 + pileRandom() * 0.12) + ')';
      ctx.lineWidth = (0.6 + pileRandom() * 1.4) * u;
      randomWalk(ctx, W, H, Math.floor(40 + pileRandom() * 60), 14 * u, 0.7, 0.08);
    }
    vignette(ctx, W, H, 0.12);
  }

  /** @param {Ctx} ctx @param {number} W @param {number} H */
  function paintTatami(ctx, W, H) {
    fillAll(ctx, '#b8b98a', W, H);
    const v = Math.max(1, Math.round(H / 270));
    for (let y = 0; y < H; y += 2 * v) {
      ctx.fillStyle = 'rgba(90,92,58,' + (0.08 + pileRandom() * 0.05) + ')';
      ctx.fillRect(0, y, W, v);
    }
    vignette(ctx, W, H, 0.18);
  }

  /**
   * Backgrounds. A key with a texture paints the photograph, when loaded,
   * scaled to cover (times `zoom`) under a vignette of `vignette`;
   * `procedural` paints the fallback or the only look.
   * @type {Record<string, {label: Label|null, texture?: string, vignette?: number, zoom?: number,
   *   procedural: (ctx: Ctx, W: number, H: number) => void, after?: (ctx: Ctx, W: number, H: number) => void}>}
   */
  const BACKGROUNDS = {
    gray: { label: { ja: 'グレー（標準）', en: 'Gray (default)' }, procedural: paintGray },
    wood: { label: { ja: '木のテーブル', en: 'Wood table' }, texture: 'bg-wood.jpg', vignette: 0.2, procedural: paintWood },
    leather: {
      label: { ja: 'レザー', en: 'Leather' }, texture: 'bg-leather.jpg', vignette: 0.2,
      procedural: paintLeatherFallback, after: stitchBorder,
    },
    steel: { label: { ja: 'ステンレス', en: 'Stainless' }, texture: 'bg-steel.jpg', vignette: 0.16, procedural: paintSteel },
    almite: { label: { ja: 'アルマイト', en: 'Anodized aluminum' }, procedural: paintAlmite },
    blackboard: {
      label: { ja: '黒板', en: 'Chalkboard' }, texture: 'bg-blackboard.jpg', vignette: 0.18, procedural: paintBlackboard,
    },
    cork: { label: { ja: 'コルクボード', en: 'Cork board' }, texture: 'bg-cork.jpg', vignette: 0.16, procedural: paintCork },
    linen: { label: { ja: 'リネン', en: 'Linen' }, texture: 'bg-linen.jpg', vignette: 0.14, procedural: paintLinen },
    marble: { label: { ja: '大理石（白）', en: 'Marble (white)' }, texture: 'bg-marble.jpg', vignette: 0.12, procedural: paintMarble },
    marbleblack: {
      label: { ja: '大理石（黒）', en: 'Marble (black)' }, texture: 'bg-marbleblack.jpg', vignette: 0.14,
      procedural: (ctx, W, H) => {
        linearFill(ctx, W, H, [0, 0, W, H], [[0, '#1b1b1f'], [1, '#0e0e11']]);
        vignette(ctx, W, H, 0.1);
      },
    },
    washi: {
      label: { ja: '和紙', en: 'Washi paper' }, texture: 'bg-washi.jpg', vignette: 0.14,
      procedural: (ctx, W, H) => {
        fillAll(ctx, '#c9cbcd', W, H);
        grainNoise(ctx, W, H, 0.04, 0.05, 9000);
        vignette(ctx, W, H, 0.14);
      },
    },
    tatami: { label: { ja: '畳', en: 'Tatami' }, texture: 'bg-tatami.jpg', vignette: 0.16, zoom: 2.4, procedural: paintTatami },
    whiteboard: {
      label: { ja: 'ホワイトボード', en: 'Whiteboard' }, texture: 'bg-whiteboard.jpg', vignette: 0.08,
      procedural: (ctx, W, H) => {
        radialFill(ctx, W, H, '#fdfdfd', '#e8eaec', [0.4 * W, 0.35 * H, 0.2 * H], [W / 2, H / 2, Math.hypot(W, H) / 1.5]);
        vignette(ctx, W, H, 0.08);
      },
    },
    custombg: { label: { ja: '好きな画像…', en: 'Your own image…' }, vignette: 0.18, procedural: paintGray },
    paper: { label: null, procedural: (ctx, W, H) => fillAll(ctx, '#e9e2d6', W, H) },
  };

  /** @param {any} key @returns {string} */
  function backgroundKey(key) {
    return hasOwn(BACKGROUNDS, key) ? key : BG_FALLBACK_KEY;
  }

  /** @param {string} key @returns {any} the loaded texture or the custom image, else null */
  function backgroundImage(key) {
    if (key === 'custombg') return usableBitmap(customImage) ? customImage : null;
    const entry = imageCache.get(key);
    return entry && typeof entry === 'object' && !(entry instanceof Promise) ? entry : null;
  }

  /**
   * Paints the background of a key over the whole canvas; unknown keys
   * paint `paper`, textures still loading or failed paint their fallback.
   * @param {Ctx} ctx @param {any} key @param {number} W @param {number} H
   */
  function paintBackground(ctx, key, W, H) {
    if (!allFinite(W, H) || W <= 0 || H <= 0) return;
    const k = backgroundKey(key);
    const bg = BACKGROUNDS[k];
    const image = backgroundImage(k);
    ctx.save();
    if (image) {
      drawCover(ctx, image, W, H, bg.zoom);
      vignette(ctx, W, H, bg.vignette || 0);
    } else {
      bg.procedural(ctx, W, H);
    }
    if (bg.after) bg.after(ctx, W, H);
    ctx.restore();
  }

  /** @param {string} file @returns {Promise<HTMLImageElement>} */
  function loadImage(file) {
    return new Promise((resolve, reject) => {
      const img = new window.Image();
      img.onload = () => resolve(img);
      img.onerror = () => reject(new Error('cannot load ' + file));
      img.src = ASSET_BASE + file;
    });
  }

  /**
   * Loads a key's texture once; resolves whether it loaded or not, marking
   * failures so that the fallback is painted from then on.
   * @param {any} key
   * @returns {Promise<void>}
   */
  async function prepareBackground(key) {
    const bg = hasOwn(BACKGROUNDS, key) ? BACKGROUNDS[key] : null;
    if (!bg || !bg.texture || typeof window.Image !== 'function') return;
    if (!imageCache.has(key)) {
      const pending = loadImage(bg.texture).then(
        (img) => { imageCache.set(key, img); },
        () => { imageCache.set(key, 'failed'); });
      imageCache.set(key, pending);
    }
    const entry = imageCache.get(key);
    if (entry instanceof Promise) await entry;
  }

  /** @param {any} key */
  function hasBackgroundImage(key) {
    return typeof key === 'string' && key !== 'custombg' && backgroundImage(key) !== null;
  }

  /** Sets the user's own background picture (nothing clears it). @param {any} image */
  function setCustomBackground(image) {
    customImage = image || null;
    customVersion++;
  }

  function hasCustomBackground() {
    return usableBitmap(customImage);
  }

  // ================================================================ still picture and title

  const TITLE_COLOR = '#fffdf8';
  const TITLE_LINE = 1.18;
  const TITLE_FIRST_LINE = 0.58;
  const TITLE_MIN_SIZE = 12;
  const TITLE_SHRINK = 0.92;
  /** @type {Box|null} */
  let lastTitleBox = null;

  /**
   * The font family list for a caption font key, or a system font for `sys:` keys.
   * @param {any} key
   */
  function resolveFontFamily(key) {
    if (typeof key === 'string' && key.startsWith('sys:')) {
      // Quotes and backslashes would end or escape the quoted name early.
      const name = key.slice(4).replace(/["\\]/g, '').trim();
      if (name) return '"' + name + '", "Yu Gothic UI", sans-serif';
    }
    return CAPTION_FONTS[fontKey(key)].families;
  }

  /** @param {any} style @returns {string} the CSS font prefix of a title style */
  function titleFontPrefix(style) {
    if (style === 'bolditalic') return 'italic 700 ';
    if (style === 'italic') return 'italic ';
    if (style === 'bold') return '700 ';
    return '';
  }

  /** @param {any} text runs of white space as one space, ends trimmed */
  function normalizeTitle(text) {
    return typeof text === 'string' ? text.replace(/\s+/g, ' ').trim() : '';
  }

  /**
   * One line when it fits, otherwise the best split into two lines of
   * about equal width (between whole characters, spaces at the cut removed).
   * @param {Ctx} ctx font already set
   * @param {string} text
   * @param {number} maxW
   * @returns {string[]}
   */
  function splitTitleLines(ctx, text, maxW) {
    if (ctx.measureText(text).width <= maxW) return [text];
    const chars = Array.from(text);
    const over = (/** @type {number} */ w) => Math.max(0, w - maxW);
    let best = [text];
    let bestScore = Infinity;
    for (let i = 1; i < chars.length; i++) {
      const a = chars.slice(0, i).join('').trim();
      const b = chars.slice(i).join('').trim();
      if (!a || !b) continue;
      const wa = ctx.measureText(a).width;
      const wb = ctx.measureText(b).width;
      const score = 20 * (over(wa) + over(wb)) + Math.abs(wa - wb);
      if (score < bestScore) {
        bestScore = score;
        best = [a, b];
      }
    }
    return best;
  }

  /**
   * Draws the image title over the picture and records its box.
   * @param {Ctx} ctx @param {number} W @param {number} H @param {any} cfg image title settings
   */
  function drawImageTitle(ctx, W, H, cfg) {
    const text = cfg && typeof cfg === 'object' ? normalizeTitle(cfg.text) : '';
    if (!text || !allFinite(W, H) || W <= 0 || H <= 0) {
      lastTitleBox = null;
      return;
    }
    const requested = Number(cfg.size);
    let size = Math.max(TITLE_MIN_SIZE, Number.isFinite(requested) && requested !== 0 ? requested : 64) * H / 1080;
    const margin = 0.04 * Math.min(W, H);
    const maxW = W - 2 * margin;
    const maxH = H - 2 * margin;
    const family = resolveFontFamily(cfg.font);
    const prefix = titleFontPrefix(cfg.style);
    let lines;
    for (;;) {
      ctx.font = prefix + size.toFixed(1) + 'px ' + family;
      lines = splitTitleLines(ctx, text, maxW);
      const fits = lines.every((l) => ctx.measureText(l).width <= maxW) && lines.length * size * TITLE_LINE <= maxH;
      if (fits || size <= TITLE_MIN_SIZE) break;
      size *= TITLE_SHRINK;
    }
    const blockW = Math.max(...lines.map((l) => ctx.measureText(l).width));
    const blockH = lines.length * size * TITLE_LINE;
    const clampMid = (/** @type {number} */ v, /** @type {number} */ lo, /** @type {number} */ hi) =>
      (lo > hi ? (lo + hi) / 2 : Math.min(hi, Math.max(lo, v)));
    let x;
    let firstY;
    let align;
    const free = cfg.free && cfg.freePos && allFinite(Number(cfg.freePos.x), Number(cfg.freePos.y));
    if (free) {
      align = 'center';
      x = clampMid(Number(cfg.freePos.x) * W, margin + blockW / 2, W - margin - blockW / 2);
      const cy = clampMid(Number(cfg.freePos.y) * H, margin + blockH / 2, H - margin - blockH / 2);
      firstY = cy - blockH / 2 + TITLE_FIRST_LINE * size;
    } else {
      const pos = typeof cfg.position === 'string' ? cfg.position : 'bottom-center';
      const [v, hz] = pos === 'center' ? ['middle', 'center'] : pos.split('-');
      align = hz === 'left' ? 'left' : hz === 'right' ? 'right' : 'center';
      x = align === 'left' ? margin : align === 'right' ? W - margin : W / 2;
      firstY = v === 'top' ? margin + TITLE_FIRST_LINE * size
        : v === 'middle' ? H / 2 - blockH / 2 + TITLE_FIRST_LINE * size
          : H - margin - blockH + TITLE_FIRST_LINE * size;
    }
    const left = align === 'left' ? x : align === 'right' ? x - blockW : x - blockW / 2;
    lastTitleBox = { x: left, y: firstY - TITLE_FIRST_LINE * size, w: blockW, h: blockH };

    const color = typeof cfg.color === 'string' && cfg.color ? cfg.color : TITLE_COLOR;
    const bright = hexLuminance(color) > 0.55;
    ctx.save();
    ctx.textAlign = /** @type {CanvasTextAlign} */ (align);
    ctx.textBaseline = 'middle';
    ctx.lineJoin = 'round';
    ctx.lineWidth = Math.max(2, 0.075 * size);
    ctx.strokeStyle = bright ? 'rgba(0, 0, 0, 0.72)' : 'rgba(255, 255, 255, 0.85)';
    ctx.shadowColor = bright ? 'rgba(0, 0, 0, 0.7)' : 'rgba(255, 255, 255, 0.75)';
    ctx.shadowBlur = Math.max(3, 0.16 * size);
    ctx.shadowOffsetX = 0;
    ctx.shadowOffsetY = Math.max(1, 0.04 * size);
    // An invalid colour leaves the default in place rather than the outline's.
    ctx.fillStyle = TITLE_COLOR;
    ctx.fillStyle = color;
    lines.forEach((line, i) => {
      const y = firstY + i * size * TITLE_LINE;
      ctx.strokeText(line, x, y);
      ctx.fillText(line, x, y);
    });
    ctx.restore();
  }

  /** @returns {Box|null} the box of the title last drawn */
  function getTitleBox() {
    return lastTitleBox ? { ...lastTitleBox } : null;
  }

  /** @param {any} n @returns {number} a whole canvas side of at least 1 px */
  function canvasSide(n) {
    const v = Math.round(Number(n));
    return Number.isFinite(v) && v >= 1 ? v : 1;
  }

  /**
   * Paints the still picture: background, prints in draw-list order (later
   * ones on top), captions and the title.
   * @param {HTMLCanvasElement|OffscreenCanvas} canvas
   * @param {number} W @param {number} H
   * @param {Placement[]} drawList
   * @param {any[]} bitmaps decoded photos by photo index
   * @param {string} background
   * @param {boolean} watermark always false; nothing is painted for it
   * @param {string} frame @param {string} filter
   * @param {string[]|null} captions captions by photo index
   * @param {CaptionCfg|null} captionCfg nothing = captions off
   * @param {any} imageTitleCfg
   * @param {boolean} dimOthers draw non-starred prints dimmed
   * @param {boolean} dimTranslucent dimmed prints also at half opacity
   */
  function draw(canvas, W, H, drawList, bitmaps, background, watermark, frame, filter, captions, captionCfg,
    imageTitleCfg, dimOthers, dimTranslucent) {
    if (!canvas) return;
    canvas.width = canvasSide(W);
    canvas.height = canvasSide(H);
    const ctx = /** @type {Ctx} */ (canvas.getContext('2d'));
    paintBackground(ctx, background, canvas.width, canvas.height);
    ctx.imageSmoothingEnabled = true;
    ctx.imageSmoothingQuality = 'high';
    const list = Array.isArray(drawList) ? drawList : [];
    const cfg = captionCfg && typeof captionCfg === 'object' ? captionCfg : null;
    const look = { bitmaps, frame, filter, captions, captionCfg: cfg, dimOthers, dimTranslucent };
    for (const p of list) if (p && typeof p === 'object') drawPlayPrint(ctx, look, p);
    drawImageTitle(ctx, canvas.width, canvas.height, imageTitleCfg);
  }

  /**
   * Copies the base picture onto `canvas` and lays the title over it.
   * @param {HTMLCanvasElement|OffscreenCanvas} canvas
   * @param {HTMLCanvasElement|OffscreenCanvas} baseCanvas
   * @param {any} imageTitleCfg
   */
  function composeTitle(canvas, baseCanvas, imageTitleCfg) {
    if (!canvas || !baseCanvas) return;
    // Assigning a size clears the canvas even when it is unchanged.
    if (canvas.width !== baseCanvas.width) canvas.width = baseCanvas.width;
    if (canvas.height !== baseCanvas.height) canvas.height = baseCanvas.height;
    const ctx = /** @type {Ctx} */ (canvas.getContext('2d'));
    ctx.clearRect(0, 0, canvas.width, canvas.height);
    if (baseCanvas.width > 0 && baseCanvas.height > 0) ctx.drawImage(baseCanvas, 0, 0);
    drawImageTitle(ctx, canvas.width, canvas.height, imageTitleCfg);
  }

  /**
   * Encodes a small canvas at once through its data URL. Only for thumbnails
   * and reduced photos: a large picture held as text, decoded text and bytes
   * at the same time can exhaust the page's memory.
   * @param {HTMLCanvasElement} canvas
   * @param {string} [type] MIME type, JPEG by default
   * @param {number} [quality]
   * @returns {Blob}
   */
  function canvasToBlob(canvas, type, quality) {
    const url = canvas.toDataURL(type || 'image/jpeg', quality);
    const comma = url.indexOf(',');
    const mime = (/^data:([^;,]+)/.exec(url) || [])[1] || 'image/png';
    const binary = window.atob(url.slice(comma + 1));
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return new Blob([bytes], { type: mime });
  }

  // ================================================================ play data and motions
  // The record of an animation, the frame function with the falling motions,
  // the title card and the closing spotlight.

  const MOTIONS = ['drop', 'sway', 'album'];
  const WINDS = ['none', 'breeze', 'gust'];
  const DEFAULT_HOLD_SEC = 30;
  const TITLE_CARD_MAX = 40;
  const DROP_SPIN = 0.6;
  const SWAY_START_SCALE = 2.0;
  const SWAY_DRIFT_X = 0.08;
  const SWAY_DRIFT_Y = 0.03;
  const SWAY_ROCK = 0.10;
  const SWAY_WIDTH = 0.12;
  const SWAY_BLUR = 0.018;
  const SWAY_CYCLES = 1.25;
  const SEED_STEP = 2.399963;
  const SPOT_SCALE = 1.7;
  const SPOT_MIN_SCALE = 1.05;
  const SPOT_VEIL = 0.58;
  const TITLE_CARD_SIZE = 0.085;
  const DECODE_HEADROOM = 1.25 * 1.06;

  /** @param {any} v @returns {boolean} */
  const isPlacement = (v) => !!v && typeof v === 'object' && Number.isInteger(v.photoIndex);

  /** @param {any} list @returns {any[]} */
  const placementsOf = (list) => (Array.isArray(list) ? list.filter(isPlacement) : []);

  /**
   * A play-data record with every field in range: unknown or malformed values
   * take their defaults. Runtime fields (decoded photos, caches) are kept.
   * @param {any} raw
   */
  function normalizePlayData(raw) {
    const src = raw && typeof raw === 'object' ? raw : {};
    const drawList = placementsOf(src.drawList);
    const motion = MOTIONS.includes(src.motion) ? src.motion : 'drop';
    let wind = WINDS.includes(src.wind) ? src.wind : (src.gust === true ? 'gust' : 'none');
    if (motion === 'album') wind = 'none';
    const title = typeof src.title === 'string' ? Array.from(src.title.trim()).slice(0, TITLE_CARD_MAX).join('') : '';
    const titleCfg = src.titleCfg && typeof src.titleCfg === 'object' ? src.titleCfg : {};
    const spot = Number.isInteger(src.spotlightIndex) && src.spotlightIndex < drawList.length ? src.spotlightIndex : -1;
    const emphasis = Number(src.emphasisFactor);
    const holdSec = Number(src.holdSec);
    const variants = Array.isArray(src.variants) ? src.variants.map(placementsOf).filter((v) => v.length) : [];
    return {
      ...src,
      w: canvasSide(src.w),
      h: canvasSide(src.h),
      drawList,
      motion,
      speed: window.TY.album.rateOf(src.speed),
      background: typeof src.background === 'string' ? src.background : BG_FALLBACK_KEY,
      frame: frameKey(src.frame),
      filter: hasOwn(PHOTO_FILTERS, src.filter) ? src.filter : 'none',
      captions: Array.isArray(src.captions) ? src.captions.map((c) => (typeof c === 'string' ? c : '')) : null,
      captionCfg: src.captionCfg && typeof src.captionCfg === 'object' ? src.captionCfg : null,
      imageTitleCfg: src.imageTitleCfg && typeof src.imageTitleCfg === 'object' ? src.imageTitleCfg : null,
      title: title || null,
      titleCfg: { font: titleFontKey(titleCfg.font), color: typeof titleCfg.color === 'string' ? titleCfg.color : null },
      spotlightIndex: spot >= 0 ? spot : -1,
      emphasisFactor: Number.isFinite(emphasis) && emphasis > 0 ? emphasis : 1,
      dimOthers: !!src.dimOthers,
      dimTranslucent: !!src.dimTranslucent,
      albumCfg: window.TY.album.cfgOf(src.albumCfg),
      albumPhotos: Array.isArray(src.albumPhotos) ? src.albumPhotos.filter((i) => Number.isInteger(i)) : null,
      comments: Array.isArray(src.comments) ? src.comments.map((c) => (typeof c === 'string' ? c : '')) : [],
      watermark: false,
      holdSec: Number.isFinite(holdSec) && holdSec >= 0 ? holdSec : DEFAULT_HOLD_SEC,
      wind,
      regenerate: !!src.regenerate && variants.length > 0,
      variants,
    };
  }

  /**
   * Side in px to which each photo must be decoded so that no frame
   * enlarges it, headroom included.
   * @param {any} data play-data record
   * @returns {Map<number, number>} photo index → side
   */
  function decodeSideByPhoto(data) {
    /** @type {Map<number, number>} */
    const sides = new Map();
    const need = (/** @type {number} */ index, /** @type {number} */ side, /** @type {number} */ m) => {
      if (!Number.isInteger(index) || index < 0 || !(side > 0)) return;
      // The tolerance keeps float noise (200 × 1.325 = 265.00000000000006) from adding a pixel.
      sides.set(index, Math.max(sides.get(index) || 0, Math.ceil(side * DECODE_HEADROOM * m - 1e-9)));
    };
    const list = Array.isArray(data.drawList) ? data.drawList : [];
    if (data.motion === 'album') {
      const side = window.TY.album.previewCellSide(data.albumCfg, data.w, data.h);
      for (const p of list) if (p) need(p.photoIndex, side, 1);
      return sides;
    }
    const m = data.motion === 'sway' ? SWAY_START_SCALE : 1;
    const lists = [list, ...(Array.isArray(data.variants) ? data.variants : [])];
    for (const l of lists) for (const p of (Array.isArray(l) ? l : [])) if (p) need(p.photoIndex, p.outerW / OUTER_W_RATIO, m);
    const spot = list[data.spotlightIndex];
    if (spot) need(spot.photoIndex, (spot.outerW / OUTER_W_RATIO) * SPOT_SCALE, m);
    return sides;
  }

  /**
   * One print as the still picture draws it: dimmed (stardim, and half
   * opacity when translucent) unless starred and unless `undimmed`.
   * @param {Ctx} ctx @param {any} data @param {any} p placement to draw @param {boolean} [undimmed]
   */
  function drawPlayPrint(ctx, data, p, undimmed) {
    const dimmed = !undimmed && !!data.dimOthers && !p.featured;
    const bitmap = data.bitmaps ? data.bitmaps[p.photoIndex] : null;
    const cfg = data.captionCfg && typeof data.captionCfg === 'object' ? data.captionCfg : null;
    const caption = cfg && Array.isArray(data.captions) ? data.captions[p.photoIndex] : null;
    if (dimmed && data.dimTranslucent) {
      ctx.save();
      ctx.globalAlpha *= STAR_DIM_ALPHA;
    }
    drawOne(ctx, p, bitmap, data.frame, dimmed ? 'stardim' : data.filter, caption, cfg);
    if (dimmed && data.dimTranslucent) ctx.restore();
  }

  /** @param {any} p @param {number} i @param {number} prog @param {number} H */
  function dropPlacement(p, i, prog, H) {
    const rem = (1 - prog) ** 3;
    return { ...p, y: p.y - rem * (0.45 * H + p.outerH), rot: p.rot + rem * DROP_SPIN * (i % 2 ? -1 : 1), inAir: true };
  }

  /**
   * A leaf drifting down towards its place while receding from the viewer.
   * @param {any} p @param {number} i @param {number} prog @param {number} W @param {number} H
   */
  function swayTransform(p, i, prog, W, H) {
    const rem = 1 - prog;
    const seed = (i * SEED_STEP) % 6.283;
    const scale = SWAY_START_SCALE - (SWAY_START_SCALE - 1) * prog;
    const startX = W / 2 + (p.x - W / 2) * 0.15;
    const startY = Math.min(0.20 * SWAY_START_SCALE * p.outerH, p.y - 0.5 * p.outerH);
    const phase = seed + prog * 2 * Math.PI * SWAY_CYCLES;
    return {
      x: startX + (p.x - startX) * prog + Math.sin(phase) * SWAY_DRIFT_X * p.outerW * rem,
      y: startY + (p.y - startY) * prog + Math.cos(phase) * SWAY_DRIFT_Y * p.outerH * rem,
      rot: p.rot + Math.sin(phase) * SWAY_ROCK * rem,
      scale,
      widthFactor: 1 + Math.cos(phase) * SWAY_WIDTH * rem,
      blur: SWAY_BLUR * p.outerW * rem,
    };
  }

  /**
   * A surface kept in the document, hidden: some engines honour `filter`
   * only on canvases that are part of the document.
   * @param {number} w @param {number} h @returns {any}
   */
  function documentSurface(w, h) {
    const surface = makeSurface(w, h);
    const body = window.document && window.document.body;
    if (body && 'hidden' in surface) {
      surface.hidden = true;
      surface.setAttribute('aria-hidden', 'true');
      body.appendChild(surface);
    }
    return surface;
  }

  /** @type {boolean|null} */
  let blurSupported = null;

  /**
   * Whether canvas `filter` blur works on the blur surfaces: probed once by
   * blurring a small square and looking for its spread. Without it swaying
   * prints are drawn sharp.
   */
  function offscreenBlurWorks() {
    if (blurSupported !== null) return blurSupported;
    blurSupported = false;
    let probe = null;
    try {
      probe = documentSurface(24, 24);
      const pctx = /** @type {Ctx} */ (probe.getContext('2d', { willReadFrequently: true }));
      if ('filter' in pctx) {
        pctx.filter = 'blur(3px)';
        pctx.fillStyle = '#000';
        pctx.fillRect(10, 10, 4, 4);
        blurSupported = pctx.getImageData(5, 12, 1, 1).data[3] > 0;
      }
    } catch { blurSupported = false; }
    if (probe && probe.remove) probe.remove();
    return blurSupported;
  }

  /** Steps of the blur of a swaying card between none and its largest. */
  const SWAY_BLUR_LEVELS = 8;
  /** Sizes of the blurred copy: eighths of the card surface's size. */
  const SWAY_BLUR_RES_STEPS = 8;
  /** Smallest deviation, in px of the blurred copy, that hides its reduced size. */
  const SWAY_BLUR_MIN_DEVIATION = 0.75;

  /** Blur surfaces of prints that have landed, for the next prints to fall. */
  const spritePool = [];
  /** Spares beyond this give their pixels back: a big pile may have had many cards in the air at once. */
  const SPRITE_POOL_MAX = 24;

  /**
   * A pooled surface with its top-left w × h cleared. Surfaces only grow:
   * allocating a canvas costs more than clearing a corner of a larger one.
   * @param {number} w @param {number} h @returns {any}
   */
  function pooledSprite(w, h) {
    const sprite = spritePool.pop() || documentSurface(w, h);
    if (sprite.width < w) sprite.width = w;
    if (sprite.height < h) sprite.height = h;
    const sctx = /** @type {Ctx} */ (sprite.getContext('2d'));
    sctx.setTransform(1, 0, 0, 1, 0, 0);
    sctx.clearRect(0, 0, w, h);
    return sprite;
  }

  /**
   * Swaying prints in the air by list position. Each card is drawn once, in
   * its own rotation, and blurred again only when its blur moves to another
   * of SWAY_BLUR_LEVELS steps: drawing and blurring every card on every
   * frame cost more than a frame's time.
   * @type {Map<number, {p: any, bitmap: any, scale: number, sharp: any, soft: any, level: number, res: number, halfW: number, halfH: number, used: boolean}>}
   */
  const swayCards = new Map();

  /** @param {number} i */
  function releaseSwayCard(i) {
    const card = swayCards.get(i);
    if (!card) return;
    for (const sprite of [card.sharp, card.soft]) {
      if (spritePool.length < SPRITE_POOL_MAX) spritePool.push(sprite);
      else {
        sprite.width = sprite.height = 0;
        if (sprite.remove) sprite.remove();
      }
    }
    swayCards.delete(i);
  }

  function releaseSwayCards() {
    for (const i of [...swayCards.keys()]) releaseSwayCard(i);
  }

  /**
   * The card of print i at `scale`, its size of the moment (it only shrinks
   * from there as it falls), turned by its rest rotation, with room round it
   * for its shadow, decorations and largest blur.
   * @param {any} data @param {any} p @param {number} i @param {number} scale
   */
  function swayCard(data, p, i, scale) {
    const bitmap = data.bitmaps ? data.bitmaps[p.photoIndex] : null;
    const known = swayCards.get(i);
    if (known && known.p === p && known.bitmap === bitmap && known.scale >= scale) return known;
    releaseSwayCard(i);
    const outerW = p.outerW * scale;
    const outerH = p.outerH * scale;
    const pad = 0.3 * (outerW / OUTER_W_RATIO) + 3 * SWAY_BLUR * p.outerW;
    const cos = Math.abs(Math.cos(p.rot));
    const sin = Math.abs(Math.sin(p.rot));
    const halfW = Math.ceil((outerW * cos + outerH * sin) / 2 + pad);
    const halfH = Math.ceil((outerW * sin + outerH * cos) / 2 + pad);
    const sharp = pooledSprite(2 * halfW, 2 * halfH);
    const sctx = /** @type {Ctx} */ (sharp.getContext('2d'));
    sctx.imageSmoothingEnabled = true;
    sctx.imageSmoothingQuality = 'high';
    drawPlayPrint(sctx, data, { ...p, x: halfW, y: halfH, outerW, outerH });
    const card = { p, bitmap, scale, sharp, soft: pooledSprite(1, 1), level: 0, res: 0, halfW, halfH, used: true };
    swayCards.set(i, card);
    return card;
  }

  /**
   * A swaying print. Its blur is applied to the whole card as drawn, shadow
   * included: the card's surface is blurred by the blur relative to the
   * card's size, rounded to a step, so that it comes out as `blur` once the
   * surface is scaled to the card's size of the moment.
   * Notes the area it covers in `notes`.
   * @param {Ctx} ctx @param {any} data @param {any} p @param {number} i @param {number} prog @param {number} W @param {number} H
   * @param {Area[]} notes
   */
  function drawSwayPrint(ctx, data, p, i, prog, W, H, notes) {
    const tf = swayTransform(p, i, prog, W, H);
    if (!(tf.blur > 0.1) || !offscreenBlurWorks()) {
      const swaying = { ...p, x: tf.x, y: tf.y, rot: tf.rot, outerW: p.outerW * tf.scale, outerH: p.outerH * tf.scale };
      ctx.save();
      ctx.translate(tf.x, tf.y);
      ctx.scale(tf.widthFactor, 1);
      ctx.translate(-tf.x, -tf.y);
      drawPlayPrint(ctx, data, swaying);
      ctx.restore();
      notePrint(notes, swaying, tf.widthFactor);
      return;
    }
    const card = swayCard(data, p, i, tf.scale);
    card.used = true;
    const w = 2 * card.halfW;
    const h = 2 * card.halfH;
    const k = tf.scale / card.scale;
    // Blur relative to the card's size, in steps: at most SWAY_BLUR ×
    // outerW ÷ SWAY_START_SCALE, at the start of the fall.
    const step = (SWAY_BLUR * p.outerW) / SWAY_START_SCALE / SWAY_BLUR_LEVELS;
    const level = Math.max(1, Math.round(tf.blur / tf.scale / step));
    const deviation = level * step * card.scale;
    // The blurred copy is made at a step of the card surface's size: no
    // larger than the card is at the moment, and smaller still while the
    // blur is wide enough to hide it. Its cost grows faster than its area.
    const res = Math.min(1, Math.ceil(Math.min(k, SWAY_BLUR_MIN_DEVIATION / deviation) * SWAY_BLUR_RES_STEPS - 1e-9) / SWAY_BLUR_RES_STEPS);
    const rw = Math.ceil(w * res);
    const rh = Math.ceil(h * res);
    if (card.level !== level || card.res !== res) {
      card.soft.width = Math.max(card.soft.width, rw);
      card.soft.height = Math.max(card.soft.height, rh);
      const softCtx = /** @type {Ctx} */ (card.soft.getContext('2d'));
      softCtx.setTransform(1, 0, 0, 1, 0, 0);
      softCtx.clearRect(0, 0, rw, rh);
      // A filter works on a layer as large as the clip: without one, the
      // whole surface.
      softCtx.save();
      softCtx.beginPath();
      softCtx.rect(0, 0, rw, rh);
      softCtx.clip();
      softCtx.imageSmoothingEnabled = true;
      softCtx.imageSmoothingQuality = 'high';
      softCtx.filter = 'blur(' + (deviation * res).toFixed(2) + 'px)';
      softCtx.drawImage(card.sharp, 0, 0, w, h, 0, 0, w * res, h * res);
      softCtx.restore();
      card.level = level;
      card.res = res;
    }
    ctx.save();
    ctx.translate(tf.x, tf.y);
    ctx.scale(tf.widthFactor, 1);
    ctx.rotate(tf.rot - p.rot);
    ctx.scale(k / res, k / res);
    ctx.drawImage(card.soft, 0, 0, rw, rh, -card.halfW * res, -card.halfH * res, rw, rh);
    ctx.restore();
    // The copy's size is rounded up by less than one of its pixels.
    const slack = k / res;
    noteTurnedBox(notes, tf.x, tf.y, card.halfW * k + slack, card.halfH * k + slack, tf.rot - p.rot, tf.widthFactor);
  }

  /** Lets go of the cards of prints that were not in the air on this frame. */
  function releaseGroundedSwayCards() {
    for (const [i, card] of [...swayCards]) {
      if (card.used) card.used = false;
      else releaseSwayCard(i);
    }
  }

  /**
   * Background and landed prints of the current animation, kept between
   * frames (a procedural background is painted once, not every frame):
   * prints land in list order, so the landed ones are always a prefix of
   * the list and the layer only ever needs prints added to it. Lists are
   * compared by identity, as the album scene does: whoever changes photos
   * or captions supplies a new list.
   */
  const settled = { key: '', data: null, list: null, bitmaps: null, captions: null, layer: null, count: 0, version: 0 };
  /** The album draws no prints of its own: its layer is the background alone. */
  const NO_PRINTS = Object.freeze([]);

  /** @param {any} data @param {readonly any[]} list @param {number} count @param {number} W @param {number} H */
  function settledLayer(data, list, count, W, H) {
    const key = [W, H, data.background, customVersion, hasBackgroundImage(data.background) ? 1 : 0, data.frame, data.filter,
      !!data.dimOthers, !!data.dimTranslucent, JSON.stringify(data.captionCfg || null)].join('|');
    const stale = settled.key !== key || settled.data !== data || settled.list !== list || settled.bitmaps !== data.bitmaps
      || settled.captions !== data.captions || count < settled.count;
    if (stale) {
      if (!settled.layer) settled.layer = makeSurface(W, H);
      if (settled.layer.width !== W || settled.layer.height !== H) {
        settled.layer.width = W;
        settled.layer.height = H;
      }
      const lctx = /** @type {Ctx} */ (settled.layer.getContext('2d'));
      paintBackground(lctx, data.background, W, H);
      releaseSwayCards();
      Object.assign(settled, { key, data, list, bitmaps: data.bitmaps, captions: data.captions, count: 0, version: settled.version + 1 });
    }
    const lctx = /** @type {Ctx} */ (settled.layer.getContext('2d'));
    lctx.imageSmoothingEnabled = true;
    lctx.imageSmoothingQuality = 'high';
    for (let i = settled.count; i < count; i++) if (isPlacement(list[i])) drawPlayPrint(lctx, data, list[i]);
    settled.count = count;
    return settled.layer;
  }

  /** Opacity of the title card at t of d seconds. @param {number} t @param {number} d */
  function titleAlpha(t, d) {
    const fade = 0.28 * d;
    if (!(fade > 0)) return 1;
    if (t < fade) return Math.max(0, t / fade);
    if (t > d - fade) return Math.max(0, (d - t) / fade);
    return 1;
  }

  /** @type {{key: string, value: number}} */
  const luminanceCache = { key: '', value: 0 };

  /**
   * Brightness 0 … 1 of the band the title card's text covers; cached per
   * background, custom picture, texture state and canvas size.
   * @param {Ctx} ctx @param {string} background @param {number} W @param {number} H
   */
  function backgroundLuminance(ctx, background, W, H) {
    const key = [background, customVersion, hasBackgroundImage(background) ? 1 : 0, W + 'x' + H].join('|');
    if (luminanceCache.key === key) return luminanceCache.value;
    let value = 0;
    try {
      const probe = makeSurface(8, 8);
      const pctx = /** @type {Ctx} */ (probe.getContext('2d', { willReadFrequently: true }));
      pctx.drawImage(ctx.canvas, 0.07 * W, 0.35 * H, 0.86 * W, 0.30 * H, 0, 0, 8, 8);
      const px = pctx.getImageData(0, 0, 8, 8).data;
      let sum = 0;
      for (let i = 0; i < px.length; i += 4) sum += 0.2126 * px[i] + 0.7152 * px[i + 1] + 0.0722 * px[i + 2];
      value = sum / 64 / 255;
    } catch { value = 0; }
    luminanceCache.key = key;
    luminanceCache.value = value;
    return value;
  }

  /** @param {Ctx} ctx @param {any} data @param {number} W @param {number} H @param {number} alpha */
  function drawTitleCard(ctx, data, W, H, alpha) {
    const cfg = data.titleCfg && typeof data.titleCfg === 'object' ? data.titleCfg : {};
    const text = String(data.title).trim();
    let fill;
    let shadow;
    if (typeof cfg.color === 'string' && cfg.color) {
      fill = cfg.color;
      shadow = hexLuminance(cfg.color) > 0.55 ? 'rgba(0, 0, 0, 0.55)' : 'rgba(255, 255, 255, 0.8)';
    } else if (backgroundLuminance(ctx, data.background, W, H) > 0.55) {
      fill = '#3a2f24';
      shadow = 'rgba(255, 255, 255, 0.8)';
    } else {
      fill = '#fdfcf8';
      shadow = 'rgba(0, 0, 0, 0.55)';
    }
    const family = resolveFontFamily(cfg.font);
    let size = TITLE_CARD_SIZE * Math.min(W, H);
    ctx.save();
    ctx.font = size.toFixed(1) + 'px ' + family;
    while (ctx.measureText(text).width > 0.86 * W && size > 12) {
      size *= 0.92;
      ctx.font = size.toFixed(1) + 'px ' + family;
    }
    ctx.globalAlpha = alpha;
    ctx.textAlign = 'center';
    ctx.textBaseline = 'middle';
    ctx.shadowColor = shadow;
    ctx.shadowBlur = 0.18 * size;
    ctx.shadowOffsetX = 0;
    ctx.shadowOffsetY = 0;
    ctx.fillStyle = fill;
    ctx.fillText(text, W / 2, H / 2);
    ctx.restore();
  }

  /**
   * Progress 0 … 1 … 0 of the spotlight: out to the centre, hold, back.
   * @param {number} t @param {any} tm
   */
  function spotlightProgress(t, tm) {
    if (!(tm.spotDur > 0)) return 0;
    const local = t - (tm.total - tm.spotDur);
    if (local <= 0) return 0;
    const move = Math.max(0.001, tm.spotMove || tm.spotDur);
    if (local < move) return local / move;
    if (local < move + tm.spotHold) return 1;
    const back = Math.max(0.001, tm.spotReturn || move);
    return Math.max(0, 1 - (local - move - tm.spotHold) / back);
  }

  /** @param {Ctx} ctx @param {any} data @param {any} p @param {number} progress @param {number} scale @param {number} W @param {number} H */
  function drawSpotlight(ctx, data, p, progress, scale, W, H) {
    const q = Math.min(1, Math.max(0, progress));
    const e = q * q * (3 - 2 * q);
    ctx.save();
    ctx.fillStyle = 'rgba(0, 0, 0, ' + (SPOT_VEIL * Math.min(1, 2 * q)) + ')';
    ctx.fillRect(0, 0, W, H);
    ctx.restore();
    const k = 1 + (scale - 1) * e;
    drawPlayPrint(ctx, data, {
      ...p, x: p.x + (W / 2 - p.x) * e, y: p.y + (H / 2 - p.y) * e, rot: p.rot * (1 - e), outerW: p.outerW * k, outerH: p.outerH * k,
    }, true);
  }

  /** Copies a canvas-sized layer over the whole canvas. */
  function copyLayer(ctx, layer) {
    ctx.save();
    ctx.globalCompositeOperation = 'copy';
    ctx.globalAlpha = 1;
    ctx.drawImage(layer, 0, 0);
    ctx.restore();
  }

  /** Copies the area `a` ({x0, y0, x1, y1}, whole pixels) of a canvas-sized layer onto the canvas. */
  function copyArea(ctx, layer, a) {
    ctx.save();
    // Clipped rather than cut from the source: "copy" clears all it may
    // draw on, the whole canvas for a cut image.
    ctx.beginPath();
    ctx.rect(a.x0, a.y0, a.x1 - a.x0, a.y1 - a.y0);
    ctx.clip();
    copyLayer(ctx, layer);
    ctx.restore();
  }

  const areaOf = (a) => (a.x1 - a.x0) * (a.y1 - a.y0);

  /**
   * Areas ({x0, y0, x1, y1}) that moving parts of a frame were drawn on,
   * grown to whole pixels with a margin for anti-aliasing, within the
   * canvas; two that overlap become one where that covers no more than the
   * two apart (a copy per area costs little, a pixel copied twice as much as it).
   */
  function movedAreas(noted, canvas) {
    const areas = [];
    for (const m of noted) {
      let a = {
        x0: Math.max(0, Math.floor(m.x0) - 2), y0: Math.max(0, Math.floor(m.y0) - 2),
        x1: Math.min(canvas.width, Math.ceil(m.x1) + 2), y1: Math.min(canvas.height, Math.ceil(m.y1) + 2),
      };
      if (!(a.x1 > a.x0 && a.y1 > a.y0)) continue;
      for (let k = areas.length - 1; k >= 0; k--) {
        const b = areas[k];
        const both = { x0: Math.min(a.x0, b.x0), y0: Math.min(a.y0, b.y0), x1: Math.max(a.x1, b.x1), y1: Math.max(a.y1, b.y1) };
        if (areaOf(both) > areaOf(a) + areaOf(b)) continue;
        areas.splice(k, 1);
        a = both;
        k = areas.length;
      }
      areas.push(a);
    }
    return areas;
  }

  /** Reach of a print's shadow and decorations past its paper, in picture sides. */
  const PRINT_REACH = 0.25;

  /**
   * Notes the area of a box of half sizes hw × hh centred on (x, y), turned
   * by `rot` and then stretched across by `widthFactor`.
   * @param {Area[]} notes @param {number} x @param {number} y @param {number} hw @param {number} hh
   * @param {number} rot @param {number} [widthFactor]
   */
  function noteTurnedBox(notes, x, y, hw, hh, rot, widthFactor = 1) {
    const cos = Math.abs(Math.cos(rot));
    const sin = Math.abs(Math.sin(rot));
    const ex = widthFactor * (hw * cos + hh * sin);
    const ey = hw * sin + hh * cos;
    notes.push({ x0: x - ex, y0: y - ey, x1: x + ex, y1: y + ey });
  }

  /** Notes the area a print drawn at placement p covers, shadow and decorations included. @param {Area[]} notes @param {any} p @param {number} [widthFactor] */
  function notePrint(notes, p, widthFactor) {
    const reach = PRINT_REACH * p.outerW / OUTER_W_RATIO;
    noteTurnedBox(notes, p.x, p.y, p.outerW / 2 + reach, p.outerH / 2 + reach, p.rot, widthFactor);
  }

  /**
   * What the last frame of a playback of a pile left on its canvas: the
   * settled layer it was drawn on, how many prints had landed in it, and
   * the areas drawn over it (null: anywhere). The next frame of the same
   * playback puts back only those and the places of prints landed since:
   * copying the whole layer took a third of a 4K frame's time.
   * @type {WeakMap<object, {run: object, version: number, width: number, height: number, landed: number, notes: Area[]|null}>}
   */
  const pilePainted = new WeakMap();

  /**
   * Lays the settled layer under a frame of a pile: whole, or within a
   * playback that drew the previous frame on this layer, only where that
   * frame's prints and title were and where prints have landed since.
   * @param {Ctx} ctx @param {any} layer @param {readonly any[]} list @param {number} landed @param {object} [run]
   */
  function layPile(ctx, layer, list, landed, run) {
    const last = run ? pilePainted.get(ctx.canvas) : null;
    const same = last && last.run === run && last.notes && last.version === settled.version && last.landed <= landed
      && last.width === ctx.canvas.width && last.height === ctx.canvas.height;
    if (!same) {
      copyLayer(ctx, layer);
      return;
    }
    for (let i = last.landed; i < landed; i++) if (isPlacement(list[i])) notePrint(last.notes, list[i]);
    for (const area of movedAreas(last.notes, ctx.canvas)) copyArea(ctx, layer, area);
  }

  /**
   * Paints the frame at t seconds on a canvas already sized w × h. A player
   * gives every frame of one playback the same `run` object, telling that
   * nothing else draws on the canvas between them: the album then redraws
   * only what moved since the run's previous frame.
   * @param {HTMLCanvasElement|OffscreenCanvas} canvas @param {any} data @param {number} t @param {any} tm
   * @param {object} [run]
   */
  function drawAnimated(canvas, data, t, tm, run) {
    const ctx = /** @type {Ctx} */ (canvas.getContext('2d'));
    const W = canvas.width;
    const H = canvas.height;
    const album = data.motion === 'album';
    const list = !album && Array.isArray(data.drawList) ? data.drawList : NO_PRINTS;
    const lt = t - tm.titleDur;
    const progOf = (/** @type {number} */ i) => {
      const start = lt - i * tm.stagger;
      return tm.fallDur > 0 ? start / tm.fallDur : (start >= 0 ? 1 : 0);
    };
    let landed = 0;
    while (landed < list.length && progOf(landed) >= 1) landed++;
    const layer = settledLayer(data, list, landed, W, H);
    ctx.imageSmoothingEnabled = true;
    ctx.imageSmoothingQuality = 'high';
    if (album) {
      // The album lays the desk itself: most of its frames copy a still of
      // desk and book in one go.
      window.TY.album.drawScene(ctx, data, t, tm, { canvas: layer, version: settled.version, run });
      return;
    }
    layPile(ctx, layer, list, landed, run);
    /** @type {Area[]} */
    const notes = [];
    let coversAll = false;
    const sway = data.motion === 'sway';
    // Prints in the air are drawn anew on every frame, and for the fraction
    // of a second they move nobody tells cubic from linear sampling; at rest
    // (the layer above) they are drawn at the highest quality.
    ctx.imageSmoothingQuality = 'medium';
    for (let i = landed; i < list.length; i++) {
      const prog = progOf(i);
      if (prog <= 0) break; // later prints start later still
      const p = list[i];
      if (!isPlacement(p)) continue;
      if (sway) drawSwayPrint(ctx, data, p, i, prog, W, H, notes);
      else {
        const falling = dropPlacement(p, i, prog, H);
        drawPlayPrint(ctx, data, falling);
        notePrint(notes, falling);
      }
    }
    ctx.imageSmoothingQuality = 'high';
    releaseGroundedSwayCards();
    sweepAirPhotos();
    const cardShowing = typeof data.title === 'string' && data.title.trim() !== '' && tm.titleDur > 0 && t < tm.titleDur;
    // The title card and the spotlight's veil cover the whole canvas.
    if (cardShowing) {
      drawTitleCard(ctx, data, W, H, titleAlpha(t, tm.titleDur));
      coversAll = true;
    }
    const spot = list[data.spotlightIndex];
    if (isPlacement(spot) && data.spotlightIndex >= 0 && tm.spotDur > 0 && t > tm.total - tm.spotDur) {
      const emphasis = Number(data.emphasisFactor) > 0 ? Number(data.emphasisFactor) : 1;
      drawSpotlight(ctx, data, spot, spotlightProgress(t, tm), Math.max(SPOT_MIN_SCALE, SPOT_SCALE / emphasis), W, H);
      coversAll = true;
    }
    if (!cardShowing) {
      drawImageTitle(ctx, W, H, data.imageTitleCfg);
      const box = lastTitleBox;
      // Its outline and shadow reach past the box of its lines.
      const reach = box ? 0.5 * box.h : 0;
      if (box) notes.push({ x0: box.x - reach, y0: box.y - reach, x1: box.x + box.w + reach, y1: box.y + box.h + reach });
    }
    if (run) pilePainted.set(canvas, { run, version: settled.version, width: W, height: H, landed, notes: coversAll ? null : notes });
  }

  // ================================================================ paper exits
  // The live wallpaper's pile leaving with the wind.

  const PAPER_EXIT = {
    breeze: { shakePart: 0.24, slidePart: 0.16, driftX: 0.11, driftY: 0.075, rock: 0.16, widthTilt: 0.13 },
    gust: { shakePart: 0.16, slidePart: 0.18, driftX: 0.15, driftY: 0.10, rock: 0.22, widthTilt: 0.16 },
  };
  const BREEZE_FLIGHT_MS = 2000;
  const BREEZE_MIN_INTERVAL_MS = 60;
  const GUST_SPREAD = 0.16;

  /**
   * Departures of a breeze: a fixed flight time per print and an interval
   * that shrinks with many prints, so that many are in the air together.
   * @param {number} count @param {number} [maxTotalMs] @param {number} [pairSize]
   */
  function breezeSchedule(count, maxTotalMs = 16000, pairSize = 2) {
    const pair = Math.max(1, Math.floor(pairSize) || 1);
    const batches = Math.max(1, Math.ceil((Number(count) || 0) / pair));
    const intervalMs = batches > 1 ? Math.max(BREEZE_MIN_INTERVAL_MS, (maxTotalMs - BREEZE_FLIGHT_MS) / (batches - 1)) : 0;
    return { batches, pairSize: pair, flightMs: BREEZE_FLIGHT_MS, intervalMs, totalMs: intervalMs * (batches - 1) + BREEZE_FLIGHT_MS };
  }

  const smooth = (/** @type {number} */ v) => v * v * (3 - 2 * v);
  const clamp01 = (/** @type {number} */ v) => Math.min(1, Math.max(0, v));

  /**
   * Where print p of exit order k is at its own progress q: trembling on
   * the desk, sliding, then lifting off past the upper-right corner.
   * @param {any} p @param {number} k @param {number} q @param {number} W @param {number} H @param {string} strength
   */
  function paperFlightTransform(p, k, q, W, H, strength) {
    const cfg = PAPER_EXIT[strength] || PAPER_EXIT.breeze;
    if (!(q > 0)) return { x: p.x, y: p.y, rot: p.rot, scale: 1, widthFactor: 1, paperLift: 0, stage: 'desk' };
    const seed = ((k + 1) * SEED_STEP) % (2 * Math.PI);
    const flyStart = cfg.shakePart + cfg.slidePart;
    const shakeQ = Math.min(1, q / cfg.shakePart);
    const slideQ = clamp01((q - cfg.shakePart) / cfg.slidePart);
    const slide = smooth(slideQ);
    const flyQ = Math.max(0, (q - flyStart) / (1 - flyStart));
    const lift = smooth(Math.min(1, flyQ));
    if (q < flyStart) {
      const d = seed + shakeQ * 8 * Math.PI + slideQ * 5 * Math.PI;
      return {
        x: p.x + Math.sin(d) * 0.006 * p.outerW + 0.07 * p.outerW * slide,
        y: p.y + Math.cos(d) * 0.004 * p.outerH - 0.045 * p.outerH * slide,
        rot: p.rot + Math.sin(d) * cfg.rock * 0.16,
        scale: 1,
        widthFactor: 1 - (0.012 + 0.018 * slide) * (0.5 + 0.5 * Math.cos(d)),
        paperLift: 0,
        stage: q < cfg.shakePart ? 'shake' : 'slide',
      };
    }
    const push = lift + Math.sin(4 * Math.PI * flyQ) * Math.sin(Math.PI * flyQ) * 0.035;
    const travelX = W + 1.8 * p.outerW + Math.max(0, W - p.x);
    const travelY = H + 1.8 * p.outerH + Math.max(0, p.y);
    const envelope = Math.sin(Math.PI * flyQ);
    const phase = seed + flyQ * 4 * Math.PI;
    return {
      x: p.x + 0.07 * p.outerW + travelX * push + Math.sin(phase) * p.outerW * cfg.driftX * envelope,
      y: p.y - 0.045 * p.outerH - travelY * push + Math.cos(0.82 * phase) * p.outerH * cfg.driftY * envelope,
      rot: p.rot + Math.sin(phase) * cfg.rock * (0.35 + 0.65 * envelope),
      scale: 1 + 0.055 * Math.sin(Math.PI * flyQ),
      widthFactor: 1 - cfg.widthTilt * (0.45 + 0.55 * Math.cos(phase)),
      paperLift: Math.max(0.001, lift),
      stage: 'flight',
    };
  }

  /** Progress of exit order k of n in a gust at t (0 … 1). @param {number} k @param {number} n @param {number} t */
  function gustProgress(k, n, t) {
    const delay = n > 1 ? (k / (n - 1)) * GUST_SPREAD : 0;
    return clamp01((t - delay) / (1 - delay));
  }

  /** Progress of exit order k in a breeze at elapsedMs. @param {number} k @param {number} elapsedMs @param {any} schedule */
  function breezeProgress(k, elapsedMs, schedule) {
    const pair = schedule.pairSize || 2;
    const step = Number.isFinite(schedule.intervalMs) ? schedule.intervalMs : schedule.flightMs;
    const departure = Math.floor(k / pair) * step;
    return clamp01((elapsedMs - departure) / schedule.flightMs);
  }

  /**
   * One exit frame: prints on the desk keep their stacking; prints in the
   * air are painted above them, the first to lift in front.
   * @param {HTMLCanvasElement|OffscreenCanvas} canvas @param {any} data
   * @param {(k: number, n: number) => number} progressOf progress of exit order k
   * @param {string} strength
   */
  function drawPaperExit(canvas, data, progressOf, strength) {
    const ctx = /** @type {Ctx} */ (canvas.getContext('2d'));
    const W = canvas.width;
    const H = canvas.height;
    // Painted once per exit: a procedural desk would cost its specks on every
    // frame and draw them anew each time, so the desk would shimmer.
    ctx.save();
    ctx.globalCompositeOperation = 'copy';
    ctx.drawImage(settledLayer(data, NO_PRINTS, 0, W, H), 0, 0);
    ctx.restore();
    ctx.imageSmoothingEnabled = true;
    ctx.imageSmoothingQuality = 'high';
    const list = placementsOf(data.drawList);
    const n = list.length;
    const desk = [];
    const flying = [];
    list.forEach((p, i) => {
      const k = n - 1 - i;
      const q = progressOf(k, n);
      if (q >= 1) return; // gone past the canvas edges
      const tf = paperFlightTransform(p, k, q, W, H, strength);
      (tf.stage === 'flight' ? flying : desk).push({ p, tf, k });
    });
    flying.sort((a, b) => b.k - a.k);
    for (const { p, tf } of [...desk, ...flying]) {
      ctx.save();
      ctx.translate(tf.x, tf.y);
      ctx.scale(tf.widthFactor, 1);
      ctx.translate(-tf.x, -tf.y);
      drawPlayPrint(ctx, data, {
        ...p, x: tf.x, y: tf.y, rot: tf.rot, outerW: p.outerW * tf.scale, outerH: p.outerH * tf.scale, paperLift: tf.paperLift,
      });
      ctx.restore();
    }
    drawImageTitle(ctx, W, H, data.imageTitleCfg);
  }

  /**
   * Breeze frame at elapsedMs since it began.
   * @param {HTMLCanvasElement|OffscreenCanvas} canvas @param {any} data @param {number} elapsedMs @param {any} schedule
   */
  function drawBreeze(canvas, data, elapsedMs, schedule) {
    drawPaperExit(canvas, data, (k) => breezeProgress(k, elapsedMs, schedule), 'breeze');
  }

  /**
   * Gust frame at t in 0 … 1 of the gust.
   * @param {HTMLCanvasElement|OffscreenCanvas} canvas @param {any} data @param {number} t
   */
  function drawGust(canvas, data, t) {
    drawPaperExit(canvas, data, (k, n) => gustProgress(k, n, t), 'gust');
  }

  window.TY = window.TY || /** @type {Tessary.Namespace} */ ({});
  window.TY.render = {
    // tapes and patterns
    mulberry32, tornTapePath, paintTape, TAPE_COLORS, TAPE_PATTERNS, TAPE_PATTERN_KEYS,
    // photo cards
    drawOne, usableBitmap, photoInCell, photoCellRect, ensureCaptionFont, filteredSource, applyFilterChain,
    shade, colorToHex, fitText, PHOTO_FILTERS, PAPER,
    // backgrounds
    BACKGROUNDS, paintBackground, prepareBackground, hasBackgroundImage, setCustomBackground,
    hasCustomBackground, drawCover,
    get customBackgroundVersion() { return customVersion; },
    // still picture and title
    draw, composeTitle, drawImageTitle, resolveFontFamily, titleFontPrefix, hexLuminance,
    getTitleBox, canvasToBlob,
    // play data, motions and paper exits
    normalizePlayData, decodeSideByPhoto, drawAnimated, swayTransform, titleAlpha, spotlightProgress,
    backgroundLuminance, PAPER_EXIT, breezeSchedule, paperFlightTransform, gustProgress, breezeProgress,
    drawBreeze, drawGust,
    // layers put back under moving parts
    copyLayer, copyArea, movedAreas,
  };
})();
