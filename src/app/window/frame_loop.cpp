#include "app/window/frame_loop.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QLocale>
#include <QSize>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/frame/overlays.h"
#include "app/run/command_line.h"
#include "app/run/csv_export.h"
#include "app/run/failure_report.h"
#include "app/run/picture_file.h"
#include "app/run/start_guard.h"
#include "app/window/capture_session.h"
#include "app/window/control_panel.h"
#include "app/window/display_panel.h"
#include "app/window/key_commands.h"
#include "display/camera.h"
#include "display/gl_font.h"
#include "display/pointer_readout.h"
#include "gl/frame_view.h"

namespace bandscope {

namespace {

void makeFontLists(const GlTable& gl, GLuint& base, TextMetrics& metrics, double ratio) {
  createFontLists(gl, base, metrics, "Smallfonts", rasteriseGlyphs, ratio);
}

// Frames between two raises of a window that stays on top.
constexpr int kRaiseEvery = 120;

}  // namespace

FrameLoop::FrameLoop(FrameHost& host, const CommandLine& line, const ControlPanel& controls,
                     DisplayPanel& panel, QTimer& timer, const Camera& camera,
                     CaptureSession& capture, std::function<int64_t()> clockUs)
    : host_(host),
      line_(line),
      controls_(controls),
      panel_(panel),
      Timer1(timer),
      camera_(camera),
      capture_(capture),
      clockUs_(std::move(clockUs)),
      model_(std::make_unique<FrameModel>()),
      surface_(binding_, platform_, gl_, host, makeFontLists) {
  // The labels' decimal separator: read once, not in every frame.
  const char separator = QLocale::system().decimalPoint().at(0).toLatin1();
  decimalSeparator_ = separator ? separator : '.';
}

FrameLoop::~FrameLoop() = default;

void FrameLoop::tick() {
  if (inTick_ || !surface_.hasSurface()) return;
  inTick_ = true;
  try {
    upkeep();
    step(clockUs_());
  } catch (const std::exception& e) {
    inTick_ = false;
    host_.frameFailed(e);
    return;
  }
  inTick_ = false;
}

// The capture's upkeep, which runs even while nobody sees the picture.
void FrameLoop::upkeep() {
  capture_.upkeep(line_.offline);
  surface_.followPixelRatio();  // the window may have moved to a screen of another ratio
  host_.updateStatus();
}

// Analyse what is due, draw, the texts over it, swap, and the time of the next tick.
void FrameLoop::step(int64_t now) {
  if (line_.stats) printStats(now);
  // Nobody sees the picture: only the capture's upkeep. The analysis catches up (as far as a
  // stall's steps are run) in the first frame shown again.
  if (!line_.offline && !host_.pictureSeen()) {
    Timer1.start(PictureWatch::kHiddenMs);
    return;
  }
  const bool still = analyse(now);
  if (still && now < nextStillFrameUs_) {  // analysed, and nothing to draw yet
    Timer1.start(PictureWatch::kWatchMs);
    return;
  }
  nextStillFrameUs_ = now + PictureWatch::kStillFrameUs;
  tickCount_ = (tickCount_ + 1) % kRaiseEvery;
  const bool showRate = controls_.fps_Check->isChecked();
  const std::string rate = showRate ? measureRate(now) : std::string();
  drawTexts(drawPicture(), showRate ? &rate : nullptr);
  scheduleNext(present(), still);
}

// The steps due on the live model; whether the picture drawn from it stands still.
bool FrameLoop::analyse(int64_t now) {
  // Offline every frame is one step of the file; live the wall clock decides.
  const int steps = line_.offline ? 1 : pacer_.stepsDue(now);
  for (int k = 0; k < steps; ++k) spinAngle_ += 0.3f;  // turns with the analysis' clock
  analyseDue(frameOptions(), *model_, capture_.samples(), steps);
  watch_.analysed(frozen_ ? nullptr : model_.get(), steps);
  if (controls_.rot8_check->isChecked() && !frozen_) watch_.moved();
  return !line_.offline && watch_.still(frozen_ ? 0 : sonoRowsShown());
}

std::string FrameLoop::measureRate(int64_t now) {
  frameRate_.measure(now / 1000);
  return frameRate_.text(decimalSeparator_);
}

// The scene as the camera sees it, and the pointer's readout from the same view.
QSize FrameLoop::drawPicture() {
  const FrameView view{host_.clientWidth(), host_.clientHeight(), camera_, startAspect_};
  startViewHinted_ = sceneShareInView(view) < kLostViewShare;
  ViewTransform drawnWith;  // the frame's projection and camera, for the pointer's readout
  drawFrameView(gl_, view, [this, &drawnWith](const ViewTransform& transform) {
    drawnWith = transform;
    drawScene(gl_, frameOptions(), shown(), surface_.fontListBase,
              frozen_ ? frozenSpin_ : spinAngle_, decimalSeparator_, &surface_.textMetrics,
              &transform);
  });
  const QSize picture = panelPixels();
  updatePointerText(drawnWith, picture);
  return picture;
}

void FrameLoop::drawTexts(QSize picture, const std::string* rate) {
  Overlays overlays;
  overlays.frameRate = rate;
  overlays.frozen = frozen_;
  if (helpShown_) overlays.help = helpLines();
  if (startViewHinted_) overlays.bottomHint = kStartViewHint;
  if (!pointerText_.empty() && pointer_) {
    overlays.pointerText = &pointerText_;
    overlays.pointerX = qRound(pointer_->x() * panel_.devicePixelRatio());
    overlays.pointerY = qRound(pointer_->y() * panel_.devicePixelRatio());
  }
  drawOverlays(gl_, surface_.fontListBase, &surface_.textMetrics, picture.width(), picture.height(),
               overlays);
}

// The frame counted, its screenshot written, shown.
bool FrameLoop::present() {
  ++framesDrawn_;
  const bool last = line_.frames && framesDrawn_ >= *line_.frames;
  if (const Result<void> shot = writeDueScreenshot(last); !shot) {
    if (last) {  // the scripted run's result; nothing is scheduled after it
      Timer1.stop();
      endRunOnFailure(shot.failure());
      return false;
    }
    host_.showNote(statusText(shot.failure()));  // the picture goes on
  }
  surface_.swapBuffers();
  if (framesDrawn_ == 1) startFinished();
  if (tickCount_ == 0) host_.keepOnTop();
  return last;
}

void FrameLoop::scheduleNext(bool last, bool still) {
  if (last) {
    finishRun();
  } else if (!line_.offline && Timer1.isActive()) {  // the UI thread sleeps till the next
    Timer1.start(still ? PictureWatch::kWatchMs : pacer_.msUntilNextFrame(clockUs_()));
  }
}

FrameOptions FrameLoop::frameOptions() const {
  const ControlPanel& c = controls_;
  return {c.StereoCheckBox->isChecked(), c.sono_check->isChecked(),
          c.rot8_check->isChecked(),     c.static_check->isChecked(),
          c.col_check->isChecked(),      c.dB_check->isChecked(),
          c.Hz_check->isChecked(),       c.stereoSpreadCheckBox->isChecked(),
          c.boostHi_check->isChecked()};
}

void FrameLoop::setFrozen(bool frozen) {
  if (frozen && !frozen_) {
    if (frozenModel_) {
      *frozenModel_ = *model_;
    } else {
      frozenModel_ = std::make_unique<FrameModel>(*model_);
    }
    frozenSpin_ = spinAngle_;
  }
  frozen_ = frozen;
  watch_.moved();
}

// The band under the pointer in the model drawn, found through the frame's own view.
void FrameLoop::updatePointerText(const ViewTransform& view, QSize picture) {
  pointerText_.clear();
  if (!pointer_) return;
  const qreal dpr = panel_.devicePixelRatio();
  const double wx = pointer_->x() * dpr;
  const double wy = picture.height() - pointer_->y() * dpr;  // GL counts rows from the bottom
  const ControlPanel& c = controls_;
  const std::optional<PointedBand> band =
      bandUnderPointer(view, shown(), c.StereoCheckBox->isChecked(), wx, wy);
  if (band) {
    pointerText_ = pointerReadout(shown(), *band, c.boostHi_check->isChecked(), decimalSeparator_);
  }
}

// One line a second for scripts that watch the capture (the soak test).
void FrameLoop::printStats(int64_t now) {
  if (now < statsDueUs_) return;
  if (statsDueUs_ == 0) statsDueUs_ = now;
  statsDueUs_ += 1'000'000;
  std::printf("stats us=%lld blocks=%llu recording=%d frames=%d dropped=%llu\n",
              static_cast<long long>(now),
              static_cast<unsigned long long>(capture_.keeper().blocksReceived()),
              capture_.recording() ? 1 : 0, framesDrawn_,
              static_cast<unsigned long long>(capture_.samples().dropped()));
  std::fflush(stdout);
}

int FrameLoop::sonoRowsShown() const {
  return controls_.sono_check->isChecked() ? model_->settings.sonoSteps : 0;
}

void FrameLoop::finishRun() {
  Timer1.stop();
  if (!line_.exportCsv.empty()) {
    const int channels = controls_.StereoCheckBox->isChecked() ? 2 : 1;
    if (const Result<void> csv = writeAnalysisCsvFile(line_.exportCsv, *model_, channels); !csv) {
      endRunOnFailure({"cannot write the CSV file " + line_.exportCsv + ": " + csv.failure().text,
                       csv.failure().code});
      return;
    }
  }
  QCoreApplication::exit(0);
}

QSize FrameLoop::panelPixels() const {
  const qreal dpr = panel_.devicePixelRatio();
  return {std::max(1, static_cast<int>(panel_.width() * dpr)),
          std::max(1, static_cast<int>(panel_.height() * dpr))};
}

QImage FrameLoop::readPanel() {
  const QSize size = panelPixels();
  return readBackBuffer(gl_, size.width(), size.height());
}

void FrameLoop::queueScreenshot(std::string path, WriteMode mode) {
  nextScreenshot_ = std::move(path);
  nextScreenshotMode_ = mode;
}

Result<void> FrameLoop::writeDueScreenshot(bool lastFrame) {
  std::string path = std::exchange(nextScreenshot_, std::string());
  WriteMode mode = nextScreenshotMode_;
  if (lastFrame && !line_.screenshot.empty()) {
    path = line_.screenshot;  // its bytes as given
    mode = WriteMode::Replace;
  }
  if (path.empty()) return {};
  const QImage shot = readPanel();
  const Result<void> written =
      shot.isNull() ? Failure{outOfMemoryReason()} : writePictureFile(shot, path, mode);
  if (written) return {};
  return Failure{"cannot write the screenshot " + path + ": " + written.failure().text,
                 written.failure().code};
}

}  // namespace bandscope
