// SPDX-License-Identifier: MIT
// The device's view: draws the state the launcher publishes, lists every
// event, acts on the device (inputs, com1 text, the notification) and replays
// a trace. Plain JavaScript, no build step.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const LED_COUNT = 9;
  const MAX_ROWS = 5000;       // the timeline keeps the newest rows
  const MAX_KEPT_EVENTS = 20000;
  const OUTPUTS = ['laser', 'alarm', 'scanA', 'scanB', 'do1', 'do2'];
  const INPUTS = ['input', 'trigger', 'tune'];
  const ROLE_KEYS = { laser: 'laser', alarm: 'alarm', 'scan A': 'scanA', 'scan B': 'scanB',
    DO1: 'do1', DO2: 'do2', input: 'input', trigger: 'trigger', tune: 'tune' };

  let mode = 'connecting';  // connecting, live, ended, replay
  let liveState = null;
  const liveEvents = [];
  let stream = null;

  function blankState() {
    const s = { outputs: {}, inputs: {}, leds: [], renders: 0,
      light: { channels: [false, false, false, false], workMode: 0, lightOn: false,
        flashCount: 0, flashTime: 0, brightness: 0, frames: 0 },
      lens: { value: 0, vtemp: 0, present: true, answering: true, stuck: false },
      program: { running: true, status: '' } };
    OUTPUTS.forEach((k) => { s.outputs[k] = null; });
    INPUTS.forEach((k) => { s.inputs[k] = null; });
    return s;
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

  function render(s) {
    OUTPUTS.forEach((k) => { $('lamp-' + k).dataset.level = levelText(s.outputs[k]); });
    INPUTS.forEach((k) => { $('input-' + k).dataset.level = levelText(s.inputs[k]); });
    const l = s.light;
    l.channels.forEach((on, i) => { $('channel-' + (i + 1)).dataset.on = String(!!on); });
    $('light-on').dataset.on = String(!!l.lightOn);
    $('light-on').textContent = l.lightOn ? 'on' : 'off';
    $('work-mode').textContent = l.workMode;
    $('flash-count').textContent = l.flashCount;
    $('flash-time').textContent = l.flashTime;
    $('brightness').textContent = l.brightness;
    $('frames').textContent = l.frames;
    $('lens-value').textContent = s.lens.value;
    $('lens-vtemp').textContent = s.lens.vtemp;
    $('lens-bus').textContent = !s.lens.present ? 'removed' : s.lens.stuck ? 'stuck'
      : !s.lens.answering ? 'not answering' : 'ok';
    for (let i = 0; i < LED_COUNT; i++) {
      const c = s.leds[i] || '';
      const led = $('led-' + i);
      led.dataset.colour = c;
      led.style.background = c || '#000';
    }
    $('led-text').textContent = s.leds.length ? s.leds.join(' ') : 'not rendered yet';
    $('program').textContent = s.program.running ? 'program running' : 'program ' + s.program.status;
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
  function stripColours(text) { return String(text).replace(/\x1b\[[0-9;]*m/g, '').replace(/\u2588+ ?/g, ''); }

  function addRow(ev) {
    const body = $('timeline').tBodies[0];
    const row = body.insertRow();
    row.className = 'src-' + ev.source;
    row.insertCell().textContent = Number(ev.t).toFixed(3);
    row.insertCell().textContent = ev.source;
    row.insertCell().textContent = ev.text;
    const filter = $('timeline-filter').value.toLowerCase();
    if (filter && !row.textContent.toLowerCase().includes(filter)) row.hidden = true;
    while (body.rows.length > MAX_ROWS) body.deleteRow(0);
    if (ev.source === 'com1') {
      const item = document.createElement('li');
      item.className = ev.text.startsWith('<-') ? 'in' : 'out';
      item.textContent = Number(ev.t).toFixed(3) + '  ' + (ev.text.startsWith('<-') ? 'program ' : 'peer ') + ev.text;
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
  function connect() {
    stream = new EventSource('/events');
    stream.addEventListener('open', () => { if (mode !== 'replay') setMode('live'); });
    stream.addEventListener('events', (m) => {
      const batch = JSON.parse(m.data);
      if (batch.dropped > 0) $('timeline-note').textContent = batch.dropped + ' older events were dropped';
      for (const ev of batch.events) {
        ev.text = stripColours(ev.text);
        liveEvents.push(ev);
        if (mode !== 'replay') addRow(ev);
      }
      if (liveEvents.length > MAX_KEPT_EVENTS) liveEvents.splice(0, liveEvents.length - MAX_KEPT_EVENTS);
      if (mode !== 'replay') scrollTimeline();
    });
    stream.addEventListener('state', (m) => {
      liveState = JSON.parse(m.data);
      if (mode !== 'replay') render(liveState);
    });
    stream.addEventListener('error', () => {
      // The launcher ends with its program; the stream cannot come back then.
      if (liveState && !liveState.program.running) {
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
  document.querySelectorAll('button.input').forEach((b) => {
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
  });

  $('notify').addEventListener('click', () => act('/notify', {}));
  $('send-form').addEventListener('submit', (e) => {
    e.preventDefault();
    const text = $('send-text').value + ($('send-crlf').checked ? '\\r\\n' : '');
    if (text) act('/send', { text: text });
  });

  // ---- replay of a trace ----
  // A trace holds one event a line: JSON ({"t": seconds, "source" or "kind",
  // "text", and maybe "state"}), or the launcher's terminal lines
  // ("  0.013 gpio  DO1 (22) -> 1").
  function parseTrace(text) {
    const events = [];
    for (const line of text.split(/\r?\n/)) {
      if (!line.trim()) continue;
      let ev = null;
      if (line.trim().startsWith('{')) {
        try { ev = normalise(JSON.parse(line)); } catch (e) { ev = null; }
      } else {
        // "%7.3f %-5s %s": the tag is padded to five columns, the text keeps its own blanks.
        const m = /^\s*(\d+\.\d+) (\S+)(.*)$/.exec(line);
        if (m) {
          const pad = ' '.repeat(Math.max(0, 5 - m[2].length) + 1);
          ev = { t: Number(m[1]), source: m[2], text: stripColours(m[3].startsWith(pad) ? m[3].slice(pad.length) : m[3].trimStart()) };
        }
      }
      if (ev) events.push(ev);
    }
    // Stable: events of one time keep the order of the file.
    return events.map((e, i) => [e, i]).sort((a, b) => a[0].t - b[0].t || a[1] - b[1]).map((p) => p[0]);
  }

  function normalise(o) {
    let t = o.t !== undefined ? o.t : o.time !== undefined ? o.time
      : o.ms !== undefined ? o.ms / 1000 : o.us !== undefined ? o.us / 1e6 : o.ns !== undefined ? o.ns / 1e9 : NaN;
    t = Number(t);
    if (!Number.isFinite(t)) return null;
    const source = String(o.source || o.tag || o.kind || 'event');
    const text = stripColours(o.text !== undefined ? o.text : o.message !== undefined ? o.message : JSON.stringify(o));
    return { t: t, source: source.split('.')[0], text: text, fields: o };
  }

  // The state a trace's events add up to, from what each event says.
  function applyEvent(s, ev) {
    const f = ev.fields || {};
    if (f.state && typeof f.state === 'object') Object.assign(s, f.state);
    const text = ev.text;
    let m;
    switch (ev.source) {
      case 'gpio':
        if ((m = /^(DO1|DO2|laser|scan A|scan B|alarm) \(\d+\) (?:->|is) ([01])/.exec(text)))
          s.outputs[ROLE_KEYS[m[1]]] = Number(m[2]);
        else if ((m = /^(?:edge|level) (input|trigger|tune) \(\d+\) -> ([01])/.exec(text)) && !/not sent/.test(text))
          s.inputs[m[1]] = Number(m[2]);
        else if ((m = /^read (input|trigger|tune) \(\d+\) = ([01])/.exec(text)))
          s.inputs[m[1]] = Number(m[2]);
        break;
      case 'state':
        if ((m = /^channel ([1-4]) \S+ -> (on|off)/.exec(text))) s.light.channels[Number(m[1]) - 1] = m[2] === 'on';
        else if ((m = /^work mode \S+ -> (\d+)/.exec(text))) s.light.workMode = Number(m[1]);
        else if ((m = /^light \S+ -> (on|off)/.exec(text))) s.light.lightOn = m[1] === 'on';
        else if ((m = /^flash count \S+ -> (\d+)/.exec(text))) s.light.flashCount = Number(m[1]);
        else if ((m = /^flash time \S+ -> (\d+)/.exec(text))) s.light.flashTime = Number(m[1]);
        else if ((m = /^brightness \S+ -> (\d+)/.exec(text))) s.light.brightness = Number(m[1]);
        break;
      case 'com2':
        if (text.startsWith('<-')) s.light.frames += 1;
        break;
      case 'i2c':
        if ((m = /^registers: lens (\d+).*VTemp (\d+)/.exec(text))) {
          s.lens.value = Number(m[1]);
          s.lens.vtemp = Number(m[2]);
        } else if (/stops answering/.test(text)) s.lens.answering = false;
        else if (/is stuck/.test(text)) s.lens.stuck = true;
        else if (/mended/.test(text)) { s.lens.stuck = false; s.lens.answering = true; }
        else if (/removed$/.test(text)) s.lens.present = false;
        else if (/back$/.test(text)) s.lens.present = true;
        break;
      case 'strip':
        if ((m = /(\d+) LEDs?: (.*)$/.exec(text))) s.leds = ledColours(Number(m[1]), m[2]);
        break;
      case 'sim':
        if ((m = /^program (.+)$/.exec(text))) s.program = { running: false, status: m[1] };
        break;
    }
  }

  // "ff0000 x9" or "ff0000 00ff00 ..." as a list of "#rrggbb".
  function ledColours(count, text) {
    const words = text.trim().split(/\s+/);
    const m = /^x(\d+)$/.exec(words[1] || '');
    const list = m ? Array(Number(m[1])).fill(words[0]) : words.slice(0, count);
    return list.filter((w) => /^[0-9a-fA-F]{6}$/.test(w)).map((w) => '#' + w.toLowerCase());
  }

  const replay = { events: [], index: 0, timer: null, startedAt: 0, startT: 0 };

  function showReplayUpTo(index) {
    const s = blankState();
    clearTimeline();
    for (let i = 0; i < index; i++) {
      applyEvent(s, replay.events[i]);
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
      applyEvent(replay.state, replay.events[replay.index]);
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
    replay.events = parseTrace(await file.text());
    setMode('replay');
    $('replay-position').max = String(replay.events.length);
    ['replay-play', 'replay-pause', 'replay-position'].forEach((id) => { $(id).disabled = false; });
    showReplayUpTo(0);
    $('timeline-note').textContent = file.name + ': ' + replay.events.length + ' events';
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
    render(liveState || blankState());
    setMode(stream && stream.readyState !== EventSource.CLOSED ? 'live' : 'ended');
  });

  render(blankState());
  setMode('connecting');
  connect();
})();
