#include "app/run/start_guard.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QString>
#include <QtGlobal>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>

#include "app/run/failure_report.h"
#include "app/run/sound_services.h"

namespace bandscope {
namespace {

bool notStatus2(int status) {
  return !WIFEXITED(status) || WEXITSTATUS(status) != 2;
}

// Each case in a child of its own, whose open-file limit arms the guard; "taken" fills its
// descriptors to near that limit, so that the open files are what ran out.
TEST(StartGuard, EndsAStartThatFailsOnAnExhaustedResource) {
  const struct {
    const char* name;
    rlim_t soft, hard;
    bool taken;
    std::function<void()> then;  // after guardStart
    int status;                  // its exit status; -1: anything but 2
    const char* says;
  } cases[] = {
      {"a stall", 100, 100, true, [] { ::sleep(30); }, 2,
       "^bandscope: start-up stalled: too many open files \\(limit 100, [0-9]+ open; ulimit -n "
       "100\\)\n$"},
      {"a crash", 100, 100, true, [] { std::raise(SIGSEGV); }, 2,
       "^bandscope: start-up failed \\(SIGSEGV\\): too many open files \\(limit 100, "},
      {"an abort", 100, 100, true, [] { std::abort(); }, 2,
       "^bandscope: start-up failed \\(SIGABRT\\): too many open files"},
      {"a failure shown", 100, 100, true,
       [] { endStartIfExhausted("cannot create an OpenGL context"); }, 2,
       "^bandscope: cannot create an OpenGL context: too many open files \\(limit 100, "},
      {"Qt's thread failure", 100, 100, true,
       [] { qWarning("QThread::start: Thread creation error (Resource temporarily unavailable)"); },
       2, "bandscope: a thread could not be started: too many open files"},
      {"a crash after start-up", 100, 100, true,
       [] {
         startFinished();
         std::raise(SIGSEGV);
       },
       -1, ""},
      {"a crash with files to spare", 100, 100, false, [] { std::raise(SIGSEGV); }, -1, ""},
      {"no descriptor for the UI thread's queue", 100, 100, true,
       [] {
         while (::dup(2) >= 0) {
         }
         const auto sound = openSoundServices(CommandLine{});
         std::_Exit(sound ? 0 : failRun(sound.failure()));
       },
       2,
       "^bandscope: Cannot create the UI thread's wake-up event: too many open files \\(limit "
       "100, "},
      {"a failure with files to spare", 100, 100, false,
       [] { endStartIfExhausted("cannot create an OpenGL context"); }, 0, ""},
      {"too few files", 32, 32, false, [] {}, 2,
       "^bandscope: only 32 files may be open at once \\(ulimit -n\\); bandscope needs at least "
       "64\n$"},
      {"a low soft limit raised", 16, 4096, false,
       [] {
         rlimit files{};
         ::getrlimit(RLIMIT_NOFILE, &files);
         std::_Exit(files.rlim_cur == 1024 ? 0 : 3);
       },
       0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto child = [&c] {
      const rlimit files{c.soft, c.hard};
      ::setrlimit(RLIMIT_NOFILE, &files);
      for (int fd = 0; c.taken && fd >= 0 && fd < static_cast<int>(c.soft) - 4;) fd = ::dup(2);
      if (const Result<void> guarded = guardStart(); !guarded)
        std::_Exit(failRun(guarded.failure()));
      c.then();
      std::_Exit(0);
    };
    if (c.status < 0) {
      EXPECT_EXIT(child(), notStatus2, c.says);
    } else {
      EXPECT_EXIT(child(), ::testing::ExitedWithCode(c.status), c.says);
    }
  }
}

// Failures for want of a resource say which; others keep their message.
TEST(StartGuard, FailureReasonsNameTheResource) {
  const struct {
    int error;
    const char* says;
  } cases[] = {
      {ENOENT, "^cannot write x$"},
      {ENOMEM, "^cannot write x: out of memory$"},
      {ENOSPC, "^cannot write x: No space left on device$"},
      {EAGAIN, "^cannot write x: Resource temporarily unavailable$"},
      {EMFILE,
       "^cannot write x: too many open files \\(limit [0-9]+, [0-9]+ open; ulimit -n "
       "[0-9]+\\)$"},
  };
  for (const auto& c : cases) {
    const std::string reason = withFailureReason("cannot write x", c.error);
    EXPECT_TRUE(
        QString::fromStdString(reason).contains(QRegularExpression(QString::fromUtf8(c.says))))
        << reason;
  }
}

}  // namespace
}  // namespace bandscope
