// Tables of the decoder's pitch and formant post-filters.
#pragma once

#include <array>

namespace sivo {

// Zero weights 0.65^k of the formant post-filter A(z/0.65) / A(z/0.75); index 0 is k = 1.
inline constexpr std::array<float, 10> formant_zero_weights = {
    0.65f,
    0.4225f,
    0.274625f,
    0.17850625f,
    0.1160290625f,
    0.075418890625f,
    0.04902227890625f,
    0.0318644812890625f,
    0.020711912837890625f,
    0.01346274334462890625f,
};
static_assert(formant_zero_weights.size() == 10);

// Pole weights 0.75^k of the formant post-filter; index 0 is k = 1.
inline constexpr std::array<float, 10> formant_pole_weights = {
    0.75f,
    0.5625f,
    0.421875f,
    0.31640625f,
    0.2373046875f,
    0.177978515625f,
    0.13348388671875f,
    0.1001129150390625f,
    0.075084686279296875f,
    0.05631351470947265625f,
};
static_assert(formant_pole_weights.size() == 10);

// Pitch post-filter gain per decoder compression rate.
inline constexpr std::array<float, 4> pitch_postfilter_gain_table = {0.1875f, 0.1875f, 0.1875f,
                                                                     0.1875f};
static_assert(pitch_postfilter_gain_table.size() == 4);

}  // namespace sivo
