// The server's sources or sinks, as the device list of the PulseAudio services: read on the
// mainloop thread, adopted by the UI thread.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sound/capture_entries.h"
#include "sound/pulse_connection.h"
#include "sound/pulse_wave.h"

namespace bandscope::sound::pulse_detail {

namespace {

const char* orEmpty(const char* text) {
  return text != nullptr ? text : "";
}

void release(pa_operation*& op) {
  if (op == nullptr) return;
  if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
  pa_operation_unref(op);
  op = nullptr;
}

}  // namespace

// One read of the list: the server's defaults and the sources (or sinks), and for the sources
// also the sinks and their inputs (for "what plays" and the applications), asked at once,
// given up when not all answered within the list's wait. Mainloop thread, or under the lock.
struct ListRead {
  struct Sink {
    std::uint32_t index;
    std::string name, monitor;
  };
  struct Input {
    std::uint32_t index, sink;
    std::string key, description;
  };

  ServerDevices* owner = nullptr;
  std::uint64_t generation = 0;  // of the connection it was asked on
  std::array<pa_operation*, 4> operations{};
  int waiting = 0;  // answers still to come
  pa_time_event* timer = nullptr;
  bool failed = false;
  std::string defaultName;
  std::string defaultSink;
  std::vector<PulseDevice> list;
  std::vector<Sink> sinks;
  std::vector<Input> inputs;

  void answered(bool ok) {
    failed = failed || !ok;
    if (--waiting > 0) return;
    if (failed) {
      owner->dropReadLocked();
    } else {
      owner->finishReadLocked();
    }
  }

  static void onServer(pa_context*, const pa_server_info* info, void* userdata) {
    auto* self = static_cast<ListRead*>(userdata);
    if (info != nullptr) {
      self->defaultName =
          orEmpty(self->owner->kind_ == ServerDevices::Kind::Sources ? info->default_source_name
                                                                     : info->default_sink_name);
      self->defaultSink = orEmpty(info->default_sink_name);
    }
    self->answered(true);
  }

  // What tells a source from another of the same description: the port it records from, else
  // the card it belongs to.
  template <typename Info>
  static std::string detailOf(const Info& info) {
    if (info.active_port != nullptr && info.active_port->description != nullptr &&
        *info.active_port->description != '\0')
      return info.active_port->description;
    if (info.proplist == nullptr) return {};
    for (const char* key : {"alsa.card_name", PA_PROP_DEVICE_PRODUCT_NAME}) {
      const char* value = pa_proplist_gets(info.proplist, key);
      if (value != nullptr && *value != '\0') return value;
    }
    return {};
  }

  template <typename Info>  // pa_source_info or pa_sink_info
  static void onDevice(pa_context*, const Info* info, int eol, void* userdata) {
    auto* self = static_cast<ListRead*>(userdata);
    if (eol == 0) {
      if (info != nullptr)
        self->list.push_back({orEmpty(info->name),
                              orEmpty(info->description),
                              detailOf(*info),
                              {},
                              PulseDevice::kNoStream});
      return;
    }
    self->answered(eol > 0);
  }

  // The sinks behind the sources' list: their monitors.
  static void onSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* self = static_cast<ListRead*>(userdata);
    if (eol == 0) {
      if (info != nullptr)
        self->sinks.push_back(
            {info->index, orEmpty(info->name), orEmpty(info->monitor_source_name)});
      return;
    }
    self->answered(eol > 0);
  }

  static std::string property(const pa_proplist* props, const char* key) {
    const char* value = props != nullptr ? pa_proplist_gets(props, key) : nullptr;
    return orEmpty(value);
  }

  // A stream that plays (not corked): "<application>: <media>".
  static void onInput(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
    auto* self = static_cast<ListRead*>(userdata);
    if (eol != 0) {
      self->answered(eol > 0);
      return;
    }
    if (info == nullptr || info->corked != 0) return;
    std::string application = property(info->proplist, PA_PROP_APPLICATION_NAME);
    if (application.empty()) application = orEmpty(info->name);
    std::string media = property(info->proplist, PA_PROP_MEDIA_NAME);
    if (media.empty()) media = orEmpty(info->name);
    self->inputs.push_back(
        {info->index, info->sink,
         applicationEntryName(application,
                              property(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY)),
         media.empty() ? application : application + ": " + media});
  }

  // After the sources: "what plays", then each application once, on its newest stream.
  void addEntriesOfOurs() {
    const auto sinkOf = [&](auto match) {
      const auto found = std::find_if(sinks.begin(), sinks.end(), match);
      return found != sinks.end() && !found->monitor.empty() ? &*found : nullptr;
    };
    if (const Sink* out = sinkOf([&](const Sink& s) { return s.name == defaultSink; }))
      list.push_back({kDefaultOutputName,
                      kDefaultOutputDescription,
                      {},
                      out->monitor,
                      PulseDevice::kNoStream});
    const std::size_t ours = list.size();
    for (const Input& input : inputs) {
      const Sink* sink = sinkOf([&](const Sink& s) { return s.index == input.sink; });
      if (sink == nullptr) continue;
      const auto same = std::find_if(list.begin() + static_cast<std::ptrdiff_t>(ours), list.end(),
                                     [&](const PulseDevice& d) { return d.name == input.key; });
      PulseDevice entry{input.key, input.description, {}, sink->monitor, input.index};
      if (same == list.end()) {
        list.push_back(std::move(entry));
      } else if (same->stream < input.index) {
        *same = std::move(entry);
      }
    }
  }

  static void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    static_cast<ListRead*>(userdata)->owner->dropReadLocked();
  }

  // Cancels what is still on its way; the operations' callbacks are not called any more.
  void cancel(pa_mainloop_api* api) {
    for (pa_operation*& op : operations) release(op);
    if (timer != nullptr) api->time_free(timer);  // also from inside its own callback
    timer = nullptr;
  }
};

ServerDevices::ServerDevices(PulseConnection& connection, Kind kind, int waitMs)
    : connection_(connection), kind_(kind), waitMs_(waitMs) {
  if (!connection_.usable()) {
    pending_ = false;  // no main loop: nothing will ever answer
    return;
  }
  Locked lock(connection_);
  connection_.addListLocked(*this);
}

ServerDevices::~ServerDevices() {
  if (!connection_.usable()) return;
  Locked lock(connection_);
  cancelReadLocked();
  connection_.removeListLocked(*this);
}

bool ServerDevices::refresh() {
  if (!connection_.usable()) return false;
  Locked lock(connection_);
  const bool ready = connection_.connectLocked();
  if (fresh_) {
    adopted_ = latest_;
    adoptedGeneration_ = latestGeneration_;
    fresh_ = false;
  }
  if (!ready) {
    adopted_.clear();
    adoptedGeneration_ = 0;
  } else if (!read_) {
    startReadLocked();  // what is there now: a change comes back through the flag
  }
  if (answered_) pending_ = false;
  return ready && adoptedGeneration_ == connection_.generation();
}

bool ServerDevices::hasLocked(int deviceId) const {
  return deviceId >= WAVE_MAPPER && (deviceId < 0 || std::size_t(deviceId) < adopted_.size());
}

PulseDevice ServerDevices::entryLocked(int deviceId) const {
  if (deviceId == WAVE_MAPPER) return {};
  const PulseDevice& adopted = adopted_[std::size_t(deviceId)];
  const PulseDevice* latest = latestLocked(adopted.name);
  return latest != nullptr ? *latest : adopted;
}

const PulseDevice* ServerDevices::latestLocked(const std::string& name) const {
  const auto found = std::find_if(latest_.begin(), latest_.end(),
                                  [&](const PulseDevice& device) { return device.name == name; });
  return found != latest_.end() ? &*found : nullptr;
}

void ServerDevices::connectedLocked() {
  cancelReadLocked();  // one asked on an earlier context
  startReadLocked();
}

void ServerDevices::lostLocked(bool wasUp) {
  cancelReadLocked();
  // Only the first answer and a connection that was up count: failed attempts to connect
  // again change nothing, so the keeper's own pace of retries holds.
  answeredLocked(wasUp);
}

void ServerDevices::eventLocked(unsigned event) {
  const unsigned facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const bool own = kind_ == Kind::Sources ? facility == PA_SUBSCRIPTION_EVENT_SOURCE ||
                                                facility == PA_SUBSCRIPTION_EVENT_SINK ||
                                                facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT
                                          : facility == PA_SUBSCRIPTION_EVENT_SINK;
  if (!own && facility != PA_SUBSCRIPTION_EVENT_SERVER) return;
  if (read_) {
    readAgain_ = true;  // the read on its way may have missed it
  } else {
    startReadLocked();
  }
}

// Its own devices, and the server's changes, which include a new default; the sources' list
// also follows the sinks and their inputs, for "what plays" and the applications.
unsigned ServerDevices::maskLocked() const {
  return (kind_ == Kind::Sources ? PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK |
                                       PA_SUBSCRIPTION_MASK_SINK_INPUT
                                 : PA_SUBSCRIPTION_MASK_SINK) |
         PA_SUBSCRIPTION_MASK_SERVER;
}

void ServerDevices::startReadLocked() {
  if (read_ || !connection_.readyLocked()) return;
  auto read = std::make_unique<ListRead>();
  read->owner = this;
  read->generation = connection_.generation();
  pa_context* context = connection_.context();
  auto& ops = read->operations;
  ops[0] = pa_context_get_server_info(context, &ListRead::onServer, read.get());
  if (kind_ == Kind::Sources) {
    ops[1] =
        pa_context_get_source_info_list(context, &ListRead::onDevice<pa_source_info>, read.get());
    ops[2] = pa_context_get_sink_info_list(context, &ListRead::onSink, read.get());
    ops[3] = pa_context_get_sink_input_info_list(context, &ListRead::onInput, read.get());
    read->waiting = 4;
  } else {
    ops[1] = pa_context_get_sink_info_list(context, &ListRead::onDevice<pa_sink_info>, read.get());
    read->waiting = 2;
  }
  if (std::any_of(ops.begin(), ops.begin() + read->waiting,
                  [](const pa_operation* op) { return op == nullptr; })) {
    read->cancel(connection_.api());  // the context is failing: its state callback says so
    return;
  }
  read->timer =
      pa_context_rttime_new(context, pa_rtclock_now() + pa_usec_t(waitMs_) * PA_USEC_PER_MSEC,
                            &ListRead::onTimeout, read.get());
  read_ = std::move(read);
}

void ServerDevices::finishReadLocked() {
  const std::unique_ptr<ListRead> read = std::move(read_);
  read->cancel(connection_.api());  // both done: only unrefs, and the timer goes
  auto& list = read->list;
  const auto found = std::find_if(list.begin(), list.end(), [&](const PulseDevice& device) {
    return device.name == read->defaultName;
  });
  if (found != list.end()) std::rotate(list.begin(), found, found + 1);
  if (kind_ == Kind::Sources) read->addEntriesOfOurs();
  const bool changed = read->generation != latestGeneration_ || list != latest_;
  if (changed) {
    latest_ = std::move(list);
    latestGeneration_ = read->generation;
    fresh_ = true;
  }
  answeredLocked(changed);
  if (readHook_ != nullptr) readHook_(readHookData_);
  if (std::exchange(readAgain_, false)) startReadLocked();
}

// A read that failed or was not answered in time: given up; the list stays as it was. As the
// server's first answer it lets the start-up go on without the server.
void ServerDevices::dropReadLocked() {
  cancelReadLocked();
  answeredLocked(false);
}

void ServerDevices::cancelReadLocked() {
  readAgain_ = false;
  if (!read_) return;
  const std::unique_ptr<ListRead> read = std::move(read_);
  read->cancel(connection_.api());
}

void ServerDevices::answeredLocked(bool changed) {
  if (!answered_ || changed) changed_ = true;
  answered_ = true;
}

}  // namespace bandscope::sound::pulse_detail
