#pragma once
// The stereo vector scope: two passes of sample-pair points with their extent bars. Its
// first pass feeds the spread histogram, which decays once per stereo frame before it.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void decaySpreadHistogram(const SceneInput& in, SpreadState& spread);
void drawVectorScope(const SceneInput& in, SpreadState& spread);

}  // namespace bandscope
