// Internal routines shared by the spectrogram features: where the bins of a spectrum lie in
// hertz, and the magnitude-weighted mean frequency of each frame.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sonavera::dsp {

// Centre frequency of bin k of an n_fft-point spectrum: the product first, then the division,
// both in single precision. With n_fft = 0 every frequency is non-finite (bin 0 is 0/0).
inline float bin_frequency(std::uint64_t k, float sr, std::uint64_t n_fft) {
  const float scaled = static_cast<float>(k) * sr;
  return scaled / static_cast<float>(n_fft);
}

// The n_bins bin frequencies, bin_frequency(k) for k = 0 … n_bins − 1.
std::vector<float> bin_frequencies(float sr, std::uint64_t n_fft, std::uint64_t n_bins);

// One magnitude-weighted mean frequency per frame of a frame-major spectrogram; 0.0 for a frame
// whose magnitudes sum to less than the floor 1e-10. The second form takes a table already built.
std::vector<float> frame_centroids(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                                   std::uint64_t n_frames, std::uint64_t n_bins);
std::vector<float> frame_centroids(std::span<const float> stft_mag, std::span<const float> freq,
                                   std::uint64_t n_frames, std::uint64_t n_bins);

}  // namespace sonavera::dsp
