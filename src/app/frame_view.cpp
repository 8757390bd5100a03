#include "app/frame_view.h"

namespace bandscope {

namespace {

constexpr float kCameraDistance = -4.9f;
constexpr double kFieldOfView = 45.0;  // degrees, vertical
constexpr double kNear = 0.1;
constexpr double kFar = 100.0;

double aspectOf(int width, int height) {
  return static_cast<double>(width) / height;
}

// The camera's translation, as glTranslatef takes it.
struct CameraShift {
  float x, y, z;
};
CameraShift cameraShift(const Camera& c) {
  return {c.cameraPanX, -c.cameraPanY, c.cameraDolly + kCameraDistance};
}

}  // namespace

void setProjection(const GlTable& gl, int width, int height) {
  gl.glViewport(0, 0, width, height);
  gl.glMatrixMode(GL_PROJECTION);
  gl.glLoadIdentity();
  gl.gluPerspective(kFieldOfView, aspectOf(width, height), kNear, kFar);
}

ViewTransform sceneTransform(const FrameView& view) {
  const Camera& c = view.camera;
  const CameraShift shift = cameraShift(c);
  ViewTransform t;
  t.viewport(0, 0, view.width, view.height)
      .perspective(kFieldOfView, aspectOf(view.width, view.height), kNear, kFar)
      .rotate(c.cameraPitch, 1, 0, 0)
      .rotate(c.cameraYaw, 0, 1, 0)
      .translate(shift.x, shift.y, shift.z);
  return t;
}

void drawFrameView(const GlTable& gl, const FrameView& view,
                   const std::function<void(const ViewTransform&)>& drawScene) {
  setProjection(gl, view.width, view.height);
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glClearColor(0, 0, 0, 0);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl.glLoadIdentity();
  const Camera& c = view.camera;
  gl.glPushMatrix();
  gl.glRotatef(c.cameraPitch, 1, 0, 0);
  gl.glRotatef(c.cameraYaw, 0, 1, 0);
  const CameraShift shift = cameraShift(c);
  gl.glTranslatef(shift.x, shift.y, shift.z);
  drawScene(sceneTransform(view));
  gl.glPopMatrix();
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
