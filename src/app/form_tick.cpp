// The frame tick and what it shows: the scene, the texts over it, screenshots and the end
// of a scripted run.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QToolTip>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/csv_export.h"
#include "app/form.h"
#include "app/frame_view.h"
#include "app/output_file.h"
#include "app/overlays.h"
#include "app/picture_file.h"
#include "app/start_guard.h"
#include "display/pointer_readout.h"

namespace bandscope {

FrameOptions TForm1::frameOptions() const {
  const ControlPanel& c = controls;
  return {c.StereoCheckBox->isChecked(), c.sono_check->isChecked(),
          c.rot8_check->isChecked(),     c.static_check->isChecked(),
          c.col_check->isChecked(),      c.dB_check->isChecked(),
          c.Hz_check->isChecked(),       c.stereoSpreadCheckBox->isChecked(),
          c.boostHi_check->isChecked()};
}

void TForm1::Timer1Timer() {
  if (inTick_ || !surface_.hasSurface()) return;
  inTick_ = true;
  try {
    if (line_.offline && Audio1) Audio1->Recorder->deliverNext();  // exactly one buffer
    samples->drain();  // the blocks recorded since the last tick, filtered and thinned here
    keeper_.tick(*samples, !line_.offline);
    surface_.followPixelRatio();  // the window may have moved to a screen of another ratio
    updateStatus();
    const int64_t now = clockUs_();
    if (line_.stats) printStats(now);
    // Nobody sees the picture: only the capture's upkeep above. The analysis catches up (as far
    // as a stall's steps are run) in the first frame shown again.
    if (!line_.offline && !pictureSeen()) {
      inTick_ = false;
      Timer1.start(PictureWatch::kHiddenMs);
      return;
    }
    // Offline every frame is one step of the file; live the wall clock decides.
    const int steps = line_.offline ? 1 : pacer_.stepsDue(now);
    for (int k = 0; k < steps; ++k) spinAngle += 0.3f;  // turns with the analysis' clock
    analyseDue(frameOptions(), *model, *samples, steps);
    watch_.analysed(frozen_ ? nullptr : model.get(), steps);
    if (controls.rot8_check->isChecked() && !frozen_) watch_.moved();
    const bool still = !line_.offline && watch_.still(frozen_ ? 0 : sonoRowsShown());
    if (still && now < nextStillFrameUs_) {  // analysed, and nothing to draw yet
      inTick_ = false;
      Timer1.start(PictureWatch::kWatchMs);
      return;
    }
    nextStillFrameUs_ = now + PictureWatch::kStillFrameUs;
    tickCount = (tickCount + 1) % 120;
    std::string rate;
    const bool showRate = controls.fps_Check->isChecked();
    if (showRate) {
      frameRate.measure(now / 1000);
      rate = frameRate.text(decimalSeparator_);
    }
    const FrameView view{clientWidth(), clientHeight(), camera_, startAspect_};
    startViewHinted_ = sceneShareInView(view) < kLostViewShare;
    ViewTransform drawnWith;  // the frame's projection and camera, for the pointer's readout
    drawFrameView(gl_, view, [this, &drawnWith](const ViewTransform& transform) {
      drawnWith = transform;
      drawScene(gl_, frameOptions(), frozen_ ? *frozenModel_ : *model, surface_.fontListBase,
                frozen_ ? frozenSpin_ : spinAngle, decimalSeparator_, &surface_.textMetrics,
                &transform);
    });
    const QSize picture = panelPixels();
    updatePointerText(drawnWith, picture);
    Overlays overlays;
    overlays.frameRate = showRate ? &rate : nullptr;
    overlays.frozen = frozen_;
    if (helpShown_) overlays.help = helpLines();
    if (startViewHinted_) overlays.bottomHint = kStartViewHint;
    if (!pointerText_.empty() && pointer_) {
      overlays.pointerText = &pointerText_;
      overlays.pointerX = qRound(pointer_->x() * mainDisp->devicePixelRatio());
      overlays.pointerY = qRound(pointer_->y() * mainDisp->devicePixelRatio());
    }
    drawOverlays(gl_, surface_.fontListBase, &surface_.textMetrics, picture.width(),
                 picture.height(), overlays);
    ++framesDrawn_;
    const bool last = line_.frames && framesDrawn_ >= *line_.frames;
    if (const std::string why = writeDueScreenshot(last); !why.empty()) {
      if (last) throw OutputFileError(why);   // the scripted run's result
      showNote(QString::fromStdString(why));  // the picture goes on
    }
    surface_.swapBuffers();
    if (framesDrawn_ == 1) startFinished();
    // No activation; and not over the program's own dialogs, menus, pop-ups and tooltips.
    if (tickCount == 0 && controls.AlwaysOnTopCheckBox->isChecked() && !ownWindowOpen()) raise();
    if (last) {
      finishRun();
    } else if (!line_.offline && Timer1.isActive()) {  // the UI thread sleeps till the next
      Timer1.start(still ? PictureWatch::kWatchMs : pacer_.msUntilNextFrame(clockUs_()));
    }
  } catch (const std::exception& e) {
    inTick_ = false;
    frameFailed(e);
    return;
  }
  inTick_ = false;
}

// A scripted run ends on it; a window says why in the status line (and once in a box) and
// keeps drawing: the next frame may well succeed.
void TForm1::frameFailed(const std::exception& e) {
  if (line_.frames) {
    Timer1.stop();
    showError(e);
    QCoreApplication::exit(dynamic_cast<const OutputFileError*>(&e) ? 2 : 1);
    return;
  }
  showNote(QString::fromUtf8(e.what()));
  if (std::exchange(boxed_, e.what()) != e.what()) showError(e);
}

// The band under the pointer in the model drawn, found through the frame's own view.
void TForm1::updatePointerText(const ViewTransform& view, QSize picture) {
  pointerText_.clear();
  if (!pointer_) return;
  const qreal dpr = mainDisp->devicePixelRatio();
  const double wx = pointer_->x() * dpr;
  const double wy = picture.height() - pointer_->y() * dpr;  // GL counts rows from the bottom
  const FrameModel& shown = frozen_ ? *frozenModel_ : *model;
  const ControlPanel& c = controls;
  const std::optional<PointedBand> band =
      bandUnderPointer(view, shown, c.StereoCheckBox->isChecked(), wx, wy);
  if (band) {
    pointerText_ = pointerReadout(shown, *band, c.boostHi_check->isChecked(), decimalSeparator_);
  }
}

// One line a second for scripts that watch the capture (the soak test).
void TForm1::printStats(int64_t now) {
  if (now < statsDueUs_) return;
  if (statsDueUs_ == 0) statsDueUs_ = now;
  statsDueUs_ += 1'000'000;
  const bool recording = Audio1 && Audio1->Recorder->Opened;
  std::printf("stats us=%lld blocks=%llu recording=%d frames=%d dropped=%llu\n",
              static_cast<long long>(now),
              static_cast<unsigned long long>(keeper_.blocksReceived()), recording ? 1 : 0,
              framesDrawn_, static_cast<unsigned long long>(samples->dropped()));
  std::fflush(stdout);
}

// Shown, not minimised, and its picture exposed (not on another desktop, not covered whole
// where the window system says so).
bool TForm1::pictureSeen() const {
  return isVisible() && !isMinimized() && mainDisp->readyToDraw();
}

int TForm1::sonoRowsShown() const {
  return controls.sono_check->isChecked() ? model->settings.sonoSteps : 0;
}

void TForm1::finishRun() {
  Timer1.stop();
  if (!line_.exportCsv.empty()) {
    const int channels = controls.StereoCheckBox->isChecked() ? 2 : 1;
    if (const std::string why = writeAnalysisCsv(line_.exportCsv, *model, channels); !why.empty())
      throw OutputFileError("cannot write the CSV file " + line_.exportCsv + ": " + why);
  }
  QCoreApplication::exit(0);
}

QSize TForm1::panelPixels() const {
  const qreal dpr = mainDisp->devicePixelRatio();
  return {std::max(1, static_cast<int>(mainDisp->width() * dpr)),
          std::max(1, static_cast<int>(mainDisp->height() * dpr))};
}

QImage TForm1::readPanel() {
  const QSize size = panelPixels();
  return readBackBuffer(gl_, size.width(), size.height());
}

std::string TForm1::writeDueScreenshot(bool lastFrame) {
  std::string path = std::exchange(nextScreenshot_, std::string());
  WriteMode mode = nextScreenshotMode_;
  if (lastFrame && !line_.screenshot.empty()) {
    path = line_.screenshot;  // its bytes as given
    mode = WriteMode::Replace;
  }
  if (path.empty()) return {};
  const QImage shot = readPanel();
  const std::string why = shot.isNull() ? outOfMemoryReason() : savePicture(shot, path, mode);
  return why.empty() ? why : "cannot write the screenshot " + path + ": " + why;
}

// Any other visible window of the program: a dialog, the device list's pop-up, a tooltip.
bool TForm1::ownWindowOpen() const {
  if (QApplication::activePopupWidget() || QApplication::activeModalWidget() ||
      QToolTip::isVisible())
    return true;
  const QWidgetList tops = QApplication::topLevelWidgets();
  return std::any_of(tops.begin(), tops.end(),
                     [this](const QWidget* w) { return w != this && w->isVisible(); });
}

void TForm1::saveScreenshot() {
  QString proposal;
  do {
    proposal = QStringLiteral("FFT_shot%1.bmp").arg(screenshotNumber_++, 3, 10, QLatin1Char('0'));
  } while (QFileInfo::exists(proposal) || QFileInfo(proposal).isSymLink());  // a dangling one
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save Screenshot"), proposal,
                                   QStringLiteral("BMP (*.bmp);;PNG (*.png)"));
  if (path.isEmpty()) return;
  nextScreenshot_ = QFile::encodeName(path).toStdString();  // written by the next frame
  // The dialog asked before replacing a file the user chose; the name we proposed must still
  // be free when the file is placed, so that nobody's link there is written through.
  const QString proposed = QDir::cleanPath(QDir::current().absoluteFilePath(proposal));
  nextScreenshotMode_ = QDir::cleanPath(QFileInfo(path).absoluteFilePath()) == proposed
                            ? WriteMode::CreateNew
                            : WriteMode::Replace;
}

}  // namespace bandscope
