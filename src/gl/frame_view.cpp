#include "gl/frame_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace bandscope {

namespace {

constexpr float kCameraDistance = -4.9f;
constexpr double kFieldOfView = 45.0;  // degrees, vertical
constexpr double kNear = 0.1;
constexpr double kFar = 100.0;
constexpr double kDegrees = 180 / std::numbers::pi;

// The start view's spectra relative to the eye: their ends and base, at the depth 0.
constexpr double kSceneHalfWidth = 2.6;
constexpr double kSceneBottom = -2.0;
// At 16:9 the eye has come this much nearer, so that the near spectra grow more than the far
// scopes above them (3.1 above the eye and five units behind, as high as the start picture
// shows them) and the scene takes the picture's shape; the spectra then span this share of the
// width and their base stands this low, the scopes' tops just under the top edge.
constexpr double kWideApproach = 2.5;
constexpr double kFullyWideAspect = 16.0 / 9.0;
constexpr double kWideSpan = 0.95;
constexpr double kWideBase = -0.97;

double aspectOf(int width, int height) {
  return static_cast<double>(width) / height;
}

// The camera's translation, as glTranslatef takes it.
struct CameraShift {
  float x, y, z;
};
CameraShift cameraShift(const Camera& c, const FrameFit& fit) {
  return {c.cameraPanX, -c.cameraPanY, c.cameraDolly + kCameraDistance + fit.approach};
}

}  // namespace

FrameFit frameFit(double aspect, double startAspect) {
  // Within 1 % of the start shape counts as it: device pixels rounded at a fractional pixel
  // ratio change the shape a little.
  const double wideFrom = startAspect * 1.01;
  if (startAspect <= 0 || !(aspect > wideFrom)) return {};
  // Beyond 16:9 the scene keeps the 16:9 framing, centred.
  const double shape = std::min(aspect, kFullyWideAspect);
  // From the start framing at wideFrom to the fitted one at 16:9, continuously.
  const double u = std::clamp((shape - wideFrom) / (kFullyWideAspect - wideFrom), 0.0, 1.0);
  const double startTan = std::tan(kFieldOfView / 2 / kDegrees);
  const double startDistance = -kCameraDistance;
  const double startSpan = kSceneHalfWidth / startDistance / (wideFrom * startTan);
  const double startBase = kSceneBottom / startDistance / startTan;
  const double span = startSpan + u * (kWideSpan - startSpan);
  const double base = startBase + u * (kWideBase - startBase);
  const double distance = startDistance - u * kWideApproach;
  // The spectra span `span` of the width; the picture shifts so that their base stands at
  // `base`.
  const double tanHalf = kSceneHalfWidth / distance / (shape * span);
  FrameFit fit;
  fit.fovy = 2 * std::atan(tanHalf) * kDegrees;
  fit.lensShift = base - kSceneBottom / distance / tanHalf;
  fit.approach = static_cast<float>(u * kWideApproach);
  return fit;
}

void setProjection(const GlTable& gl, int width, int height, double startAspect) {
  const double aspect = aspectOf(width, height);
  const FrameFit fit = frameFit(aspect, startAspect);
  gl.glViewport(0, 0, width, height);
  gl.glMatrixMode(GL_PROJECTION);
  gl.glLoadIdentity();
  if (fit.lensShift != 0) gl.glTranslatef(0, static_cast<GLfloat>(fit.lensShift), 0);
  gl.gluPerspective(fit.fovy, aspect, kNear, kFar);
}

ViewTransform sceneTransform(const FrameView& view) {
  const Camera& c = view.camera;
  const double aspect = aspectOf(view.width, view.height);
  const FrameFit fit = frameFit(aspect, view.startAspect);
  const CameraShift shift = cameraShift(c, fit);
  ViewTransform t;
  t.viewport(0, 0, view.width, view.height)
      .translate(0, static_cast<float>(fit.lensShift), 0)
      .perspective(fit.fovy, aspect, kNear, kFar)
      .rotate(c.cameraPitch, 1, 0, 0)
      .rotate(c.cameraYaw, 0, 1, 0)
      .translate(shift.x, shift.y, shift.z);
  return t;
}

void drawFrameView(const GlTable& gl, const FrameView& view,
                   const std::function<void(const ViewTransform&)>& drawScene) {
  setProjection(gl, view.width, view.height, view.startAspect);
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glClearColor(0, 0, 0, 0);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl.glLoadIdentity();
  const Camera& c = view.camera;
  gl.glPushMatrix();
  gl.glRotatef(c.cameraPitch, 1, 0, 0);
  gl.glRotatef(c.cameraYaw, 0, 1, 0);
  const CameraShift shift =
      cameraShift(c, frameFit(aspectOf(view.width, view.height), view.startAspect));
  gl.glTranslatef(shift.x, shift.y, shift.z);
  drawScene(sceneTransform(view));
  gl.glPopMatrix();
}

double sceneShareInView(const FrameView& view) {
  // Points along both spectra's axis and level lines, and the middles of the scopes, meters
  // and sonogram, in the scene's own coordinates.
  static constexpr std::array<std::array<double, 3>, 19> kLandmarks{{
      {-2.6, -1, 0},  {-1.7, -1, 0},    {-0.9, -1, 0},   {0, -1, 0},      {0.9, -1, 0},
      {1.7, -1, 0},   {2.6, -1, 0},     {-2.6, 0.34, 0}, {-1.3, 0.34, 0}, {0, 0.34, 0},
      {1.3, 0.34, 0}, {2.6, 0.34, 0},   {-2.2, -0.3, 0}, {2.2, -0.3, 0},  {-3.5, 1, -5},
      {3.5, 1, -5},   {-0.5, 2.25, -5}, {-1.3, 1.9, -7}, {1.3, 1.9, -7},
  }};
  const ViewTransform t = sceneTransform(view);
  const auto seen = std::count_if(kLandmarks.begin(), kLandmarks.end(), [&t](const auto& p) {
    return t.inViewport(t.project(p[0], p[1], p[2]));
  });
  return static_cast<double>(seen) / static_cast<double>(kLandmarks.size());
}

QImage readBackBuffer(const GlTable& gl, int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  if (image.isNull()) return image;  // no memory for it: GL would write through a null row
  gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.glReadBuffer(GL_BACK);
  for (int y = 0; y < height; ++y) {  // GL rows run bottom up
    gl.glReadPixels(0, height - 1 - y, width, 1, GL_RGB, GL_UNSIGNED_BYTE, image.scanLine(y));
  }
  return image;
}

}  // namespace bandscope
