#pragma once
// Vertices gathered into client arrays and drawn with one glDrawArrays, instead of one GL
// call per vertex and colour: under a software renderer each call costs far more than the
// vertex itself. GL reads the arrays during glDrawArrays only, so a batch on the caller's
// stack is safe; both client states are off again when drawVertexArrays returns.
//
// Threads: UI thread, context current.

#include "analysis/assertion.h"
#include "analysis/palette.h"
#include "platform/gl_table.h"

namespace bandscope {

// Up to Capacity vertices, with or without a colour each; fixed size, nothing allocated.
template <int Capacity>
struct VertexBatch {
  GLfloat position[Capacity][3];
  GLfloat colour[Capacity][3];
  int count = 0;

  void add(float x, float y, float z) {
    check(count < Capacity, "vertex batch full");
    position[count][0] = x;
    position[count][1] = y;
    position[count][2] = z;
    ++count;
  }
  void add(float x, float y, float z, const Rgb& c) {
    check(count < Capacity, "vertex batch full");
    colour[count][0] = c.red;
    colour[count][1] = c.green;
    colour[count][2] = c.blue;
    add(x, y, z);
  }
};

// count vertices from position (x, y, z each) in the given mode; with colour (r, g, b
// each) when colour is not null, which then leaves the last vertex's colour current, as
// glColor3f per vertex did (GL leaves it undefined after a colour array).
inline void drawVertexArrays(const GlTable& gl, GLenum mode, const GLfloat (*position)[3],
                             const GLfloat (*colour)[3], int count) {
  if (count < 0) return;
  gl.glEnableClientState(GL_VERTEX_ARRAY);
  gl.glVertexPointer(3, GL_FLOAT, 0, position);
  if (colour != nullptr) {
    gl.glEnableClientState(GL_COLOR_ARRAY);
    gl.glColorPointer(3, GL_FLOAT, 0, colour);
  }
  gl.glDrawArrays(mode, 0, count);
  if (colour != nullptr) {
    gl.glDisableClientState(GL_COLOR_ARRAY);
    if (count > 0) gl.glColor3f(colour[count - 1][0], colour[count - 1][1], colour[count - 1][2]);
  }
  gl.glDisableClientState(GL_VERTEX_ARRAY);
}

template <int Capacity>
void drawBatch(const GlTable& gl, GLenum mode, const VertexBatch<Capacity>& b, bool coloured) {
  drawVertexArrays(gl, mode, b.position, coloured ? b.colour : nullptr, b.count);
}

}  // namespace bandscope
