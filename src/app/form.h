#pragma once
// The main window Form1: the display panel above the control strip, the start-up, the
// frame tick and the handlers of the controls and the mouse. Composes the window's parts;
// the tick's OpenGL work is in frame_view.h, the surface in gl_surface.h.
//
// Threads: everything here runs on the UI thread except Audio1Record, which the recorder
// calls on the capture thread; it only appends to the sample buffer, under that buffer's lock.

#include <QPointF>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "app/camera.h"
#include "app/capture_keeper.h"
#include "app/command_line.h"
#include "app/control_panel.h"
#include "app/display_panel.h"
#include "app/frame_pacer.h"
#include "app/frame_rate.h"
#include "app/fullscreen_strip.h"
#include "app/gl_binding.h"
#include "app/gl_surface.h"
#include "app/key_commands.h"
#include "app/output_file.h"
#include "app/picture_watch.h"
#include "app/saved_settings.h"
#include "app/sound_services.h"
#include "audio/audio.h"
#include "display/frame.h"
#include "display/view_transform.h"
#include "platform/gl_loader.h"
#include "platform/qt_gl_platform.h"

class QCloseEvent;
class QImage;
class QLabel;

namespace bandscope {

class TForm1 : public QWidget, public SurfaceHost {
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
  void Timer1Timer();

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
  void Audio1Record(void* Sender, const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize);
  // The session ends: the audio component is destroyed, once; later handlers find it gone.
  void endSession();
  void saveScreenshot();  // asks for a file, then saves the next frame

  // SurfaceHost
  void stopTimer() override { Timer1.stop(); }
  void startTimer() override { Timer1.start(); }
  void applyStayOnTop() override;
  SurfaceHandle panelSurface() override { return mainDisp; }
  bool panelExposed() override { return mainDisp->readyToDraw(); }
  bool zBufferChecked() override;
  int clientWidth() override;
  int clientHeight() override;
  double pixelRatio() override { return mainDisp->devicePixelRatio(); }

  // The window's components.
  ControlPanel controls;
  DisplayPanel* mainDisp;
  QTimer Timer1;
  QTimer hintTimer;  // clears a note 10 s after it appeared

  // The keys' commands: freeze, fullscreen, leave, quit, help, start view.
  void runKeyCommand(KeyCommand command);
  // While frozen, capture and analysis go on and the picture shows the model as it was.
  void setFrozen(bool frozen);
  bool frozen() const { return frozen_; }
  bool helpShown() const { return helpShown_; }
  // The readout next to the pointer over a spectrum, as the last frame drew it; empty when
  // the pointer is over none.
  const std::string& pointerText() const { return pointerText_; }
  // The last frame showed the way back to the start view: little of the scene was in view.
  bool startViewHinted() const { return startViewHinted_; }
  // Another of the program's windows is open (a dialog, a pop-up, a tooltip): no raise then.
  bool ownWindowOpen() const;

  // What the window shows, for tests and scripted runs.
  int framesDrawn() const { return framesDrawn_; }
  FrameModel& frameModel() { return *model; }
  const Camera& camera() const { return camera_; }
  audio::TAudio* audio() const { return Audio1.get(); }  // null before start-up, after the end
  const QLabel& statusLine() const { return *statusLabel; }
  const CaptureKeeper& capture() const { return keeper_; }  // the source chosen, blocks arrived
  // The monotonic microsecond clock the tick paces itself by; tests set their own.
  void setClock(std::function<int64_t()> clockUs) { clockUs_ = std::move(clockUs); }
  const FramePacer& pacer() const { return pacer_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;  // the settings are saved, as at a stop signal

 private:
  enum class MouseEventKind { Press, Release, Move };

  // The constructor's three parts.
  void buildLayout();
  void placeRemembered();
  void wireControls();
  void wirePanel();

  void showError(const std::exception& e);
  void updateStatus();
  void showNote(const QString& text);
  void frameFailed(const std::exception& e);
  void finishRun();
  bool pictureSeen() const;
  int sonoRowsShown() const;
  void printStats(int64_t now);
  FrameOptions frameOptions() const;
  int displayRate() const;
  void panelMouse(QMouseEvent* e, MouseEventKind kind);
  QImage readPanel();
  // Writes the screenshot due this frame, if any; empty, or the one line saying why not.
  std::string writeDueScreenshot(bool lastFrame);
  SavedSettings currentSettings() const;
  void rememberSettings();
  QSize panelPixels() const;
  void updatePointerText(const ViewTransform& view, QSize picture);

  CommandLine line_;
  SoundServices& sound_;
  SettingsFile settings_;
  SavedSettings saved_;                   // as read at start-up
  std::optional<SavedSettings> started_;  // as start-up left them; none if it failed
  bool placeFitted_ = false;              // the remembered place or size did not fit the screens
  std::unique_ptr<FrameModel> model;
  std::unique_ptr<SampleBuffer> samples;
  Camera camera_;
  CameraDrag drag;
  FrameRate frameRate;
  int tickCount = 0;
  float spinAngle = 0;
  int framesDrawn_ = 0;
  std::function<int64_t()> clockUs_;  // monotonic, microseconds
  FramePacer pacer_;
  PictureWatch watch_;
  int64_t nextStillFrameUs_ = 0;  // while the picture is still, when it is drawn next
  CaptureKeeper keeper_;
  std::unique_ptr<audio::TAudio> Audio1;
  // Why capture is not running, or why the mixer did not start; hidden when empty.
  QLabel* statusLabel;
  QString note_;       // the mixer's hint, or what went wrong in a frame; shown for 10 s
  std::string boxed_;  // the last frame failure shown in a box: shown once, not per tick
  QtGlPlatform platform_;
  DlGlLoader loader_;
  GlTable gl_;
  GlBinding binding_{platform_, loader_, gl_};
  GlSurface surface_;
  std::string nextScreenshot_;  // the dialog's choice, as its bytes; empty: none due
  WriteMode nextScreenshotMode_ = WriteMode::Replace;
  int screenshotNumber_ = 0;
  bool inTick_ = false;
  int64_t statsDueUs_ = 0;
  bool created_ = false;
  char decimalSeparator_ = '.';
  bool frozen_ = false;
  std::unique_ptr<FrameModel> frozenModel_;  // made on the first freeze, reused after
  float frozenSpin_ = 0;
  bool helpShown_ = false;
  std::optional<QPointF> pointer_;  // over the panel, in its logical pixels
  std::string pointerText_;
  bool startViewHinted_ = false;
  double startAspect_ = 0;  // the viewport's shape at the start size; 0 until start-up
  FullscreenStrip fullscreenStrip_{*this, *controls.strip};
};

}  // namespace bandscope
