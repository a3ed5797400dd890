// The console page: a wall of tiles, one per camera, and the full panel of
// the one camera opened from it, filled from the server's event stream;
// every change is a POST with a JSON body to the same origin.
//
// Each camera keeps the latest news (status, log, capabilities, I/O,
// presets, settings) whether or not its panel is open; a panel exists only
// while it is shown, and while the wall is shown no panel and no live stream
// exist: a tile fetches its camera's newest picture twice a second.
'use strict';

const cameras = new Map();   // camera id -> camera (see cameraFor)
const LOG_LINES = 200;
const TILE_PERIOD_MS = 500;
let opened = null;           // the camera whose panel is shown, or null

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
  if (!camera.root) return;   // its panel was closed meanwhile
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

function buildPanel(camera) {
  const info = camera.info;
  const root = document.getElementById('camera-template').content.firstElementChild.cloneNode(true);
  root.id = `camera-${info.camera}`;
  root.dataset.camera = info.camera;
  camera.root = root;
  text($(root, '.label'), `Camera ${info.camera}: ${info.label}`);
  $(root, '.edit').addEventListener('click', () => openForm(camera));
  const remove = $(root, '.remove');
  remove.addEventListener('click', () => {
    // A second click confirms.
    if (!remove.classList.contains('confirm')) {
      remove.classList.add('confirm');
      text(remove, 'Click again to remove');
      return;
    }
    remove.disabled = true;
    post(camera, 'remove', {}).then((answer) => { if (answer && answer.ok) showWall(); });
  });
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
}

// The news each camera keeps, and the tile on the wall.
function cameraFor(info) {
  let camera = cameras.get(info.camera);
  if (camera && camera.info.serial === info.serial) {
    return camera;
  }
  if (camera) {
    // Made anew (changed from the page): its news start over.
    dropCamera(camera);
  }
  camera = { id: info.camera, info, root: null, queue: Promise.resolve(), logSeq: 0, log: [],
             news: {}, tile: makeTile(info), tag: '', fetching: false, pictureUrl: null };
  cameras.set(info.camera, camera);
  const wall = document.getElementById('wall');
  const after = Array.from(wall.children).find((tile) => Number(tile.dataset.camera) > info.camera);
  wall.insertBefore(camera.tile, after || null);
  showCount();
  return camera;
}

function dropCamera(camera) {
  if (opened === camera) showWall();
  camera.tile.remove();
  if (camera.pictureUrl) URL.revokeObjectURL(camera.pictureUrl);
  cameras.delete(camera.id);
  showCount();
}

function showCount() {
  text(document.getElementById('count'), `${cameras.size} camera${cameras.size === 1 ? '' : 's'}`);
  document.getElementById('wall-empty').classList.toggle('hidden', cameras.size !== 0);
}

function makeTile(info) {
  const tile = document.getElementById('tile-template').content.firstElementChild.cloneNode(true);
  tile.id = `tile-${info.camera}`;
  tile.dataset.camera = info.camera;
  text($(tile, '.tile-name'), info.label);
  text($(tile, '.tile-address'), info.address);
  $(tile, '.tile-picture').alt = `picture of ${info.label}`;
  tile.setAttribute('aria-label', `${info.label}: open the camera`);
  const open = () => { const camera = cameras.get(info.camera); if (camera) showPanel(camera); };
  tile.addEventListener('click', open);
  tile.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' || event.key === ' ') { event.preventDefault(); open(); }
  });
  return tile;
}

// The badge a tile shows: online, connecting, signal lost, stopped or failed.
function wallState(data) {
  if (data.state === 'online') return 'online';
  if (data.state === 'signal lost') return 'signal lost';
  if (data.state === 'stopped' || data.state === 'closed') return 'stopped';
  if (data.state === 'offline' || data.state === 'unknown' || data.lastFailure) return 'failed';
  return 'connecting';
}

function showTile(camera) {
  const data = camera.news.status;
  if (!data) return;
  const tile = camera.tile;
  const state = wallState(data);
  const badge = $(tile, '.state');
  text(badge, state);
  badge.className = `state badge ${state.replace(/ /g, '-')}`;
  tile.dataset.state = state;
  text($(tile, '.tile-fps'), `${data.fps.toFixed(1)} fps`);
  const failure = $(tile, '.tile-failure');
  const why = state !== 'online' && data.lastFailure ? data.lastFailure : '';
  text(failure, why);
  failure.title = why;
  failure.classList.toggle('hidden', !why);
}

// Twice a second, each tile asks for its camera's newest picture; the
// console answers 304 while the tile shows it already.
function refreshTiles() {
  if (opened || document.hidden) return;
  for (const camera of cameras.values()) {
    if (camera.fetching) continue;
    camera.fetching = true;
    fetch(`/api/cameras/${camera.id}/snapshot.jpg`, {
      cache: 'no-store',
      headers: camera.tag ? { 'If-None-Match': camera.tag } : {},
    }).then(async (response) => {
      if (response.status !== 200) return;
      const blob = await response.blob();
      if (cameras.get(camera.id) !== camera) return;   // removed meanwhile
      camera.tag = response.headers.get('ETag') || '';
      if (camera.pictureUrl) URL.revokeObjectURL(camera.pictureUrl);
      camera.pictureUrl = URL.createObjectURL(blob);
      $(camera.tile, '.tile-picture').src = camera.pictureUrl;
      camera.tile.dataset.picture = camera.tag;
    }).catch(() => {}).finally(() => { camera.fetching = false; });
  }
}

function showPanel(camera) {
  if (opened) closePanel();
  opened = camera;
  buildPanel(camera);
  for (const [name, show] of Object.entries(panelViews)) {
    if (camera.news[name]) show(camera.news[name]);
  }
  for (const [data, seq] of camera.log) appendLog(camera, data, seq);
  document.getElementById('wall').classList.add('hidden');
  document.getElementById('wall-empty').classList.add('hidden');
  document.getElementById('back').classList.remove('hidden');
}

function closePanel() {
  const camera = opened;
  if (!camera) return;
  // Ends the live stream before the panel goes.
  $(camera.root, '.live').removeAttribute('src');
  camera.root.remove();
  camera.root = null;
  opened = null;
}

function showWall() {
  const camera = opened;
  closePanel();
  document.getElementById('wall').classList.remove('hidden');
  document.getElementById('back').classList.add('hidden');
  showCount();
  if (camera && cameras.get(camera.id) === camera) camera.tile.focus();
  refreshTiles();
}

function cameraOf(data) {
  const camera = cameras.get(data.camera);
  return camera && camera === opened ? camera : null;
}

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

function keepLog(data, seq) {
  const camera = cameras.get(data.camera);
  if (!camera || seq <= camera.logSeq) return;   // already kept before a reconnect
  camera.logSeq = seq;
  camera.log.push([data, seq]);
  if (camera.log.length > LOG_LINES) camera.log.shift();
  if (camera === opened) appendLog(camera, data, seq);
}

function appendLog(camera, data) {
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

const panelViews = { status: showStatus, caps: showCaps, io: showIo, presets: showPresets, settings: showSettings };

// News of a camera: kept, shown on its tile, and on its panel when open.
function keep(name, data) {
  const camera = cameras.get(data.camera);
  if (!camera) return;
  camera.news[name] = data;
  if (name === 'status') showTile(camera);
  if (camera === opened) panelViews[name](data);
}

function showRoster(data) {
  const present = new Set(data.cameras);
  for (const camera of Array.from(cameras.values())) {
    if (!present.has(camera.id)) dropCamera(camera);
  }
}

// The add and edit form; `camera` is null to add one.
let editing = null;

function openForm(camera) {
  editing = camera;
  const dialog = document.getElementById('camera-form-dialog');
  const form = document.getElementById('camera-form');
  form.reset();
  text($(form, '.form-title'), camera ? `Edit camera ${camera.id}` : 'Add camera');
  if (camera) {
    form.address.value = camera.info.address;
    form.user.value = camera.info.user || '';
    form.label.value = camera.info.label || '';
    const stream = camera.news.settings && camera.news.settings.stream;
    form.stream.value = stream || 'mjpeg';
  }
  showFormError('', null);
  dialog.showModal();
  form.address.focus();
}

function showFormError(message, field) {
  const form = document.getElementById('camera-form');
  const element = $(form, '.form-error');
  text(element, message);
  element.classList.toggle('hidden', !message);
  for (const input of form.querySelectorAll('input, select')) {
    input.classList.toggle('invalid', input.name === field);
  }
}

function submitForm(event) {
  event.preventDefault();
  const form = event.target;
  const body = { address: form.address.value.trim(), user: form.user.value, label: form.label.value,
                 stream: form.stream.value };
  if (!editing || form.password.value) body.password = form.password.value;
  const camera = editing;
  const path = camera ? `/api/cameras/${camera.id}/change` : '/api/cameras';
  fetch(path, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) })
    .then(async (response) => {
      const answer = await response.json().catch(() => ({ ok: false, error: response.statusText }));
      if (!answer.ok) {
        showFormError(answer.error || 'refused', answer.field || null);
        return;
      }
      form.password.value = '';
      document.getElementById('camera-form-dialog').close();
      if (camera && opened) showWall();
    }).catch((error) => showFormError(String(error), null));
}

function connect() {
  const events = new EventSource('/events');
  const badge = document.getElementById('connection');
  const on = (name, show) => events.addEventListener(name, (event) => show(JSON.parse(event.data), Number(event.lastEventId)));
  events.addEventListener('open', () => { text(badge, 'connected'); badge.className = 'badge online'; });
  events.addEventListener('error', () => { text(badge, 'reconnecting'); badge.className = 'badge connecting'; });
  on('camera', (data) => {
    const camera = cameraFor(data);
    camera.info = data;
  });
  on('roster', showRoster);
  on('log', keepLog);
  for (const name of Object.keys(panelViews)) on(name, (data) => keep(name, data));
}

document.getElementById('back').addEventListener('click', showWall);
document.addEventListener('keydown', (event) => {
  if (event.key === 'Escape' && opened && !document.getElementById('camera-form-dialog').open) showWall();
});
document.getElementById('add-camera').addEventListener('click', () => openForm(null));
document.getElementById('camera-form').addEventListener('submit', submitForm);
document.querySelector('#camera-form .form-cancel').addEventListener('click', () => {
  document.getElementById('camera-form').password.value = '';
  document.getElementById('camera-form-dialog').close();
});
document.addEventListener('visibilitychange', refreshTiles);
setInterval(refreshTiles, TILE_PERIOD_MS);
connect();
