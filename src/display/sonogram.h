#pragma once
// The sonogram waterfall: one quad strip per pair of consecutive history rows, band
// positions across, values as height and colour, time in depth. Drawn from rows 0 ..
// sonoSteps - 1 as the last analysis step left them (it scrolls, then writes the newest),
// through the input's SonogramStrips, which it brings up to date first; nothing without
// them. UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawSonogram(const SceneInput& in);

}  // namespace bandscope
