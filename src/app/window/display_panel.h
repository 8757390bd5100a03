#pragma once
// The display panel mainDisp: a QWindow carrying the OpenGL surface, embedded in the form,
// passing its mouse, leave, expose and resize events to the form. UI thread only.

#include <QPointer>
#include <QWindow>
#include <functional>

namespace bandscope {

class DisplayPanel : public QWindow {
 public:
  DisplayPanel();

  std::function<void(QMouseEvent*)> onMousePress, onMouseRelease, onMouseMove, onDoubleClick;
  std::function<void()> onExposed, onResized, onLeft;  // onLeft: the pointer left the panel
  std::function<void(QWheelEvent*)> onWheel;

  // Whether the panel may be drawn into: exposed, or on Wayland shown in an exposed window.
  // There the panel is a subsurface, exposed only once it has shown a buffer, and one made
  // after its window's first configure gets no expose event: onExposed then follows the
  // window's expose.
  bool readyToDraw() const;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void exposeEvent(QExposeEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void exposedLater();         // onExposed from the event loop, outside the window's expose
  QPointer<QWindow> watched_;  // the window whose exposes are followed (Wayland)
};

}  // namespace bandscope
