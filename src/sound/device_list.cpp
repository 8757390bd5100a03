#include "sound/device_list.h"

#include <algorithm>

namespace bandscope::sound {

unsigned DeviceList::numDevs() {
  unsigned n = 0;
  for (WaveInService* m : members_) n += m->numDevs();
  return n;
}

bool DeviceList::locate(int deviceId, WaveInService*& member, int& memberId) {
  for (WaveInService* m : members_) {
    const auto count = static_cast<int>(m->numDevs());
    if (deviceId == WAVE_MAPPER && count > 0) {
      member = m;
      memberId = WAVE_MAPPER;
      return true;
    }
    if (deviceId >= 0 && deviceId < count) {
      member = m;
      memberId = deviceId;
      return true;
    }
    if (deviceId >= 0) deviceId -= count;
  }
  return false;
}

std::string DeviceList::deviceDescription(unsigned id) {
  WaveInService* member = nullptr;
  int memberId = 0;
  if (id > 0x7FFFFFFFu || !locate(static_cast<int>(id), member, memberId)) return {};
  return member->deviceDescription(static_cast<unsigned>(memberId));
}

std::string DeviceList::deviceName(unsigned id) {
  WaveInService* member = nullptr;
  int memberId = 0;
  if (id > 0x7FFFFFFFu || !locate(static_cast<int>(id), member, memberId)) return {};
  return member->deviceName(static_cast<unsigned>(memberId));
}

std::string DeviceList::deviceDetail(unsigned id) {
  WaveInService* member = nullptr;
  int memberId = 0;
  if (id > 0x7FFFFFFFu || !locate(static_cast<int>(id), member, memberId)) return {};
  return member->deviceDetail(static_cast<unsigned>(memberId));
}

bool DeviceList::refresh() {
  bool all = true;
  for (WaveInService* m : members_) all = m->refresh() && all;
  return all;
}

bool DeviceList::takeDevicesChanged() {
  bool any = false;
  for (WaveInService* m : members_) any = m->takeDevicesChanged() || any;
  return any;
}

bool DeviceList::listPending() {
  return std::any_of(members_.begin(), members_.end(),
                     [](WaveInService* m) { return m->listPending(); });
}

int DeviceList::indexOf(const std::string& name) {
  const unsigned n = numDevs();
  for (unsigned i = 0; i < n; ++i) {
    if (deviceName(i) == name) return static_cast<int>(i);
  }
  return -1;
}

DeviceList::Open* DeviceList::find(WaveHandle handle) {
  if (handle == 0 || handle > open_.size() || !open_[handle - 1].member) return nullptr;
  return &open_[handle - 1];
}

MMResult DeviceList::open(WaveHandle& handle, int deviceId, const WaveFormat& format,
                          WaveCallback callback, void* instance) {
  WaveInService* member = nullptr;
  int memberId = 0;
  if (!locate(deviceId, member, memberId)) return MMSYSERR_BADDEVICEID;
  for (std::size_t slot = 0; slot < open_.size(); ++slot) {
    if (open_[slot].member) continue;
    lastUsed_ = member;
    WaveHandle inner = 0;
    if (const MMResult r = member->open(inner, memberId, format, callback, instance); r) return r;
    open_[slot] = {member, inner};
    handle = slot + 1;
    return MMSYSERR_NOERROR;
  }
  return MMSYSERR_ALLOCATED;
}

MMResult DeviceList::prepareHeader(WaveHandle handle, WaveHeader& header) {
  return forward(handle,
                 [&](WaveInService& m, WaveHandle h) { return m.prepareHeader(h, header); });
}
MMResult DeviceList::addBuffer(WaveHandle handle, WaveHeader& header) {
  return forward(handle, [&](WaveInService& m, WaveHandle h) { return m.addBuffer(h, header); });
}
MMResult DeviceList::start(WaveHandle handle) {
  return forward(handle, [](WaveInService& m, WaveHandle h) { return m.start(h); });
}
MMResult DeviceList::reset(WaveHandle handle) {
  return forward(handle, [](WaveInService& m, WaveHandle h) { return m.reset(h); });
}
MMResult DeviceList::unprepareHeader(WaveHandle handle, WaveHeader& header) {
  return forward(handle,
                 [&](WaveInService& m, WaveHandle h) { return m.unprepareHeader(h, header); });
}

MMResult DeviceList::close(WaveHandle handle) {
  Open* o = find(handle);
  if (!o) return MMSYSERR_INVALHANDLE;
  lastUsed_ = o->member;
  const MMResult r = o->member->close(o->inner);
  if (r == MMSYSERR_NOERROR) *o = Open{};
  return r;
}

// A member's own codes are explained by the member that returned them; the last one used
// is asked first.
std::string DeviceList::errorText(MMResult code) {
  if (lastUsed_)
    if (std::string text = lastUsed_->errorText(code); !text.empty()) return text;
  for (WaveInService* m : members_)
    if (std::string text = m->errorText(code); !text.empty()) return text;
  return genericErrorText(code);
}

bool DeviceList::deliverNext(WaveHandle handle) {
  Open* o = find(handle);
  return o && o->member->deliverNext(o->inner);
}

}  // namespace bandscope::sound
