#include "audio/stream.h"

#include <algorithm>
#include <cstring>

namespace bandscope::audio {

void TMemoryStream::Seek(std::int64_t position) {
  position_ = std::clamp<std::int64_t>(position, 0, static_cast<std::int64_t>(bytes_.size()));
}

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
  const auto left = static_cast<std::int64_t>(bytes_.size()) - position_;
  const auto n = static_cast<std::int32_t>(std::clamp<std::int64_t>(count, 0, left));
  if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

}  // namespace bandscope::audio
