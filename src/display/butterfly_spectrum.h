#pragma once
// Both channels' band levels back to back along a vertical frequency axis.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawButterflySpectrum(const SceneInput& in);

}  // namespace bandscope
