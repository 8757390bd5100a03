#include "display/window_text.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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

// Text as quads over its glyphs' ink: a software renderer draws these far faster than
// bitmaps, which it turns into textures.
class InkQuads {
 public:
  InkQuads(const GlTable& gl, const TextMetrics& metrics, int width, int height)
      : gl_(gl), metrics_(metrics), width_(width), height_(height) {
    gl_.glEnableClientState(GL_VERTEX_ARRAY);
    gl_.glVertexPointer(2, GL_FLOAT, 0, vertices_);
  }
  ~InkQuads() { gl_.glDisableClientState(GL_VERTEX_ARRAY); }
  InkQuads(const InkQuads&) = delete;
  InkQuads& operator=(const InkQuads&) = delete;

  // The text from the pen at (x, y), pixels from the picture's top left.
  void add(int x, int y, std::string_view text) {
    const int baseline = height_ - y;  // GL counts rows from the bottom
    for (const char c : text) {
      const auto code = static_cast<unsigned char>(c);
      for (uint32_t r = metrics_.inkFirst[code]; r < metrics_.inkFirst[code + 1]; ++r) {
        const InkRun& run = metrics_.ink[r];
        quad(x + run.x0, baseline + run.y0, x + run.x1, baseline + run.y1);
      }
      x += metrics_.advance[code];
    }
  }
  // Draws what was gathered, in the current colour.
  void flush() {
    if (quads_ > 0) gl_.glDrawArrays(GL_QUADS, 0, quads_ * 4);
    quads_ = 0;
  }

 private:
  static constexpr int kQuads = 1024;

  void quad(int x0, int y0, int x1, int y1) {
    if (quads_ == kQuads) flush();
    const GLfloat l = ndc(x0, width_), r = ndc(x1, width_), b = ndc(y0, height_),
                  t = ndc(y1, height_);
    GLfloat* v = vertices_ + 8 * quads_++;
    const GLfloat corners[] = {l, b, r, b, r, t, l, t};
    std::copy(std::begin(corners), std::end(corners), v);
  }
  static GLfloat ndc(int pixel, int size) { return static_cast<GLfloat>(2.0 * pixel / size - 1.0); }

  const GlTable& gl_;
  const TextMetrics& metrics_;
  int width_, height_;
  GLfloat vertices_[kQuads * 8];
  int quads_ = 0;
};

// Whether no two lines' ink, shadows included, can meet: then the order they are drawn in
// changes no pixel.
bool apart(std::span<const WindowTextLine> lines, const TextMetrics& m) {
  const auto box = [&m](const WindowTextLine& l) {  // left, top, right, bottom; y downwards
    return std::array<int, 4>{l.x + m.inkLeft, l.y - m.inkAbove,
                              l.x + m.width(l.text) + m.inkRight + 1, l.y - m.inkBelow + 1};
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::array<int, 4> a = box(lines[i]);
    for (size_t j = i + 1; j < lines.size(); ++j) {
      const std::array<int, 4> b = box(lines[j]);
      if (a[0] < b[2] && b[0] < a[2] && a[1] < b[3] && b[1] < a[3]) return false;
    }
  }
  return true;
}

// The lines, and which of them have their pen inside the picture.
struct WindowLines {
  std::span<const WindowTextLine> lines;
  int width, height;
  bool inside(const WindowTextLine& line) const {
    return line.x >= 0 && line.x < width && line.y > 0 && line.y <= height;
  }
};

// Lines apart, so order does not matter: one array for the shadows, one for each colour.
void drawInkByColour(const GlTable& gl, InkQuads& quads, const WindowLines& w) {
  gl.glColor3f(0, 0, 0);
  for (const WindowTextLine& line : w.lines) {
    if (w.inside(line) && line.y < w.height) quads.add(line.x + 1, line.y + 1, line.text);
  }
  quads.flush();
  for (size_t i = 0; i < w.lines.size(); ++i) {
    const auto& colour = w.lines[i].colour;
    const auto seen = [&](size_t j) { return w.lines[j].colour == colour; };
    bool earlier = false;
    for (size_t j = 0; j < i && !earlier; ++j) earlier = seen(j);
    if (earlier) continue;  // drawn with the first line of its colour
    gl.glColor3f(colour[0], colour[1], colour[2]);
    for (size_t j = i; j < w.lines.size(); ++j) {
      if (seen(j) && w.inside(w.lines[j])) quads.add(w.lines[j].x, w.lines[j].y, w.lines[j].text);
    }
    quads.flush();
  }
}

// Lines that may meet: each one's shadow, then the line, in their order.
void drawInkInOrder(const GlTable& gl, InkQuads& quads, const WindowLines& w) {
  for (const WindowTextLine& line : w.lines) {
    if (!w.inside(line)) continue;
    // GL drops a string whose raster position lies outside the picture: the shadow of a line
    // on the bottom row.
    if (line.y < w.height) {
      gl.glColor3f(0, 0, 0);
      quads.add(line.x + 1, line.y + 1, line.text);
      quads.flush();
    }
    gl.glColor3f(line.colour[0], line.colour[1], line.colour[2]);
    quads.add(line.x, line.y, line.text);
    quads.flush();
  }
}

// Without the glyphs' ink: the font's bitmaps.
void drawBitmaps(const GlTable& gl, GLuint listBase, const WindowLines& w) {
  for (const WindowTextLine& line : w.lines) {
    if (!w.inside(line)) continue;
    gl.glColor3f(0, 0, 0);
    drawAt(gl, listBase, w.width, w.height, line.x + 1, line.y + 1, line.text);
    gl.glColor3f(line.colour[0], line.colour[1], line.colour[2]);
    drawAt(gl, listBase, w.width, w.height, line.x, line.y, line.text);
  }
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
                    std::span<const WindowTextLine> lines, const TextMetrics* metrics) {
  if (lines.empty() || listBase == 0) return;
  const WindowLines visible{lines, width, height};
  begin(gl, width, height);
  if (metrics && !metrics->ink.empty()) {
    InkQuads quads(gl, *metrics, width, height);
    if (apart(lines, *metrics)) {
      drawInkByColour(gl, quads, visible);
    } else {
      drawInkInOrder(gl, quads, visible);
    }
    end(gl);
    return;
  }
  drawBitmaps(gl, listBase, visible);
  end(gl);
}

}  // namespace bandscope
