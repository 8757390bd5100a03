#include "display/sonogram.h"

#include <algorithm>

#include "display/sonogram_strips.h"

namespace bandscope {

void drawSonogram(const SceneInput& in) {
  if (in.sonoStrips == nullptr) return;
  SonogramStrips& strips = *in.sonoStrips;
  strips.update({in.spectrum, in.settings, in.bandX, in.palette, in.options.col_check});

  const GlTable& gl = in.gl;
  const int rows = std::min<int>(in.settings.sonoSteps, kMaxSonoRows);
  // Fewer than four rows would give a depth unit of 0 and infinite depths.
  const float q = static_cast<float>(std::max(1, rows / 4));

  gl.glPushMatrix();
  gl.glTranslatef(-2.55f, 1.9f, -7.0f);
  if (in.options.rot8_check) {
    gl.glRotatef(in.spinAngle, 0.0f, 0.0f, 1.0f);
  } else {
    gl.glRotatef(-15.0f, 1.0f, 0.0f, 0.0f);
  }
  gl.glRotatef(45.0f, 1.0f, 0.0f, 0.0f);

  // Each strip was built with its older edge at depth 0; here it goes to its row's depth.
  const int n = strips.vertexCount();
  if (rows > 1 && n > 0) {
    gl.glEnableClientState(GL_VERTEX_ARRAY);
    gl.glEnableClientState(GL_COLOR_ARRAY);
    for (int t = 1; t < rows; ++t) {
      gl.glPushMatrix();
      gl.glTranslatef(0.0f, 0.0f, static_cast<float>(t - 1) / q);
      gl.glVertexPointer(3, GL_FLOAT, 0, strips.positions(t));
      gl.glColorPointer(3, GL_FLOAT, 0, strips.colours(t));
      gl.glDrawArrays(GL_QUAD_STRIP, 0, n);
      gl.glPopMatrix();
    }
    gl.glDisableClientState(GL_COLOR_ARRAY);
    gl.glDisableClientState(GL_VERTEX_ARRAY);
    // GL leaves the current colour undefined after a colour array; give it the last one.
    const GLfloat* last = strips.colours(rows - 1)[n - 1];
    gl.glColor3f(last[0], last[1], last[2]);
  }
  gl.glPopMatrix();
}

}  // namespace bandscope
