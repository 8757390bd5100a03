#pragma once
// A wave-input device whose sound is produced by the program itself (a generator or a
// decoded file), delivered in real time: a thread of the device's own fills the oldest
// queued buffer and returns it when its last frame is due. With no buffer queued it waits
// for one (the sound pauses rather than being lost); after such a pause, or when it fell
// behind, the schedule restarts from the present instead of bursting.
//
// Threads: the WaveInService operations on the UI thread; produce() and the data
// notifications on the device's thread, which is started by start() and joined by reset()
// and close(), so no notification is in flight once those return.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/wave_service.h"

namespace bandscope::platform {

class PacedWaveInput : public WaveInService {
 public:
  ~PacedWaveInput() override;

  unsigned numDevs() override { return 1; }
  MMResult open(WaveHandle& handle, int deviceId, const WaveFormat& format, WaveCallback callback,
                void* instance) override;
  MMResult prepareHeader(WaveHandle handle, WaveHeader& header) override;
  MMResult addBuffer(WaveHandle handle, WaveHeader& header) override;
  MMResult start(WaveHandle handle) override;
  MMResult reset(WaveHandle handle) override;
  MMResult unprepareHeader(WaveHandle handle, WaveHeader& header) override;
  MMResult close(WaveHandle handle) override;
  std::string errorText(MMResult code) override { return genericErrorText(code); }

 protected:
  // UI thread, inside open: WAVERR_BADFORMAT for a format this device cannot produce.
  virtual MMResult acceptFormat(const WaveFormat& format) = 0;
  // Device thread: writes up to length bytes (whole frames) of the next sound; returns the
  // count written (fewer at the end of a file).
  virtual std::uint32_t produce(std::uint8_t* data, std::uint32_t length) = 0;
  const WaveFormat& format() const { return format_; }

 private:
  static constexpr WaveHandle kHandle = 1;
  static constexpr std::size_t kQueue = 16;
  void run();
  void stopThread();
  bool popFront(WaveHeader*& header);

  WaveFormat format_{};
  WaveCallback callback_ = nullptr;
  void* instance_ = nullptr;
  bool open_ = false;
  std::mutex mutex_;
  std::condition_variable wakeUp_;
  std::array<WaveHeader*, kQueue> queue_{};
  std::size_t head_ = 0, count_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace bandscope::platform
