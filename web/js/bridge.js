// TY.bridge: the page's only channel to its host program. Commands go out as
// JSON text through window.chrome.webview; the host answers by calling
// window.kobHost.emit(event, payload). Outside the host every post is dropped.
//
// Contents:
//   commands and events · chunked transfers · requests and their answers
(function () {
  'use strict';
  const TY = (window.TY = window.TY || /** @type {Tessary.Namespace} */ ({}));

  /** Base64 characters per chunk: one browser message stays well below its limit. */
  const CHUNK_CHARS = 1048576;
  const REQUEST_ID_RANDOM_CHARS = 6;

  // ================================================================ commands and events
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

  // ================================================================ chunked transfers
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

  // ================================================================ requests and their answers
  /**
   * A request id the host accepts everywhere (letters and digits, at most 32
   * characters): the prefix, the time in base 36 and six random characters.
   * @param {string} prefix one or a few letters naming the kind of request
   * @returns {string}
   */
  function makeRequestId(prefix) {
    let tail = '';
    while (tail.length < REQUEST_ID_RANDOM_CHARS) tail += Math.floor(Math.random() * 36).toString(36);
    return prefix + Date.now().toString(36) + tail;
  }

  /**
   * Why a request ended without an answer.
   * @param {'timeout'|'busy'|'abandoned'} code
   * @param {string} message
   * @returns {Error & {code: string}}
   */
  function requestFailure(code, message) {
    const err = /** @type {Error & {code: string}} */ (new Error(message));
    err.code = code;
    return err;
  }

  /**
   * Requests of one kind sent to the host, each settled by the first of its
   * answer events. With `idField`, answers are matched by the request id
   * they repeat, so several requests may be in flight; without it (the
   * creation commands, whose answers carry no id) only one request of the
   * kind may be outstanding and a second is refused. An answer that matches
   * nothing pending (stale, repeated, or after the time-out) is dropped.
   *
   * A request id may be given again for a later step of the same exchange
   * (the save target, then the file), once the earlier step has settled.
   * @param {Tessary.RequestChannelSpec} spec
   * @returns {Tessary.RequestChannel}
   */
  function requestChannel(spec) {
    const idField = spec.idField || null;
    /** @type {Map<string, Tessary.PendingRequest>} */
    const pending = new Map();
    const ONLY = '';

    /** @param {string} key @param {Tessary.AnswerOf} result @param {Error|null} failure */
    function settle(key, result, failure) {
      const entry = pending.get(key);
      if (!entry) return;
      pending.delete(key);
      if (entry.timer !== null) clearTimeout(entry.timer);
      if (failure) entry.reject(failure);
      else entry.resolve(result);
    }

    for (const event of spec.answers) {
      on(event, (payload) => {
        if (!idField) {
          settle(ONLY, { event, payload }, null);
          return;
        }
        const id = payload && typeof payload === 'object' ? payload[idField] : undefined;
        if (typeof id === 'string') settle(id, { event, payload }, null);
      });
    }

    return {
      /**
       * Registers the request, then sends it (so that an answer given at once
       * is not missed). `send` is a message, which gets the id field, or a
       * function that posts whatever the command needs for the given id.
       * @param {object | ((id: string) => void)} send
       * @param {Tessary.RequestOptions} [options]
       * @returns {Promise<Tessary.AnswerOf>}
       */
      request(send, options = {}) {
        const id = idField ? options.id || makeRequestId(spec.idPrefix || 'r') : ONLY;
        if (pending.has(id)) {
          return Promise.reject(requestFailure('busy', idField ? 'request ' + id + ' is already waiting for its answer'
            : 'another request of this kind is still waiting for its answer'));
        }
        const timeoutMs = options.timeoutMs !== undefined ? options.timeoutMs : spec.timeoutMs || 0;
        const answer = new Promise((resolve, reject) => {
          /** @type {Tessary.PendingRequest} */
          const entry = { resolve, reject, timer: null };
          if (timeoutMs > 0) {
            entry.timer = setTimeout(() => settle(id, { event: '', payload: undefined },
              requestFailure('timeout', 'no answer within ' + timeoutMs + ' ms')), timeoutMs);
          }
          pending.set(id, entry);
        });
        try {
          if (typeof send === 'function') send(id);
          else post(idField ? Object.assign({}, send, { [idField]: id }) : send);
        } catch (err) {
          settle(id, { event: '', payload: undefined }, err instanceof Error ? err : new Error(String(err)));
        }
        return answer;
      },
      /**
       * Gives up a request: its promise fails with code "abandoned" and a later answer is dropped.
       * @param {string} [id] none for a kind without ids
       */
      abandon(id = ONLY) {
        settle(id, { event: '', payload: undefined }, requestFailure('abandoned', 'request abandoned'));
      },
      /** Requests still waiting for their answer. */
      pendingCount() {
        return pending.size;
      },
    };
  }

  window.kobHost = { emit };
  TY.bridge = {
    isHosted, post, on, emit, sendChunks, sendImageChunks, sendImageForSave, makeRequestId, requestChannel,
  };
})();
