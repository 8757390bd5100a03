#pragma once
// The display panel mainDisp: a QWindow carrying the OpenGL surface, embedded in the form,
// passing its mouse, leave, expose and resize events to the form. UI thread only.

#include <QWindow>
#include <functional>

namespace bandscope {

class DisplayPanel : public QWindow {
 public:
  DisplayPanel();

  std::function<void(QMouseEvent*)> onMousePress, onMouseRelease, onMouseMove, onDoubleClick;
  std::function<void()> onExposed, onResized, onLeft;  // onLeft: the pointer left the panel
  std::function<void(QWheelEvent*)> onWheel;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void exposeEvent(QExposeEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool event(QEvent* e) override;
};

}  // namespace bandscope
