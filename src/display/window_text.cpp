#include "display/window_text.h"

#include <cmath>

#include "display/gl_font.h"
#include "display/view_transform.h"

namespace bandscope {

namespace {

// Under identity matrices a raster position is in normalised device coordinates.
void drawAt(const GlTable& gl, GLuint listBase, int width, int height, int x, int y,
            std::string_view text) {
  const auto ndcX = static_cast<GLfloat>(2.0 * x / width - 1.0);
  const auto ndcY = static_cast<GLfloat>(1.0 - 2.0 * y / height);
  drawText(gl, listBase, text, ndcX, ndcY);
}

// Viewport at the picture, identity matrices saved, text attributes, no depth test.
void begin(const GlTable& gl, int width, int height) {
  gl.glViewport(0, 0, width, height);
  gl.glMatrixMode(GL_PROJECTION);
  gl.glPushMatrix();
  gl.glLoadIdentity();
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glPushMatrix();
  gl.glLoadIdentity();
  beginText(gl);
  gl.glDisable(GL_DEPTH_TEST);  // over the scene, whatever its depth
}

void end(const GlTable& gl) {
  endText(gl);
  gl.glPopMatrix();
  gl.glMatrixMode(GL_PROJECTION);
  gl.glPopMatrix();
  gl.glMatrixMode(GL_MODELVIEW);
}

}  // namespace

std::optional<TextPixel> textPixelOf(const ViewTransform& view, double x, double y, double z) {
  const WindowPoint p = view.project(x, y, z);
  if (!view.inViewport(p)) return std::nullopt;
  // GL counts rows from the bottom.
  return TextPixel{static_cast<int>(std::lround(p.x)),
                   static_cast<int>(std::lround(view.viewportRect()[3] - p.y))};
}

void drawWindowBand(const GlTable& gl, int width, int height, int top, int bottom) {
  begin(gl, width, height);
  const auto ndcY = [height](int y) { return static_cast<GLfloat>(1.0 - 2.0 * y / height); };
  gl.glColor3f(0, 0, 0);
  gl.glBegin(GL_QUADS);
  gl.glVertex3f(-1, ndcY(top), 0);
  gl.glVertex3f(1, ndcY(top), 0);
  gl.glVertex3f(1, ndcY(bottom), 0);
  gl.glVertex3f(-1, ndcY(bottom), 0);
  gl.glEnd();
  end(gl);
}

void drawWindowText(const GlTable& gl, GLuint listBase, int width, int height,
                    std::span<const WindowTextLine> lines) {
  if (lines.empty() || listBase == 0) return;
  begin(gl, width, height);
  for (const WindowTextLine& line : lines) {
    if (line.x < 0 || line.x >= width || line.y <= 0 || line.y > height) continue;
    gl.glColor3f(0, 0, 0);
    drawAt(gl, listBase, width, height, line.x + 1, line.y + 1, line.text);
    gl.glColor3f(line.colour[0], line.colour[1], line.colour[2]);
    drawAt(gl, listBase, width, height, line.x, line.y, line.text);
  }
  end(gl);
}

}  // namespace bandscope
