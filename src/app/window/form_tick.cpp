// The window's side of the frame tick: what the frame loop asks of it, the screenshot's
// dialog and what the window shows, for tests and scripted runs.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QToolTip>
#include <algorithm>
#include <utility>

#include "app/run/output_file.h"
#include "app/window/capture_session.h"
#include "app/window/display_panel.h"
#include "app/window/form.h"
#include "app/window/frame_loop.h"

namespace bandscope {

void TForm1::Timer1Timer() {
  loop_->tick();
}

// A scripted run ends on it; a window says why in the status line (and once in a box) and
// keeps drawing: the next frame may well succeed.
void TForm1::frameFailed(const std::exception& e) {
  if (line_.frames) {
    Timer1.stop();
    showError(e);
    QCoreApplication::exit(1);
    return;
  }
  showNote(QString::fromUtf8(e.what()));
  if (std::exchange(boxed_, e.what()) != e.what()) showError(e);
}

// Shown, not minimised, and its picture exposed (not on another desktop, not covered whole
// where the window system says so).
bool TForm1::pictureSeen() const {
  return isVisible() && !isMinimized() && mainDisp->readyToDraw();
}

// No activation; and not over the program's own dialogs, menus, pop-ups and tooltips.
void TForm1::keepOnTop() {
  if (controls.AlwaysOnTopCheckBox->isChecked() && !ownWindowOpen()) raise();
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
  // The dialog asked before replacing a file the user chose; the name we proposed must still
  // be free when the file is placed, so that nobody's link there is written through.
  const QString proposed = QDir::cleanPath(QDir::current().absoluteFilePath(proposal));
  const WriteMode mode = QDir::cleanPath(QFileInfo(path).absoluteFilePath()) == proposed
                             ? WriteMode::CreateNew
                             : WriteMode::Replace;
  loop_->queueScreenshot(QFile::encodeName(path).toStdString(), mode);  // the next frame's
}

bool TForm1::frozen() const {
  return loop_->frozen();
}
void TForm1::setFrozen(bool frozen) {
  loop_->setFrozen(frozen);
}
bool TForm1::helpShown() const {
  return loop_->helpShown();
}
const std::string& TForm1::pointerText() const {
  return loop_->pointerText();
}
bool TForm1::startViewHinted() const {
  return loop_->startViewHinted();
}
int TForm1::framesDrawn() const {
  return loop_->framesDrawn();
}
FrameModel& TForm1::frameModel() {
  return loop_->model();
}
const FramePacer& TForm1::pacer() const {
  return loop_->pacer();
}
audio::TAudio* TForm1::audio() const {
  return session_->audio();
}
const CaptureKeeper& TForm1::capture() const {
  return std::as_const(*session_).keeper();
}

}  // namespace bandscope
