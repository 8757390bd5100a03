#include "display/side_scope.h"

#include "analysis/rounding.h"
#include "display/scene_colours.h"
#include "display/scope_trigger.h"
#include "display/vertical_trace.h"

namespace bandscope {

void drawSideScope(const SceneInput& in, const ScopeState& scope) {
  const GlTable& gl = in.gl;
  const int bandCount = in.settings.bandCount;
  const uint8_t* left = in.samples.sampleBuffer[0];
  const uint8_t* right = in.samples.sampleBuffer[1];

  gl.glPushMatrix();
  gl.glTranslatef(-0.5f, 2.25f, -5.0f);

  // The same start as the mid view it is drawn over.
  const int32_t start = staticTriggerStart(right, bandCount, in.options.static_check);
  const int64_t tick =
      roundEven(static_cast<double>(scope.scopeMean[1]) - scope.scopeMean[0]) / 2 + 128;
  setSceneColour(gl, kSideColour);
  drawVerticalTrace(
      gl, bandCount, in.settings.bufferLength - start,
      [&](int32_t i) {
        const int32_t j = start + i;
        return (right[j] - left[j]) / 2 + 128;
      },
      tick);

  gl.glPopMatrix();
}

}  // namespace bandscope
