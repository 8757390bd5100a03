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
  silenceRows(ui_.rows);
  ui_.decimator.configure(ui_.timeScale, ui_.sampleBits);
}

void SampleBuffer::setLayout(uint16_t bufferLength, int32_t timeScale, int sampleBits) {
  drainPending();  // recorded under the old layout: read as it was recorded
  if (timeScale != ui_.timeScale || sampleBits != ui_.sampleBits) {
    ui_.decimator.configure(timeScale, sampleBits);
  }
  ui_.bufferLength = bufferLength;
  ui_.timeScale = timeScale;
  ui_.sampleBits = sampleBits;
}

void SampleBuffer::appendFiltered(const uint8_t* LP, const uint8_t* RP, int samples) const {
  const int length = std::min<int>(ui_.bufferLength, kMaxSamples);
  const int bytes = ui_.sampleBits == 16 ? 2 : 1;
  SampleRows& rows = ui_.rows;
  for (int done = 0; done < samples; done += kDecimatorChunk) {
    const int n = std::min(kDecimatorChunk, samples - done);
    const uint8_t* const in[] = {LP + done * bytes, RP + done * bytes};
    const int fresh = ui_.decimator.process(in, n, ui_.filtered);
    const int kept = std::min(fresh, length);
    for (int c = 0; c < kChannels; ++c) {
      const float* from = ui_.filtered + 2 * (fresh - kept) + c;
      uint8_t* to8 = shiftRow(rows.sampleBuffer[c], length, fresh);
      if (ui_.sampleBits == 16) {
        int16_t* to = shiftRow(rows.sampleBuffer16[c], length, fresh);
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

void SampleBuffer::appendBlock(const uint8_t* LP, const uint8_t* RP, int bytes) const {
  const int samples = ui_.sampleBits == 16 ? bytes / 2 : bytes;
  if (samples == 0 || ui_.bufferLength == 0) return;
  if (ui_.timeScale > 1) {
    appendFiltered(LP, RP, samples);
    return;
  }
  const int length = std::min<int>(ui_.bufferLength, kMaxSamples);
  SampleRows& rows = ui_.rows;
  if (ui_.sampleBits == 16) {
    copyRow16(rows.sampleBuffer16[0], rows.sampleBuffer[0], length, LP, samples);
    copyRow16(rows.sampleBuffer16[1], rows.sampleBuffer[1], length, RP, samples);
  } else {
    copyRow(rows.sampleBuffer[0], length, LP, samples);
    copyRow(rows.sampleBuffer[1], length, RP, samples);
  }
}

void SampleBuffer::append(const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize) {
  ring_.push(LP, RP, BufferSize);
}

void SampleBuffer::drainPending() const {
  ring_.drain(
      [this](const uint8_t* LP, const uint8_t* RP, uint16_t bytes) { appendBlock(LP, RP, bytes); });
}

void SampleBuffer::silence() {
  ring_.discard();
  silenceRows(ui_.rows);
  ui_.decimator.reset();
}

void SampleBuffer::snapshot(SampleRows& out) const {
  drainPending();
  std::memcpy(&out, &ui_.rows, sizeof out);
}

}  // namespace bandscope
