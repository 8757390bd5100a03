#pragma once
// The frame routine: for channel 0 and, in stereo, channel 1, that channel's analysis and
// then its share of the scene, in a fixed order. The one place that knows the order.
//
// Threads: UI thread, with the rendering context current and the model-view matrix the
// camera transform; leaves the model-view stack as it found it.

#include <cstdint>

#include "analysis/band_processing.h"
#include "analysis/band_transform.h"
#include "analysis/sample_buffer.h"
#include "display/scene.h"

namespace bandscope {

// Everything the frame analyses and draws from, allocated once (about 4 MiB: keep it on
// the heap) and owned by the window.
struct FrameModel {
  BandSettings settings;
  TransformTables tables;
  SpectrumState spectrum;
  BandX bandX;
  Palette palette;
  ScopeState scope;
  SpreadState spread;
  SampleRows snapshot;  // this frame's copy of the sample buffer
};

// Start-up values: palette, settings for bandCount (8 .. 512), band positions, spectrum
// state, oscilloscope means, empty histogram.
void initFrameModel(FrameModel& m, uint16_t bandCount = 192);

// Takes one snapshot of `samples`, then analyses and draws the frame.
void frameRoutine(const GlTable& gl, const FrameOptions& options, FrameModel& m,
                  const SampleBuffer& samples, GLuint fontListBase, float spinAngle,
                  char decimalSeparator = '.');

}  // namespace bandscope
