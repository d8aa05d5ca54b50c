#include <cmath>

#include "common/failure.hpp"
#include "common/saturating_cast.hpp"
#include "dsp/level.hpp"

namespace sonavera::dsp {

namespace {

void check_mu(float mu) {
  // Exactly mu <= 0: a NaN mu passes and turns the results into NaN (or step 0).
  if (mu <= 0.0f) throw InvalidValue("mu must be strictly positive");
}

// NaN counts as negative, -0.0 as non-negative.
bool takes_minus(float x) { return x < 0.0f || std::isnan(x); }

}  // namespace

std::vector<float> mu_compress(std::span<const float> x, float mu, bool quantize) {
  check_mu(mu);
  const float levels = 1.0f + mu;
  const float log_levels = logf(levels);

  std::vector<float> y = reserve_array<float>(x.size());
  for (const float value : x) {
    const float scaled = fabsf(value) * mu;
    const float shifted = scaled + 1.0f;
    float compressed = logf(shifted);
    if (takes_minus(value)) compressed = -compressed;
    y.push_back(compressed / log_levels);
  }
  if (!quantize) return y;

  const auto half = saturating_cast<std::int32_t>(levels * 0.5f);
  for (float& value : y) {
    const float unit = (value + 1.0f) * 0.5f;
    const auto step = saturating_cast<std::int32_t>(unit * levels);
    // In 64 bits: both operands may sit at opposite ends of the 32-bit range.
    const std::int64_t centred = std::int64_t{step} - std::int64_t{half};
    value = static_cast<float>(centred);
  }
  return y;
}

std::vector<float> mu_expand(std::span<const float> x, float mu, bool quantize) {
  check_mu(mu);
  const float levels = 1.0f + mu;
  // +1/mu and -1/mu, the scale of a positive and of a negative input.
  const float up = 1.0f / mu;
  const float down = -1.0f / mu;

  std::vector<float> z = reserve_array<float>(x.size());
  for (float value : x) {
    if (quantize) {
      // Steps back to [-1, 1]: the doubling is x + x, then one division.
      const float doubled = value + value;
      value = doubled / levels;
    }
    const float grown = powf(levels, fabsf(value));
    const float excess = grown - 1.0f;
    z.push_back(excess * (takes_minus(value) ? down : up));
  }
  return z;
}

}  // namespace sonavera::dsp
