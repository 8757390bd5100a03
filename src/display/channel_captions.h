#pragma once
// Which spectrum is which: "L" and "R" in stereo, "mono" otherwise, as window text at the
// left end of each spectrum, heading the column of level labels: a line above its top line.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

// Needs in.view: without it nothing is drawn.
void drawChannelCaptions(const SceneInput& in, int lastChannel);

}  // namespace bandscope
