#include "app/window/display_panel.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include "platform/qt_gl_platform.h"

namespace bandscope {

DisplayPanel::DisplayPanel() {
  setObjectName(QStringLiteral("mainDisp"));
  setSurfaceType(QSurface::OpenGLSurface);
  setFormat(panelSurfaceFormat());  // before the native window exists: it cannot change later
}

namespace {
bool onWayland() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
void call(const std::function<void(QMouseEvent*)>& f, QMouseEvent* e) {
  if (f) f(e);
  e->accept();
}
}  // namespace

void DisplayPanel::mousePressEvent(QMouseEvent* e) {
  call(onMousePress, e);
}
void DisplayPanel::mouseReleaseEvent(QMouseEvent* e) {
  call(onMouseRelease, e);
}
void DisplayPanel::mouseMoveEvent(QMouseEvent* e) {
  call(onMouseMove, e);
}
void DisplayPanel::mouseDoubleClickEvent(QMouseEvent* e) {
  call(onDoubleClick, e);
}

void DisplayPanel::wheelEvent(QWheelEvent* e) {
  if (onWheel) onWheel(e);
  e->accept();
}

void DisplayPanel::exposeEvent(QExposeEvent*) {
  if (onExposed) onExposed();
}

void DisplayPanel::resizeEvent(QResizeEvent*) {
  if (onResized) onResized();
}

bool DisplayPanel::readyToDraw() const {
  if (isExposed()) return true;
  return onWayland() && isVisible() && parent() && parent()->isExposed();
}

void DisplayPanel::exposedLater() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (onExposed) onExposed();
      },
      Qt::QueuedConnection);
}

bool DisplayPanel::event(QEvent* e) {
  if (e->type() == QEvent::Leave && onLeft) onLeft();
  if (e->type() == QEvent::Show && onWayland() && parent() && parent() != watched_) {
    if (watched_) watched_->removeEventFilter(this);
    watched_ = parent();
    watched_->installEventFilter(this);
    if (readyToDraw()) exposedLater();
  }
  return QWindow::event(e);
}

bool DisplayPanel::eventFilter(QObject* watched, QEvent* e) {
  if (watched == watched_ && e->type() == QEvent::Expose) exposedLater();
  return QWindow::eventFilter(watched, e);
}

}  // namespace bandscope
