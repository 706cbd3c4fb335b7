// SPDX-License-Identifier: MIT
// What the browser tests share: the launcher with its view on a free port,
// headless Chromium, and waiting for the page to show something.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

export const env = {
  launcher: process.env.KIV_SIM_RUN,
  probe: process.env.KIV_VIEW_PROBE,
  example: process.env.KIV_EXAMPLE,
  exampleScript: process.env.KIV_EXAMPLE_SCRIPT,
  inspection: process.env.KIV_INSPECTION,
  scenarios: process.env.KIV_SCENARIO_DIR,
  artefacts: process.env.KIV_VIEW_ARTEFACTS || path.resolve('view-artefacts'),
};
fs.mkdirSync(env.artefacts, { recursive: true });

// The launcher's exit status where the simulated board cannot be built.
export const NO_SANDBOX = 77;

// Starts kiv-sim-run with its view on a port the kernel picks and resolves
// once the view's address is printed.
export function startLauncher(args) {
  const child = spawn(env.launcher, ['--view', '0', ...args], { stdio: ['pipe', 'pipe', 'pipe'] });
  const run = { child, output: '', url: null };
  run.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve(code ?? 128 + (signal ? 1 : 0))));
  child.stdout.on('data', (d) => { run.output += d; });
  child.stderr.on('data', (d) => { run.output += d; });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('the launcher printed no view address:\n' + run.output)), 20000);
    const look = () => {
      const m = /the view is at (http:\/\/127\.0\.0\.1:\d+\/)/.exec(run.output);
      if (m) {
        clearTimeout(timer);
        run.url = m[1];
        resolve(run);
      }
    };
    child.stdout.on('data', look);
    run.exited.then((code) => {
      clearTimeout(timer);
      if (!run.url) reject(Object.assign(new Error(`the launcher ended (${code}) before its view:\n${run.output}`), { code }));
    });
  });
}

// Ends a launcher that is still running (its program first, by Ctrl-C's signal).
export async function stopLauncher(run) {
  if (run.child.exitCode === null && run.child.signalCode === null) run.child.kill('SIGINT');
  return run.exited;
}

// Headless Chromium, or an error that says why none could start.
export async function launchBrowser() {
  let chromium;
  try {
    ({ chromium } = await import('playwright-core'));
  } catch (e) {
    throw new Error('playwright-core is not installed (run scripts/install-deps.sh): ' + e.message);
  }
  const executablePath = process.env.KIV_CHROMIUM || '/usr/bin/chromium';
  try {
    return await chromium.launch({
      executablePath,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
  } catch (e) {
    throw new Error(`no browser could start (${executablePath}; install Debian's chromium with scripts/install-deps.sh): ${e.message}`);
  }
}

// Waits until the element's attribute (or text, for attr null) equals `want`.
export async function waitShown(page, selector, attr, want, timeout = 20000) {
  try {
    await page.waitForFunction(([sel, a, w]) => {
      const el = document.querySelector(sel);
      if (!el) return false;
      return (a === null ? el.textContent : el.getAttribute(a)) === w;
    }, [selector, attr, want], { timeout });
  } catch (e) {
    const seen = await page.evaluate(([sel, a]) => {
      const el = document.querySelector(sel);
      return el ? (a === null ? el.textContent : el.getAttribute(a)) : '(no element)';
    }, [selector, attr]);
    throw new Error(`${selector} ${attr ?? 'text'}: want ${JSON.stringify(want)}, shown ${JSON.stringify(seen)}`);
  }
}

// Waits until the timeline holds a row whose text contains `text`.
export async function waitTimeline(page, text, timeout = 20000) {
  try {
    await page.waitForFunction((t) => [...document.querySelectorAll('#timeline tbody tr')]
      .some((r) => r.textContent.includes(t)), text, { timeout });
  } catch (e) {
    throw new Error(`the timeline never showed ${JSON.stringify(text)}`);
  }
}

export async function screenshot(page, name) {
  await page.screenshot({ path: path.join(env.artefacts, name), fullPage: true });
}
