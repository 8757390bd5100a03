#include "display/sonogram.h"

#include <algorithm>

#include "analysis/palette.h"

namespace bandscope {

namespace {

struct RowLook {
  float height[kMaxBands];
  Rgb colour[kMaxBands];
};

void lookOf(const SceneInput& in, const int16_t* row, RowLook& look) {
  const bool colours = in.options.col_check;
  const int bandStep = std::max<int>(1, in.settings.sonoBandStep);
  for (int i = 0; i < in.settings.bandCount; i += bandStep) {
    // The history is stored signed but holds magnitudes: read it unsigned.
    const uint16_t v = static_cast<uint16_t>(row[i]);
    look.height[i] = static_cast<float>(v) / 512.0f;
    look.colour[i] = readyValueColour(v, colours, in.palette, in.settings.bandCount);
  }
}

}  // namespace

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

  // Each history row's heights and colours, worked out once: a row is the newer edge of one
  // strip and the older edge of the next.
  float x[kMaxBands];
  for (int i = 0; i < bandCount; i += bandStep)
    x[i] = static_cast<float>(in.bandX.bandX[i]) / 100.0f;
  RowLook look[2];
  lookOf(in, in.spectrum.sonoHistory[0], look[0]);
  for (int t = 1; t < rows; ++t) {
    const float z1 = static_cast<float>(t) / q;
    const float z0 = z1 - 1.0f / q;
    const RowLook& older = look[(t - 1) & 1];
    RowLook& newer = look[t & 1];
    lookOf(in, in.spectrum.sonoHistory[t], newer);
    gl.glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < bandCount; i += bandStep) {
      gl.glColor3f(older.colour[i].red, older.colour[i].green, older.colour[i].blue);
      gl.glVertex3f(x[i], older.height[i], z0);
      gl.glColor3f(newer.colour[i].red, newer.colour[i].green, newer.colour[i].blue);
      gl.glVertex3f(x[i], newer.height[i], z1);
    }
    gl.glEnd();
  }
  gl.glPopMatrix();
}

}  // namespace bandscope
