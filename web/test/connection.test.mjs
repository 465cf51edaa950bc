// Timeouts, lost connections and reconnection, against the real bridge.

import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';
import WebSocket from 'ws';

import { ConnectionState, TessivaClient } from '../tessiva.js';
import { BRIDGE_URL, BridgeProcess, waitFor } from './bridge-process.mjs';

describe('connection lifecycle', () => {
  let bridge;
  let client;
  const changes = [];

  before(async () => {
    bridge = await BridgeProcess.start();
    client = new TessivaClient({
      url: BRIDGE_URL,
      WebSocket,
      timeout: 15000,
      reconnectDelay: 100,
      maxReconnectDelay: 1000,
    });
    client.on('statechange', (change) => changes.push(change));
    await client.connect();
  });

  after(async () => {
    client?.close();
    await bridge?.dispose();
  });

  test('a command the frozen bridge cannot answer times out; its late reply does not settle a later call', async () => {
    const late = [];
    const off = client.on('Verify Mode', (message) => late.push(message.state));
    let timedOut;
    try {
      await bridge.freeze();
      timedOut = await client.verify({ timeout: 400 }).then(
        () => assert.fail('a frozen bridge cannot reply'),
        (error) => error,
      );
    } finally {
      bridge.thaw();
    }
    try {
      assert.equal(timedOut.name, 'TessivaError');
      assert.equal(timedOut.code, 'timeout');
      assert.equal(timedOut.act, 'verify');
      await waitFor(() => late.includes(timedOut.state), 'the late reply to be emitted');
      const reply = await client.verify();
      assert.notEqual(reply.state, timedOut.state);
      assert.equal(client.state, ConnectionState.OPEN);
    } finally {
      off();
    }
  });

  test('a connection the bridge drops rejects the command in flight, then comes back', async () => {
    const opened = new Promise((resolve) => client.once('open', resolve));
    // The bridge closes the connection of a client whose "state" it cannot read as text,
    // before it reads the command queued behind it.
    client.send('verify', null);
    const error = await client.identify().then(
      () => assert.fail('the command was answered on a dropped connection'),
      (rejection) => rejection,
    );
    assert.equal(error.code, 'disconnected');
    assert.equal(error.act, 'identify');
    await opened;
    const reply = await client.identify();
    assert.equal(reply.event, 'Identify Mode');
  });

  test('while the bridge is down, commands fail at once and the client retries with growing delays; it reconnects when the bridge is back', async () => {
    const closed = new Promise((resolve) => client.once('close', resolve));
    const from = changes.length;
    await bridge.stop();
    await closed;
    await assert.rejects(client.init(), { name: 'TessivaError', code: 'disconnected' });

    const waits = () => changes.slice(from).filter((change) => change.state === ConnectionState.WAITING);
    await waitFor(() => waits().length >= 3, 'three failed reconnection attempts');
    const [first, second, third] = waits();
    assert.ok(first.delay < second.delay && second.delay < third.delay,
      `delays grow: ${first.delay}, ${second.delay}, ${third.delay}`);

    const opened = new Promise((resolve) => client.once('open', resolve));
    await bridge.start();
    await opened;
    const reply = await client.init();
    assert.equal(reply.event, 'Sensor Initialization');
    assert.equal(reply.status, 'success');
  });

  test('close() rejects pending commands and stops reconnecting', async () => {
    try {
      await bridge.freeze();
      const pending = client.verify();
      client.close();
      await assert.rejects(pending, { code: 'closed' });
      assert.equal(client.state, ConnectionState.CLOSED);
      await assert.rejects(client.verify(), { code: 'disconnected' });
    } finally {
      bridge.thaw();
    }
  });
});
