#pragma once
// The balance bar at the top: extends right when channel 1 is louder, left when channel 0
// is.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawBalanceBar(const SceneInput& in);

}  // namespace bandscope
