#pragma once
// The frequencies of a channel's prominent recent peaks, written at the peaks.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawPeakLabels(const SceneInput& in, int channel);

}  // namespace bandscope
