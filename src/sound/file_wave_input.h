#pragma once
// An audio file played as a wave-input device. The whole file is decoded at load time to
// 44100 Hz stereo signed 16-bit samples, kept in one vector; the device hands it out in the
// lent buffers in either recording format: 16-bit little-endian, or unsigned 8-bit with
// silence at 128. An 8-bit sample is its 16-bit one rounded to the nearest step of 256, and
// the 16-bit one is kept so that this gives exactly the decoded sound's own rounding to 8 bits.
//
// Modes:
// - RealTime: paced delivery (see PacedWaveInput). After the file's last (possibly partial)
//   buffer the next one starts again at its beginning.
// - Offline: no thread and no pacing; deliverNext() fills and returns one buffer on the
//   calling thread and stops at the end of the file.
// Each open starts at the file's beginning; reset and start again go on where it stopped.
//
// Only regular files are read (a FIFO or a device could block or never end), and the sound
// kept is bounded by FileLoadLimits: checked from the header before decoding and again while
// decoding, since headers lie.
//
// Threads: load, every service operation, deliverNext and atEnd on the UI thread; otherwise
// as PacedWaveInput.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "failure/failure.h"
#include "sound/paced_wave_input.h"

namespace bandscope::sound {

enum class FileMode { RealTime, Offline };

// What one load may decode. The defaults keep at most 30 minutes of sound (318 MB once
// decoded) and bound the work: converting the rate costs per frame read, and takes
// about 20 s for 30 minutes of 96 kHz, the most frames allowed; decoding costs per sample,
// about 2 s for the most allowed, 30 minutes of 8 channels at 48 kHz.
struct FileLoadLimits {
  std::uint32_t maxSeconds = 30 * 60;
  std::int64_t maxFileFrames = std::int64_t{30 * 60} * 96000;
  std::int64_t maxFileSamples = std::int64_t{30 * 60} * 48000 * 8;  // over all channels
};

class FileWaveInput final : public PacedWaveInput {
 public:
  static constexpr std::uint32_t kSampleRate = 44100;
  static constexpr std::uint16_t kChannels = 2;

  // Decodes the file at path; on failure a message naming the file. Never blocks: what is not
  // a regular file is refused before it is read.
  static Result<std::unique_ptr<FileWaveInput>> load(const std::string& path, FileMode mode,
                                                     const FileLoadLimits& limits = {});
  ~FileWaveInput() override { stopThread(); }

  std::string deviceDescription(unsigned id) override { return id == 0 ? name_ : ""; }

  // Offline mode: fills the oldest queued buffer with the next bytes and returns it through
  // the callback on this thread. False, delivering nothing, at the end of the file, when no
  // buffer is queued, when the device is not started, and in RealTime mode.
  bool deliverNext() { return !atEnd() && deliverOne(); }
  bool deliverNext(WaveHandle /*handle*/) override { return deliverNext(); }
  // Offline mode: every frame has been delivered. Always false in RealTime mode (it loops).
  bool atEnd() const { return mode_ == FileMode::Offline && position_ >= samples_.size(); }

  FileMode mode() const { return mode_; }
  // The converted file: interleaved stereo, signed 16-bit.
  const std::vector<std::int16_t>& samples16() const { return samples_; }
  // The same as the 8-bit format delivers it: unsigned, silence at 128.
  std::vector<std::uint8_t> samples8() const;
  // The 8-bit sample delivered for a 16-bit one: x / 256 rounded to nearest, ties away from
  // zero, at most 127, plus 128.
  static std::uint8_t byteOf(std::int16_t x);

 protected:
  MMResult acceptFormat(const WaveFormat& format) override;
  void rewind() override { position_ = 0; }
  std::uint32_t produce(std::uint8_t* data, std::uint32_t length) override;

 private:
  FileWaveInput(std::string name, FileMode mode, std::vector<std::int16_t> samples);

  const std::string name_;
  const FileMode mode_;
  const std::vector<std::int16_t> samples_;
  std::size_t position_ = 0;  // next sample to deliver; the device's thread while it runs
};

}  // namespace bandscope::sound
