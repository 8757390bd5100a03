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

int16_t sample16(const uint8_t* in, int k) {
  return static_cast<int16_t>(static_cast<uint16_t>(in[2 * k] | in[2 * k + 1] << 8));
}

// A 16-bit sample's high byte as an unsigned 8-bit one.
uint8_t highByte(int16_t x) {
  return static_cast<uint8_t>((x >> 8) + 128);
}

// appendRow for 16-bit little-endian input: the 16-bit row, and the 8-bit one from the
// samples' high bytes.
void appendRow16(int16_t* row, uint8_t* row8, int length, int scale, const uint8_t* in, int n) {
  const int fresh = n / scale;
  int from = 0;  // first position written
  if (fresh < length) {
    std::memmove(row, row + fresh, sizeof(int16_t) * static_cast<size_t>(length - fresh));
    std::memmove(row8, row8 + fresh, static_cast<size_t>(length - fresh));
    from = length - fresh;
  }
  const int skip = std::max(0, fresh - length);  // groups that fall out at once
  for (int p = from; p < length; ++p) {
    const int16_t x = sample16(in, (skip + p - from) * scale + scale - 1);
    row[p] = x;
    row8[p] = highByte(x);
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

void appendToRows16(SampleRows& rows, uint16_t bufferLength, int32_t timeScale, const uint8_t* LP,
                    const uint8_t* RP, uint16_t samples) {
  if (samples == 0 || bufferLength == 0 || timeScale < 1) return;
  const int length = std::min<int>(bufferLength, kMaxSamples);
  appendRow16(rows.sampleBuffer16[0], rows.sampleBuffer[0], length, timeScale, LP, samples);
  appendRow16(rows.sampleBuffer16[1], rows.sampleBuffer[1], length, timeScale, RP, samples);
}

void silenceRows(SampleRows& rows) {
  std::memset(rows.sampleBuffer, 128, sizeof rows.sampleBuffer);
  std::memset(rows.sampleBuffer16, 0, sizeof rows.sampleBuffer16);
}

SampleBuffer::SampleBuffer() {
  silenceRows(rows_);
}

void SampleBuffer::setLayout(uint16_t bufferLength, int32_t timeScale, int sampleBits) {
  std::lock_guard guard(lock_);
  bufferLength_ = bufferLength;
  timeScale_ = timeScale;
  sampleBits_ = sampleBits;
}

void SampleBuffer::append(const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize) {
  std::lock_guard guard(lock_);
  if (sampleBits_ == 16) {
    appendToRows16(rows_, bufferLength_, timeScale_, LP, RP, BufferSize / 2);
  } else {
    appendToRows(rows_, bufferLength_, timeScale_, LP, RP, BufferSize);
  }
}

void SampleBuffer::silence() {
  std::lock_guard guard(lock_);
  silenceRows(rows_);
}

void SampleBuffer::snapshot(SampleRows& out) const {
  std::lock_guard guard(lock_);
  std::memcpy(&out, &rows_, sizeof out);
}

}  // namespace bandscope
