#pragma once
// The PCM format and the ring of four buffers shared by the recorder and the player, and the
// event types of the audio component.
//
// Threads: the format and the ring are built and released on the UI thread while the device
// is closed. DoneIndex, Active and (on the recorder) Triggered are also written by the
// capture callback, hence atomic.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "sound/wave_service.h"

namespace bandscope::audio {

enum class TChannels { Mono, Stereo };
enum class TBPS { _8, _16 };

using TNotifyAudioRecordEvent =
    std::function<void(void* Sender, const std::uint8_t* LP, const std::uint8_t* RP,
                       std::uint16_t BufferSize)>;
using TNotifyBufferPlayedEvent = std::function<void(void* Sender)>;
using TNotifyPlayedEvent = std::function<void(void* Sender)>;
using TNotifyMixerChange =
    std::function<void(void* Sender, std::uint16_t Destination, std::uint16_t Source)>;

class TAudio;

// Bytes per frame of a format.
std::uint16_t blockAlignOf(TChannels channels, TBPS bits);

class TAudioSettings {
 public:
  static constexpr int kBuffers = 4;

  explicit TAudioSettings(TAudio& owner) : owner_(owner) {}
  TAudioSettings(const TAudioSettings&) = delete;
  TAudioSettings& operator=(const TAudioSettings&) = delete;

  // Format properties. The setters follow the component's rule for SeparateCtrls and rebuild
  // the ring of every object whose value changed.
  TChannels Channels() const { return channels_; }
  void setChannels(TChannels value);
  TBPS BitsPerSample() const { return bitsPerSample_; }
  void setBitsPerSample(TBPS value);
  std::uint16_t SampleRate() const { return sampleRate_; }
  void setSampleRate(std::uint16_t value);
  std::uint16_t NoSamples() const { return noSamples_; }

  std::array<std::unique_ptr<sound::WaveHeader>, kBuffers> Headers;
  std::array<std::unique_ptr<std::uint8_t[]>, kBuffers> Buffers;
  std::array<std::unique_ptr<std::uint8_t[]>, kBuffers> SplitBuffers;
  std::int32_t QueueIndex = 0;
  std::atomic<std::int32_t> DoneIndex{0};
  std::int32_t QueuedCount = 0;
  bool Opened = false;
  std::unique_ptr<sound::WaveFormat> WaveFormat;
  std::uint16_t BufferBytes = 0;
  std::atomic<bool> Active{false};

 protected:
  friend class TAudio;
  // Frames per buffer are always set on the player and the recorder alike.
  void changeNoSamples(std::uint16_t value);
  template <typename T>
  void change(T TAudioSettings::*field, T value, bool both);
  TAudio& owner_;
  TChannels channels_ = TChannels::Mono;
  TBPS bitsPerSample_ = TBPS::_8;
  std::uint16_t sampleRate_ = 11025;
  std::uint16_t noSamples_ = 8192;
};

}  // namespace bandscope::audio
