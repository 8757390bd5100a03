#pragma once
// The mixer service the audio component enumerates through: mixer devices, their
// destination and source lines, each line's controls and the controls' values, and change
// notifications for an open device.
//
// Model: a device has destinations 0 .. destinations - 1; destination d has its own line and
// connections source lines 0 .. connections - 1. A line has controls (a volume fader, a mute
// switch, ...) named by control ids that are unique within the open device.
//
// Notifications: a device opened with a callback window reports each changed control by
// sending MM_MIXM_CONTROL_CHANGE (param1: the mixer handle, param2: the control id) to that
// window of the given queue. The service does this only inside dispatch(), which the owner of
// an event loop calls when one of the device's poll descriptors is ready; an EventWatcher set
// on the service is told which descriptors to watch for each such device.
//
// Threads: every operation on the UI thread; messages are sent synchronously from inside
// dispatch(). A handler may call the service back, including close() of the handle being
// dispatched.

#include <poll.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sound/message_queue.h"
#include "sound/wave_service.h"

namespace bandscope::sound {

using MixerHandle = std::uintptr_t;  // 0 = none

// Mixer errors, next to the generic MMSYSERR_* codes.
inline constexpr MMResult MIXERR_INVALLINE = 1024;
inline constexpr MMResult MIXERR_INVALCONTROL = 1025;

inline constexpr unsigned MM_MIXM_LINE_CHANGE = 976;
inline constexpr unsigned MM_MIXM_CONTROL_CHANGE = 977;

// Line component types.
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;

// Control types. Volume values are 0..65535, mute values 0 (sounding) or 1 (muted).
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001;

struct MixerCaps {
  std::string productName;
  std::uint32_t destinations = 0;
};

struct MixerLine {
  std::uint32_t lineId = 0;       // names the line in getLineControls
  std::uint32_t destination = 0;  // the destination index (of the line itself or its target)
  std::uint32_t source = 0;       // the source index; 0 for a destination line
  std::string name;               // full name
  std::uint32_t componentType = 0;
  std::uint32_t channels = 0;
  std::uint32_t connections = 0;  // a destination's number of source lines; 0 for a source
  std::uint32_t controls = 0;
};

struct MixerControl {
  std::uint32_t controlId = 0;
  std::uint32_t controlType = 0;
  std::string name;
};

class MixerService {
 public:
  // Told when a device with a callback window opens and closes, so that its descriptors can
  // be watched for readiness (then call dispatch with the handle).
  class EventWatcher {
   public:
    virtual void watch(MixerHandle handle, const std::vector<pollfd>& descriptors) = 0;
    virtual void unwatch(MixerHandle handle) = 0;

   protected:
    ~EventWatcher() = default;
  };

  virtual ~MixerService() = default;

  virtual unsigned numDevs() = 0;
  virtual MMResult getDevCaps(unsigned id, MixerCaps& caps) = 0;
  // queue and callbackWindow: where change notifications go; null / 0 for none.
  virtual MMResult open(MixerHandle& handle, unsigned id, MessageQueue* queue,
                        WindowHandle callbackWindow) = 0;
  virtual MMResult close(MixerHandle handle) = 0;

  virtual MMResult getDestinationLine(MixerHandle handle, std::uint32_t destination,
                                      MixerLine& line) = 0;
  virtual MMResult getSourceLine(MixerHandle handle, std::uint32_t destination,
                                 std::uint32_t source, MixerLine& line) = 0;
  // Every control of the line; controls.size() must be the line's control count.
  virtual MMResult getLineControls(MixerHandle handle, std::uint32_t lineId,
                                   std::span<MixerControl> controls) = 0;
  // One value per channel: values.size() is 1 (the first channel) or up to the line's channel
  // count.
  virtual MMResult getControlDetails(MixerHandle handle, std::uint32_t controlId,
                                     std::span<std::uint32_t> values) = 0;

  // Descriptors to poll for the open device's events; empty when it has none.
  virtual std::vector<pollfd> pollDescriptors(MixerHandle handle) = 0;
  // Reads the pending events and sends MM_MIXM_CONTROL_CHANGE for each changed control.
  virtual void dispatch(MixerHandle handle) = 0;
  // The watcher is told about the devices open now and every later open and close; null
  // stops that. It must outlive the service or be unset first.
  virtual void setEventWatcher(EventWatcher* watcher) = 0;
};

}  // namespace bandscope::sound
