#pragma once
// A wave-input device (one device, id 0; WAVE_MAPPER means it too) whose sound the program
// produces itself: a generator or a decoded file. The base holds the driver model (handles,
// the header FIFO, prepare/add/unprepare rules, reset, close) and the delivery.
//
// Delivery:
// - Paced: start() starts a thread of the device's own that fills the oldest queued buffer
//   and returns it when its last frame is due, like a sound card. A buffer of n frames is due
//   n / rate s after the previous one, on absolute deadlines of the monotonic clock, so late
//   wake-ups do not add up. Only a buffer queued when its block begins gets that block.
//   With no buffer queued the block (as long as the last buffer added) is produced and
//   dropped: time goes on and that sound is lost, as in an overrun. A thread more than
//   100 ms behind (a stalled machine) restarts the schedule from the present.
// - Unpaced: no thread; deliverOne() fills and returns one buffer on the calling thread.
//
// Threads: every service operation and deliverOne on the UI thread. Paced, WIM_DATA and
// produce() run on the device's thread, which lives from start to reset or close (both join
// it, so no notification is in flight once they return), waits only on a condition variable
// that they signal, and allocates nothing per block. WIM_OPEN, WIM_CLOSE and the headers
// returned by reset arrive on the calling thread.

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "sound/wave_service.h"

namespace bandscope::sound {

class PacedWaveInput : public WaveInService {
 public:
  static constexpr std::size_t kQueueCapacity = 32;  // headers queued at once
  // Block length of the paced schedule before any buffer has been added.
  static constexpr std::uint32_t kDefaultBlockBytes = 1024;

  ~PacedWaveInput() override;
  PacedWaveInput(const PacedWaveInput&) = delete;
  PacedWaveInput& operator=(const PacedWaveInput&) = delete;

  unsigned numDevs() override { return 1; }
  MMResult open(WaveHandle& handle, int deviceId, const WaveFormat& format, WaveCallback callback,
                void* instance) override;
  MMResult prepareHeader(WaveHandle handle, WaveHeader& header) override;
  MMResult addBuffer(WaveHandle handle, WaveHeader& header) override;
  MMResult start(WaveHandle handle) override;
  MMResult reset(WaveHandle handle) override;
  MMResult unprepareHeader(WaveHandle handle, WaveHeader& header) override;
  // WAVERR_STILLPLAYING while buffers are queued (reset first).
  MMResult close(WaveHandle handle) override;
  std::string errorText(MMResult code) override { return genericErrorText(code); }

 protected:
  explicit PacedWaveInput(bool paced) : paced_(paced) {}
  // Derived destructors call this first, so that produce() never runs on a half-destroyed
  // object.
  void stopThread();

  // UI thread, inside open: WAVERR_BADFORMAT for a PCM format this device cannot produce.
  virtual MMResult acceptFormat(const WaveFormat& format) = 0;
  // UI thread, when open succeeds: go back to the beginning of the sound.
  virtual void rewind() {}
  // Writes up to length bytes (whole frames of the open format) of the next sound; returns
  // the count written, fewer where a block ends early (the end of a file).
  virtual std::uint32_t produce(std::uint8_t* data, std::uint32_t length) = 0;

  // Unpaced: fills the oldest queued buffer and returns it through the callback on this
  // thread. False, delivering nothing, when not open and started or with no buffer queued.
  bool deliverOne();
  const WaveFormat& format() const { return format_; }

 private:
  bool valid(WaveHandle handle) const { return open_ && handle != 0 && handle == handle_; }
  void notify(unsigned message, WaveHeader* header);
  // Takes the oldest queued header and marks it done with bytes recorded. Caller holds mutex_
  // or no device thread runs.
  WaveHeader* pop(std::uint32_t bytes);
  // Produces length bytes into scratch_ and drops them; returns the count produced.
  std::uint32_t skip(std::uint32_t length);
  void run();

  const bool paced_;
  WaveFormat format_{};
  WaveHandle handle_ = 0, lastHandle_ = 0;
  WaveCallback callback_ = nullptr;
  void* instance_ = nullptr;
  bool open_ = false, started_ = false;  // UI thread only
  std::thread thread_;

  // Shared with the device's thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable wake_;  // reset and close: to the device's thread
  std::array<WaveHeader*, kQueueCapacity> queue_{};
  std::size_t head_ = 0, count_ = 0;
  std::uint32_t lastLength_ = 0;  // buffer length of the last added header
  bool stopping_ = false;

  std::array<std::uint8_t, 4096> scratch_{};  // the device's thread: sound nobody takes
};

}  // namespace bandscope::sound
