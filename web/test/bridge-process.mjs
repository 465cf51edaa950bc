// Starts and stops the real Tessiva program for the tests, and touches its simulated sensor.
// Only one Tessiva may run at a time (it always listens on port 9090), so the test files that
// use this run one after another.

import { execFile, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const buildDir = process.env.TESSIVA_BUILD_DIR ?? path.join(repoRoot, 'build/default');

export const BRIDGE_BINARY = path.join(buildDir, 'app/tessiva');
export const SENSOR_TOOL = path.join(buildDir, 'engine/control/tessiva-sensor');
export const BRIDGE_PORT = 9090;
export const BRIDGE_URL = `ws://127.0.0.1:${BRIDGE_PORT}`;

/** Generous deadline for anything the program does, for a loaded 2-core machine. */
export const DEADLINE_MS = 20000;

const LOG_LIMIT = 256 * 1024;

/**
 * Resolves when `condition()` is truthy, checking every 25 ms; rejects after `timeoutMs`.
 * @param {() => any} condition
 * @param {string} what described in the failure
 */
export async function waitFor(condition, what, timeoutMs = DEADLINE_MS) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 25));
  }
}

function portAccepts(port) {
  return new Promise((resolve) => {
    const socket = net.connect({ host: '127.0.0.1', port });
    socket.once('connect', () => {
      socket.destroy();
      resolve(true);
    });
    socket.once('error', () => resolve(false));
  });
}

function run(file, args, env) {
  return new Promise((resolve) => {
    execFile(file, args, { env, timeout: 30000 }, (error, stdout, stderr) => {
      resolve({ code: error ? (error.code ?? 1) : 0, stdout: stdout.trim(), stderr: stderr.trim() });
    });
  });
}

/** One running Tessiva, with a private runtime directory for its sensor control socket. */
export class BridgeProcess {
  #child = null;
  #exited = null;
  #log = '';
  #runtimeDir;
  #killOnExit = null;

  constructor() {
    this.#runtimeDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessiva-web-test-'));
    fs.chmodSync(this.#runtimeDir, 0o700);
  }

  /** Starts a bridge and waits until its WebSocket port and sensor socket answer. */
  static async start() {
    const bridge = new BridgeProcess();
    await bridge.start();
    return bridge;
  }

  get env() {
    return { ...process.env, QT_QPA_PLATFORM: 'offscreen', XDG_RUNTIME_DIR: this.#runtimeDir };
  }

  /** Everything the program printed so far. */
  get log() {
    return this.#log;
  }

  get running() {
    return this.#child !== null;
  }

  async start() {
    if (this.#child) throw new Error('the bridge is already running');
    for (const file of [BRIDGE_BINARY, SENSOR_TOOL]) {
      if (!fs.existsSync(file)) throw new Error(`${file} is missing: build the default preset first`);
    }
    if (await portAccepts(BRIDGE_PORT)) {
      throw new Error(`port ${BRIDGE_PORT} is taken: another Tessiva is running; stop it first`);
    }
    const child = spawn(BRIDGE_BINARY, [], { env: this.env, stdio: ['ignore', 'pipe', 'pipe'] });
    this.#child = child;
    // A test run that dies must not leave the bridge holding the port.
    this.#killOnExit = () => child.kill('SIGKILL');
    process.once('exit', this.#killOnExit);
    const append = (chunk) => {
      this.#log = (this.#log + chunk.toString()).slice(-LOG_LIMIT);
    };
    child.stdout.on('data', append);
    child.stderr.on('data', append);
    this.#exited = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));
    let exit = null;
    this.#exited.then((result) => {
      exit = result;
    });
    try {
      await waitFor(async () => {
        if (exit) throw new Error(`the bridge exited at start (${JSON.stringify(exit)}):\n${this.#log}`);
        return (await portAccepts(BRIDGE_PORT)) && (await this.sensorStatus()).code === 0;
      }, 'the bridge to listen on its port and sensor socket');
    } catch (error) {
      await this.stop().catch(() => {});
      throw error;
    }
  }

  /** Stops the bridge with SIGTERM and waits for it to exit. */
  async stop() {
    const child = this.#child;
    if (!child) return;
    child.kill('SIGTERM');
    child.kill('SIGCONT'); // a frozen bridge handles SIGTERM only once it runs again
    let timer;
    const deadline = new Promise((resolve) => {
      timer = setTimeout(resolve, DEADLINE_MS, 'timeout');
    });
    const result = await Promise.race([this.#exited, deadline]);
    clearTimeout(timer);
    if (result === 'timeout') {
      child.kill('SIGKILL');
      await this.#exited;
    }
    this.#child = null;
    process.off('exit', this.#killOnExit);
    if (result === 'timeout') throw new Error(`the bridge did not exit within ${DEADLINE_MS} ms of SIGTERM`);
  }

  /** Freezes the bridge, to hold back its replies; resolves once every thread has stopped. */
  async freeze() {
    if (!this.#child) throw new Error('the bridge is not running');
    const pid = this.#child.pid;
    this.#child.kill('SIGSTOP');
    // The signal is delivered asynchronously: a thread may still be running just after kill().
    const taskDir = `/proc/${pid}/task`;
    const stopped = () =>
      fs.readdirSync(taskDir).every((task) => {
        const stat = fs.readFileSync(`${taskDir}/${task}/stat`, 'utf8');
        return /^[Tt]$/.test(stat.slice(stat.lastIndexOf(')') + 2, stat.lastIndexOf(')') + 3));
      });
    await waitFor(stopped, 'every thread of the bridge to stop');
  }

  /** Lets a frozen bridge run again. */
  thaw() {
    this.#child?.kill('SIGCONT');
  }

  sensorStatus() {
    return run(SENSOR_TOOL, ['status'], this.env);
  }

  /**
   * Runs `tessiva-sensor ARGS...`, which returns once the resulting events were broadcast.
   * @returns {Promise<string>} its answer; rejects when it reports an error
   */
  async sensor(...args) {
    const result = await run(SENSOR_TOOL, args.map(String), this.env);
    if (result.code !== 0) {
      throw new Error(`tessiva-sensor ${args.join(' ')} failed (${result.code}): ${result.stdout} ${result.stderr}`);
    }
    return result.stdout;
  }

  /** Stops the bridge and removes its runtime directory. */
  async dispose() {
    try {
      await this.stop();
    } finally {
      fs.rmSync(this.#runtimeDir, { recursive: true, force: true });
    }
  }
}
