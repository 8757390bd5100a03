#pragma once
// The spread histogram: a row of bars hanging from y = 0, one per angle slot.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawSpreadHistogram(const SceneInput& in, const SpreadState& spread);

}  // namespace bandscope
