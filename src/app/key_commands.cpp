#include "app/key_commands.h"

#include <array>

namespace bandscope {

KeyCommand keyCommand(int key, Qt::KeyboardModifiers modifiers) {
  // Shift and the keypad flag come with '?' on many layouts; they change nothing here.
  const Qt::KeyboardModifiers held =
      modifiers & ~Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::KeypadModifier);
  if (held == Qt::ControlModifier) return key == Qt::Key_Q ? KeyCommand::Quit : KeyCommand::None;
  if (held != Qt::NoModifier) return KeyCommand::None;
  switch (key) {
    case Qt::Key_Space:
      return KeyCommand::Freeze;
    case Qt::Key_F11:
      return KeyCommand::Fullscreen;
    case Qt::Key_Escape:
      return KeyCommand::Leave;
    case Qt::Key_F1:
    case Qt::Key_Question:
      return KeyCommand::Help;
    default:
      return KeyCommand::None;
  }
}

std::span<const std::string_view> helpLines() {
  static constexpr std::array<std::string_view, 14> kLines{
      "Mouse on the picture",
      "  left drag: turn (sideways), come closer (up and down)",
      "  right drag: turn (sideways), tilt (up and down)",
      "  shift-drag or both buttons: move the scene",
      "  double-click: back to the start view",
      "  wheel: halve or double the time scale",
      "Keys",
      "  Space: freeze the picture (recording goes on)",
      "  F11: full screen",
      "  Escape: close this help, leave full screen, quit",
      "  Ctrl+Q: quit",
      "  Ctrl+S: save a screenshot",
      "  F1 or ?: show or hide this help",
      "Pointer over a spectrum: the band's frequency and level",
  };
  return kLines;
}

}  // namespace bandscope
