#pragma once
// The main window Form1: the display panel above the control strip, the start-up, the
// frame tick and the handlers of the controls and the mouse.
//
// Threads: everything here runs on the UI thread except Audio1Record, which the recorder
// calls on the capture thread; it only appends to the sample buffer, under that buffer's lock.

#include <QImage>
#include <QLabel>
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
#include "app/sound_services.h"
#include "audio/audio.h"
#include "display/frame.h"
#include "platform/gl_loader.h"
#include "platform/qt_gl_platform.h"

namespace bandscope {

class TForm1 : public QWidget, public SurfaceHost {
 public:
  TForm1(const CommandLine& line, SoundServices& sound);
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
  void devComboChange();
  void Button1Click();
  void Audio1Record(void* Sender, void* LP, void* RP, uint16_t BufferSize);
  void Audio1BufferPlayed(void* /*Sender*/) {}  // nothing to do
  // The session ends: the audio component is destroyed, once; later handlers find it gone.
  void endSession();

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
  // Null before start-up and after the session's end.
  std::unique_ptr<audio::TAudio> Audio1;
  // Why capture is not running, or why the mixer did not start; hidden when empty.
  QLabel* statusLabel;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showError(const std::exception& e);
  void updateStatus();
  void finishRun();
  FrameOptions frameOptions() const;
  void drawFrameRate();
  QImage readPanel();
  void panelMouse(QMouseEvent* e, int what);

  CommandLine line_;
  SoundServices& sound_;
  QString mixerHint_;
  bool captureWanted_ = false;
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
