#include <cmath>

#include "common/failure.hpp"
#include "dsp/time_domain.hpp"

namespace sonavera::dsp {

std::vector<float> get_rms(std::span<const float> y, std::uint64_t frame_length, std::uint64_t hop_length) {
  const std::uint64_t length = y.size();
  if (length == 0 || frame_length == 0 || hop_length == 0 || length < frame_length) return {};
  const std::uint64_t n_frames = (length - frame_length) / hop_length + 1;

  // The mean multiplies by the rounded reciprocal; dividing by the frame length instead would
  // change the last bit of many results.
  const float inv = 1.0f / static_cast<float>(frame_length);

  std::vector<float> rms = reserve_array<float>(n_frames);
  for (std::uint64_t frame = 0; frame < n_frames; ++frame) {
    // Every frame lies inside the signal: its last sample is at most length - 1.
    const float* x = y.data() + frame * hop_length;
    float sum = 0.0f;
    for (std::uint64_t j = 0; j < frame_length; ++j) {
      const float square = x[j] * x[j];
      sum = sum + square;
    }
    const float mean = sum * inv;
    rms.push_back(sqrtf(mean));
  }
  return rms;
}

namespace {

// +1 or -1 by the sign bit, NaN for NaN. Values within the threshold count as +0.0, so a
// signal resting at (or near) zero does not flicker between signs.
float crossing_sign(float x, float threshold) {
  if (std::isnan(x)) return x;
  if (fabsf(x) <= threshold) x = 0.0f;
  return std::signbit(x) ? -1.0f : 1.0f;
}

}  // namespace

FlagArray zero_crossings(std::span<const float> y, float threshold, bool pad) {
  FlagArray flags = make_array<std::uint8_t>(y.size(), 0);
  if (y.empty()) return flags;

  // The first sample has no predecessor; with padding the start of the signal counts as a
  // crossing, as callers that count onsets of sign runs expect.
  flags[0] = pad ? 1 : 0;

  float previous = crossing_sign(y[0], threshold);
  for (std::size_t i = 1; i < y.size(); ++i) {
    const float current = crossing_sign(y[i], threshold);
    // Compared as floats: a NaN sign differs from every sign, itself included.
    flags[i] = previous != current ? 1 : 0;
    previous = current;
  }
  return flags;
}

}  // namespace sonavera::dsp
