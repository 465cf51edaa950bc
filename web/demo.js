// The demo page: drives the bridge through tessiva.js and shows what the sensor reports.
// Open it as demo.html?bridge=ws://HOST:PORT to reach a bridge other than the default.

import { ConnectionState, DEFAULT_URL, SENSOR_EVENTS, TessivaClient } from './tessiva.js';

const LOG_LIMIT = 200;
const RECENT_SCANS = 8;
const MATCH_HISTORY = 4;
const TEMPLATE_HEAD = 20;
const TEMPLATE_TAIL = 10;
// Templates enrolled earlier, kept in this browser so that a new session can load them back.
const SAVED_KEY = 'tessiva-demo.templates';

const MODE_NAMES = {
  init: 'Idle',
  enroll: 'Enrolling',
  verify: 'Verify 1:1',
  identify: 'Identify 1:N',
  enrollfinish: 'Enrolled',
  enrollcancel: 'Cancelled',
};

const $ = (id) => document.getElementById(id);
const commandButtons = [...document.querySelectorAll('[data-act]')];

let client = null;
let fullTemplate = '';
let pressTotal = 3;
let enrolling = false;

function clock(date = new Date()) {
  return date.toLocaleTimeString([], { hour: '2-digit', minute: '2-digit', second: '2-digit', hour12: false });
}

function setBadge(element, text, tone) {
  element.textContent = text;
  element.dataset.tone = tone;
}

let toastTimer = null;
function showToast(text) {
  const toast = $('toast');
  toast.textContent = text;
  toast.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => {
    toast.hidden = true;
  }, 5000);
}

// Connection

function showConnection(state, detail = {}) {
  const texts = {
    [ConnectionState.OPEN]: 'Connected',
    [ConnectionState.CONNECTING]: 'Connecting…',
    [ConnectionState.WAITING]: detail.attempt > 1 ? 'Bridge not reachable, retrying…' : 'Reconnecting…',
    [ConnectionState.CLOSED]: 'Not connected',
  };
  $('connection').dataset.state = state;
  $('connection-text').textContent = texts[state];
  const connected = state === ConnectionState.OPEN;
  for (const button of commandButtons) {
    if (button.getAttribute('aria-busy') !== 'true') button.disabled = !connected;
  }
  updateLoadButton();
  updateBridgeButton();
}

function updateBridgeButton() {
  const sameUrl = client && $('bridge-url').value.trim() === client.url;
  const active = client && client.state !== ConnectionState.CLOSED;
  $('bridge-connect').textContent = active && sameUrl ? 'Disconnect' : 'Connect';
}

// What the card showed belongs to the bridge it came from: after switching bridges, and after a
// reconnection (the bridge may have restarted), the sensor's state is unknown until a reply.
let sensorUnknown = false;

function forgetSensor(note) {
  sensorUnknown = true;
  setBadge($('sensor-status'), 'Unknown', 'neutral');
  for (const fact of ['sensor-sn', 'sensor-count', 'sensor-mode']) $(fact).textContent = '—';
  $('sensor-message').textContent = note;
}

function connectTo(url) {
  client?.close();
  client = new TessivaClient({ url });
  forgetSensor(`The sensor state is unknown until the bridge at ${url} replies.`);
  let opened = false;
  client.on('statechange', (change) => showConnection(change.state, change));
  client.on('open', () => {
    addLogNote(`Connected to ${url}`);
    if (opened) forgetSensor('Reconnected: the sensor state is unknown until the bridge replies.');
    opened = true;
  });
  client.on('close', () => addLogNote('Connection closed'));
  client.on('sent', (command) => addLogEntry('out', command.act, 'sent', command));
  client.on('message', onMessage);
  client.on(SENSOR_EVENTS.SCAN, onScan);
  client.on(SENSOR_EVENTS.ENROLLMENT, onEnrollmentFinish);
  client.on(SENSOR_EVENTS.VERIFY, onVerify);
  client.on(SENSOR_EVENTS.IDENTIFY, onIdentify);
  client.on('Sensor Initialization', onSensorInit);
  client.on('Disconnecting Sensor', (reply) => {
    setBadge($('sensor-status'), 'Disconnected', 'neutral');
    $('sensor-message').textContent = `${reply.message} at ${clock()}.`;
  });
  client.on('Start Enrollment', onEnrollmentStart);
  client.on('Enrollment Cancel', () => stopEnrollment('Cancelled', 'neutral', 'Enrollment cancelled.'));
  client.on('Load Templates', onTemplatesLoaded);
  client.connect().catch((error) => {
    if (error.code !== 'closed') showToast(`Cannot connect to ${url}: ${error.message}`);
  });
  showConnection(client.state);
}

$('bridge-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const url = $('bridge-url').value.trim() || DEFAULT_URL;
  if (client && client.url === url && client.state !== ConnectionState.CLOSED) {
    client.close();
    return;
  }
  connectTo(url);
});
$('bridge-url').addEventListener('input', updateBridgeButton);

// Commands

for (const button of commandButtons) {
  button.addEventListener('click', async () => {
    button.setAttribute('aria-busy', 'true');
    button.disabled = true;
    try {
      await client.request(button.dataset.act);
    } catch (error) {
      showToast(error.message);
    } finally {
      button.removeAttribute('aria-busy');
      button.disabled = !client.connected;
    }
  });
}

function onSensorInit(reply) {
  const started = reply.status === 'success';
  setBadge($('sensor-status'), started ? 'Connected' : 'Not connected', started ? 'ok' : 'bad');
  $('sensor-message').textContent = started
    ? `${reply.message} at ${clock()}. Enroll a finger, or touch the sensor to identify.`
    : `${reply.message}. Check that the sensor is plugged in, then initialize again.`;
}

// Every message carries the sensor's standard fields.
function onMessage(message) {
  $('sensor-sn').textContent = message.sensor_SN || '—';
  $('sensor-count').textContent = String(message.sensor_count ?? '—');
  $('sensor-mode').textContent = MODE_NAMES[message.mode] ?? message.mode ?? '—';
  if (sensorUnknown) {
    // A reply to "init" or "disconnect" says more, right after this.
    sensorUnknown = false;
    const attached = message.sensor_count > 0;
    setBadge($('sensor-status'), attached ? 'Attached' : 'No sensor', attached ? 'ok' : 'bad');
    $('sensor-message').textContent = attached
      ? 'The bridge reports the sensor attached. Initialize it to start.'
      : 'The bridge reports no sensor attached.';
  }
  const endsEnrollment = message.event === SENSOR_EVENTS.ENROLLMENT || message.event === 'Enrollment Cancel';
  if (enrolling && message.mode !== 'enroll' && !endsEnrollment) {
    stopEnrollment('Stopped', 'neutral', 'The enrollment stopped when the sensor changed mode.');
  }
  addLogEntry('in', message.event, message.status, message);
}

// Enrollment progress. The reply to "enroll" counts presses as step_current of step_total
// (0 of 3). Scan reports count the same presses as step_current of step_total + 1, because
// their step_total leaves out the first press: (1, 2), (2, 2), (3, 2) for three presses.

function showProgress(done, total, tone) {
  const progress = $('enroll-progress');
  progress.setAttribute('aria-valuemax', String(total));
  progress.setAttribute('aria-valuenow', String(done));
  progress.dataset.tone = tone;
  $('enroll-fill').style.width = `${total > 0 ? Math.min(100, (100 * done) / total) : 0}%`;
  $('enroll-count').textContent = `${done} of ${total} presses`;
}

function onEnrollmentStart(reply) {
  enrolling = true;
  pressTotal = reply.step_total;
  showProgress(reply.step_current, pressTotal, 'accent');
  setBadge($('enroll-status'), 'Enrolling', 'accent');
  $('enroll-step').textContent = 'Press the finger on the sensor.';
}

function stopEnrollment(label, tone, text) {
  if (!enrolling) return;
  enrolling = false;
  setBadge($('enroll-status'), label, tone);
  $('enroll-step').textContent = text;
  showProgress(0, pressTotal, tone);
}

function onEnrollmentFinish(result) {
  enrolling = false;
  if (result.status === 'success') {
    showProgress(pressTotal, pressTotal, 'ok');
    setBadge($('enroll-status'), 'Enrolled', 'ok');
    $('enroll-step').textContent = 'Fingerprint enrolled.';
    if (result.template) saveTemplate(result.template);
  } else {
    showProgress(0, pressTotal, 'bad');
    setBadge($('enroll-status'), 'Failed', 'bad');
    $('enroll-step').textContent = result.message;
  }
  showTemplate(result.template ?? '');
}

function showTemplate(template) {
  fullTemplate = template;
  const value = $('template-value');
  value.dataset.empty = String(template === '');
  value.title = template;
  value.textContent =
    template === ''
      ? 'No template yet'
      : template.length <= TEMPLATE_HEAD + TEMPLATE_TAIL + 1
        ? template
        : `${template.slice(0, TEMPLATE_HEAD)}…${template.slice(-TEMPLATE_TAIL)}`;
  $('template-size').textContent = template === '' ? '' : `${template.length.toLocaleString('en')} chars`;
  $('template-copy').disabled = template === '';
}

$('template-copy').addEventListener('click', async () => {
  const button = $('template-copy');
  try {
    await navigator.clipboard.writeText(fullTemplate);
  } catch {
    copyWithSelection(fullTemplate);
  }
  button.textContent = 'Copied';
  setTimeout(() => {
    button.textContent = 'Copy';
  }, 1500);
});

// Where the clipboard API is refused (an insecure origin), a selected text area still copies.
function copyWithSelection(text) {
  const area = document.createElement('textarea');
  area.value = text;
  area.setAttribute('readonly', '');
  area.style.position = 'fixed';
  area.style.opacity = '0';
  document.body.append(area);
  area.select();
  document.execCommand('copy');
  area.remove();
}

// Saved templates

function savedTemplates() {
  try {
    const list = JSON.parse(localStorage.getItem(SAVED_KEY) ?? '[]');
    return Array.isArray(list) ? list.filter((template) => typeof template === 'string') : [];
  } catch {
    return [];
  }
}

function saveTemplate(template) {
  const list = savedTemplates();
  if (list.includes(template)) return;
  list.push(template);
  localStorage.setItem(SAVED_KEY, JSON.stringify(list));
  showSavedCount();
}

function showSavedCount() {
  const count = savedTemplates().length;
  if (count > 0) {
    $('saved-note').textContent = `${count} enrolled template${count === 1 ? '' : 's'} saved in this browser.`;
  }
  updateLoadButton();
}

function updateLoadButton() {
  const button = $('load-saved');
  if (button.getAttribute('aria-busy') === 'true') return;
  button.disabled = !client?.connected || savedTemplates().length === 0;
}

$('load-saved').addEventListener('click', async () => {
  const button = $('load-saved');
  button.setAttribute('aria-busy', 'true');
  button.disabled = true;
  try {
    await client.load(savedTemplates());
  } catch (error) {
    showToast(error.message);
  } finally {
    button.removeAttribute('aria-busy');
    updateLoadButton();
  }
});

// Every page sees every load: the ids the templates got, and why any was refused.
function onTemplatesLoaded(reply) {
  const ids = reply.ids.filter((id) => id !== -1);
  const reasons = [...new Set(reply.reasons.filter((reason) => reason !== ''))];
  let note = reply.message;
  if (ids.length > 0) note += ` as ID ${ids.join(', ')}`;
  if (reasons.length > 0) note += `; refused: ${reasons.join('; ')}`;
  $('saved-note').textContent = `${note}.`;
}

// Scans

function scanWording(message) {
  if (message.includes('Suspicious fingerprints')) return { label: 'Suspicious', tone: 'bad' };
  if (message.includes('quality not good')) return { label: 'Not good', tone: 'warn' };
  if (message.includes('quality good')) return { label: 'Good', tone: 'ok' };
  return { label: 'Scanned', tone: 'neutral' };
}

function onScan(scan) {
  const wording = scanWording(scan.message);
  $('scan-quality').textContent = String(scan.quality);
  setBadge($('scan-wording'), wording.label, wording.tone);
  const meter = $('scan-meter');
  meter.style.width = `${Math.max(0, Math.min(100, scan.quality))}%`;
  meter.dataset.tone = wording.tone;
  $('scan-message').textContent = scan.message.trim();
  $('scan-time').textContent = `at ${clock()}`;
  addRecentScan(scan.quality, wording);
  if (scan.step_current !== undefined) {
    if (!enrolling) setBadge($('enroll-status'), 'Enrolling', 'accent');
    enrolling = true;
    pressTotal = scan.step_total + 1;
    // The report names the press it tried for; the sensor counts only a good one.
    const counted = wording.tone === 'ok';
    showProgress(counted ? scan.step_current : scan.step_current - 1, pressTotal, 'accent');
    const due = counted ? scan.step_remainder - 1 : scan.step_remainder;
    $('enroll-step').textContent = !counted
      ? `That press was not counted: press the finger again (${due} more).`
      : due > 0
        ? `Press the finger again (${due} more).`
        : 'Last press taken, finishing…';
  }
}

function addRecentScan(quality, wording) {
  const item = document.createElement('li');
  item.textContent = String(quality);
  item.dataset.tone = wording.tone;
  item.title = `${wording.label} · ${clock()}`;
  const list = $('recent-list');
  list.prepend(item);
  while (list.children.length > RECENT_SCANS) list.lastElementChild.remove();
  $('recent-block').hidden = false;
}

// Matching results

function showResult(prefix, tone, headline, detail, summary = headline) {
  $(`${prefix}-result`).dataset.tone = tone;
  $(`${prefix}-headline`).textContent = headline;
  $(`${prefix}-detail`).textContent = detail;
  const item = document.createElement('li');
  item.dataset.tone = tone;
  item.append(
    cell('history-time', clock()),
    cell('history-text', `${prefix === 'verify' ? 'Verify' : 'Identify'}: ${summary}`),
  );
  const history = $('match-history');
  history.prepend(item);
  while (history.children.length > MATCH_HISTORY) history.lastElementChild.remove();
}

function onVerify(result) {
  const time = clock();
  if (result.status === 'success') showResult('verify', 'ok', 'Match', `Same finger as the last enrollment · ${time}`);
  else if (result.status === 'fail') showResult('verify', 'bad', 'No match', `Not the last enrolled finger · ${time}`);
  else showResult('verify', 'neutral', 'No result', 'The sensor is not in a matching mode.');
}

function onIdentify(result) {
  const searched = `${result.processnum} finger${result.processnum === 1 ? '' : 's'} searched`;
  if (result.status === 'success') {
    showResult('identify', 'ok', `ID ${result.id}`, `Score ${result.score} · ${searched} · ${clock()}`,
      `ID ${result.id}, score ${result.score}`);
  } else {
    showResult('identify', 'bad', 'No match', `Unknown finger · ${searched} · ${clock()}`);
  }
}

// Message log, newest first

function trimLog() {
  const log = $('log');
  while (log.children.length > LOG_LIMIT) log.lastElementChild.remove();
  const count = log.children.length;
  $('log-count').textContent = `${count} message${count === 1 ? '' : 's'}`;
}

function cell(className, text) {
  const span = document.createElement('span');
  span.className = className;
  span.textContent = text;
  return span;
}

// A row shows its message on one line; clicking it (or Enter, Space) shows the whole JSON.
function addLogEntry(direction, name, status, body) {
  const item = document.createElement('li');
  item.dataset.direction = direction;
  const statusCell = cell('log-status', status || '—');
  statusCell.dataset.tone = status === 'success' ? 'ok' : status === 'fail' ? 'bad' : 'neutral';
  const json = cell('log-json', JSON.stringify(body));
  item.append(
    cell('log-time', clock()),
    cell('log-direction', direction === 'out' ? '→' : '←'),
    cell('log-event', name),
    statusCell,
    json,
  );
  item.title = `${direction === 'out' ? 'Sent to' : 'Received from'} the bridge; click for the whole message`;
  item.tabIndex = 0;
  item.setAttribute('aria-expanded', 'false');
  const toggle = () => {
    const expanded = item.getAttribute('aria-expanded') !== 'true';
    item.setAttribute('aria-expanded', String(expanded));
    json.textContent = expanded ? JSON.stringify(body, null, 2) : JSON.stringify(body);
  };
  item.addEventListener('click', toggle);
  item.addEventListener('keydown', (event) => {
    if (event.key !== 'Enter' && event.key !== ' ') return;
    event.preventDefault();
    toggle();
  });
  $('log').prepend(item);
  trimLog();
}

function addLogNote(text) {
  const item = document.createElement('li');
  item.dataset.direction = 'note';
  item.append(cell('log-time', clock()), cell('log-direction', '•'), cell('log-event', text));
  $('log').prepend(item);
  trimLog();
}

$('log-clear').addEventListener('click', () => {
  $('log').replaceChildren();
  trimLog();
});

const initialUrl = new URLSearchParams(location.search).get('bridge') || DEFAULT_URL;
$('bridge-url').value = initialUrl;
connectTo(initialUrl);
showSavedCount();
