#include "display/channel_scope.h"

#include "display/scene_colours.h"
#include "display/scope_trigger.h"
#include "display/value_colour.h"

namespace bandscope {

void advanceChannelScope(const BandSettings& s, const SampleRows& samples, bool static_check,
                         int channel, ScopeState& scope) {
  const uint8_t* row = samples.sampleBuffer[channel];
  const int32_t start = staticTriggerStart(row, s.bandCount, static_check);
  const int32_t n = s.bufferLength - start;
  const float nf = static_cast<float>(n);
  float sum = 0.0f;
  for (int32_t i = 0; i < n; ++i) sum = sum + static_cast<float>(row[start + i]) / nf;
  scope.triggerStart[channel] = start;
  float& mean = scope.scopeMean[channel];
  mean = (3.0f * mean + sum) / 4.0f;
}

void drawChannelScope(const SceneInput& in, int channel, const ScopeState& scope) {
  const GlTable& gl = in.gl;
  const int sgn = channelSign(channel);
  const int bandCount = in.settings.bandCount;
  const uint8_t* s = in.samples.sampleBuffer[channel];

  gl.glPushMatrix();
  gl.glTranslatef(3.5f * static_cast<float>(sgn), 1.0f, -5.0f);

  const float frameEnd = static_cast<float>(sgn * bandCount) / 256.0f;
  setSceneColour(gl, kScopeFrameColour);
  gl.glBegin(GL_LINES);
  for (const float y : {0.0f, 1.0f, 0.5f}) {
    gl.glVertex3f(0.0f, y, 0.0f);
    gl.glVertex3f(frameEnd, y, 0.0f);
  }
  gl.glEnd();

  const int32_t start = scope.triggerStart[channel];
  const int32_t n = in.settings.bufferLength - start;
  int32_t lo = 9999;
  int32_t hi = -9999;
  setSceneColour(gl, kWhite);
  gl.glBegin(GL_POINTS);
  for (int32_t i = 0; i < n; ++i) {
    const int32_t v = s[start + i];
    if (v < lo) lo = v;
    if (v > hi) hi = v;
    gl.glVertex3f(static_cast<float>(sgn * i) / 256.0f, static_cast<float>(v) / 256.0f, 0.0f);
  }
  gl.glEnd();

  int32_t xa = sgn * bandCount;
  const int32_t xb = sgn * (bandCount + 8);
  if (lo <= 1 || hi >= 254) {
    // Clipping turns the bar into a red box over the whole trace.
    setSceneColour(gl, kClippingColour);
    xa = 0;
  } else {
    setValueColour(in, hi - lo);
  }
  const float xaf = static_cast<float>(xa) / 256.0f;
  const float xbf = static_cast<float>(xb) / 256.0f;
  const float yLo = static_cast<float>(lo) / 256.0f;
  const float yHi = static_cast<float>(hi) / 256.0f;
  gl.glBegin(GL_QUADS);
  gl.glVertex3f(xaf, yLo, 0.0f);
  gl.glVertex3f(xbf, yLo, 0.0f);
  gl.glVertex3f(xbf, yHi, 0.0f);
  gl.glVertex3f(xaf, yHi, 0.0f);
  gl.glEnd();

  setSceneColour(gl, kWhite);
  const float m = scope.scopeMean[channel] / 256.0f;
  gl.glBegin(GL_LINES);
  gl.glVertex3f(static_cast<float>(-sgn) * 0.125f, m, 0.0f);
  gl.glVertex3f(0.0f, m, 0.0f);
  gl.glEnd();

  gl.glPopMatrix();
}

}  // namespace bandscope
