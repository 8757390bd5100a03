#pragma once
// A channel's frequency lines at every multiple of the frequency step, on the spectrum bars'
// axis, up to the highest frequency the bands measure. Their labels alternate between two
// rows; with the font's metrics and the view at hand, a label that would overlap the one
// drawn before it on its row is left out, so that those drawn stay readable.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void drawFrequencyGrid(const SceneInput& in, int channel);

// Where frequency f's line stands on the channel's spectrum plane (camera x): the left edge
// of the band that measures f.
float frequencyLineX(const SceneInput& in, int32_t f, int channel);

}  // namespace bandscope
