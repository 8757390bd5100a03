// The window's input: the keys, the wheel and the mouse camera over the picture.

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/window/display_panel.h"
#include "app/window/form.h"
#include "app/window/frame_loop.h"
#include "app/window/fullscreen_strip.h"
#include "app/window/key_commands.h"

namespace bandscope {

namespace {

MouseButtons buttonsOf(Qt::MouseButtons b) {
  return {b.testFlag(Qt::LeftButton), b.testFlag(Qt::RightButton), b.testFlag(Qt::MiddleButton)};
}

// One small step of the bar per wheel message, whatever its size: away from the user up.
void stepBar(QScrollBar* bar, int wheelDelta) {
  if (wheelDelta < 0) {
    bar->setValue(bar->value() - bar->singleStep());  // the bar keeps its minimum
  } else {
    bar->setValue(bar->value() + bar->singleStep());  // and its maximum
  }
}

}  // namespace

void TForm1::FormMouseWheel(int wheelDelta) {
  stepBar(controls.ScrollBar1, wheelDelta);
}

void TForm1::runKeyCommand(KeyCommand command) {
  switch (command) {
    case KeyCommand::None:
      break;
    case KeyCommand::Freeze:
      setFrozen(!loop_->frozen());
      break;
    case KeyCommand::Fullscreen:
      setWindowState(windowState() ^ Qt::WindowFullScreen);
      break;
    case KeyCommand::Leave:  // the innermost first: the help, then fullscreen, then the window
      if (loop_->helpShown()) {
        loop_->setHelpShown(false);
      } else if (isFullScreen()) {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
      } else {
        close();
      }
      break;
    case KeyCommand::Quit:
      close();
      break;
    case KeyCommand::Help:
      loop_->setHelpShown(!loop_->helpShown());
      break;
    case KeyCommand::StartView:
      CameraDrag::mainDispDblClick(camera_);
      break;
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {  // what may move the picture: it is drawn at full rate again
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::Leave:
      loop_->pictureMoved();
      break;
    default:
      break;
  }
  if (event->type() == QEvent::KeyPress && keyPressed(watched, event)) return true;
  if (event->type() == QEvent::Wheel && wheelTurned(watched, event)) return true;
  return QWidget::eventFilter(watched, event);
}

// The window's keys, wherever its focus is; its pop-ups and dialogs keep theirs. True: taken.
bool TForm1::keyPressed(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (watched != mainDisp && !(widget && widget->window() == this)) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  const KeyCommand command = keyCommand(key->key(), key->modifiers());
  if (command == KeyCommand::None) return false;
  if (!key->isAutoRepeat()) runKeyCommand(command);
  return true;
}

// A wheel message over a scroll bar moves that bar; any other of the window's steps the time
// scale, whichever control has the focus. True: taken.
bool TForm1::wheelTurned(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
  auto* bar = qobject_cast<QScrollBar*>(widget);
  if (bar && bar->parentWidget() == controls.Panel1) {
    stepBar(bar, delta);
  } else {
    FormMouseWheel(delta);
  }
  return true;
}

void TForm1::panelMouse(QMouseEvent* e, MouseEventKind kind) {
  const MouseButtons held = buttonsOf(e->buttons());
  switch (kind) {
    case MouseEventKind::Press:
      drag.mainDispMouseDown(held);
      break;
    case MouseEventKind::Release:
      drag.mainDispMouseUp();
      break;
    case MouseEventKind::Move: {
      loop_->setPointer(e->position());
      fullscreenStrip_->pointerAt(e->position().y(), mainDisp->height());
      const QPoint p = e->position().toPoint();
      const bool shift = e->modifiers().testFlag(Qt::ShiftModifier);
      drag.mainDispMouseMove(camera_, held, shift, p.x(), p.y());
      break;
    }
  }
}

}  // namespace bandscope
