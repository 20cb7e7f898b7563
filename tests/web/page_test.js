// The listening page in headless Chromium: served on 127.0.0.1, it runs the
// bundled sample through all four rates; its frames equal `sivo encode`'s
// byte for byte, the spectrograms are drawn, the loss slider changes the
// decoded output, and the console stays free of errors.
//
//   node page_test.js WEB_DIR SIVO_COMMAND [SCREENSHOT.png]
//
// Drives the browser through chromedriver (plain WebDriver over HTTP).
// chromedriver and the browser run in one process group under `timeout`, so
// they end with the test however it ends.
// Exits 77 (skipped) when WEB_DIR holds no page or chromium is missing, or
// fails then when SIVO_WEB_REQUIRED is set (as CI sets it).
'use strict';

const assert = require('assert');
const { execFileSync, spawn } = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const http = require('http');
const net = require('net');
const os = require('os');
const path = require('path');

const [webDir, sivoCommand, screenshot] = process.argv.slice(2);
const pageDir = path.join(webDir, 'page');
const CHROMIUM = '/usr/bin/chromium';
const CHROMEDRIVER = '/usr/bin/chromedriver';
const DEADLINE_MS = 180000;
const PAGE_WAIT_MS = 60000;

for (const [file, why] of [[path.join(pageDir, 'index.html'), 'run tools/web_build.sh'],
  [CHROMIUM, 'install chromium'], [CHROMEDRIVER, 'install chromium-driver']]) {
  if (!fs.existsSync(file)) {
    console.log(`web tests: no ${file} (${why})`);
    process.exit(process.env.SIVO_WEB_REQUIRED ? 1 : 77);
  }
}

const cleanups = [];
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'sivo-page-'));
cleanups.push(() => fs.rmSync(tmp, { recursive: true, force: true }));
// Undoes the setup in reverse order: browser session, driver, server, files.
async function cleanUp() {
  while (cleanups.length) {
    try {
      await cleanups.pop()();
    } catch (error) {
      console.error(`cleanup: ${error.message}`);
    }
  }
}
async function abort(reason) {
  console.error(`page test: ${reason}`);
  setTimeout(() => process.exit(1), 5000).unref();
  await cleanUp();
  process.exit(1);
}
const deadline = setTimeout(() => abort(`no result within ${DEADLINE_MS / 1000} s`), DEADLINE_MS);
process.on('uncaughtException', (error) => abort(error.stack || error));
for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) process.on(signal, () => abort(signal));

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wav': 'audio/wav' };

// A static server of the page folder on a free port of 127.0.0.1.
function serve(root) {
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/+/, '');
    const file = path.join(root, name || 'index.html');
    if (!file.startsWith(root) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
    cleanups.push(() => server.close());
    resolve(server.address().port);
  }));
}

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.on('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function startDriver() {
  const port = await freePort();
  // timeout leads a process group of its own; the browser joins it.
  const limit = String(DEADLINE_MS / 1000 + 30);
  const driver = spawn('timeout', ['-k', '5', limit, CHROMEDRIVER, `--port=${port}`,
    '--allowed-ips=127.0.0.1'], { stdio: 'ignore' });
  cleanups.push(() => new Promise((resolve) => {
    if (driver.exitCode !== null) resolve();
    driver.on('exit', resolve);
    try {
      process.kill(-driver.pid, 'SIGTERM');
    } catch (error) {
      resolve();  // the group has ended already
    }
  }));
  const base = `http://127.0.0.1:${port}`;
  for (let i = 0; i < 100; ++i) {
    try {
      const status = await (await fetch(`${base}/status`)).json();
      if (status.value && status.value.ready) return base;
    } catch (error) {
      // not listening yet
    }
    await sleep(100);
  }
  throw new Error('chromedriver did not start');
}

async function webdriver(base, method, route, body) {
  const response = await fetch(`${base}${route}`, {
    method,
    headers: { 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  const reply = await response.json();
  if (!response.ok) throw new Error(`${method} ${route}: ${JSON.stringify(reply.value)}`);
  return reply.value;
}

async function main() {
  const pagePort = await serve(path.resolve(pageDir));
  const base = await startDriver();
  const profile = path.join(tmp, 'profile');
  const { sessionId } = await webdriver(base, 'POST', '/session', {
    capabilities: { alwaysMatch: {
      'goog:chromeOptions': {
        binary: CHROMIUM,
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
          '--disable-background-networking', '--disable-component-update', '--disable-sync',
          `--user-data-dir=${profile}`, '--window-size=1240,1060', '--hide-scrollbars'],
      },
      'goog:loggingPrefs': { browser: 'ALL' },
    } },
  });
  const session = `/session/${sessionId}`;
  cleanups.push(() => fetch(`${base}${session}`, { method: 'DELETE' }).catch(() => {}));
  const run = (script, ...args) =>
    webdriver(base, 'POST', `${session}/execute/sync`, { script, args });

  async function waitReady(what) {
    const start = Date.now();
    for (;;) {
      const state = await run("return document.getElementById('status').dataset.state;");
      if (state === 'ready') return;
      if (state === 'error') {
        throw new Error(`${what}: ${await run("return document.getElementById('status').textContent;")}`);
      }
      if (Date.now() - start > PAGE_WAIT_MS) throw new Error(`${what}: page not ready (${state})`);
      await sleep(200);
    }
  }

  await webdriver(base, 'POST', `${session}/url`, { url: `http://127.0.0.1:${pagePort}/index.html` });
  await waitReady('bundled sample');

  // The page's frames against the native command's, rate by rate.
  const sample = path.join(pageDir, 'sample.wav');
  const rows = await run(`return [0, 1, 2, 3].map((r) => {
      const row = document.getElementById('row-rate' + r);
      return { frames: row.dataset.sha256, decoded: row.dataset.decodedSha256,
               snr: row.querySelector('[data-field=snr]').textContent };
    });`);
  for (const rate of [0, 1, 2, 3]) {
    const out = path.join(tmp, `native${rate}.bit`);
    execFileSync(sivoCommand, ['encode', '-q', '-r', String(rate), sample, out]);
    const native = crypto.createHash('sha256').update(fs.readFileSync(out)).digest('hex');
    assert.strictEqual(rows[rate].frames, native, `rate ${rate}: page frames differ from sivo encode`);
    console.log(`identical: page rate ${rate} frames = sivo encode (sha256 ${native.slice(0, 16)}…), ` +
      `seg. SNR ${rows[rate].snr}`);
  }

  // Every spectrogram is drawn: most of its pixels are not the blank black.
  const drawn = await run(`return Array.from(document.querySelectorAll('canvas'), (c) => {
      const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      let lit = 0;
      for (let i = 0; i < data.length; i += 4) if (data[i] + data[i + 1] + data[i + 2] > 0) ++lit;
      return lit / (data.length / 4);
    });`);
  assert.strictEqual(drawn.length, 5, 'one spectrogram for the input and one per rate');
  drawn.forEach((share, i) => assert.ok(share > 0.5, `canvas ${i}: only ${share} drawn`));

  // The loss slider conceals frames: every decoded output changes, the
  // frames do not.
  await run(`const s = document.getElementById('loss');
      s.value = '10';
      s.dispatchEvent(new Event('input'));`);
  await waitReady('loss slider');
  const lossy = await run(`return [0, 1, 2, 3].map((r) => {
      const row = document.getElementById('row-rate' + r);
      return { frames: row.dataset.sha256, decoded: row.dataset.decodedSha256 };
    });`);
  for (const rate of [0, 1, 2, 3]) {
    assert.strictEqual(lossy[rate].frames, rows[rate].frames, `rate ${rate}: frames changed`);
    assert.ok(lossy[rate].decoded && lossy[rate].decoded !== rows[rate].decoded,
      `rate ${rate}: the loss slider did not change the decoded output`);
  }
  console.log(`loss slider: ${await run("return document.getElementById('status').textContent;")}`);
  if (screenshot) {
    const png = await webdriver(base, 'GET', `${session}/screenshot`);
    fs.writeFileSync(screenshot, Buffer.from(png, 'base64'));
  }

  // Speed in the browser (reported, not judged).
  const speed = await run(`const { sivo, pcm } = window.sivoPage;
      const seconds = pcm.length / 8000 * 5;
      return [0, 1, 2, 3].map((rate) => {
        let t = performance.now(), frames;
        for (let i = 0; i < 5; ++i) frames = sivo.encode(pcm, rate);
        const enc = (performance.now() - t) / 1000;
        t = performance.now();
        for (let i = 0; i < 5; ++i) sivo.decode(frames);
        const dec = (performance.now() - t) / 1000;
        return [rate, seconds / enc, seconds / dec];
      });`);
  for (const [rate, enc, dec] of speed) {
    console.log(`speed chromium: rate ${rate}: encode ${enc.toFixed(0)}x, decode ${dec.toFixed(0)}x real time`);
  }

  const log = await webdriver(base, 'POST', `${session}/se/log`, { type: 'browser' });
  const errors = log.filter((entry) => entry.level === 'SEVERE' || entry.level === 'WARNING');
  assert.deepStrictEqual(errors, [], 'console errors or warnings');
}

main().then(async () => {
  clearTimeout(deadline);
  await cleanUp();
}, async (error) => {
  console.error(error.stack || error);
  clearTimeout(deadline);
  await cleanUp();
  process.exit(1);
});
