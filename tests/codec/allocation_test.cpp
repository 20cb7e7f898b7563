// The frame calls allocate nothing: every heap allocation of this test
// program passes through the replaced global operators below, which count
// them while a frame call runs. The state records stay small enough to be
// one modest allocation each.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <new>
#include <vector>

#include "codec/state.h"
#include "sivocore.h"
#include "speech.h"

namespace {
bool counting = false;
std::size_t allocations = 0;
}  // namespace

// GCC pairs the malloc inside the replaced new with the free inside the
// replaced delete and warns about a mismatch that is not there.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  if (counting) ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (counting) ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

namespace {

constexpr std::size_t kStateLimit = 25 * 1024;
static_assert(sizeof(sivo::encoder_state) < kStateLimit);
static_assert(sizeof(sivo::decoder_state) < kStateLimit);

// Counts the allocations made while f runs.
template <typename F>
std::size_t count_allocations(F&& f) {
  allocations = 0;
  counting = true;
  f();
  counting = false;
  return allocations;
}

TEST(Allocation, FrameCallsAllocateNothing) {
  // The counter itself works: a vector allocates.
  EXPECT_EQ(count_allocations([] { std::vector<int> v(10); }), 1u);

  auto speech = sivo::test::load_raw("hts1a.raw");
  if (speech.empty()) speech.assign(50 * SIVO_FRAME_SAMPLES, 1000);
  const std::size_t frames = speech.size() / SIVO_FRAME_SAMPLES;

  sivo_encoder* enc = nullptr;
  sivo_decoder* dec = nullptr;
  ASSERT_EQ(sivo_encoder_open(&enc), SIVO_OK);
  ASSERT_EQ(sivo_decoder_open(&dec), SIVO_OK);
  std::array<uint8_t, SIVO_MAX_FRAME_BYTES> frame{};
  std::array<int16_t, SIVO_FRAME_SAMPLES> out{};
  for (int rate = 0; rate < 4; ++rate) {
    ASSERT_EQ(sivo_encoder_set_comp_rate(enc, rate), SIVO_OK);
    for (std::size_t f = 0; f < frames; ++f) {
      int32_t type, bytes, status = -1;
      EXPECT_EQ(count_allocations([&] {
                  status = sivo_encode_frame(enc, &speech[f * SIVO_FRAME_SAMPLES], frame.data(),
                                             &type, &bytes);
                }),
                0u);
      ASSERT_EQ(status, SIVO_OK);
      // Normal, lost and reserved frames all go through the decoder.
      const int32_t mode = f % 5 == 4 ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL;
      if (f % 11 == 10) frame[0] = 6;
      EXPECT_EQ(count_allocations([&] {
                  sivo_decode_frame(dec, frame.data(), out.data(), mode, &type, &bytes);
                }),
                0u);
    }
  }
  sivo_encoder_close(&enc);
  sivo_decoder_close(&dec);
}

}  // namespace
