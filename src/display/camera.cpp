#include "display/camera.h"

namespace bandscope {

void CameraDrag::mainDispMouseDown(MouseButtons held) {
  if (held.left) dragMode = 1;
  if (held.right) dragMode = 2;  // the right button wins when both are down
}

void CameraDrag::mainDispMouseUp() {
  dragMode = 0;
}

void CameraDrag::mainDispMouseMove(Camera& camera, MouseButtons held, bool shift, int32_t x,
                                   int32_t y) {
  const float dx = static_cast<float>(x - lastMouseX);
  const float dy = static_cast<float>(y - lastMouseY);
  if ((shift || (held.left && held.right)) && dragMode != 0) {
    camera.cameraPanY += dy / 150;
    camera.cameraPanX += dx / 150;
  } else if (dragMode == 1) {
    camera.cameraDolly += dy / 50;
    camera.cameraYaw += dx / 10;
  } else if (dragMode == 2) {
    camera.cameraPitch += dy / 10;
    camera.cameraYaw += dx / 10;
  }
  lastMouseX = x;
  lastMouseY = y;
}

void CameraDrag::mainDispDblClick(Camera& camera) {
  camera = Camera{};
}

}  // namespace bandscope
