#include "display/average_curves.h"

#include "display/scene_colours.h"
#include "display/spectrum_plane.h"

namespace bandscope {

void drawAverageCurves(const SceneInput& in, int channel) {
  // Through the centres of every band that has a bar.
  const int32_t off = channelAxisOffset(channel);
  const int bands = in.settings.bandCount - 1;
  setSceneColour(in.gl, kSlowAverageColour);
  bandPolyline(in, off, in.spectrum.bandSlow[channel], bands);
  setSceneColour(in.gl, kFastAverageColour);
  bandPolyline(in, off, in.spectrum.bandFast[channel], bands);
}

}  // namespace bandscope
