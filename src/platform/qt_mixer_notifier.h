#pragma once
// Runs a mixer service's notifications from the Qt event loop: the service's event watcher,
// it watches the poll descriptors of every open mixer device with QSocketNotifiers and calls
// the service's dispatch() with the device's handle when one becomes ready.
//
// Threads: UI thread only; construct it after the QCoreApplication.

#include <map>
#include <memory>
#include <vector>

#include "sound/mixer_service.h"

class QSocketNotifier;

namespace bandscope {

class QtMixerNotifier final : private sound::MixerService::EventWatcher {
 public:
  // Becomes the service's watcher; the service must outlive this object.
  explicit QtMixerNotifier(sound::MixerService& service);
  ~QtMixerNotifier();
  QtMixerNotifier(const QtMixerNotifier&) = delete;
  QtMixerNotifier& operator=(const QtMixerNotifier&) = delete;

 private:
  using Notifiers = std::vector<std::unique_ptr<QSocketNotifier>>;
  void watch(sound::MixerHandle handle, const std::vector<pollfd>& descriptors) override;
  void unwatch(sound::MixerHandle handle) override;

  sound::MixerService& service_;
  std::map<sound::MixerHandle, Notifiers> watched_;
  // Notifiers unwatched while a dispatch runs (perhaps from their own signal): disabled and
  // kept until no dispatch runs.
  Notifiers retired_;
  int dispatching_ = 0;
};

}  // namespace bandscope
