'use strict';
// A fake clock for page scripts loaded with vm-load: timers, animation
// frames (every 1000/60 ms) and performance.now() that move only when a
// test advances them, with the promises between them settled after every
// callback.

const FRAME_MS = 1000 / 60;

/** Lets every pending promise reaction run: they all go before the next macrotask. */
const settle = () => new Promise((resolve) => setImmediate(resolve));

function fakeClock() {
  let now = 0;
  let nextId = 1;
  let order = 0;
  /** @type {Map<number, {at: number, kind: 'timeout'|'frame', run: () => void, order: number}>} */
  const pending = new Map();
  const fired = { timeout: 0, frame: 0 };

  const globals = {
    setTimeout(fn, ms = 0, ...args) {
      const id = nextId++;
      pending.set(id, { at: now + Math.max(0, Number(ms) || 0), kind: 'timeout', run: () => fn(...args), order: order++ });
      return id;
    },
    clearTimeout(id) {
      if (pending.get(id)?.kind === 'timeout') pending.delete(id);
    },
    requestAnimationFrame(fn) {
      const id = nextId++;
      const at = (Math.floor(now / FRAME_MS + 1e-9) + 1) * FRAME_MS;
      pending.set(id, { at, kind: 'frame', run: () => fn(now), order: order++ });
      return id;
    },
    cancelAnimationFrame(id) {
      if (pending.get(id)?.kind === 'frame') pending.delete(id);
    },
    performance: { now: () => now },
  };

  function earliest(until) {
    let best = null;
    for (const [id, t] of pending) {
      if (t.at > until) continue;
      if (!best || t.at < best.t.at || (t.at === best.t.at && t.order < best.t.order)) best = { id, t };
    }
    return best;
  }

  /**
   * Moves the clock by ms, running every timer and frame that falls due in
   * time order; `after` is called once things have settled after each.
   * @param {number} ms
   * @param {() => void} [after]
   */
  async function advance(ms, after) {
    const until = now + ms;
    await settle();
    for (let next = earliest(until); next; next = earliest(until)) {
      pending.delete(next.id);
      now = Math.max(now, next.t.at);
      fired[next.t.kind]++;
      next.t.run();
      await settle();
      if (after) after();
    }
    now = until;
    await settle();
    if (after) after();
  }

  return {
    globals,
    advance,
    settle,
    fired,
    /** The kinds of the callbacks still waiting, e.g. ['timeout', 'frame']. */
    pendingKinds: () => [...pending.values()].map((t) => t.kind),
    get now() { return now; },
  };
}

module.exports = { fakeClock, FRAME_MS };
