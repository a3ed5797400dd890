// The console page: one section per camera, filled from the server's event
// stream; every change is a POST with a JSON body to the same origin.
'use strict';

const cameras = new Map();   // camera id -> {root, queue}
const LOG_LINES = 200;

function $(root, selector) { return root.querySelector(selector); }

function text(element, value) { element.textContent = value; }

// Commands of one camera go out one after another, so that a release
// (stop) never overtakes the press (move) it belongs to.
function post(camera, verb, body) {
  const run = () => fetch(`/api/cameras/${camera.id}/${verb}`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
  }).then(async (response) => {
    const answer = await response.json().catch(() => ({ ok: false, error: response.statusText }));
    showError(camera, answer.ok ? '' : `${verb}: ${answer.error || answer.status || 'failed'}`);
    return answer;
  }).catch((error) => showError(camera, `${verb}: ${error}`));
  camera.queue = camera.queue.then(run, run);
  return camera.queue;
}

function showError(camera, message) {
  const element = $(camera.root, '.error');
  text(element, message);
  element.classList.toggle('hidden', !message);
}

// Press and hold: the motion starts on press and stops on release, also
// when the pointer leaves the button or the page loses focus.
function holdButton(camera, button, start) {
  let held = false;
  const release = () => {
    if (!held) return;
    held = false;
    button.classList.remove('held');
    post(camera, 'ptz', { action: 'stop' });
  };
  button.addEventListener('pointerdown', (event) => {
    if (event.button !== 0) return;
    held = true;
    button.classList.add('held');
    button.setPointerCapture(event.pointerId);
    post(camera, 'ptz', start());
  });
  button.addEventListener('pointerup', release);
  button.addEventListener('pointercancel', release);
  button.addEventListener('lostpointercapture', release);
  window.addEventListener('blur', release);
}

function addCamera(info) {
  const root = document.getElementById('camera-template').content.firstElementChild.cloneNode(true);
  root.id = `camera-${info.camera}`;
  root.dataset.camera = info.camera;
  const camera = { id: info.camera, root, queue: Promise.resolve(), logSeq: 0 };
  cameras.set(info.camera, camera);
  text($(root, '.label'), `Camera ${info.camera}: ${info.label}`);
  $(root, '.live').src = `/api/cameras/${info.camera}/live.mjpg`;
  const snapshot = $(root, '.snapshot');
  snapshot.href = `/api/cameras/${info.camera}/snapshot.jpg`;
  snapshot.addEventListener('click', () => {
    snapshot.download = `camera${info.camera}-${new Date().toISOString().replace(/[:.]/g, '-')}.jpg`;
  });
  $(root, '.live').addEventListener('load', (event) => {
    text($(root, '.size'), `${event.target.naturalWidth} x ${event.target.naturalHeight}`);
  });

  const speed = $(root, '.speed');
  speed.addEventListener('input', () => text($(root, '.speed-value'), speed.value));
  const speedValue = () => Number(speed.value);
  for (const button of root.querySelectorAll('.pad [data-dir]')) {
    holdButton(camera, button, () => ({ action: 'move', direction: button.dataset.dir, speed: speedValue() }));
  }
  for (const button of root.querySelectorAll('[data-lens]')) {
    holdButton(camera, button, () => ({ action: button.dataset.lens, way: button.dataset.way, speed: speedValue() }));
  }
  $(root, '.pad .stop').addEventListener('click', () => post(camera, 'ptz', { action: 'stop' }));

  $(root, '.preset-add').addEventListener('submit', (event) => {
    event.preventDefault();
    const name = $(root, '.preset-name');
    post(camera, 'preset', { action: 'add', name: name.value }).then((answer) => {
      if (answer && answer.ok) name.value = '';
    });
  });
  $(root, '.probe').addEventListener('click', () => post(camera, 'probe', {}));
  $(root, '.stream').addEventListener('submit', (event) => {
    event.preventDefault();
    const form = event.target;
    post(camera, 'stream', {
      stream: form.stream.value,
      width: Number(form.width.value),
      height: Number(form.height.value),
      fps: Number(form.fps.value),
      quality: Number(form.quality.value),
    });
  });
  document.getElementById('cameras').append(root);
  return camera;
}

function cameraOf(data) { return cameras.get(data.camera); }

function showStatus(data) {
  const camera = cameraOf(data);
  if (!camera) return;
  const root = camera.root;
  const state = $(root, '.state');
  text(state, data.state);
  state.className = `state badge ${data.state.replace(/ /g, '-')}`;
  text($(root, '.fps'), data.fps.toFixed(1));
  text($(root, '.kbps'), data.kBps.toFixed(1));
  text($(root, '.frames'), data.frames);
  text($(root, '.losses'), data.signalLosses);
  text($(root, '.failure'), data.lastFailure || 'none');
}

function showLog(data, seq) {
  const camera = cameraOf(data);
  if (!camera || seq <= camera.logSeq) return;   // already shown before a reconnect
  camera.logSeq = seq;
  const log = $(camera.root, '.log');
  const line = document.createElement('li');
  line.className = `level-${data.level}`;
  text(line, `[${data.level}] ${data.text}`);
  log.append(line);
  while (log.children.length > LOG_LINES) log.firstElementChild.remove();
  log.scrollTop = log.scrollHeight;
}

function showCaps(data) {
  const camera = cameraOf(data);
  if (!camera) return;
  const root = camera.root;
  text($(root, '.caps-outcome'), data.outcome === 'succeeded' ? '' :
    `query ${data.outcome}${data.message ? ': ' + data.message : ''}`);
  const table = $(root, '.caps');
  table.replaceChildren();
  if (data.outcome !== 'succeeded') return;
  // MPEG-4 runs only at the frame rates the camera lists.
  text($(root, '.rates'), 'Frame rates the camera lists (MPEG-4 needs one of them): ' +
    data.frameIntervalsMs.map((ms) => Math.round(1000 / ms)).join(', ') + ' per second');
  const rows = [
    ['Model', data.model],
    ['Video standard', data.videoStandard || '(not sent)'],
    ['Resolutions', data.resolutions.map((r) => `${r.name === `${r.width}x${r.height}` ? '' : r.name + ' '}${r.width}x${r.height} (${r.frameIntervalMs} ms)`).join(', ')],
    ['Frame intervals', data.frameIntervalsMs.map((ms) => `${ms} ms`).join(', ')],
    ['Audio', data.audio ? 'yes' : 'no'],
    ['Alarm inputs', data.alarmInputs],
    ['Alarm outputs', data.alarmOutputs],
  ];
  for (const [name, value] of rows) {
    const row = table.insertRow();
    const head = document.createElement('th');
    text(head, name);
    row.append(head);
    text(row.insertCell(), value);
  }
}

function showIo(data) {
  const camera = cameraOf(data);
  if (!camera) return;
  const root = camera.root;
  const inputs = $(root, '.inputs');
  inputs.replaceChildren();
  data.inputs.forEach((state, index) => {
    const item = document.createElement('span');
    const name = ['unknown', 'low', 'high'][state] || 'unknown';
    item.className = `io-item input ${name}`;
    item.dataset.input = index;
    item.dataset.state = name;
    item.innerHTML = '<span class="lamp"></span>';
    item.append(`input ${index}: ${name}`);
    inputs.append(item);
  });
  const outputs = $(root, '.outputs');
  if (outputs.children.length !== data.outputs.length) {
    outputs.replaceChildren();
    data.outputs.forEach((_, index) => {
      const label = document.createElement('label');
      label.className = 'io-item';
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.className = 'output';
      box.dataset.output = index;
      box.addEventListener('change', () => post(camera, 'output', { output: index, on: box.checked }));
      label.append(box, `output ${index}`);
      outputs.append(label);
    });
  }
  data.outputs.forEach((value, index) => {
    outputs.querySelector(`[data-output="${index}"]`).checked = value !== 0;
  });
  $(root, '.io-failure').classList.toggle('hidden', !data.failure);
}

function showPresets(data) {
  const camera = cameraOf(data);
  if (!camera) return;
  const root = camera.root;
  $(root, '.ptz-missing').classList.toggle('hidden', data.available);
  $(root, '.ptz-controls').classList.toggle('hidden', !data.available);
  const list = $(root, '.presets');
  list.replaceChildren();
  for (const name of data.names) {
    const item = document.createElement('li');
    item.classList.toggle('current', name === data.current);
    const label = document.createElement('span');
    label.className = 'name';
    text(label, name);
    const go = document.createElement('button');
    go.type = 'button';
    text(go, 'Go to');
    go.addEventListener('click', () => post(camera, 'preset', { action: 'goto', name }));
    const remove = document.createElement('button');
    remove.type = 'button';
    text(remove, 'Remove');
    remove.addEventListener('click', () => post(camera, 'preset', { action: 'remove', name }));
    item.append(label, go, remove);
    list.append(item);
  }
}

function showSettings(data) {
  const camera = cameraOf(data);
  if (!camera) return;
  const form = $(camera.root, '.stream');
  for (const name of ['stream', 'width', 'height', 'fps', 'quality']) form[name].value = data[name];
}

function connect() {
  const events = new EventSource('/events');
  const badge = document.getElementById('connection');
  const on = (name, show) => events.addEventListener(name, (event) => show(JSON.parse(event.data), Number(event.lastEventId)));
  events.addEventListener('open', () => { text(badge, 'connected'); badge.className = 'badge online'; });
  events.addEventListener('error', () => { text(badge, 'reconnecting'); badge.className = 'badge connecting'; });
  on('camera', (data) => { if (!cameras.has(data.camera)) addCamera(data); });
  on('status', showStatus);
  on('log', showLog);
  on('caps', showCaps);
  on('io', showIo);
  on('presets', showPresets);
  on('settings', showSettings);
}

connect();
