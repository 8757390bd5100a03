#include "app/display_panel.h"

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

bool DisplayPanel::event(QEvent* e) {
  if (e->type() == QEvent::Leave && onLeft) onLeft();
  return QWindow::event(e);
}

}  // namespace bandscope
