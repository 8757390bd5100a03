#pragma once
// Text placed in window pixels over the finished scene: the readouts and the help. Each line
// gets a black shadow one pixel down and right, so it reads over any colour of the picture.
//
// Threads: the UI thread, with the rendering context current.

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "platform/gl_table.h"

namespace bandscope {

struct TextMetrics;

struct WindowTextLine {
  int x = 0;  // left end of the baseline, in pixels from the picture's left edge
  int y = 0;  // the baseline, in pixels from the picture's top edge
  std::string_view text;
  std::array<GLfloat, 3> colour{1, 1, 1};
};

// Draws the lines into a width x height picture, depth test off, under identity matrices;
// leaves the viewport at the picture and every matrix and attribute as it found them. A line
// whose start lies outside the picture is dropped, as GL drops its raster position. With the
// font's metrics holding its ink the glyphs are drawn as quads (the same pixels), else as the
// bitmaps of the lists from listBase.
void drawWindowText(const GlTable& gl, GLuint listBase, int width, int height,
                    std::span<const WindowTextLine> lines, const TextMetrics* metrics = nullptr);

class ViewTransform;

// A pixel of the picture as WindowTextLine counts it: from its top left corner.
struct TextPixel {
  int x = 0;
  int y = 0;
};

// Where scene point (x, y, z) lands under view, in the pixels of the view's viewport (which
// starts at the window's origin); none when GL could not place it there.
std::optional<TextPixel> textPixelOf(const ViewTransform& view, double x, double y, double z);

// A black band across the width x height picture from pixel row top down to bottom, under the
// text drawn after it; the same state rules as the text.
void drawWindowBand(const GlTable& gl, int width, int height, int top, int bottom);

}  // namespace bandscope
