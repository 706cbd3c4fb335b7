// SPDX-License-Identifier: MIT
// kiv-sim-run's view in a real browser: a program on the simulated board,
// what the page shows of it, the page's actions reaching the program, trace
// replay, and requests from elsewhere refused.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
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
    const lamps = { laser: '1', alarm: '0', scanA: '1', scanB: '0', do1: '0', do2: '1' };
    for (const [lamp, level] of Object.entries(lamps)) await waitShown(page, '#lamp-' + lamp, 'data-level', level);
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
