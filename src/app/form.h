#pragma once
// The main window Form1: the display panel above the control strip, the start-up, the
// frame tick and the handlers of the controls and the mouse.
//
// Threads: everything here runs on the UI thread. The sample buffer it owns is also
// appended to from the capture thread, through its own lock.

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/camera.h"
#include "app/command_line.h"
#include "app/control_panel.h"
#include "app/display_panel.h"
#include "app/frame_rate.h"
#include "app/gl_binding.h"
#include "app/gl_surface.h"
#include "display/frame.h"
#include "platform/gl_loader.h"
#include "platform/qt_gl_platform.h"

namespace bandscope {

class TForm1 : public QWidget, public SurfaceHost {
 public:
  explicit TForm1(const CommandLine& line);
  ~TForm1() override;

  // Start-up; errors are shown in a message box and leave the window without a surface.
  void FormCreate();
  void Timer1Timer();

  void bands_ScrollBarChange();
  void ScrollBar1Change();
  void sono_steps_ScrollBarChange();
  void AlwaysOnTopCheckBoxClick();
  void zBuffer_CheckBoxClick();
  void FormMouseWheel(int wheelDelta);

  // SurfaceHost
  void stopTimer() override { Timer1.stop(); }
  void startTimer() override { Timer1.start(); }
  bool applyStayOnTop() override;
  SurfaceHandle panelSurface() override { return mainDisp; }
  bool panelExposed() override { return mainDisp->isExposed(); }
  bool zBufferChecked() override { return controls.zBuffer_CheckBox->isChecked(); }
  int clientWidth() override;
  int clientHeight() override;

  // Called with each finished frame's picture while a screenshot is wanted.
  std::function<void(const QImage&)> onFrameCaptured;
  void saveScreenshot();  // asks for a file, then saves the next frame

  ControlPanel controls;
  DisplayPanel* mainDisp;
  QTimer Timer1;
  std::unique_ptr<FrameModel> model;
  std::unique_ptr<SampleBuffer> samples;
  Camera camera;
  CameraDrag drag;
  FrameRate frameRate;
  int tickCount = 0;
  float spinAngle = 0;
  int framesDrawn = 0;
  std::function<int64_t()> clockMs;  // the readout's clock; a monotonic one by default

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showError(const std::exception& e);
  FrameOptions frameOptions() const;
  void drawFrameRate();
  QImage readPanel();
  void panelMouse(QMouseEvent* e, int what);

  CommandLine line_;
  QtGlPlatform platform_;
  DlGlLoader loader_;
  GlTable gl_;
  GlBinding binding_{platform_, loader_, gl_};
  GlSurface surface_;
  QString nextScreenshot_;
  int screenshotNumber_ = 0;
  bool inTick_ = false;
  bool created_ = false;
  char decimalSeparator_ = '.';
};

}  // namespace bandscope
