// The WebAssembly package in Node: frames and samples equal the native
// library's bit for bit on real speech, and the interface's promises hold.
//
//   node node_api_test.js WEB_DIR WEB_REFERENCE SPEECH_DIR
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

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'sivo-web-'));
process.on('exit', () => fs.rmSync(tmp, { recursive: true, force: true }));

const readPcm = (file) => {
  const b = fs.readFileSync(file);
  return new Int16Array(b.buffer, b.byteOffset, b.length >> 1).slice();
};
const bytesOf = (typed) => Buffer.from(typed.buffer, typed.byteOffset, typed.byteLength);

function nativeEncode(rawFile, rates) {
  const out = path.join(tmp, 'native.bit');
  execFileSync(reference, ['encode', rates, rawFile, out]);
  return new Uint8Array(fs.readFileSync(out));
}

function nativeDecode(frames, postfilter, lossEvery) {
  const input = path.join(tmp, 'in.bit');
  const out = path.join(tmp, 'native.raw');
  fs.writeFileSync(input, frames);
  execFileSync(reference, ['decode', String(postfilter), String(lossEvery), input, out]);
  return readPcm(out);
}

// First index where two arrays differ, -1 when equal.
function firstDifference(a, b) {
  const n = Math.min(a.length, b.length);
  for (let i = 0; i < n; ++i) if (a[i] !== b[i]) return i;
  return a.length === b.length ? -1 : n;
}

function assertSame(actual, expected, what) {
  const at = firstDifference(actual, expected);
  assert.strictEqual(at, -1, `${what}: differs at index ${at} ` +
    `(lengths ${actual.length} and ${expected.length})`);
}

const concat8 = (a, b) => new Uint8Array([...a, ...b]);

const lossMask = (frames, every) =>
  Array.from({ length: frames }, (_, i) => every > 0 && i % every === every - 1);

// Each chunk size in turn, to cut a buffer at awkward places.
function* chunks(array, sizes) {
  for (let at = 0, i = 0; at < array.length; ++i) {
    const size = sizes[i % sizes.length];
    yield array.subarray(at, at + size);
    at += size;
  }
}

async function main() {
  const { load } = require(path.resolve(packageDir));
  const sivo = await load();
  let checks = 0;

  // (a) Identity with the native library: every rate, both post-filter
  // modes, with and without lost frames, on two recordings (one of an odd
  // length, so the padded last frame is covered).
  const recordings = ['hts1a.raw', 'cq_ref.raw'].map((f) => path.join(speechDir, f));
  for (const file of recordings) {
    const pcm = readPcm(file);
    for (const rate of [0, 1, 2, 3]) {
      const frames = sivo.encode(pcm, rate);
      const name = `${path.basename(file)} rate ${rate}`;
      assertSame(frames, nativeEncode(file, String(rate)), `${name} frames`);
      const frameCount = frames.length / sivo.RATE_BYTES[rate];
      assert.strictEqual(frameCount, Math.ceil(pcm.length / 240), `${name} frame count`);
      for (const [postfilter, lossEvery] of [[1, 0], [0, 0], [1, 5], [0, 3]]) {
        const decoded = sivo.decode(frames,
          { postfilter: postfilter === 1, lost: lossMask(frameCount, lossEvery) });
        assertSame(decoded, nativeDecode(frames, postfilter, lossEvery),
          `${name} samples, post-filter ${postfilter}, every ${lossEvery}th frame lost`);
        checks += 1;
      }
      console.log(`identical: ${name}: ${frames.length} bytes, ${frameCount} frames, ` +
        'samples with post-filter on/off, with and without losses');
    }
  }

  // Streaming: rate changed at every frame, and chunks cut anywhere.
  const speech = readPcm(recordings[0]);
  const encoder = new sivo.Encoder();
  const parts = [];
  for (let f = 0; f * 240 < speech.length; ++f) {
    parts.push(encoder.encode(speech.subarray(f * 240, f * 240 + 240), f % 4));
  }
  parts.push(encoder.flush());
  encoder.free();
  const mixed = new Uint8Array(Buffer.concat(parts.map(bytesOf)));
  assertSame(mixed, nativeEncode(recordings[0], '0,1,2,3'), 'mixed-rate stream');

  const chunked = new sivo.Encoder({ rate: 3 });
  const pieces = [...chunks(speech, [1, 239, 7, 480, 333, 2])].map((c) => chunked.encode(c));
  pieces.push(chunked.flush());
  chunked.free();
  assertSame(new Uint8Array(Buffer.concat(pieces.map(bytesOf))), sivo.encode(speech, 3),
    'chunked streaming encoder');

  // A streaming decoder fed a few bytes at a time, concealing every 4th
  // frame through decodeLost(), equals the native decoder told the same.
  const decoder = new sivo.Decoder({ postfilter: true });
  const out = [];
  let at = 0;
  for (let frame = 0; at < mixed.length; ++frame) {
    const size = sivo.RATE_BYTES[mixed[at] & 3];
    if (frame % 4 === 3) {
      out.push(decoder.decodeLost());
    } else {
      for (const piece of chunks(mixed.subarray(at, at + size), [5, 1, 13])) {
        out.push(decoder.decode(piece));
      }
    }
    at += size;
  }
  assert.strictEqual(decoder.pendingBytes, 0);
  decoder.free();
  const streamed = new Int16Array(Buffer.concat(out.map(bytesOf)).buffer.slice(0));
  assertSame(streamed, nativeDecode(mixed, 1, 4), 'streaming decoder with decodeLost');
  console.log(`identical: mixed-rate stream (${mixed.length} bytes), chunked encoder, ` +
    `streaming decoder; ${checks} decoded comparisons`);

  // (b) The interface: padding, reserved frames, refused input and the
  // messages that name what and where.
  const frame0 = sivo.encode(new Int16Array(240), 0);
  const cases = [
    ['one sample gives one padded frame', () =>
      assert.strictEqual(sivo.encode(new Int16Array(1), 2).length, 19)],
    ['481 samples give three frames', () =>
      assert.strictEqual(sivo.decode(sivo.encode(speech.subarray(0, 481), 1)).length, 720)],
    ['nothing in, nothing out', () => {
      assert.strictEqual(sivo.encode(new Int16Array(0), 0).length, 0);
      assert.strictEqual(sivo.decode(new Uint8Array(0)).length, 0);
    }],
    ['reserved frames give no samples', () => assert.strictEqual(
      sivo.decode(new Uint8Array([...frame0, 0x06, 1, 2, 3, 4, 0x07, ...frame0])).length, 480)],
    ['rate 4 refused', () => assert.throws(() => sivo.encode(speech, 4),
      { name: 'RangeError', message: /rate must be 0, 1, 2 or 3 \(got 4\)/ })],
    ['float samples refused', () => assert.throws(() => sivo.encode(new Float32Array(240), 0),
      { name: 'TypeError', message: /pcm must be a Int16Array/ })],
    ['invalid type named with its offset', () => assert.throws(
      () => sivo.decode(new Uint8Array([...frame0, 0x04])),
      { message: 'sivo: invalid frame type 4 at byte offset 24' })],
    ['frame cut short named with its offset', () => assert.throws(
      () => sivo.decode(new Uint8Array([...frame0, ...frame0.subarray(0, 10)])),
      { message: 'sivo: truncated frame at byte offset 24: type 0 needs 24 bytes, 10 bytes remain' })],
    ['used after free', () => {
      const e = new sivo.Encoder();
      e.free();
      e.free();
      assert.throws(() => e.encode(speech), /Encoder used after free\(\)/);
      const d = new sivo.Decoder();
      d.free();
      assert.throws(() => d.decodeLost(), /Decoder used after free\(\)/);
    }],
    ['lost frames are concealed, not skipped', () => {
      const frames = sivo.encode(speech, 0);
      const all = sivo.decode(frames, { lost: lossMask(frames.length / 24, 1) });
      assert.strictEqual(all.length, speech.length);
      assert.notStrictEqual(firstDifference(all, sivo.decode(frames)), -1);
    }],
    ['version text', () => assert.strictEqual(sivo.version, 'siv.encoder.2.0')],
  ];
  for (const [name, run] of cases) {
    try {
      run();
    } catch (error) {
      error.message = `${name}: ${error.message}`;
      throw error;
    }
  }
  console.log(`interface: ${cases.length} cases`);

  // (c) The streaming decoder's cases, the same table the Python package's
  // tests run.
  const table = JSON.parse(fs.readFileSync(
    path.join(__dirname, '..', 'support', 'streaming_decoder_cases.json'), 'utf8'));
  for (const c of table.cases) {
    const stream = new Uint8Array(Buffer.concat(c.stream.map((name) => {
      const frame = Buffer.alloc(table.frames[name].length);
      Buffer.from(table.frames[name].hex, 'hex').copy(frame);
      return frame;
    })));
    const d = new sivo.Decoder();
    try {
      c.steps.forEach((step, number) => {
        const where = `${c.name}, step ${number}: ${JSON.stringify(step)}`;
        let error = null;
        let samples = null;
        try {
          if (step.decode) {
            samples = d.decode(stream.subarray(step.decode[0], step.decode[1]));
          } else if (step.finish) {
            d.finish();
          } else {
            d.reset();
          }
        } catch (e) {
          assert.ok(e.message.startsWith('sivo: '), `${where}: ${e.message}`);
          error = { offset: e.offset, text: e.message.slice('sivo: '.length) };
          samples = e.samples || null;
        }
        if ('error' in step) {
          assert.deepStrictEqual(error, step.error, where);
        } else {
          assert.strictEqual(error, null, where);
        }
        if ('samples' in step) assert.strictEqual(samples && samples.length, step.samples, where);
        for (const [name, got] of [['pending', d.pendingBytes], ['consumed', d.consumed],
          ['damaged', d.damagedFrames]]) {
          if (name in step) assert.strictEqual(got, step[name], `${where}: ${name}`);
        }
      });
    } finally {
      d.free();
    }
  }
  console.log(`streaming decoder: ${table.cases.length} shared cases`);

  // (d) Options of the objects, and reserved and damaged frames, against
  // the native library.
  const rate1 = sivo.encode(speech, 1);
  const damaged = rate1.slice();
  damaged[31 * 3 + 3] |= 0xf8;  // frame 3's first lag code beyond the last lag
  damaged[31 * 3 + 4] |= 0x03;
  const odd = new Uint8Array([...damaged.subarray(0, 62), 0x06, 1, 2, 3, 4,
    ...damaged.subarray(62, 124), 0x07, ...damaged.subarray(124)]);
  const streamDecode = (options, bytes) => {
    const d = new sivo.Decoder(options);
    try {
      const parts = [...chunks(bytes, [100, 7, 31])].map((piece) => d.decode(piece));
      return { samples: new Int16Array(Buffer.concat(parts.map(bytesOf)).buffer.slice(0)),
        damaged: d.damagedFrames };
    } finally {
      d.free();
    }
  };
  const optionCases = [
    ['Decoder({ postfilter: false })', () => streamDecode({ postfilter: false }, rate1).samples,
      () => nativeDecode(rate1, 0, 0)],
    ['Decoder() default', () => streamDecode({}, rate1).samples, () => nativeDecode(rate1, 1, 0)],
    ['decode(bytes, { postfilter: false })', () => sivo.decode(rate1, { postfilter: false }),
      () => nativeDecode(rate1, 0, 0)],
    ['Encoder({ rate: 2 })', () => {
      const e = new sivo.Encoder({ rate: 2 });
      try {
        return concat8(e.encode(speech), e.flush());
      } finally {
        e.free();
      }
    }, () => nativeEncode(recordings[0], '2')],
    ['reserved and damaged frames, whole', () => sivo.decode(odd), () => nativeDecode(odd, 1, 0)],
    ['reserved and damaged frames, streamed', () => streamDecode({}, odd).samples,
      () => nativeDecode(odd, 1, 0)],
  ];
  assert.notStrictEqual(firstDifference(nativeDecode(rate1, 0, 0), nativeDecode(rate1, 1, 0)), -1);
  for (const [name, ours, native] of optionCases) assertSame(ours(), native(), name);
  assert.strictEqual(streamDecode({}, odd).damaged, 1, 'damaged frames counted');
  console.log(`options and odd frames: ${optionCases.length} cases`);

  // The packed tarball holds the package's files under package/.
  const tarball = fs.readdirSync(webDir).find((f) => /^sivo-.*\.tgz$/.test(f));
  assert.ok(tarball, `no sivo-*.tgz in ${webDir}`);
  const listed = execFileSync('tar', ['tzf', path.join(webDir, tarball)]).toString();
  for (const f of ['package.json', 'index.js', 'index.d.ts', 'sivo_wasm.js', 'README.md']) {
    assert.match(listed, new RegExp(`^package/${f.replaceAll('.', '\\.')}$`, 'm'), `${f} packed`);
  }

  // Speed in processor time (reported, not judged): the longer recording,
  // ten times over.
  const long = readPcm(recordings[1]);
  const seconds = (long.length / 8000) * 10;
  const cpu = (since) => {
    const used = process.cpuUsage(since);
    return (used.user + used.system) / 1e6;
  };
  for (const rate of [0, 1, 2, 3]) {
    let t = process.cpuUsage();
    let frames;
    for (let i = 0; i < 10; ++i) frames = sivo.encode(long, rate);
    const enc = cpu(t);
    t = process.cpuUsage();
    for (let i = 0; i < 10; ++i) sivo.decode(frames);
    const dec = cpu(t);
    console.log(`speed node: rate ${rate}: encode ${(seconds / enc).toFixed(0)}x, ` +
      `decode ${(seconds / dec).toFixed(0)}x real time`);
  }
}

main().catch((error) => {
  console.error(error.stack || error);
  process.exit(1);
});
