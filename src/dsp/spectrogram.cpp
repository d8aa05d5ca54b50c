#include "dsp/features.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> melspectrogram(std::span<const float>, std::span<const float>, std::uint64_t, std::uint64_t, std::uint64_t) {
  throw NotImplementedYet("melspectrogram");
}

std::vector<float> mfcc(std::span<const float>, std::uint64_t, std::uint64_t, std::uint64_t) {
  throw NotImplementedYet("mfcc");
}

}  // namespace sonavera::dsp
