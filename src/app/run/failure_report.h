#pragma once
// Where a failure meets the user, the one place for it in the program. A run that cannot
// start, and a scripted run (--frames) that fails, end with one line on stderr,
// "bandscope: WHY", and exit status 2; a window shows why in its status line, and once in a
// box. The start guard's watchdog and crash handlers write their line themselves: they must
// stay async-signal-safe.
//
// Threads: UI thread; printFailure and failRun also on the main thread before the
// QApplication exists.

#include <QString>
#include <string_view>

#include "failure/failure.h"

namespace bandscope {

inline constexpr int kFailedRunStatus = 2;

// "bandscope: TEXT" and a line feed on stderr.
void printFailure(std::string_view text);

// printFailure, then kFailedRunStatus: main's way out before the event loop runs.
int failRun(const Failure& failure);

// printFailure, and the event loop ends with kFailedRunStatus: a scripted run's way out.
void endRunOnFailure(const Failure& failure);

// The status line's text for it.
QString statusText(const Failure& failure);

}  // namespace bandscope
