#pragma once
// The stereo vector scope: two passes of sample-pair points with their extent bars. The
// first pass's points feed the spread histogram, which decays once per analysis step before
// it is fed.
// UI thread; drawing with the context current.

#include "display/scene.h"

namespace bandscope {

void decaySpreadHistogram(const BandSettings& s, SpreadState& spread);
// Keeps, per angle slot, the longest of this snapshot's first-pass points.
void feedSpreadHistogram(const BandSettings& s, const SampleRows& samples, SpreadState& spread);
void drawVectorScope(const SceneInput& in);

}  // namespace bandscope
