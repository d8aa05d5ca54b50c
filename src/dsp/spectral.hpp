// Short-time Fourier transform and its inverse.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sonavera::dsp {

struct StftResult {
  std::vector<float> values;  // n_frames × n_bins × 2: re and im of each bin, frame-major
  std::uint64_t n_frames = 0;
  std::uint64_t n_bins = 0;
};

StftResult stft(std::span<const float> y, std::uint64_t n_fft, std::optional<std::uint64_t> hop_length,
                std::optional<std::uint64_t> win_length, bool center);

std::vector<float> istft(std::span<const float> stft_re, std::span<const float> stft_im,
                         std::uint64_t n_frames, std::uint64_t n_bins, std::uint64_t hop_length,
                         std::uint64_t win_length, bool center);

}  // namespace sonavera::dsp
