#include "platform/qt_message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <QSocketNotifier>

#include <cstdint>
#include <stdexcept>

namespace bandscope {

QtMessageQueue::QtMessageQueue() : eventFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (eventFd_ < 0) throw std::runtime_error("Cannot create the UI thread's wake-up event");
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
