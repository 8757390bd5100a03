#pragma once
// The wave-input recorder: four buffers circulate between the program and the capture
// service; every filled one passes the trigger gate, is optionally split into its two
// channels and is handed to the component's OnRecord.
//
// Threads: Open, Start, AddNextBuffer, Stop, Close and the setters on the UI thread; the
// re-queue request runs there too (posted to MessageWindow). The completion callback (gate,
// split, OnRecord) runs on the capture service's thread; it never allocates, never calls the
// service and never waits for the UI thread: it only posts.

#include <atomic>
#include <cstdint>

#include "audio/audio_settings.h"
#include "sound/message_queue.h"

namespace bandscope::audio {

// Posted to the recorder's window by the callback: hand the next buffer back (the number of
// the data notification), or the device has failed (param1: its error code). param2 is
// the opening the request belongs to.
inline constexpr unsigned kRequeueRequest = sound::WIM_DATA;
inline constexpr unsigned kDeviceFailedRequest = sound::WAVE_DEVICE_FAILED;

class TRecorder : public TAudioSettings, private sound::MessageTarget {
 public:
  explicit TRecorder(TAudio& owner);
  ~TRecorder();

  void setNoSamples(std::uint16_t value);  // sets the player's too
  bool SplitChannels() const { return splitChannels_; }
  void setSplitChannels(bool value);  // refused (false) unless Channels is Stereo
  std::uint16_t TrigLevel() const { return trigLevel_; }
  void setTrigLevel(std::uint16_t value) { trigLevel_ = value; }

  bool Open();
  bool Start();
  bool AddNextBuffer();
  bool Stop();
  bool Close();
  // For devices that deliver on request (a file read offline): one buffer now, handed on and
  // re-queued before this returns. False when the device delivered nothing.
  bool deliverNext();

  // Capture thread (or tests).
  bool CheckTrigger(const std::uint8_t* block, std::uint16_t size);
  void SplitBlock(std::uint8_t* LP, std::uint8_t* RP, std::uint16_t& size) const;

  sound::WaveHandle Handle = 0;
  std::atomic<bool> Triggered{false};  // the gate: true = open
  sound::WindowHandle MessageWindow = 0;

 private:
  friend class TAudio;
  static void callback(sound::WaveHandle handle, unsigned message, void* instance,
                       sound::WaveHeader* header, std::uintptr_t param);
  void data(sound::WaveHandle handle);
  void handleMessage(unsigned message, std::uintptr_t param1, std::uintptr_t param2) override;

  bool splitChannels_ = false;
  // Counts successful opens; each request carries the count of the opening that posted it.
  std::uintptr_t openCount_ = 0;
  std::uint16_t trigLevel_ = 0;
};

}  // namespace bandscope::audio
