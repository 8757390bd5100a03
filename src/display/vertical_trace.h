#pragma once
// The shared part of the vertical oscilloscope views: n points with time running upwards,
// the level bar from their minimum to maximum just above the frame, and the mean tick
// below it, all in the current colour. UI thread, context current.

#include <cstdint>

#include "platform/gl_table.h"

namespace bandscope {

// valueAt(i) is the i-th shown sample value (0 .. 255); tick is the mean's sample value.
template <typename ValueAt>
void drawVerticalTrace(const GlTable& gl, int bandCount, int32_t n, ValueAt valueAt, int64_t tick) {
  int32_t lo = 9999;
  int32_t hi = -9999;
  gl.glBegin(GL_POINTS);
  for (int32_t i = 0; i < n; ++i) {
    const int32_t v = valueAt(i);
    if (v < lo) lo = v;
    if (v > hi) hi = v;
    gl.glVertex3f(static_cast<float>(v) / 256.0f, static_cast<float>(i) / 256.0f, 0.0f);
  }
  gl.glEnd();

  const float xLo = static_cast<float>(lo) / 256.0f;
  const float xHi = static_cast<float>(hi) / 256.0f;
  const float barBottom = static_cast<float>(bandCount) / 256.0f;
  const float barTop = static_cast<float>(bandCount + 8) / 256.0f;
  gl.glBegin(GL_QUADS);
  gl.glVertex3f(xLo, barBottom, 0.0f);
  gl.glVertex3f(xLo, barTop, 0.0f);
  gl.glVertex3f(xHi, barTop, 0.0f);
  gl.glVertex3f(xHi, barBottom, 0.0f);
  gl.glEnd();

  const float x = static_cast<float>(tick) / 256.0f;
  gl.glBegin(GL_LINES);
  gl.glVertex3f(x, -0.125f, 0.0f);
  gl.glVertex3f(x, 0.0f, 0.0f);
  gl.glEnd();
}

}  // namespace bandscope
