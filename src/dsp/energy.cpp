#include "dsp/time_domain.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> get_rms(std::span<const float>, std::uint64_t, std::uint64_t) {
  throw NotImplementedYet("get_rms");
}

FlagArray zero_crossings(std::span<const float>, float, bool) {
  throw NotImplementedYet("zero_crossings");
}

}  // namespace sonavera::dsp
