#include "display/average_curves.h"

#include "display/spectrum_plane.h"

namespace bandscope {

void drawAverageCurves(const SceneInput& in, int channel) {
  // Through the centres of every band that has a bar.
  const int32_t off = channelAxisOffset(channel);
  const int bands = in.settings.bandCount - 1;
  in.gl.glColor3f(0.99609375f, 0.5625f, 0.25f);
  bandPolyline(in, off, in.spectrum.bandSlow[channel], bands);
  in.gl.glColor3f(0.625f, 0.9375f, 0.625f);
  bandPolyline(in, off, in.spectrum.bandFast[channel], bands);
}

}  // namespace bandscope
