#include "app/overlays.h"

#include <algorithm>
#include <array>

#include "display/window_text.h"

namespace bandscope {

namespace {

constexpr int kMargin = 4;
constexpr int kMaxLines = 32;
constexpr std::array<GLfloat, 3> kWhite{1, 1, 1};
constexpr std::array<GLfloat, 3> kFrozen{0.4f, 0.9f, 1};
constexpr std::array<GLfloat, 3> kHelp{1, 1, 0.6f};

}  // namespace

void drawOverlays(const GlTable& gl, GLuint fontListBase, const TextMetrics* metrics, int width,
                  int height, const Overlays& o) {
  std::array<WindowTextLine, kMaxLines> lines;
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
    const int top = y - kOverlayLineStep + 3;
    drawWindowBand(gl, width, height, top,
                   top + kOverlayLineStep * static_cast<int>(o.help.size()) + 3);
  }
  for (std::string_view line : o.help) {
    add(3 * kMargin, y, line, kHelp);
    y += kOverlayLineStep;
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
