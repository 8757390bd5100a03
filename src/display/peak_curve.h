#pragma once
// The polyline through a channel's held peaks, drawn before the bars.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawPeakCurve(const SceneInput& in, int channel);

}  // namespace bandscope
