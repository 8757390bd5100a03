#pragma once
// The window's capture: the audio component Audio1, the sample buffer its blocks go into and
// the keeper that keeps it recording on the chosen source. Built with the window, opened at
// start-up, closed when the session ends or the window goes.
//
// Threads: everything on the UI thread except Audio1Record, which the recorder calls on the
// capture thread for each block; it only appends to the sample buffer, under that buffer's
// lock, and counts the block.

#include <cstdint>
#include <functional>
#include <memory>

#include "analysis/sample_buffer.h"
#include "app/window/capture_keeper.h"
#include "audio/audio.h"

class QComboBox;

namespace bandscope {

struct SoundServices;

class CaptureSession {
 public:
  // list: the device list the keeper fills; clockUs: monotonic microseconds.
  CaptureSession(QComboBox& list, SoundServices& sound, std::function<int64_t()> clockUs);
  ~CaptureSession();  // the capture thread stops before the sample buffer goes
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Start-up: the audio component made, every input device listed, the recorder set up for
  // stereo blocks of 512 samples of sampleBits at 44100 Hz and armed; not yet recording.
  void open(uint8_t sampleBits);
  // The session ends: the audio component is destroyed, once; the keeper lets it go.
  void close();
  // Asks the audio component to end the session through its own message queue.
  void endSession();

  // Each frame tick, first: offline exactly one buffer delivered, then the keeper's upkeep.
  void upkeep(bool offline);
  // The "16 bit" box: the recorder stopped, the buffer set to the other width, silent, and
  // capture restarted on the same source. Nothing before start-up.
  void setSampleBits(uint8_t bits, uint16_t bufferLength, int32_t timeScale);

  // Capture thread.
  void Audio1Record(void* Sender, const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize);

  SampleBuffer& samples() { return *samples_; }
  CaptureKeeper& keeper() { return keeper_; }
  const CaptureKeeper& keeper() const { return keeper_; }
  audio::TAudio* audio() const { return Audio1.get(); }  // null before start-up, after the end
  bool recording() const { return Audio1 && Audio1->Recorder->Opened; }

 private:
  SoundServices& sound_;
  std::unique_ptr<SampleBuffer> samples_;
  CaptureKeeper keeper_;
  std::unique_ptr<audio::TAudio> Audio1;
};

}  // namespace bandscope
