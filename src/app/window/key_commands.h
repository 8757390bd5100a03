#pragma once
// The window's keys and the help that lists them with the mouse camera and says what the
// picture shows. UI thread only.

#include <Qt>
#include <span>
#include <string_view>

#include "app/frame/overlays.h"

namespace bandscope {

enum class KeyCommand { None, Freeze, Fullscreen, Leave, Quit, Help, StartView };

// What a key press asks for: Space freezes, F11 goes fullscreen, Escape leaves (the help,
// then fullscreen, then the program), Ctrl+Q quits, F1 or '?' shows or hides the help, Home
// brings back the start view.
KeyCommand keyCommand(int key, Qt::KeyboardModifiers modifiers);

// Shown at the bottom of the picture while little of the scene is in view.
inline constexpr std::string_view kStartViewHint = "double-click or Home: start view";

// The help overlay's pieces, top to bottom: the mouse and the keys, the readout, a legend of
// the scene's colours with each entry in its colour, the dB axis and the time scales.
std::span<const HelpText> helpLines();

}  // namespace bandscope
