#include "display/frame.h"

#include <cstring>

#include "display/average_curves.h"
#include "display/balance_bar.h"
#include "display/butterfly_spectrum.h"
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
  std::memset(m.snapshot.sampleBuffer, 128, sizeof m.snapshot.sampleBuffer);
}

void frameRoutine(const GlTable& gl, const FrameOptions& o, FrameModel& m,
                  const SampleBuffer& samples, GLuint fontListBase, float spinAngle,
                  char decimalSeparator) {
  samples.snapshot(m.snapshot);
  const bool stereo = o.StereoCheckBox;  // read once: both passes agree
  const int last = stereo ? 1 : 0;
  const BandOptions bands{o.boostHi_check, o.sono_check, stereo};
  // The band count moves without a new model: keep the grey ramp on it.
  if (m.palette.greyBandCount != m.settings.bandCount)
    buildGreyRamp(m.palette, m.settings.bandCount);
  const SceneInput in{gl,      o,         m.settings,   m.spectrum, m.snapshot,
                      m.bandX, m.palette, fontListBase, spinAngle,  decimalSeparator};
  // Channel 0 is analysed and drawn before channel 1 is analysed; the views that combine
  // both channels come in channel 1's pass.
  for (int c = 0; c <= last; ++c) {
    analyseChannel(c, bands, m.settings, m.tables, m.spectrum, m.snapshot);
    if (c == 0 && o.sono_check) {
      drawSonogram(in);
      scrollSonogram(m.spectrum, m.settings.sonoSteps);
    }
    drawChannelScope(in, c, m.scope);
    if (c == last) drawMidScope(in, last, m.scope);
    if (c == 1) {
      drawSideScope(in, m.scope);
      decaySpreadHistogram(in, m.spread);
      drawVectorScope(in, m.spread);
      if (o.stereoSpreadCheckBox) drawSpreadHistogram(in, m.spread);
    }
    drawMeterBars(in, c);
    if (c == 1) drawBalanceBar(in);
    drawPeakCurve(in, c);
    if (c == 1 && o.stereoSpreadCheckBox) drawButterflySpectrum(in);
    if (o.dB_check) {
      if (c == 0) drawLevelLines(in);
      drawFrequencyGrid(in, c);
    }
    drawSpectrumBars(in, c);
    if (o.Hz_check) {
      drawPeakLabels(in, c);
    } else {
      drawPeakMarkers(in, c);
    }
    drawAverageCurves(in, c);
  }
}

}  // namespace bandscope
