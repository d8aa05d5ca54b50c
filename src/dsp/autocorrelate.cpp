#include "dsp/time_domain.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> autocorrelate(std::span<const float>, std::optional<std::uint64_t>) {
  throw NotImplementedYet("autocorrelate");
}

}  // namespace sonavera::dsp
