#include <cmath>

#include "common/failure.hpp"
#include "common/saturating_cast.hpp"
#include "dsp/level.hpp"

namespace sonavera::dsp {

std::vector<float> to_mono(std::span<const float> y_flat, std::uint64_t n_channels) {
  if (n_channels == 0) throw InvalidValue("n_channels must be > 0");
  if (y_flat.size() % n_channels != 0) throw InvalidValue("y_flat length must be divisible by n_channels");
  const std::uint64_t n_samples = y_flat.size() / n_channels;

  // Each output sample sums its channels in channel order, starting from -0.0 so that a sum of
  // negative zeros stays -0.0. Adding whole channels one after another keeps that order per
  // sample while reading the input contiguously.
  std::vector<float> mono = make_array<float>(n_samples, -0.0f);
  // Without samples there is nothing to add, however many channels are promised: the channel
  // loop must not run 2^63 empty passes.
  if (n_samples == 0) return mono;
  for (std::uint64_t c = 0; c < n_channels; ++c) {
    const float* channel = y_flat.data() + c * n_samples;
    for (std::uint64_t i = 0; i < n_samples; ++i) mono[i] = mono[i] + channel[i];
  }

  // The mean multiplies by the rounded reciprocal; a division would change the last bit.
  const float inv = 1.0f / static_cast<float>(n_channels);
  for (float& value : mono) value = value * inv;
  return mono;
}

std::vector<float> resample(std::vector<float> y, float orig_sr, float target_sr) {
  if (orig_sr <= 0.0f || target_sr <= 0.0f) throw InvalidValue("sampling rates must be positive");

  const float gap = orig_sr - target_sr;
  if (fabsf(gap) < 1e-6f) return y;

  const std::uint64_t n = y.size();
  const float ratio = target_sr / orig_sr;
  const float scaled_length = static_cast<float>(n) * ratio;
  // A NaN ratio gives no samples; a length beyond any array fails the allocation check.
  const auto m = saturating_cast<std::uint64_t>(ceilf(scaled_length));

  // Samples past the end read as 0.0, so the last stretch of the output fades toward zero.
  auto sample = [&](std::uint64_t k) { return k < n ? y[k] : 0.0f; };

  std::vector<float> out = reserve_array<float>(m);
  for (std::uint64_t i = 0; i < m; ++i) {
    // One division per position: a precomputed reciprocal of the ratio would round differently.
    const float pos = static_cast<float>(i) / ratio;
    const auto k = saturating_cast<std::uint64_t>(pos);
    const float frac = pos - static_cast<float>(k);
    const float a = sample(k);
    // Tested on k first: k + 1 would wrap for the largest k, which lies past the end anyway.
    const float b = k < n ? sample(k + 1) : 0.0f;
    const float rise = b - a;
    const float step = rise * frac;
    out.push_back(step + a);
  }
  return out;
}

}  // namespace sonavera::dsp
