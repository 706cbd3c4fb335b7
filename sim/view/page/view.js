// SPDX-License-Identifier: MIT
// The device's view: follows the run's events (each as its trace line: "t",
// "source", "kind", "text" and the fields of its kind), draws the device they
// add up to, lists every event, acts on the device (inputs, com1 text, the
// notification) and replays a trace written by --trace. Plain JavaScript, no
// build step.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const LED_COUNT = 9;
  const MAX_ROWS = 5000;       // the timeline keeps the newest rows
  const MAX_KEPT_EVENTS = 20000;
  const OUTPUTS = ['laser', 'alarm', 'scanA', 'scanB', 'do1', 'do2'];
  const INPUTS = ['input', 'trigger', 'tune'];
  // The board's lines (SoC numbering) by the names the page uses.
  const OUTPUT_PINS = { 13: 'laser', 21: 'alarm', 16: 'scanA', 7: 'scanB', 22: 'do1', 27: 'do2' };
  const INPUT_PINS = { 17: 'input', 12: 'trigger', 20: 'tune' };

  let mode = 'connecting';  // connecting, live, ended, refused, replay
  let liveState = blankState();
  const liveEvents = [];
  let liveRun = null;  // the run whose events are drawn, as its stream names it
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
  // A launcher started again on the same port runs anew: what was drawn of
  // the run before goes, and the new run is taken from its first event.
  function startOver() {
    liveState = blankState();
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
      if (liveRun !== null && run !== liveRun) startOver();
      liveRun = run;
    });
    stream.addEventListener('events', (m) => {
      const batch = JSON.parse(m.data);
      if (batch.dropped > 0) $('timeline-note').textContent = batch.dropped + ' events were dropped: the state may be short of them';
      for (const ev of batch.events) {
        ev.text = stripColours(ev.text);
        applyEvent(liveState, ev);
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
      if (stream.readyState === EventSource.CLOSED || !liveState.program.running) {
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

  // What one event changes in the device's state.
  function applyEvent(s, ev) {
    switch (ev.source) {
      case 'gpio':
        if ((ev.kind === 'write' || ev.kind === 'written') && OUTPUT_PINS[ev.pin])
          s.outputs[OUTPUT_PINS[ev.pin]] = ev.level;
        else if ((ev.kind === 'edge' || ev.kind === 'level' || ev.kind === 'read' || ev.kind === 'written') &&
                 INPUT_PINS[ev.pin] && !/not sent/.test(ev.text))
          s.inputs[INPUT_PINS[ev.pin]] = ev.level;
        break;
      case 'light':
        if (ev.light) {
          const l = ev.light;
          s.light = { channels: l.channels.slice(0, 4), workMode: l.work_mode, lightOn: !!l.light,
            flashCount: l.flash_count, flashTime: l.flash_time, brightness: l.brightness, frames: l.frames };
        }
        break;
      case 'com2':
        if (ev.kind === 'frame') s.light.frames += 1;
        break;
      case 'i2c':
        if (ev.kind === 'registers') {
          if (ev.lens !== undefined) s.lens.value = ev.lens;
          if (ev.vtemp !== undefined) s.lens.vtemp = ev.vtemp;
        } else if (ev.kind === 'bus') {
          if (/stops answering/.test(ev.text)) s.lens.answering = false;
          else if (/is stuck/.test(ev.text)) s.lens.stuck = true;
          else if (/mended/.test(ev.text)) { s.lens.stuck = false; s.lens.answering = true; }
          else if (/removed/.test(ev.text)) s.lens.present = false;
          else if (/back/.test(ev.text)) s.lens.present = true;
        }
        break;
      case 'strip':
        if (ev.kind === 'render' && Array.isArray(ev.leds))
          s.leds = ev.leds.filter((w) => /^[0-9a-fA-F]{6}$/.test(w)).map((w) => '#' + w.toLowerCase());
        break;
      case 'sim':
        if (ev.kind === 'exit') s.program = { running: false, status: 'exited with status ' + ev.result };
        break;
    }
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

  render(blankState());
  setMode('connecting');
  connect();
})();
