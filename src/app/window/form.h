#pragma once
// The main window Form1: the display panel above the control strip, the start-up and the
// handlers of the controls, the keys and the mouse. Composes the window's parts: the frame
// loop (frame_loop.h) draws, the capture session (capture_session.h) records, the strip is
// control_panel.h.
//
// Threads: everything here runs on the UI thread except Audio1Record, which the recorder
// calls on the capture thread (it forwards to the capture session's).

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/run/command_line.h"
#include "app/window/control_panel.h"
#include "app/window/frame_host.h"
#include "app/window/saved_settings.h"
#include "display/camera.h"

class QCloseEvent;
class QLabel;
class QMouseEvent;

namespace bandscope {

namespace audio {
class TAudio;
}
class CaptureKeeper;
class CaptureSession;
class DisplayPanel;
class FrameLoop;
class FramePacer;
class FullscreenStrip;
struct FrameModel;
struct SoundServices;
enum class KeyCommand;

class TForm1 : public QWidget, public FrameHost {
 public:
  // The window opens at 441 x 350, or taller (as far as the screen allows) where the strip's
  // rows would leave less picture than leastStartPicture().
  static constexpr int kStartWidth = 441;
  static constexpr int kStartHeight = 350;
  static constexpr int kLeastStartPicture = 200;
  // At least kLeastStartPicture, and room for the whole help (F1) below the two lines over it.
  static int leastStartPicture();

  TForm1(const CommandLine& line, SoundServices& sound);
  ~TForm1() override;

  // Shows the window maximised or full screen where it was left so, over its normal place.
  void showRemembered();
  // Start-up; errors are shown in a message box and leave the window without a surface.
  void FormCreate();
  void Timer1Timer();  // the frame loop's tick

  void bands_ScrollBarChange();
  void ScrollBar1Change();
  void sono_steps_ScrollBarChange();
  void AlwaysOnTopCheckBoxClick();
  void zBuffer_CheckBoxClick();
  void FormMouseWheel(int wheelDelta);
  void devComboChange();
  // The "16 bit" box: capture stops, the recorder, the sample buffer and the analysis take the
  // other sample width, and capture starts again on the same source.
  void bits16CheckBoxClick();
  void rangeComboChange();  // the 16-bit level axis' depth
  void Button1Click();
  // Capture thread: the capture session's handler.
  void Audio1Record(void* Sender, const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize);
  // The session ends: the audio component is destroyed, once; later handlers find it gone.
  void endSession();
  void saveScreenshot();  // asks for a file, then saves the next frame

  // SurfaceHost
  void stopTimer() override { Timer1.stop(); }
  void startTimer() override { Timer1.start(); }
  void applyStayOnTop() override;
  SurfaceHandle panelSurface() override;
  bool panelExposed() override;
  bool zBufferChecked() override;
  int clientWidth() override;
  int clientHeight() override;
  double pixelRatio() override;
  // FrameHost
  bool pictureSeen() const override;
  void updateStatus() override;
  void showNote(const QString& text) override;
  void keepOnTop() override;
  void frameFailed(const std::exception& e) override;

  // The window's components.
  ControlPanel controls;
  DisplayPanel* mainDisp;
  QTimer Timer1;
  QTimer hintTimer;  // clears a note 10 s after it appeared

  // The keys' commands: freeze, fullscreen, leave, quit, help, start view.
  void runKeyCommand(KeyCommand command);
  // While frozen, capture and analysis go on and the picture shows the model as it was.
  void setFrozen(bool frozen);
  bool frozen() const;
  bool helpShown() const;
  // The readout next to the pointer over a spectrum, as the last frame drew it; empty when
  // the pointer is over none.
  const std::string& pointerText() const;
  // The last frame showed the way back to the start view: little of the scene was in view.
  bool startViewHinted() const;
  // Another of the program's windows is open (a dialog, a pop-up, a tooltip): no raise then.
  bool ownWindowOpen() const;

  // What the window shows, for tests and scripted runs.
  int framesDrawn() const;
  FrameModel& frameModel();
  const Camera& camera() const { return camera_; }
  audio::TAudio* audio() const;  // null before start-up, after the end
  const QLabel& statusLine() const { return *statusLabel; }
  const CaptureKeeper& capture() const;  // the source chosen, blocks arrived
  // The monotonic microsecond clock the tick paces itself by; tests set their own.
  void setClock(std::function<int64_t()> clockUs) { clockUs_ = std::move(clockUs); }
  const FramePacer& pacer() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;  // the settings are saved, as at a stop signal

 private:
  enum class MouseEventKind { Press, Release, Move };

  // The constructor's parts.
  void applyStartValues();
  void buildLayout();
  void placeRemembered();
  void startTimers();
  void wireControls();
  void wireScreenshot();
  void wirePanel();
  void panelExposedNow();
  // FormCreate's steps, in its order.
  void setUpAnalysis();
  void setUpBars(uint16_t bands);
  void chooseStartSource();
  void fixStartView();

  void showError(const std::exception& e);
  int displayRate() const;
  bool keyPressed(QObject* watched, QEvent* event);
  bool wheelTurned(QObject* watched, QEvent* event);
  void panelMouse(QMouseEvent* e, MouseEventKind kind);
  SavedSettings currentSettings() const;
  void rememberSettings();

  CommandLine line_;
  SettingsFile settings_;
  SavedSettings saved_;                   // as read at start-up
  std::optional<SavedSettings> started_;  // as start-up left them; none if it failed
  bool placeFitted_ = false;              // the remembered place or size did not fit the screens
  Camera camera_;
  CameraDrag drag;
  std::function<int64_t()> clockUs_;  // monotonic, microseconds
  std::unique_ptr<CaptureSession> session_;
  std::unique_ptr<FrameLoop> loop_;
  // Why capture is not running, or why the mixer did not start; hidden when empty.
  QLabel* statusLabel;
  QString note_;       // the mixer's hint, or what went wrong in a frame; shown for 10 s
  std::string boxed_;  // the last frame failure shown in a box: shown once, not per tick
  int screenshotNumber_ = 0;
  bool created_ = false;
  std::unique_ptr<FullscreenStrip> fullscreenStrip_;
};

}  // namespace bandscope
