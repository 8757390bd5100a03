#include "display/balance_bar.h"

#include <cstdlib>

#include "display/value_colour.h"

namespace bandscope {

void drawBalanceBar(const SceneInput& in) {
  const GlTable& gl = in.gl;
  const int32_t left = in.spectrum.loudnessMeter[0];
  const int32_t right = in.spectrum.loudnessMeter[1];
  const int32_t b = 4 * (right - left);
  gl.glPushMatrix();
  gl.glTranslatef(0.0f, 4.0f, -5.0f);
  // The colour follows the pair's overall loudness plus its imbalance.
  setValueColour(in, std::abs(b) + left + right + 32);
  const float end = static_cast<float>(b) / 100.0f;
  const float top = 32.0f / 256.0f;
  gl.glBegin(GL_QUADS);
  gl.glVertex3f(end, 0.0f, 0.0f);
  gl.glVertex3f(end, top, 0.0f);
  gl.glVertex3f(0.0f, top, 0.0f);
  gl.glVertex3f(0.0f, 0.0f, 0.0f);
  gl.glEnd();
  gl.glPopMatrix();
}

}  // namespace bandscope
