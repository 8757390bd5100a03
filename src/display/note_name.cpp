#include "display/note_name.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace bandscope {

namespace {

constexpr std::array<const char*, 12> kNames{"C",  "C#", "D",  "D#", "E",  "F",
                                             "F#", "G",  "G#", "A",  "A#", "B"};
constexpr long kA4AboveC0 = 57;  // semitones
constexpr double kMostSemitones = 120;

}  // namespace

std::string noteName(double hz) {
  if (!(hz > 0)) return {};
  const double semitones = 12 * std::log2(hz / 440.0);
  if (!(std::abs(semitones) <= kMostSemitones)) return {};
  const long nearest = std::lround(semitones);
  const long cents = std::lround(100 * (semitones - nearest));
  const long aboveC0 = nearest + kA4AboveC0;
  // Floor division, so notes below C0 get negative octaves.
  const long octave = aboveC0 >= 0 ? aboveC0 / 12 : -((11 - aboveC0) / 12);
  const long step = aboveC0 - 12 * octave;
  char text[32];
  std::snprintf(text, sizeof text, "%s%ld %+ld ct", kNames[static_cast<size_t>(step)], octave,
                cents);
  return text;
}

}  // namespace bandscope
