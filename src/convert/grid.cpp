#include "convert/grid.hpp"

#include "common/failure.hpp"

namespace sonavera::convert {

std::vector<std::int64_t> frames_to_samples(std::span<const std::int64_t>, std::int64_t, std::optional<std::int64_t>) {
  throw NotImplementedYet("frames_to_samples");
}

std::vector<double> frames_to_time(std::span<const std::int64_t>, double, std::int64_t, std::optional<std::int64_t>) {
  throw NotImplementedYet("frames_to_time");
}

std::vector<std::int64_t> samples_to_frames(std::span<const std::int64_t>, std::int64_t, std::optional<std::int64_t>) {
  throw NotImplementedYet("samples_to_frames");
}

std::vector<double> samples_to_time(std::span<const std::int64_t>, double) {
  throw NotImplementedYet("samples_to_time");
}

std::vector<std::int64_t> time_to_frames(std::span<const double>, double, std::int64_t, std::optional<std::int64_t>) {
  throw NotImplementedYet("time_to_frames");
}

std::vector<std::int64_t> time_to_samples(std::span<const double>, double) {
  throw NotImplementedYet("time_to_samples");
}

}  // namespace sonavera::convert
