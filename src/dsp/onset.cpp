#include <cstddef>

#include "common/failure.hpp"
#include "dsp/features.hpp"

namespace sonavera::dsp {

std::vector<float> onset_strength(std::span<const float> stft_mag, std::uint64_t n_frames,
                                  std::uint64_t n_bins) {
  // The first frame has no predecessor and stays 0.0.
  std::vector<float> out = make_array<float>(n_frames, 0.0f);
  if (n_frames < 2) return out;
  if (n_bins > 0) require_length(stft_mag.size(), saturating_mul(n_frames, n_bins));
  const auto bins = static_cast<std::size_t>(n_bins);
  for (std::size_t t = 1; t < out.size(); ++t) {
    const float* previous = stft_mag.data() + (t - 1) * bins;
    const float* current = previous + bins;
    // Starting from -0.0 leaves a frame without bins at -0.0; any added term makes it +0.0 or more.
    float flux = -0.0f;
    for (std::size_t k = 0; k < bins; ++k) {
      const float rise = current[k] - previous[k];
      // Only increases count; a fall, no change or a NaN (from ∞ − ∞ or a NaN magnitude) adds +0.0.
      const float term = rise > 0.0f ? rise : 0.0f;
      flux = flux + term;
    }
    out[t] = flux;
  }
  return out;
}

}  // namespace sonavera::dsp
