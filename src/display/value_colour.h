#pragma once
// Sets the GL colour for a value: the palette ramp, or grey turning green when colours are
// off, read from the palette's tables. UI thread, context current.

#include "display/scene.h"

namespace bandscope {

void setValueColour(const SceneInput& in, int32_t v);

}  // namespace bandscope
