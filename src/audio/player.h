#pragma once
// The wave-output player: streams PCM from a source stream through four buffers to an
// output device and reports each played buffer (OnBufferPlayed) and the end (OnPlayed).
// Not used by the program today: the audio component carries it as part of its interface,
// ready for playing back what was analysed; its tests keep it working.
//
// Threads: everything on the UI thread. The output service's notifications are posted by its
// callback to the component's window and handled there.

#include <cstdint>
#include <memory>

#include "audio/audio_settings.h"
#include "audio/stream.h"
#include "sound/message_queue.h"

namespace bandscope::audio {

class TPlayer : public TAudioSettings {
 public:
  explicit TPlayer(TAudio& owner);
  ~TPlayer();

  // Playback entry points: open the component's AudioDeviceID with the current format and
  // prepare the ring; Play hands over the source and starts streaming (opening if needed).
  bool Open();
  bool Play(std::unique_ptr<TStream> source, std::uint16_t loops = 0);
  bool Stop();

  // Device notifications (WOM_OPEN, WOM_CLOSE, WOM_DONE) as the component's window gets them.
  void deviceNotification(unsigned message);
  void FillNextBuffer();

  sound::WaveHandle Handle = 0;
  std::uint16_t LoopCount = 0;
  std::int32_t StreamPosition = 0;
  std::unique_ptr<TStream> SourceStream;
  bool ClosePosted = false;
  sound::WindowHandle bufferDoneWindow = 0;
  sound::WindowHandle closeWindow = 0;

 private:
  friend class TAudio;
  struct BufferDone final : sound::MessageTarget {
    explicit BufferDone(TPlayer& p) : player(p) {}
    void handleMessage(unsigned message, std::uintptr_t, std::uintptr_t) override;
    TPlayer& player;
  };
  struct CloseRequest final : sound::MessageTarget {
    explicit CloseRequest(TPlayer& p) : player(p) {}
    void handleMessage(unsigned message, std::uintptr_t, std::uintptr_t) override;
    TPlayer& player;
  };
  static void callback(sound::WaveHandle handle, unsigned message, void* instance,
                       sound::WaveHeader* header, std::uintptr_t param);
  void postCloseOnce();
  void closeDevice(bool notifyPlayed = true);

  BufferDone bufferDone_{*this};
  CloseRequest closeRequest_{*this};
};

}  // namespace bandscope::audio
