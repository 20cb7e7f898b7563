// The kernel variant report: every kernel in every variant this processor
// runs, timed inside whole encodes and decodes of the recorded speech, and
// the codec's blocks (encoder per rate, decoder with and without post-filter)
// on each variant throughout and on the table's choice. Prints Markdown.
//
//   sivo_kernel_report [--seconds S] [--rounds N] [--speech DIR]
//
// S seconds (default 30) from the start of the codec2 recordings
// concatenated; N rounds (default 5), each running every variant once in
// turn, of which the fastest is kept: a round slowed by other work on the
// machine is dropped. Kernel times are ns per call, counted around each call
// with the time stamp counter (less the cost of counting); block times are
// thread CPU time per frame.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <climits>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "codec/kernels/kernel_table.h"
#include "sivocore.h"

#if defined(__x86_64__)
#include <x86intrin.h>
#endif

namespace {

using namespace sivo;

// ---- Time.

uint64_t stamp() noexcept {
#if defined(__x86_64__)
  return __rdtsc();
#else
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

double thread_seconds() noexcept {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Stamps per nanosecond, from a 50 ms stretch of the steady clock.
double stamps_per_ns() {
  const auto t0 = std::chrono::steady_clock::now();
  const uint64_t s0 = stamp();
  while (std::chrono::steady_clock::now() - t0 < std::chrono::milliseconds(50)) {
  }
  const uint64_t s1 = stamp();
  const auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0);
  return static_cast<double>(s1 - s0) / ns.count();
}

// ---- Kernels counted one by one.

enum kernel_index {
#define SIVO_INDEX(name, two, four, four_vl, eight, kind) k_##name,
  SIVO_KERNEL_LIST(SIVO_INDEX)
#undef SIVO_INDEX
      kKernels
};

const char* const kKernelNames[kKernels] = {
#define SIVO_NAME(name, two, four, four_vl, eight, kind) #name,
    SIVO_KERNEL_LIST(SIVO_NAME)
#undef SIVO_NAME
};

// The table whose forms the counting entries call, and the stamps each
// call of each kernel took.
const kernel_table* counted = nullptr;
std::array<std::vector<uint32_t>, kKernels> spent;

void count(int index, uint64_t start) noexcept {
  const uint64_t took = stamp() - start;
  spent[index].push_back(static_cast<uint32_t>(std::min<uint64_t>(took, UINT32_MAX)));
}

// Mean stamps per call, leaving out the slowest 1% of calls (those that
// other work on the machine interrupted; the same share in every variant).
double typical_stamps(std::vector<uint32_t>& took) {
  if (took.empty()) return 0.0;
  std::sort(took.begin(), took.end());
  const std::size_t kept = took.size() - took.size() / 100;
  double sum = 0.0;
  for (std::size_t i = 0; i < kept; ++i) sum += took[i];
  return sum / static_cast<double>(kept);
}

template <int Index, auto Member, typename Entry>
struct counting;
template <int Index, auto Member, typename R, typename... A>
struct counting<Index, Member, R (*)(A...) noexcept> {
  static R call(A... args) noexcept {
    const uint64_t start = stamp();
    if constexpr (std::is_void_v<R>) {
      (counted->*Member)(std::forward<A>(args)...);
      count(Index, start);
    } else {
      R result = (counted->*Member)(std::forward<A>(args)...);
      count(Index, start);
      return result;
    }
  }
};

// A table of counting entries, each calling its kernel in *counted.
kernel_table counting_table() {
  kernel_table table{};
#define SIVO_COUNT(name, two, four, four_vl, eight, kind) \
  table.name = &counting<k_##name, &kernel_table::name, decltype(&sivo::name)>::call;
  SIVO_KERNEL_LIST(SIVO_COUNT)
#undef SIVO_COUNT
  return table;
}

// What counting costs by itself: a call of an empty entry through a
// counting entry, stamps per call.
void empty_entry(const float*, int, int16_t*) noexcept {}
double counting_cost() {
  static kernel_table empty{};
  empty.float_to_pcm16 = &empty_entry;
  const kernel_table counting_empty = counting_table();
  counted = &empty;
  double best = std::numeric_limits<double>::max();
  for (int round = 0; round < 20; ++round) {
    spent[k_float_to_pcm16].clear();
    for (int i = 0; i < 10000; ++i) counting_empty.float_to_pcm16(nullptr, 0, nullptr);
    best = std::min(best, typical_stamps(spent[k_float_to_pcm16]));
  }
  return best;
}

// ---- The codec's blocks.

struct speech {
  std::vector<int16_t> samples;  // whole frames
  std::array<std::vector<uint8_t>, 4> streams;  // the samples encoded at each rate
};

std::vector<int16_t> load_speech(const std::string& dir, double seconds) {
  std::vector<int16_t> all;
  for (const char* name : {"hts1a", "hts2a", "morig", "forig", "mmt1", "kristoff", "big_dog",
                           "vk5qi", "ve9qrp"}) {
    std::ifstream in(dir + "/" + name + ".raw", std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      all.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                         (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    }
  }
  const auto wanted = static_cast<std::size_t>(seconds * SIVO_SAMPLE_RATE);
  all.resize(std::min(all.size(), wanted) / SIVO_FRAME_SAMPLES * SIVO_FRAME_SAMPLES);
  return all;
}

std::size_t frames_of(const speech& s) { return s.samples.size() / SIVO_FRAME_SAMPLES; }

std::vector<uint8_t> encode(const speech& s, int rate) {
  sivo_encoder* enc = nullptr;
  sivo_encoder_open(&enc);
  sivo_encoder_set_comp_rate(enc, rate);
  std::vector<uint8_t> stream(frames_of(s) * SIVO_MAX_FRAME_BYTES);
  std::size_t size = 0;
  for (std::size_t f = 0; f < frames_of(s); ++f) {
    int32_t type = 0, bytes = 0;
    sivo_encode_frame(enc, &s.samples[f * SIVO_FRAME_SAMPLES], &stream[size], &type, &bytes);
    size += static_cast<std::size_t>(bytes);
  }
  sivo_encoder_close(&enc);
  stream.resize(size);
  return stream;
}

void decode(const std::vector<uint8_t>& stream, int postfilter, std::vector<int16_t>& out) {
  sivo_decoder* dec = nullptr;
  sivo_decoder_open(&dec);
  sivo_decoder_set_filter_mode(dec, postfilter);
  std::size_t at = 0, produced = 0;
  while (at < stream.size()) {
    int32_t type = 0, bytes = 0;
    sivo_decode_frame(dec, &stream[at], &out[produced], SIVO_DECODE_NORMAL, &type, &bytes);
    produced += SIVO_FRAME_SAMPLES;
    at += static_cast<std::size_t>(bytes > 0 ? bytes : 1);
  }
  sivo_decoder_close(&dec);
}

// The blocks timed: the encoder at each rate, the decoder over the four
// rates' streams with the post-filter on and off.
constexpr int kBlocks = 6;
const char* const kBlockNames[kBlocks] = {"encode rate 0", "encode rate 1", "encode rate 2",
                                          "encode rate 3", "decode, post-filter",
                                          "decode, no post-filter"};
constexpr int kDecodeRepeats = 4;  // decoding is quick: each decode block runs this often

// Microseconds per frame of each block, on the table kernels() now returns.
std::array<double, kBlocks> time_blocks(const speech& s) {
  std::array<double, kBlocks> us{};
  std::vector<int16_t> out(s.samples.size());
  for (int rate = 0; rate < 4; ++rate) {
    const double t0 = thread_seconds();
    encode(s, rate);
    us[rate] = 1e6 * (thread_seconds() - t0) / static_cast<double>(frames_of(s));
  }
  for (int postfilter : {1, 0}) {
    const double t0 = thread_seconds();
    for (int r = 0; r < kDecodeRepeats; ++r) {
      for (const auto& stream : s.streams) decode(stream, postfilter, out);
    }
    us[postfilter ? 4 : 5] = 1e6 * (thread_seconds() - t0) /
                             static_cast<double>(4 * kDecodeRepeats * frames_of(s));
  }
  return us;
}

// Runs every block once (encode each rate, decode with and without the
// post-filter) through the counting table.
void run_counted(const speech& s) {
  std::vector<int16_t> out(s.samples.size());
  for (int rate = 0; rate < 4; ++rate) encode(s, rate);
  for (int postfilter : {1, 0}) {
    for (const auto& stream : s.streams) decode(stream, postfilter, out);
  }
}

// The variant whose form of each kernel table holds (-1: none).
std::array<int, kKernels> variants_in(const kernel_table& table) {
  std::array<int, kKernels> found;
  found.fill(-1);
  for (kernel_variant v : runnable_kernel_variants()) {
    const kernel_table& forms = kernel_table_for(v);
#define SIVO_FIND(name, two, four, four_vl, eight, kind) \
  if (found[k_##name] < 0 && table.name == forms.name) found[k_##name] = static_cast<int>(v);
    SIVO_KERNEL_LIST(SIVO_FIND)
#undef SIVO_FIND
  }
  return found;
}

std::string processor_name() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

int usage() {
  std::fprintf(stderr, "usage: sivo_kernel_report [--seconds S] [--rounds N] [--speech DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 30.0;
  int rounds = 5;
  std::string dir = "/usr/share/codec2/raw";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return usage();
    if (arg == "--seconds") {
      seconds = std::atof(argv[++i]);
    } else if (arg == "--rounds") {
      rounds = std::atoi(argv[++i]);
    } else if (arg == "--speech") {
      dir = argv[++i];
    } else {
      return usage();
    }
  }
  if (seconds <= 0.0 || rounds <= 0) return usage();

  speech s;
  s.samples = load_speech(dir, seconds);
  if (s.samples.empty()) {
    std::fprintf(stderr, "sivo_kernel_report: no speech recordings in %s\n", dir.c_str());
    return 1;
  }
  for (int rate = 0; rate < 4; ++rate) s.streams[rate] = encode(s, rate);

  const processor_traits here = this_processor();
  const std::span<const kernel_variant> variants = runnable_kernel_variants();
  const int count = static_cast<int>(variants.size());
  const kernel_table chosen = chosen_kernel_table(here);
  const std::array<int, kKernels> chosen_variant = variants_in(chosen);

  const double per_ns = stamps_per_ns();
  const double cost = counting_cost();
  const kernel_table counting_entries = counting_table();

  // Best per-call time of each kernel in each variant, and best block times
  // of each variant and of the choice (last column).
  std::vector<std::array<double, kKernels>> kernel_ns(count);
  for (auto& k : kernel_ns) k.fill(std::numeric_limits<double>::max());
  std::vector<std::array<double, kBlocks>> block_us(count + 1);
  for (auto& b : block_us) b.fill(std::numeric_limits<double>::max());

  for (int round = 0; round < rounds; ++round) {
    for (int v = 0; v <= count; ++v) {
      use_kernel_table(v < count ? kernel_table_for(variants[v]) : chosen);
      const std::array<double, kBlocks> us = time_blocks(s);
      for (int b = 0; b < kBlocks; ++b) block_us[v][b] = std::min(block_us[v][b], us[b]);
      if (v == count) continue;
      counted = &kernel_table_for(variants[v]);
      for (auto& took : spent) took.clear();
      use_kernel_table(counting_entries);
      run_counted(s);
      for (int k = 0; k < kKernels; ++k) {
        if (spent[k].empty()) continue;
        const double ns = (typical_stamps(spent[k]) - cost) / per_ns;
        kernel_ns[v][k] = std::min(kernel_ns[v][k], ns);
      }
    }
  }

  std::printf("processor: %s (%s family %d model %d; %s)\n", processor_name().c_str(),
              here.vendor == cpu_vendor::intel ? "Intel"
              : here.vendor == cpu_vendor::amd ? "AMD"
                                               : "other",
              here.family, here.model,
              here.avx512f    ? (here.avx512vl ? "AVX2, AVX-512F, AVX-512VL" : "AVX2, AVX-512F")
              : here.avx2     ? "AVX2, no AVX-512"
                              : "no AVX2");
  std::printf("speech: %.1f s, %zu frames; fastest of %d rounds; counting cost %.1f ns a call\n\n",
              static_cast<double>(frames_of(s)) * 0.03, frames_of(s), rounds, cost / per_ns);

  std::printf("ns per call (* the table's choice, fastest in bold)\n\n| kernel |");
  for (kernel_variant v : variants) std::printf(" %s |", kernel_variant_name(v));
  std::printf(" chosen |\n|---|");
  for (int v = 0; v < count; ++v) std::printf("---:|");
  std::printf("---|\n");
  for (int k = 0; k < kKernels; ++k) {
    std::printf("| %s |", kKernelNames[k]);
    int fastest = 0;
    for (int v = 1; v < count; ++v) {
      if (kernel_ns[v][k] < kernel_ns[fastest][k]) fastest = v;
    }
    for (int v = 0; v < count; ++v) {
      const bool pick = chosen_variant[k] == static_cast<int>(variants[v]);
      if (kernel_ns[v][k] == std::numeric_limits<double>::max()) {
        std::printf(" - |");
      } else {
        std::printf(" %s%.0f%s%s |", v == fastest ? "**" : "", kernel_ns[v][k],
                    v == fastest ? "**" : "", pick ? "*" : "");
      }
    }
    std::printf(" %s |\n",
                chosen_variant[k] >= 0
                    ? kernel_variant_name(static_cast<kernel_variant>(chosen_variant[k]))
                    : "?");
  }

  std::printf("\nus per frame (fastest variant in bold; the choice against it)\n\n| block |");
  for (kernel_variant v : variants) std::printf(" %s |", kernel_variant_name(v));
  std::printf(" chosen | chosen vs fastest |\n|---|");
  for (int v = 0; v <= count; ++v) std::printf("---:|");
  std::printf("---:|\n");
  for (int b = 0; b < kBlocks; ++b) {
    int fastest = 0;
    for (int v = 1; v < count; ++v) {
      if (block_us[v][b] < block_us[fastest][b]) fastest = v;
    }
    std::printf("| %s |", kBlockNames[b]);
    for (int v = 0; v <= count; ++v) {
      std::printf(" %s%.2f%s |", v == fastest ? "**" : "", block_us[v][b],
                  v == fastest ? "**" : "");
    }
    std::printf(" %+.1f%% |\n", 100.0 * (block_us[count][b] / block_us[fastest][b] - 1.0));
  }
  return 0;
}
