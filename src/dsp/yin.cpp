#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "common/failure.hpp"
#include "common/saturating_cast.hpp"
#include "dsp/lanes.hpp"
#include "dsp/time_domain.hpp"

namespace sonavera::dsp {

namespace {

// Below this running sum the normalised difference is taken as 0 (a silent stretch of lags).
constexpr float kRunningSumFloor = 1e-10f;

// The squared-difference sum of one lag, continued from `sum` at term `from`.
[[gnu::always_inline]] inline float finish_lag(const float* x, std::uint64_t frame_length, std::uint64_t tau,
                                               std::uint64_t from, float sum) {
  for (std::uint64_t j = from; j < frame_length - tau; ++j) {
    const float diff = x[j] - x[j + tau];
    const float square = diff * diff;
    sum = sum + square;
  }
  return sum;
}

// d[tau] for the Blocks vectors of lags starting at `first`, each the sum of squared differences
// over j = 0 ... frame_length - tau - 1 in ascending j. The lags share every j up to the
// shortest of their ranges; there all of them advance together, one vector per block, with no
// dependency between lags. Each lag then finishes its own few remaining terms alone.
template <class Lanes, std::uint64_t Blocks>
[[gnu::always_inline]] inline void difference_block(const float* x, std::uint64_t frame_length,
                                                    std::uint64_t first, float* d) {
  constexpr std::uint64_t lanes = sizeof(Lanes) / sizeof(float);
  constexpr std::uint64_t count = Blocks * lanes;
  Lanes sums[Blocks] = {};
  const std::uint64_t shared = frame_length - (first + count - 1);
  for (std::uint64_t j = 0; j < shared; ++j) {
    const float value = x[j];
    for (std::uint64_t b = 0; b < Blocks; ++b) {
      Lanes later;
      std::memcpy(&later, x + j + first + b * lanes, sizeof later);
      const Lanes diff = value - later;
      const Lanes square = diff * diff;
      sums[b] = sums[b] + square;
    }
  }
  for (std::uint64_t lane = 0; lane < count; ++lane) {
    const std::uint64_t tau = first + lane;
    d[tau] = finish_lag(x, frame_length, tau, shared, sums[lane / lanes][lane % lanes]);
  }
}

// The difference function of one frame for lags 1 ... max_period (max_period <= frame_length / 2,
// so every lag has at least one term): wide blocks of lags while they fit, then single vectors,
// then the last lags one at a time.
template <class Lanes, std::uint64_t Blocks>
[[gnu::always_inline]] inline void difference_lanes(const float* x, std::uint64_t frame_length,
                                                    std::uint64_t max_period, float* d) {
  constexpr std::uint64_t lanes = sizeof(Lanes) / sizeof(float);
  std::uint64_t tau = 1;
  for (; tau + Blocks * lanes - 1 <= max_period; tau += Blocks * lanes) {
    difference_block<Lanes, Blocks>(x, frame_length, tau, d);
  }
  for (; tau + lanes - 1 <= max_period; tau += lanes) difference_block<Lanes, 1>(x, frame_length, tau, d);
  for (; tau <= max_period; ++tau) d[tau] = finish_lag(x, frame_length, tau, 0, 0.0f);
}

void difference_function_baseline(const float* x, std::uint64_t frame_length, std::uint64_t max_period,
                                  float* d) {
  difference_lanes<Lanes4, 4>(x, frame_length, max_period, d);
}

#if defined(__x86_64__) || defined(__i386__)

[[gnu::target("avx2")]] void difference_function_avx2(const float* x, std::uint64_t frame_length,
                                                      std::uint64_t max_period, float* d) {
  difference_lanes<Lanes8, 4>(x, frame_length, max_period, d);
}

// This is the hot loop of the pitch tracker: about frame_length x max_period terms per frame.
// Processors with 256-bit vectors take twice as many lags per instruction; the results are the
// same either way.
void difference_function(const float* x, std::uint64_t frame_length, std::uint64_t max_period, float* d) {
  if (has_avx2()) {
    difference_function_avx2(x, frame_length, max_period, d);
  } else {
    difference_function_baseline(x, frame_length, max_period, d);
  }
}

#else

void difference_function(const float* x, std::uint64_t frame_length, std::uint64_t max_period, float* d) {
  difference_function_baseline(x, frame_length, max_period, d);
}

#endif

// c[tau] = d[tau] * tau / (d[1] + ... + d[tau]); c[0] stays 1.0.
void normalise(const std::vector<float>& d, std::vector<float>& c) {
  float running = 0.0f;
  for (std::uint64_t tau = 1; tau < d.size(); ++tau) {
    running = running + d[tau];
    if (running < kRunningSumFloor) {
      c[tau] = 0.0f;
    } else {
      const float weighted = d[tau] * static_cast<float>(tau);
      c[tau] = weighted / running;
    }
  }
}

// The first lag in min_period ... max_period - 1 that lies below the threshold and no higher than
// its neighbours (min_period has no left neighbour to respect), or max_period + 1 for none.
// Comparisons with NaN are false, so a NaN lag is never chosen.
std::uint64_t first_trough(const std::vector<float>& c, std::uint64_t min_period, std::uint64_t max_period,
                           float threshold) {
  for (std::uint64_t tau = min_period; tau < max_period; ++tau) {
    const float value = c[tau];
    const bool below = value < threshold;
    const bool rises_after = value <= c[tau + 1];
    const bool falls_before = tau == min_period || value <= c[tau - 1];
    if (below && rises_after && falls_before) return tau;
  }
  return max_period + 1;
}

// The earliest lag of the smallest c over min_period ... max_period. The minimum of values that
// include a NaN is undefined, so meeting one here is a failure rather than a guess.
std::uint64_t smallest_lag(const std::vector<float>& c, std::uint64_t min_period, std::uint64_t max_period) {
  std::uint64_t best = min_period;
  for (std::uint64_t tau = min_period + 1; tau <= max_period; ++tau) {
    if (std::isnan(c[best]) || std::isnan(c[tau])) {
      fail_internal("the normalised difference is NaN at lag " +
                    std::to_string(std::isnan(c[best]) ? best : tau));
    }
    if (c[tau] < c[best]) best = tau;
  }
  return best;
}

}  // namespace

std::vector<float> yin(std::span<const float> y, float fmin, float fmax, float sr, std::uint64_t frame_length,
                       std::optional<std::uint64_t> hop_length, float trough_threshold) {
  if (fmin >= fmax || fmin <= 0.0f || fmax <= 0.0f) {
    throw InvalidValue("fmin and fmax must be positive with fmax > fmin");
  }

  const float shortest = sr / fmax;
  const float longest = sr / fmin;
  const auto min_period = saturating_cast<std::uint64_t>(floorf(shortest));
  const auto upper_period = saturating_cast<std::uint64_t>(ceilf(longest));
  const std::uint64_t max_period = std::min(frame_length / 2, upper_period);
  if (min_period >= max_period) throw InvalidValue("fmin/fmax/frame_length combination is invalid");

  const std::uint64_t hop = hop_length.value_or(frame_length / 4);
  const std::uint64_t length = y.size();
  if (length < frame_length) return {};
  if (hop == 0) fail_internal("attempt to divide by zero");
  const std::uint64_t n_frames = (length - frame_length) / hop + 1;

  std::vector<float> pitch = reserve_array<float>(n_frames);
  std::vector<float> d = make_array<float>(max_period + 1, 0.0f);
  std::vector<float> c = make_array<float>(max_period + 1, 1.0f);
  for (std::uint64_t frame = 0; frame < n_frames; ++frame) {
    // Every frame lies inside the signal, and every lag reads below frame_length.
    const float* x = y.data() + frame * hop;
    difference_function(x, frame_length, max_period, d.data());
    // Each lag of d and c from 1 on is rewritten for every frame; index 0 keeps its initial
    // value (d never reads it, c[0] stays 1.0), so the arrays are reused across frames.
    normalise(d, c);

    std::uint64_t lag = first_trough(c, min_period, max_period, trough_threshold);
    if (lag > max_period) {
      lag = smallest_lag(c, min_period, max_period);
      if (!(c[lag] < trough_threshold)) {
        pitch.push_back(0.0f);
        continue;
      }
    }
    pitch.push_back(sr / static_cast<float>(lag));
  }
  return pitch;
}

}  // namespace sonavera::dsp
