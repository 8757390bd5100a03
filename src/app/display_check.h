#pragma once
// Whether there is a display to open the window on. Qt aborts the process when no platform
// plugin can start; these checks say why in a message and end with exit status 2 instead.
// UI thread, before and while the QApplication is built.

#include <functional>
#include <string>
#include <string_view>

namespace bandscope {

// The value of an environment variable, empty when it is not set.
using Environment = std::function<std::string(const char* name)>;

// Why no window can open, judged from the variables alone: every platform Qt would try
// (QT_QPA_PLATFORM, else the session's and xcb) needs a display that is not set. Empty when
// one of them may start, a platform that needs no display (offscreen, minimal ...) included.
std::string whyNoDisplay(const Environment& environment);
std::string whyNoDisplay();  // from this process's environment

// "bandscope: no display to open a window on: WHY" and a line feed.
std::string noDisplayMessage(std::string_view why);

// Between the two calls Qt's fatal message that no platform plugin could start prints
// noDisplayMessage with what the platform plugin said, and exits with status 2. Other
// messages go to the handler there was.
void watchPlatformStart();
void platformStarted();

}  // namespace bandscope
