#include "sample_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bandscope {

namespace {

int16_t sample16(const uint8_t* in, int k) {
  return static_cast<int16_t>(static_cast<uint16_t>(in[2 * k] | in[2 * k + 1] << 8));
}

// A 16-bit sample's high byte as an unsigned 8-bit one.
uint8_t highByte(int16_t x) {
  return static_cast<uint8_t>((x >> 8) + 128);
}

// Makes room for `fresh` samples at the end of a row of `length`; returns where the newest
// min(fresh, length) of them go.
template <typename T>
T* shiftRow(T* row, int length, int fresh) {
  if (fresh >= length) return row;
  std::memmove(row, row + fresh, sizeof(T) * static_cast<size_t>(length - fresh));
  return row + (length - fresh);
}

// Time scale 1: the block's samples as they are.
void copyRow(uint8_t* row, int length, const uint8_t* in, int n) {
  const int kept = std::min(n, length);
  std::memcpy(shiftRow(row, length, n), in + (n - kept), static_cast<size_t>(kept));
}

void copyRow16(int16_t* row, uint8_t* row8, int length, const uint8_t* in, int n) {
  const int kept = std::min(n, length);
  int16_t* to = shiftRow(row, length, n);
  uint8_t* to8 = shiftRow(row8, length, n);
  for (int p = 0; p < kept; ++p) {
    const int16_t x = sample16(in, n - kept + p);
    to[p] = x;
    to8[p] = highByte(x);
  }
}

// A filtered sample rounded to the nearest 16-bit one, ties to even; beyond full scale it
// stays at full scale.
int16_t round16(float y) {
  return static_cast<int16_t>(std::rint(std::clamp(y, -32768.0f, 32767.0f)));
}

// The same on the 8-bit scale: y / 256 is exact, so this rounds once.
uint8_t round8(float y) {
  return static_cast<uint8_t>(std::rint(std::clamp(y / 256, -128.0f, 127.0f)) + 128);
}

}  // namespace

void silenceRows(SampleRows& rows) {
  std::memset(rows.sampleBuffer, 128, sizeof rows.sampleBuffer);
  std::memset(rows.sampleBuffer16, 0, sizeof rows.sampleBuffer16);
}

SampleBuffer::SampleBuffer() {
  silenceRows(rows_);
  decimator_.configure(timeScale_, sampleBits_);
}

void SampleBuffer::setLayout(uint16_t bufferLength, int32_t timeScale, int sampleBits) {
  std::lock_guard guard(lock_);
  if (timeScale != timeScale_ || sampleBits != sampleBits_) {
    decimator_.configure(timeScale, sampleBits);
  }
  bufferLength_ = bufferLength;
  timeScale_ = timeScale;
  sampleBits_ = sampleBits;
}

void SampleBuffer::appendFiltered(const uint8_t* LP, const uint8_t* RP, int samples) {
  const int length = std::min<int>(bufferLength_, kMaxSamples);
  const int bytes = sampleBits_ == 16 ? 2 : 1;
  for (int done = 0; done < samples; done += kDecimatorChunk) {
    const int n = std::min(kDecimatorChunk, samples - done);
    const uint8_t* const in[] = {LP + done * bytes, RP + done * bytes};
    const int fresh = decimator_.process(in, n, filtered_);
    const int kept = std::min(fresh, length);
    for (int c = 0; c < kChannels; ++c) {
      const float* from = filtered_ + 2 * (fresh - kept) + c;
      uint8_t* to8 = shiftRow(rows_.sampleBuffer[c], length, fresh);
      if (sampleBits_ == 16) {
        int16_t* to = shiftRow(rows_.sampleBuffer16[c], length, fresh);
        for (int p = 0; p < kept; ++p) {
          to[p] = round16(from[2 * p]);
          to8[p] = highByte(to[p]);
        }
      } else {
        for (int p = 0; p < kept; ++p) to8[p] = round8(from[2 * p]);
      }
    }
  }
}

void SampleBuffer::append(const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize) {
  std::lock_guard guard(lock_);
  const int samples = sampleBits_ == 16 ? BufferSize / 2 : BufferSize;
  if (samples == 0 || bufferLength_ == 0) return;
  if (timeScale_ > 1) {
    appendFiltered(LP, RP, samples);
    return;
  }
  const int length = std::min<int>(bufferLength_, kMaxSamples);
  if (sampleBits_ == 16) {
    copyRow16(rows_.sampleBuffer16[0], rows_.sampleBuffer[0], length, LP, samples);
    copyRow16(rows_.sampleBuffer16[1], rows_.sampleBuffer[1], length, RP, samples);
  } else {
    copyRow(rows_.sampleBuffer[0], length, LP, samples);
    copyRow(rows_.sampleBuffer[1], length, RP, samples);
  }
}

void SampleBuffer::silence() {
  std::lock_guard guard(lock_);
  silenceRows(rows_);
  decimator_.reset();
}

void SampleBuffer::snapshot(SampleRows& out) const {
  std::lock_guard guard(lock_);
  std::memcpy(&out, &rows_, sizeof out);
}

}  // namespace bandscope
