#include "dsp/features.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> onset_strength(std::span<const float>, std::uint64_t, std::uint64_t) {
  throw NotImplementedYet("onset_strength");
}

}  // namespace sonavera::dsp
