#pragma once
// The mixer service over ALSA's simple mixer (snd_mixer_*, snd_mixer_selem_*).
//
// Devices: 0 is ALSA's "default" control device when it can be opened (through the pulse
// plugin when a PulseAudio server runs), then one per sound card ("hw:N"). The list is read
// again by every numDevs(); getDevCaps and open use the last one read. Through the pulse
// plugin opening "default" waits for the sound server, up to libpulse's 30 s when the server
// takes the connection and never answers; so it is tried on a thread of its own, given
// kDefaultWaitMs, and left out of the list when it has not answered by then (and while that
// try still waits).
//
// Lines: every device has two destinations, 0 the playback side (component type speakers)
// and 1 the capture side (wave-in). Each simple element with a playback volume or switch
// belongs to the playback side, each with a capture volume or switch to the capture side,
// in ALSA's element order (which puts "Master" and "Capture" first). The first element of a
// side is the destination line itself ("Master", say); the others are its source lines. A
// side without elements is a destination line named "Playback" or "Capture" without
// controls or sources. An element on both sides is a line on each.
//
// Controls: a volume is a volume control scaled to 0..65535 from the element's range; a
// switch is a mute control that reads 1 while the switch is off. Control ids are
// element number * 4 + kind (playback volume, playback switch, capture volume, capture
// switch), so they stay below 0xFFFF (at most 16383 elements are taken). Line ids are the
// destination index for a destination line and (source + 1) << 16 | destination for a
// source line.
//
// Notifications: the device's poll descriptors are those of snd_mixer; dispatch() handles
// ALSA's events and sends MM_MIXM_CONTROL_CHANGE for each control whose value now differs
// from the one last seen. Elements added after open are not picked up; a removed element's
// controls answer MIXERR_INVALCONTROL.
//
// Threads: UI thread only, like the interface; the try of "default" runs on a short-lived
// thread of its own, which may outlive the mixer.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sound/mixer_service.h"

namespace bandscope::sound {

class AlsaMixer : public MixerService {
 public:
  static constexpr int kDefaultWaitMs = 150;

  AlsaMixer();
  ~AlsaMixer() override;  // closes every device still open
  AlsaMixer(const AlsaMixer&) = delete;
  AlsaMixer& operator=(const AlsaMixer&) = delete;

  unsigned numDevs() override;
  MMResult getDevCaps(unsigned id, MixerCaps& caps) override;
  MMResult open(MixerHandle& handle, unsigned id, MessageQueue* queue,
                WindowHandle callbackWindow) override;
  MMResult close(MixerHandle handle) override;
  MMResult getDestinationLine(MixerHandle handle, std::uint32_t destination,
                              MixerLine& line) override;
  MMResult getSourceLine(MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                         MixerLine& line) override;
  MMResult getLineControls(MixerHandle handle, std::uint32_t lineId,
                           std::span<MixerControl> controls) override;
  MMResult getControlDetails(MixerHandle handle, std::uint32_t controlId,
                             std::span<std::uint32_t> values) override;
  std::vector<pollfd> pollDescriptors(MixerHandle handle) override;
  void dispatch(MixerHandle handle) override;
  void setEventWatcher(EventWatcher* watcher) override;

  // The ALSA device name behind a device id of the last list ("default", "hw:0"); empty for
  // an unknown id.
  std::string deviceName(unsigned id);

 private:
  struct Device;
  struct DefaultTry;
  struct Card {
    std::string name;     // ALSA control device name
    std::string product;  // shown as the product name
  };

  void enumerate();
  // The product name of "default", when it opened within kDefaultWaitMs.
  std::optional<std::string> tryDefault();
  Device* find(MixerHandle handle);
  void closeDevice(std::map<MixerHandle, std::unique_ptr<Device>>::iterator it);

  std::vector<Card> cards_;
  std::shared_ptr<DefaultTry> defaultTry_;  // the last try, shared with its thread
  bool enumerated_ = false;
  std::map<MixerHandle, std::unique_ptr<Device>> open_;
  MixerHandle nextHandle_ = 1;
  EventWatcher* watcher_ = nullptr;
};

}  // namespace bandscope::sound
