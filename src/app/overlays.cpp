#include "app/overlays.h"

#include <algorithm>
#include <array>

#include "display/window_text.h"

namespace bandscope {

namespace {

constexpr int kMargin = 4;
constexpr int kMaxTexts = 64;
constexpr std::array<GLfloat, 3> kWhite{1, 1, 1};
constexpr std::array<GLfloat, 3> kFrozen{0.4f, 0.9f, 1};

}  // namespace

void drawOverlays(const GlTable& gl, GLuint fontListBase, const TextMetrics* metrics, int width,
                  int height, const Overlays& o) {
  std::array<WindowTextLine, kMaxTexts> lines;
  size_t n = 0;
  int y = kOverlayLineStep;  // the first baseline: one line below the top
  const auto add = [&](int x, int baseline, std::string_view text, std::array<GLfloat, 3> c) {
    if (n < lines.size()) lines[n++] = {x, baseline, text, c};
  };
  if (o.frameRate) {
    add(kMargin, y, *o.frameRate, kWhite);
    y += kOverlayLineStep;
  }
  if (o.frozen) {
    add(kMargin, y, "frozen", kFrozen);
    y += kOverlayLineStep;
  }
  if (!o.help.empty()) {  // on black: the help reads over any picture
    const auto lineCount =
        std::count_if(o.help.begin(), o.help.end(), [](const HelpText& t) { return !t.sameLine; });
    const int top = y - kOverlayLineStep + 3;
    drawWindowBand(gl, width, height, top,
                   top + kOverlayLineStep * static_cast<int>(lineCount) + 3);
  }
  int pen = 3 * kMargin;
  for (size_t k = 0; k < o.help.size(); ++k) {
    const HelpText& piece = o.help[k];
    if (!piece.sameLine) {
      if (k > 0) y += kOverlayLineStep;
      pen = 3 * kMargin;
    }
    add(pen, y, piece.text, piece.colour);
    pen += metrics ? metrics->width(piece.text) : 0;
  }
  if (o.pointerText) {
    const int textWidth = metrics ? metrics->width(*o.pointerText) : 0;
    int x = o.pointerX + 3 * kMargin;
    if (x + textWidth > width) x = std::max(0, o.pointerX - 3 * kMargin - textWidth);
    add(x, std::max(o.pointerY, kOverlayLineStep), *o.pointerText, kWhite);
  }
  drawWindowText(gl, fontListBase, width, height, std::span(lines).first(n));
}

}  // namespace bandscope
