#include "display/sonogram.h"

#include <algorithm>

#include "display/value_colour.h"

namespace bandscope {

void drawSonogram(const SceneInput& in) {
  const GlTable& gl = in.gl;
  const int bandCount = in.settings.bandCount;
  const int rows = in.settings.sonoSteps;
  const int bandStep = std::max<int>(1, in.settings.sonoBandStep);
  // Fewer than four rows would give a depth unit of 0 and infinite depths.
  const int depthUnit = std::max(1, rows / 4);
  const float q = static_cast<float>(depthUnit);

  gl.glPushMatrix();
  gl.glTranslatef(-2.55f, 1.9f, -7.0f);
  if (in.options.rot8_check) {
    gl.glRotatef(in.spinAngle, 0.0f, 0.0f, 1.0f);
  } else {
    gl.glRotatef(-15.0f, 1.0f, 0.0f, 0.0f);
  }
  gl.glRotatef(45.0f, 1.0f, 0.0f, 0.0f);

  for (int t = 1; t < rows; ++t) {
    const float z1 = static_cast<float>(t) / q;
    const float z0 = z1 - 1.0f / q;
    const int16_t* older = in.spectrum.sonoHistory[t - 1];
    const int16_t* newer = in.spectrum.sonoHistory[t];
    gl.glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < bandCount; i += bandStep) {
      const float x = static_cast<float>(in.bandX.bandX[i]) / 100.0f;
      // The history is stored signed but holds magnitudes: read it unsigned.
      const uint16_t a = static_cast<uint16_t>(older[i]);
      setValueColour(in, a);
      gl.glVertex3f(x, static_cast<float>(a) / 512.0f, z0);
      const uint16_t b = static_cast<uint16_t>(newer[i]);
      setValueColour(in, b);
      gl.glVertex3f(x, static_cast<float>(b) / 512.0f, z1);
    }
    gl.glEnd();
  }
  gl.glPopMatrix();
}

}  // namespace bandscope
