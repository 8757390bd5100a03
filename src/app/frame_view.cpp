#include "app/frame_view.h"

namespace bandscope {

namespace {

constexpr float kCameraDistance = -4.9f;

}  // namespace

void setProjection(const GlTable& gl, int width, int height) {
  gl.glViewport(0, 0, width, height);
  gl.glMatrixMode(GL_PROJECTION);
  gl.glLoadIdentity();
  gl.gluPerspective(45.0, static_cast<double>(width) / height, 0.1, 100.0);
}

void drawFrameView(const GlTable& gl, const FrameView& view,
                   const std::function<void()>& drawScene) {
  setProjection(gl, view.width, view.height);
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glClearColor(0, 0, 0, 0);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl.glLoadIdentity();
  const Camera& c = view.camera;
  gl.glPushMatrix();
  gl.glRotatef(c.cameraPitch, 1, 0, 0);
  gl.glRotatef(c.cameraYaw, 0, 1, 0);
  gl.glTranslatef(c.cameraPanX, -c.cameraPanY, c.cameraDolly + kCameraDistance);
  drawScene();
  gl.glPopMatrix();
}

QImage readBackBuffer(const GlTable& gl, int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.glReadBuffer(GL_BACK);
  for (int y = 0; y < height; ++y) {  // GL rows run bottom up
    gl.glReadPixels(0, height - 1 - y, width, 1, GL_RGB, GL_UNSIGNED_BYTE, image.scanLine(y));
  }
  return image;
}

}  // namespace bandscope
