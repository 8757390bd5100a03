#include "display/vector_scope.h"

#include <algorithm>
#include <cmath>

#include "analysis/rounding.h"
#include "display/scene_colours.h"

namespace bandscope {

namespace {

// How far the points reach in each quadrant; a point on an axis counts for both sides.
struct Extent {
  float lowLeftMinX = 0, lowLeftMinY = 0;
  float upLeftMinX = 0, upLeftMaxY = 0;
  float lowRightMaxX = 0, lowRightMinY = 0;
  float upRightMaxX = 0, upRightMaxY = 0;

  void add(float x, float y) {
    if (x <= 0 && y <= 0) {
      lowLeftMinX = std::min(lowLeftMinX, x);
      lowLeftMinY = std::min(lowLeftMinY, y);
    }
    if (x <= 0 && y >= 0) {
      upLeftMinX = std::min(upLeftMinX, x);
      upLeftMaxY = std::max(upLeftMaxY, y);
    }
    if (x >= 0 && y <= 0) {
      lowRightMaxX = std::max(lowRightMaxX, x);
      lowRightMinY = std::min(lowRightMinY, y);
    }
    if (x >= 0 && y >= 0) {
      upRightMaxX = std::max(upRightMaxX, x);
      upRightMaxY = std::max(upRightMaxY, y);
    }
  }
};

// Bars just outside the unit frame, bottom, top, left, right, in the current colour.
void drawExtentBars(const GlTable& gl, const Extent& e) {
  gl.glBegin(GL_QUADS);
  gl.glVertex3f(e.lowLeftMinX, -0.55f, 0.0f);
  gl.glVertex3f(e.lowRightMaxX, -0.55f, 0.0f);
  gl.glVertex3f(e.lowRightMaxX, -0.5f, 0.0f);
  gl.glVertex3f(e.lowLeftMinX, -0.5f, 0.0f);

  gl.glVertex3f(e.upLeftMinX, 0.55f, 0.0f);
  gl.glVertex3f(e.upRightMaxX, 0.55f, 0.0f);
  gl.glVertex3f(e.upRightMaxX, 0.5f, 0.0f);
  gl.glVertex3f(e.upLeftMinX, 0.5f, 0.0f);

  gl.glVertex3f(-0.55f, e.lowLeftMinY, 0.0f);
  gl.glVertex3f(-0.5f, e.lowLeftMinY, 0.0f);
  gl.glVertex3f(-0.5f, e.upLeftMaxY, 0.0f);
  gl.glVertex3f(-0.55f, e.upLeftMaxY, 0.0f);

  gl.glVertex3f(0.55f, e.lowRightMinY, 0.0f);
  gl.glVertex3f(0.5f, e.lowRightMinY, 0.0f);
  gl.glVertex3f(0.5f, e.upRightMaxY, 0.0f);
  gl.glVertex3f(0.55f, e.upRightMaxY, 0.0f);
  gl.glEnd();
}

// The first pass's point of sample pair k (side against loudness); false for silence.
bool firstPassPoint(const SampleRows& samples, int k, float& x, float& y) {
  const int l = samples.sampleBuffer[0][k] - 128;
  const int r = samples.sampleBuffer[1][k] - 128;
  const float m = static_cast<float>(std::abs(l) + std::abs(r)) / 256.0f;
  if (m == 0.0f) return false;
  const float a = static_cast<float>(r - l) / 1024.0f / m;
  const float b = static_cast<float>(l + r) / 1024.0f;
  x = std::sin(a) * m * 2.0f;
  y = std::cos(a) * b * 2.0f;
  return true;
}

// Keeps the largest recent point length of the slot the point's angle falls in.
void keepLongest(const BandSettings& s, SpreadState& spread, float x, float y) {
  const int64_t bands = s.bandCount;
  // Both factors are floats, so the double product is exact.
  const double turned = -static_cast<double>(vectorAngle(x, y)) * s.bandsPerRadian;
  // vectorAngle stays above -pi / 2, so the sum is positive before the modulo.
  const int64_t slot = (roundEven(turned) + 16 * bands) % bands;
  const double length = static_cast<double>(std::fabs(x)) + std::fabs(y);
  // The longest points reach 256, one more than an entry holds.
  const auto len = static_cast<uint8_t>(std::min<int64_t>(roundEven(length * 512.0), 255));
  uint8_t& entry = spread.spreadHistogram[slot];
  if (entry < len) entry = len;
}

}  // namespace

void decaySpreadHistogram(const BandSettings& s, SpreadState& spread) {
  for (int k = 0; k < s.bandCount; ++k) {
    spread.spreadHistogram[k] = static_cast<uint8_t>((3 * spread.spreadHistogram[k]) >> 2);
  }
}

void feedSpreadHistogram(const BandSettings& s, const SampleRows& samples, SpreadState& spread) {
  for (int k = 0; k < s.bandCount; ++k) {
    float x = 0;
    float y = 0;
    if (firstPassPoint(samples, k, x, y)) keepLongest(s, spread, x, y);
  }
}

void drawVectorScope(const SceneInput& in) {
  const GlTable& gl = in.gl;
  const uint8_t* s0 = in.samples.sampleBuffer[0];
  const uint8_t* s1 = in.samples.sampleBuffer[1];

  gl.glPushMatrix();
  gl.glTranslatef(-2.75f, 2.75f, -3.0f);

  setSceneColour(gl, kVectorCrossColour);
  gl.glBegin(GL_LINES);
  gl.glVertex3f(0.0f, -0.5f, 0.0f);
  gl.glVertex3f(0.0f, 0.5f, 0.0f);
  gl.glVertex3f(-0.5f, 0.0f, 0.0f);
  gl.glVertex3f(0.5f, 0.0f, 0.0f);
  gl.glEnd();

  // Older half of the window: side against loudness, and the histogram's input.
  Extent first;
  setSceneColour(gl, kWhite);
  gl.glBegin(GL_POINTS);
  for (int k = 0; k < in.settings.bandCount; ++k) {
    float x = 0;
    float y = 0;
    if (!firstPassPoint(in.samples, k, x, y)) continue;
    gl.glVertex3f(x, y, 0.0f);
    first.add(x, y);
  }
  gl.glEnd();
  drawExtentBars(gl, first);

  // Whole window, mid against side.
  Extent second;
  setSceneColour(gl, kSideColour);
  gl.glBegin(GL_POINTS);
  for (int k = 0; k < in.settings.bufferLength; ++k) {
    const int l = s0[k] - 128;
    const int r = s1[k] - 128;
    const float b = static_cast<float>(l - r) / 1024.0f;
    const float m = 4.0f * b;
    if (m == 0.0f) continue;
    const float a = -(static_cast<float>(l + r) / 1024.0f / m);
    const float y = std::sin(a) * m * 2.0f;
    const float x = std::cos(a) * b * 2.0f;
    gl.glVertex3f(x, y, 0.0f);
    second.add(x, y);
  }
  gl.glEnd();
  drawExtentBars(gl, second);

  gl.glPopMatrix();
}

}  // namespace bandscope
