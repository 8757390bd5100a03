#pragma once
// The window's frame loop: the analysis model and its frozen copy, the spin, the pacing, the
// frame rate, the OpenGL table with its binding and the panel's surface, whether the picture
// can change, and the screenshot due. Each tick of Timer1 runs the capture's upkeep, the
// analysis steps due and, where the picture can change, one frame: the scene, the texts over
// it, the screenshot, the swap; then it sets Timer1 to the next frame.
//
// Threads: UI thread only.

#include <QPointF>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/frame/frame_pacer.h"
#include "app/frame/frame_rate.h"
#include "app/frame/picture_watch.h"
#include "app/run/output_file.h"
#include "app/window/frame_host.h"
#include "display/frame.h"
#include "gl/gl_binding.h"
#include "gl/gl_surface.h"
#include "platform/gl_loader.h"
#include "platform/qt_gl_platform.h"

class QImage;
class QSize;
class QTimer;

namespace bandscope {

class CaptureSession;
class DisplayPanel;
class ViewTransform;
struct Camera;
struct CommandLine;
struct ControlPanel;

class FrameLoop {
 public:
  // Every reference outlives the loop; timer is the window's Timer1; clockUs is monotonic
  // microseconds.
  FrameLoop(FrameHost& host, const CommandLine& line, const ControlPanel& controls,
            DisplayPanel& panel, QTimer& timer, const Camera& camera, CaptureSession& capture,
            std::function<int64_t()> clockUs);
  ~FrameLoop();
  FrameLoop(const FrameLoop&) = delete;
  FrameLoop& operator=(const FrameLoop&) = delete;

  // Timer1's tick. Nothing before the surface exists, nor inside a tick (a message box opened
  // by a failure runs the event loop); a failure goes to the host.
  void tick();

  // Start-up: the model the handlers set up, the surface to create, the rate to pace to,
  // and the viewport's shape at the start size (0 until then).
  FrameModel& model() { return *model_; }
  GlSurface& surface() { return surface_; }
  FramePacer& pacer() { return pacer_; }
  void setStartAspect(double aspect) { startAspect_ = aspect; }

  // While frozen, capture and analysis go on and the picture shows the model as it was.
  void setFrozen(bool frozen);
  bool frozen() const { return frozen_; }
  void setHelpShown(bool shown) { helpShown_ = shown; }
  bool helpShown() const { return helpShown_; }
  // The pointer over the panel, in its logical pixels; none once it left.
  void setPointer(std::optional<QPointF> at) { pointer_ = at; }
  // The readout next to the pointer as the last frame drew it; empty over no spectrum.
  const std::string& pointerText() const { return pointerText_; }
  // The last frame showed the way back to the start view: little of the scene was in view.
  bool startViewHinted() const { return startViewHinted_; }
  // Input, a resize or an expose that may change the picture: full rate again.
  void pictureMoved() { watch_.moved(); }
  // The next frame writes the picture to path (its bytes), as mode says.
  void queueScreenshot(std::string path, WriteMode mode);
  int framesDrawn() const { return framesDrawn_; }

 private:
  void upkeep();
  void step(int64_t now);
  bool analyse(int64_t now);  // true: the picture stands still
  std::string measureRate(int64_t now);
  QSize drawPicture();
  void drawTexts(QSize picture, const std::string* rate);
  bool present();  // true: the scripted run's last frame
  void scheduleNext(bool last, bool still);

  FrameOptions frameOptions() const;
  const FrameModel& shown() const { return frozen_ ? *frozenModel_ : *model_; }
  int sonoRowsShown() const;
  void printStats(int64_t now);
  void finishRun();
  QSize panelPixels() const;
  QImage readPanel();
  // Writes the screenshot due this frame, if any; empty, or the one line saying why not.
  Result<void> writeDueScreenshot(bool lastFrame);
  void updatePointerText(const ViewTransform& view, QSize picture);

  FrameHost& host_;
  const CommandLine& line_;
  const ControlPanel& controls_;
  DisplayPanel& panel_;
  QTimer& Timer1;
  const Camera& camera_;
  CaptureSession& capture_;
  std::function<int64_t()> clockUs_;

  std::unique_ptr<FrameModel> model_;
  std::unique_ptr<FrameModel> frozenModel_;  // made on the first freeze, reused after
  float spinAngle_ = 0;
  float frozenSpin_ = 0;
  bool frozen_ = false;
  FrameRate frameRate_;
  FramePacer pacer_;
  PictureWatch watch_;
  int64_t nextStillFrameUs_ = 0;  // while the picture is still, when it is drawn next
  int tickCount_ = 0;
  int framesDrawn_ = 0;
  bool inTick_ = false;
  int64_t statsDueUs_ = 0;
  char decimalSeparator_ = '.';
  double startAspect_ = 0;
  bool helpShown_ = false;
  std::optional<QPointF> pointer_;
  std::string pointerText_;
  bool startViewHinted_ = false;

  QtGlPlatform platform_;
  DlGlLoader loader_;
  GlTable gl_;
  GlBinding binding_{platform_, loader_, gl_};
  GlSurface surface_;
  std::string nextScreenshot_;  // empty: none due
  WriteMode nextScreenshotMode_ = WriteMode::Replace;
};

}  // namespace bandscope
