#include "display/peak_curve.h"

#include "display/spectrum_plane.h"

namespace bandscope {

void drawPeakCurve(const SceneInput& in, int channel) {
  const GlTable& gl = in.gl;
  const int32_t off = channelAxisOffset(channel);
  const int16_t* peak = in.spectrum.bandPeak[channel];
  gl.glColor3f(0.375f, 0.0625f, 0.125f);
  gl.glBegin(GL_LINES);
  // Starts at level 0 on the channel's left edge and, unlike the averages, reaches the last
  // band.
  int32_t px = in.bandX.bandX[0] + off;
  int32_t pv = 0;
  for (int k = 0; k < in.settings.bandCount; ++k) {
    const int32_t qx = bandCentre(in.bandX, k, off);
    const int32_t qv = peak[k];
    spectrumVertex(gl, px, pv);
    spectrumVertex(gl, qx, qv);
    px = qx;
    pv = qv;
  }
  gl.glEnd();
}

}  // namespace bandscope
