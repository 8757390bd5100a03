#pragma once
// Bitmap-font text: one display list per character code, drawn at a raster position in the
// current colour. Holds no state; the caller keeps the first list number.
//
// Threads: the UI thread, with the rendering context current. Lists belong to the context
// that was current when they were built, so they are built anew for every new context.

#include <cmath>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/gl_table.h"
#include "platform/glyph_raster.h"

namespace bandscope {

// The attribute groups of OpenGL 1.1 (GL_ALL_ATTRIB_BITS in some headers is all 32 bits).
inline constexpr GLbitfield kAllAttribGroups = 0x000FFFFF;

// The font the text uses: bold, 11 pixels high at a device pixel ratio of 1, in the face asked
// for. At ratio r it is rasterised r times as high, so text is as sharp and as large as the
// widgets' text.
inline constexpr int32_t kFontPixelHeight = 11;

// Gives the glyphs of the font asked for, code k at index k.
using GlyphSource = std::function<GlyphSet(const FontRequest&)>;

// One rectangle of a glyph's ink: pixels x0 <= x < x1 of the rows y0 <= y < y1, counted from
// the pen position on the baseline, y upwards, as glBitmap would set them.
struct InkRun {
  int16_t x0 = 0;
  int16_t x1 = 0;
  int16_t y0 = 0;
  int16_t y1 = 0;
};

// The font's sizes in window pixels, kept when its lists are built so text can be measured,
// and its glyphs' ink, so that text in window pixels can be drawn as quads.
struct TextMetrics {
  int16_t advance[256] = {};  // how far code k moves the raster position
  int height = 0;             // 0: no font built
  double pixelRatio = 1;      // window pixels per unscaled pixel of the text's layout
  // Code k's ink is ink[inkFirst[k] .. inkFirst[k + 1]); none kept: all empty.
  std::vector<InkRun> ink;
  uint32_t inkFirst[257] = {};
  // How far any glyph's ink reaches from its pen: left of it (<= 0), right of its advance
  // (>= 0), below the baseline (<= 0) and above it.
  int inkLeft = 0, inkRight = 0, inkBelow = 0, inkAbove = 0;

  // The pen's travel over the bytes of text.
  int width(std::string_view text) const {
    int w = 0;
    for (const char c : text) w += advance[static_cast<unsigned char>(c)];
    return w;
  }
};

// The text's height in window pixels: the font's when it was built, else the one asked for.
inline int textHeight(const TextMetrics* metrics) {
  return metrics && metrics->height > 0 ? metrics->height : kFontPixelHeight;
}

// A distance of the text's layout (a margin, a line step) given for ratio 1, in window pixels at
// the ratio the font was built for.
inline int textPixels(const TextMetrics* metrics, int pixelsAtRatio1) {
  const double ratio = metrics ? metrics->pixelRatio : 1.0;
  return static_cast<int>(std::lround(pixelsAtRatio1 * ratio));
}

// The font's pixel height at a device pixel ratio.
int32_t fontPixelHeight(double pixelRatio);

// With listBase 0: listBase := the first of 256 new lists; else the 256 lists from listBase are
// compiled anew (the ratio changed). List listBase + code draws that code's glyph at
// fontPixelHeight(pixelRatio) and moves the raster position by its advance. When no lists can
// be had, listBase is 0, nothing is built and text stays invisible. Leaves the unpack alignment
// as it found it. metrics := the glyphs' advances and ink, the font's height and the ratio, or
// all 0 when no lists were built.
void createFontLists(const GlTable& gl, GLuint& listBase, TextMetrics& metrics,
                     std::string_view fontName, const GlyphSource& glyphSource,
                     double pixelRatio = 1.0);

// Saves all attributes and turns off lighting, texturing and blending; depth test unchanged.
void beginText(const GlTable& gl);

// Draws the bytes of text, one glyph each, from raster position (x, y) through the current
// matrices, in the colour current now. A raster position outside the viewport drops the
// whole string.
void drawText(const GlTable& gl, GLuint listBase, std::string_view text, GLfloat x, GLfloat y);

// Restores the attributes saved by beginText.
void endText(const GlTable& gl);

}  // namespace bandscope
