// The capture thread appends while the UI thread takes snapshots: every snapshot must show
// both rows as they stood after one whole number of appends.

#include <gtest/gtest.h>

#include <atomic>
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

// After append b (b >= 2) the left row holds runs b - 2, b - 1, b and the right row the
// same blocks' right values. Returns false for any other content.
bool isWholeState(const SampleRows& rows) {
  const uint8_t first = rows.sampleBuffer[0][0];
  for (int run = 0; run < kLength / kBlock; ++run) {
    const auto b = static_cast<unsigned>(first + run);
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

  std::atomic<bool> done{false};
  std::atomic<unsigned> appended{3};
  std::thread capture([&] {
    for (unsigned b = 3; !done.load(std::memory_order_relaxed); ++b) {
      appendBlock(b);
      appended.store(b + 1, std::memory_order_relaxed);
    }
  });

  SampleRows rows;
  int torn = 0;
  for (int n = 0; n < 100000; ++n) {
    buffer.snapshot(rows);
    if (!isWholeState(rows)) ++torn;
    if (n % 5000 == 0) buffer.setLayout(kLength, 1);  // the UI thread's other use of the lock
  }
  // Keep reading until the writer has really run alongside.
  while (appended.load(std::memory_order_relaxed) < 1000) {
    buffer.snapshot(rows);
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
  for (const int bits : {8, 16}) {
    SampleBuffer buffer;
    buffer.setLayout(kLength, 2, bits);
    std::atomic<bool> done{false};
    std::atomic<unsigned> appended{0};
    std::thread capture([&] {
      std::vector<uint8_t> block(2 * kBlock);
      for (unsigned b = 0; !done.load(std::memory_order_relaxed); ++b) {
        for (size_t j = 0; j < block.size(); ++j) block[j] = static_cast<uint8_t>(b * 31 + j * j);
        buffer.append(block.data(), block.data(), static_cast<uint16_t>(kBlock * bits / 8));
        appended.store(b + 1, std::memory_order_relaxed);
      }
    });
    SampleRows rows;
    int torn = 0;
    for (int n = 0; n < 20000 || appended.load(std::memory_order_relaxed) < 1000; ++n) {
      buffer.snapshot(rows);
      if (std::memcmp(rows.sampleBuffer[0], rows.sampleBuffer[1], kLength) != 0 ||
          std::memcmp(rows.sampleBuffer16[0], rows.sampleBuffer16[1], 2 * kLength) != 0)
        ++torn;
      if (n % 1000 == 0) buffer.setLayout(kLength, n % 2000 == 0 ? 4 : 2, bits);
    }
    done = true;
    capture.join();
    EXPECT_EQ(torn, 0) << bits << " bits";
  }
}

}  // namespace
}  // namespace bandscope
