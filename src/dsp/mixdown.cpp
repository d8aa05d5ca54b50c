#include "dsp/level.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> to_mono(std::span<const float>, std::uint64_t) {
  throw NotImplementedYet("to_mono");
}

std::vector<float> resample(std::vector<float>, float, float) {
  throw NotImplementedYet("resample");
}

}  // namespace sonavera::dsp
