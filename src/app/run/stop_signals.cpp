#include "app/run/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <signal.h>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

namespace bandscope {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<int> writeEnd{-1};
int caught = 0;  // UI thread
struct sigaction previousActions[std::size(kStopSignals)];
bool handled[std::size(kStopSignals)] = {};

// What they did before: a second signal while the first is being acted on ends the program.
void restoreActions() {
  for (size_t i = 0; i < std::size(kStopSignals); ++i)
    if (std::exchange(handled[i], false))
      ::sigaction(kStopSignals[i], &previousActions[i], nullptr);
}

void onStopSignal(int number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(number);
  // A full pipe already holds a signal for the loop: this one may go.
  [[maybe_unused]] const ssize_t written = ::write(writeEnd.load(), &byte, 1);
  errno = saved;
}

}  // namespace

Result<void> catchStopSignals(QObject* context, std::function<void()> stop) {
  // One pipe for the process, never closed: a handler may still be writing to it.
  static int ends[2] = {-1, -1};
  if (ends[0] < 0 && ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int error = errno;
    return Failure{std::string("cannot make a pipe: ") + std::strerror(error), error};
  }
  writeEnd.store(ends[1]);
  caught = 0;
  unsigned char stale[16];
  while (::read(ends[0], stale, sizeof stale) > 0) {
  }
  auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, context);
  QObject::connect(notifier, &QSocketNotifier::activated, context,
                   [readEnd = ends[0], stop = std::move(stop)] {
                     unsigned char bytes[16];
                     while (::read(readEnd, bytes, sizeof bytes) > 0) {
                       if (caught != 0) continue;
                       caught = bytes[0];
                       restoreActions();
                       stop();
                     }
                   });
  // With the window gone there is nothing left to keep.
  QObject::connect(notifier, &QObject::destroyed, [] { restoreActions(); });
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], nullptr, &previousActions[i]);
    if (previousActions[i].sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigfillset(&action.sa_mask);
    handled[i] = ::sigaction(kStopSignals[i], &action, nullptr) == 0;
  }
  return {};
}

int stopSignal() {
  return caught;
}

void endByStopSignal() {
  if (caught == 0) return;
  std::fflush(nullptr);
  restoreActions();
  std::signal(caught, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, caught);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(caught);
}

}  // namespace bandscope
