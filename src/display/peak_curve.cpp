#include "display/peak_curve.h"

#include "display/scene_colours.h"
#include "display/spectrum_plane.h"

namespace bandscope {

void drawPeakCurve(const SceneInput& in, int channel) {
  setSceneColour(in.gl, kPeakCurveColour);
  // Unlike the averages, the peaks reach the last band.
  bandPolyline(in, channelAxisOffset(channel), in.spectrum.bandPeak[channel],
               in.settings.bandCount);
}

}  // namespace bandscope
