#pragma once
// The window's keys and the help that lists them with the mouse camera. UI thread only.

#include <Qt>
#include <span>
#include <string_view>

namespace bandscope {

enum class KeyCommand { None, Freeze, Fullscreen, Leave, Quit, Help };

// What a key press asks for: Space freezes, F11 goes fullscreen, Escape leaves (the help,
// then fullscreen, then the program), Ctrl+Q quits, F1 or '?' shows or hides the help.
KeyCommand keyCommand(int key, Qt::KeyboardModifiers modifiers);

// The help overlay's lines, top to bottom.
std::span<const std::string_view> helpLines();

}  // namespace bandscope
