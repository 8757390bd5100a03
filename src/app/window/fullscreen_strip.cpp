#include "app/window/fullscreen_strip.h"

#include <QEvent>
#include <QWidget>

namespace bandscope {

FullscreenStrip::FullscreenStrip(QWidget& window, QWidget& strip) : window_(window), strip_(strip) {
  rest_.setSingleShot(true);
  rest_.setInterval(kRestMs);
  connect(&rest_, &QTimer::timeout, this, [this] {
    if (window_.isFullScreen()) strip_.show();
  });
  window_.installEventFilter(this);
}

void FullscreenStrip::pointerAt(double y, double pictureHeight) {
  if (!window_.isFullScreen()) return;
  if (y < pictureHeight - kEdgeRows) {
    rest_.stop();
    strip_.hide();  // back over the picture
  } else if (strip_.isHidden() && !rest_.isActive()) {
    rest_.start();
  }
}

bool FullscreenStrip::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &window_ && event->type() == QEvent::WindowStateChange) follow();
  return QObject::eventFilter(watched, event);
}

void FullscreenStrip::follow() {
  rest_.stop();
  strip_.setVisible(!window_.isFullScreen());
}

}  // namespace bandscope
