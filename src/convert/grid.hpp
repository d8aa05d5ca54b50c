// Positions on the analysis grid: frame indices, sample indices (signed 64-bit) and seconds.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sonavera::convert {

std::vector<std::int64_t> frames_to_samples(std::span<const std::int64_t> frames, std::int64_t hop_length,
                                            std::optional<std::int64_t> n_fft);
std::vector<double> frames_to_time(std::span<const std::int64_t> frames, double sr, std::int64_t hop_length,
                                   std::optional<std::int64_t> n_fft);
std::vector<std::int64_t> samples_to_frames(std::span<const std::int64_t> samples, std::int64_t hop_length,
                                            std::optional<std::int64_t> n_fft);
std::vector<double> samples_to_time(std::span<const std::int64_t> samples, double sr);
std::vector<std::int64_t> time_to_frames(std::span<const double> times, double sr, std::int64_t hop_length,
                                         std::optional<std::int64_t> n_fft);
std::vector<std::int64_t> time_to_samples(std::span<const double> times, double sr);

}  // namespace sonavera::convert
