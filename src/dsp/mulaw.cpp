#include "dsp/level.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> mu_compress(std::span<const float>, float, bool) {
  throw NotImplementedYet("mu_compress");
}

std::vector<float> mu_expand(std::span<const float>, float, bool) {
  throw NotImplementedYet("mu_expand");
}

}  // namespace sonavera::dsp
