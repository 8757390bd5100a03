#include "platform/qt_message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>

namespace bandscope {

Result<std::unique_ptr<QtMessageQueue>> QtMessageQueue::open() {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    return Failure{"Cannot create the UI thread's wake-up event", error};
  }
  return std::unique_ptr<QtMessageQueue>(new QtMessageQueue(fd));
}

QtMessageQueue::QtMessageQueue(int eventFd) : eventFd_(eventFd) {
  notifier_ = std::make_unique<QSocketNotifier>(eventFd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = read(eventFd_, &count, sizeof count);
    dispatchPending();
  });
}

QtMessageQueue::~QtMessageQueue() {
  notifier_.reset();
  close(eventFd_);
}

void QtMessageQueue::wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = write(eventFd_, &one, sizeof one);
}

}  // namespace bandscope
