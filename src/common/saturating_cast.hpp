// Conversions from floating point to integers that are defined for every input value.
// A bare cast of NaN or of a value outside the target range is undefined behaviour; these
// give 0 for NaN and the nearest end of the range for anything beyond it.
#pragma once

#include <cmath>
#include <concepts>
#include <limits>

namespace sonavera {

// Truncates `value` toward zero into `Int`, saturating at both ends of its range.
template <std::integral Int, std::floating_point Real>
Int saturating_cast(Real value) noexcept {
  using limits = std::numeric_limits<Int>;
  // Both bounds are powers of two (or zero) and therefore exact in any floating-point type:
  // the lowest value is -2^digits or 0, the first value beyond the range is 2^digits.
  constexpr Real lowest = static_cast<Real>(limits::min());
  constexpr Real beyond = static_cast<Real>(limits::max() / 2 + 1) * Real(2);
  if (std::isnan(value)) return 0;
  if (value >= beyond) return limits::max();
  if (value <= lowest) return limits::min();
  // Strictly inside (lowest, beyond): the truncated value fits.
  return static_cast<Int>(value);
}

}  // namespace sonavera
