#pragma once
// A channel's horizontal oscilloscope: frame lines, sample points from the trigger start,
// level bar (a red box when the signal clips) and the tick at the smoothed mean.
// UI thread; drawing with the context current.

#include "display/scene.h"

namespace bandscope {

// One analysis step of channel c's oscilloscope: the trigger start in this snapshot and
// the smoothed mean of the samples from there on.
void advanceChannelScope(const BandSettings& s, const SampleRows& samples, bool static_check,
                         int channel, ScopeState& scope);

// Draws from the step's trigger start and mean; changes nothing.
void drawChannelScope(const SceneInput& in, int channel, const ScopeState& scope);

}  // namespace bandscope
