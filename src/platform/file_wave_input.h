#pragma once
// An audio file played as a wave-input service with one device (id 0; WAVE_MAPPER means it
// too). The whole file is decoded at load time into the recording format (44100 Hz, stereo,
// unsigned 8-bit with silence at 128) and kept in one vector; the device hands it out in the
// lent buffers.
//
// Modes:
// - RealTime: after start, a thread of the device's own fills the oldest queued buffer with
//   the next bytes of the file and returns it (WIM_DATA on that thread), paced like a sound
//   card: a buffer of n bytes (n / 2 frames) is due n / 2 / 44100 s after the previous one, on
//   absolute deadlines of the monotonic clock. The file keeps playing whether or not a buffer
//   is queued: a block that begins with no buffer queued is skipped, like an overrun. After
//   the file's last (possibly partial) buffer the next one starts again at its beginning.
// - Offline: no thread and no pacing; deliverNext() fills and returns one buffer on the
//   calling thread and stops at the end of the file.
// Each open starts at the file's beginning; reset and start again go on where it stopped.
//
// Threads: load, every service operation, deliverNext and atEnd on the UI thread. In RealTime
// mode WIM_DATA arrives on the device's thread, which waits only on a condition variable that
// start, reset and close signal, allocates nothing per block and never calls back the UI
// thread. WIM_OPEN, WIM_CLOSE and the headers returned by reset arrive on the calling thread.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wave_service.h"

namespace bandscope::platform {

enum class FileMode { RealTime, Offline };

class FileWaveInput final : public WaveInService {
 public:
  static constexpr std::uint32_t kSampleRate = 44100;
  static constexpr std::uint16_t kChannels = 2;
  static constexpr std::uint16_t kBlockAlign = 2;    // bytes per frame
  static constexpr std::size_t kQueueCapacity = 32;  // headers queued at once
  // Block length the real-time schedule uses before any buffer has been added.
  static constexpr std::uint32_t kDefaultBlockBytes = 1024;

  // Decodes the file at path; null with a message naming the file in error on failure.
  static std::unique_ptr<FileWaveInput> load(const std::string& path, FileMode mode,
                                             std::string& error);
  ~FileWaveInput() override;
  FileWaveInput(const FileWaveInput&) = delete;
  FileWaveInput& operator=(const FileWaveInput&) = delete;

  unsigned numDevs() override { return 1; }
  std::string deviceDescription(unsigned id) override;  // the file's name
  // Only PCM 8-bit stereo at 44100 Hz; anything else is WAVERR_BADFORMAT.
  MMResult open(WaveHandle& handle, int deviceId, const WaveFormat& format, WaveCallback callback,
                void* instance) override;
  MMResult prepareHeader(WaveHandle handle, WaveHeader& header) override;
  MMResult addBuffer(WaveHandle handle, WaveHeader& header) override;
  MMResult start(WaveHandle handle) override;
  MMResult reset(WaveHandle handle) override;
  MMResult unprepareHeader(WaveHandle handle, WaveHeader& header) override;
  // WAVERR_STILLPLAYING while buffers are queued (reset first).
  MMResult close(WaveHandle handle) override;
  std::string errorText(MMResult code) override;

  // Offline mode: fills the oldest queued buffer with the next bytes and returns it through
  // the callback on this thread. False, delivering nothing, at the end of the file, when no
  // buffer is queued, when the device is not started, and in RealTime mode.
  bool deliverNext();
  // Offline mode: every byte has been delivered. Always false in RealTime mode (it loops).
  bool atEnd() const;

  FileMode mode() const { return mode_; }
  // The converted file: interleaved stereo, unsigned 8-bit.
  const std::vector<std::uint8_t>& samples() const { return samples_; }

 private:
  FileWaveInput(std::string name, FileMode mode, std::vector<std::uint8_t> samples);

  bool validHandle(WaveHandle handle) const { return open_ && handle != 0 && handle == handle_; }
  // Takes the oldest queued header; null when none. Caller holds mutex_.
  WaveHeader* popHeader();
  // Copies up to bytes of the file from position_ into header and marks it done.
  void fill(WaveHeader& header, std::size_t bytes);
  // The byte count of the next block from position_ for a buffer of length bytes.
  std::size_t blockBytes(std::uint32_t length) const;
  void advance(std::size_t bytes);
  void run();
  void stopThread();

  const std::string name_;
  const FileMode mode_;
  const std::vector<std::uint8_t> samples_;

  // Set by open, constant until close.
  bool open_ = false;
  WaveHandle handle_ = 0;
  WaveHandle lastHandle_ = 0;
  WaveCallback callback_ = nullptr;
  void* instance_ = nullptr;

  // Shared with the device's thread, under mutex_.
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // start, reset and close: to the device's thread
  std::condition_variable idle_;  // the device's thread has left its callback
  std::array<WaveHeader*, kQueueCapacity> queue_{};
  std::size_t queueHead_ = 0;
  std::size_t queueCount_ = 0;
  std::size_t position_ = 0;      // next byte of samples_ to deliver
  std::uint32_t lastLength_ = 0;  // buffer length of the last added header
  bool started_ = false;
  bool quit_ = false;
  bool delivering_ = false;
  std::uint64_t session_ = 0;  // bumped by start, reset and close
  std::chrono::steady_clock::time_point origin_{};
  std::thread thread_;
};

}  // namespace bandscope::platform
