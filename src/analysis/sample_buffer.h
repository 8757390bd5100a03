#pragma once
// The two-channel sample buffer that the capture hand-off fills and the frame reads.
//
// Threads: append() runs on the capture thread (inside the recorder's block callback);
// setLayout() and snapshot() run on the UI thread. One lock guards the rows and their
// layout: it is held for one whole append and for one snapshot (two 1 KiB copies), never
// while analysing or drawing. append() neither allocates nor blocks on anything but that
// lock.

#include <cstdint>
#include <mutex>

#include "band_settings.h"

namespace bandscope {

// Row 0 = left, row 1 = right; 128 is the zero line; index 0 is the oldest sample and
// index bufferLength - 1 the newest.
struct SampleRows {
  uint8_t sampleBuffer[kChannels][kMaxSamples];
};

class SampleBuffer {
 public:
  SampleBuffer();  // every byte 128: silence

  // UI thread. The bufferLength and timeScale later appends use. Keeps the rows' bytes.
  void setLayout(uint16_t bufferLength, int32_t timeScale);

  // Capture thread. Shifts each row left and appends BufferSize samples per channel,
  // thinned by timeScale (the last sample of each group of timeScale is kept).
  void append(const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize);

  // UI thread. One consistent copy of both rows: as they stood between two appends.
  void snapshot(SampleRows& out) const;

  // UI thread. Every sample back to the zero line: what is shown while no sound arrives.
  void silence();

 private:
  mutable std::mutex lock_;
  uint16_t bufferLength_ = 384;
  int32_t timeScale_ = 2;
  SampleRows rows_;
};

// The append itself, on unguarded rows; exposed for tests and benchmarks.
void appendToRows(SampleRows& rows, uint16_t bufferLength, int32_t timeScale, const uint8_t* LP,
                  const uint8_t* RP, uint16_t BufferSize);

}  // namespace bandscope
