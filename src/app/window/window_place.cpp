#include "app/window/window_place.h"

#include <algorithm>
#include <cstdint>

namespace bandscope {

namespace {

// Above the client area; its real height is known only once the window manager framed it.
constexpr int kTitleBarHeight = 24;  // the strip at the frame's top the user grips
constexpr int kGripWidth = 100;      // of it, on one screen, to be reachable

int64_t area(const QRect& r) {
  return r.isEmpty() ? 0 : int64_t{r.width()} * r.height();
}

}  // namespace

QRect fitToScreens(const QRect& wanted, const std::vector<QRect>& screens) {
  if (screens.empty()) return wanted;
  const QRect* landing = &screens.front();
  for (const QRect& s : screens)
    if (area(s & wanted) > area(*landing & wanted)) landing = &s;
  // A client area as tall as the screen would push the frame's bottom (the strip) off it.
  const QSize room = landing->size() - QSize(0, kTitleBarHeight);
  QRect fitted(wanted.topLeft(), wanted.size().boundedTo(room.expandedTo(QSize(1, 1))));
  const QRect titleBar(fitted.left(), fitted.top() - kTitleBarHeight, fitted.width(),
                       kTitleBarHeight);
  const int grip = std::min(kGripWidth, fitted.width());
  const bool reachable = std::any_of(screens.begin(), screens.end(), [&](const QRect& s) {
    const QRect onScreen = s & titleBar;
    return onScreen.width() >= grip && onScreen.height() >= kTitleBarHeight;
  });
  if (!reachable) {
    fitted.moveLeft(
        std::clamp(fitted.left(), landing->left(), landing->right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(
        fitted.top(), landing->top() + kTitleBarHeight,
        std::max(landing->top() + kTitleBarHeight, landing->bottom() - fitted.height() + 1)));
  }
  return fitted;
}

}  // namespace bandscope
