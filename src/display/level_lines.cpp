#include "display/level_lines.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/level_axis.h"
#include "analysis/level_scale.h"
#include "display/gl_font.h"
#include "display/scene_colours.h"
#include "display/spectrum_plane.h"
#include "display/view_transform.h"
#include "display/window_text.h"

namespace bandscope {

namespace {

// 8-bit lines stand this far above the bars of their level, in level units (0.2 x 256).
constexpr double kLiftAboveBars = 51.2;
constexpr int kStepDb = 10;
constexpr int kLabelChars = 8;  // "-120" and its end

}  // namespace

LevelMarks levelMarks(const BandSettings& s) {
  LevelMarks out;
  if (s.sampleBits == 16) {
    for (int db = -s.rangeDb; db <= 0 && out.count < kMaxLevelMarks; db += kStepDb) {
      const int32_t level = levelOfDecibels(db, s);
      out.mark[out.count++] = {static_cast<float>(level / 256.0 - 1), static_cast<double>(db)};
    }
    return out;
  }
  for (int j = 0; j <= 16; ++j) {
    const int32_t v = levelScale(16 * j);
    if (v < 0) break;
    // 0.2 above the bars' level line, so a line clears a bar of the same level.
    out.mark[out.count++] = {static_cast<float>(v / 256.0 - 0.8),
                             decibelsOfLevel(v + kLiftAboveBars, 0, false, s)};
  }
  return out;
}

void drawLevelLines(const SceneInput& in) {
  const GlTable& gl = in.gl;
  const LevelMarks marks = levelMarks(in.settings);
  setSceneColour(gl, kGridColour);
  gl.glBegin(GL_LINES);
  for (int j = 0; j < marks.count; ++j) {
    gl.glVertex3f(-2.6f, marks.mark[j].y, -0.1f);
    gl.glVertex3f(2.6f, marks.mark[j].y, -0.1f);
  }
  gl.glEnd();
}

void drawLevelLabels(const SceneInput& in, int lastChannel) {
  if (!in.view) return;
  const ViewTransform& view = *in.view;
  const LevelMarks marks = levelMarks(in.settings);
  const int height = textHeight(in.textMetrics);
  char texts[kChannels][kMaxLevelMarks][kLabelChars];
  std::array<WindowTextLine, kChannels * kMaxLevelMarks> lines;
  size_t n = 0;
  for (int c = 0; c <= lastChannel && c < kChannels; ++c) {
    const double left = (in.bandX.bandX[0] + channelAxisOffset(c)) / 200.0;
    bool drawn = false;
    int lastY = 0;
    for (int j = 0; j < marks.count; ++j) {
      const std::optional<TextPixel> at = textPixelOf(view, left, marks.mark[j].y, -0.1);
      if (!at || (drawn && std::abs(lastY - at->y) < height)) continue;
      char* text = texts[c][j];
      std::snprintf(text, kLabelChars, "%ld", std::lround(marks.mark[j].dbfs));
      // Two pixels right of the spectrum's edge, sitting on the line.
      const int pad = textPixels(in.textMetrics, 2);
      lines[n++] = {at->x + pad, at->y - pad, text, kLevelLabelColour};
      drawn = true;
      lastY = at->y;
    }
  }
  const std::array<int, 4>& viewport = view.viewportRect();
  drawWindowText(in.gl, in.fontListBase, viewport[2], viewport[3], std::span(lines).first(n),
                 in.textMetrics);
}

}  // namespace bandscope
