#pragma once
// A channel's horizontal oscilloscope: frame lines, sample points, level bar (a red box when
// the signal clips) and the tick at the smoothed mean, which it updates.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawChannelScope(const SceneInput& in, int channel, ScopeState& scope);

}  // namespace bandscope
