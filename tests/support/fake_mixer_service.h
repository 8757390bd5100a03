#pragma once
// A scripted mixer service for the audio component's tests: devices with destination and
// source lines, each line's controls and their values, chosen failures, a log of opens and
// closes, and control changes queued by the test that dispatch() reports.
//
// Threads: the test's thread only.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/mixer_service.h"

namespace bandscope::test {

struct FakeMixerControl {
  std::uint32_t id = 0;
  std::uint32_t type = platform::MIXERCONTROL_CONTROLTYPE_VOLUME;
  std::vector<std::uint32_t> values;  // one per channel; a query asks for at most this many
  bool failQuery = false;
};

struct FakeMixerLine {
  std::string name;
  std::uint32_t componentType = platform::MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
  std::uint32_t channels = 2;
  std::vector<FakeMixerControl> controls;
  bool failInfo = false;      // its line-info query fails
  bool failControls = false;  // its control query fails
};

struct FakeMixerDestination {
  FakeMixerLine line;
  std::vector<FakeMixerLine> sources;
};

struct FakeMixerDevice {
  std::string name;
  std::vector<FakeMixerDestination> destinations;
  platform::MMResult openResult = platform::MMSYSERR_NOERROR;
};

class FakeMixerService final : public platform::MixerService {
 public:
  std::vector<FakeMixerDevice> devices;

  struct Open {
    unsigned id = 0;
    platform::MessageQueue* queue = nullptr;
    platform::WindowHandle window = 0;
    std::vector<std::uint32_t> pending;  // control ids the next dispatch reports
  };
  const std::map<platform::MixerHandle, Open>& open() const { return open_; }
  int opens() const { return opens_; }
  const std::vector<platform::MixerHandle>& closed() const { return closed_; }
  // Queues a change of the control; dispatch(handle) reports it.
  void changeControl(platform::MixerHandle handle, std::uint32_t controlId);

  unsigned numDevs() override { return static_cast<unsigned>(devices.size()); }
  platform::MMResult getDevCaps(unsigned id, platform::MixerCaps& caps) override;
  platform::MMResult open(platform::MixerHandle& handle, unsigned id, platform::MessageQueue* queue,
                          platform::WindowHandle callbackWindow) override;
  platform::MMResult close(platform::MixerHandle handle) override;
  platform::MMResult getDestinationLine(platform::MixerHandle handle, std::uint32_t destination,
                                        platform::MixerLine& line) override;
  platform::MMResult getSourceLine(platform::MixerHandle handle, std::uint32_t destination,
                                   std::uint32_t source, platform::MixerLine& line) override;
  platform::MMResult getLineControls(platform::MixerHandle handle, std::uint32_t lineId,
                                     std::span<platform::MixerControl> controls) override;
  platform::MMResult getControlDetails(platform::MixerHandle handle, std::uint32_t controlId,
                                       std::span<std::uint32_t> values) override;
  std::vector<pollfd> pollDescriptors(platform::MixerHandle) override { return {}; }
  void dispatch(platform::MixerHandle handle) override;
  void setEventWatcher(EventWatcher* watcher) override { watcher_ = watcher; }

 private:
  const FakeMixerDevice* deviceOf(platform::MixerHandle handle) const;
  // Line (destination, k): k 0 the destination line, k >= 1 source k - 1.
  const FakeMixerLine* lineOf(platform::MixerHandle handle, std::uint32_t destination,
                              std::uint32_t k) const;

  std::map<platform::MixerHandle, Open> open_;
  platform::MixerHandle nextHandle_ = 0x5001;
  int opens_ = 0;
  std::vector<platform::MixerHandle> closed_;
  EventWatcher* watcher_ = nullptr;
};

}  // namespace bandscope::test
