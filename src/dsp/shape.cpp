#include "dsp/features.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> spectral_centroid(std::span<const float>, float, std::uint64_t, std::uint64_t, std::uint64_t) {
  throw NotImplementedYet("spectral_centroid");
}

std::vector<float> spectral_bandwidth(std::span<const float>, float, std::uint64_t, std::uint64_t, std::uint64_t, float) {
  throw NotImplementedYet("spectral_bandwidth");
}

std::vector<float> spectral_rolloff(std::span<const float>, float, std::uint64_t, std::uint64_t, std::uint64_t, float) {
  throw NotImplementedYet("spectral_rolloff");
}

std::vector<float> spectral_flatness(std::span<const float>, std::uint64_t, std::uint64_t) {
  throw NotImplementedYet("spectral_flatness");
}

}  // namespace sonavera::dsp
