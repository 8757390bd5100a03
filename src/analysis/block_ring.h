#pragma once
// The recorded blocks on their way from the capture thread to the UI thread: a ring of fixed
// capacity with one producer and one consumer.
//
// Threads: push() on the capture thread (one producer at a time); drain() and discard() on the
// UI thread (the one consumer); dropped() on any thread. Construction and destruction on the
// UI thread, while no block arrives.
//
// push() copies a block's two channels into slots of kSlotBytes per channel (a longer block
// takes consecutive slots, published together); it never allocates, locks or waits, and its
// work is bounded by the block's size. A full ring makes room by dropping its oldest whole
// blocks and counting them. Both threads move the read index with a compare-and-swap: the
// producer to drop the oldest block, the consumer to claim it before reading it in place. A
// claimed block stays the consumer's until it moves the index past it, so no byte is ever
// written by one thread while the other reads it. Only while the consumer holds the oldest
// block (one block's filtering, microseconds) does a full ring drop the arriving block instead,
// also counted: taking the oldest from under its reader would tear it, and waiting for the
// reader would make the capture thread wait on the UI thread.
//
// An empty ring that the consumer is not reading starts again at its first slot (both indices
// jump to the next multiple of kSlots): a ring drained as fast as it fills writes the same few
// slots, warm in the cache, rather than sweeping its half megabyte.
//
// Capacity: 256 slots of 1024 bytes per channel. A 512-frame block (what the window records)
// takes one slot: 2.9 s of 16-bit stereo at 44100 frames/s. A block of 512 frames up to the
// recorder's largest (65535 bytes of interleaved frames: 16383 16-bit stereo frames) fills at
// least half of the slots it takes: 1.4 s or more. Slot boundaries fall on whole multiples of
// 512 samples at either width, where the filters take their chunks anyway.

#include <atomic>
#include <cstdint>
#include <memory>

namespace bandscope {

class BlockRing {
 public:
  static constexpr int kSlots = 256;
  static constexpr int kSlotBytes = 1024;  // per channel
  static constexpr int kMaxBlockSlots = (0xFFFF + kSlotBytes - 1) / kSlotBytes;
  static_assert(kMaxBlockSlots <= kSlots, "every block fits the empty ring");

  BlockRing();  // allocates the slots, once
  BlockRing(const BlockRing&) = delete;
  BlockRing& operator=(const BlockRing&) = delete;

  // Capture thread. Copies `bytes` bytes of each channel in; false when this block was dropped.
  bool push(const uint8_t* left, const uint8_t* right, uint16_t bytes);

  // UI thread. Hands the blocks pushed before the call to take(left, right, bytes), oldest
  // first, each as its slots' pieces in order; returns the number of blocks.
  template <typename Take>
  int drain(Take&& take);

  // UI thread. Forgets every pending block; they do not count as dropped.
  void discard();

  // Any thread. Blocks dropped since construction.
  uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  struct Slot {
    uint16_t bytes;       // of each channel in this slot
    uint16_t blockSlots;  // slots of the block that starts here
    uint8_t left[kSlotBytes];
    uint8_t right[kSlotBytes];
  };
  // UI thread. Claims the oldest block if it was pushed before `end`: its first slot's index.
  bool claim(uint64_t end, uint64_t& first);
  // UI thread. Gives the claimed block's slots back: `next` is the slot after it.
  void release(uint64_t next);
  // Capture thread. Drops the oldest blocks until `need` slots are free; false when the
  // consumer holds the oldest block before they are.
  bool makeRoom(uint64_t tail, int need);

  std::unique_ptr<Slot[]> slots_;
  // Twice the oldest pending slot's index, plus 1 while the consumer reads that block. Moved by
  // compare-and-swap (acq_rel) by both threads while the low bit is clear: the producer drops
  // or starts an empty ring again, the consumer claims; the consumer alone stores it (release)
  // to let go of its block, which the producer's acquire loads order before it writes those
  // slots again.
  alignas(64) std::atomic<uint64_t> head_{0};
  // The next slot to write. The producer alone stores it (release), after filling the slots;
  // the consumer loads it (acquire) before reading them.
  alignas(64) std::atomic<uint64_t> tail_{0};
  // Written by the producer alone; relaxed: a count for reports, ordering nothing.
  std::atomic<uint64_t> dropped_{0};
};

template <typename Take>
int BlockRing::drain(Take&& take) {
  const uint64_t end = tail_.load(std::memory_order_acquire);
  int blocks = 0;
  for (uint64_t first = 0; claim(end, first); ++blocks) {
    const int n = slots_[first % kSlots].blockSlots;
    for (int k = 0; k < n; ++k) {
      const Slot& s = slots_[(first + static_cast<uint64_t>(k)) % kSlots];
      take(s.left, s.right, s.bytes);
    }
    release(first + static_cast<uint64_t>(n));
  }
  return blocks;
}

}  // namespace bandscope
