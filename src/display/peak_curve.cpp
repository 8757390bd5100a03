#include "display/peak_curve.h"

#include "display/spectrum_plane.h"

namespace bandscope {

void drawPeakCurve(const SceneInput& in, int channel) {
  in.gl.glColor3f(0.375f, 0.0625f, 0.125f);
  // Unlike the averages, the peaks reach the last band.
  bandPolyline(in, channelAxisOffset(channel), in.spectrum.bandPeak[channel],
               in.settings.bandCount);
}

}  // namespace bandscope
