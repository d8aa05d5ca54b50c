#include "convert/scales.hpp"

#include <cmath>

#include "common/failure.hpp"

namespace sonavera::convert {

namespace {

// The mel scales in double precision. Every formula below is one rounded operation per step, in
// the order written; the single-precision filterbank evaluates the same formulas with its own
// rounded constants, so neither may be "simplified" into the other.
constexpr double kLinearStep = 200.0 / 3.0;  // hertz per mel below the break
constexpr double kBreakHz = 1000.0;
// What the linear branch reaches at the break, evaluated in double (just below 15): anchoring the
// logarithmic branch here makes the two branches meet exactly.
constexpr double kBreakMel = kBreakHz / kLinearStep;
constexpr double kLogStep = 0.06875177742094912;  // ln(6.4) / 27
constexpr double kHtkCorner = 700.0;
constexpr double kHtkFactor = 2595.0;

static_assert(kLinearStep == 66.66666666666667);
static_assert(kBreakMel == 14.999999999999998);

constexpr double kReferenceHz = 440.0;
constexpr double kReferenceNote = 69.0;
constexpr double kSemitonesPerOctave = 12.0;

double hz_to_mel_htk(double f) {
  const double ratio = f / kHtkCorner;
  const double shifted = ratio + 1.0;
  return std::log10(shifted) * kHtkFactor;
}

double hz_to_mel_default(double f) {
  // A NaN fails the comparison and takes the logarithmic branch, where it stays NaN.
  if (f < kBreakHz) return f / kLinearStep;  // a division: the reciprocal would round differently
  const double octaves = std::log(f / kBreakHz);
  const double steps = octaves / kLogStep;
  return steps + kBreakMel;
}

double mel_to_hz_htk(double m) {
  const double exponent = m / kHtkFactor;
  const double ratio = std::pow(10.0, exponent);
  const double shifted = ratio - 1.0;
  return shifted * kHtkCorner;
}

double mel_to_hz_default(double m) {
  if (m < kBreakMel) {
    // Adding +0.0 turns a product of -0.0 into +0.0 and changes no other value.
    const double hz = m * kLinearStep;
    return hz + 0.0;
  }
  const double above = m - kBreakMel;
  const double exponent = above * kLogStep;
  return std::exp(exponent) * kBreakHz;
}

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
  return htk ? map_elements(frequencies, hz_to_mel_htk) : map_elements(frequencies, hz_to_mel_default);
}

std::vector<double> mel_to_hz(std::span<const double> mels, bool htk) {
  return htk ? map_elements(mels, mel_to_hz_htk) : map_elements(mels, mel_to_hz_default);
}

std::vector<double> hz_to_midi(std::span<const double> frequencies) {
  return map_elements(frequencies, hz_to_midi_one);
}

std::vector<double> midi_to_hz(std::span<const double> notes) {
  return map_elements(notes, midi_to_hz_one);
}

}  // namespace sonavera::convert
