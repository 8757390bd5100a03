#include "app/key_commands.h"

#include <gtest/gtest.h>

namespace bandscope {
namespace {

TEST(KeyCommands, EachKeyAndItsModifiers) {
  const struct {
    int key;
    Qt::KeyboardModifiers modifiers;
    KeyCommand command;
  } rows[] = {
      {Qt::Key_Space, Qt::NoModifier, KeyCommand::Freeze},
      {Qt::Key_F11, Qt::NoModifier, KeyCommand::Fullscreen},
      {Qt::Key_Escape, Qt::NoModifier, KeyCommand::Leave},
      {Qt::Key_Q, Qt::ControlModifier, KeyCommand::Quit},
      {Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier, KeyCommand::Quit},
      {Qt::Key_Q, Qt::NoModifier, KeyCommand::None},
      {Qt::Key_F1, Qt::NoModifier, KeyCommand::Help},
      {Qt::Key_Question, Qt::ShiftModifier, KeyCommand::Help},
      {Qt::Key_Space, Qt::ControlModifier, KeyCommand::None},
      {Qt::Key_Space, Qt::AltModifier, KeyCommand::None},
      {Qt::Key_S, Qt::ControlModifier, KeyCommand::None},  // the screenshot's own shortcut
      {Qt::Key_A, Qt::NoModifier, KeyCommand::None},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(keyCommand(r.key, r.modifiers), r.command) << r.key << " " << r.modifiers;
  }
}

}  // namespace
}  // namespace bandscope
