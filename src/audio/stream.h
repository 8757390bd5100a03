#pragma once
// A seekable byte source for the player. Not used by the program today: it exists because
// the player (also unused, see player.h) reads from it.
//
// Threads: the UI thread only.

#include <cstdint>
#include <vector>

namespace bandscope::audio {

class TStream {
 public:
  virtual ~TStream() = default;
  virtual std::int64_t Position() const = 0;
  virtual void Seek(std::int64_t position) = 0;  // clamped to 0 .. size
  // Reads up to count bytes at the position and moves past them; returns the count read.
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
};

class TMemoryStream final : public TStream {
 public:
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::int64_t Position() const override { return position_; }
  void Seek(std::int64_t position) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;

 private:
  std::vector<std::uint8_t> bytes_;
  std::int64_t position_ = 0;
};

}  // namespace bandscope::audio
