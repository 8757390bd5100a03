#pragma once
// The audio component's mixer enumeration: one mixer device opened and read into a chain of
// TMixDetails records (a device node, then each destination line followed by its source
// lines with their volume, mute and meter controls), and the device's control-change
// notifications passed on to the component's OnMixerChange.
// Not used by the program today (the "rec mixer" button starts a mixer program instead): the
// component builds it as part of its interface, for a future in-window level control.
//
// Threads: UI thread only. Notifications arrive through the component's message queue at
// MessageWindow.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/message_queue.h"
#include "sound/mixer_service.h"

namespace bandscope::audio {

class TAudio;

inline constexpr std::uint16_t kNoLine = 0xFFFF;        // Destination/Source of the device node
inline constexpr std::uint32_t kNoControl = 0xFFFF;     // VolumeID/MuteID/MeterID: none
inline constexpr std::uint16_t kLineNoMute = 0x80;      // LineFlags: the line has no mute switch
inline constexpr std::uint16_t kLineMonoVolume = 0x40;  // added per one-channel volume control

struct TMixDetails {
  std::uint16_t Destination = 0;
  std::uint16_t Source = 0;
  std::string Name;
  std::uint32_t VolumeID = kNoControl;
  std::uint32_t MuteID = kNoControl;
  std::uint32_t MeterID = kNoControl;
  std::uint16_t VolumeLeft = 0;
  std::uint16_t VolumeRight = 0;
  std::uint16_t MeterChannels = 0;  // 0 none, 1 mono, 2 two-channel
  std::uint16_t LineFlags = 0;
  bool Muted = false;
  bool MonoVolume = false;
  bool Playback = false;  // the line is, or feeds, the speakers destination
  bool HasControls = false;
  std::unique_ptr<TMixDetails> Next;
};

class TMixerSettings : private sound::MessageTarget {
 public:
  explicit TMixerSettings(TAudio& owner);  // creates MessageWindow on the owner's queue
  ~TMixerSettings();                       // CloseMixer, then destroys MessageWindow
  TMixerSettings(const TMixerSettings&) = delete;
  TMixerSettings& operator=(const TMixerSettings&) = delete;

  // Opens mixer device id with MessageWindow as its callback window and reads it into
  // Details. True once every destination was read; false without a mixer service or
  // device, when the device does not open, for a device without destinations, or when a
  // line cannot be read (the device then stays open and the nodes read so far stay).
  bool OpenMixer(std::int32_t id);
  // Closes the device if the list is not empty and releases every node in list order.
  void CloseMixer();

  // Appends a node for line (the current last node, which the control updates act on).
  bool ReadLine(const sound::MixerLine& line, bool playback);
  TMixDetails& AddMixDetail(std::uint16_t destination, std::uint16_t source,
                            const std::string& name, std::uint16_t lineFlags, bool playback);

  TAudio& owner;
  sound::MixerHandle Handle = 0;
  std::unique_ptr<TMixDetails> Details;
  sound::WindowHandle MessageWindow = 0;

 private:
  // MM_MIXM_CONTROL_CHANGE: OnMixerChange with the raw parameters, then with the line of
  // the changed control; every other message is ignored.
  void handleMessage(unsigned message, std::uintptr_t param1, std::uintptr_t param2) override;
  // Reads a control's values of the first `channels` channels into values.
  bool queryValues(std::uint32_t controlId, std::uint32_t channels,
                   std::vector<std::uint32_t>& values);

  TMixDetails* last_ = nullptr;
};

}  // namespace bandscope::audio
