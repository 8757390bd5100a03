#pragma once
// The vertical oscilloscope of the channels' mean (channel 0 alone in mono), above the
// centre.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawMidScope(const SceneInput& in, int lastChannel, const ScopeState& scope);

}  // namespace bandscope
