#pragma once
// The signals that end a session from outside: SIGTERM (the desktop's logout), SIGINT (Ctrl+C
// in a terminal) and SIGHUP (the terminal gone). Until catchStopSignals they end the program at
// once, as by default: before the window runs there is nothing to keep. From then on their
// handler only writes the signal's number into a pipe; the event loop reads it and ends the run
// as Ctrl+Q does, the settings kept; a second one ends the program at once. A signal ignored
// when the program started stays ignored (nohup). The crash signals are the start guard's
// (start_guard.h), not these.
//
// Threads: catchStopSignals, stopSignal and endByStopSignal on the UI thread; the handler runs
// on whichever thread the signal lands and only writes to the pipe (async-signal-safe).

#include <QObject>
#include <functional>
#include <string>

#include "failure/failure.h"

namespace bandscope {

// From now on the first stop signal calls `stop` from the event loop of the calling thread
// (which `context` lives on); later ones are drained and dropped. Fails saying why they could
// not be caught (they keep ending the program at once then).
Result<void> catchStopSignals(QObject* context, std::function<void()> stop);

// The stop signal the run ended by; 0 for none.
int stopSignal();

// Ends the process by that signal, as if it had not been caught, so whoever started the
// program sees what ended it. Returns where no stop signal came.
void endByStopSignal();

}  // namespace bandscope
