#include <math.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "common/failure.hpp"
#include "dsp/features.hpp"

namespace sonavera::dsp {

namespace {

// π rounded to single precision.
constexpr float kPi = 3.1415927410125732f;

// Bands whose sums run side by side. Each band keeps its own accumulator and adds its bins in
// ascending order, exactly as a band computed alone would; running several at once only breaks
// the chain of dependent additions that would otherwise bound the loop.
constexpr std::size_t kBandBlock = 8;

// The sums of bands [first, first + Count) for one spectrum frame, stored into column t of the
// feature-major result.
template <std::size_t Count>
void project_bands(const float* frame, const float* fb, std::size_t n_bins, std::size_t first,
                   float* out, std::size_t n_frames, std::size_t t) {
  std::array<float, Count> acc{};
  for (std::size_t b = 0; b < n_bins; ++b) {
    const float magnitude = frame[b];
    for (std::size_t i = 0; i < Count; ++i) {
      const float term = fb[(first + i) * n_bins + b] * magnitude;
      acc[i] = acc[i] + term;
    }
  }
  for (std::size_t i = 0; i < Count; ++i) out[(first + i) * n_frames + t] = acc[i];
}

}  // namespace

std::vector<float> melspectrogram(std::span<const float> stft_mag, std::span<const float> mel_fb,
                                  std::uint64_t n_frames, std::uint64_t n_bins, std::uint64_t n_mels) {
  std::vector<float> out = make_array<float>(checked_size_mul(n_mels, n_frames), 0.0f);
  if (n_frames == 0 || n_mels == 0 || n_bins == 0) return out;
  require_length(mel_fb.size(), saturating_mul(n_mels, n_bins));
  require_length(stft_mag.size(), saturating_mul(n_frames, n_bins));

  // Every product below is now inside both arrays, so the counts fit in size_t.
  const auto frames = static_cast<std::size_t>(n_frames);
  const auto bins = static_cast<std::size_t>(n_bins);
  const auto mels = static_cast<std::size_t>(n_mels);
  // A block of filter rows stays in cache while every frame passes through it.
  const float* fb = mel_fb.data();
  std::size_t j = 0;
  for (; j + kBandBlock <= mels; j += kBandBlock) {
    for (std::size_t t = 0; t < frames; ++t) {
      project_bands<kBandBlock>(stft_mag.data() + t * bins, fb, bins, j, out.data(), frames, t);
    }
  }
  for (; j < mels; ++j) {
    for (std::size_t t = 0; t < frames; ++t) {
      project_bands<1>(stft_mag.data() + t * bins, fb, bins, j, out.data(), frames, t);
    }
  }
  return out;
}

std::vector<float> mfcc(std::span<const float> log_mel, std::uint64_t n_mels, std::uint64_t n_frames,
                        std::uint64_t n_mfcc) {
  const std::uint64_t n_out = std::min(n_mfcc, n_mels);
  std::vector<float> out = make_array<float>(checked_size_mul(n_out, n_frames), 0.0f);
  if (n_frames == 0 || n_out == 0) return out;
  require_length(log_mel.size(), saturating_mul(n_mels, n_frames));

  const auto frames = static_cast<std::size_t>(n_frames);
  const float n_bands = static_cast<float>(n_mels);
  // The cosine of a (coefficient, band) pair is the same for every frame, so the frames run as
  // the innermost loop: each frame's coefficient still adds its bands one at a time in ascending
  // order, starting from the +0.0 the result was filled with, and each cosine is evaluated once
  // for all frames instead of once per frame.
  for (std::uint64_t k = 0; k < n_out; ++k) {
    const float a = static_cast<float>(k) * kPi;
    float* row = out.data() + k * frames;
    for (std::uint64_t n = 0; n < n_mels; ++n) {
      const float half = static_cast<float>(n) + 0.5f;
      const float phase = half * a;
      const float angle = phase / n_bands;
      const float basis = cosf(angle);
      const float* band = log_mel.data() + n * frames;
      for (std::size_t t = 0; t < frames; ++t) {
        const float term = basis * band[t];
        row[t] = row[t] + term;
      }
    }
  }
  return out;
}

}  // namespace sonavera::dsp
