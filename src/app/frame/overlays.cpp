#include "app/frame/overlays.h"

#include <algorithm>
#include <array>

#include "display/window_text.h"

namespace bandscope {

namespace {

constexpr int kMargin = 4;
constexpr int kMaxTexts = 64;
constexpr std::array<GLfloat, 3> kWhite{1, 1, 1};
constexpr std::array<GLfloat, 3> kFrozen{0.4f, 0.9f, 1};
constexpr std::array<GLfloat, 3> kHintColour{1, 0.85f, 0.4f};

}  // namespace

void drawOverlays(const GlTable& gl, GLuint fontListBase, const TextMetrics* metrics, int width,
                  int height, const Overlays& o) {
  std::array<WindowTextLine, kMaxTexts> lines;
  size_t n = 0;
  const int step = textPixels(metrics, kOverlayLineStep);
  const int margin = textPixels(metrics, kMargin);
  const int bandPad = textPixels(metrics, 3);
  int y = step;  // the first baseline: one line below the top
  const auto add = [&](int x, int baseline, std::string_view text, std::array<GLfloat, 3> c) {
    if (n < lines.size()) lines[n++] = {x, baseline, text, c};
  };
  if (o.frameRate) {
    add(margin, y, *o.frameRate, kWhite);
    y += step;
  }
  if (o.frozen) {
    add(margin, y, "frozen", kFrozen);
    y += step;
  }
  if (!o.help.empty()) {  // on black: the help reads over any picture
    const auto lineCount =
        std::count_if(o.help.begin(), o.help.end(), [](const HelpText& t) { return !t.sameLine; });
    const int top = y - step + bandPad;
    drawWindowBand(gl, width, height, top, top + step * static_cast<int>(lineCount) + bandPad);
  }
  int pen = 3 * margin;
  for (size_t k = 0; k < o.help.size(); ++k) {
    const HelpText& piece = o.help[k];
    if (!piece.sameLine) {
      if (k > 0) y += step;
      pen = 3 * margin;
    }
    add(pen, y, piece.text, piece.colour);
    pen += metrics ? metrics->width(piece.text) : 0;
  }
  if (o.pointerText) {
    const int textWidth = metrics ? metrics->width(*o.pointerText) : 0;
    int x = o.pointerX + 3 * margin;
    if (x + textWidth > width) x = std::max(0, o.pointerX - 3 * margin - textWidth);
    add(x, std::max(o.pointerY, step), *o.pointerText, kWhite);
  }
  if (!o.bottomHint.empty()) {
    const int textWidth = metrics ? metrics->width(o.bottomHint) : 0;
    add(std::max(0, (width - textWidth) / 2), height - margin, o.bottomHint, kHintColour);
  }
  drawWindowText(gl, fontListBase, width, height, std::span(lines).first(n), metrics);
}

}  // namespace bandscope
