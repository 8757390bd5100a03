#pragma once
// The level axis: lines across both spectra and, at the left end of each spectrum, their
// value in dBFS (dB below a full-scale sine). With 8-bit samples 17 lines at fixed
// magnitudes, each 0.2 above the bars of its level; with 16-bit samples a line every 10 dB
// from full scale down to the floor, on the bars' own scale.
//
// Threads: levelMarks is pure (any thread); the drawing runs on the UI thread, context current.

#include <array>

#include "display/scene.h"

namespace bandscope {

inline constexpr int kMaxLevelMarks = 17;

struct LevelMark {
  float y = 0;      // the line's height in the scene
  double dbfs = 0;  // what a bar reaching the line stands for, without the phon boost
};

struct LevelMarks {
  std::array<LevelMark, kMaxLevelMarks> mark{};
  int count = 0;
};

// The lines of the axis of s.sampleBits, lowest first.
LevelMarks levelMarks(const BandSettings& s);

void drawLevelLines(const SceneInput& in);

// Each line's value, a whole number of dB, at the left end of channel 0's spectrum and (when
// lastChannel is 1) channel 1's, as window text sitting on the line. Going up a column, a
// label closer than a text height to the last one drawn is left out. Needs in.view: without
// it nothing is drawn.
void drawLevelLabels(const SceneInput& in, int lastChannel);

}  // namespace bandscope
