#include "display/mid_scope.h"

#include "analysis/rounding.h"
#include "display/scope_trigger.h"

namespace bandscope {

void drawMidScope(const SceneInput& in, int lastChannel, const ScopeState& scope) {
  const GlTable& gl = in.gl;
  const int bandCount = in.settings.bandCount;
  const uint8_t* last = in.samples.sampleBuffer[lastChannel];
  const uint8_t* first = in.samples.sampleBuffer[0];

  gl.glPushMatrix();
  gl.glTranslatef(-0.5f, 2.25f, -5.0f);

  const float top = static_cast<float>(bandCount) / 256.0f;
  gl.glColor3f(0.25f, 0.25f, 0.25f);
  gl.glBegin(GL_LINES);
  for (const float x : {0.0f, 1.0f, 0.5f}) {
    gl.glVertex3f(x, 0.0f, 0.0f);
    gl.glVertex3f(x, top, 0.0f);
  }
  gl.glEnd();

  const int32_t start = staticTriggerStart(last, bandCount, in.options.static_check);
  const int32_t n = in.settings.bufferLength - start;
  int32_t lo = 9999;
  int32_t hi = -9999;
  gl.glColor3f(1.0f, 1.0f, 1.0f);
  gl.glBegin(GL_POINTS);
  for (int32_t i = 0; i < n; ++i) {
    const int32_t j = start + i;
    // In mono both rows are channel 0, so this is channel 0 itself.
    const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(last[j] + first[j]) >> 1);
    if (v < lo) lo = v;
    if (v > hi) hi = v;
    gl.glVertex3f(static_cast<float>(v) / 256.0f, static_cast<float>(i) / 256.0f, 0.0f);
  }
  gl.glEnd();

  const float xLo = static_cast<float>(lo) / 256.0f;
  const float xHi = static_cast<float>(hi) / 256.0f;
  const float barTop = static_cast<float>(bandCount + 8) / 256.0f;
  gl.glBegin(GL_QUADS);
  gl.glVertex3f(xLo, top, 0.0f);
  gl.glVertex3f(xLo, barTop, 0.0f);
  gl.glVertex3f(xHi, barTop, 0.0f);
  gl.glVertex3f(xHi, top, 0.0f);
  gl.glEnd();

  const int64_t p =
      roundEven(static_cast<double>(scope.scopeMean[lastChannel]) + scope.scopeMean[0]) / 2;
  const float x = static_cast<float>(p) / 256.0f;
  gl.glBegin(GL_LINES);
  gl.glVertex3f(x, -0.125f, 0.0f);
  gl.glVertex3f(x, 0.0f, 0.0f);
  gl.glEnd();

  gl.glPopMatrix();
}

}  // namespace bandscope
