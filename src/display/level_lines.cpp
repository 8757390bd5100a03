#include "display/level_lines.h"

#include "analysis/level_scale.h"

namespace bandscope {

void drawLevelLines(const SceneInput& in) {
  const GlTable& gl = in.gl;
  gl.glColor3f(0.2f, 0.2f, 0.25f);
  gl.glBegin(GL_LINES);
  for (int j = 0; j <= 16; ++j) {
    const int32_t v = levelScale(16 * j);
    if (v < 0) break;
    // 0.2 above the bars' level line, so a line clears a bar of the same level.
    const auto y = static_cast<float>(v / 256.0 - 0.8);
    gl.glVertex3f(-2.6f, y, -0.1f);
    gl.glVertex3f(2.6f, y, -0.1f);
  }
  gl.glEnd();
}

}  // namespace bandscope
