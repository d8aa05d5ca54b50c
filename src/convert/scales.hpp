// Hertz, mels and MIDI note numbers, double precision, element by element.
#pragma once

#include <span>
#include <vector>

namespace sonavera::convert {

std::vector<double> hz_to_mel(std::span<const double> frequencies, bool htk);
std::vector<double> mel_to_hz(std::span<const double> mels, bool htk);
std::vector<double> hz_to_midi(std::span<const double> frequencies);
std::vector<double> midi_to_hz(std::span<const double> notes);

}  // namespace sonavera::convert
