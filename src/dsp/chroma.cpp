#include <math.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "common/failure.hpp"
#include "dsp/bins.hpp"
#include "dsp/features.hpp"

namespace sonavera::dsp {

namespace {

constexpr std::uint64_t kClasses = 12;
constexpr float kReferenceHz = 440.0f;
constexpr float kReferenceNote = 69.0f;
constexpr float kSemitonesPerOctave = 12.0f;
// 1e-8 rounded to single: a frame whose length does not exceed it is left unscaled.
constexpr float kNormFloor = 1e-8f;

// x rounded to the nearest integer, halves away from zero, as a signed 64-bit value: NaN gives 0
// and values beyond the range give its nearest end (a bare conversion would be undefined there).
std::int64_t round_saturating(float x) {
  constexpr float kTwoTo63 = 9223372036854775808.0f;
  if (std::isnan(x)) return 0;
  if (x >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (x <= -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(roundf(x));
}

// Pitch class 0 … 11 of the equal-tempered note nearest to bin k (class 0 is C, class 9 the
// reference A): the Euclidean remainder, so that notes below 0 fold onto the same classes.
std::uint64_t pitch_class(std::uint64_t k, float sr, std::uint64_t n_fft, float reference_hz) {
  const float f = bin_frequency(k, sr, n_fft);
  const float ratio = f / reference_hz;
  const float semitones = log2f(ratio) * kSemitonesPerOctave;
  const float x = semitones + kReferenceNote;
  const std::int64_t note = round_saturating(x);
  std::int64_t c = note % static_cast<std::int64_t>(kClasses);
  if (c < 0) c += static_cast<std::int64_t>(kClasses);
  return static_cast<std::uint64_t>(c);
}

}  // namespace

std::vector<float> chroma_stft(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                               std::uint64_t n_frames, std::uint64_t n_bins, float tuning) {
  const float shift = tuning / kSemitonesPerOctave;
  const float reference_hz = exp2f(shift) * kReferenceHz;

  std::vector<float> out = make_array<float>(checked_size_mul(kClasses, n_frames), 0.0f);
  if (n_frames == 0) return out;
  const auto frames = static_cast<std::size_t>(n_frames);

  // Bin 0 (DC) belongs to no pitch, so with fewer than two bins nothing is read.
  if (n_bins >= 2) {
    require_length(stft_mag.size(), saturating_mul(n_frames, n_bins));
    const auto bins = static_cast<std::size_t>(n_bins);
    // The logarithm is taken once per bin; then each frame is read once, front to back, into
    // twelve running sums that collect their bins in ascending order.
    std::vector<std::uint8_t> classes = make_array<std::uint8_t>(n_bins, 0);
    for (std::size_t k = 1; k < bins; ++k) {
      classes[k] = static_cast<std::uint8_t>(pitch_class(k, sr, n_fft, reference_hz));
    }
    for (std::size_t t = 0; t < frames; ++t) {
      const float* frame = stft_mag.data() + t * bins;
      std::array<float, kClasses> sums{};
      for (std::size_t k = 1; k < bins; ++k) sums[classes[k]] = frame[k] + sums[classes[k]];
      for (std::size_t c = 0; c < kClasses; ++c) out[c * frames + t] = sums[c];
    }
  }

  for (std::size_t t = 0; t < frames; ++t) {
    float squares = 0.0f;
    for (std::size_t c = 0; c < kClasses; ++c) {
      const float v = out[c * frames + t];
      const float square = v * v;
      squares = squares + square;
    }
    const float norm = sqrtf(squares);
    // A NaN norm fails the test and leaves the frame as it is.
    if (norm > kNormFloor) {
      for (std::size_t c = 0; c < kClasses; ++c) out[c * frames + t] = out[c * frames + t] / norm;
    }
  }
  return out;
}

}  // namespace sonavera::dsp
