#include "display/value_colour.h"

namespace bandscope {

void setValueColour(const SceneInput& in, int32_t v) {
  const Rgb c = readyValueColour(v, in.options.col_check, in.palette, in.settings.bandCount);
  in.gl.glColor3f(c.red, c.green, c.blue);
}

}  // namespace bandscope
