// Types of the sivo speech codec's JavaScript interface.

/** Compression rate: 0 (24-byte frames, 6400 bit/s), 1 (31 bytes, 8266.7
 * bit/s), 2 (19 bytes, 5066.7 bit/s) or 3 (45 bytes, 12000 bit/s). */
export type Rate = 0 | 1 | 2 | 3;

export interface DecodeOptions {
  /** Pitch and formant post-filters (default true). */
  postfilter?: boolean;
  /** Per frame of the stream: true conceals that frame as lost. */
  lost?: ArrayLike<boolean | number>;
}

/** Streaming encoder: takes chunks of any size; each call returns the bytes
 * of the frames it completed. Call free() when done. */
export declare class Encoder {
  constructor(options?: { rate?: Rate });
  /** The rate of the frames encoded last (or to be encoded next). */
  rate: Rate;
  /** Encodes the 240-sample frames that samples completes, at rate (default:
   * the last rate), which applies from the first frame this call completes. */
  encode(samples: Int16Array, rate?: Rate): Uint8Array;
  /** Encodes the samples still waiting, padded with silence to a frame. */
  flush(): Uint8Array;
  /** Restarts as a new encoder (the rate stays); drops waiting samples. */
  reset(): void;
  /** Releases the encoder; using it afterwards throws. */
  free(): void;
}

/** An invalid or cut frame: the message names its byte offset in the
 * stream, which `offset` holds too. */
export interface FrameError extends Error {
  offset: number;
  /** Decoder.decode(): the samples of the frames decoded before it. */
  samples?: Int16Array;
}

/** Streaming decoder: takes chunks of frames of any size; each call returns
 * the samples of the frames it completed. Offsets count every byte given
 * since construction or reset(). Call free() when done. */
export declare class Decoder {
  constructor(options?: { postfilter?: boolean });
  /** Decodes the frames that bytes completes. Throws a FrameError at an
   * invalid frame type: its `samples` hold the frames decoded before it, and
   * the rest of this chunk is skipped. */
  decode(bytes: Uint8Array): Int16Array;
  /** Ends the stream: throws a FrameError when bytes of a frame cut short
   * remain (they are dropped). */
  finish(): void;
  /** Conceals count lost frames (default 1): count * 240 samples. */
  decodeLost(count?: number): Int16Array;
  /** Bytes of a frame that has not yet arrived whole. */
  readonly pendingBytes: number;
  /** Bytes of the stream before the pending ones. */
  readonly consumed: number;
  /** Speech frames found damaged (and concealed) so far. */
  readonly damagedFrames: number;
  /** Restarts as a new decoder: state, pending bytes, offsets, counts. */
  reset(): void;
  /** Releases the decoder; using it afterwards throws. */
  free(): void;
}

export interface Sivo {
  /** Encodes 8000 Hz mono samples at one rate; the last partial frame is
   * padded with silence. */
  encode(pcm: Int16Array, rate?: Rate): Uint8Array;
  /** Decodes a whole stream of frames (rates may change from frame to
   * frame; reserved frames give no samples). Throws a FrameError at an
   * invalid frame type or a frame cut short. */
  decode(bytes: Uint8Array, options?: DecodeOptions): Int16Array;
  Encoder: typeof Encoder;
  Decoder: typeof Decoder;
  SAMPLE_RATE: 8000;
  FRAME_SAMPLES: 240;
  /** Frame size in bytes of each rate. */
  RATE_BYTES: readonly number[];
  /** The encoder's version text. */
  version: string;
}

/** Instantiates the codec; the WebAssembly is embedded, so this needs no
 * file or network access. */
export declare function load(): Promise<Sivo>;
export declare const SAMPLE_RATE: 8000;
export declare const FRAME_SAMPLES: 240;
export declare const RATE_BYTES: readonly number[];
