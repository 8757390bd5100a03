#pragma once
// The static trigger of the oscilloscopes: where a trace starts.
// UI thread, context current.

#include "display/scene.h"

namespace bandscope {

// The first sample above 128 after a run at or below 128 that follows a run above it,
// never beyond bandCount; 0 when the trigger is off.
int32_t staticTriggerStart(const uint8_t* samples, int bandCount, bool static_check);

}  // namespace bandscope
