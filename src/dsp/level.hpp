// Level and sample transforms: decibels, mu-law, channel mixdown, resampling. Single precision.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sonavera::dsp {

std::vector<float> amplitude_to_db(std::span<const float> s, float ref_val, float amin, std::optional<float> top_db);
std::vector<float> power_to_db(std::span<const float> s, float ref_val, float amin, std::optional<float> top_db);
std::vector<float> db_to_amplitude(std::span<const float> s_db, float ref_val);
std::vector<float> db_to_power(std::span<const float> s_db, float ref_val);

std::vector<float> mu_compress(std::span<const float> x, float mu, bool quantize);
std::vector<float> mu_expand(std::span<const float> x, float mu, bool quantize);

std::vector<float> to_mono(std::span<const float> y_flat, std::uint64_t n_channels);

// Takes the signal by value: with equal rates it is handed back as it is.
std::vector<float> resample(std::vector<float> y, float orig_sr, float target_sr);

}  // namespace sonavera::dsp
