#pragma once

#include <cstdint>
#include <vector>

namespace sonavera::dsp {

// The first `count` values of the symmetric Hann window of length `length` (count <= length),
// followed by zeros up to `padded` values: the window as a frame of `padded` samples sees it.
// Only the values that a frame uses are computed, but a `length` whose byte count exceeds the
// addressable range fails as if the whole window were allocated.
std::vector<float> hann_window_frame(std::uint64_t length, std::uint64_t padded);

}  // namespace sonavera::dsp
