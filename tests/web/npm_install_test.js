// The npm tarball as a user installs it: `npm install --offline` into a
// scratch project, then `require('sivo')` and `import { load } from 'sivo'`
// each encode real speech to the native library's bytes.
//
//   node npm_install_test.js WEB_DIR WEB_REFERENCE SPEECH_DIR VERSION
//
// Exits 77 (skipped) when WEB_DIR holds no tarball or npm is missing, or
// fails then when SIVO_WEB_REQUIRED is set (as CI sets it).
'use strict';

const assert = require('assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [webDir, reference, speechDir, version] = process.argv.slice(2);
const tarball = path.join(webDir, `sivo-${version}.tgz`);
function skip(why) {
  console.log(`npm install test: ${why}`);
  process.exit(process.env.SIVO_WEB_REQUIRED ? 1 : 77);
}
if (!fs.existsSync(tarball)) skip(`no ${tarball} (run tools/web_build.sh)`);
try {
  execFileSync('npm', ['--version'], { stdio: 'ignore' });
} catch {
  skip('no npm');
}

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'sivo-npm-'));
process.on('exit', () => fs.rmSync(tmp, { recursive: true, force: true }));
const project = path.join(tmp, 'project');
fs.mkdirSync(project);
fs.writeFileSync(path.join(project, 'package.json'),
  JSON.stringify({ name: 'scratch', version: '1.0.0', private: true }));

// Offline, with a cache of its own: nothing is fetched or shared.
const started = process.hrtime.bigint();
const output = execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund',
  '--cache', path.join(tmp, 'cache'), tarball], { cwd: project, encoding: 'utf8' });
console.log(`$ npm install --offline ${tarball}\n${output.trim()}`);
console.log(`npm install took ${(Number(process.hrtime.bigint() - started) / 1e9).toFixed(1)} s`);

const installed = path.join(project, 'node_modules', 'sivo');
const meta = JSON.parse(fs.readFileSync(path.join(installed, 'package.json'), 'utf8'));
assert.strictEqual(meta.version, version);
assert.strictEqual(meta.license, 'BSD-3-Clause');
for (const file of ['index.js', 'index.mjs', 'index.d.ts', 'sivo_wasm.js', 'LICENSE']) {
  assert.ok(fs.existsSync(path.join(installed, file)), `the package lacks ${file}`);
}

// One second of speech of an odd length (the last frame padded), each rate.
const raw = fs.readFileSync(path.join(speechDir, 'hts1a.raw')).subarray(0, 2 * 8123);
const rawFile = path.join(tmp, 'speech.raw');
fs.writeFileSync(rawFile, raw);
const encodeAll = `
  const raw = fs.readFileSync(${JSON.stringify(rawFile)});
  const pcm = new Int16Array(raw.buffer, raw.byteOffset, raw.length >> 1);
  load().then((sivo) => {
    const out = [0, 1, 2, 3].map((rate) => Buffer.from(sivo.encode(pcm, rate)));
    process.stdout.write(Buffer.concat(out));
  });
`;
const entries = {
  'require.cjs': `const fs = require('fs');
    if (!require.resolve('sivo').startsWith(${JSON.stringify(installed)})) process.exit(3);
    const { load } = require('sivo');${encodeAll}`,
  'import.mjs': `import fs from 'fs';
    import { load } from 'sivo';${encodeAll}`,
};
const native = Buffer.concat([0, 1, 2, 3].map((rate) => {
  const out = path.join(tmp, `native${rate}.bit`);
  execFileSync(reference, ['encode', String(rate), rawFile, out]);
  return fs.readFileSync(out);
}));
for (const [file, code] of Object.entries(entries)) {
  fs.writeFileSync(path.join(project, file), code);
  const bytes = execFileSync(process.execPath, [file], { cwd: project });
  assert.ok(bytes.equals(native), `${file}: ${bytes.length} bytes, not the native library's ` +
    `${native.length}`);
}
console.log('npm install: ok (require and import give the native bytes)');
