// The compiled part of the Python package: whole-buffer calls, streaming
// encoder and decoder objects, and the frame walk, each crossing into the
// codec once per buffer with the interpreter lock released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio_input.h"
#include "buffer_codec.h"
#include "chunk_decoder.h"
#include "frame_walk.h"
#include "signal_measures.h"
#include "sivocore.h"
#include "system_files.h"
#include "transcode.h"

namespace py = pybind11;

namespace sivo {
namespace {

// A failure carried to Python as sivo.SivoError (or sivo.FrameError when it
// names a byte offset).
struct failure {
  std::string text;
  int status = -1;        // library status; -1 when none applies
  long long offset = -1;  // byte offset of a bad frame; -1 when none applies
  py::object samples{};   // a streaming decoder's samples decoded before it
};

PyObject* g_sivo_error = nullptr;
PyObject* g_frame_error = nullptr;

// Texts name paths as the file system gave them; bytes that are not UTF-8
// come through as Python shows such names (surrogate escapes).
void raise_failure(const failure& f) {
  PyObject* type = f.offset >= 0 ? g_frame_error : g_sivo_error;
  PyObject* text = PyUnicode_DecodeFSDefaultAndSize(f.text.data(),
                                                    static_cast<Py_ssize_t>(f.text.size()));
  if (text == nullptr) return;
  PyObject* error = PyObject_CallOneArg(type, text);
  Py_DECREF(text);
  if (error == nullptr) return;
  if (f.status >= 0) {
    PyObject* status = PyLong_FromLong(f.status);
    PyObject_SetAttrString(error, "status", status);
    Py_DECREF(status);
  }
  if (f.offset >= 0) {
    PyObject* offset = PyLong_FromLongLong(f.offset);
    PyObject_SetAttrString(error, "offset", offset);
    Py_DECREF(offset);
  }
  if (f.samples) PyObject_SetAttrString(error, "samples", f.samples.ptr());
  PyErr_SetObject(type, error);
  Py_DECREF(error);
}

void check(int32_t status, const char* what) {
  if (status != SIVO_OK) {
    throw failure{std::string(what) + " failed with status " + std::to_string(status), status};
  }
}

// The walker's step that is not a whole frame, at byte `offset` of the stream.
failure frame_failure(const sivo_walk_step& step, uint64_t offset) {
  return failure{walk_error_text(step, offset),
                 step.status == SIVO_WALK_INVALID ? SIVO_NOT_DECODABLE : -1,
                 static_cast<long long>(offset)};
}

py::bytes new_bytes(size_t size) {
  return py::reinterpret_steal<py::bytes>(
      PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size)));
}

uint8_t* bytes_data(py::bytes& b) { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(b.ptr())); }

// The bytes of a contiguous buffer (bytes, bytearray, memoryview, array).
std::span<const uint8_t> view(const py::buffer_info& info) {
  if (info.ndim > 1 || (info.ndim == 1 && info.strides[0] != info.itemsize)) {
    throw py::type_error("frame data must be a contiguous bytes-like object");
  }
  return {static_cast<const uint8_t*>(info.ptr), static_cast<size_t>(info.size * info.itemsize)};
}

int32_t rate_bytes(int32_t rate) {
  static constexpr int32_t kBytes[4] = {SIVO_RATE0_BYTES, SIVO_RATE1_BYTES, SIVO_RATE2_BYTES,
                                        SIVO_RATE3_BYTES};
  return kBytes[rate];
}

// Sizes of the buffers a call hands back, checked before anything is
// allocated: a product or sum that would not fit a Python object's size is
// refused with ValueError naming what it was for, rather than wrapping round
// to a small buffer that the codec then overruns.
constexpr size_t kMaxObjectBytes = static_cast<size_t>(PY_SSIZE_T_MAX);

size_t checked_product(size_t count, size_t unit, const char* what) {
  if (unit != 0 && count > kMaxObjectBytes / unit) {
    throw py::value_error(std::string(what) + " of " + std::to_string(count) + " x " +
                          std::to_string(unit) + " bytes is too large");
  }
  return count * unit;
}

size_t checked_sum(size_t a, size_t b, const char* what) {
  if (a > kMaxObjectBytes || b > kMaxObjectBytes - a) {
    throw py::value_error(std::string(what) + " of " + std::to_string(a) + " + " +
                          std::to_string(b) + " items is too large");
  }
  return a + b;
}

// An int16 array of `count` samples, its byte size checked first.
py::array_t<int16_t> new_samples(size_t count, const char* what) {
  checked_product(count, sizeof(int16_t), what);
  return py::array_t<int16_t>(static_cast<py::ssize_t>(count));
}

// One call at a time on a streaming object, from any number of threads.
// A call waits for the object with the interpreter lock released, never
// while holding it: the call inside may need the interpreter lock back to
// build its result, and other threads go on meanwhile. A call that comes
// back into the same object on the thread already inside it (a finaliser run
// by the garbage collector during an allocation, say) is refused instead of
// waiting for itself.
class object_gate {
 public:
  class entry {
   public:
    entry(object_gate& gate, const char* what) : gate_(gate) {
      if (gate.owner_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        throw failure{std::string("the ") + what + " is already in a call on this thread"};
      }
      if (!gate.mutex_.try_lock()) {
        py::gil_scoped_release unlocked;
        gate.mutex_.lock();
      }
      gate.owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    }
    ~entry() {
      gate_.owner_.store(std::thread::id(), std::memory_order_relaxed);
      gate_.mutex_.unlock();
    }
    entry(const entry&) = delete;
    entry& operator=(const entry&) = delete;

   private:
    object_gate& gate_;
  };

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

// Streaming encoder: any number of samples per call; the samples short of a
// whole frame wait for the next call or for flush(). Every method, the
// properties included, enters the object's gate; close() therefore waits for
// a call in progress, and a rate set during a call applies to the next call.
class encoder {
 public:
  explicit encoder(int32_t rate) {
    sivo_encoder* handle = nullptr;
    check(sivo_encoder_open(&handle), "opening an encoder");
    const int32_t status = sivo_encoder_set_comp_rate(handle, rate);
    if (status != SIVO_OK) {
      sivo_encoder_close(&handle);
      throw invalid_rate(rate, status);
    }
    handle_ = handle;
  }
  // No call can be inside: a call holds a reference to the object.
  ~encoder() {
    if (handle_ != nullptr) sivo_encoder_close(&handle_);
  }

  void close() {
    object_gate::entry in(gate_, kWhat);
    if (handle_ != nullptr) sivo_encoder_close(&handle_);
    handle_ = nullptr;
  }
  bool closed() {
    object_gate::entry in(gate_, kWhat);
    return handle_ == nullptr;
  }
  int32_t rate() {
    object_gate::entry in(gate_, kWhat);
    return current_rate();
  }
  void set_rate(int32_t rate) {
    object_gate::entry in(gate_, kWhat);
    const int32_t status = sivo_encoder_set_comp_rate(open_handle(), rate);
    if (status != SIVO_OK) throw invalid_rate(rate, status);
  }
  size_t pending() {
    object_gate::entry in(gate_, kWhat);
    return pending_.size();
  }

  py::bytes encode(py::array_t<int16_t, py::array::c_style> samples) {
    const auto in = samples.unchecked<1>();
    std::span<const int16_t> rest(in.data(0), static_cast<size_t>(in.shape(0)));
    object_gate::entry entered(gate_, kWhat);
    sivo_encoder* handle = open_handle();
    // Every frame of this call is coded at the rate read here.
    const size_t frame_bytes = static_cast<size_t>(rate_bytes(current_rate()));
    const size_t frames =
        checked_sum(pending_.size(), rest.size(), "the encoder's input") / kFrameSamples;
    py::bytes out = new_bytes(checked_product(frames, frame_bytes, "the encoded output"));
    uint8_t* dst = bytes_data(out);
    size_t written = 0;
    {
      py::gil_scoped_release unlocked;
      if (!pending_.empty() && frames > 0) {
        const size_t take = kFrameSamples - pending_.size();
        pending_.insert(pending_.end(), rest.begin(), rest.begin() + static_cast<ptrdiff_t>(take));
        written += encode_samples(handle, pending_, false, dst);
        pending_.clear();
        rest = rest.subspan(take);
      }
      const size_t whole = rest.size() / kFrameSamples * kFrameSamples;
      written += encode_samples(handle, rest.first(whole), false, dst + written);
      pending_.insert(pending_.end(), rest.begin() + static_cast<ptrdiff_t>(whole), rest.end());
    }
    return out;
  }

  // Encodes the waiting samples, padded with silence to a whole frame.
  py::bytes flush() {
    object_gate::entry in(gate_, kWhat);
    sivo_encoder* handle = open_handle();
    py::bytes out = new_bytes(pending_.empty() ? 0 : static_cast<size_t>(rate_bytes(current_rate())));
    if (!pending_.empty()) encode_samples(handle, pending_, true, bytes_data(out));
    pending_.clear();
    return out;
  }

  void reset() {
    object_gate::entry in(gate_, kWhat);
    sivo_encoder_reset(open_handle());
    pending_.clear();
  }

 private:
  static constexpr const char* kWhat = "encoder";

  static failure invalid_rate(int32_t rate, int32_t status) {
    return failure{"invalid rate " + std::to_string(rate) + " (expected 0, 1, 2 or 3)", status};
  }
  sivo_encoder* open_handle() const {
    if (handle_ == nullptr) throw failure{"the encoder is closed"};
    return handle_;
  }
  int32_t current_rate() const {
    int32_t rate = 0, bytes = 0;
    sivo_encoder_get_comp_rate(open_handle(), &rate, &bytes);
    return rate;
  }
  sivo_encoder* handle_ = nullptr;
  std::vector<int16_t> pending_;
  object_gate gate_;
};

// Streaming decoder: any number of bytes per call (see chunk_decoder.h). A
// call that meets an invalid frame type raises FrameError, whose `samples`
// hold the frames decoded before it. Calls enter the object's gate as the
// encoder's do.
class decoder {
 public:
  explicit decoder(bool postfilter) {
    if (!chunk_decoder_open(state_, postfilter)) {
      throw failure{"opening a decoder failed with status " + std::to_string(SIVO_OUT_OF_MEMORY),
                    SIVO_OUT_OF_MEMORY};
    }
  }
  ~decoder() { chunk_decoder_close(state_); }

  void close() {
    object_gate::entry in(gate_, kWhat);
    chunk_decoder_close(state_);
  }
  bool closed() {
    object_gate::entry in(gate_, kWhat);
    return state_.handle == nullptr;
  }
  bool postfilter() {
    object_gate::entry in(gate_, kWhat);
    int32_t mode = 0;
    sivo_decoder_get_filter_mode(open_handle(), &mode);
    return mode == 1;
  }
  void set_postfilter(bool on) {
    object_gate::entry in(gate_, kWhat);
    sivo_decoder_set_filter_mode(open_handle(), on ? 1 : 0);
  }
  size_t pending() {
    object_gate::entry in(gate_, kWhat);
    return state_.pending_size;
  }
  long long consumed() {
    object_gate::entry in(gate_, kWhat);
    return static_cast<long long>(state_.consumed);
  }
  size_t damaged_frames() {
    object_gate::entry in(gate_, kWhat);
    return static_cast<size_t>(state_.damaged_frames);
  }

  py::array_t<int16_t> decode(py::buffer data) {
    const py::buffer_info info = data.request();
    const std::span<const uint8_t> chunk = view(info);
    object_gate::entry entered(gate_, kWhat);
    open_handle();
    chunk_walk walk;
    {
      py::gil_scoped_release unlocked;
      walk = chunk_survey(state_, chunk);
    }
    py::array_t<int16_t> out =
        new_samples(checked_product(walk.speech_frames, kFrameSamples, "the decoded output"),
                    "the decoded output");
    int16_t* dst = out.mutable_data();
    chunk_outcome outcome;
    {
      py::gil_scoped_release unlocked;
      outcome = chunk_decode(state_, chunk, dst);
    }
    check(outcome.status, "decoding");
    if (outcome.failed()) {
      failure f = frame_failure(outcome.fault, outcome.fault_offset);
      f.samples = out;
      throw f;
    }
    return out;
  }

  // 240 samples concealing a lost frame.
  py::array_t<int16_t> decode_lost() {
    object_gate::entry in(gate_, kWhat);
    sivo_decoder* handle = open_handle();
    py::array_t<int16_t> out(static_cast<py::ssize_t>(kFrameSamples));
    int32_t type = 0, bytes = 0;
    check(sivo_decode_frame(handle, nullptr, out.mutable_data(), SIVO_DECODE_LOST, &type, &bytes),
          "concealing a lost frame");
    return out;
  }

  // Refuses a frame left cut short at the end of the stream.
  void finish() {
    object_gate::entry in(gate_, kWhat);
    const chunk_outcome outcome = chunk_finish(state_);
    if (outcome.failed()) throw frame_failure(outcome.fault, outcome.fault_offset);
  }

  void reset() {
    object_gate::entry in(gate_, kWhat);
    open_handle();
    chunk_decoder_reset(state_);
  }

 private:
  static constexpr const char* kWhat = "decoder";

  sivo_decoder* open_handle() const {
    if (state_.handle == nullptr) throw failure{"the decoder is closed"};
    return state_.handle;
  }
  chunk_decoder state_;
  object_gate gate_;
};

py::bytes encode_buffer(py::array_t<int16_t, py::array::c_style> samples, int32_t rate) {
  if (rate < 0 || rate > 3) {
    throw failure{"invalid rate " + std::to_string(rate) + " (expected 0, 1, 2 or 3)",
                  SIVO_INVALID_ARGUMENT};
  }
  const auto in = samples.unchecked<1>();
  const std::span<const int16_t> pcm(in.data(0), static_cast<size_t>(in.shape(0)));
  py::bytes out = new_bytes(checked_product(frames_for(pcm.size(), true),
                                            static_cast<size_t>(rate_bytes(rate)),
                                            "the encoded output"));
  uint8_t* dst = bytes_data(out);
  sivo_encoder* handle = nullptr;
  check(sivo_encoder_open(&handle), "opening an encoder");
  sivo_encoder_set_comp_rate(handle, rate);  // checked above
  {
    py::gil_scoped_release unlocked;
    encode_samples(handle, pcm, true, dst);
  }
  sivo_encoder_close(&handle);
  return out;
}

py::array_t<int16_t> decode_buffer(py::buffer data, bool postfilter) {
  const py::buffer_info info = data.request();
  const std::span<const uint8_t> stream = view(info);
  sivo_walk_result walk{};
  {
    py::gil_scoped_release unlocked;
    walk = sivo_walk_buffer(stream.data(), stream.size(), nullptr, 0);
  }
  if (walk.stop.status != SIVO_WALK_EMPTY) throw frame_failure(walk.stop, walk.end);
  py::array_t<int16_t> out =
      new_samples(checked_product(walk.speech_frames, kFrameSamples, "the decoded output"),
                  "the decoded output");
  int16_t* dst = out.mutable_data();
  sivo_decoder* handle = nullptr;
  check(sivo_decoder_open(&handle), "opening a decoder");
  sivo_decoder_set_filter_mode(handle, postfilter ? 1 : 0);
  sivo_walk_decoded outcome{};
  {
    py::gil_scoped_release unlocked;
    outcome = sivo_walk_decode(handle, stream.data(), stream.size(), nullptr, dst);
  }
  sivo_decoder_close(&handle);
  check(outcome.status, "decoding");
  return out;
}

// (type, length) of the frame at `offset`; raises FrameError for an invalid
// type or a frame cut short by the end of `data`.
py::tuple frame_at_offset(py::buffer data, size_t offset) {
  const py::buffer_info info = data.request();
  const std::span<const uint8_t> stream = view(info);
  if (offset >= stream.size()) throw py::index_error("offset past the end of the stream");
  const sivo_walk_step step = sivo_walk_frame(stream.data() + offset, stream.size() - offset);
  if (step.status != SIVO_WALK_FRAME) throw frame_failure(step, offset);
  return py::make_tuple(step.type, step.length);
}

// The cancel check of a file call. It asks the interpreter whether a signal
// handler has raised (Ctrl-C's KeyboardInterrupt, or any handler's own
// exception), on the main thread only, where handlers run, so that a call
// in another thread never waits for the interpreter lock at all; while other
// threads keep the lock busy, at most every 50 ms. Once a handler has
// raised, every later check says stop.
class interrupt_watch {
 public:
  interrupt_watch() : on_main_thread_(is_main_thread()) {}
  ~interrupt_watch() {
    if (type_ != nullptr) {
      Py_XDECREF(type_);
      Py_XDECREF(value_);
      Py_XDECREF(traceback_);
    }
  }
  interrupt_watch(const interrupt_watch&) = delete;
  interrupt_watch& operator=(const interrupt_watch&) = delete;

  // Called with the interpreter lock released.
  bool operator()() {
    if (raised_.load(std::memory_order_relaxed)) return true;
    if (!on_main_thread_) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now < next_check_) return false;
    bool raised = false;
    {
      py::gil_scoped_acquire locked;
      raised = PyErr_CheckSignals() != 0;
      if (raised) PyErr_Fetch(&type_, &value_, &traceback_);
    }
    // Taking the lock at once means no other thread wants it: the next
    // check may come at once too (the last one before a commit must). A
    // wait for it means other threads run Python: checks are spaced out.
    const auto after = std::chrono::steady_clock::now();
    next_check_ = after - now > kContended ? after + kCheckInterval : after;
    raised_.store(raised, std::memory_order_relaxed);
    return raised;
  }

  // Raises the handler's exception when one was caught. Called with the
  // interpreter lock held.
  void raise_if_interrupted() {
    if (!raised_.load(std::memory_order_relaxed)) return;
    PyErr_Restore(type_, value_, traceback_);
    type_ = value_ = traceback_ = nullptr;
    throw py::error_already_set();
  }

 private:
  static constexpr std::chrono::milliseconds kCheckInterval{50};
  static constexpr std::chrono::microseconds kContended{200};

  static bool is_main_thread() {
    const py::object main = py::module_::import("threading").attr("main_thread")();
    return main.attr("ident").cast<unsigned long>() == PyThread_get_thread_ident();
  }

  const bool on_main_thread_;
  std::chrono::steady_clock::time_point next_check_{};
  std::atomic<bool> raised_{false};
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* traceback_ = nullptr;
};

// A path handed to the C++ side: the bytes os.fsencode gives (so that names
// that are not valid UTF-8 reach the file system unchanged), refused when it
// holds a NUL, which the system call would take for the end of the name.
std::string path_argument(const std::string& path, const char* what) {
  if (path.find('\0') != std::string::npos) {
    throw py::value_error(std::string(what) + ": embedded null byte");
  }
  return path;
}

py::dict summary(const transcode_result& r) {
  py::dict d;
  d["input_format"] = r.input_format;
  d["frames"] = r.frames;
  d["frame_bytes"] = r.frame_bytes;
  d["samples"] = r.samples;
  d["damaged_frames"] = r.damaged_frames;
  d["reserved_frames"] = r.reserved_frames;
  return d;
}

// An interrupt wins over any other outcome: the loops commit nothing once
// the check has said stop, and the caller sees the handler's exception.
py::dict finish_file_call(bool ok, const transcode_result& result, interrupt_watch& watch) {
  watch.raise_if_interrupted();
  if (!ok) throw failure{result.error};
  return summary(result);
}

// `sivo encode SRC DST -r RATE`: the command's own loop.
py::dict encode_path(const std::string& src, const std::string& dst, int32_t rate) {
  encode_options options;
  options.comp_rate = rate;
  const std::string in = path_argument(src, "src");
  const std::string out = path_argument(dst, "dst");
  interrupt_watch watch;
  options.cancelled = [&watch] { return watch(); };
  transcode_result result;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = encode_file(in, out, options, result);
  }
  return finish_file_call(ok, result, watch);
}

// `sivo decode SRC DST [--no-postfilter] [--rate N] [--format F]`.
py::dict decode_path(const std::string& src, const std::string& dst, bool postfilter,
                     int rate, const std::string& format) {
  decode_options options;
  options.postfilter = postfilter;
  options.rate = rate;
  if (!format.empty() && !parse_audio_format(format, options.format)) {
    throw failure{"unknown audio format '" + format + "' (wav, raw, flac, ogg or aiff)"};
  }
  const std::string in = path_argument(src, "src");
  const std::string out = path_argument(dst, "dst");
  interrupt_watch watch;
  options.cancelled = [&watch] { return watch(); };
  transcode_result result;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = decode_file(in, out, options, result);
  }
  return finish_file_call(ok, result, watch);
}

// Whether writing `dst` would destroy `src`: the rule every route applies.
bool same_file_paths(const std::string& src, const std::string& dst) {
  return same_file(path_argument(src, "src"), path_argument(dst, "dst"));
}

// Any audio file as 8000 Hz mono samples, read and converted as `sivo
// encode` and `sivo compare` read it.
py::array_t<int16_t> read_audio(const std::string& path) {
  const std::string name = path_argument(path, "path");
  interrupt_watch watch;
  const cancel_check cancelled = [&watch] { return watch(); };
  std::vector<int16_t> samples;
  std::string error;
  {
    // Opening a FIFO waits for its writer: not with the interpreter held.
    py::gil_scoped_release unlocked;
    audio_source source;
    source.cancelled = &cancelled;
    if (source_open(source, name, nullptr, error)) {
      int16_t block[4096];
      long long got = 0;
      try {
        while ((got = source_read(source, block, std::size(block), error)) > 0 && !watch()) {
          samples.insert(samples.end(), block, block + got);
        }
      } catch (...) {
        source_close(source);
        throw;
      }
      source_close(source);
    }
  }
  watch.raise_if_interrupted();
  if (!error.empty()) throw failure{error};
  py::array_t<int16_t> out = new_samples(samples.size(), "the samples read");
  std::copy(samples.begin(), samples.end(), out.mutable_data());
  return out;
}

// Segmental and overall SNR of `test` against `reference` as `sivo compare`
// measures them: test's first `delay` samples skipped, then whole segments.
py::tuple segmental_snr(py::array_t<int16_t, py::array::c_style> reference,
                        py::array_t<int16_t, py::array::c_style> test, size_t delay) {
  const size_t ref_size = static_cast<size_t>(reference.size());
  const size_t test_size = static_cast<size_t>(test.size());
  sivo::snr_meter meter;
  if (test_size > delay) {
    const size_t segments = std::min(ref_size, test_size - delay) / sivo::kSegment;
    for (size_t s = 0; s < segments; ++s) {
      sivo::snr_add(meter, reference.data() + s * sivo::kSegment,
                    test.data() + delay + s * sivo::kSegment);
    }
  }
  const sivo::snr_result r = sivo::snr_result_of(meter);
  return py::make_tuple(r.segmental_db, r.overall_db, r.segments);
}

}  // namespace
}  // namespace sivo

PYBIND11_MODULE(_sivo, m) {
  using namespace sivo;
  m.doc() = "Compiled core of the sivo package; use the sivo module.";
  g_sivo_error = PyErr_NewExceptionWithDoc(
      "sivo.SivoError",
      "A failure of the codec, of a file or of a call's arguments.\n\n"
      "Attributes:\n"
      "    status: the library's status code (sivocore.h) when one applies, else None.\n"
      "    offset: None here; FrameError sets it.",
      PyExc_Exception, nullptr);
  PyObject_SetAttrString(g_sivo_error, "status", Py_None);
  PyObject_SetAttrString(g_sivo_error, "offset", Py_None);
  PyObject* frame_bases = PyTuple_Pack(2, g_sivo_error, PyExc_ValueError);
  g_frame_error = PyErr_NewExceptionWithDoc(
      "sivo.FrameError",
      "An invalid frame type, or a frame cut short by the end of the data.\n\n"
      "Both a SivoError and a ValueError. The message names the byte offset.\n\n"
      "Attributes:\n"
      "    offset: the byte offset of the frame in the stream.\n"
      "    status: 1 (SIVO_NOT_DECODABLE) for an invalid type, None for a cut frame.\n"
      "    samples: from Decoder.decode only, the int16 samples of the frames\n"
      "        decoded before the invalid one.",
      frame_bases, nullptr);
  Py_DECREF(frame_bases);
  m.attr("SivoError") = py::handle(g_sivo_error);
  m.attr("FrameError") = py::handle(g_frame_error);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const failure& f) {
      raise_failure(f);
    }
  });

  m.attr("FRAME_SAMPLES") = SIVO_FRAME_SAMPLES;
  m.attr("SAMPLE_RATE") = SIVO_SAMPLE_RATE;
  m.def("encode_buffer", &encode_buffer, py::arg("samples"), py::arg("rate"));
  m.def("decode_buffer", &decode_buffer, py::arg("data"), py::arg("postfilter"));
  m.def("frame_at", &frame_at_offset, py::arg("data"), py::arg("offset"));
  m.def("segmental_snr", &segmental_snr, py::arg("reference"), py::arg("test"), py::arg("delay"));
  m.def("encode_file", &encode_path, py::arg("src"), py::arg("dst"), py::arg("rate"));
  m.def("decode_file", &decode_path, py::arg("src"), py::arg("dst"), py::arg("postfilter"),
        py::arg("rate"), py::arg("format"));
  m.def("read_audio", &read_audio, py::arg("path"));
  m.def("same_file", &same_file_paths, py::arg("src"), py::arg("dst"));

  py::class_<encoder>(m, "Encoder", "The compiled streaming encoder; use sivo.Encoder.")
      .def(py::init<int32_t>(), py::arg("rate") = 0)
      .def("encode", &encoder::encode, py::arg("samples"),
           "Encodes int16 samples; returns the bytes of the frames they complete.")
      .def("flush", &encoder::flush,
           "Encodes the samples still waiting, padded with silence to a whole frame.\n\n"
           "Returns:\n"
           "    bytes: that frame, or b'' when no samples wait.")
      .def("reset", &encoder::reset,
           "Starts a new stream: the waiting samples are dropped and the codec\n"
           "restarts as a new encoder; the rate is kept.")
      .def("close", &encoder::close,
           "Frees the encoder. Later calls of encode, flush, reset or rate raise\n"
           "SivoError; closing again does nothing.")
      .def_property_readonly("closed", &encoder::closed, "True once close() was called.")
      .def_property_readonly("pending", &encoder::pending,
                             "The number of samples waiting for a whole frame (0..239).")
      .def_property("rate", &encoder::rate, &encoder::set_rate,
                    "The compression rate, 0..3, of the next frame.\n\n"
                    "Setting another value raises SivoError (status 3) and keeps the rate.");
  py::class_<decoder>(m, "Decoder", "The compiled streaming decoder; use sivo.Decoder.")
      .def(py::init<bool>(), py::arg("postfilter") = true)
      .def("decode", &decoder::decode, py::arg("data"),
           "Decodes the frames that `data` completes.\n\n"
           "Args:\n"
           "    data: any number of bytes (a bytes-like object); the bytes of a\n"
           "        frame cut by the end wait for the next call.\n\n"
           "Returns:\n"
           "    numpy.ndarray: int16 samples, 240 per speech frame; reserved frames\n"
           "    (types 6 and 7) give none, damaged frames are concealed.\n\n"
           "Raises:\n"
           "    FrameError: `data` holds an invalid frame type. Its `samples` hold\n"
           "        the frames decoded before it; the rest of `data` is skipped and\n"
           "        the next call starts afresh.")
      .def("decode_lost", &decoder::decode_lost,
           "Conceals a frame lost in transit.\n\n"
           "Returns:\n"
           "    numpy.ndarray: 240 int16 samples.")
      .def("finish", &decoder::finish,
           "Ends the stream: raises FrameError when the bytes of a cut frame still\n"
           "wait (and drops them); does nothing otherwise.")
      .def("reset", &decoder::reset,
           "Starts a new stream: waiting bytes are dropped, the counters return to 0\n"
           "and the codec restarts as a new decoder; the post-filter setting is kept.")
      .def("close", &decoder::close,
           "Frees the decoder. Later calls of decode, decode_lost, reset or\n"
           "postfilter raise SivoError; closing again does nothing.")
      .def_property_readonly("closed", &decoder::closed, "True once close() was called.")
      .def_property_readonly("pending", &decoder::pending,
                             "The number of bytes of a cut frame waiting for the rest.")
      .def_property_readonly("consumed", &decoder::consumed,
                             "The number of bytes of whole frames taken so far; the\n"
                             "offsets FrameError reports count from the stream's start.")
      .def_property_readonly("damaged_frames", &decoder::damaged_frames,
                             "The number of frames found damaged (an impossible pitch or\n"
                             "gain index) and concealed so far.")
      .def_property("postfilter", &decoder::postfilter, &decoder::set_postfilter,
                    "True when the pitch and formant post-filters are applied.\n\n"
                    "Setting True restarts the formant post-filter's memories.");
}
