#include "display/channel_captions.h"

#include <array>
#include <string_view>

#include "display/gl_font.h"
#include "display/level_lines.h"
#include "display/scene_colours.h"
#include "display/spectrum_plane.h"
#include "display/view_transform.h"
#include "display/window_text.h"

namespace bandscope {

void drawChannelCaptions(const SceneInput& in, int lastChannel) {
  if (!in.view) return;
  const int height = textHeight(in.textMetrics);
  // At the head of the level labels' column: a line above its top line.
  const LevelMarks marks = levelMarks(in.settings);
  const double top = marks.mark[static_cast<size_t>(marks.count - 1)].y;
  std::array<WindowTextLine, kChannels> lines;
  size_t n = 0;
  for (int c = 0; c <= lastChannel && c < kChannels; ++c) {
    const double left = (in.bandX.bandX[0] + channelAxisOffset(c)) / 200.0;
    const std::optional<TextPixel> at = textPixelOf(*in.view, left, top, -0.1);
    if (!at) continue;
    const std::string_view text = lastChannel == 0 ? "mono" : c == 0 ? "L" : "R";
    lines[n++] = {at->x + textPixels(in.textMetrics, 2),
                  at->y - height - textPixels(in.textMetrics, 4), text, kCaptionColour};
  }
  const std::array<int, 4>& viewport = in.view->viewportRect();
  drawWindowText(in.gl, in.fontListBase, viewport[2], viewport[3], std::span(lines).first(n),
                 in.textMetrics);
}

}  // namespace bandscope
