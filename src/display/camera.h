#pragma once
// The mouse camera over the display panel: drags turn, dolly and pan the scene, a double
// click brings back the start-up view. UI thread only.

#include <cstdint>

namespace bandscope {

struct Camera {
  float cameraPitch = 0;  // degrees about x
  float cameraYaw = 0;    // degrees about y
  float cameraPanX = 0;
  float cameraPanY = 1.0f;  // applied negated
  float cameraDolly = 0;    // added to the fixed distance -4.9
};

struct MouseButtons {
  bool left = false;
  bool right = false;
  bool middle = false;
};

struct CameraDrag {
  uint8_t dragMode = 0;  // 0 none, 1 left drag, 2 right drag
  int32_t lastMouseX = 0;
  int32_t lastMouseY = 0;

  void mainDispMouseDown(MouseButtons held);
  void mainDispMouseUp();
  void mainDispMouseMove(Camera& camera, MouseButtons held, bool shift, int32_t x, int32_t y);
  static void mainDispDblClick(Camera& camera);
};

}  // namespace bandscope
