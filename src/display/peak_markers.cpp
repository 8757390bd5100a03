#include "display/peak_markers.h"

#include "display/spectrum_plane.h"
#include "display/value_colour.h"

namespace bandscope {

namespace {
// Frames a peak stays marked after it was last set.
constexpr int16_t kMarkerFrames = 80;
}  // namespace

void drawPeakMarkers(const SceneInput& in, int channel) {
  const GlTable& gl = in.gl;
  const int32_t off = channelAxisOffset(channel);
  const int16_t* peak = in.spectrum.bandPeak[channel];
  const int16_t* hold = in.spectrum.peakHold[channel];
  const int16_t* fast = in.spectrum.bandFast[channel];
  VertexBatch<4 * kMaxBands> quads;
  for (int k = 0; k + 1 < in.settings.bandCount; ++k) {
    if (hold[k] >= kMarkerFrames) continue;
    const BandSpan s = bandSpan(in.bandX, k, off);
    const Rgb c = valueColourFor(in, fast[k]);
    const int32_t p = peak[k];
    quads.add(spectrumX(s.x0), spectrumY(p), 0.0f, c);
    quads.add(spectrumX(s.x1), spectrumY(p), 0.0f, c);
    quads.add(spectrumX(s.x1), spectrumY(p + 2), 0.0f, c);
    quads.add(spectrumX(s.x0), spectrumY(p + 2), 0.0f, c);
  }
  drawBatch(gl, GL_QUADS, quads, true);
  // The last bar's colour stays current, marked or not, as one colour per band left it.
  if (in.settings.bandCount >= 2) setValueColour(in, fast[in.settings.bandCount - 2]);
}

}  // namespace bandscope
