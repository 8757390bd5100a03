#include "display/spectrum_bars.h"

#include "display/spectrum_plane.h"
#include "display/value_colour.h"
#include "display/vertex_array.h"

namespace bandscope {

void drawSpectrumBars(const SceneInput& in, int channel) {
  const int32_t off = channelAxisOffset(channel);
  const int16_t* level = in.spectrum.bandLevel[channel];
  const int16_t* fast = in.spectrum.bandFast[channel];
  VertexBatch<4 * kMaxBands> quads;
  for (int k = 0; k + 1 < in.settings.bandCount; ++k) {
    const BandSpan s = bandSpan(in.bandX, k, off);
    const int32_t v = level[k];
    const Rgb c = valueColourFor(in, fast[k]);
    const float x0 = spectrumX(s.x0);
    const float x1 = spectrumX(s.x1);
    const float y = spectrumY(v);
    const float base = spectrumY(0);
    quads.add(x0, y, 0.0f, c);
    quads.add(x1, y, 0.0f, c);
    quads.add(x1, base, 0.0f, c);
    quads.add(x0, base, 0.0f, c);
  }
  drawBatch(in.gl, GL_QUADS, quads, true);
}

}  // namespace bandscope
