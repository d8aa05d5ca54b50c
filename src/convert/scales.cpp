#include "convert/scales.hpp"

#include <cmath>

#include "common/failure.hpp"
#include "convert/mel_scale.hpp"

namespace sonavera::convert {

namespace {

constexpr double kReferenceHz = 440.0;
constexpr double kReferenceNote = 69.0;
constexpr double kSemitonesPerOctave = 12.0;

double hz_to_midi_one(double f) {
  const double ratio = f / kReferenceHz;
  const double semitones = std::log2(ratio) * kSemitonesPerOctave;
  return semitones + kReferenceNote;
}

double midi_to_hz_one(double n) {
  const double semitones = n - kReferenceNote;
  const double octaves = semitones / kSemitonesPerOctave;
  return std::exp2(octaves) * kReferenceHz;
}

template <class Convert>
std::vector<double> map_elements(std::span<const double> values, Convert convert) {
  std::vector<double> out = reserve_array<double>(values.size());
  for (const double value : values) out.push_back(convert(value));
  return out;
}

}  // namespace

std::vector<double> hz_to_mel(std::span<const double> frequencies, bool htk) {
  return map_elements(frequencies, [htk](double f) { return mel_scale::hz_to_mel(f, htk); });
}

std::vector<double> mel_to_hz(std::span<const double> mels, bool htk) {
  return map_elements(mels, [htk](double m) { return mel_scale::mel_to_hz(m, htk); });
}

std::vector<double> hz_to_midi(std::span<const double> frequencies) {
  return map_elements(frequencies, hz_to_midi_one);
}

std::vector<double> midi_to_hz(std::span<const double> notes) {
  return map_elements(notes, midi_to_hz_one);
}

}  // namespace sonavera::convert
