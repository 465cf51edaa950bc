/**
 * Client for the Tessiva fingerprint bridge: a dependency-free ES module for browsers.
 *
 * The bridge sends every reply and every sensor report to all connected clients. This client
 * emits each of them as an event named after its "event" member, and resolves a command's
 * promise only with the reply that echoes the unique "state" token the call sent.
 *
 * @example
 * import { TessivaClient } from './tessiva.js';
 * const sensor = new TessivaClient();
 * sensor.on('Finger Scan Info', (scan) => console.log(scan.quality, scan.message));
 * await sensor.connect();
 * await sensor.init();
 *
 * @module tessiva
 */

/** Address the client connects to when no `url` option is given. */
export const DEFAULT_URL = 'ws://localhost:9090';

/**
 * The commands, by their "act", with the "event" of the reply that answers each: the six every
 * bridge knows, and the extension "load" (a bridge without it ignores it: the call times out).
 * @type {Readonly<Record<string, string>>}
 */
export const COMMAND_REPLIES = Object.freeze({
  init: 'Sensor Initialization',
  disconnect: 'Disconnecting Sensor',
  enroll: 'Start Enrollment',
  cancelenroll: 'Enrollment Cancel',
  verify: 'Verify Mode',
  identify: 'Identify Mode',
  load: 'Load Templates',
});

/**
 * The "event" names of what the sensor reports on its own, after a finger touches it.
 * @type {Readonly<{SCAN: string, ENROLLMENT: string, VERIFY: string, IDENTIFY: string}>}
 */
export const SENSOR_EVENTS = Object.freeze({
  SCAN: 'Finger Scan Info',
  ENROLLMENT: 'Enrollment Finish',
  VERIFY: 'Verify',
  IDENTIFY: 'Identify',
});

/**
 * The states of the connection, as `client.state` gives them.
 * - `closed`: not connected and not trying (before `connect()` and after `close()`);
 * - `connecting`: an attempt is under way;
 * - `open`: connected, commands can be sent;
 * - `waiting`: the connection was lost or refused, the next attempt is scheduled.
 * @type {Readonly<{CLOSED: string, CONNECTING: string, OPEN: string, WAITING: string}>}
 */
export const ConnectionState = Object.freeze({
  CLOSED: 'closed',
  CONNECTING: 'connecting',
  OPEN: 'open',
  WAITING: 'waiting',
});

/** WebSocket readyState of an open socket; read as a number so any implementation fits. */
const SOCKET_OPEN = 1;

/**
 * Why a command's promise was rejected, or a command could not be sent.
 * `code` is `timeout` (no reply in time), `disconnected` (no connection, or it was lost before
 * the reply) or `closed` (the client was closed by `close()`).
 */
export class TessivaError extends Error {
  /**
   * @param {'timeout'|'disconnected'|'closed'} code
   * @param {string} message
   * @param {{act?: string, state?: string}} [details] the command concerned, if any
   */
  constructor(code, message, details = {}) {
    super(message);
    this.name = 'TessivaError';
    /** @type {'timeout'|'disconnected'|'closed'} */
    this.code = code;
    /** @type {string|undefined} the command's "act" */
    this.act = details.act;
    /** @type {string|undefined} the "state" token the command was sent with */
    this.state = details.state;
  }
}

/**
 * @typedef {object} TessivaMessage A message from the bridge, as parsed from its JSON text.
 * @property {string} event what happened, e.g. "Sensor Initialization" or "Finger Scan Info"
 * @property {string} status "success" or "fail"
 * @property {string} message the human-readable outcome
 * @property {string} state the "state" of the command it answers, or of the last command
 * @property {number} sensor_count
 * @property {number} sensor_index
 * @property {string} sensor_SN
 * @property {string} mode "init", "enroll", "verify", "identify", "enrollfinish" or "enrollcancel"
 */

/**
 * @typedef {object} TessivaClientOptions
 * @property {string} [url] bridge address, default {@link DEFAULT_URL}
 * @property {typeof WebSocket} [WebSocket] WebSocket constructor, default `globalThis.WebSocket`
 *   (in Node, pass the one of the `ws` package)
 * @property {number} [timeout] milliseconds a command waits for its reply, default 10000
 * @property {boolean} [reconnect] reconnect when the connection is lost or refused, default true
 * @property {number} [reconnectDelay] first delay before reconnecting, ms, default 250
 * @property {number} [maxReconnectDelay] the delay doubles per failed attempt up to this, ms,
 *   default 5000
 */

/**
 * @typedef {object} StateChange Detail of the `statechange` event.
 * @property {string} state the new {@link ConnectionState}
 * @property {string} previous the state before
 * @property {number} attempt failed attempts since the last open connection
 * @property {number} [delay] in state `waiting`: ms until the next attempt
 */

/**
 * A connection to the bridge that reconnects on its own.
 *
 * Events, subscribed with {@link TessivaClient#on}:
 * - every bridge message under its "event" name ("Sensor Initialization", "Start Enrollment",
 *   "Finger Scan Info", "Enrollment Finish", "Verify", "Identify", ...), with the message;
 * - `message`: every bridge message, with the message;
 * - `sent`: every command written to the bridge, with `{act, state}`;
 * - `open`: the connection is established;
 * - `close`: an open connection ended, with `{code, reason}`;
 * - `statechange`: the connection state changed, with a {@link StateChange};
 * - `error`: a bridge message could not be parsed, with `{error, data}`.
 * The bridge's event names begin with a capital letter; the client's own are lower case.
 */
export class TessivaClient {
  #url;
  #WebSocket;
  #timeout;
  #reconnect;
  #reconnectDelay;
  #maxReconnectDelay;
  #socket = null;
  #state = ConnectionState.CLOSED;
  #failedAttempts = 0;
  #retryTimer = null;
  #listeners = new Map();
  /** @type {Map<string, {event: string, resolve: Function, reject: Function, timer: any, act: string}>} */
  #pending = new Map();
  #openWaiters = [];
  #tokenPrefix = `tessiva-${Math.random().toString(36).slice(2, 10)}`;
  #tokenCount = 0;

  /** @param {TessivaClientOptions} [options] */
  constructor(options = {}) {
    this.#url = options.url ?? DEFAULT_URL;
    this.#WebSocket = options.WebSocket ?? globalThis.WebSocket;
    this.#timeout = options.timeout ?? 10000;
    this.#reconnect = options.reconnect ?? true;
    this.#reconnectDelay = options.reconnectDelay ?? 250;
    this.#maxReconnectDelay = options.maxReconnectDelay ?? 5000;
    if (typeof this.#WebSocket !== 'function') {
      throw new TypeError('TessivaClient: no WebSocket implementation; pass options.WebSocket');
    }
  }

  /** The bridge address. @type {string} */
  get url() {
    return this.#url;
  }

  /** The current {@link ConnectionState}. @type {string} */
  get state() {
    return this.#state;
  }

  /** Whether commands can be sent now. @type {boolean} */
  get connected() {
    return this.#state === ConnectionState.OPEN;
  }

  /**
   * Starts connecting, if not already, and keeps reconnecting with backoff until `close()`.
   * While a reconnection is scheduled, it tries at once instead.
   * @returns {Promise<void>} resolves when the connection is open; rejects with a
   *   {@link TessivaError} `closed` if `close()` comes first, with `disconnected` if the attempt
   *   fails while `reconnect` is off, and with the WebSocket constructor's error for a malformed URL
   */
  connect() {
    if (this.#state === ConnectionState.OPEN) return Promise.resolve();
    const opened = new Promise((resolve, reject) => this.#openWaiters.push({ resolve, reject }));
    if (this.#state === ConnectionState.CLOSED) {
      this.#failedAttempts = 0;
      this.#openSocket();
    } else if (this.#state === ConnectionState.WAITING) {
      clearTimeout(this.#retryTimer);
      this.#retryTimer = null;
      this.#openSocket();
    }
    return opened;
  }

  /**
   * Closes the connection and stops reconnecting. Pending commands and `connect()` promises
   * reject with a {@link TessivaError} `closed`. `connect()` may be called again later.
   */
  close() {
    clearTimeout(this.#retryTimer);
    this.#retryTimer = null;
    const socket = this.#socket;
    this.#socket = null;
    const wasOpen = this.#state === ConnectionState.OPEN;
    this.#setState(ConnectionState.CLOSED);
    this.#rejectAll('closed', 'the client was closed');
    for (const waiter of this.#openWaiters.splice(0)) {
      waiter.reject(new TessivaError('closed', 'the client was closed before it connected'));
    }
    if (socket) {
      socket.close();
      if (wasOpen) this.#emit('close', { code: 1000, reason: 'closed by the client' });
    }
  }

  /**
   * Subscribes to an event (see the class description for the names).
   * @param {string} type a bridge "event" name or one of the client's own event names
   * @param {(detail: any) => void} listener called with the message or the event's detail
   * @returns {() => void} a function that unsubscribes the listener
   */
  on(type, listener) {
    if (!this.#listeners.has(type)) this.#listeners.set(type, new Set());
    this.#listeners.get(type).add(listener);
    return () => this.off(type, listener);
  }

  /**
   * Subscribes to the next occurrence of an event only.
   * @param {string} type
   * @param {(detail: any) => void} listener
   * @returns {() => void} a function that unsubscribes the listener
   */
  once(type, listener) {
    const off = this.on(type, (detail) => {
      off();
      listener(detail);
    });
    return off;
  }

  /**
   * Removes a listener added with `on`.
   * @param {string} type
   * @param {(detail: any) => void} listener
   */
  off(type, listener) {
    this.#listeners.get(type)?.delete(listener);
  }

  /**
   * Sends a command without waiting for its reply, which arrives as an event.
   * @param {string} act the command, e.g. "verify"
   * @param {*} [state] any JSON value; the bridge echoes it as text in the reply and in the
   *   sensor events that follow. It closes the connection of a client whose "state" is an
   *   object, an array or null.
   * @param {object} [members] the command's other members, e.g. `{ templates }` for "load"
   * @throws {TessivaError} `disconnected` when the connection is not open
   */
  send(act, state = '', members = {}) {
    const socket = this.#socket;
    if (this.#state !== ConnectionState.OPEN || !socket || socket.readyState !== SOCKET_OPEN) {
      throw new TessivaError('disconnected', `cannot send "${act}": not connected`, { act });
    }
    socket.send(JSON.stringify({ act, state, ...members }));
    this.#emit('sent', { act, state, ...members });
  }

  /**
   * Sends one of the commands and waits for its reply. The reply is matched by its "event"
   * and by the "state" token this call sends, so replies to other clients' commands, which the
   * bridge broadcasts too, never settle it.
   * @param {string} act one of the keys of {@link COMMAND_REPLIES}
   * @param {{timeout?: number}} [options] `timeout` in ms overrides the client's
   * @param {object} [members] the command's other members (see `send`)
   * @returns {Promise<TessivaMessage>} the reply, also when its "status" is "fail"; rejects with
   *   a {@link TessivaError}: `timeout`, `disconnected` or `closed`
   */
  request(act, options = {}, members = {}) {
    if (!Object.hasOwn(COMMAND_REPLIES, act)) {
      return Promise.reject(new TypeError(`unknown command "${act}"`));
    }
    const event = COMMAND_REPLIES[act];
    const state = `${this.#tokenPrefix}-${++this.#tokenCount}`;
    try {
      this.send(act, state, members);
    } catch (error) {
      return Promise.reject(error);
    }
    const timeout = options.timeout ?? this.#timeout;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.#pending.delete(state);
        reject(new TessivaError('timeout', `no reply to "${act}" within ${timeout} ms`, { act, state }));
      }, timeout);
      this.#pending.set(state, { act, event, resolve, reject, timer });
    });
  }

  /**
   * Initialises the sensor; the reply is "Sensor Initialization" (status "fail" when no sensor
   * could be started). Also switches the bridge to identification.
   * @param {{timeout?: number}} [options]
   * @returns {Promise<TessivaMessage>}
   */
  init(options) {
    return this.request('init', options);
  }

  /**
   * Disconnects the sensor (not this client: see `close()`); the reply is "Disconnecting Sensor".
   * @param {{timeout?: number}} [options]
   * @returns {Promise<TessivaMessage>}
   */
  disconnect(options) {
    return this.request('disconnect', options);
  }

  /**
   * Starts an enrolment of three presses; the reply is "Start Enrollment" with "step_current",
   * "step_total" and "step_remainder". Each press then arrives as "Finger Scan Info" and the
   * result, with its "template", as "Enrollment Finish".
   * @param {{timeout?: number}} [options]
   * @returns {Promise<TessivaMessage>}
   */
  enroll(options) {
    return this.request('enroll', options);
  }

  /**
   * Cancels a running enrolment and switches to verification; the reply is "Enrollment Cancel".
   * @param {{timeout?: number}} [options]
   * @returns {Promise<TessivaMessage>}
   */
  cancelEnroll(options) {
    return this.request('cancelenroll', options);
  }

  /**
   * Switches to verification (1:1) against the last enrolled finger; the reply is
   * "Verify Mode", and each touch then gives a "Verify" event.
   * @param {{timeout?: number}} [options]
   * @returns {Promise<TessivaMessage>}
   */
  verify(options) {
    return this.request('verify', options);
  }

  /**
   * Switches to identification (1:N) among the enrolled fingers; the reply is "Identify Mode",
   * and each touch then gives an "Identify" event with "id" (-1 when none matched), "score" and
   * "processnum".
   * @param {{timeout?: number}} [options]
   * @returns {Promise<TessivaMessage>}
   */
  identify(options) {
    return this.request('identify', options);
  }

  /**
   * Puts templates kept from earlier "Enrollment Finish" events back into the bridge's current
   * fingerprint cache, each under the next id, so that identification finds them again. The
   * reply is "Load Templates": "ids" holds, in the order sent, the id each template got (-1 when
   * refused) and "reasons" why one was refused ("" when loaded); "status" is "success" only when
   * every template was loaded. An "init" empties the cache again.
   * @param {string[]} templates
   * @param {{timeout?: number}} [options]
   * @returns {Promise<TessivaMessage>}
   */
  load(templates, options) {
    return this.request('load', options, { templates });
  }

  #openSocket() {
    this.#setState(ConnectionState.CONNECTING);
    let socket;
    try {
      socket = new this.#WebSocket(this.#url);
    } catch (error) {
      // A malformed URL will not get better by retrying.
      this.#setState(ConnectionState.CLOSED);
      for (const waiter of this.#openWaiters.splice(0)) waiter.reject(error);
      return;
    }
    this.#socket = socket;
    socket.binaryType = 'arraybuffer';
    socket.onopen = () => {
      if (this.#socket !== socket) return;
      this.#failedAttempts = 0;
      this.#setState(ConnectionState.OPEN);
      for (const waiter of this.#openWaiters.splice(0)) waiter.resolve();
      this.#emit('open', { url: this.#url });
    };
    socket.onmessage = (event) => {
      if (this.#socket === socket) this.#receive(event.data);
    };
    // Browsers tell nothing useful on error; the close that always follows does the work.
    socket.onerror = () => {};
    socket.onclose = (event) => {
      if (this.#socket !== socket) return;
      this.#socket = null;
      const wasOpen = this.#state === ConnectionState.OPEN;
      this.#rejectAll('disconnected', 'the connection to the bridge was lost');
      if (wasOpen) this.#emit('close', { code: event.code, reason: event.reason });
      this.#scheduleReconnect();
    };
  }

  #scheduleReconnect() {
    if (!this.#reconnect) {
      this.#setState(ConnectionState.CLOSED);
      for (const waiter of this.#openWaiters.splice(0)) {
        waiter.reject(new TessivaError('disconnected', `could not connect to ${this.#url}`));
      }
      return;
    }
    // Jitter keeps many pages from hammering a restarting bridge in step.
    const base = Math.min(this.#maxReconnectDelay, this.#reconnectDelay * 2 ** this.#failedAttempts);
    const delay = Math.round(base * (0.8 + 0.4 * Math.random()));
    this.#failedAttempts += 1;
    this.#setState(ConnectionState.WAITING, { delay });
    this.#retryTimer = setTimeout(() => {
      this.#retryTimer = null;
      this.#openSocket();
    }, delay);
  }

  #receive(data) {
    let message;
    try {
      const text = typeof data === 'string' ? data : new TextDecoder().decode(data);
      message = JSON.parse(text);
      if (message === null || typeof message !== 'object' || typeof message.event !== 'string') {
        throw new TypeError('not a bridge message: no "event"');
      }
    } catch (error) {
      this.#emit('error', { error, data });
      return;
    }
    const call = typeof message.state === 'string' ? this.#pending.get(message.state) : undefined;
    if (call && call.event === message.event) {
      this.#pending.delete(message.state);
      clearTimeout(call.timer);
      call.resolve(message);
    }
    this.#emit('message', message);
    this.#emit(message.event, message);
  }

  #rejectAll(code, reason) {
    const calls = [...this.#pending.entries()];
    this.#pending.clear();
    for (const [state, call] of calls) {
      clearTimeout(call.timer);
      call.reject(new TessivaError(code, `no reply to "${call.act}": ${reason}`, { act: call.act, state }));
    }
  }

  #setState(state, extra = {}) {
    const previous = this.#state;
    if (previous === state) return;
    this.#state = state;
    this.#emit('statechange', { state, previous, attempt: this.#failedAttempts, ...extra });
  }

  #emit(type, detail) {
    const listeners = this.#listeners.get(type);
    if (!listeners) return;
    for (const listener of [...listeners]) {
      try {
        listener(detail);
      } catch (error) {
        // One faulty listener must not starve the others or break the connection.
        queueMicrotask(() => {
          throw error;
        });
      }
    }
  }
}
