// Features of a magnitude spectrogram. Spectrograms come in frame-major (n_frames × n_bins);
// feature matrices go out feature-major (n_features × n_frames). All single precision.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sonavera::dsp {

// n_mels × (n_fft / 2 + 1) triangular filter weights, filter-major.
std::vector<float> mel_filterbank(float sr, std::uint64_t n_fft, std::uint64_t n_mels, float fmin,
                                  std::optional<float> fmax, bool htk);

// n_mels × n_frames band sums of mel_fb (n_mels × n_bins) times stft_mag (n_frames × n_bins).
std::vector<float> melspectrogram(std::span<const float> stft_mag, std::span<const float> mel_fb,
                                  std::uint64_t n_frames, std::uint64_t n_bins, std::uint64_t n_mels);

// min(n_mfcc, n_mels) × n_frames unscaled DCT-II coefficients of log_mel (n_mels × n_frames).
std::vector<float> mfcc(std::span<const float> log_mel, std::uint64_t n_mels, std::uint64_t n_frames,
                        std::uint64_t n_mfcc);

// 12 × n_frames pitch-class profiles, each frame scaled to unit length.
std::vector<float> chroma_stft(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                               std::uint64_t n_frames, std::uint64_t n_bins, float tuning);

// One value per frame.
std::vector<float> spectral_centroid(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                                     std::uint64_t n_frames, std::uint64_t n_bins);
std::vector<float> spectral_bandwidth(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                                      std::uint64_t n_frames, std::uint64_t n_bins, float p);
std::vector<float> spectral_rolloff(std::span<const float> stft_mag, float sr, std::uint64_t n_fft,
                                    std::uint64_t n_frames, std::uint64_t n_bins, float roll_percent);
std::vector<float> spectral_flatness(std::span<const float> stft_mag, std::uint64_t n_frames,
                                     std::uint64_t n_bins);
std::vector<float> onset_strength(std::span<const float> stft_mag, std::uint64_t n_frames,
                                  std::uint64_t n_bins);

}  // namespace sonavera::dsp
