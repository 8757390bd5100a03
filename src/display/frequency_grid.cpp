#include "display/frequency_grid.h"

#include <string>

#include "display/gl_font.h"

namespace bandscope {

namespace {

// The grid sits 16 axis units left of the spectrum's own channel offset.
float gridX(const SceneInput& in, uint16_t f, int channel) {
  const int32_t band = hzToBand(f, in.settings);
  const int32_t p = in.bandX.bandX[band] + 512 * channel - 512;  // bandToX of the band
  return static_cast<float>(p) / 200.0f;
}

}  // namespace

void drawFrequencyGrid(const SceneInput& in, int channel) {
  const GlTable& gl = in.gl;
  const uint16_t step = static_cast<uint16_t>(1000 / in.settings.timeScale);
  if (step == 0) return;
  // Beyond the top band every frequency would land on the same line.
  const int32_t top = bandToHz(in.settings.bandCount - 1, in.settings);

  gl.glColor3f(0.2f, 0.2f, 0.25f);
  gl.glBegin(GL_LINES);
  for (uint16_t f = step; f <= top; f = static_cast<uint16_t>(f + step)) {
    const float x = gridX(in, f, channel);
    gl.glVertex3f(x, 0.35f, -0.1f);
    gl.glVertex3f(x, -0.8f, -0.1f);
  }
  gl.glEnd();

  gl.glColor3f(0.3f, 0.3f, 0.35f);
  beginText(gl);
  for (uint16_t f = step; f <= top; f = static_cast<uint16_t>(f + step)) {
    // Odd multiples a row lower, so neighbouring labels do not overlap.
    const auto y = static_cast<float>(0.35 - 0.1 * ((f / step) % 2));
    const std::string label = hzLabel(f, in.decimalSeparator);
    drawText(gl, in.fontListBase, label, gridX(in, f, channel), y);
  }
  endText(gl);
}

}  // namespace bandscope
