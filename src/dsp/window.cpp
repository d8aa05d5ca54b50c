#include "dsp/window.hpp"

#include <algorithm>
#include <cmath>

#include "common/failure.hpp"

namespace sonavera::dsp {
namespace {

// One value of the symmetric Hann window of length `length`.
float hann_value(std::uint64_t i, std::uint64_t length) {
  // Four roundings in this order: i × 2π, ÷ (N − 1), cosine, (1 − c) × 0.5.
  // For N = 1 the quotient is 0 / 0, so that window's only value is NaN.
  float a = static_cast<float>(i) * 6.2831855f;
  a = a / static_cast<float>(length - 1);
  float c = cosf(a);
  return (1.0f - c) * 0.5f;
}

}  // namespace

std::vector<float> hann_window_frame(std::uint64_t length, std::uint64_t padded) {
  check_byte_count(length, sizeof(float));
  std::vector<float> window = make_array<float>(padded, 0.0f);
  std::uint64_t used = std::min(length, padded);
  for (std::uint64_t i = 0; i < used; ++i) window[i] = hann_value(i, length);
  return window;
}

}  // namespace sonavera::dsp
