#pragma once
// An audio file played as a wave-input device. The whole file is decoded at load time into
// the recording format (44100 Hz, stereo, unsigned 8-bit with silence at 128) and kept in
// one vector; the device hands it out in the lent buffers, which take only that format.
//
// Modes:
// - RealTime: paced delivery (see PacedWaveInput). After the file's last (possibly partial)
//   buffer the next one starts again at its beginning.
// - Offline: no thread and no pacing; deliverNext() fills and returns one buffer on the
//   calling thread and stops at the end of the file.
// Each open starts at the file's beginning; reset and start again go on where it stopped.
//
// Threads: load, every service operation, deliverNext and atEnd on the UI thread; otherwise
// as PacedWaveInput.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/paced_wave_input.h"

namespace bandscope::sound {

enum class FileMode { RealTime, Offline };

class FileWaveInput final : public PacedWaveInput {
 public:
  static constexpr std::uint32_t kSampleRate = 44100;
  static constexpr std::uint16_t kBlockAlign = 2;  // bytes per frame

  // Decodes the file at path; null with a message naming the file in error on failure.
  static std::unique_ptr<FileWaveInput> load(const std::string& path, FileMode mode,
                                             std::string& error);
  ~FileWaveInput() override { stopThread(); }

  std::string deviceDescription(unsigned id) override { return id == 0 ? name_ : ""; }

  // Offline mode: fills the oldest queued buffer with the next bytes and returns it through
  // the callback on this thread. False, delivering nothing, at the end of the file, when no
  // buffer is queued, when the device is not started, and in RealTime mode.
  bool deliverNext() { return !atEnd() && deliverOne(); }
  bool deliverNext(WaveHandle /*handle*/) override { return deliverNext(); }
  // Offline mode: every byte has been delivered. Always false in RealTime mode (it loops).
  bool atEnd() const { return mode_ == FileMode::Offline && position_ >= samples_.size(); }

  FileMode mode() const { return mode_; }
  // The converted file: interleaved stereo, unsigned 8-bit.
  const std::vector<std::uint8_t>& samples() const { return samples_; }

 protected:
  MMResult acceptFormat(const WaveFormat& format) override;
  void rewind() override { position_ = 0; }
  std::uint32_t produce(std::uint8_t* data, std::uint32_t length) override;

 private:
  FileWaveInput(std::string name, FileMode mode, std::vector<std::uint8_t> samples);

  const std::string name_;
  const FileMode mode_;
  const std::vector<std::uint8_t> samples_;
  std::size_t position_ = 0;  // next byte to deliver; the device's thread while it runs
};

}  // namespace bandscope::sound
