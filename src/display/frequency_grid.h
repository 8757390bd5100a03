#pragma once
// A channel's frequency lines at every multiple of the frequency step, with their labels, up
// to the highest frequency the bands measure.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawFrequencyGrid(const SceneInput& in, int channel);

}  // namespace bandscope
