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
  gl.glBegin(GL_QUADS);
  for (int k = 0; k + 1 < in.settings.bandCount; ++k) {
    const BandSpan s = bandSpan(in.bandX, k, off);
    setValueColour(in, fast[k]);
    if (hold[k] < kMarkerFrames) {
      const int32_t p = peak[k];
      spectrumVertex(gl, s.x0, p);
      spectrumVertex(gl, s.x1, p);
      spectrumVertex(gl, s.x1, p + 2);
      spectrumVertex(gl, s.x0, p + 2);
    }
  }
  gl.glEnd();
}

}  // namespace bandscope
