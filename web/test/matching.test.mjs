// Reply matching against the real bridge, which broadcasts every reply to every client.

import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';
import WebSocket from 'ws';

import { COMMAND_REPLIES, TessivaClient } from '../tessiva.js';
import { BRIDGE_URL, BridgeProcess, waitFor } from './bridge-process.mjs';

/** A client that records the state token of each command it sends. */
function recordingClient() {
  const client = new TessivaClient({ url: BRIDGE_URL, WebSocket, timeout: 15000 });
  const sent = [];
  client.on('sent', (command) => sent.push(command));
  return { client, sent };
}

describe('reply matching with two clients', () => {
  let bridge;
  let alice;
  let bob;

  before(async () => {
    bridge = await BridgeProcess.start();
    alice = recordingClient();
    bob = recordingClient();
    await Promise.all([alice.client.connect(), bob.client.connect()]);
    const reply = await alice.client.init();
    assert.equal(reply.status, 'success', `init failed: ${JSON.stringify(reply)}`);
  });

  after(async () => {
    alice?.client.close();
    bob?.client.close();
    await bridge?.dispose();
  });

  test('each call settles with the reply to its own token, also when both send the same command', async () => {
    const rounds = [
      ['verify', 'verify'],
      ['identify', 'identify'],
      ['verify', 'identify'],
      ['cancelenroll', 'verify'],
      ['identify', 'cancelenroll'],
      ['init', 'init'],
    ];
    for (let round = 0; round < 5; round += 1) {
      for (const [aliceAct, bobAct] of rounds) {
        const aliceFrom = alice.sent.length;
        const bobFrom = bob.sent.length;
        const [aliceReply, bobReply] = await Promise.all([
          alice.client.request(aliceAct),
          bob.client.request(bobAct),
        ]);
        const aliceToken = alice.sent[aliceFrom].state;
        const bobToken = bob.sent[bobFrom].state;
        assert.notEqual(aliceToken, bobToken);
        assert.equal(aliceReply.event, COMMAND_REPLIES[aliceAct]);
        assert.equal(aliceReply.state, aliceToken);
        assert.equal(bobReply.event, COMMAND_REPLIES[bobAct]);
        assert.equal(bobReply.state, bobToken);
      }
    }
  });

  test("the other client's replies are still emitted, to both clients alike", async () => {
    const seen = { alice: new Map(), bob: new Map() };
    const offs = [
      alice.client.on('Verify Mode', (message) => seen.alice.set(message.state, JSON.stringify(message))),
      bob.client.on('Verify Mode', (message) => seen.bob.set(message.state, JSON.stringify(message))),
    ];
    try {
      await Promise.all([alice.client.verify(), bob.client.verify()]);
      const tokens = [alice.sent.at(-1).state, bob.sent.at(-1).state];
      // Each client resolves on its own reply; the other's may still be on its way.
      await waitFor(
        () => tokens.every((token) => seen.alice.has(token) && seen.bob.has(token)),
        "both 'Verify Mode' replies at both clients",
      );
      for (const token of tokens) assert.equal(seen.alice.get(token), seen.bob.get(token));
    } finally {
      for (const off of offs) off();
    }
  });

  test('sensor reports arrive as events typed by their "event", carrying the last command\'s state', async () => {
    const events = [];
    const offs = ['Finger Scan Info', 'Enrollment Finish', 'Identify'].map((name) =>
      bob.client.on(name, (message) => events.push(message)),
    );
    try {
      const start = await alice.client.enroll();
      assert.equal(start.event, 'Start Enrollment');
      for (const quality of [81, 77, 90]) await bridge.sensor('touch', 4, quality);
      await waitFor(() => events.length === 4, 'three scans and the enrollment result at bob');
      assert.deepEqual(
        events.map((message) => [message.event, message.quality, message.step_current, message.state]),
        [
          ['Finger Scan Info', 81, 1, start.state],
          ['Finger Scan Info', 77, 2, start.state],
          ['Finger Scan Info', 90, 3, start.state],
          ['Enrollment Finish', undefined, undefined, start.state],
        ],
      );
      const finish = events[3];
      assert.equal(finish.status, 'success');
      assert.ok(finish.template.length > 0, 'the enrolled template is sent');

      await bob.client.identify();
      await bridge.sensor('touch', 4);
      await waitFor(() => events.some((message) => message.event === 'Identify'), 'the identification');
      const identify = events.find((message) => message.event === 'Identify');
      assert.equal(identify.status, 'success');
      assert.equal(typeof identify.id, 'number');
      assert.notEqual(identify.id, -1);
    } finally {
      for (const off of offs) off();
    }
  });

  test('load puts kept templates into a new cache under new ids and says why it refuses others', async () => {
    const finished = new Promise((resolve) => alice.client.once('Enrollment Finish', resolve));
    await alice.client.enroll();
    for (const quality of [85, 80, 88]) await bridge.sensor('touch', 6, quality);
    const { template } = await finished;
    await alice.client.init();

    const seenByBob = new Promise((resolve) => bob.client.once('Load Templates', resolve));
    const reply = await alice.client.load([template, 'NQ10:00', 42]);
    assert.equal(reply.event, 'Load Templates');
    assert.equal(reply.status, 'fail');
    assert.equal(reply.message, 'Loaded 1 of 3 templates');
    assert.equal(reply.ids.length, 3);
    assert.ok(reply.ids[0] > 0, `an id for the template: ${JSON.stringify(reply)}`);
    assert.deepEqual(reply.ids.slice(1), [-1, -1]);
    assert.deepEqual(reply.reasons, ['', 'damaged template: wrong length', 'not a text']);
    assert.deepEqual(await seenByBob, reply);

    await alice.client.identify();
    const identified = new Promise((resolve) => bob.client.once('Identify', resolve));
    await bridge.sensor('touch', 6);
    const match = await identified;
    assert.equal(match.status, 'success');
    assert.equal(match.id, reply.ids[0]);
  });
});
