#include "display/spread_histogram.h"

#include "display/value_colour.h"

namespace bandscope {

void drawSpreadHistogram(const SceneInput& in, const SpreadState& spread) {
  const GlTable& gl = in.gl;
  const int bands = in.settings.bandCount;
  gl.glPushMatrix();
  gl.glTranslatef(-static_cast<float>(bands) / 128.0f, 4.0f, -5.0f);
  gl.glBegin(GL_QUADS);
  // Each bar spans from the previous slot's edge, so slot 0 has no width.
  float prev = 0.0f;
  for (int k = 0; k < bands; ++k) {
    const int h = spread.spreadHistogram[k];
    setValueColour(in, 2 * h);
    const float x = static_cast<float>(2 * k) / 128.0f;
    const float y = -static_cast<float>(h) / 256.0f;
    gl.glVertex3f(x, y, 0.0f);
    gl.glVertex3f(prev, y, 0.0f);
    gl.glVertex3f(prev, 0.0f, 0.0f);
    gl.glVertex3f(x, 0.0f, 0.0f);
    prev = x;
  }
  gl.glEnd();
  gl.glPopMatrix();
}

}  // namespace bandscope
