#include "dsp/features.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> mel_filterbank(float, std::uint64_t, std::uint64_t, float, std::optional<float>, bool) {
  throw NotImplementedYet("mel_filterbank");
}

}  // namespace sonavera::dsp
