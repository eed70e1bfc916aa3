// TY.bridge: the page's only channel to its host program. Commands go out as
// JSON text through window.chrome.webview; the host answers by calling
// window.kobHost.emit(event, payload). Outside the host every post is dropped.
(function () {
  'use strict';
  /** @type {any} */
  const TY = (window.TY = window.TY || {});

  /** Base64 characters per chunk: one browser message stays well below its limit. */
  const CHUNK_CHARS = 1048576;

  const isHosted = !!(window.chrome && window.chrome.webview);
  /** @type {Map<string, Array<(payload: any) => void>>} */
  const listeners = new Map();

  /** @param {object} message a command object with a `cmd` member */
  function post(message) {
    if (!isHosted) return;
    window.chrome.webview.postMessage(JSON.stringify(message));
  }

  /**
   * @param {string} event
   * @param {(payload: any) => void} listener
   */
  function on(event, listener) {
    const list = listeners.get(event);
    if (list) list.push(listener);
    else listeners.set(event, [listener]);
  }

  /**
   * Runs the event's listeners in registration order. A listener that throws
   * is reported and does not keep the others from their event.
   * @param {string} event
   * @param {any} [payload]
   */
  function emit(event, payload) {
    const list = listeners.get(event);
    if (!list) return;
    for (const listener of list.slice()) {
      try {
        listener(payload);
      } catch (err) {
        console.error('Tessary [bridge] listener of "' + event + '" failed:', err);
      }
    }
  }

  /**
   * Posts one base64 text as numbered chunks, all at once and in order.
   * @param {string} cmd
   * @param {string} base64
   * @param {object} [extra] fields every chunk carries (they win over the chunk fields)
   */
  function sendChunks(cmd, base64, extra) {
    const text = base64 || '';
    const totalChunks = Math.max(1, Math.ceil(text.length / CHUNK_CHARS));
    for (let i = 0; i < totalChunks; i++) {
      const data = text.slice(i * CHUNK_CHARS, (i + 1) * CHUNK_CHARS);
      post(Object.assign({ cmd, chunkIndex: i, totalChunks, data }, extra));
    }
  }

  /**
   * Sends the base64 part of a data URL (everything after its first comma).
   * @param {string} cmd
   * @param {string} dataUrl
   * @param {string} format
   * @param {object} [request] e.g. {requestId, generationId}
   */
  function sendImageChunks(cmd, dataUrl, format, request) {
    const text = String(dataUrl || '');
    const base64 = text.slice(text.indexOf(',') + 1);
    sendChunks(cmd, base64, Object.assign({ format }, request));
  }

  /**
   * @param {string} dataUrl
   * @param {string} format
   * @param {object} [request]
   */
  function sendImageForSave(dataUrl, format, request) {
    sendImageChunks('saveImage', dataUrl, format, request);
  }

  window.kobHost = { emit };
  TY.bridge = { isHosted, post, on, emit, sendChunks, sendImageChunks, sendImageForSave };
})();
