#include "display/average_curves.h"

#include "display/spectrum_plane.h"

namespace bandscope {

namespace {

// From level 0 at the channel's left edge through the centres of every band that has a
// bar.
void drawCurve(const SceneInput& in, int32_t off, const int16_t* values) {
  const GlTable& gl = in.gl;
  gl.glBegin(GL_LINES);
  int32_t px = in.bandX.bandX[0] + off;
  int32_t pv = 0;
  for (int k = 0; k + 1 < in.settings.bandCount; ++k) {
    const int32_t qx = bandCentre(in.bandX, k, off);
    const int32_t qv = values[k];
    spectrumVertex(gl, px, pv);
    spectrumVertex(gl, qx, qv);
    px = qx;
    pv = qv;
  }
  gl.glEnd();
}

}  // namespace

void drawAverageCurves(const SceneInput& in, int channel) {
  const int32_t off = channelAxisOffset(channel);
  in.gl.glColor3f(0.99609375f, 0.5625f, 0.25f);
  drawCurve(in, off, in.spectrum.bandSlow[channel]);
  in.gl.glColor3f(0.625f, 0.9375f, 0.625f);
  drawCurve(in, off, in.spectrum.bandFast[channel]);
}

}  // namespace bandscope
