// Measurements of a mono waveform, single precision.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sonavera::dsp {

// One flag per sample, 0 or 1; the binding turns each into False or True.
using FlagArray = std::vector<std::uint8_t>;

std::vector<float> get_rms(std::span<const float> y, std::uint64_t frame_length, std::uint64_t hop_length);

FlagArray zero_crossings(std::span<const float> y, float threshold, bool pad);

std::vector<float> autocorrelate(std::span<const float> y, std::optional<std::uint64_t> max_size);

std::vector<float> yin(std::span<const float> y, float fmin, float fmax, float sr, std::uint64_t frame_length,
                       std::optional<std::uint64_t> hop_length, float trough_threshold);

}  // namespace sonavera::dsp
