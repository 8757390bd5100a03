#include "platform/qt_mixer_notifier.h"

#include <QSocketNotifier>

namespace bandscope {

QtMixerNotifier::QtMixerNotifier(sound::MixerService& service) : service_(service) {
  service_.setEventWatcher(this);
}

QtMixerNotifier::~QtMixerNotifier() {
  service_.setEventWatcher(nullptr);
  watched_.clear();
  retired_.clear();
}

void QtMixerNotifier::watch(sound::MixerHandle handle, const std::vector<pollfd>& descriptors) {
  if (dispatching_ == 0) retired_.clear();
  Notifiers& notifiers = watched_[handle];
  for (const pollfd& fd : descriptors) {
    const std::pair<short, QSocketNotifier::Type> kinds[] = {{POLLIN, QSocketNotifier::Read},
                                                             {POLLOUT, QSocketNotifier::Write},
                                                             {POLLPRI, QSocketNotifier::Exception}};
    for (const auto& [events, type] : kinds) {
      if (!(fd.events & events)) continue;
      auto notifier = std::make_unique<QSocketNotifier>(fd.fd, type);
      QObject::connect(notifier.get(), &QSocketNotifier::activated, [this, handle] {
        ++dispatching_;
        service_.dispatch(handle);
        --dispatching_;
      });
      notifiers.push_back(std::move(notifier));
    }
  }
}

void QtMixerNotifier::unwatch(sound::MixerHandle handle) {
  const auto it = watched_.find(handle);
  if (it == watched_.end()) return;
  for (auto& notifier : it->second) {
    notifier->setEnabled(false);
    if (dispatching_ > 0) retired_.push_back(std::move(notifier));
  }
  watched_.erase(it);
  if (dispatching_ == 0) retired_.clear();
}

}  // namespace bandscope
