#include "display/mid_scope.h"

#include "analysis/rounding.h"
#include "display/scene_colours.h"
#include "display/scope_trigger.h"
#include "display/vertical_trace.h"

namespace bandscope {

void drawMidScope(const SceneInput& in, int lastChannel, const ScopeState& scope) {
  const GlTable& gl = in.gl;
  const int bandCount = in.settings.bandCount;
  const uint8_t* last = in.samples.sampleBuffer[lastChannel];
  const uint8_t* first = in.samples.sampleBuffer[0];

  gl.glPushMatrix();
  gl.glTranslatef(-0.5f, 2.25f, -5.0f);

  const float top = static_cast<float>(bandCount) / 256.0f;
  setSceneColour(gl, kScopeFrameColour);
  gl.glBegin(GL_LINES);
  for (const float x : {0.0f, 1.0f, 0.5f}) {
    gl.glVertex3f(x, 0.0f, 0.0f);
    gl.glVertex3f(x, top, 0.0f);
  }
  gl.glEnd();

  const int32_t start = staticTriggerStart(last, bandCount, in.options.static_check);
  const int64_t tick =
      roundEven(static_cast<double>(scope.scopeMean[lastChannel]) + scope.scopeMean[0]) / 2;
  setSceneColour(gl, kWhite);
  // In mono both rows are channel 0, so the mean is channel 0 itself.
  drawVerticalTrace(
      gl, bandCount, in.settings.bufferLength - start,
      [&](int32_t i) {
        const int32_t j = start + i;
        return static_cast<int32_t>(static_cast<uint32_t>(last[j] + first[j]) >> 1);
      },
      tick);

  gl.glPopMatrix();
}

}  // namespace bandscope
