#include "dsp/features.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> chroma_stft(std::span<const float>, float, std::uint64_t, std::uint64_t, std::uint64_t, float) {
  throw NotImplementedYet("chroma_stft");
}

}  // namespace sonavera::dsp
