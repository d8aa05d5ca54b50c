#include "convert/scales.hpp"

#include "common/failure.hpp"

namespace sonavera::convert {

std::vector<double> hz_to_mel(std::span<const double>, bool) {
  throw NotImplementedYet("hz_to_mel");
}

std::vector<double> mel_to_hz(std::span<const double>, bool) {
  throw NotImplementedYet("mel_to_hz");
}

std::vector<double> hz_to_midi(std::span<const double>) {
  throw NotImplementedYet("hz_to_midi");
}

std::vector<double> midi_to_hz(std::span<const double>) {
  throw NotImplementedYet("midi_to_hz");
}

}  // namespace sonavera::convert
