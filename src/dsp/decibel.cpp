#include <cmath>
#include <limits>

#include "common/failure.hpp"
#include "dsp/level.hpp"

namespace sonavera::dsp {

namespace {

// The larger of a and floor, where a NaN on either side gives way to the other operand.
float max_ignoring_nan(float a, float floor) {
  if (std::isnan(a)) return floor;
  if (std::isnan(floor)) return a;
  return a > floor ? a : floor;
}

// factor x log10(max(|x|, amin)) - factor x log10(|ref_val|), element by element, then values
// more than top_db below the largest are raised to that level. The difference of logarithms is
// taken rather than the logarithm of the quotient, so the reference never divides a value.
std::vector<float> to_decibels(std::span<const float> s, float factor, float ref_val, float amin,
                               std::optional<float> top_db) {
  const float reference = log10f(fabsf(ref_val)) * factor;

  std::vector<float> db = reserve_array<float>(s.size());
  for (const float x : s) {
    const float magnitude = max_ignoring_nan(fabsf(x), amin);
    const float level = log10f(magnitude) * factor;
    db.push_back(level - reference);
  }

  if (top_db && !db.empty()) {
    float peak = -std::numeric_limits<float>::infinity();
    for (const float value : db) {
      if (!std::isnan(value) && value > peak) peak = value;
    }
    // A NaN floor compares false with everything and so leaves every value as it is.
    const float floor = peak - *top_db;
    for (float& value : db) {
      if (value < floor) value = floor;
    }
  }
  return db;
}

// 10^(value / divisor) x ref_val, element by element. The reference keeps its sign here.
std::vector<float> from_decibels(std::span<const float> s_db, float divisor, float ref_val) {
  std::vector<float> linear = reserve_array<float>(s_db.size());
  for (const float value : s_db) {
    // A true division: multiplying by 0.05 or 0.1 would round differently.
    const float exponent = value / divisor;
    const float ratio = powf(10.0f, exponent);
    linear.push_back(ratio * ref_val);
  }
  return linear;
}

}  // namespace

std::vector<float> amplitude_to_db(std::span<const float> s, float ref_val, float amin, std::optional<float> top_db) {
  return to_decibels(s, 20.0f, ref_val, amin, top_db);
}

std::vector<float> power_to_db(std::span<const float> s, float ref_val, float amin, std::optional<float> top_db) {
  return to_decibels(s, 10.0f, ref_val, amin, top_db);
}

std::vector<float> db_to_amplitude(std::span<const float> s_db, float ref_val) {
  return from_decibels(s_db, 20.0f, ref_val);
}

std::vector<float> db_to_power(std::span<const float> s_db, float ref_val) {
  return from_decibels(s_db, 10.0f, ref_val);
}

}  // namespace sonavera::dsp
