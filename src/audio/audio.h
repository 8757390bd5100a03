#pragma once
// The audio component: one recorder, one player, the last error text and the event slots
// through which recorded blocks and played buffers are reported.
//
// Threads: construction, destruction, every setter and operation on the UI thread. OnRecord
// is called on the capture service's thread (see recorder.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "audio/audio_settings.h"
#include "audio/player.h"
#include "audio/recorder.h"
#include "sound/message_queue.h"
#include "sound/wave_service.h"

namespace bandscope::sound {
class MixerService;
}

namespace bandscope::audio {

// The platform's session-end query, which makes the component ask its owner to destroy it.
inline constexpr unsigned WM_QUERYENDSESSION = 17;

class TMixerSettings;

// What the component records, plays and enumerates through. mixer may be null (no mixer).
struct AudioServices {
  sound::WaveInService& input;
  sound::WaveOutService& output;
  sound::MessageQueue& queue;
  sound::MixerService* mixer = nullptr;
};

class TAudio : private sound::MessageTarget {
 public:
  explicit TAudio(const AudioServices& services);
  ~TAudio();
  TAudio(const TAudio&) = delete;
  TAudio& operator=(const TAudio&) = delete;

  const std::string& Version() const { return version_; }  // read-only
  std::int32_t AudioDeviceID() const { return audioDeviceID_; }
  void setAudioDeviceID(std::int32_t value);

  bool AllocateBuffers(TAudioSettings& S);
  void FreeBuffers(TAudioSettings& S);
  // ErrorText := message + " " + the service's text for code (the message alone without one).
  void ReportDeviceError(sound::MMResult code, std::string_view message);
  void ReportOutputError(sound::MMResult code, std::string_view message);

  bool SeparateCtrls = false;
  TNotifyAudioRecordEvent OnRecord;
  std::unique_ptr<TPlayer> Player;
  std::unique_ptr<TRecorder> Recorder;
  TNotifyBufferPlayedEvent OnBufferPlayed;
  TNotifyPlayedEvent OnPlayed;
  sound::WindowHandle MessageWindow = 0;
  std::int32_t MixerDeviceID() const { return mixerDeviceID_; }
  void setMixerDeviceID(std::int32_t value);
  TNotifyMixerChange OnMixerChange;
  std::unique_ptr<TMixerSettings> mixerSettings;
  bool MixerReady = false;
  std::string ErrorText;

  // Asked by the session-end query to destroy this component; the owner resets its pointer.
  std::function<void()> OnSessionEnd;

  sound::WaveInService& input() { return services_.input; }
  sound::WaveOutService& output() { return services_.output; }
  sound::MessageQueue& queue() { return services_.queue; }
  sound::MixerService* mixer() { return services_.mixer; }

 private:
  friend class TAudioSettings;
  friend class TRecorder;
  void handleMessage(unsigned message, std::uintptr_t param1, std::uintptr_t param2) override;
  // The setters' rule: each object (both unless SeparateCtrls) whose value differs is changed
  // and rebuilt; a value that would make a buffer larger than 65535 bytes is refused.
  void applyFormat(TAudioSettings& written, bool both,
                   const std::function<bool(TAudioSettings&)>& change);
  void rebuild(TAudioSettings& S);

  AudioServices services_;
  std::string version_ = "4.0 (32bit)";
  std::int32_t audioDeviceID_ = -1;
  std::int32_t mixerDeviceID_ = 0;
};

}  // namespace bandscope::audio
