#include "common/failure.hpp"
#include "convert/mel_scale.hpp"
#include "dsp/bins.hpp"
#include "dsp/features.hpp"

namespace sonavera::dsp {

namespace {

// Weight of a bin at frequency f in the triangle (lo, centre, hi). The rising edge includes both
// ends, so a bin exactly at the centre weighs exactly 1.0; the falling edge excludes the centre
// and includes its top. A NaN frequency or width fails every test and weighs nothing.
float triangle_weight(float f, float lo, float centre, float hi, float d_lo, float d_hi) {
  if (d_lo > 0.0f && lo <= f && f <= centre) {
    const float rise = f - lo;
    return rise / d_lo;
  }
  if (d_hi > 0.0f && centre < f && f <= hi) {
    const float fall = hi - f;
    return fall / d_hi;
  }
  return 0.0f;
}

}  // namespace

std::vector<float> mel_filterbank(float sr, std::uint64_t n_fft, std::uint64_t n_mels, float fmin,
                                  std::optional<float> fmax, bool htk) {
  const std::uint64_t n_bins = n_fft / 2 + 1;
  const std::uint64_t n_points = checked_size_add(n_mels, 2);
  std::vector<float> weights = make_array<float>(checked_size_mul(n_mels, n_bins), 0.0f);
  // No filters: nothing to weigh, so no table of bin frequencies either (n_fft may be huge).
  if (n_mels == 0) return weights;
  std::vector<float> edges_hz = make_array<float>(n_points, 0.0f);
  const std::vector<float> freq = bin_frequencies(sr, n_fft, n_bins);

  const float top = fmax.has_value() ? *fmax : 0.5f * sr;
  const float mel_min = mel_scale::hz_to_mel(fmin, htk);
  const float mel_max = mel_scale::hz_to_mel(top, htk);
  const float mel_span = mel_max - mel_min;
  // n_mels + 1 cannot wrap: n_mels + 2 was checked above.
  const float n_intervals = static_cast<float>(n_mels + 1);
  // Equally spaced in mels; the last point comes from the same expression and so equals mel_max
  // only up to rounding. Kept in hertz, since every use below is in hertz.
  for (std::uint64_t i = 0; i < n_points; ++i) {
    const float offset = static_cast<float>(i) * mel_span;
    const float step = offset / n_intervals;
    const float mel = step + mel_min;
    edges_hz[i] = mel_scale::mel_to_hz(mel, htk);
  }

  for (std::uint64_t m = 0; m < n_mels; ++m) {
    const float lo = edges_hz[m];
    const float centre = edges_hz[m + 1];
    const float hi = edges_hz[m + 2];
    const float d_lo = centre - lo;
    const float d_hi = hi - centre;
    float* row = weights.data() + m * n_bins;
    for (std::uint64_t k = 0; k < n_bins; ++k) {
      row[k] = triangle_weight(freq[k], lo, centre, hi, d_lo, d_hi);
    }
  }
  return weights;
}

}  // namespace sonavera::dsp
