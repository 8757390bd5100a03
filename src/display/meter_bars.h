#pragma once
// A channel's loudness and deviation bars beside its spectrum.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawMeterBars(const SceneInput& in, int channel);

}  // namespace bandscope
