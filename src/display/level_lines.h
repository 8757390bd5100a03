#pragma once
// Horizontal lines at fixed magnitudes across both spectra.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawLevelLines(const SceneInput& in);

}  // namespace bandscope
