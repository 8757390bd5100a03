#pragma once
// Half the difference of the channels, drawn over the mid oscilloscope (stereo only).
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawSideScope(const SceneInput& in, const ScopeState& scope);

}  // namespace bandscope
