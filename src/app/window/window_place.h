#pragma once
// Where a remembered window goes on the screens there are now: a place saved on a screen that
// has gone, or a size larger than the screen, would open the window out of reach or make the
// display server hold a picture larger than any screen. Pure; any thread.

#include <QRect>
#include <vector>

namespace bandscope {

// The window's client area at `wanted`, fitted to the screens' available areas (`screens`,
// the primary first), leaving room for a title bar above it: no larger than the screen it
// lands on (the one it covers most, else the primary), and moved onto that screen unless a
// good part of its title bar lies on one of them. Unchanged where there are no screens.
QRect fitToScreens(const QRect& wanted, const std::vector<QRect>& screens);

}  // namespace bandscope
