// The demo page in Debian's chromium against the real bridge: connect, initialize, enroll a
// finger with three touches, identify it, fail to identify another, load the saved template back
// after a new init and identify it again. Leaves a screenshot of the final page in
// build/web/demo-final.png.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

import { BRIDGE_URL, BridgeProcess, DEADLINE_MS } from '../test/bridge-process.mjs';

const webDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const screenshotPath = path.resolve(webDir, '../build/web/demo-final.png');
const CHROMIUM = process.env.CHROMIUM ?? '/usr/bin/chromium';
const PAGE_FILES = {
  '/demo.html': 'text/html; charset=utf-8',
  '/demo.css': 'text/css; charset=utf-8',
  '/demo.js': 'text/javascript; charset=utf-8',
  '/tessiva.js': 'text/javascript; charset=utf-8',
};

/** Serves the page's four files, and nothing else, on a free loopback port. */
function servePage() {
  const server = http.createServer((request, response) => {
    const file = new URL(request.url, 'http://localhost').pathname;
    const type = PAGE_FILES[file];
    if (!type) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'content-type': type, 'cache-control': 'no-store' });
    response.end(fs.readFileSync(path.join(webDir, file)));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

let bridge;
let server;
let context;
let profileDir;

before(async () => {
  bridge = await BridgeProcess.start();
  server = await servePage();
  profileDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessiva-chromium-'));
  context = await chromium.launchPersistentContext(profileDir, {
    executablePath: CHROMIUM,
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--no-first-run',
    ],
    viewport: { width: 1280, height: 900 },
    timeout: DEADLINE_MS * 3,
  });
  context.setDefaultTimeout(DEADLINE_MS);
});

after(async () => {
  await context?.close();
  await new Promise((resolve) => (server ? server.close(resolve) : resolve()));
  await bridge?.dispose();
  if (profileDir) fs.rmSync(profileDir, { recursive: true, force: true });
});

test('enroll and identify a finger from the demo page', async () => {
  const page = context.pages()[0] ?? (await context.newPage());
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(error));
  page.on('console', (message) => {
    if (message.type() === 'error') pageErrors.push(new Error(message.text()));
  });

  const { port } = server.address();
  await page.goto(`http://127.0.0.1:${port}/demo.html?bridge=${encodeURIComponent(BRIDGE_URL)}`);
  await page.locator('#connection[data-state="open"]').waitFor();

  const text = (selector, expected) =>
    page.waitForFunction(
      ([sel, source]) => new RegExp(source).test(document.querySelector(sel)?.textContent ?? ''),
      [selector, expected.source],
    );
  const progress = async () => {
    const bar = page.locator('#enroll-progress');
    return [Number(await bar.getAttribute('aria-valuenow')), Number(await bar.getAttribute('aria-valuemax'))];
  };

  assert.equal(await page.locator('#load-saved').isEnabled(), false, 'nothing saved to load yet');
  await page.getByRole('button', { name: 'Initialize' }).click();
  await text('#sensor-status', /^Connected$/);

  await page.getByRole('button', { name: 'Start enrollment' }).click();
  await text('#enroll-status', /^Enrolling$/);
  assert.deepEqual(await progress(), [0, 3]);

  // A poor press is reported but not counted: the bar stays, and a fourth press completes.
  const presses = [
    { quality: 84, done: 1 },
    { quality: 30, done: 1, wording: /^Not good$/, step: /not counted.*\(2 more\)/ },
    { quality: 78, done: 2 },
    { quality: 91, done: 3 },
  ];
  for (const [index, press] of presses.entries()) {
    await bridge.sensor('touch', 3, press.quality);
    await text('#scan-quality', new RegExp(`^${press.quality}$`));
    if (press.wording) await text('#scan-wording', press.wording);
    if (press.step) await text('#enroll-step', press.step);
    if (index < presses.length - 1) assert.deepEqual(await progress(), [press.done, 3], `after press ${index + 1}`);
  }
  await text('#enroll-status', /^Enrolled$/);
  assert.deepEqual(await progress(), [3, 3], 'the bar reaches its end on the last press');
  assert.equal(await page.locator('#enroll-fill').evaluate((fill) => fill.style.width), '100%');
  await text('#scan-wording', /^Good$/);
  const template = await page.locator('#template-value').getAttribute('title');
  assert.ok(template.length > 0, 'the template is shown');
  const shown = await page.locator('#template-value').textContent();
  assert.ok(shown.length < template.length ? shown.includes('…') : shown === template);
  assert.equal(await page.locator('#template-copy').isEnabled(), true);

  await page.getByRole('button', { name: 'Identify 1:N' }).click();
  await text('#sensor-mode', /^Identify 1:N$/);
  await bridge.sensor('touch', 3, 88);
  await text('#identify-headline', /^ID 1$/);
  assert.equal(await page.locator('#identify-result').getAttribute('data-tone'), 'ok');

  await bridge.sensor('touch', 8, 86);
  await text('#identify-headline', /^No match$/);
  assert.equal(await page.locator('#identify-result').getAttribute('data-tone'), 'bad');

  // The page saved the enrolled template: a new init empties the cache, the page loads the
  // template back under the next id, and the finger is identified again.
  await text('#saved-note', /^1 enrolled template saved in this browser\.$/);
  await page.getByRole('button', { name: 'Initialize' }).click();
  await page.getByRole('button', { name: 'Load saved templates' }).click();
  await text('#saved-note', /^Loaded 1 of 1 templates as ID 2\.$/);
  await bridge.sensor('touch', 3, 87);
  await text('#identify-headline', /^ID 2$/);

  const logged = await page.locator('#log li').count();
  assert.ok(logged >= 14, `the log lists the conversation (${logged} rows)`);

  // A row opens to the whole message, template included, and closes again from the keyboard.
  const finish = page.locator('#log li', { has: page.locator('.log-event', { hasText: /^Enrollment Finish$/ }) });
  await finish.click();
  assert.equal(await finish.getAttribute('aria-expanded'), 'true');
  const message = JSON.parse(await finish.locator('.log-json').textContent());
  assert.equal(message.template, template);
  assert.equal(message.status, 'success');
  await finish.press('Enter');
  assert.equal(await finish.getAttribute('aria-expanded'), 'false');

  fs.mkdirSync(path.dirname(screenshotPath), { recursive: true });
  await page.screenshot({ path: screenshotPath, fullPage: true });
  assert.deepEqual(pageErrors, []);
});

/** Opens the demo page on the test bridge and waits for its connection. */
async function openPage(viewport = { width: 1280, height: 900 }) {
  const page = await context.newPage();
  await page.setViewportSize(viewport);
  const { port } = server.address();
  await page.goto(`http://127.0.0.1:${port}/demo.html?bridge=${encodeURIComponent(BRIDGE_URL)}`);
  await page.locator('#connection[data-state="open"]').waitFor();
  return page;
}

/** A loopback port nobody listens on: bound a moment ago, then released. */
function closedPort() {
  return new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

const sensorCard = async (page) => ({
  status: await page.locator('#sensor-status').textContent(),
  serial: await page.locator('#sensor-sn').textContent(),
  note: await page.locator('#sensor-message').textContent(),
});

test('the page is usable 400 px wide', async () => {
  const page = await openPage({ width: 400, height: 800 });
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.ok(overflow <= 400, `the page is ${overflow} px wide`);
  const address = await page.locator('#bridge-url').boundingBox();
  assert.ok(address.width >= 200, `the bridge address box is ${address.width} px wide`);
  await page.getByRole('button', { name: 'Initialize' }).click();
  await page.locator('#sensor-status', { hasText: /^Connected$/ }).waitFor();
  for (const control of await page.locator('button:visible, input:visible').all()) {
    const box = await control.boundingBox();
    assert.ok(box.x >= 0 && box.x + box.width <= 400, `${await control.evaluate((e) => e.outerHTML)} sticks out`);
  }
  const row = page.locator('#log li[aria-expanded]').first();
  await row.click();
  const json = row.locator('.log-json');
  const fits = await json.evaluate((e) => e.scrollWidth <= e.clientWidth && e.getBoundingClientRect().right <= 400);
  assert.ok(fits, 'the whole message fits the width');
  await page.close();
});

test('switching to an unreachable bridge forgets the old sensor card', async () => {
  const page = await openPage();
  await page.getByRole('button', { name: 'Initialize' }).click();
  await page.locator('#sensor-status', { hasText: /^Connected$/ }).waitFor();
  assert.notEqual((await sensorCard(page)).serial, '—');

  await page.locator('#bridge-url').fill(`ws://127.0.0.1:${await closedPort()}`);
  await page.locator('#bridge-connect').click();
  await page.locator('#connection[data-state="waiting"]').waitFor();
  const card = await sensorCard(page);
  assert.equal(card.status, 'Unknown');
  assert.equal(card.serial, '—');
  assert.match(card.note, /unknown/);
  await page.close();
});

test('after a reconnection the sensor state is unknown until the next reply', async () => {
  const page = await openPage();
  await page.getByRole('button', { name: 'Initialize' }).click();
  await page.locator('#sensor-status', { hasText: /^Connected$/ }).waitFor();

  await bridge.stop();
  await page.locator('#connection:not([data-state="open"])').waitFor();
  await bridge.start();
  await page.locator('#connection[data-state="open"]').waitFor();
  const card = await sensorCard(page);
  assert.equal(card.status, 'Unknown');
  assert.match(card.note, /^Reconnected/);

  await page.getByRole('button', { name: 'Identify 1:N' }).click();
  await page.locator('#sensor-status', { hasText: /^Attached$/ }).waitFor();
  assert.equal(await page.locator('#sensor-mode').textContent(), 'Identify 1:N');
  await page.close();
});
