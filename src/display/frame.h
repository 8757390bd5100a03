#pragma once
// The frame routine: the analysis steps that are due, then the scene for channel 0 and, in
// stereo, channel 1, in a fixed order. The one place that knows the order.
//
// Threads: UI thread, with the rendering context current and the model-view matrix the
// camera transform; leaves the model-view stack as it found it.

#include <cstdint>

#include "analysis/band_processing.h"
#include "analysis/band_transform.h"
#include "analysis/sample_buffer.h"
#include "display/scene.h"
#include "display/sonogram_strips.h"

namespace bandscope {

// Everything the frame analyses and draws from, allocated once (about 17 MiB: keep it on
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
  // A cache of the drawing (about 12 MiB), which drawing a const model may bring up to date.
  mutable SonogramStrips sonoStrips;
};

// Start-up values: palette, settings for bandCount (8 .. 512), band positions, spectrum
// state, oscilloscope means, empty histogram.
void initFrameModel(FrameModel& m, uint16_t bandCount = 192);

// One step of the analysis on the model's snapshot, at a fixed cadence whatever the drawing
// rate: the sonogram history moves up a row (when shown), then each channel's bands,
// averages, peaks, meters and the newest sonogram row, the oscilloscopes' triggers and
// means, and in stereo the spread histogram's decay and feed. The stereo option is read
// once, so both channels agree.
void analysisStep(const FrameOptions& options, FrameModel& m);

// Draws the scene from the model as the last step left it; changes nothing in it but the
// sonogram strips it caches. metrics and view, when given, are the font's and the camera's
// (see SceneInput).
void drawScene(const GlTable& gl, const FrameOptions& options, const FrameModel& m,
               GLuint fontListBase, float spinAngle, char decimalSeparator = '.',
               const TextMetrics* metrics = nullptr, const ViewTransform* view = nullptr);

// A snapshot of `samples`, then `steps` analysis steps (none when no step is due): the
// frame's analysis without its drawing, which a frozen picture leaves out.
void analyseDue(const FrameOptions& options, FrameModel& m, const SampleBuffer& samples, int steps);

// One frame: a snapshot of `samples`, `steps` analysis steps (none when no step is due),
// then the scene.
void frameRoutine(const GlTable& gl, const FrameOptions& options, FrameModel& m,
                  const SampleBuffer& samples, GLuint fontListBase, float spinAngle,
                  char decimalSeparator = '.', int steps = 1, const TextMetrics* metrics = nullptr,
                  const ViewTransform* view = nullptr);

}  // namespace bandscope
