#pragma once
// A channel's spectrum: one bar per band (the last band has none), coloured by its fast
// average.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawSpectrumBars(const SceneInput& in, int channel);

}  // namespace bandscope
