#include "display/frame.h"

#include <cstring>

#include "analysis/assertion.h"

#include "display/average_curves.h"
#include "display/balance_bar.h"
#include "display/butterfly_spectrum.h"
#include "display/channel_captions.h"
#include "display/channel_scope.h"
#include "display/frequency_grid.h"
#include "display/level_lines.h"
#include "display/meter_bars.h"
#include "display/mid_scope.h"
#include "display/peak_curve.h"
#include "display/peak_labels.h"
#include "display/peak_markers.h"
#include "display/side_scope.h"
#include "display/sonogram.h"
#include "display/spectrum_bars.h"
#include "display/spread_histogram.h"
#include "display/vector_scope.h"

namespace bandscope {

void initFrameModel(FrameModel& m, uint16_t bandCount) {
  buildPalette(m.palette);
  buildGreyRamp(m.palette, bandCount);
  m.settings = BandSettings{};
  m.settings.bandCount = bandCount;
  deriveBandSettings(m.settings);
  initSpectrumState(m.spectrum, m.settings);
  fillBandX(m.bandX, m.settings.bandCount);
  m.scope = ScopeState{};
  m.spread = SpreadState{};
  silenceRows(m.snapshot);
  m.sonoStrips.invalidate();
}

namespace {

// Each channel's bands from the newest window of its 8-bit row; both channels in one pass
// over the weights in stereo.
void transformChannels(bool stereo, const BandOptions& bands, FrameModel& m) {
  BandSettings& s = m.settings;
  const int offset = s.bufferLength - s.windowLength;
  int16_t magnitudes[kChannels][kMaxBands];
  const uint8_t* window[kChannels] = {m.snapshot.sampleBuffer[0] + offset,
                                      m.snapshot.sampleBuffer[1] + offset};
  if (stereo) {
    bandTransformStereo(s, m.tables, magnitudes[0], magnitudes[1], window[0], window[1]);
  } else {
    bandTransform(s, m.tables, magnitudes[0], window[0]);
  }
  for (int c = 0; c <= (stereo ? 1 : 0); ++c)
    applyMagnitudes(c, bands, s, m.spectrum, magnitudes[c]);
}

// The same from the 16-bit rows.
void transformChannels16(bool stereo, const BandOptions& bands, FrameModel& m) {
  BandSettings& s = m.settings;
  const int offset = s.bufferLength - s.windowLength;
  double magnitudes[kChannels][kMaxBands];
  const int16_t* window[kChannels] = {m.snapshot.sampleBuffer16[0] + offset,
                                      m.snapshot.sampleBuffer16[1] + offset};
  if (stereo) {
    bandTransformStereo16(s, m.tables, magnitudes[0], magnitudes[1], window[0], window[1]);
  } else {
    bandTransform16(s, m.tables, magnitudes[0], window[0]);
  }
  for (int c = 0; c <= (stereo ? 1 : 0); ++c)
    applyMagnitudes16(c, bands, s, m.spectrum, magnitudes[c]);
}

}  // namespace

void analysisStep(const FrameOptions& o, FrameModel& m) {
  BandSettings& s = m.settings;
  check(s.windowLength <= s.bufferLength && s.bufferLength <= kMaxSamples,
        "window must fit the sample buffer");
  const bool stereo = o.StereoCheckBox;
  const int last = stereo ? 1 : 0;
  const BandOptions bands{o.boostHi_check, o.sono_check, stereo};
  // The history moves up first, so the newest row is this step's in mono and stereo alike.
  if (o.sono_check) {
    scrollSonogram(m.spectrum, s.sonoSteps);
    m.sonoStrips.noteScroll();
  }
  m.sonoStrips.noteNewestWritten();
  if (s.sampleBits == 16) {
    transformChannels16(stereo, bands, m);
  } else {
    transformChannels(stereo, bands, m);
  }
  for (int c = 0; c <= last; ++c) advanceChannelScope(s, m.snapshot, o.static_check, c, m.scope);
  if (stereo) {
    decaySpreadHistogram(s, m.spread);
    feedSpreadHistogram(s, m.snapshot, m.spread);
  }
}

namespace {

// The views of both channels together, drawn with channel 1's.
void drawStereoScopes(const SceneInput& in, const FrameModel& m) {
  drawSideScope(in, m.scope);
  drawVectorScope(in);
  if (in.options.stereoSpreadCheckBox) drawSpreadHistogram(in, m.spread);
}

// Channel c's spectrum: the level lines and grid behind its bars, then its peaks and averages.
void drawSpectrumLayers(const SceneInput& in, int c) {
  if (in.options.dB_check) {
    if (c == 0) drawLevelLines(in);
    drawFrequencyGrid(in, c);
  }
  drawSpectrumBars(in, c);
  if (in.options.Hz_check) {
    drawPeakLabels(in, c);
  } else {
    drawPeakMarkers(in, c);
  }
  drawAverageCurves(in, c);
}

// Channel c's views, back to front; last is the last channel drawn.
void drawChannelViews(const SceneInput& in, const FrameModel& m, int c, int last) {
  if (c == 0 && in.options.sono_check) drawSonogram(in);
  drawChannelScope(in, c, m.scope);
  if (c == last) drawMidScope(in, last, m.scope);
  if (c == 1) drawStereoScopes(in, m);
  drawMeterBars(in, c);
  if (c == 1) drawBalanceBar(in);
  drawPeakCurve(in, c);
  if (c == 1 && in.options.stereoSpreadCheckBox) drawButterflySpectrum(in);
  drawSpectrumLayers(in, c);
}

}  // namespace

void drawScene(const GlTable& gl, const FrameOptions& o, const FrameModel& m, GLuint fontListBase,
               float spinAngle, char decimalSeparator, const TextMetrics* metrics,
               const ViewTransform* view) {
  const int last = o.StereoCheckBox ? 1 : 0;
  const SceneInput in{gl,      o,         m.settings,   m.spectrum, m.snapshot,
                      m.bandX, m.palette, fontListBase, spinAngle,  decimalSeparator,
                      metrics, view,      &m.sonoStrips};
  // Channel 0's views, then channel 1's with the views that combine both channels.
  for (int c = 0; c <= last; ++c) drawChannelViews(in, m, c, last);
  // Text over everything, so no bar hides it.
  if (o.dB_check) drawLevelLabels(in, last);
  drawChannelCaptions(in, last);
}

void analyseDue(const FrameOptions& o, FrameModel& m, const SampleBuffer& samples, int steps) {
  samples.snapshot(m.snapshot);
  for (int k = 0; k < steps; ++k) analysisStep(o, m);
  // The band count moves without a new model: keep the grey ramp on it.
  if (m.palette.greyBandCount != m.settings.bandCount)
    buildGreyRamp(m.palette, m.settings.bandCount);
}

void frameRoutine(const GlTable& gl, const FrameOptions& o, FrameModel& m,
                  const SampleBuffer& samples, GLuint fontListBase, float spinAngle,
                  char decimalSeparator, int steps, const TextMetrics* metrics,
                  const ViewTransform* view) {
  analyseDue(o, m, samples, steps);
  drawScene(gl, o, m, fontListBase, spinAngle, decimalSeparator, metrics, view);
}

}  // namespace bandscope
