#include <math.h>

#include <cmath>
#include <cstddef>

#include "common/failure.hpp"
#include "dsp/bins.hpp"
#include "dsp/features.hpp"

namespace sonavera::dsp {

namespace {

// 1e-10 rounded to single. A frame whose magnitude sum (or, for the flatness, mean) lies below
// it has no meaningful weighted frequency and yields 0.0; a NaN is not below it.
constexpr float kFloor = 1e-10f;
// The offset that keeps the flatness logarithms finite for zero magnitudes, in double.
constexpr double kLogOffset = 1e-10;

// Sum of one frame's magnitudes, one bin at a time in ascending order.
float frame_sum(const float* frame, std::size_t n_bins) {
  float sum = 0.0f;
  for (std::size_t k = 0; k < n_bins; ++k) sum = sum + frame[k];
  return sum;
}

// One value per frame: measure(t, frame t) for each frame in order, into a result of n_frames values.
// Every measure reads its frame completely, frame after frame, so one length check up front fails
// exactly when a read would; without frames nothing is measured, and without bins nothing is read.
template <class Measure>
std::vector<float> measure_frames(std::span<const float> stft_mag, std::uint64_t n_frames,
                                  std::uint64_t n_bins, Measure measure) {
  std::vector<float> out = make_array<float>(n_frames, 0.0f);
  if (n_frames == 0) return out;
  require_length(stft_mag.size(), saturating_mul(n_frames, n_bins));
  const auto bins = static_cast<std::size_t>(n_bins);
  for (std::size_t t = 0; t < out.size(); ++t) out[t] = measure(t, stft_mag.data() + t * bins);
  return out;
}

}  // namespace

std::vector<float> bin_frequencies(float sr, std::uint64_t n_fft, std::uint64_t n_bins) {
  std::vector<float> freq = reserve_array<float>(n_bins);
  for (std::uint64_t k = 0; k < n_bins; ++k) freq.push_back(bin_frequency(k, sr, n_fft));
  return freq;
}

std::vector<float> frame_centroids(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                                   std::uint64_t n_frames, std::uint64_t n_bins) {
  const std::vector<float> freq = bin_frequencies(sr, n_fft, n_bins);
  return frame_centroids(stft_mag, freq, n_frames, n_bins);
}

std::vector<float> frame_centroids(std::span<const float> stft_mag, std::span<const float> freq,
                                   std::uint64_t n_frames, std::uint64_t n_bins) {
  const auto bins = static_cast<std::size_t>(n_bins);
  return measure_frames(stft_mag, n_frames, n_bins, [&](std::size_t, const float* frame) {
    // The weighted sum matters only above the floor, but it is the same value either way, so the
    // two sums run in one pass as two independent chains.
    float sum = 0.0f;
    float weighted = 0.0f;
    for (std::size_t k = 0; k < bins; ++k) {
      sum = sum + frame[k];
      const float term = freq[k] * frame[k];
      weighted = weighted + term;
    }
    // Without bins the sum is 0 and the frame is below the floor.
    if (sum < kFloor) return 0.0f;
    return weighted / sum;
  });
}

std::vector<float> spectral_centroid(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                                     std::uint64_t n_frames, std::uint64_t n_bins) {
  return frame_centroids(stft_mag, sr, n_fft, n_frames, n_bins);
}

std::vector<float> spectral_bandwidth(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                                      std::uint64_t n_frames, std::uint64_t n_bins, float p) {
  const std::vector<float> freq = bin_frequencies(sr, n_fft, n_bins);
  // The centres are those of the centroid itself, bit for bit.
  const std::vector<float> centres = frame_centroids(stft_mag, freq, n_frames, n_bins);
  const float inv_p = 1.0f / p;
  const auto bins = static_cast<std::size_t>(n_bins);
  return measure_frames(stft_mag, n_frames, n_bins, [&](std::size_t t, const float* frame) {
    const float sum = frame_sum(frame, bins);
    if (sum < kFloor) return 0.0f;
    float acc = 0.0f;
    for (std::size_t k = 0; k < bins; ++k) {
      const float deviation = freq[k] - centres[t];
      const float term = powf(fabsf(deviation), p) * frame[k];
      acc = acc + term;
    }
    // The one division by the frame sum is the only normalisation of the magnitudes.
    const float spread = acc / sum;
    return powf(spread, inv_p);
  });
}

std::vector<float> spectral_rolloff(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                                    std::uint64_t n_frames, std::uint64_t n_bins, float roll_percent) {
  const std::vector<float> freq = bin_frequencies(sr, n_fft, n_bins);
  const auto bins = static_cast<std::size_t>(n_bins);
  return measure_frames(stft_mag, n_frames, n_bins, [&](std::size_t, const float* frame) {
    const float threshold = frame_sum(frame, bins) * roll_percent;
    // When no running sum reaches the threshold (a NaN never does) the answer is the last bin;
    // without bins there is none, and the read of the table below fails.
    std::uint64_t stop = n_bins - 1;
    float cumulative = 0.0f;
    for (std::size_t k = 0; k < bins; ++k) {
      cumulative = cumulative + frame[k];
      if (cumulative >= threshold) {
        stop = k;
        break;
      }
    }
    return freq[checked_index(stop, freq.size())];
  });
}

std::vector<float> spectral_flatness(std::span<const float> stft_mag, std::uint64_t n_frames,
                                     std::uint64_t n_bins) {
  const auto bins = static_cast<std::size_t>(n_bins);
  const float bins_f = static_cast<float>(n_bins);
  const double bins_d = static_cast<double>(n_bins);
  return measure_frames(stft_mag, n_frames, n_bins, [&](std::size_t, const float* frame) {
    // The geometric mean goes through double-precision logarithms of the widened magnitudes; the
    // arithmetic mean stays in single precision and has no offset.
    double log_sum = 0.0;
    float lin_sum = 0.0f;
    for (std::size_t k = 0; k < bins; ++k) {
      const double widened = static_cast<double>(frame[k]);
      log_sum = log_sum + std::log(widened + kLogOffset);
      lin_sum = lin_sum + frame[k];
    }
    // Without bins both means are 0/0: NaN, which is not below the floor.
    const float mean = lin_sum / bins_f;
    if (mean < kFloor) return 0.0f;
    const double mean_log = log_sum / bins_d;
    const auto geometric = static_cast<float>(std::exp(mean_log));
    return geometric / mean;
  });
}

}  // namespace sonavera::dsp
