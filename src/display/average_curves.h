#pragma once
// The slow, then the fast average of a channel as polylines over its bars.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawAverageCurves(const SceneInput& in, int channel);

}  // namespace bandscope
