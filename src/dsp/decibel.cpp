#include "dsp/level.hpp"

#include "common/failure.hpp"

namespace sonavera::dsp {

std::vector<float> amplitude_to_db(std::span<const float>, float, float, std::optional<float>) {
  throw NotImplementedYet("amplitude_to_db");
}

std::vector<float> power_to_db(std::span<const float>, float, float, std::optional<float>) {
  throw NotImplementedYet("power_to_db");
}

std::vector<float> db_to_amplitude(std::span<const float>, float) {
  throw NotImplementedYet("db_to_amplitude");
}

std::vector<float> db_to_power(std::span<const float>, float) {
  throw NotImplementedYet("db_to_power");
}

}  // namespace sonavera::dsp
