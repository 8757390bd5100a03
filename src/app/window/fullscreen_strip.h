#pragma once
// Fullscreen shows the picture alone: the control strip (with the status line) hides when the
// window goes fullscreen and comes back while the pointer rests at the picture's bottom edge,
// as video players do; it hides again when the pointer returns to the picture, and stays
// once the window leaves fullscreen.
//
// Threads: UI thread only.

#include <QObject>
#include <QTimer>

class QWidget;

namespace bandscope {

class FullscreenStrip : public QObject {
 public:
  // Rows at the picture's bottom (logical pixels) where a resting pointer calls the strip.
  static constexpr double kEdgeRows = 3;
  static constexpr int kRestMs = 150;

  // Follows window's state changes; shows and hides strip.
  FullscreenStrip(QWidget& window, QWidget& strip);

  // The pointer moved over the picture, y logical pixels from its top of pictureHeight.
  void pointerAt(double y, double pictureHeight);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void follow();  // the strip as the window's state asks

  QWidget& window_;
  QWidget& strip_;
  QTimer rest_;  // the pointer rests at the edge this long before the strip comes
};

}  // namespace bandscope
