// The reservation list, the recording under way and the finished recordings of tovalen-rec serve.
// The server makes every check and writes every message; this page only shows them.
'use strict';

const $ = (id) => document.getElementById(id);

// ---- talking to the server ----------------------------------------------------------------

class HttpError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

const session = { token: '', loginRequired: false, loggedIn: false };

async function request(method, path, body) {
  const headers = {};
  if (method !== 'GET') headers['X-CSRF-Token'] = session.token;
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  let response;
  try {
    response = await fetch(path, {
      method, headers, credentials: 'same-origin', cache: 'no-store',
      body: body === undefined ? undefined : JSON.stringify(body),
    });
  } catch (e) {
    throw new HttpError(0, 'サーバーに接続できません。');
  }
  let answer = null;
  try {
    answer = await response.json();
  } catch (e) {
    answer = null;
  }
  if (!response.ok) {
    const message = answer && typeof answer.error === 'string' ? answer.error
                                                               : `サーバーがエラーを返しました (${response.status})。`;
    throw new HttpError(response.status, message);
  }
  return answer || {};
}

async function loadSession() {
  const answer = await request('GET', '/api/session');
  session.token = answer.csrfToken;
  session.loginRequired = answer.loginRequired;
  session.loggedIn = answer.loggedIn;
}

// A change sent with a token the server no longer knows (it restarted, the session ended) is
// refused with 403: fetch the session again and send it once more with the new token.
async function change(method, path, body) {
  try {
    return await request(method, path, body);
  } catch (e) {
    if (e.status !== 403 && e.status !== 401) throw e;
    const oldToken = session.token;
    await loadSession();
    if (session.loginRequired && !session.loggedIn) {
      showLogin();
      throw e;
    }
    if (session.token === oldToken) throw e;
    return request(method, path, body);
  }
}

// ---- texts ----------------------------------------------------------------------------------

const pad2 = (n) => String(n).padStart(2, '0');

function clock(totalSeconds) {
  const s = Math.max(0, Math.floor(totalSeconds));
  return `${Math.floor(s / 3600)}:${pad2(Math.floor(s / 60) % 60)}:${pad2(s % 60)}`;
}

function size(bytes) {
  if (bytes < 1024) return `${bytes} B`;
  const units = ['KB', 'MB', 'GB', 'TB'];
  let value = bytes / 1024;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit += 1;
  }
  return `${value.toFixed(value < 10 ? 1 : 0)} ${units[unit]}`;
}

const number = (n) => Number(n).toLocaleString('ja-JP');

// "2026-12-24T21:00:00" as "2026/12/24 21:00:00"; the end without its date when the day is the same.
function dateTime(stamp) {
  return stamp.replace('T', ' ').replace(/-/g, '/');
}

function endText(start, end) {
  return start.slice(0, 10) === end.slice(0, 10) ? end.slice(11) : dateTime(end);
}

function stateDetail(r) {
  switch (r.state) {
    case 'recording':
      return `${clock(r.elapsedMs / 1000)} / ${number(r.frames)} フレーム / ドロップ ${number(r.drops)}`;
    case 'recorded':
      return r.bytes > 0 || r.lengthSeconds > 0 ? `${size(r.bytes)} / ${clock(r.lengthSeconds)}` : '';
    default:
      return r.reason || '';
  }
}

// ---- the reservation list -------------------------------------------------------------------

let reservations = [];
let recordingNow = null;

// A path may break after each "/" rather than inside a name.
function pathText(path) {
  const text = document.createElement('span');
  path.split('/').forEach((part, i, parts) => {
    text.append(part + (i < parts.length - 1 ? '/' : ''));
    if (i < parts.length - 1) text.append(document.createElement('wbr'));
  });
  return text;
}

function cell(row, label, text, className) {
  const td = row.insertCell();
  td.dataset.label = label;
  if (className) td.className = className;
  if (className === 'path') td.append(pathText(text));
  else td.textContent = text;
  return td;
}

function stateCell(row, r) {
  const td = row.insertCell();
  td.dataset.label = '状態';
  td.className = 'state';
  const body = document.createElement('span');
  body.className = 'state-body';
  const badge = document.createElement('span');
  badge.className = `badge ${r.state}`;
  badge.textContent = r.stateText;
  const detail = document.createElement('span');
  detail.className = 'detail';
  detail.textContent = stateDetail(r);
  body.append(badge, detail);
  td.append(body);
}

function actionButton(text, action, r) {
  const button = document.createElement('button');
  button.type = 'button';
  button.textContent = text;
  button.dataset.action = action;
  button.dataset.start = r.start;
  button.setAttribute('aria-label', `${text}: ${dateTime(r.start)} ${r.title}`);
  return button;
}

function reservationRow(r) {
  const row = document.createElement('tr');
  row.dataset.start = r.start;
  row.dataset.state = r.state;
  row.dataset.frames = String(r.frames);
  cell(row, '開始', dateTime(r.start), 'time');
  cell(row, '終了', endText(r.start, r.end), 'time');
  cell(row, '保存ファイル名', r.file, 'path');
  cell(row, '番組名', r.title, 'title');
  stateCell(row, r);
  const actions = row.insertCell();
  actions.className = 'actions';
  if (r.state === 'waiting') actions.append(actionButton('編集', 'edit', r));
  actions.append(actionButton('削除', 'remove', r));
  return row;
}

// The row of the reservation under way shows the live figures of the last status.
function withLiveFigures(r) {
  if (!recordingNow || recordingNow.start !== r.start) return r;
  return { ...r, ...recordingNow, state: 'recording', stateText: recordingNow.stateText || r.stateText };
}

// Shows items as the rows of the table body with that id. Rows are kept while what they show
// stays the same, so that a button or link is not swapped for a new one under the user's finger
// by the next poll.
function keptRows(bodyId, makeRow) {
  const shown = new Map();
  return (items) => {
    const body = $(bodyId);
    const rows = items.map((item) => {
      const key = JSON.stringify(item);
      const kept = shown.get(item.start);
      if (kept && kept.key === key) return kept.row;
      const row = makeRow(item);
      shown.set(item.start, { key, row });
      return row;
    });
    for (const start of shown.keys()) {
      if (!items.some((item) => item.start === start)) shown.delete(start);
    }
    const same = rows.length === body.children.length && rows.every((row, i) => body.children[i] === row);
    if (!same) body.replaceChildren(...rows);
  };
}

// The row of the recording under way changes every second.
const showReservationRows = keptRows('reservations', reservationRow);

function showReservations() {
  const body = $('reservations');
  const focused = document.activeElement;
  const focusKey = focused && focused.dataset && focused.dataset.action
                       ? [focused.dataset.action, focused.dataset.start] : null;
  showReservationRows(reservations.map(withLiveFigures));
  $('no-reservations').hidden = reservations.length > 0;
  body.closest('table').hidden = reservations.length === 0;
  // A rebuilt row takes the keyboard focus of the one it replaces.
  if (focusKey && !body.contains(focused)) {
    const again = body.querySelector(`button[data-action="${focusKey[0]}"][data-start="${focusKey[1]}"]`);
    if (again) again.focus();
  }
}

async function refreshReservations() {
  reservations = (await request('GET', '/api/reservations')).reservations;
  showReservations();
}

// ---- the recording under way ----------------------------------------------------------------

let stillTimer = 0;
let lastStatusKey = '';
// The recorder's clock minus this device's: a phone may be set differently from the recorder.
let recorderAheadMs = 0;

function parseStamp(stamp) {
  const [y, mo, d, h, mi, s] = stamp.split(/[-T:]/).map(Number);
  return new Date(y, mo - 1, d, h, mi, s);
}

function showStatus(status) {
  $('activity').textContent = status.activity || '';
  if (status.now) recorderAheadMs = parseStamp(status.now).getTime() - Date.now();
  // While a reservation records, the runner's "next" is that same one: the live figures say it.
  $('next').textContent = status.recording ? '' : status.next ? `次の予約: ${status.next}` : status.activity || '';
  // The schedule's device is chosen with tovalen-rec set; without one nothing can record.
  $('failure').textContent = status.device === -1 ? 'キャプチャデバイスを選択してください' : status.failure || '';
  recordingNow = status.recording;
  const live = status.recording;
  $('live').hidden = !live;
  if (live) {
    $('live-title').textContent = live.title;
    $('live-file').replaceChildren(pathText(live.file));
    $('live-elapsed').textContent = clock(live.elapsedMs / 1000);
    $('live-frames').textContent = number(live.frames);
    $('live-drops').textContent = number(live.drops);
    // The capture is written beside its target until it is saved: its size is not known here yet.
    $('live-bytes').textContent = live.bytes > 0 ? size(live.bytes) : '—';
  }
  showStill(Boolean(live && status.still));
  const help = status.allowed && status.allowed.length
                   ? `保存できるフォルダ: ${status.allowed.join('、')}（ファイル名だけのときは ${status.allowed[0]} に保存します）`
                   : '';
  $('file-help').textContent = help;
}

// The still picture is fetched again every few seconds while there is one.
function showStill(available) {
  const still = $('still');
  if (!available) {
    clearInterval(stillTimer);
    stillTimer = 0;
    still.hidden = true;
    still.removeAttribute('src');
    return;
  }
  if (stillTimer) return;
  const load = () => { still.src = `/api/still.jpg?t=${Date.now()}`; };
  still.onload = () => { still.hidden = false; };
  still.onerror = () => { still.hidden = true; };
  load();
  stillTimer = setInterval(load, 3000);
}

// ---- the finished recordings ----------------------------------------------------------------

function recordingRow(r) {
  const row = document.createElement('tr');
  row.dataset.start = r.start;
  cell(row, '開始', dateTime(r.start), 'time');
  cell(row, '番組名', r.title, 'title');
  const file = row.insertCell();
  file.dataset.label = 'ファイル';
  file.className = 'path';
  const link = document.createElement('a');
  link.href = r.download;
  link.download = r.name;
  link.textContent = r.name;
  link.title = `ダウンロード: ${r.file}`;
  file.append(link);
  cell(row, 'サイズ', size(r.bytes), 'number');
  cell(row, '長さ', clock(r.lengthSeconds), 'number');
  return row;
}

const showRecordingRows = keptRows('recordings', recordingRow);

async function refreshRecordings() {
  const list = (await request('GET', '/api/recordings')).recordings;
  showRecordingRows(list);
  $('no-recordings').hidden = list.length > 0;
  $('recordings').closest('table').hidden = list.length === 0;
}

// ---- polling --------------------------------------------------------------------------------

let pollTimer = 0;
let pollRun = 0;
let pollsSinceList = 0;

// One polling loop at a time: a loop started before a login or a logout ends at its next turn.
async function poll(run) {
  try {
    const status = await request('GET', '/api/status');
    showStatus(status);
    // The list and the files change when a recording starts or ends, and when another writer
    // (the command line, the desktop program) changes the schedule: look every few seconds.
    const key = [status.state, status.recording && status.recording.start, status.recorded, status.failed].join('|');
    pollsSinceList += 1;
    if (key !== lastStatusKey || pollsSinceList >= 5) {
      lastStatusKey = key;
      pollsSinceList = 0;
      await Promise.all([refreshReservations(), refreshRecordings()]);
    } else if (recordingNow) {
      showReservations();
    }
  } catch (e) {
    if (e.status === 401 && run === pollRun) {
      showLogin();
      return;
    }
    $('activity').textContent = e.message;
  }
  if (run === pollRun) pollTimer = setTimeout(() => poll(run), 1000);
}

function stopPolling() {
  pollRun += 1;
  clearTimeout(pollTimer);
}

function startPolling() {
  stopPolling();
  lastStatusKey = '';
  poll(pollRun);
}

// ---- messages -------------------------------------------------------------------------------

function notify(text, isError) {
  const notice = $('notice');
  notice.textContent = text;
  notice.classList.toggle('error', Boolean(isError));
}

// ---- the editor -----------------------------------------------------------------------------

let editing = null;

function localStamp(date) {
  return `${date.getFullYear()}-${pad2(date.getMonth() + 1)}-${pad2(date.getDate())}T` +
         `${pad2(date.getHours())}:${pad2(date.getMinutes())}:${pad2(date.getSeconds())}`;
}

// datetime-local drops ":00" seconds; the server wants them.
function fullStamp(value) {
  return value.length === 16 ? `${value}:00` : value;
}

// "30" is minutes, "1:30" hours and minutes, "0:00:45" hours, minutes and seconds.
function parseLength(text) {
  const parts = text.trim().replace(/：/g, ':').split(':');
  if (parts.length > 3 || parts.some((p) => !/^\d+$/.test(p))) return null;
  const numbers = parts.map(Number);
  if (numbers.length === 1) return numbers[0] * 60;
  if (numbers.length === 2) return numbers[0] * 3600 + numbers[1] * 60;
  return numbers[0] * 3600 + numbers[1] * 60 + numbers[2];
}

function showSpan() {
  const byLength = $('span-length').checked;
  $('length-field').hidden = !byLength;
  $('end-field').hidden = byLength;
}

function openEditor(r) {
  editing = r;
  $('editor-message').textContent = '';
  const recorderNow = Date.now() + recorderAheadMs;
  $('start').value = r ? r.start : localStamp(new Date(recorderNow + 5 * 60 * 1000));
  $('end').value = r ? r.end : localStamp(new Date(recorderNow + 35 * 60 * 1000));
  $('length').value = '';
  $('span-end').checked = true;
  $('file').value = r ? r.file : '';
  $('title').value = r ? r.title : '';
  $('repeat').value = 'none';
  $('count').value = '1';
  $('count').disabled = true;
  $('repeat-field').hidden = Boolean(r);
  $('save').textContent = r ? '変更' : '追加';
  showSpan();
  $('editor').hidden = false;
  $('start').focus();
  $('editor').scrollIntoView({ block: 'nearest' });
}

function closeEditor() {
  $('editor').hidden = true;
  editing = null;
  $('add').focus();
}

// The form as the API's body; null (with the message shown) when the form itself is incomplete.
function editorBody() {
  const message = $('editor-message');
  if (!$('start').value) {
    message.textContent = '録画開始日時を入力してください。';
    return null;
  }
  const body = { start: fullStamp($('start').value), file: $('file').value.trim(), title: $('title').value };
  if ($('span-length').checked) {
    const seconds = parseLength($('length').value);
    if (seconds === null || seconds <= 0) {
      message.textContent = '録画時間は「30」（分）か「1:30:00」（時:分:秒）のように入力してください。';
      return null;
    }
    body.seconds = seconds;
  } else {
    if (!$('end').value) {
      message.textContent = '録画終了日時を入力してください。';
      return null;
    }
    body.end = fullStamp($('end').value);
  }
  if (!body.file) {
    message.textContent = '保存ファイル名を入力してください。';
    return null;
  }
  if (!editing && $('repeat').value !== 'none') {
    body.repeat = $('repeat').value;
    body.count = Number($('count').value);
  }
  return body;
}

async function saveEditor(event) {
  event.preventDefault();
  $('editor-message').textContent = '';
  const body = editorBody();
  if (!body) return;
  const save = $('save');
  save.disabled = true;
  try {
    // A check the server could not make now comes back as a warning beside the answer.
    const warned = (answer, text) => notify(answer.warning ? `${text} ${answer.warning}` : text, Boolean(answer.warning));
    if (editing) {
      const answer = await change('PATCH', `/api/reservations/${encodeURIComponent(editing.start)}`, body);
      warned(answer, `変更しました: ${dateTime(body.start)} ${body.title}`);
    } else {
      const answer = await change('POST', '/api/reservations', body);
      const added = answer.reservations || [];
      warned(answer, `${added.length} 件の録画予約を追加しました: ${dateTime(body.start)} ${body.title}`);
    }
    closeEditor();
    await refreshReservations();
  } catch (e) {
    $('editor-message').textContent = e.message;
  } finally {
    save.disabled = false;
  }
}

async function removeReservation(r) {
  try {
    await change('DELETE', `/api/reservations/${encodeURIComponent(r.start)}`);
    notify(`削除しました: ${dateTime(r.start)} ${r.title}`);
    if (editing && editing.start === r.start) closeEditor();
  } catch (e) {
    notify(e.message, true);
  }
  await refreshReservations().catch((e) => notify(e.message, true));
  // The pressed button went with its row: keep the keyboard in the list.
  if (!document.activeElement || document.activeElement === document.body) $('add').focus();
}

function onListClick(event) {
  const button = event.target.closest('button[data-action]');
  if (!button) return;
  const r = reservations.find((x) => x.start === button.dataset.start);
  if (!r) return;
  if (button.dataset.action === 'edit') openEditor(r);
  else removeReservation(r);
}

// ---- login ----------------------------------------------------------------------------------

function showLogin() {
  stopPolling();
  showStill(false);
  $('app').hidden = true;
  $('logout').hidden = true;
  $('login').hidden = false;
  $('password').focus();
}

function showApp() {
  $('login').hidden = true;
  $('app').hidden = false;
  $('logout').hidden = !session.loginRequired;
  startPolling();
}

async function login(event) {
  event.preventDefault();
  const message = $('login-message');
  message.textContent = '';
  try {
    const answer = await change('POST', '/api/login', { password: $('password').value });
    session.token = answer.csrfToken;
    session.loggedIn = true;
    $('password').value = '';
    showApp();
  } catch (e) {
    message.textContent = e.message;
    $('password').select();
  }
}

async function logout() {
  try {
    await change('POST', '/api/logout');
  } catch (e) {
    notify(e.message, true);
  }
  await loadSession().catch(() => {});
  showLogin();
}

// ---- start ----------------------------------------------------------------------------------

function listen() {
  $('reservations').addEventListener('click', onListClick);
  $('add').addEventListener('click', () => openEditor(null));
  $('cancel').addEventListener('click', closeEditor);
  $('editor-form').addEventListener('submit', saveEditor);
  $('editor').addEventListener('keydown', (e) => { if (e.key === 'Escape') closeEditor(); });
  $('span-end').addEventListener('change', showSpan);
  $('span-length').addEventListener('change', showSpan);
  $('repeat').addEventListener('change', () => { $('count').disabled = $('repeat').value === 'none'; });
  $('login-form').addEventListener('submit', login);
  $('logout').addEventListener('click', logout);
}

// The server may still be starting: try again until it answers.
async function connect() {
  try {
    await loadSession();
  } catch (e) {
    notify(e.message, true);
    setTimeout(connect, 3000);
    return;
  }
  notify('');
  if (session.loginRequired && !session.loggedIn) showLogin();
  else showApp();
}

function start() {
  listen();
  connect();
}

document.addEventListener('DOMContentLoaded', start, { once: true });
