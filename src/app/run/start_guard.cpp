#include "app/run/start_guard.h"

#include <pthread.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "app/run/resource_limits.h"

namespace bandscope {

namespace {

constexpr int kFirstLookSeconds = 10;         // far beyond a normal start, well inside 20 s
constexpr size_t kWatchdogStack = 64 * 1024;  // it only reads two small files
constexpr rlim_t kUsualFiles = 1024;          // no higher: some libraries still select()

struct CrashSignal {
  int number;
  const char* what;
};
constexpr CrashSignal kCrashSignals[] = {
    {SIGSEGV, "start-up failed (SIGSEGV)"}, {SIGBUS, "start-up failed (SIGBUS)"},
    {SIGILL, "start-up failed (SIGILL)"},   {SIGFPE, "start-up failed (SIGFPE)"},
    {SIGABRT, "start-up failed (SIGABRT)"}, {SIGTRAP, "start-up failed (SIGTRAP)"},
    {SIGQUIT, "start-up failed (SIGQUIT)"},  // a GL driver's answer to a failed allocation
};

std::atomic<bool> armed{false};
std::atomic<bool> finished{false};
sem_t finishedPosted;
struct sigaction previousActions[std::size(kCrashSignals)];
QtMessageHandler previousHandler = nullptr;

void writeAll(const char* text, size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(STDERR_FILENO, text, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text += written;
    length -= static_cast<size_t>(written);
  }
}

// "bandscope: WHAT: REASON" and exit status 2. Async-signal-safe.
[[noreturn]] void endWith(std::string_view what, const ResourceUse& use) {
  char line[512];
  size_t length = 0;
  for (const std::string_view part :
       {std::string_view("bandscope: "), what, std::string_view(": ")}) {
    const size_t count = std::min(part.size(), sizeof line / 2 - length);
    std::memcpy(line + length, part.data(), count);
    length += count;
  }
  length += describeUse(use, line + length, sizeof line - 1 - length);
  line[length++] = '\n';
  writeAll(line, length);
  ::_exit(2);
}

void* watchStart(void*) {
  timespec deadline{};
  ::clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += kFirstLookSeconds;
  for (;;) {
    if (::sem_clockwait(&finishedPosted, CLOCK_MONOTONIC, &deadline) == 0) return nullptr;
    if (errno == EINTR) continue;
    if (finished.load()) return nullptr;
    // A start this slow with nothing near its limit is not ours to end: look again.
    ResourceUse use;
    if (findExhausted(use)) endWith("start-up stalled", use);
    deadline.tv_sec += 1;
  }
}

void onCrash(int number, siginfo_t* info, void*) {
  size_t index = 0;
  while (index + 1 < std::size(kCrashSignals) && kCrashSignals[index].number != number) ++index;
  // A quit from the terminal is the user's; one the process sent itself is a library's.
  const bool ownQuit = number != SIGQUIT || (info && info->si_pid == ::getpid());
  ResourceUse use;
  if (!finished.load() && ownQuit && findExhausted(use)) endWith(kCrashSignals[index].what, use);
  // Not explained by a limit: the handler there was takes it, as if this one had not been.
  ::sigaction(number, &previousActions[index], nullptr);
  ::raise(number);
}

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (previousHandler) previousHandler(type, context, message);
  if (!message.startsWith(QLatin1String("QThread::start: Thread creation error"))) return;
  ResourceUse use;
  if (findExhausted(use)) endWith("a thread could not be started", use);
}

bool anyRestrictive() {
  for (const Resource resource :
       {Resource::AddressSpace, Resource::DataSegment, Resource::OpenFiles}) {
    if (isRestrictive(measureUse(resource))) return true;
  }
  return false;
}

// The watchdog, with every signal blocked: they are for the threads that can act on them.
bool startWatchdog() {
  if (::sem_init(&finishedPosted, 0, 0) != 0) return false;
  pthread_attr_t attributes;
  ::pthread_attr_init(&attributes);
  ::pthread_attr_setstacksize(&attributes, kWatchdogStack);
  ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  sigset_t all, before;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &before);
  pthread_t watchdog;
  const int failed = ::pthread_create(&watchdog, &attributes, watchStart, nullptr);
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  ::pthread_attr_destroy(&attributes);
  if (failed) {
    errno = failed;
    return false;
  }
  ::pthread_setname_np(watchdog, "start guard");
  return true;
}

}  // namespace

Result<void> guardStart() {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < kUsualFiles &&
      files.rlim_max > files.rlim_cur) {
    files.rlim_cur = std::min(files.rlim_max, kUsualFiles);
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  if (const ResourceUse use = measureUse(Resource::OpenFiles); use.limit < kFilesNeeded) {
    return Failure{"only " + std::to_string(use.limit) +
                   " files may be open at once (ulimit -n); bandscope needs at least " +
                   std::to_string(kFilesNeeded)};
  }
  if (!anyRestrictive()) return {};
  if (!startWatchdog()) {
    const int error = errno;
    return Failure{withFailureReason("cannot start a thread", error), error};
  }
  for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
    struct sigaction action {};
    action.sa_sigaction = onCrash;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(kCrashSignals[i].number, &action, &previousActions[i]);
  }
  previousHandler = qInstallMessageHandler(onQtMessage);
  armed.store(true);
  return {};
}

void startFinished() {
  if (!armed.load() || finished.exchange(true)) return;
  for (size_t i = 0; i < std::size(kCrashSignals); ++i)
    ::sigaction(kCrashSignals[i].number, &previousActions[i], nullptr);
  ::sem_post(&finishedPosted);
}

void endStartIfExhausted(std::string_view what) {
  ResourceUse use;
  if (!armed.load() || finished.load() || !findExhausted(use)) return;
  std::fflush(stdout);
  endWith(what, use);
}

std::string withFailureReason(std::string message, int error) {
  ResourceUse use;
  switch (error) {
    case 0:
      if (!findExhausted(use)) return message;
      break;
    case EAGAIN:  // a thread or a process refused: memory, or the user's processes
      if (!findExhausted(use)) return message + ": " + std::strerror(error);
      break;
    case EMFILE:
      use = measureUse(Resource::OpenFiles);
      break;
    case ENOMEM:
      return message + ": " + outOfMemoryReason();
    case ENFILE:
    case ENOSPC:
    case EDQUOT:
      return message + ": " + std::strerror(error);
    default:
      return message;
  }
  char reason[256];
  describeUse(use, reason, sizeof reason);
  return message + ": " + reason;
}

std::string outOfMemoryReason() {
  ResourceUse use;
  if (!findExhausted(use) || use.resource == Resource::OpenFiles) return "out of memory";
  char reason[256];
  describeUse(use, reason, sizeof reason);
  return reason;
}

}  // namespace bandscope
