#pragma once
// Small markers at a channel's held peaks, shown while a peak is recent.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawPeakMarkers(const SceneInput& in, int channel);

}  // namespace bandscope
