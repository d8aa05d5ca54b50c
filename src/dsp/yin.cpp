#include "dsp/time_domain.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> yin(std::span<const float>, float, float, float, std::uint64_t, std::optional<std::uint64_t>, float) {
  throw NotImplementedYet("yin");
}

}  // namespace sonavera::dsp
