#pragma once
// The two-channel sample buffer that the capture hand-off fills and the frame reads.
//
// Threads: append() runs on the capture thread (inside the recorder's block callback);
// setLayout(), silence() and snapshot() run on the UI thread. One lock guards the rows, their
// layout and the filters' state: it is held for one whole append (at time scale 2 and up
// that includes filtering the block, a few microseconds) and for one snapshot (6 KiB of
// copies), never while analysing or drawing. append() neither allocates nor blocks on
// anything but that lock.
//
// At time scale 1 a block's samples are copied as they are. At time scale s >= 2 each channel
// is low-pass filtered and thinned to every s-th sample by the Decimator, whose state carries
// over from block to block; the results are rounded to the rows' widths.
//
// 8-bit blocks fill the 8-bit rows only. 16-bit blocks fill the 16-bit rows and, from each
// sample's high byte, the 8-bit rows too (the oscilloscopes draw those).

#include <cstdint>
#include <mutex>

#include "band_settings.h"
#include "decimator.h"

namespace bandscope {

// Row 0 = left, row 1 = right; 128 is the zero line; index 0 is the oldest sample and
// index bufferLength - 1 the newest.
struct SampleRows {
  uint8_t sampleBuffer[kChannels][kMaxSamples];
  int16_t sampleBuffer16[kChannels][kMaxSamples];  // 0 is the zero line
};

class SampleBuffer {
 public:
  SampleBuffer();  // every byte 128: silence

  // UI thread. The bufferLength, timeScale (1, 2, 4 .. 128) and sample width (8 or 16 bits)
  // later appends use. Keeps the rows' samples; a new time scale or width also starts the
  // filters afresh, from silence. Change the width only while no block arrives (the recorder
  // stopped): a block is read as the width says. Throws AssertionFailure for any other time
  // scale.
  void setLayout(uint16_t bufferLength, int32_t timeScale, int sampleBits = 8);

  // Capture thread. Shifts each row left and appends the block's samples, filtered and
  // thinned by timeScale. BufferSize counts bytes per channel: unsigned 8-bit samples, or
  // signed 16-bit little-endian ones.
  void append(const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize);

  // UI thread. One consistent copy of both rows: as they stood between two appends.
  void snapshot(SampleRows& out) const;

  // UI thread. Every sample, and the filters' memory, back to the zero line: what is shown
  // while no sound arrives.
  void silence();

 private:
  void appendFiltered(const uint8_t* LP, const uint8_t* RP, int samples);

  mutable std::mutex lock_;
  uint16_t bufferLength_ = 384;
  int32_t timeScale_ = 2;
  int sampleBits_ = 8;
  SampleRows rows_;
  Decimator decimator_;
  float filtered_[kDecimatorOutputCapacity];  // one chunk's (left, right), on the way to the rows
};

// Every sample of both widths on the zero line.
void silenceRows(SampleRows& rows);

}  // namespace bandscope
