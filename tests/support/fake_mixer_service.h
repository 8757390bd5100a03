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

#include "sound/mixer_service.h"

namespace bandscope::test {

struct FakeMixerControl {
  std::uint32_t id = 0;
  std::uint32_t type = sound::MIXERCONTROL_CONTROLTYPE_VOLUME;
  std::vector<std::uint32_t> values;  // one per channel; a query asks for at most this many
  bool failQuery = false;
};

struct FakeMixerLine {
  std::string name;
  std::uint32_t componentType = sound::MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
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
  sound::MMResult openResult = sound::MMSYSERR_NOERROR;
};

class FakeMixerService final : public sound::MixerService {
 public:
  std::vector<FakeMixerDevice> devices;

  struct Open {
    unsigned id = 0;
    sound::MessageQueue* queue = nullptr;
    sound::WindowHandle window = 0;
    std::vector<std::uint32_t> pending;  // control ids the next dispatch reports
  };
  const std::map<sound::MixerHandle, Open>& open() const { return open_; }
  int opens() const { return opens_; }
  const std::vector<sound::MixerHandle>& closed() const { return closed_; }
  // Queues a change of the control; dispatch(handle) reports it.
  void changeControl(sound::MixerHandle handle, std::uint32_t controlId);

  unsigned numDevs() override { return static_cast<unsigned>(devices.size()); }
  sound::MMResult getDevCaps(unsigned id, sound::MixerCaps& caps) override;
  sound::MMResult open(sound::MixerHandle& handle, unsigned id, sound::MessageQueue* queue,
                       sound::WindowHandle callbackWindow) override;
  sound::MMResult close(sound::MixerHandle handle) override;
  sound::MMResult getDestinationLine(sound::MixerHandle handle, std::uint32_t destination,
                                     sound::MixerLine& line) override;
  sound::MMResult getSourceLine(sound::MixerHandle handle, std::uint32_t destination,
                                std::uint32_t source, sound::MixerLine& line) override;
  sound::MMResult getLineControls(sound::MixerHandle handle, std::uint32_t lineId,
                                  std::span<sound::MixerControl> controls) override;
  sound::MMResult getControlDetails(sound::MixerHandle handle, std::uint32_t controlId,
                                    std::span<std::uint32_t> values) override;
  std::vector<pollfd> pollDescriptors(sound::MixerHandle) override { return {}; }
  void dispatch(sound::MixerHandle handle) override;
  void setEventWatcher(EventWatcher* watcher) override { watcher_ = watcher; }

 private:
  const FakeMixerDevice* deviceOf(sound::MixerHandle handle) const;
  // Line (destination, k): k 0 the destination line, k >= 1 source k - 1.
  const FakeMixerLine* lineOf(sound::MixerHandle handle, std::uint32_t destination,
                              std::uint32_t k) const;

  std::map<sound::MixerHandle, Open> open_;
  sound::MixerHandle nextHandle_ = 0x5001;
  int opens_ = 0;
  std::vector<sound::MixerHandle> closed_;
  EventWatcher* watcher_ = nullptr;
};

}  // namespace bandscope::test
