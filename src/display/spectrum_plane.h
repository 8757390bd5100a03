#pragma once
// The spectrum plane of a channel: axis position p and level v stand for the vertex
// ((p + channelAxisOffset) / 200, v / 256 - 1, 0). Shared by the spectrum's elements.

#include "display/scene.h"

namespace bandscope {

// -496 for channel 0, +16 for channel 1.
inline int32_t channelAxisOffset(int channel) {
  return 256 * channelSign(channel) - 240;
}

// A vertex of the plane; p already includes the channel's offset.
inline void spectrumVertex(const GlTable& gl, int32_t p, int32_t v) {
  gl.glVertex3f(static_cast<float>(p) / 200.0f, static_cast<float>(v) / 256.0f - 1.0f, 0.0f);
}

// Band k's span on the axis, offset included: a gap of one unit to the next band, but never
// an empty span.
struct BandSpan {
  int32_t x0;
  int32_t x1;
};
inline BandSpan bandSpan(const BandX& x, int k, int32_t offset) {
  const int32_t x0 = x.bandX[k] + offset;
  int32_t x1 = x.bandX[k + 1] - 1 + offset;
  if (x1 == x0) x1 = x0 + 1;
  return {x0, x1};
}

// The axis position of band k's centre, offset included.
inline int32_t bandCentre(const BandX& x, int k, int32_t offset) {
  return (x.bandX[k] + x.bandX[k + 1]) / 2 + offset;
}

// GL_LINES from level 0 at the channel's left edge through the centres of bands
// 0 .. bands - 1 at the given values.
inline void bandPolyline(const SceneInput& in, int32_t offset, const int16_t* values, int bands) {
  const GlTable& gl = in.gl;
  gl.glBegin(GL_LINES);
  int32_t px = in.bandX.bandX[0] + offset;
  int32_t pv = 0;
  for (int k = 0; k < bands; ++k) {
    const int32_t qx = bandCentre(in.bandX, k, offset);
    spectrumVertex(gl, px, pv);
    spectrumVertex(gl, qx, values[k]);
    px = qx;
    pv = values[k];
  }
  gl.glEnd();
}

}  // namespace bandscope
