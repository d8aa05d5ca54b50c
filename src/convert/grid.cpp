#include <cmath>
#include <limits>

#include "common/failure.hpp"
#include "common/saturating_cast.hpp"
#include "convert/grid.hpp"

namespace sonavera::convert {

namespace {

// Frame positions refer to frame centres, n_fft / 2 samples after the frame start, when an
// n_fft is given. The quotient truncates toward zero, as C++ division does.
std::int64_t centre_offset(std::optional<std::int64_t> n_fft) { return n_fft ? *n_fft / 2 : 0; }

// a x b + c and a + b with two's-complement wrap-around: indices far outside any signal still
// map to some index instead of failing. Unsigned arithmetic wraps by definition, and the
// conversion back to a signed value is modular.
std::int64_t wrapping_mul_add(std::int64_t a, std::int64_t b, std::int64_t c) {
  const std::uint64_t product = static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b);
  return static_cast<std::int64_t>(product + static_cast<std::uint64_t>(c));
}

std::int64_t wrapping_add(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

// Division truncating toward zero; the two quotients that have no value are internal failures.
std::int64_t checked_div(std::int64_t numerator, std::int64_t divisor) {
  if (divisor == 0) fail_internal("attempt to divide by zero");
  if (divisor == -1 && numerator == std::numeric_limits<std::int64_t>::min()) {
    fail_internal("attempt to divide with overflow");
  }
  return numerator / divisor;
}

}  // namespace

std::vector<std::int64_t> frames_to_samples(std::span<const std::int64_t> frames, std::int64_t hop_length,
                                            std::optional<std::int64_t> n_fft) {
  const std::int64_t offset = centre_offset(n_fft);
  std::vector<std::int64_t> samples = reserve_array<std::int64_t>(frames.size());
  for (const std::int64_t frame : frames) samples.push_back(wrapping_mul_add(frame, hop_length, offset));
  return samples;
}

std::vector<std::int64_t> samples_to_frames(std::span<const std::int64_t> samples, std::int64_t hop_length,
                                            std::optional<std::int64_t> n_fft) {
  // |offset| <= 2^62, so its negation cannot overflow.
  const std::int64_t minus_offset = -centre_offset(n_fft);
  std::vector<std::int64_t> frames = reserve_array<std::int64_t>(samples.size());
  for (const std::int64_t sample : samples) {
    frames.push_back(checked_div(wrapping_add(sample, minus_offset), hop_length));
  }
  return frames;
}

std::vector<double> samples_to_time(std::span<const std::int64_t> samples, double sr) {
  std::vector<double> times = reserve_array<double>(samples.size());
  for (const std::int64_t sample : samples) times.push_back(static_cast<double>(sample) / sr);
  return times;
}

std::vector<std::int64_t> time_to_samples(std::span<const double> times, double sr) {
  std::vector<std::int64_t> samples = reserve_array<std::int64_t>(times.size());
  for (const double time : times) {
    // std::round takes halves away from zero: 2.5 gives 3 and -0.5 gives -1.
    const double position = time * sr;
    samples.push_back(saturating_cast<std::int64_t>(std::round(position)));
  }
  return samples;
}

std::vector<double> frames_to_time(std::span<const std::int64_t> frames, double sr, std::int64_t hop_length,
                                   std::optional<std::int64_t> n_fft) {
  return samples_to_time(frames_to_samples(frames, hop_length, n_fft), sr);
}

std::vector<std::int64_t> time_to_frames(std::span<const double> times, double sr, std::int64_t hop_length,
                                         std::optional<std::int64_t> n_fft) {
  return samples_to_frames(time_to_samples(times, sr), hop_length, n_fft);
}

}  // namespace sonavera::convert
