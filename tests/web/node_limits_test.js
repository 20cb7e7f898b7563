// The WebAssembly package at its limits: calls whose buffers would pass
// what the module can address are refused with a RangeError before anything
// is allocated (and the heap stays whole for the other objects); objects
// dropped without free() give their memory back when collected; a refused
// rate leaves an encoder as it was.
//
//   node --expose-gc node_limits_test.js WEB_DIR WEB_REFERENCE SPEECH_DIR
//
// Exits 77 (skipped) when WEB_DIR holds no package, or fails then when
// SIVO_WEB_REQUIRED is set (as CI sets it).
'use strict';

const assert = require('assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [webDir, reference, speechDir] = process.argv.slice(2);
const packageDir = path.join(webDir, 'package');
if (!fs.existsSync(path.join(packageDir, 'package.json'))) {
  console.log(`web tests: no package in ${webDir} (run tools/web_build.sh)`);
  process.exit(process.env.SIVO_WEB_REQUIRED ? 1 : 77);
}
assert.strictEqual(typeof global.gc, 'function', 'run with node --expose-gc');

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'sivo-web-'));
process.on('exit', () => fs.rmSync(tmp, { recursive: true, force: true }));

function nativeDecode(frames) {
  const input = path.join(tmp, 'in.bit');
  const out = path.join(tmp, 'native.raw');
  fs.writeFileSync(input, frames);
  execFileSync(reference, ['decode', '1', '0', input, out]);
  const b = fs.readFileSync(out);
  return new Int16Array(b.buffer, b.byteOffset, b.length >> 1);
}

const sameSamples = (a, b) => a.length === b.length && a.every((v, i) => v === b[i]);
const tick = () => new Promise((resolve) => setTimeout(resolve, 0));

async function main() {
  const { load } = require(path.resolve(packageDir));
  const sivo = await load();
  const raw = fs.readFileSync(path.join(speechDir, 'hts1a.raw'));
  const pcm = new Int16Array(raw.buffer, raw.byteOffset, raw.length >> 1).slice(0, 24000);
  const stream = sivo.encode(pcm, 2);
  const half = Math.floor(stream.length / 2 / 19) * 19;

  // Sizes past 32 bits: before, count * 480 wrapped to a few bytes and the
  // call wrote over the heap. A decoder opened before them, fed half a
  // stream before and half after, still gives the native library's samples.
  const bystander = new sivo.Decoder();
  const first = bystander.decode(stream.subarray(0, half));
  const frame = stream.subarray(0, 19);
  const frames = 8947849;  // 8947849 * 480 = 2^32 + 224
  const huge = new Uint8Array(frames * 19);
  for (let i = 0; i < frames; ++i) huge.set(frame, i * 19);
  const refused = [
    ['decodeLost(8947849)', () => new sivo.Decoder().decodeLost(frames)],
    ['decodeLost(2 ** 53)', () => new sivo.Decoder().decodeLost(2 ** 53)],
    ['decode() of 170 MB', () => sivo.decode(huge)],
    ['Decoder.decode() of 170 MB', () => new sivo.Decoder().decode(huge)],
  ];
  for (const [what, call] of refused) {
    assert.throws(call, (e) => e instanceof RangeError && /more than the \d+ one call/.test(e.message),
      `${what}: no RangeError`);
  }
  const rest = bystander.decode(stream.subarray(half));
  bystander.finish();
  const joined = new Int16Array(first.length + rest.length);
  joined.set(first);
  joined.set(rest, first.length);
  assert.ok(sameSamples(joined, nativeDecode(stream)), 'a decoder gave other samples afterwards');
  assert.ok(sameSamples(sivo.decode(stream), nativeDecode(stream)), 'decode() after the refusals');

  // A refused rate: the encoder keeps its rate and its waiting samples,
  // which flush() encodes as an encoder never asked would.
  const encoder = new sivo.Encoder({ rate: 1 });
  const asked = new sivo.Encoder({ rate: 1 });
  encoder.encode(pcm.subarray(0, 300));
  asked.encode(pcm.subarray(0, 300));
  for (const bad of [7, -1, 1.5, '2', undefined]) {
    assert.throws(() => { encoder.rate = bad; }, RangeError, `rate ${String(bad)} accepted`);
  }
  assert.strictEqual(encoder.rate, 1);
  const flushed = encoder.flush();
  assert.strictEqual(flushed.length, 31, 'flush() dropped the waiting samples');
  assert.deepStrictEqual(flushed, asked.flush());
  assert.throws(() => new sivo.Encoder({ rate: 9 }), RangeError);
  encoder.free();
  asked.free();

  // Dropped objects: 20,000 pairs without free() (25 KB each), collected as
  // they go. Before, the module's memory grew by some 500 MiB.
  const rssBefore = process.memoryUsage().rss;
  for (let round = 0; round < 20; ++round) {
    for (let i = 0; i < 1000; ++i) {
      new sivo.Encoder().encode(pcm.subarray(0, 480));
      new sivo.Decoder().decode(stream.subarray(0, 19));
    }
    await tick();
    global.gc();
    await tick();
  }
  const grown = (process.memoryUsage().rss - rssBefore) / 2 ** 20;
  console.log(`20,000 dropped pairs: the process grew by ${grown.toFixed(0)} MiB`);
  assert.ok(grown < 150, `dropped objects kept ${grown.toFixed(0)} MiB`);
  // free() stays, and a freed object is not closed again when collected.
  const kept = new sivo.Decoder();
  kept.free();
  kept.free();
  assert.throws(() => kept.decode(frame), /used after free/);
  console.log('web limits: ok');
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
