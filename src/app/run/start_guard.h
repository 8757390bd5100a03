#pragma once
// Start-up under tight system limits ends with a reason, never with a hang or a bare crash.
//
// guardStart, before Qt starts, raises a low open-file limit as far as it may and refuses one
// still below kFilesNeeded. Where a limit is restrictive (see isRestrictive) it arms, until
// the first frame is presented, a watchdog thread and handlers of the crash signals, and for
// the whole run a filter of Qt's messages for a thread that could not be started (Qt then
// waits for that thread for ever). Each turns a start-up that stalls, crashes or fails on an
// exhausted resource into one line naming it, with its figures, and exit status 2. With no
// restrictive limit nothing is armed.
//
// Threads: guardStart on the main thread, once, before the QApplication; the others on the UI
// thread. The watchdog thread, the signal handlers and the message filter only read the
// system's figures, write one line to stderr and end the process.

#include <string>
#include <string_view>

#include "failure/failure.h"

namespace bandscope {

// Fails where the limits leave too little to start, saying why: the run ends on it.
Result<void> guardStart();

// The first frame is on the screen: the watchdog and the crash handlers stand down.
void startFinished();

// Before startFinished, where a watched resource is exhausted: prints "bandscope: WHAT: REASON"
// and ends the program with status 2 at once (the event loop may never get to its end).
// Returns otherwise.
void endStartIfExhausted(std::string_view what);

// `message`, followed by ": REASON" where a resource explains a failure with errno `error`
// (0 where none is known): an exhausted resource with its figures, "out of memory", a full
// disk or file table or a refused thread in the system's words.
std::string withFailureReason(std::string message, int error);

// The reason alone, "out of memory" at the least: for a failed allocation.
std::string outOfMemoryReason();

}  // namespace bandscope
