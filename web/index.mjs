// The ES module entry point of the sivo speech codec's JavaScript interface:
// the CommonJS module's interface, re-exported, so that `import` and
// `require` share one instance of the package.
import sivo from './index.js';

export const { load, SAMPLE_RATE, FRAME_SAMPLES, RATE_BYTES } = sivo;
export default sivo;
