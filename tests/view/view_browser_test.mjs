// SPDX-License-Identifier: MIT
// kiv-sim-run's view in a real browser: a program on the simulated board,
// what the page shows of it, the page's actions reaching the program, trace
// replay, requests from elsewhere refused, and the page on live updates
// played to it.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { NO_SANDBOX, env, launchBrowser, screenshot, startLauncher, stopLauncher, waitShown,
  waitTimeline } from './view_harness.mjs';

const GREEN = '#00ff00';
const RED = '#ff0000';
let browser;

before(async () => { browser = await launchBrowser(); });
after(async () => { if (browser) await browser.close(); });

// Runs `body` with a page open on the view of `args`; skips where the board cannot be built.
async function withView(t, args, body) {
  let run;
  try {
    run = await startLauncher(args);
  } catch (e) {
    if (e.code === NO_SANDBOX) return t.skip('the simulated board needs namespaces');
    throw e;
  }
  const context = await browser.newContext({ viewport: { width: 1200, height: 1000 } });
  const page = await context.newPage();
  const pageErrors = [];
  page.on('pageerror', (e) => pageErrors.push(e.message));
  try {
    await page.goto(run.url);
    await body(page, run);
    assert.deepEqual(pageErrors, [], 'the page threw');
  } catch (e) {
    await screenshot(page, t.name.replace(/\W+/g, '-') + '-failed.png').catch(() => {});
    e.message += '\nlauncher output:\n' + run.output.slice(-4000);
    throw e;
  } finally {
    await context.close();
    await stopLauncher(run);
  }
}

async function expectLeds(page, colour) {
  for (let i = 0; i < 9; i++) await waitShown(page, '#led-' + i, 'data-colour', colour);
}

test('the page shows what the program did, and its buttons reach the program', async (t) => {
  await withView(t, [env.probe], async (page, run) => {
    await waitShown(page, '#mode', null, 'live');
    await waitTimeline(page, '[probe] ready');
    const lamps = { laser: '1', alarm: '0', 'scan-a': '1', 'scan-b': '0', do1: '0', do2: '1' };
    for (const [lamp, level] of Object.entries(lamps)) await waitShown(page, '#lamp-' + lamp, 'data-level', level);
    // Each lamp shows the line's one name, as the log and the scenarios write it.
    for (const lamp of Object.keys(lamps)) assert.equal(await page.textContent('#lamp-' + lamp), lamp);
    for (const [channel, on] of [[1, 'true'], [2, 'false'], [3, 'false'], [4, 'false']])
      await waitShown(page, '#channel-' + channel, 'data-on', on);
    await waitShown(page, '#light-on', null, 'on');
    await waitShown(page, '#work-mode', null, '5');
    await waitShown(page, '#flash-count', null, '4');
    await waitShown(page, '#flash-time', null, '25');
    await waitShown(page, '#lens-value', null, '1234');
    await waitShown(page, '#lens-vtemp', null, '1');
    await expectLeds(page, GREEN);
    await screenshot(page, 'probe-ready.png');

    // Pressing the input button raises the edge; the program's callback sounds the alarm and turns
    // the strip red. The button is held until then: the handler samples the line when it starts.
    await page.hover('#input-input');
    await page.mouse.down();
    await waitTimeline(page, '[probe] input callback: level 1');
    await waitShown(page, '#lamp-alarm', 'data-level', '1');
    await expectLeds(page, RED);
    // Released, the line falls again: the press and the release arrive in their order.
    await page.mouse.up();
    await waitTimeline(page, '[probe] input callback: level 0');
    await waitShown(page, '#input-input', 'data-level', '0');

    await page.fill('#send-text', 'ping');
    await page.click('#send');
    await page.waitForFunction(() => document.querySelector('#com1-log').textContent.includes('pong: ping'),
      null, { timeout: 20000 });

    await page.click('#notify');
    await waitTimeline(page, '[probe] notification');
    await waitShown(page, '#lamp-do2', 'data-level', '0');
    await waitShown(page, '#act-error', null, '');
    await screenshot(page, 'probe-after-actions.png');

    await page.fill('#send-text', 'quit');
    await page.click('#send');
    await waitShown(page, '#mode', null, 'ended');
    await waitShown(page, '#program', null, 'program exited with status 0');
    assert.equal(await run.exited, 0);
  });
});

// A page of another origin, served here, that tries to raise an edge on the view.
function foreignSite(viewUrl) {
  const html = `<!DOCTYPE html><script>
    window.attempts = Promise.allSettled([
      fetch(${JSON.stringify(viewUrl + 'edge')}, { method: 'POST', mode: 'no-cors',
        headers: { 'Content-Type': 'text/plain' }, body: '{"line":"input","level":1}' }),
      fetch(${JSON.stringify(viewUrl + 'edge')}, { method: 'POST',
        headers: { 'Content-Type': 'application/json' }, body: '{"line":"input","level":1}' }),
      fetch(${JSON.stringify(viewUrl + 'notify')}, { method: 'POST', mode: 'no-cors', body: '{}' }),
    ]).then((r) => r.map((x) => x.status));
  </script>`;
  const server = http.createServer((req, res) => { res.setHeader('Content-Type', 'text/html'); res.end(html); });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

test('a page of another origin cannot act on the device', async (t) => {
  await withView(t, [env.probe], async (page, run) => {
    await waitTimeline(page, '[probe] ready');
    const site = await foreignSite(run.url);
    try {
      const foreign = await page.context().newPage();
      await foreign.goto(`http://127.0.0.1:${site.address().port}/`);
      await foreign.evaluate(() => window.attempts);
      await foreign.close();
    } finally {
      site.close();
    }
    // Whatever got through would be on the timeline by now.
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const timeline = await page.textContent('#timeline');
    assert.ok(!/edge input|hardware notification/.test(timeline), 'an action got through:\n' + timeline);
    await waitShown(page, '#lamp-do2', 'data-level', '1');
    assert.ok(!run.output.includes('input callback'), 'the program saw an edge');

    // The page itself still acts.
    await page.fill('#send-text', 'quit');
    await page.click('#send');
    assert.equal(await run.exited, 0);
  });
});

test('a trace of a run is replayed in the page', async (t) => {
  // First a run that writes the trace.
  const script = path.join(env.artefacts, 'replay.script');
  fs.writeFileSync(script, 'wait 1500\nedge input 1\nwait 500\nsend com1 quit\\r\\n\n');
  const trace = path.join(env.artefacts, 'probe-trace.jsonl');
  let recorded;
  try {
    recorded = await startLauncher(['--trace', trace, '--script', script, env.probe]);
  } catch (e) {
    if (e.code === NO_SANDBOX) return t.skip('the simulated board needs namespaces');
    throw e;
  }
  assert.equal(await recorded.exited, 0, recorded.output);

  await withView(t, [env.probe], async (page, run) => {
    await waitTimeline(page, '[probe] ready');
    await page.selectOption('#replay-speed', '0');
    await page.setInputFiles('#trace-file', trace);
    await waitShown(page, '#mode', null, 'replay');
    await waitTimeline(page, '[probe] input callback: level 1');
    await waitShown(page, '#lamp-alarm', 'data-level', '1');
    await waitShown(page, '#lamp-laser', 'data-level', '1');
    await waitShown(page, '#channel-1', 'data-on', 'true');
    await waitShown(page, '#lens-value', null, '1234');
    await expectLeds(page, RED);
    await waitShown(page, '#program', null, 'program exited with status 0');
    assert.ok(await page.isDisabled('#input-input'), 'inputs act during a replay');
    await screenshot(page, 'replay.png');

    // Back to the live device, whose alarm never sounded.
    await page.click('#go-live');
    await waitShown(page, '#mode', null, 'live');
    await waitShown(page, '#lamp-alarm', 'data-level', '0');
    await expectLeds(page, GREEN);
    run.child.stdin.write('send com1 quit\\r\\n\n');
    assert.equal(await run.exited, 0);
  });
});

test('the example runs with the view to its end', async (t) => {
  await withView(t, ['--script', env.exampleScript, env.example], async (page, run) => {
    await waitShown(page, '#mode', null, 'live');
    await waitShown(page, '#lens-value', null, '1000', 30000);
    await waitTimeline(page, 'the light controller sent its hardware notification', 30000);
    await screenshot(page, 'example.png');
    await waitShown(page, '#program', null, 'program exited with status 0', 30000);
    await waitShown(page, '#mode', null, 'ended');
    await waitShown(page, '#work-mode', null, '5');
    await waitShown(page, '#flash-count', null, '3');
    await waitShown(page, '#flash-time', null, '20');
    await waitShown(page, '#brightness', null, '100');
    assert.equal(await run.exited, 0);
  });
});

test('the sample application runs its scenario with the view', async (t) => {
  const scenario = path.join(env.scenarios, 'passing.json');
  await withView(t, ['--scenario', scenario, env.inspection], async (page, run) => {
    await waitShown(page, '#mode', null, 'live');
    // The first cycle: light on in work mode 5, lens 1200, strip green, "OK 1" on com1.
    await waitShown(page, '#lens-value', null, '1200', 30000);
    await page.waitForFunction(() => document.querySelector('#com1-log').textContent.includes('OK 1'),
      null, { timeout: 30000 });
    // The second fails on the lens: alarm, red strip, FAULT on com1.
    await waitShown(page, '#lamp-alarm', 'data-level', '1', 30000);
    await expectLeds(page, RED);
    await page.waitForFunction(() => document.querySelector('#com1-log').textContent.includes('FAULT 2 lens'),
      null, { timeout: 30000 });
    await waitShown(page, '#lens-bus', null, 'not answering');
    await screenshot(page, 'inspection.png');
    await waitShown(page, '#program', null, 'program exited with status 1', 40000);
    assert.equal(await run.exited, 0, 'the scenario did not hold');
  });
});

test('the launcher ends with its program, whatever a client of its view does', async (t) => {
  let run;
  try {
    run = await startLauncher([env.probe]);
  } catch (e) {
    if (e.code === NO_SANDBOX) return t.skip('the simulated board needs namespaces');
    throw e;
  }
  // A request that never ends: a byte every 100 ms.
  const trickler = net.connect(Number(new URL(run.url).port), '127.0.0.1');
  trickler.on('error', () => {});
  trickler.write('POST /notify HTTP/1.1\r\nX-Pad: ');
  const trickle = setInterval(() => trickler.write('a'), 100);
  const later = (ms) => new Promise((resolve) => setTimeout(() => resolve('still running'), ms));
  try {
    for (let waited = 0; !run.output.includes('[probe] ready') && waited < 20000; waited += 100) await later(100);
    run.child.stdin.write('send com1 quit\\r\\n\n');
    assert.equal(await Promise.race([run.exited, later(6000)]), 0, run.output.slice(-2000));
  } finally {
    clearInterval(trickle);
    trickler.destroy();
    await stopLauncher(run);
  }
});

// The page alone, served here from its folder, its live updates played from
// `streams`: each request for /events gets the next one whole (the last one
// again once they run out); /state answers `state` (404 without one). `body`
// gets the page and the Last-Event-ID each of those requests sent ("" for
// none).
async function withPlayedStreams(streams, body, state) {
  const folder = new URL('../../sim/view/page/', import.meta.url);
  const files = { '/': ['index.html', 'text/html'], '/view.js': ['view.js', 'text/javascript'],
    '/view.css': ['view.css', 'text/css'] };
  const asked = [];
  const server = http.createServer((req, res) => {
    if (req.url === '/events') {
      asked.push(req.headers['last-event-id'] ?? '');
      res.writeHead(200, { 'Content-Type': 'text/event-stream' });
      return res.end(streams[Math.min(asked.length, streams.length) - 1]);
    }
    if (req.url === '/state' && state) {
      res.writeHead(200, { 'Content-Type': 'application/json' });
      return res.end(JSON.stringify(state));
    }
    const [file, type] = files[req.url] ?? [];
    res.writeHead(file ? 200 : 404, { 'Content-Type': type ?? 'text/plain' });
    res.end(file ? fs.readFileSync(new URL(file, folder)) : '');
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const context = await browser.newContext();
  const page = await context.newPage();
  const pageErrors = [];
  page.on('pageerror', (e) => pageErrors.push(e.message));
  try {
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await body(page, asked);
    assert.deepEqual(pageErrors, [], 'the page threw');
  } finally {
    await context.close();
    server.close();
  }
}

// Live-update messages as the view's server writes them.
const played = {
  run: (run) => `event: run\ndata: ${JSON.stringify({ run })}\n\n`,
  events: (run, seq, events) =>
    `id: ${run}:${seq}\nevent: events\ndata: ${JSON.stringify({ dropped: 0, events })}\n\n`,
  end: 'event: end\ndata: {}\n\n',
  // The browser asks again this soon after a stream ends.
  retry: 'retry: 100\n\n',
};
const programLine = (t, text) => ({ t, source: 'program', kind: 'out', timing: 'source', text });

test('a page whose stream comes back from another run starts over', async () => {
  const laserOn = { t: 0.2, source: 'gpio', kind: 'write', timing: 'source', text: 'laser (13) -> 1',
    pin: 13, level: 1, state: { outputs: { laser: 1 } } };
  await withPlayedStreams([
    played.retry + played.run('first') + played.events('first', 2, [programLine(0.1, 'from the first run'), laserOn]),
    played.run('second') + played.events('second', 1, [programLine(0.1, 'from the second run')]) + played.end,
  ], async (page, asked) => {
    await waitTimeline(page, 'from the second run');
    assert.deepEqual(asked, ['', 'first:2']);
    const timeline = await page.textContent('#timeline');
    assert.ok(!timeline.includes('from the first run'), 'the first run is still shown:\n' + timeline);
    await waitShown(page, '#lamp-laser', 'data-level', '');
    await waitShown(page, '#mode', null, 'ended');
  });
});

test('a page the view turns away says why and does not ask again', async () => {
  const error = 'the view serves 4 pages at once: close one, then reload this one';
  await withPlayedStreams([played.retry + `event: refused\ndata: ${JSON.stringify({ error })}\n\n`],
    async (page, asked) => {
      await waitShown(page, '#view-error', null, error);
      await waitShown(page, '#mode', null, 'refused');
      await new Promise((resolve) => setTimeout(resolve, 500));
      assert.equal(asked.length, 1, 'the page asked again');
    });
});

test('the page draws the state it is given, not what the text of an event says', async () => {
  const line = (seq, text, state) => ({ seq, t: seq / 10, source: 'gpio', kind: 'write', timing: 'source',
    text, state });
  // The state as of event 1, with a line the page has no place for.
  const state = {
    seq: 1,
    board: [{ pin: 13, name: 'laser', kind: 'output' },
      { pin: 5, name: 'beacon', kind: 'output' }],
    initial: { outputs: {}, lens: { present: true } },
    state: { outputs: { laser: 1, beacon: 1 }, lens: { present: false } },
  };
  await withPlayedStreams([played.run('one') + played.events('one', 2, [
    line(1, 'alarm (21) -> 1', { outputs: { alarm: 1 } }),  // in the state already
    line(2, 'laser (13) -> 1', { outputs: { laser: 0 } }),
  ])], async (page) => {
    await waitTimeline(page, 'laser (13) -> 1');
    await waitShown(page, '#lamp-beacon', 'data-level', '1');
    await waitShown(page, '#lamp-laser', 'data-level', '0');
    await waitShown(page, '#lamp-alarm', 'data-level', '');
    await waitShown(page, '#lens-bus', null, 'removed');
    assert.equal(await page.textContent('#lamp-beacon'), 'beacon');
  }, state);
});
