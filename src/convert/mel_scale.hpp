// The two mel scales, written once for both precisions: the unit conversions evaluate them in
// double, the filterbank in single. Each constant is rounded to the working precision on its own
// (the break mel is the quotient in that precision: just below 15 in double, just above in
// single), and every step is one rounded operation in the order written.
#pragma once

#include <cmath>

namespace sonavera::mel_scale {

template <class T>
struct Constants {
  static constexpr T linear_step = T(200) / T(3);  // hertz per mel below the break
  static constexpr T break_hz = T(1000);
  // What the linear branch reaches at the break: anchoring the logarithmic branch here makes the
  // two branches meet exactly.
  static constexpr T break_mel = break_hz / linear_step;
  static constexpr T log_step = T(0.06875177742094912);  // ln(6.4) / 27
  static constexpr T htk_corner = T(700);
  static constexpr T htk_factor = T(2595);
};

static_assert(Constants<double>::break_mel == 14.999999999999998);
static_assert(Constants<float>::break_mel == 15.000000953674316f);
static_assert(Constants<float>::log_step == 0.06875177472829819f);

// std::log10, std::log, std::pow and std::exp resolve to the C library function of T's precision.
template <class T>
T hz_to_mel(T f, bool htk) {
  using C = Constants<T>;
  if (htk) {
    const T ratio = f / C::htk_corner;
    const T shifted = ratio + T(1);
    return std::log10(shifted) * C::htk_factor;
  }
  // A NaN fails the comparison and takes the logarithmic branch, where it stays NaN. Below the
  // break a division, not a multiplication by the reciprocal, which would round differently.
  if (f < C::break_hz) return f / C::linear_step;
  const T octaves = std::log(f / C::break_hz);
  const T steps = octaves / C::log_step;
  return steps + C::break_mel;
}

template <class T>
T mel_to_hz(T m, bool htk) {
  using C = Constants<T>;
  if (htk) {
    const T exponent = m / C::htk_factor;
    const T ratio = std::pow(T(10), exponent);
    const T shifted = ratio - T(1);
    return shifted * C::htk_corner;
  }
  if (m < C::break_mel) {
    // Adding +0 turns a product of -0 into +0 and changes no other value.
    const T hz = m * C::linear_step;
    return hz + T(0);
  }
  const T above = m - C::break_mel;
  const T exponent = above * C::log_step;
  return std::exp(exponent) * C::break_hz;
}

}  // namespace sonavera::mel_scale
