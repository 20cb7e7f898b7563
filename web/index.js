// The JavaScript interface of the sivo speech codec: whole-buffer encode and
// decode, streaming Encoder and Decoder objects, lost-frame concealment.
// Works in Node (require) and in browsers (a <script> after sivo_wasm.js,
// which sets window.sivo).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./sivo_wasm.js'));
  } else {
    root.sivo = factory(root.createSivoModule);
  }
})(typeof self !== 'undefined' ? self : this, function (createSivoModule) {
  'use strict';

  const SAMPLE_RATE = 8000;
  const FRAME_SAMPLES = 240;
  const MAX_FRAME_BYTES = 45;
  const RATE_BYTES = [24, 31, 19, 45];
  // The largest buffer the module allocates: its sizes and offsets are
  // 32-bit signed integers, and its memory stops at 2 GiB.
  const MAX_BUFFER_BYTES = 0x7fffffff;

  function checkRate(rate) {
    if (!Number.isInteger(rate) || rate < 0 || rate > 3) {
      throw new RangeError(`sivo: rate must be 0, 1, 2 or 3 (got ${String(rate)})`);
    }
  }

  function checkType(value, type, what) {
    if (!(value instanceof type)) {
      throw new TypeError(`sivo: ${what} must be a ${type.name}`);
    }
  }

  // count items of unit bytes each, checked before anything is allocated:
  // past the largest buffer a RangeError names what needed the room.
  function bufferBytes(count, unit, what) {
    const bytes = count * unit;
    if (!(bytes <= MAX_BUFFER_BYTES)) {
      throw new RangeError(`sivo: ${what} needs ${bytes} bytes, more than the ` +
        `${MAX_BUFFER_BYTES} one call can hold; give it in smaller pieces`);
    }
    return bytes;
  }

  function concat(a, b) {
    if (a.length === 0) return b;
    const out = new a.constructor(a.length + b.length);
    out.set(a);
    out.set(b, a.length);
    return out;
  }

  function bind(m) {
    // Scratch buffers live for one call: allocate, copy in, call, copy out,
    // free. Views of the heap are taken after every allocation, since the
    // memory may have grown. Every size has passed bufferBytes() (a size
    // past 32 bits would wrap to a small allocation).
    function withBuffers(sizes, body) {
      for (const n of sizes) bufferBytes(n, 1, 'a buffer');
      const ptrs = sizes.map((n) => (n > 0 ? m._malloc(n) : 0));
      try {
        if (ptrs.some((p, i) => sizes[i] > 0 && p === 0)) {
          throw new Error('sivo: out of memory');
        }
        return body(ptrs);
      } finally {
        for (const p of ptrs) if (p) m._free(p);
      }
    }

    function openHandle(opener) {
      return withBuffers([4], ([slot]) => {
        if (m[opener](slot) !== 0) throw new Error('sivo: out of memory');
        return m.HEAP32[slot >> 2];
      });
    }

    function closeHandle(closer, handle) {
      withBuffers([4], ([slot]) => {
        m.HEAP32[slot >> 2] = handle;
        m[closer](slot);
      });
    }

    // Encodes whole frames of pcm (its length a multiple of 240).
    function encodeFrames(handle, pcm, rate) {
      const frames = pcm.length / FRAME_SAMPLES;
      if (frames === 0) return new Uint8Array(0);
      const sizes = [bufferBytes(pcm.length, 2, 'encoding the samples'),
        bufferBytes(frames, MAX_FRAME_BYTES, 'encoding the samples')];
      return withBuffers(sizes, ([input, output]) => {
        m.HEAP16.set(pcm, input >> 1);
        const written = m._sivo_web_encode(handle, input, frames, rate, output);
        if (written < 0) {
          throw new RangeError(`sivo: encoding ${frames} frames at rate ${String(rate)} refused`);
        }
        return m.HEAPU8.slice(output, output + written);
      });
    }

    // An Error for the walker's text at textPtr, with the offset it names.
    function frameError(textPtr) {
      const error = new Error(`sivo: ${m.UTF8ToString(textPtr)}`);
      error.offset = m._sivo_web_fault_offset();
      return error;
    }

    // Walks bytes, whole frames only, and decodes them: lost is null or
    // holds one flag per frame (true: conceal it).
    function decodeWhole(handle, bytes, lost) {
      return withBuffers([bytes.length, 12], ([input, info]) => {
        m.HEAPU8.set(bytes, input);
        const text = m._sivo_web_walk(input, bytes.length, info);
        if (text) throw frameError(text);
        const frames = m.HEAP32[info >> 2];
        const speech = m.HEAP32[(info >> 2) + 1];
        const sizes = [lost ? frames : 0,
          bufferBytes(speech, FRAME_SAMPLES * 2, `decoding ${speech} frames`)];
        return withBuffers(sizes, ([flags, output]) => {
          if (flags) {
            for (let i = 0; i < frames; ++i) m.HEAPU8[flags + i] = lost[i] ? 1 : 0;
          }
          const produced = m._sivo_web_decode(handle, input, bytes.length, flags, output);
          return m.HEAP16.slice(output >> 1, (output >> 1) + produced);
        });
      });
    }

    // Objects dropped without free() give their memory back when collected.
    // free() unregisters, so a handle is closed once.
    const reclaim = typeof FinalizationRegistry === 'function'
      ? new FinalizationRegistry((close) => close())
      : { register() {}, unregister() {} };

    function setPostfilter(handle, postfilter) {
      if (m._sivo_decoder_set_filter_mode(handle, postfilter ? 1 : 0) !== 0) {
        throw new Error('sivo: post-filter mode refused');
      }
    }

    // A streaming encoder: any chunk size; whole frames are encoded as soon
    // as they are complete, the rest waits for the next chunk or flush().
    class Encoder {
      constructor(options = {}) {
        this.rate = options.rate === undefined ? 0 : options.rate;
        this._handle = openHandle('_sivo_encoder_open');
        this._pending = new Int16Array(0);
        const handle = this._handle;
        reclaim.register(this, () => closeHandle('_sivo_encoder_close', handle), this);
      }

      // The rate of the next frames; anything but 0..3 is refused with a
      // RangeError and the rate stays as it was.
      get rate() {
        return this._rate;
      }

      set rate(rate) {
        checkRate(rate);
        this._rate = rate;
      }

      _live() {
        if (this._handle === 0) throw new Error('sivo: Encoder used after free()');
        return this._handle;
      }

      // Encodes the frames that samples completes at rate (default: the
      // last rate used), which applies from the first frame this call
      // completes. Returns their bytes, possibly none.
      encode(samples, rate = this.rate) {
        checkType(samples, Int16Array, 'samples');
        checkRate(rate);
        const handle = this._live();
        const all = concat(this._pending, samples);
        const whole = all.length - (all.length % FRAME_SAMPLES);
        const bytes = encodeFrames(handle, all.subarray(0, whole), rate);
        this.rate = rate;
        this._pending = all.slice(whole);
        return bytes;
      }

      // Encodes the samples still waiting, padded with silence to a whole
      // frame. Returns its bytes (none when nothing waits).
      flush() {
        const handle = this._live();
        if (this._pending.length === 0) return new Uint8Array(0);
        const frame = new Int16Array(FRAME_SAMPLES);
        frame.set(this._pending);
        const bytes = encodeFrames(handle, frame, this.rate);
        this._pending = new Int16Array(0);
        return bytes;
      }

      // Restarts the signal processing as for a new encoder; drops waiting
      // samples.
      reset() {
        m._sivo_encoder_reset(this._live());
        this._pending = new Int16Array(0);
      }

      free() {
        if (this._handle !== 0) {
          reclaim.unregister(this);
          closeHandle('_sivo_encoder_close', this._handle);
        }
        this._handle = 0;
      }
    }

    // A streaming decoder: any chunk of bytes; whole frames are decoded as
    // soon as they are complete, a partial frame waits for the next chunk.
    // The same decoder as the Python package's (one table of cases in the
    // tests holds both to it).
    class Decoder {
      constructor(options = {}) {
        this._stream = m._sivo_web_stream_open(options.postfilter === false ? 0 : 1);
        if (this._stream === 0) throw new Error('sivo: out of memory');
        const stream = this._stream;
        reclaim.register(this, () => m._sivo_web_stream_close(stream), this);
      }

      _live() {
        if (this._stream === 0) throw new Error('sivo: Decoder used after free()');
        return this._stream;
      }

      // Decodes the frames that bytes completes. Throws on an invalid frame
      // type, naming its offset in the stream (error.offset too); the frames
      // before it are decoded and returned on the error as `samples`, and
      // the rest of the chunk is skipped.
      decode(bytes) {
        checkType(bytes, Uint8Array, 'bytes');
        const stream = this._live();
        return withBuffers([bytes.length, 4], ([input, info]) => {
          m.HEAPU8.set(bytes, input);
          const speech = m._sivo_web_stream_survey(stream, input, bytes.length);
          const size = bufferBytes(speech, FRAME_SAMPLES * 2, `decoding ${speech} frames`);
          return withBuffers([size], ([output]) => {
            const text = m._sivo_web_stream_decode(stream, input, bytes.length, output, info);
            const samples = m.HEAP16.slice(output >> 1, (output >> 1) + m.HEAP32[info >> 2]);
            if (text) {
              const error = frameError(text);
              error.samples = samples;
              throw error;
            }
            return samples;
          });
        });
      }

      // Ends the stream: throws, naming its offset, when bytes of a frame
      // cut short remain (they are dropped).
      finish() {
        const text = m._sivo_web_stream_finish(this._live());
        if (text) throw frameError(text);
      }

      // Conceals count lost frames (default 1): count * 240 samples.
      decodeLost(count = 1) {
        if (!Number.isInteger(count) || count < 0) {
          throw new RangeError(`sivo: lost frame count must be a whole number (got ${count})`);
        }
        const size = bufferBytes(count, FRAME_SAMPLES * 2, `concealing ${count} frames`);
        const handle = m._sivo_web_stream_handle(this._live());
        if (count === 0) return new Int16Array(0);
        return withBuffers([size], ([output]) => {
          const produced = m._sivo_web_conceal(handle, count, output);
          if (produced < 0) throw new RangeError(`sivo: concealing ${count} frames refused`);
          return m.HEAP16.slice(output >> 1, (output >> 1) + produced);
        });
      }

      // Bytes of a frame that is not yet complete.
      get pendingBytes() {
        return m._sivo_web_stream_pending(this._live());
      }

      // Bytes of the stream before the pending ones: whole frames and
      // skipped bad bytes.
      get consumed() {
        return m._sivo_web_stream_consumed(this._live());
      }

      // Speech frames found damaged (and concealed) so far.
      get damagedFrames() {
        return m._sivo_web_stream_damaged(this._live());
      }

      // Restarts as a new decoder: state, pending bytes, offsets and counts.
      reset() {
        m._sivo_web_stream_reset(this._live());
      }

      free() {
        if (this._stream !== 0) {
          reclaim.unregister(this);
          m._sivo_web_stream_close(this._stream);
        }
        this._stream = 0;
      }
    }

    // Encodes all of pcm at one rate; the last partial frame is padded with
    // silence.
    function encode(pcm, rate = 0) {
      checkType(pcm, Int16Array, 'pcm');
      checkRate(rate);
      const encoder = new Encoder({ rate });
      try {
        return concat(encoder.encode(pcm), encoder.flush());
      } finally {
        encoder.free();
      }
    }

    // Decodes a whole stream of frames. options.postfilter (default true);
    // options.lost: per frame, true to conceal that frame as lost.
    function decode(bytes, options = {}) {
      checkType(bytes, Uint8Array, 'bytes');
      const handle = openHandle('_sivo_decoder_open');
      try {
        setPostfilter(handle, options.postfilter !== false);
        return decodeWhole(handle, bytes, options.lost || null);
      } finally {
        closeHandle('_sivo_decoder_close', handle);
      }
    }

    function version() {
      return withBuffers([4], ([slot]) => {
        m._sivo_encoder_get_version(slot);
        return m.UTF8ToString(m.HEAP32[slot >> 2]);
      });
    }

    return {
      encode, decode, Encoder, Decoder,
      SAMPLE_RATE, FRAME_SAMPLES, RATE_BYTES,
      version: version(),
    };
  }

  // Instantiates the module (the WebAssembly is inside sivo_wasm.js, so no
  // file or network access is needed) and resolves to the codec interface.
  async function load() {
    return bind(await createSivoModule());
  }

  return { load, SAMPLE_RATE, FRAME_SAMPLES, RATE_BYTES };
});
