#include "display/spectrum_bars.h"

#include "display/spectrum_plane.h"
#include "display/value_colour.h"

namespace bandscope {

void drawSpectrumBars(const SceneInput& in, int channel) {
  const GlTable& gl = in.gl;
  const int32_t off = channelAxisOffset(channel);
  const int16_t* level = in.spectrum.bandLevel[channel];
  const int16_t* fast = in.spectrum.bandFast[channel];
  // One primitive for all bars: the same quads in fewer calls, here and in the driver.
  gl.glBegin(GL_QUADS);
  for (int k = 0; k + 1 < in.settings.bandCount; ++k) {
    const BandSpan s = bandSpan(in.bandX, k, off);
    const int32_t v = level[k];
    setValueColour(in, fast[k]);
    spectrumVertex(gl, s.x0, v);
    spectrumVertex(gl, s.x1, v);
    spectrumVertex(gl, s.x1, 0);
    spectrumVertex(gl, s.x0, 0);
  }
  gl.glEnd();
}

}  // namespace bandscope
