#include "sample_buffer.h"

#include <algorithm>
#include <cstring>

namespace bandscope {

namespace {

void appendRow(uint8_t* row, int length, int scale, const uint8_t* in, int n) {
  const int fresh = (scale == 1) ? n : n / scale;  // new samples for this row
  if (fresh >= length) {
    // Only the newest `length` samples survive; nothing older is kept.
    if (scale == 1) {
      std::memcpy(row, in + (n - length), static_cast<size_t>(length));
    } else {
      const int skip = fresh - length;  // whole groups that fall out at once
      for (int p = 0; p < length; ++p) row[p] = in[(skip + p) * scale + scale - 1];
    }
    return;
  }
  std::memmove(row, row + fresh, static_cast<size_t>(length - fresh));
  uint8_t* tail = row + (length - fresh);
  if (scale == 1) {
    std::memcpy(tail, in, static_cast<size_t>(fresh));
  } else {
    // Each position takes the last sample of its group; a trailing short group is dropped.
    for (int p = 0; p < fresh; ++p) tail[p] = in[p * scale + scale - 1];
  }
}

}  // namespace

void appendToRows(SampleRows& rows, uint16_t bufferLength, int32_t timeScale, const uint8_t* LP,
                  const uint8_t* RP, uint16_t BufferSize) {
  if (BufferSize == 0 || bufferLength == 0 || timeScale < 1) return;
  const int length = std::min<int>(bufferLength, kMaxSamples);
  appendRow(rows.sampleBuffer[0], length, timeScale, LP, BufferSize);
  appendRow(rows.sampleBuffer[1], length, timeScale, RP, BufferSize);
}

SampleBuffer::SampleBuffer() {
  std::memset(rows_.sampleBuffer, 128, sizeof rows_.sampleBuffer);
}

void SampleBuffer::setLayout(uint16_t bufferLength, int32_t timeScale) {
  std::lock_guard guard(lock_);
  bufferLength_ = bufferLength;
  timeScale_ = timeScale;
}

void SampleBuffer::append(const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize) {
  std::lock_guard guard(lock_);
  appendToRows(rows_, bufferLength_, timeScale_, LP, RP, BufferSize);
}

void SampleBuffer::silence() {
  std::lock_guard guard(lock_);
  std::memset(rows_.sampleBuffer, 128, sizeof rows_.sampleBuffer);
}

void SampleBuffer::snapshot(SampleRows& out) const {
  std::lock_guard guard(lock_);
  std::memcpy(out.sampleBuffer, rows_.sampleBuffer, sizeof out.sampleBuffer);
}

}  // namespace bandscope
