#pragma once
// What the frame's scene elements draw from. The frame routine builds one SceneInput per
// channel pass and hands it to each element; elements own no state beyond the structs
// named below, which the frame model holds.
//
// Threads: UI thread only, with the rendering context current.

#include <cstdint>

#include "analysis/band_processing.h"
#include "analysis/band_settings.h"
#include "analysis/palette.h"
#include "analysis/sample_buffer.h"
#include "analysis/scales.h"
#include "platform/gl_table.h"

namespace bandscope {

// The check boxes the frame reads, filled from the controls by the caller each frame.
struct FrameOptions {
  bool StereoCheckBox = true;
  bool sono_check = true;
  bool rot8_check = false;
  bool static_check = true;
  bool col_check = true;
  bool dB_check = true;
  bool Hz_check = false;
  bool stereoSpreadCheckBox = true;
  bool boostHi_check = true;
};

// Per channel, the oscilloscope's smoothed mean sample value and where its trace starts
// (the trigger), both set by the analysis step.
struct ScopeState {
  float scopeMean[kChannels] = {32768.0f, 32768.0f};
  int32_t triggerStart[kChannels] = {};
};

// Per angle slot, the largest recent vector-scope point length (0 .. 255).
struct SpreadState {
  uint8_t spreadHistogram[kMaxBands] = {};
};

struct TextMetrics;
class ViewTransform;
class SonogramStrips;

struct SceneInput {
  const GlTable& gl;
  const FrameOptions& options;
  const BandSettings& settings;
  const SpectrumState& spectrum;
  const SampleRows& samples;  // this frame's snapshot of the sample buffer
  const BandX& bandX;
  const Palette& palette;
  GLuint fontListBase;
  float spinAngle;
  char decimalSeparator = '.';  // the user's locale's, for frequency labels
  // The font's glyph sizes and where camera-space points land in the window, for elements
  // that measure their text or place it in window pixels; null when unknown (text is then
  // placed without measuring, and the level labels and captions are left out).
  const TextMetrics* textMetrics = nullptr;
  const ViewTransform* view = nullptr;
  // The sonogram's built strips, which drawing the sonogram brings up to date.
  SonogramStrips* sonoStrips = nullptr;
};

// -1 for channel 0 (left), +1 for channel 1 (right).
inline int channelSign(int channel) {
  return 2 * channel - 1;
}

}  // namespace bandscope
