// SPDX-License-Identifier: MIT
// The device's view: draws the state of the device it is given, lists every
// event, acts on the device (inputs, com1 text, the notification) and
// replays a trace written by --trace. It reads no meaning from an event's
// text: GET /state gives the board's lines and the whole state, and every
// event (live, or a line of a replayed trace) carries the fields of the
// state it changed ("state"), which the page sets. Plain JavaScript, no
// build step.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const LED_COUNT = 9;
  const MAX_ROWS = 5000;       // the timeline keeps the newest rows
  const MAX_KEPT_EVENTS = 20000;

  let mode = 'connecting';  // connecting, live, ended, refused, replay
  let haveState = false;    // /state has answered for this run
  let initial = {};         // the state before any event
  let liveState = copy(initial);
  let liveBase = 0;         // the seq of the last event the live state holds from /state
  const liveEvents = [];
  let liveRun = null;  // the run whose events are drawn, as its stream names it
  let stream = null;

  function copy(state) { return JSON.parse(JSON.stringify(state)); }

  // What one event changed: each group's fields replace the state's.
  function applyChange(s, change) {
    if (!change || typeof change !== 'object') return;
    for (const [group, fields] of Object.entries(change)) {
      if (!fields || typeof fields !== 'object') continue;
      if (!s[group] || typeof s[group] !== 'object') s[group] = {};
      Object.assign(s[group], fields);
    }
  }

  // ---- the board's lines ----
  // The page lays out the lines it knows; a line of the board it has no place
  // for gets one at the end of its panel.
  function lineElement(kind, name) {
    const panel = kind === 'output' ? $('lamps') : $('inputs');
    return [...panel.querySelectorAll('[data-line]')].find((e) => e.dataset.line === name) || null;
  }

  function addLine(line) {
    const output = line.kind === 'output';
    if ((!output && line.kind !== 'input') || lineElement(line.kind, line.name)) return;
    const e = document.createElement(output ? 'div' : 'button');
    e.className = output ? 'lamp' : 'input acting';
    e.id = (output ? 'lamp-' : 'input-') + line.name;
    e.dataset.line = line.name;
    e.dataset.level = '';
    if (output) e.appendChild(document.createElement('span')).className = 'bulb';
    e.append(line.name);
    (output ? $('lamps') : $('inputs')).appendChild(e);
    if (!output) {
      pushButton(e);
      e.disabled = mode !== 'live';
    }
  }

  // ---- drawing ----
  for (let i = 0; i < LED_COUNT; i++) {
    const led = document.createElement('span');
    led.className = 'led';
    led.id = 'led-' + i;
    led.dataset.colour = '';
    $('leds').appendChild(led);
  }

  function levelText(v) { return v === null || v === undefined ? '' : String(v); }
  function shown(v) { return v === undefined || v === null ? 0 : v; }

  function render(s) {
    const outputs = s.outputs || {}, inputs = s.inputs || {};
    $('lamps').querySelectorAll('[data-line]').forEach((e) => { e.dataset.level = levelText(outputs[e.dataset.line]); });
    $('inputs').querySelectorAll('[data-line]').forEach((e) => { e.dataset.level = levelText(inputs[e.dataset.line]); });
    const l = s.light || {};
    const channels = l.channels || [];
    for (let i = 0; i < 4; i++) $('channel-' + (i + 1)).dataset.on = String(!!channels[i]);
    $('light-on').dataset.on = String(!!l.light);
    $('light-on').textContent = l.light ? 'on' : 'off';
    $('work-mode').textContent = shown(l.work_mode);
    $('flash-count').textContent = shown(l.flash_count);
    $('flash-time').textContent = shown(l.flash_time);
    $('brightness').textContent = shown(l.brightness);
    $('frames').textContent = shown(l.frames);
    const lens = s.lens || {};
    $('lens-value').textContent = shown(lens.value);
    $('lens-vtemp').textContent = shown(lens.vtemp);
    $('lens-bus').textContent = lens.present === false ? 'removed' : lens.stuck ? 'stuck'
      : lens.answering === false ? 'not answering' : 'ok';
    const leds = ((s.strip || {}).leds || []).map((w) => '#' + String(w).toLowerCase());
    for (let i = 0; i < LED_COUNT; i++) {
      const c = leds[i] || '';
      const led = $('led-' + i);
      led.dataset.colour = c;
      led.style.background = c || '#000';
    }
    $('led-text').textContent = leds.length ? leds.join(' ') : 'not rendered yet';
    const program = s.program || {};
    $('program').textContent = program.ended ? 'program exited with status ' + program.exit_status
      : 'program running';
  }

  function setMode(m) {
    mode = m;
    const badge = $('mode');
    badge.textContent = m;
    badge.className = 'badge ' + m;
    document.querySelectorAll('.acting').forEach((b) => { b.disabled = m !== 'live'; });
    $('go-live').disabled = m !== 'replay';
  }

  // ---- timeline ----
  // The program's own output may hold terminal colours: the timeline shows
  // its text without them.
  function stripColours(text) { return String(text).replace(/\x1b\[[0-9;]*m/g, ''); }

  function addRow(ev) {
    const body = $('timeline').tBodies[0];
    const row = body.insertRow();
    row.className = 'src-' + ev.source + ' kind-' + ev.kind;
    // "~": the launcher stamped it when it read it (it happened at or before).
    row.insertCell().textContent = Number(ev.t).toFixed(3) + (ev.timing === 'arrival' ? '~' : ' ');
    row.insertCell().textContent = ev.source;
    row.insertCell().textContent = ev.text;
    const filter = $('timeline-filter').value.toLowerCase();
    if (filter && !row.textContent.toLowerCase().includes(filter)) row.hidden = true;
    while (body.rows.length > MAX_ROWS) body.deleteRow(0);
    if (ev.source === 'com1') {
      const item = document.createElement('li');
      const fromProgram = ev.kind === 'received';
      item.className = fromProgram ? 'in' : 'out';
      item.textContent = Number(ev.t).toFixed(3) + '  ' + (fromProgram ? 'program ' : 'peer ') + ev.text;
      $('com1-log').appendChild(item);
      item.scrollIntoView({ block: 'nearest' });
    }
    $('clock').textContent = Number(ev.t).toFixed(3) + ' s';
  }

  function clearTimeline() {
    $('timeline').tBodies[0].replaceChildren();
    $('com1-log').replaceChildren();
    $('timeline-note').textContent = '';
  }

  function scrollTimeline() {
    const body = $('timeline').tBodies[0];
    body.scrollTop = body.scrollHeight;
  }

  $('timeline-filter').addEventListener('input', () => {
    const filter = $('timeline-filter').value.toLowerCase();
    for (const row of $('timeline').tBodies[0].rows)
      row.hidden = !!filter && !row.textContent.toLowerCase().includes(filter);
  });

  // ---- live ----
  // The whole state of the run, as of its event `seq`: the events after it
  // that have come already are set on top.
  async function fetchState() {
    const run = liveRun;
    let reply;
    try {
      const res = await fetch('/state', { cache: 'no-store' });
      if (!res.ok) return;
      reply = await res.json();
    } catch (e) {
      return;  // the live events still draw the state from their changes
    }
    if (run !== liveRun || !reply || typeof reply.state !== 'object') return;
    if (Array.isArray(reply.board)) reply.board.forEach(addLine);
    haveState = true;
    if (reply.initial && typeof reply.initial === 'object') initial = reply.initial;
    liveState = copy(reply.state);
    liveBase = Number(reply.seq) || 0;
    for (const ev of liveEvents) if (ev.seq > liveBase) applyChange(liveState, ev.state);
    if (mode !== 'replay') render(liveState);
  }

  // A launcher started again on the same port runs anew: what was drawn of
  // the run before goes, and the new run is taken from its first event.
  function startOver() {
    liveState = copy(initial);
    liveBase = 0;
    liveEvents.length = 0;
    if (mode !== 'replay') {
      clearTimeline();
      render(liveState);
      $('clock').textContent = '0.000 s';
    }
  }

  function connect() {
    stream = new EventSource('/events');
    stream.addEventListener('open', () => { if (mode !== 'replay') setMode('live'); });
    // Each stream names its run first; the server resumes within one run only.
    stream.addEventListener('run', (m) => {
      const run = JSON.parse(m.data).run;
      const again = liveRun !== null && run !== liveRun;
      if (again) startOver();
      liveRun = run;
      if (again || !haveState) fetchState();
    });
    stream.addEventListener('events', (m) => {
      const batch = JSON.parse(m.data);
      if (batch.dropped > 0) {
        $('timeline-note').textContent = batch.dropped + ' events were dropped from the timeline';
        fetchState();
      }
      for (const ev of batch.events) {
        ev.text = stripColours(ev.text);
        if (!(ev.seq <= liveBase)) applyChange(liveState, ev.state);
        liveEvents.push(ev);
        if (mode !== 'replay') addRow(ev);
      }
      if (liveEvents.length > MAX_KEPT_EVENTS) liveEvents.splice(0, liveEvents.length - MAX_KEPT_EVENTS);
      if (mode !== 'replay') {
        render(liveState);
        scrollTimeline();
      }
    });
    // The run has ended: its stream will not come back.
    stream.addEventListener('end', () => {
      stream.close();
      if (mode !== 'replay') setMode('ended');
    });
    // The view serves only so many pages at once; asking again would not help.
    stream.addEventListener('refused', (m) => {
      stream.close();
      $('view-error').textContent = JSON.parse(m.data).error;
      if (mode !== 'replay') setMode('refused');
    });
    stream.addEventListener('error', () => {
      if (stream.readyState === EventSource.CLOSED || (liveState.program || {}).ended) {
        stream.close();
        if (mode !== 'replay') setMode('ended');
      } else if (mode !== 'replay') {
        setMode('connecting');
      }
    });
  }

  // Actions go out one after another: two requests in flight at once could
  // reach the launcher in either order (a release before its press).
  let pending = Promise.resolve();
  function act(path, body) {
    pending = pending.then(() => post(path, body));
    return pending;
  }

  async function post(path, body) {
    $('act-error').textContent = '';
    try {
      const res = await fetch(path, { method: 'POST', headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify(body || {}) });
      if (!res.ok) {
        const answer = await res.json().catch(() => ({}));
        $('act-error').textContent = path + ': ' + (answer.error || res.status);
      }
    } catch (e) {
      $('act-error').textContent = path + ': ' + e.message;
    }
  }

  // An input button works as a push button: high while held, low on release.
  function pushButton(b) {
    let held = false;
    const press = () => {
      if (held || b.disabled) return;
      held = true;
      b.classList.add('pressed');
      act('/edge', { line: b.dataset.line, level: 1 });
    };
    const release = () => {
      if (!held) return;
      held = false;
      b.classList.remove('pressed');
      act('/edge', { line: b.dataset.line, level: 0 });
    };
    b.addEventListener('pointerdown', (e) => { b.setPointerCapture(e.pointerId); press(); });
    b.addEventListener('pointerup', release);
    b.addEventListener('pointercancel', release);
    b.addEventListener('keydown', (e) => { if ((e.key === ' ' || e.key === 'Enter') && !e.repeat) press(); });
    b.addEventListener('keyup', (e) => { if (e.key === ' ' || e.key === 'Enter') release(); });
    b.addEventListener('blur', release);
  }
  $('inputs').querySelectorAll('button[data-line]').forEach(pushButton);

  $('notify').addEventListener('click', () => act('/notify', {}));
  $('send-form').addEventListener('submit', (e) => {
    e.preventDefault();
    const text = $('send-text').value + ($('send-crlf').checked ? '\\r\\n' : '');
    if (text) act('/send', { text: text });
  });

  // ---- replay of a trace ----
  // A trace holds one event a line, as JSON; lines that are not are skipped.
  function parseTrace(text) {
    const events = [];
    let skipped = 0;
    for (const line of text.split(/\r?\n/)) {
      if (!line.trim()) continue;
      let ev = null;
      try { ev = JSON.parse(line); } catch (e) { ev = null; }
      if (ev && typeof ev === 'object' && Number.isFinite(Number(ev.t)) && typeof ev.source === 'string') {
        ev.t = Number(ev.t);
        ev.text = stripColours(ev.text === undefined ? '' : ev.text);
        events.push(ev);
      } else {
        skipped++;
      }
    }
    return { events: events, skipped: skipped };
  }

  const replay = { events: [], index: 0, timer: null, startedAt: 0, startT: 0 };

  function showReplayUpTo(index) {
    const s = copy(initial);
    clearTimeline();
    for (let i = 0; i < index; i++) {
      applyChange(s, replay.events[i].state);
      addRow(replay.events[i]);
    }
    replay.state = s;
    replay.index = index;
    $('replay-position').value = String(index);
    render(s);
    scrollTimeline();
  }

  function pauseReplay() {
    clearTimeout(replay.timer);
    replay.timer = null;
  }

  function stepReplay() {
    const speed = Number($('replay-speed').value);
    if (speed === 0) {
      showReplayUpTo(replay.events.length);
      return;
    }
    const now = (performance.now() - replay.startedAt) / 1000 * speed + replay.startT;
    while (replay.index < replay.events.length && replay.events[replay.index].t <= now) {
      applyChange(replay.state, replay.events[replay.index].state);
      addRow(replay.events[replay.index]);
      replay.index++;
    }
    $('replay-position').value = String(replay.index);
    render(replay.state);
    scrollTimeline();
    if (replay.index < replay.events.length) {
      const wait = (replay.events[replay.index].t - now) / speed * 1000;
      replay.timer = setTimeout(stepReplay, Math.max(0, Math.min(wait, 1000)));
    } else {
      replay.timer = null;
    }
  }

  function playReplay() {
    pauseReplay();
    if (replay.index >= replay.events.length) showReplayUpTo(0);
    replay.startedAt = performance.now();
    replay.startT = replay.index > 0 ? replay.events[replay.index - 1].t : (replay.events[0] ? replay.events[0].t : 0);
    stepReplay();
  }

  $('trace-file').addEventListener('change', async () => {
    const file = $('trace-file').files[0];
    if (!file) return;
    pauseReplay();
    const trace = parseTrace(await file.text());
    replay.events = trace.events;
    setMode('replay');
    $('replay-position').max = String(replay.events.length);
    ['replay-play', 'replay-pause', 'replay-position'].forEach((id) => { $(id).disabled = false; });
    showReplayUpTo(0);
    $('timeline-note').textContent = file.name + ': ' + replay.events.length + ' events' +
      (trace.skipped ? ', ' + trace.skipped + ' lines that are no event skipped' : '');
    playReplay();
  });
  $('replay-play').addEventListener('click', playReplay);
  $('replay-pause').addEventListener('click', pauseReplay);
  $('replay-position').addEventListener('input', () => {
    pauseReplay();
    showReplayUpTo(Number($('replay-position').value));
  });
  $('go-live').addEventListener('click', () => {
    pauseReplay();
    clearTimeline();
    liveEvents.forEach(addRow);
    render(liveState);
    setMode(stream && stream.readyState !== EventSource.CLOSED ? 'live'
      : $('view-error').textContent ? 'refused' : 'ended');
  });

  render(liveState);
  setMode('connecting');
  connect();
})();
