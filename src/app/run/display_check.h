#pragma once
// Whether there is a display to open the window on. Qt aborts the process when no platform
// plugin can start; these checks say why in one line and end with exit status 2 instead.
// UI thread, before and while the QApplication is built.

#include <functional>
#include <string>
#include <string_view>

#include "failure/failure.h"

namespace bandscope {

// The value of an environment variable, empty when it is not set.
using Environment = std::function<std::string(const char* name)>;

// Fails where no window can open, judged from the variables alone: every platform Qt would
// try (QT_QPA_PLATFORM, else the session's and xcb) needs a display that is not set. Succeeds
// where one of them may start, a platform that needs no display (offscreen, minimal ...)
// included. The failure says which variables are missing.
Result<void> checkDisplay(const Environment& environment);
Result<void> checkDisplay();  // from this process's environment

// "no display to open a window on: WHY".
Failure noDisplay(std::string_view why);

// Between the two calls Qt's fatal message that no platform plugin could start ends the run
// on noDisplay with what the platform plugin said, as failRun does. Other messages go to the
// handler there was.
void watchPlatformStart();
void platformStarted();

}  // namespace bandscope
