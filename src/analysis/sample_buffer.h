#pragma once
// The two-channel sample buffer that the capture hand-off fills and the frame reads.
//
// Threads: append() runs on the capture thread (inside the recorder's block callback) and
// only copies the block into a BlockRing: no lock, no allocation, no wait, bounded work.
// setLayout(), drain(), silence(), snapshot() and dropped() run on the UI thread, which alone
// touches the rows, their layout and the filters: it drains the ring into them at the start
// of each tick, before a layout change and before a snapshot. So the filtering and thinning run
// there, on the blocks in the order they were recorded; the capture thread's share of the
// hand-off is the copy, whatever the time scale. A ring that the UI thread does not drain for
// longer than it holds (seconds) drops its oldest blocks; dropped() counts them.
//
// At time scale 1 a block's samples are copied as they are. At time scale s >= 2 each channel
// is low-pass filtered and thinned to every s-th sample by the Decimator, whose state carries
// over from block to block; the results are rounded to the rows' widths.
//
// 8-bit blocks fill the 8-bit rows only. 16-bit blocks fill the 16-bit rows and, from each
// sample's high byte, the 8-bit rows too (the oscilloscopes draw those).

#include <cstdint>
#include "band_settings.h"
#include "block_ring.h"
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
  // later blocks are read with; the blocks pending are drained under the old layout first.
  // Keeps the rows' samples; a new time scale or width also starts the filters afresh, from
  // silence. Change the width only while no block arrives (the recorder stopped): a block is
  // read as the layout says when it is drained. Throws AssertionFailure for any other time scale.
  void setLayout(uint16_t bufferLength, int32_t timeScale, int sampleBits = 8);

  // Capture thread. Queues the block for the rows. BufferSize counts bytes per channel:
  // unsigned 8-bit samples, or signed 16-bit little-endian ones.
  void append(const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize);

  // UI thread. Shifts each row left and appends the pending blocks' samples, filtered and
  // thinned by timeScale, oldest block first.
  void drain() { drainPending(); }

  // UI thread. Both rows after every block appended before the call (drained first).
  void snapshot(SampleRows& out) const;

  // UI thread. Every sample, and the filters' memory, back to the zero line, and the pending
  // blocks forgotten: what is shown while no sound arrives.
  void silence();

  // Any thread. Blocks lost to a full ring since construction.
  uint64_t dropped() const { return ring_.dropped(); }

 private:
  // What the UI thread alone reads and writes.
  struct Rows {
    uint16_t bufferLength = 384;
    int32_t timeScale = 2;
    int sampleBits = 8;
    SampleRows rows;
    Decimator decimator;
    float filtered[kDecimatorOutputCapacity];  // one chunk's (left, right), on the way to rows
  };
  // Const for snapshot(): folding the pending blocks in changes what is stored, not what the
  // buffer holds.
  void drainPending() const;
  void appendBlock(const uint8_t* LP, const uint8_t* RP, int bytes) const;
  void appendFiltered(const uint8_t* LP, const uint8_t* RP, int samples) const;

  mutable BlockRing ring_;
  mutable Rows ui_;
};

// Every sample of both widths on the zero line.
void silenceRows(SampleRows& rows);

}  // namespace bandscope
