#include "display/gl_font.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace bandscope {

namespace {
constexpr GLsizei kCodeCount = 256;
}  // namespace

namespace {
double usableRatio(double pixelRatio) {
  return std::isfinite(pixelRatio) ? std::clamp(pixelRatio, 0.25, 16.0) : 1.0;
}

// The glyph's set pixels as runs along its rows, from the pen position; a run that repeats the
// one below it grows that one instead (the strokes of a bold font are mostly upright).
void addInk(const Glyph& g, std::vector<InkRun>& ink) {
  const size_t first = ink.size();
  if (g.width <= 0 || g.height <= 0 || g.bits.size() < size_t(g.bytesPerRow()) * size_t(g.height))
    return;
  const auto set = [&g](int x, int row) {
    return (g.bits[size_t(row) * size_t(g.bytesPerRow()) + size_t(x / 8)] >> (7 - x % 8)) & 1;
  };
  for (int row = 0; row < g.height; ++row) {  // bottom row first, as glBitmap reads them
    for (int x = 0; x < g.width;) {
      if (!set(x, row)) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < g.width && set(x, row)) ++x;
      const InkRun run{static_cast<int16_t>(start - g.xOrigin), static_cast<int16_t>(x - g.xOrigin),
                       static_cast<int16_t>(row - g.yOrigin),
                       static_cast<int16_t>(row - g.yOrigin + 1)};
      const auto below = std::find_if(
          ink.begin() + static_cast<std::ptrdiff_t>(first), ink.end(),
          [&run](const InkRun& r) { return r.x0 == run.x0 && r.x1 == run.x1 && r.y1 == run.y0; });
      if (below != ink.end()) {
        below->y1 = run.y1;
      } else {
        ink.push_back(run);
      }
    }
  }
}
}  // namespace

int32_t fontPixelHeight(double pixelRatio) {
  return std::max<int32_t>(
      1, static_cast<int32_t>(std::lround(kFontPixelHeight * usableRatio(pixelRatio))));
}

void createFontLists(const GlTable& gl, GLuint& listBase, TextMetrics& metrics,
                     std::string_view fontName, const GlyphSource& glyphSource, double pixelRatio) {
  metrics = TextMetrics{};
  if (listBase == 0) listBase = gl.glGenLists(kCodeCount);
  // Lists compiled at 0 would run immediately instead, drawing stray glyphs.
  if (listBase == 0) return;

  const int32_t pixelHeight = fontPixelHeight(pixelRatio);
  const GlyphSet set = glyphSource(FontRequest{fontName, pixelHeight, true});

  // Glyph rows are packed to whole bytes; a list keeps its bitmap as unpacked when compiled.
  GLint savedAlignment = 4;
  gl.glGetIntegerv(GL_UNPACK_ALIGNMENT, &savedAlignment);
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (GLuint code = 0; code < static_cast<GLuint>(kCodeCount); ++code) {
    const Glyph& g = set.glyphs[code];
    metrics.advance[code] = static_cast<int16_t>(g.xAdvance);
    metrics.inkFirst[code] = static_cast<uint32_t>(metrics.ink.size());
    addInk(g, metrics.ink);
    for (size_t r = metrics.inkFirst[code]; r < metrics.ink.size(); ++r) {
      const InkRun& run = metrics.ink[r];
      metrics.inkLeft = std::min<int>(metrics.inkLeft, run.x0);
      metrics.inkRight = std::max<int>(metrics.inkRight, run.x1 - g.xAdvance);
      metrics.inkBelow = std::min<int>(metrics.inkBelow, run.y0);
      metrics.inkAbove = std::max<int>(metrics.inkAbove, run.y1);
    }
    gl.glNewList(listBase + code, GL_COMPILE);
    // Mesa cannot copy an empty bitmap into a list (it reports GL_OUT_OF_MEMORY), so a glyph
    // without ink is one clear pixel: it draws nothing and still advances.
    static const GLubyte kClear = 0;
    const bool empty = g.width == 0 || g.height == 0 || g.bits.empty();
    gl.glBitmap(empty ? 1 : g.width, empty ? 1 : g.height, static_cast<GLfloat>(g.xOrigin),
                static_cast<GLfloat>(g.yOrigin), static_cast<GLfloat>(g.xAdvance), 0.0f,
                empty ? &kClear : g.bits.data());
    gl.glEndList();
  }
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, savedAlignment);
  metrics.inkFirst[kCodeCount] = static_cast<uint32_t>(metrics.ink.size());
  metrics.height = pixelHeight;
  // The layout follows the window's ratio, not the rounded glyphs': the help that fits the
  // start picture at 1 fits it at 1.5 too.
  metrics.pixelRatio = usableRatio(pixelRatio);
}

void beginText(const GlTable& gl) {
  gl.glPushAttrib(kAllAttribGroups);
  gl.glDisable(GL_LIGHTING);
  gl.glDisable(GL_TEXTURE_2D);
  gl.glDisable(GL_BLEND);
}

void drawText(const GlTable& gl, GLuint listBase, std::string_view text, GLfloat x, GLfloat y) {
  gl.glRasterPos2f(x, y);
  gl.glListBase(listBase);
  gl.glCallLists(static_cast<GLsizei>(text.size()), GL_UNSIGNED_BYTE, text.data());
}

void endText(const GlTable& gl) {
  gl.glPopAttrib();
}

}  // namespace bandscope
