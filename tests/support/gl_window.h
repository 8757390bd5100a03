#pragma once
// A shown QWindow with the program's OpenGL surface on it, through the real binding, the
// system's GL libraries and the bitmap font: for tests that render and read pixels back.
// Needs the QGuiApplication of gui_test_main.cpp and a display.

#include <QWindow>
#include <array>
#include <functional>
#include <vector>

#include "gl/gl_binding.h"
#include "gl/gl_surface.h"
#include "platform/gl_loader.h"
#include "platform/qt_gl_platform.h"

namespace bandscope::test {

// Runs the event loop until done() or the time runs out; returns done().
bool waitFor(const std::function<bool()>& done, int ms = 5000);

class PanelHost : public SurfaceHost {
 public:
  PanelHost(int width, int height);
  void stopTimer() override { ++timerStops; }
  void startTimer() override { ++timerStarts; }
  void applyStayOnTop() override;
  SurfaceHandle panelSurface() override { return &panel; }
  bool panelExposed() override { return panel.isExposed(); }
  bool zBufferChecked() override { return zBuffer; }
  int clientWidth() override { return width; }
  int clientHeight() override { return height; }
  double pixelRatio() override { return panel.devicePixelRatio(); }

  QWindow panel;
  int width, height;
  bool stayOnTop = false, zBuffer = false;
  int timerStops = 0, timerStarts = 0;
};

using Pixels = std::vector<std::array<uint8_t, 3>>;  // bottom row first

// The window, its surface made current and the font lists built; torn down at the end.
struct GlWindow {
  GlWindow(int width, int height);
  ~GlWindow();
  bool ready() const { return surface.hasSurface(); }
  Pixels readBack();  // the back buffer, after glFinish

  PanelHost host;
  QtGlPlatform platform;
  DlGlLoader loader;
  GlTable gl;
  GlBinding binding{platform, loader, gl};
  GlSurface surface;
};

}  // namespace bandscope::test
