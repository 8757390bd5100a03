#include "analysis/sample_buffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

namespace bandscope {
namespace {

std::vector<uint8_t> ramp(int n, int start = 0) {
  std::vector<uint8_t> v(static_cast<size_t>(n));
  std::iota(v.begin(), v.end(), static_cast<uint8_t>(start));
  return v;
}

struct Rows {
  explicit Rows(uint8_t fill = 128) {
    std::fill(&r->sampleBuffer[0][0], &r->sampleBuffer[0][0] + sizeof r->sampleBuffer, fill);
  }
  void append(uint16_t length, int32_t scale, const std::vector<uint8_t>& left,
              const std::vector<uint8_t>& right) {
    appendToRows(*r, length, scale, left.data(), right.data(), static_cast<uint16_t>(left.size()));
  }
  uint8_t at(int c, int j) const { return r->sampleBuffer[c][j]; }
  std::unique_ptr<SampleRows> r = std::make_unique<SampleRows>();
};

TEST(SampleBuffer, StartsSilent) {
  SampleBuffer b;
  SampleRows rows;
  b.snapshot(rows);
  for (int c = 0; c < kChannels; ++c) {
    for (int j = 0; j < kMaxSamples; ++j) ASSERT_EQ(rows.sampleBuffer[c][j], 128);
  }
}

TEST(SampleBuffer, EmptyBlockChangesNothing) {
  for (int32_t scale : {1, 2, 128}) {
    Rows rows(7);
    rows.append(384, scale, {}, {});
    for (int j = 0; j < kMaxSamples; ++j) ASSERT_EQ(rows.at(0, j), 7);
  }
}

TEST(SampleBuffer, UnthinnedBlockLongerThanTheBufferKeepsItsNewestSamples) {
  Rows rows;
  const auto block = ramp(512);
  rows.append(384, 1, block, block);
  for (int j = 0; j < 384; ++j) ASSERT_EQ(rows.at(0, j), block[static_cast<size_t>(128 + j)]);
  EXPECT_EQ(rows.at(0, 384), 128) << "capacity beyond bufferLength untouched";
}

TEST(SampleBuffer, UnthinnedBlocksShiftOldestOut) {
  Rows rows;
  rows.append(16, 1, ramp(10, 100), ramp(10, 200));
  rows.append(16, 1, ramp(4, 50), ramp(4, 60));
  const uint8_t left[16] = {128, 128, 100, 101, 102, 103, 104, 105,
                            106, 107, 108, 109, 50,  51,  52,  53};
  for (int j = 0; j < 16; ++j) EXPECT_EQ(rows.at(0, j), left[j]) << j;
  EXPECT_EQ(rows.at(1, 11), 209);
  EXPECT_EQ(rows.at(1, 15), 63);
}

TEST(SampleBuffer, ThinningKeepsTheLastSampleOfEachGroup) {
  Rows rows;
  std::vector<uint8_t> old = ramp(384);
  rows.append(384, 1, old, old);
  const auto block = ramp(512, 0);  // values = index mod 256
  rows.append(384, 4, block, block);
  // The newest 256 of the old samples moved down by 128.
  for (int j = 0; j < 256; ++j) ASSERT_EQ(rows.at(0, j), old[static_cast<size_t>(j + 128)]);
  // Then input samples 3, 7, 11, ... 511.
  for (int p = 0; p < 128; ++p) ASSERT_EQ(rows.at(0, 256 + p), uint8_t(4 * p + 3)) << p;
}

TEST(SampleBuffer, TrailingShortGroupIsDropped) {
  Rows rows(9);
  rows.append(16, 2, {10, 11, 12, 13, 14}, {20, 21, 22, 23, 24});
  EXPECT_EQ(rows.at(0, 13), 9);
  EXPECT_EQ(rows.at(0, 14), 11);
  EXPECT_EQ(rows.at(0, 15), 13);
  EXPECT_EQ(rows.at(1, 15), 23);
}

TEST(SampleBuffer, ThinnedBlockLongerThanTheBufferKeepsNewestThinnedSamples) {
  Rows rows;
  const auto block = ramp(512);
  rows.append(16, 2, block, block);  // 256 thinned samples into 16 places
  for (int p = 0; p < 16; ++p) ASSERT_EQ(rows.at(0, p), uint8_t(2 * (240 + p) + 1)) << p;
  EXPECT_EQ(rows.at(0, 16), 128);
}

TEST(SampleBuffer, ChannelsNeverMix) {
  Rows rows;
  for (int32_t scale : {1, 2, 8}) {
    rows.append(384, scale, std::vector<uint8_t>(512, 0), std::vector<uint8_t>(512, 255));
    for (int j = 0; j < 384; ++j) {
      ASSERT_EQ(rows.at(0, j), 0);
      ASSERT_EQ(rows.at(1, j), 255);
    }
  }
}

TEST(SampleBuffer, LayoutChangeKeepsBytesAndAppliesToLaterAppends) {
  SampleBuffer b;
  const auto block = ramp(512);
  b.setLayout(16, 1);
  b.append(block.data(), block.data(), 512);
  b.setLayout(32, 1);  // 16 more bands' worth of samples: whatever lay there stays
  SampleRows rows;
  b.snapshot(rows);
  EXPECT_EQ(rows.sampleBuffer[0][15], 255);
  EXPECT_EQ(rows.sampleBuffer[0][16], 128);
  b.append(block.data(), block.data(), 4);
  b.snapshot(rows);
  EXPECT_EQ(rows.sampleBuffer[0][11], 255);
  EXPECT_EQ(rows.sampleBuffer[0][28], 0);
  EXPECT_EQ(rows.sampleBuffer[0][31], 3);
}

}  // namespace
}  // namespace bandscope
