#pragma once
// The input devices the program offers, as one service: the devices of each member service
// in turn (the sound server's sources, then the test signal). The default device
// (WAVE_MAPPER) is that of the first member that has any device.
//
// Threads: the UI thread, like the member services' operations; data notifications come
// from the members' own threads unchanged.

#include <array>
#include <string>
#include <vector>

#include "sound/wave_service.h"

namespace bandscope::sound {

class DeviceList final : public WaveInService {
 public:
  explicit DeviceList(std::vector<WaveInService*> members) : members_(std::move(members)) {}

  unsigned numDevs() override;
  std::string deviceDescription(unsigned id) override;
  std::string deviceName(unsigned id) override;
  std::string deviceDetail(unsigned id) override;
  bool refresh() override;  // every member; false when any cannot reach its server
  bool takeDevicesChanged() override;
  bool listPending() override;  // any member's
  // The device named name now, or -1.
  int indexOf(const std::string& name);
  MMResult open(WaveHandle& handle, int deviceId, const WaveFormat& format, WaveCallback callback,
                void* instance) override;
  MMResult prepareHeader(WaveHandle handle, WaveHeader& header) override;
  MMResult addBuffer(WaveHandle handle, WaveHeader& header) override;
  MMResult start(WaveHandle handle) override;
  MMResult reset(WaveHandle handle) override;
  MMResult unprepareHeader(WaveHandle handle, WaveHeader& header) override;
  MMResult close(WaveHandle handle) override;
  std::string errorText(MMResult code) override;
  bool deliverNext(WaveHandle handle) override;

 private:
  struct Open {
    WaveInService* member = nullptr;
    WaveHandle inner = 0;
  };
  // Maps a list index (or WAVE_MAPPER) to a member and its own index.
  bool locate(int deviceId, WaveInService*& member, int& memberId);
  Open* find(WaveHandle handle);
  template <typename Call>
  MMResult forward(WaveHandle handle, Call call) {
    Open* o = find(handle);
    if (!o) return MMSYSERR_INVALHANDLE;
    lastUsed_ = o->member;
    return call(*o->member, o->inner);
  }

  std::vector<WaveInService*> members_;
  std::array<Open, 8> open_{};  // handle = slot + 1
  WaveInService* lastUsed_ = nullptr;
};

}  // namespace bandscope::sound
