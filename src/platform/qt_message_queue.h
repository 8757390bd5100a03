#pragma once
// The program's message queue: posts wake the Qt event loop of the UI thread through an
// eventfd, which neither allocates nor blocks on the posting thread (a queued
// QMetaObject::invokeMethod would allocate an event per post on the capture thread).
//
// Threads: construct and destroy on the UI thread (it needs a running QCoreApplication);
// post from any thread; messages run on the UI thread.

#include <memory>

#include "failure/failure.h"
#include "sound/message_queue.h"

class QSocketNotifier;

namespace bandscope {

class QtMessageQueue final : public sound::MessageQueue {
 public:
  // Fails where the system gives no eventfd (no descriptor left).
  static Result<std::unique_ptr<QtMessageQueue>> open();
  ~QtMessageQueue() override;

 protected:
  void wake() override;

 private:
  explicit QtMessageQueue(int eventFd);
  int eventFd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace bandscope
