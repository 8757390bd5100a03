#include "display/meter_bars.h"

#include "display/value_colour.h"

namespace bandscope {

namespace {

// A bar of the given width in level units, rising from the translated origin and growing
// away from the spectrum's centre.
void drawBar(const SceneInput& in, float sgn, float xOffset, int32_t h, int32_t width) {
  const GlTable& gl = in.gl;
  gl.glPushMatrix();
  gl.glTranslatef(xOffset * sgn, 0.45f, -0.25f);
  setValueColour(in, h);
  const float top = static_cast<float>(h) / 256.0f;
  const float outer = sgn * static_cast<float>(width) / 256.0f;
  gl.glBegin(GL_QUADS);
  gl.glVertex3f(0.0f, top, 0.0f);
  gl.glVertex3f(outer, top, 0.0f);
  gl.glVertex3f(outer, 0.0f, 0.0f);
  gl.glVertex3f(0.0f, 0.0f, 0.0f);
  gl.glEnd();
  gl.glPopMatrix();
}

}  // namespace

void drawMeterBars(const SceneInput& in, int channel) {
  const float sgn = static_cast<float>(channelSign(channel));
  drawBar(in, sgn, 2.0f, 2 * in.spectrum.loudnessMeter[channel], 16);
  drawBar(in, sgn, 2.1f, in.spectrum.deviationMeter[channel], 8);
}

}  // namespace bandscope
