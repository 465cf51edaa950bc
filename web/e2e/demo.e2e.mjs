// The demo page in Debian's chromium against the real bridge: connect, initialize, enroll a
// finger with three touches, identify it, fail to identify another. Leaves a screenshot of the
// final page in build/web/demo-final.png.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
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

  await page.getByRole('button', { name: 'Initialize' }).click();
  await text('#sensor-status', /^Connected$/);

  await page.getByRole('button', { name: 'Start enrollment' }).click();
  await text('#enroll-status', /^Enrolling$/);
  assert.deepEqual(await progress(), [0, 3]);

  const qualities = [84, 78, 91];
  for (const [index, quality] of qualities.entries()) {
    await bridge.sensor('touch', 3, quality);
    await text('#scan-quality', new RegExp(`^${quality}$`));
    if (index < qualities.length - 1) assert.deepEqual(await progress(), [index + 1, 3]);
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

  const logged = await page.locator('#log li').count();
  assert.ok(logged >= 14, `the log lists the conversation (${logged} rows)`);

  fs.mkdirSync(path.dirname(screenshotPath), { recursive: true });
  await page.screenshot({ path: screenshotPath, fullPage: true });
  assert.deepEqual(pageErrors, []);
});
