// The listening page: reads a recording, runs it through the four rates,
// plays and draws each version, and conceals frames dropped by the slider.
'use strict';

const RATES = [
  { rate: 2, bytes: 19 },
  { rate: 0, bytes: 24 },
  { rate: 1, bytes: 31 },
  { rate: 3, bytes: 45 },
];
const CODEC_DELAY = 60;     // decoded sample n + 60 corresponds to input sample n
const SEGMENT = 240;        // segmental SNR over 30 ms segments
const SEGMENT_FLOOR_DB = -10;
const SEGMENT_CEILING_DB = 35;
const SILENCE_BELOW_LOUDEST_DB = 40;
const FFT_SIZE = 256;       // 32 ms window, 31.25 Hz bins
const FFT_HOP = 80;         // 10 ms between columns, for up to
const MAX_COLUMNS = 4000;   // 40 s; longer recordings get a longer hop
const DB_RANGE = 90;        // shades from full scale down to -90 dB
const LOSS_SEED = 1;

const state = {
  sivo: null,
  pcm: null,             // the input, 8000 Hz mono Int16Array
  name: '',
  frames: {},            // rate -> Uint8Array of the encoded stream
  audio: null,           // AudioContext, made on the first play
  playing: null,
};
// What the page computed, for people and programs that inspect it.
window.sivoPage = state;

const $ = (id) => document.getElementById(id);

function setStatus(text, kind) {
  const status = $('status');
  status.textContent = text;
  status.dataset.state = kind;
}

// ---- Reading a recording ---------------------------------------------

// A 16-bit PCM mono WAV file at 8000 Hz is taken sample for sample; null for
// anything else.
function pcm16MonoWav(buffer) {
  const view = new DataView(buffer);
  const tag = (at) => String.fromCharCode(...new Uint8Array(buffer, at, 4));
  if (buffer.byteLength < 12 || tag(0) !== 'RIFF' || tag(8) !== 'WAVE') return null;
  let at = 12;
  let format = null;
  while (at + 8 <= buffer.byteLength) {
    const id = tag(at);
    const size = view.getUint32(at + 4, true);
    const body = at + 8;
    if (id === 'fmt ' && size >= 16) {
      format = {
        code: view.getUint16(body, true), channels: view.getUint16(body + 2, true),
        rate: view.getUint32(body + 4, true), bits: view.getUint16(body + 14, true),
      };
    } else if (id === 'data' && format) {
      if (format.code !== 1 || format.channels !== 1 || format.rate !== 8000 ||
          format.bits !== 16) return null;
      const count = Math.floor(Math.min(size, buffer.byteLength - body) / 2);
      const pcm = new Int16Array(count);
      for (let i = 0; i < count; ++i) pcm[i] = view.getInt16(body + 2 * i, true);
      return pcm;
    }
    at = body + size + (size & 1);
  }
  return null;
}

// Anything else the browser can decode: decoded and resampled to 8000 Hz by
// an offline audio context, the channels averaged.
async function decodeToPcm(buffer) {
  const context = new OfflineAudioContext(1, 1, 8000);
  const audio = await context.decodeAudioData(buffer);
  const length = audio.length;
  const pcm = new Int16Array(length);
  const channels = [];
  for (let c = 0; c < audio.numberOfChannels; ++c) channels.push(audio.getChannelData(c));
  for (let i = 0; i < length; ++i) {
    let sum = 0;
    for (const data of channels) sum += data[i];
    const v = Math.round((sum / channels.length) * 32768);
    pcm[i] = Math.max(-32768, Math.min(32767, v));
  }
  return pcm;
}

async function readRecording(buffer, name) {
  const pcm = pcm16MonoWav(buffer) || await decodeToPcm(buffer);
  if (pcm.length === 0) throw new Error(`${name} holds no samples`);
  state.pcm = pcm;
  state.name = name;
  await encodeAll();
}

async function loadSample() {
  setStatus('Loading the bundled sample…', 'loading');
  const response = await fetch('sample.wav');
  if (!response.ok) throw new Error(`sample.wav: ${response.status} ${response.statusText}`);
  await readRecording(await response.arrayBuffer(), 'bundled sample');
}

async function loadFile(file) {
  setStatus(`Reading ${file.name}…`, 'loading');
  await readRecording(await file.arrayBuffer(), file.name);
}

// ---- Measures ----------------------------------------------------------

// Mean segmental SNR in dB of test (delayed by delay) against reference,
// as the sivo compare command measures it.
function segmentalSnr(reference, test, delay) {
  if (test.length <= delay) return null;
  const overlap = Math.min(reference.length, test.length - delay);
  const segments = Math.floor(overlap / SEGMENT);
  const signal = new Float64Array(segments);
  const noise = new Float64Array(segments);
  let loudest = 0;
  for (let s = 0; s < segments; ++s) {
    for (let n = s * SEGMENT; n < (s + 1) * SEGMENT; ++n) {
      const x = reference[n];
      const e = x - test[n + delay];
      signal[s] += x * x;
      noise[s] += e * e;
    }
    loudest = Math.max(loudest, signal[s]);
  }
  const threshold = loudest * Math.pow(10, -SILENCE_BELOW_LOUDEST_DB / 10);
  let sum = 0;
  let counted = 0;
  for (let s = 0; s < segments; ++s) {
    if (signal[s] <= 0 || signal[s] < threshold) continue;
    const db = noise[s] > 0 ? 10 * Math.log10(signal[s] / noise[s]) : SEGMENT_CEILING_DB;
    sum += Math.min(SEGMENT_CEILING_DB, Math.max(SEGMENT_FLOOR_DB, db));
    counted += 1;
  }
  return counted > 0 ? sum / counted : null;
}

// Which frames the slider drops: the same frames for the same percentage,
// from a small seeded generator (mulberry32).
function lossPattern(frameCount, percent) {
  let seed = LOSS_SEED;
  const lost = new Uint8Array(frameCount);
  for (let i = 0; i < frameCount; ++i) {
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    const draw = ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    lost[i] = draw * 100 < percent ? 1 : 0;
  }
  return lost;
}

async function sha256Hex(bytes) {
  const digest = await crypto.subtle.digest('SHA-256', bytes);
  return Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, '0')).join('');
}

// ---- Spectrogram ------------------------------------------------------

// In-place radix-2 FFT of re/im (length a power of two).
function fft(re, im) {
  const n = re.length;
  for (let i = 1, j = 0; i < n; ++i) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      [re[i], re[j]] = [re[j], re[i]];
      [im[i], im[j]] = [im[j], im[i]];
    }
  }
  for (let len = 2; len <= n; len <<= 1) {
    const angle = (-2 * Math.PI) / len;
    const wr = Math.cos(angle);
    const wi = Math.sin(angle);
    for (let start = 0; start < n; start += len) {
      let cr = 1;
      let ci = 0;
      for (let k = 0; k < len / 2; ++k) {
        const a = start + k;
        const b = a + len / 2;
        const tr = re[b] * cr - im[b] * ci;
        const ti = re[b] * ci + im[b] * cr;
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
        const next = cr * wr - ci * wi;
        ci = cr * wi + ci * wr;
        cr = next;
      }
    }
  }
}

const hann = Float64Array.from({ length: FFT_SIZE },
  (_, n) => 0.5 - 0.5 * Math.cos((2 * Math.PI * n) / FFT_SIZE));

// Dark blue through red to pale yellow, for 0..1.
function shade(v) {
  const r = Math.min(255, Math.max(0, 510 * v - 90));
  const g = Math.min(255, Math.max(0, 400 * v * v - 40));
  const b = Math.min(255, Math.max(0, 60 + 300 * v - 420 * v * v));
  return [r, g, b];
}

// Draws the spectrogram of pcm into canvas: time left to right, 0 Hz at
// the bottom, 4 kHz at the top. The input's length sets the time axis
// (columns, hop), so that every row shares its scale.
function drawSpectrogram(canvas, pcm, { columns, hop }) {
  const bins = FFT_SIZE / 2;
  const image = new ImageData(columns, bins);
  const re = new Float64Array(FFT_SIZE);
  const im = new Float64Array(FFT_SIZE);
  const fullScale = 20 * Math.log10(32768 * FFT_SIZE / 4);
  for (let c = 0; c < columns; ++c) {
    const start = c * hop;
    for (let n = 0; n < FFT_SIZE; ++n) {
      const i = start + n;
      re[n] = i < pcm.length ? pcm[i] * hann[n] : 0;
      im[n] = 0;
    }
    fft(re, im);
    for (let k = 0; k < bins; ++k) {
      const db = 10 * Math.log10(re[k] * re[k] + im[k] * im[k] + 1e-9) - fullScale;
      const [r, g, b] = shade(Math.min(1, Math.max(0, 1 + db / DB_RANGE)));
      const at = ((bins - 1 - k) * columns + c) * 4;
      image.data[at] = r;
      image.data[at + 1] = g;
      image.data[at + 2] = b;
      image.data[at + 3] = 255;
    }
  }
  canvas.width = columns;
  canvas.height = bins;
  canvas.getContext('2d').putImageData(image, 0, 0);
}

// ---- Playing ------------------------------------------------------------

function play(pcm, button) {
  if (!state.audio) state.audio = new AudioContext();
  if (state.playing) {
    const { source, owner } = state.playing;
    state.playing = null;
    source.stop();
    if (owner === button) return;
  }
  const buffer = state.audio.createBuffer(1, pcm.length, 8000);
  const data = buffer.getChannelData(0);
  for (let i = 0; i < pcm.length; ++i) data[i] = pcm[i] / 32768;
  const source = state.audio.createBufferSource();
  source.buffer = buffer;
  source.connect(state.audio.destination);
  source.onended = () => {
    button.textContent = '▶ play';
    if (state.playing && state.playing.source === source) state.playing = null;
  };
  button.textContent = '■ stop';
  state.playing = { source, owner: button };
  source.start();
}

// ---- The table -----------------------------------------------------------

function cell(row, text, className) {
  const td = row.insertCell();
  if (text !== undefined) td.textContent = text;
  if (className) td.className = className;
  return td;
}

function addRow(id, label, pcmOf) {
  const row = $('rows').insertRow();
  row.id = id;
  cell(row, label);
  const button = document.createElement('button');
  button.type = 'button';
  button.textContent = '▶ play';
  button.addEventListener('click', () => play(pcmOf(), button));
  cell(row).append(button);
  for (const name of ['bitrate', 'size', 'snr']) cell(row, '', 'num').dataset.field = name;
  cell(row, '', 'speed').dataset.field = 'speed';
  const canvas = document.createElement('canvas');
  cell(row).append(canvas);
  return row;
}

function field(row, name, text) {
  row.querySelector(`[data-field="${name}"]`).textContent = text;
}

function timeAxis(samples) {
  const hop = Math.max(FFT_HOP, Math.ceil(samples / MAX_COLUMNS));
  return { columns: Math.max(1, Math.ceil(samples / hop)), hop };
}

// Encodes the input at every rate, then decodes.
async function encodeAll() {
  const { sivo, pcm } = state;
  const seconds = pcm.length / 8000;
  $('rows').replaceChildren();
  const input = addRow('row-input', 'input', () => state.pcm);
  field(input, 'bitrate', '128 kbit/s');
  field(input, 'size', `${(pcm.length * 2).toLocaleString()} B`);
  field(input, 'snr', '');
  field(input, 'speed', `${seconds.toFixed(2)} s`);
  drawSpectrogram(input.querySelector('canvas'), pcm, timeAxis(pcm.length));
  state.frames = {};
  state.decoded = {};
  state.encodeMs = {};
  const hashes = [];
  for (const { rate } of RATES) {
    const started = performance.now();
    state.frames[rate] = sivo.encode(pcm, rate);
    state.encodeMs[rate] = performance.now() - started;
    const row = addRow(`row-rate${rate}`, `rate ${rate}`, () => state.decoded[rate]);
    const bytes = state.frames[rate].length;
    const frameCount = bytes / sivo.RATE_BYTES[rate];
    field(row, 'bitrate', `${((bytes * 8) / (frameCount * 0.03) / 1000).toFixed(1)} kbit/s`);
    field(row, 'size', `${bytes.toLocaleString()} B`);
    hashes.push(sha256Hex(state.frames[rate]).then((hash) => { row.dataset.sha256 = hash; }));
  }
  await Promise.all(hashes);
  await decodeAll();
}

// Decodes every rate with the slider's losses; redraws the decoded rows. The
// status says "ready" once the latest run has hashed its output.
async function decodeAll() {
  const { sivo, pcm } = state;
  const run = (state.run = (state.run || 0) + 1);
  setStatus('Decoding…', 'busy');
  const hashes = [];
  const percent = Number($('loss').value);
  $('loss-value').textContent = `${percent} %`;
  const seconds = pcm.length / 8000;
  let lostFrames = 0;
  for (const { rate } of RATES) {
    const frames = state.frames[rate];
    const lost = lossPattern(frames.length / sivo.RATE_BYTES[rate], percent);
    lostFrames = lost.reduce((a, b) => a + b, 0);
    const started = performance.now();
    const decoded = sivo.decode(frames, { postfilter: true, lost });
    const decodeMs = performance.now() - started;
    state.decoded[rate] = decoded;
    const plain = sivo.decode(frames, { postfilter: false, lost });
    const snr = segmentalSnr(pcm, plain, CODEC_DELAY);
    const row = $(`row-rate${rate}`);
    field(row, 'snr', snr === null ? '—' : `${snr.toFixed(2)} dB`);
    const speed = (ms) => (ms > 0 ? `${Math.round(seconds / (ms / 1000))}×` : '—');
    field(row, 'speed', `enc ${speed(state.encodeMs[rate])} dec ${speed(decodeMs)} real time`);
    drawSpectrogram(row.querySelector('canvas'), decoded, timeAxis(pcm.length));
    hashes.push(sha256Hex(new Uint8Array(decoded.buffer)).then((hash) => {
      if (run === state.run) row.dataset.decodedSha256 = hash;
    }));
  }
  await Promise.all(hashes);
  if (run !== state.run) return;
  const lossText = percent > 0 ? `, ${lostFrames} of ${state.frames[0].length / 24} frames lost` : '';
  setStatus(`${state.name}: ${seconds.toFixed(2)} s at 8000 Hz${lossText}.`, 'ready');
}

function fail(error) {
  console.error(error);
  setStatus(`Error: ${error.message || error}`, 'error');
}

async function start() {
  const drop = $('drop');
  drop.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('over');
  });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    const file = event.dataTransfer.files[0];
    if (file) loadFile(file).catch(fail);
  });
  $('file').addEventListener('change', (event) => {
    const file = event.target.files[0];
    if (file) loadFile(file).catch(fail);
  });
  $('sample').addEventListener('click', () => loadSample().catch(fail));
  $('loss').addEventListener('input', () => {
    if (state.pcm) decodeAll().catch(fail);
  });
  state.sivo = await window.sivo.load();
  await loadSample();
}

start().catch(fail);
