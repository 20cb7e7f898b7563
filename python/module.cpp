// The compiled part of the Python package: whole-buffer calls, streaming
// encoder and decoder objects, and the frame walk, each crossing into the
// codec once per buffer with the interpreter lock released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "audio_input.h"
#include "buffer_codec.h"
#include "chunk_decoder.h"
#include "frame_walk.h"
#include "signal_measures.h"
#include "sivocore.h"
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

void raise_failure(const failure& f) {
  PyObject* type = f.offset >= 0 ? g_frame_error : g_sivo_error;
  PyObject* error = PyObject_CallFunction(type, "s", f.text.c_str());
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

// Streaming encoder: any number of samples per call; the samples short of a
// whole frame wait for the next call or for flush().
class encoder {
 public:
  explicit encoder(int32_t rate) {
    check(sivo_encoder_open(&handle_), "opening an encoder");
    set_rate(rate);
  }
  ~encoder() { close(); }

  void close() {
    std::lock_guard lock(mutex_);
    if (handle_ != nullptr) sivo_encoder_close(&handle_);
    handle_ = nullptr;
  }
  bool closed() const { return handle_ == nullptr; }

  int32_t rate() {
    int32_t rate = 0, bytes = 0;
    sivo_encoder_get_comp_rate(open_handle(), &rate, &bytes);
    return rate;
  }
  void set_rate(int32_t rate) {
    const int32_t status = sivo_encoder_set_comp_rate(open_handle(), rate);
    if (status != SIVO_OK) {
      throw failure{"invalid rate " + std::to_string(rate) + " (expected 0, 1, 2 or 3)", status};
    }
  }
  size_t pending() const { return pending_.size(); }

  py::bytes encode(py::array_t<int16_t, py::array::c_style> samples) {
    std::lock_guard lock(mutex_);
    sivo_encoder* handle = open_handle();
    const auto in = samples.unchecked<1>();
    std::span<const int16_t> rest(in.data(0), static_cast<size_t>(in.shape(0)));
    const size_t frames = (pending_.size() + rest.size()) / kFrameSamples;
    py::bytes out = new_bytes(frames * static_cast<size_t>(rate_bytes(rate())));
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
    std::lock_guard lock(mutex_);
    sivo_encoder* handle = open_handle();
    py::bytes out = new_bytes(pending_.empty() ? 0 : static_cast<size_t>(rate_bytes(rate())));
    if (!pending_.empty()) encode_samples(handle, pending_, true, bytes_data(out));
    pending_.clear();
    return out;
  }

  void reset() {
    std::lock_guard lock(mutex_);
    sivo_encoder_reset(open_handle());
    pending_.clear();
  }

 private:
  sivo_encoder* open_handle() const {
    if (handle_ == nullptr) throw failure{"the encoder is closed"};
    return handle_;
  }
  sivo_encoder* handle_ = nullptr;
  std::vector<int16_t> pending_;
  std::mutex mutex_;
};

// Streaming decoder: any number of bytes per call (see chunk_decoder.h). A
// call that meets an invalid frame type raises FrameError, whose `samples`
// hold the frames decoded before it.
class decoder {
 public:
  explicit decoder(bool postfilter) {
    if (!chunk_decoder_open(state_, postfilter)) {
      throw failure{"opening a decoder failed with status " + std::to_string(SIVO_OUT_OF_MEMORY),
                    SIVO_OUT_OF_MEMORY};
    }
  }
  ~decoder() { close(); }

  void close() {
    std::lock_guard lock(mutex_);
    chunk_decoder_close(state_);
  }
  bool closed() const { return state_.handle == nullptr; }
  bool postfilter() {
    int32_t mode = 0;
    sivo_decoder_get_filter_mode(open_handle(), &mode);
    return mode == 1;
  }
  void set_postfilter(bool on) { sivo_decoder_set_filter_mode(open_handle(), on ? 1 : 0); }
  size_t pending() const { return state_.pending_size; }
  long long consumed() const { return static_cast<long long>(state_.consumed); }
  size_t damaged_frames() const { return static_cast<size_t>(state_.damaged_frames); }

  py::array_t<int16_t> decode(py::buffer data) {
    std::lock_guard lock(mutex_);
    open_handle();
    const py::buffer_info info = data.request();
    const std::span<const uint8_t> chunk = view(info);
    const chunk_walk walk = chunk_survey(state_, chunk);
    py::array_t<int16_t> out(static_cast<py::ssize_t>(walk.speech_frames * kFrameSamples));
    chunk_outcome outcome;
    {
      py::gil_scoped_release unlocked;
      outcome = chunk_decode(state_, chunk, out.mutable_data());
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
    std::lock_guard lock(mutex_);
    py::array_t<int16_t> out(static_cast<py::ssize_t>(kFrameSamples));
    int32_t type = 0, bytes = 0;
    check(sivo_decode_frame(open_handle(), nullptr, out.mutable_data(), SIVO_DECODE_LOST, &type,
                            &bytes),
          "concealing a lost frame");
    return out;
  }

  // Refuses a frame left cut short at the end of the stream.
  void finish() {
    std::lock_guard lock(mutex_);
    const chunk_outcome outcome = chunk_finish(state_);
    if (outcome.failed()) throw frame_failure(outcome.fault, outcome.fault_offset);
  }

  void reset() {
    std::lock_guard lock(mutex_);
    open_handle();
    chunk_decoder_reset(state_);
  }

 private:
  sivo_decoder* open_handle() const {
    if (state_.handle == nullptr) throw failure{"the decoder is closed"};
    return state_.handle;
  }
  chunk_decoder state_;
  std::mutex mutex_;
};

py::bytes encode_buffer(py::array_t<int16_t, py::array::c_style> samples, int32_t rate) {
  sivo_encoder* handle = nullptr;
  check(sivo_encoder_open(&handle), "opening an encoder");
  const int32_t status = sivo_encoder_set_comp_rate(handle, rate);
  if (status != SIVO_OK) {
    sivo_encoder_close(&handle);
    throw failure{"invalid rate " + std::to_string(rate) + " (expected 0, 1, 2 or 3)", status};
  }
  const auto in = samples.unchecked<1>();
  const std::span<const int16_t> pcm(in.data(0), static_cast<size_t>(in.shape(0)));
  py::bytes out = new_bytes(frames_for(pcm.size(), true) * static_cast<size_t>(rate_bytes(rate)));
  uint8_t* dst = bytes_data(out);
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
  const sivo_walk_result walk = sivo_walk_buffer(stream.data(), stream.size(), nullptr, 0);
  if (walk.stop.status != SIVO_WALK_EMPTY) throw frame_failure(walk.stop, walk.end);
  sivo_decoder* handle = nullptr;
  check(sivo_decoder_open(&handle), "opening a decoder");
  sivo_decoder_set_filter_mode(handle, postfilter ? 1 : 0);
  py::array_t<int16_t> out(static_cast<py::ssize_t>(walk.speech_frames * kFrameSamples));
  int16_t* dst = out.mutable_data();
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

// Asks the interpreter, between blocks of a file loop, whether Ctrl-C was
// pressed; the pending KeyboardInterrupt is raised when the loop returns.
bool interrupt_pending() {
  py::gil_scoped_acquire locked;
  return PyErr_CheckSignals() != 0;
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

py::dict finish_file_call(bool ok, const transcode_result& result) {
  if (result.outcome == transcode_outcome::cancelled && PyErr_Occurred()) {
    throw py::error_already_set();
  }
  if (!ok) throw failure{result.error};
  return summary(result);
}

// `sivo encode SRC DST -r RATE`: the command's own loop.
py::dict encode_path(const std::string& src, const std::string& dst, int32_t rate) {
  encode_options options;
  options.comp_rate = rate;
  options.cancelled = interrupt_pending;
  transcode_result result;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = encode_file(src, dst, options, result);
  }
  return finish_file_call(ok, result);
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
  options.cancelled = interrupt_pending;
  transcode_result result;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = decode_file(src, dst, options, result);
  }
  return finish_file_call(ok, result);
}

// Any audio file as 8000 Hz mono samples, read and converted as `sivo
// encode` and `sivo compare` read it.
py::array_t<int16_t> read_audio(const std::string& path) {
  audio_source source;
  std::string error;
  if (!source_open(source, path, nullptr, error)) throw failure{error};
  std::vector<int16_t> samples;
  {
    py::gil_scoped_release unlocked;
    int16_t block[4096];
    long long got = 0;
    while ((got = source_read(source, block, std::size(block), error)) > 0) {
      samples.insert(samples.end(), block, block + got);
    }
    source_close(source);
    if (got < 0) samples.clear();
  }
  if (!error.empty()) throw failure{error};
  py::array_t<int16_t> out(static_cast<py::ssize_t>(samples.size()));
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
  g_sivo_error = PyErr_NewException("sivo.SivoError", PyExc_Exception, nullptr);
  PyObject_SetAttrString(g_sivo_error, "status", Py_None);
  PyObject_SetAttrString(g_sivo_error, "offset", Py_None);
  PyObject* frame_bases = PyTuple_Pack(2, g_sivo_error, PyExc_ValueError);
  g_frame_error = PyErr_NewException("sivo.FrameError", frame_bases, nullptr);
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

  py::class_<encoder>(m, "Encoder")
      .def(py::init<int32_t>(), py::arg("rate") = 0)
      .def("encode", &encoder::encode, py::arg("samples"))
      .def("flush", &encoder::flush)
      .def("reset", &encoder::reset)
      .def("close", &encoder::close)
      .def_property_readonly("closed", &encoder::closed)
      .def_property_readonly("pending", &encoder::pending)
      .def_property("rate", &encoder::rate, &encoder::set_rate);
  py::class_<decoder>(m, "Decoder")
      .def(py::init<bool>(), py::arg("postfilter") = true)
      .def("decode", &decoder::decode, py::arg("data"))
      .def("decode_lost", &decoder::decode_lost)
      .def("finish", &decoder::finish)
      .def("reset", &decoder::reset)
      .def("close", &decoder::close)
      .def_property_readonly("closed", &decoder::closed)
      .def_property_readonly("pending", &decoder::pending)
      .def_property_readonly("consumed", &decoder::consumed)
      .def_property_readonly("damaged_frames", &decoder::damaged_frames)
      .def_property("postfilter", &decoder::postfilter, &decoder::set_postfilter);
}
