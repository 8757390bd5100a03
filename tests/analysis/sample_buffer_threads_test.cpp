// The capture thread appends while the UI thread drains and takes snapshots: every snapshot
// must show both rows as they stood after one whole number of blocks; and every block the
// capture thread queues is read whole, in order, or counted as dropped.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "analysis/sample_buffer.h"

namespace bandscope {
namespace {

constexpr int kBlock = 128;
constexpr int kLength = 384;  // three blocks

uint8_t leftValue(unsigned b) {
  return static_cast<uint8_t>(b);
}
uint8_t rightValue(unsigned b) {
  return static_cast<uint8_t>(7 * b + 3);
}

// Each run of kBlock samples holds one block: the same left value throughout and its right
// value beside it. (Runs are consecutive blocks unless the ring dropped some between them.)
bool isWholeState(const SampleRows& rows) {
  for (int run = 0; run < kLength / kBlock; ++run) {
    const uint8_t b = rows.sampleBuffer[0][run * kBlock];
    for (int j = run * kBlock; j < (run + 1) * kBlock; ++j) {
      if (rows.sampleBuffer[0][j] != leftValue(b)) return false;
      if (rows.sampleBuffer[1][j] != rightValue(b)) return false;
    }
  }
  return true;
}

TEST(SampleBufferThreads, SnapshotsNeverSeeAHalfDoneAppend) {
  SampleBuffer buffer;
  buffer.setLayout(kLength, 1);
  std::vector<uint8_t> left(kBlock);
  std::vector<uint8_t> right(kBlock);
  auto appendBlock = [&](unsigned b) {
    std::fill(left.begin(), left.end(), leftValue(b));
    std::fill(right.begin(), right.end(), rightValue(b));
    buffer.append(left.data(), right.data(), kBlock);
  };
  for (unsigned b = 0; b < 3; ++b) appendBlock(b);

  // The writer is kept at most kAhead blocks per snapshot ahead: running free it would have
  // every snapshot drain a full ring (minutes under the thread sanitizer).
  constexpr unsigned kAhead = 4;
  std::atomic<bool> done{false};
  std::atomic<unsigned> appended{3};
  std::atomic<unsigned> snapshots{0};
  std::thread capture([&] {
    for (unsigned b = 3; !done.load(std::memory_order_relaxed); ++b) {
      while (b > kAhead * (snapshots.load(std::memory_order_relaxed) + 1) &&
             !done.load(std::memory_order_relaxed))
        std::this_thread::yield();
      appendBlock(b);
      appended.store(b + 1, std::memory_order_relaxed);
    }
  });

  SampleRows rows;
  int torn = 0;
  for (unsigned n = 0; n < 20000; ++n) {
    buffer.snapshot(rows);
    snapshots.store(n + 1, std::memory_order_relaxed);
    if (!isWholeState(rows)) ++torn;
    if (n % 1000 == 0) buffer.setLayout(kLength, 1);  // the UI thread's other drain
  }
  // Keep reading until the writer has really run alongside.
  for (unsigned n = 20000; appended.load(std::memory_order_relaxed) < 1000; ++n) {
    buffer.snapshot(rows);
    snapshots.store(n + 1, std::memory_order_relaxed);
    if (!isWholeState(rows)) ++torn;
  }
  done = true;
  capture.join();
  EXPECT_EQ(torn, 0);
  buffer.snapshot(rows);
  EXPECT_TRUE(isWholeState(rows));
}

// The same with filtering, while the UI thread switches between two time scales (each switch
// restarting the filters): both channels carry the same sound, so every snapshot shows two
// equal rows, at either width.
TEST(SampleBufferThreads, FilteredSnapshotsShowBothChannelsOfWholeAppends) {
  // A fixed number of blocks, the writer kept a few blocks ahead of the reader's snapshots: the
  // UI thread filters every block it drains, so a writer that ran free would keep it filtering
  // full rings (slow under the thread sanitizer), or would finish before the reader got going.
  constexpr unsigned kBlocks = 4000;
  constexpr unsigned kAhead = 4;  // blocks the writer may be ahead per snapshot taken
  for (const int bits : {8, 16}) {
    SampleBuffer buffer;
    buffer.setLayout(kLength, 2, bits);
    std::atomic<bool> done{false};
    std::atomic<unsigned> snapshots{0};
    std::thread capture([&] {
      std::vector<uint8_t> block(2 * kBlock);
      for (unsigned b = 0; b < kBlocks; ++b) {
        while (b > kAhead * (snapshots.load(std::memory_order_relaxed) + 1))
          std::this_thread::yield();
        for (size_t j = 0; j < block.size(); ++j) block[j] = static_cast<uint8_t>(b * 31 + j * j);
        buffer.append(block.data(), block.data(), static_cast<uint16_t>(kBlock * bits / 8));
      }
      done.store(true, std::memory_order_release);
    });
    SampleRows rows;
    int torn = 0;
    for (unsigned n = 0; !done.load(std::memory_order_acquire); ++n) {
      buffer.snapshot(rows);
      snapshots.store(n + 1, std::memory_order_relaxed);
      if (std::memcmp(rows.sampleBuffer[0], rows.sampleBuffer[1], kLength) != 0 ||
          std::memcmp(rows.sampleBuffer16[0], rows.sampleBuffer16[1], 2 * kLength) != 0)
        ++torn;
      if (n % 250 == 0) buffer.setLayout(kLength, n % 500 == 0 ? 4 : 2, bits);
    }
    capture.join();
    EXPECT_EQ(torn, 0) << bits << " bits";
  }
}

// The ring alone, with blocks of 2 bytes to 3 slots, each telling its number and so its size,
// and a reader that now and then dawdles over a block (while the writer fills the ring): it
// reads whole blocks of rising numbers, and those with the dropped ones are every block pushed.
TEST(SampleBufferThreads, TheRingHandsOverWholeBlocksInOrderOrCountsThemDropped) {
  constexpr uint32_t kPushed = 20000;
  constexpr size_t kMost = 3 * BlockRing::kSlotBytes;
  auto bytesOf = [](uint32_t b) { return 2 + b * 977 % (kMost - 1); };
  BlockRing ring;
  std::atomic<bool> finished{false};
  std::thread capture([&] {
    std::vector<uint8_t> left(kMost), right(kMost);
    for (uint32_t b = 0; b < kPushed; ++b) {
      std::fill(left.begin(), left.end(), static_cast<uint8_t>(b));
      std::fill(right.begin(), right.end(), static_cast<uint8_t>(~b));
      left[0] = static_cast<uint8_t>(b >> 8), right[0] = static_cast<uint8_t>(b >> 16);
      ring.push(left.data(), right.data(), static_cast<uint16_t>(bytesOf(b)));
      if (b % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    finished = true;
  });
  std::vector<uint8_t> left, right;  // the pieces read, joined
  int64_t last = -1;
  uint64_t read = 0, faults = 0, calls = 0;
  for (int round = 0, more = 1; more; ++round) {
    more = !finished.load();
    if (round % 8 == 7) std::this_thread::sleep_for(std::chrono::milliseconds(2));  // behind
    left.clear(), right.clear();
    ring.drain([&](const uint8_t* l, const uint8_t* r, uint16_t bytes) {
      if (++calls % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
      left.insert(left.end(), l, l + bytes), right.insert(right.end(), r, r + bytes);
    });
    for (size_t p = 0; p + 1 < left.size(); ++read) {  // a drain ends on a block's end
      const uint32_t b = uint32_t{right[p]} << 16 | uint32_t{left[p]} << 8 | left[p + 1];
      const size_t end = p + bytesOf(b);
      faults += int64_t{b} <= last || end > left.size();
      for (++p; p < std::min(end, left.size()); ++p)
        faults += left[p] != static_cast<uint8_t>(b) || right[p] != static_cast<uint8_t>(~b);
      last = b;
    }
  }
  capture.join();
  EXPECT_EQ(faults, 0u);
  EXPECT_EQ(read + ring.dropped(), kPushed);
  EXPECT_GT(read, 0u);
}

}  // namespace
}  // namespace bandscope
