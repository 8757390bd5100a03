#pragma once
// The colour for a value: the palette ramp, or grey turning green when colours are off,
// read from the palette's tables; set as GL's colour or returned for a vertex array. UI
// thread, context current.

#include "display/scene.h"

namespace bandscope {

inline Rgb valueColourFor(const SceneInput& in, int32_t v) {
  return readyValueColour(v, in.options.col_check, in.palette, in.settings.bandCount);
}

void setValueColour(const SceneInput& in, int32_t v);

}  // namespace bandscope
