// The server's sources or sinks, as the device list of the PulseAudio services.
#include "sound/pulse_wave.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "sound/pulse_connection.h"

namespace bandscope::sound::pulse_detail {

namespace {

const char* orEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// Reads the sources (or sinks) of the server: the default first, then the rest in the
// server's order. With the lock held and the context ready.
struct DeviceCollector {
  bool sources;
  std::string defaultName;
  std::vector<PulseDevice> devices;
};

void collectServer(pa_context*, const pa_server_info* info, void* userdata) {
  auto* collector = static_cast<DeviceCollector*>(userdata);
  if (info != nullptr)
    collector->defaultName =
        orEmpty(collector->sources ? info->default_source_name : info->default_sink_name);
}

template <typename Info>  // pa_source_info or pa_sink_info
void collectDevice(pa_context*, const Info* info, int eol, void* userdata) {
  if (eol == 0 && info != nullptr)
    static_cast<DeviceCollector*>(userdata)->devices.push_back(
        {orEmpty(info->name), orEmpty(info->description)});
}

std::vector<PulseDevice> readDevicesLocked(PulseConnection& connection, bool sources,
                                           int timeoutMs) {
  DeviceCollector collector{sources, {}, {}};
  pa_context* context = connection.context();
  connection.runLocked(pa_context_get_server_info(context, &collectServer, &collector), timeoutMs);
  connection.runLocked(sources
                           ? pa_context_get_source_info_list(context, &collectDevice, &collector)
                           : pa_context_get_sink_info_list(context, &collectDevice, &collector),
                       timeoutMs);
  auto& list = collector.devices;
  const auto found = std::find_if(list.begin(), list.end(), [&](const PulseDevice& device) {
    return device.name == collector.defaultName;
  });
  if (found != list.end()) std::rotate(list.begin(), found, found + 1);
  return std::move(list);
}

}  // namespace

bool ServerDevices::connectLocked() {
  if (!connection_.ensureConnectedLocked(waitMs_)) {
    devices_.clear();
    return false;
  }
  if (generation_ != connection_.generation()) loadLocked();
  return true;
}

void ServerDevices::loadLocked() {
  devices_ = readDevicesLocked(connection_, kind_ == Kind::Sources, waitMs_);
  generation_ = connection_.generation();
}

bool ServerDevices::refresh() {
  if (!connection_.usable()) return false;
  Locked lock(connection_);
  if (!connectLocked()) return false;
  loadLocked();
  return true;
}

unsigned ServerDevices::count() {
  if (!connection_.usable()) return 0;
  Locked lock(connection_);
  return connectLocked() ? static_cast<unsigned>(devices_.size()) : 0;
}

PulseDevice ServerDevices::device(unsigned id) {
  if (!connection_.usable()) return {};
  Locked lock(connection_);
  if (!connectLocked() || id >= devices_.size()) return {};
  return devices_[id];
}

bool ServerDevices::hasLocked(int deviceId) const {
  return deviceId >= WAVE_MAPPER && (deviceId < 0 || std::size_t(deviceId) < devices_.size());
}

const char* ServerDevices::nameLocked(int deviceId) const {
  return deviceId == WAVE_MAPPER ? nullptr : devices_[std::size_t(deviceId)].name.c_str();
}

}  // namespace bandscope::sound::pulse_detail
