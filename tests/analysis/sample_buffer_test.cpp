#include "analysis/sample_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

// A sample buffer in one layout and the rows it shows.
struct Buffer {
  explicit Buffer(uint16_t length, int32_t scale, int bits = 8) {
    b.setLayout(length, scale, bits);
  }
  void append(const std::vector<uint8_t>& left, const std::vector<uint8_t>& right) {
    b.append(left.data(), right.data(), static_cast<uint16_t>(left.size()));
  }
  const SampleRows& rows() {
    b.snapshot(*r);
    return *r;
  }
  uint8_t at(int c, int j) { return rows().sampleBuffer[c][j]; }
  SampleBuffer b;
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
    Buffer b(384, scale);
    b.append(ramp(512), ramp(512, 9));
    const SampleRows before = b.rows();
    b.append({}, {});
    EXPECT_EQ(std::memcmp(&b.rows(), &before, sizeof before), 0) << scale;
  }
}

TEST(SampleBuffer, UnthinnedBlockLongerThanTheBufferKeepsItsNewestSamples) {
  Buffer b(384, 1);
  const auto block = ramp(512);
  b.append(block, block);
  for (int j = 0; j < 384; ++j) ASSERT_EQ(b.at(0, j), block[static_cast<size_t>(128 + j)]);
  EXPECT_EQ(b.at(0, 384), 128) << "capacity beyond bufferLength untouched";
}

TEST(SampleBuffer, UnthinnedBlocksShiftOldestOut) {
  Buffer b(16, 1);
  b.append(ramp(10, 100), ramp(10, 200));
  b.append(ramp(4, 50), ramp(4, 60));
  const uint8_t left[16] = {128, 128, 100, 101, 102, 103, 104, 105,
                            106, 107, 108, 109, 50,  51,  52,  53};
  for (int j = 0; j < 16; ++j) EXPECT_EQ(b.at(0, j), left[j]) << j;
  EXPECT_EQ(b.at(1, 11), 209);
  EXPECT_EQ(b.at(1, 15), 63);
}

// The same sound in one long block (longer than the filters take at once, and than one slot of
// the ring) and in blocks of odd sizes, drained after each block, every third or only at the
// end, leaves the same rows: the filters carry over block edges, and each row shifts by exactly
// the samples its blocks yield.
TEST(SampleBuffer, BlocksOfAnySizeLeaveTheSameRows) {
  std::vector<uint8_t> left(3000), right(3000);
  for (size_t k = 0; k < left.size(); ++k) {
    left[k] = static_cast<uint8_t>(128 + 120 * std::sin(0.003 * static_cast<double>(k * k % 9000)));
    right[k] = static_cast<uint8_t>(k * 37 % 251);
  }
  const std::vector<size_t> odd = {1, 3, 700, 5, 511, 999, 81};
  for (const int bits : {8, 16}) {
    for (const int32_t scale : {1, 2, 8, 128}) {
      for (const uint16_t length : {uint16_t{16}, uint16_t{384}}) {
        Buffer whole(length, scale, bits);
        whole.append(left, right);
        for (const size_t drainEvery : {1, 3, 1000}) {
          Buffer pieces(length, scale, bits);
          for (size_t done = 0, i = 0; done < left.size(); i = (i + 1) % odd.size()) {
            const size_t n = std::min(odd[i] * static_cast<size_t>(bits / 8), left.size() - done);
            pieces.append({left.begin() + done, left.begin() + done + n},
                          {right.begin() + done, right.begin() + done + n});
            done += n;
            if (i % drainEvery == 0) pieces.b.drain();
          }
          EXPECT_EQ(std::memcmp(&whole.rows(), &pieces.rows(), sizeof(SampleRows)), 0)
              << bits << " bits, scale " << scale << ", length " << length << ", drained every "
              << drainEvery;
        }
      }
    }
  }
}

// Filtered rows keep a steady level exactly and stay inside the sample range at full scale:
// a square wave's overshoot is cut at full scale, never wrapped round to the other sign, so
// the rows change sign only where the wave does. 16-bit blocks' 8-bit rows are their high bytes.
TEST(SampleBuffer, FilteredRowsKeepLevelsAndNeverWrap) {
  for (const int bits : {8, 16}) {
    for (const int32_t scale : {1, 2, 4, 32, 128}) {
      Buffer b(1024, scale, bits);
      auto sample = [&](int level, std::vector<uint8_t>& to) {
        if (bits == 8) {
          to.push_back(static_cast<uint8_t>((level >> 8) + 128));
        } else {
          to.push_back(static_cast<uint8_t>(level & 0xFF));
          to.push_back(static_cast<uint8_t>((level >> 8) & 0xFF));
        }
      };
      const int period = 64 * scale;  // input samples; 64 row samples
      int edges = 0;
      for (int block = 0; block < 4 * scale; ++block) {
        std::vector<uint8_t> left, right;
        for (int k = 0; k < 512; ++k) {
          const int n = 512 * block + k;
          sample((n % period) < period / 2 ? 32767 : -32768, left);
          sample(bits == 8 ? -32768 + 256 * 37 : -12345, right);
        }
        b.append(left, right);
        b.b.drain();  // one block a tick: more than the ring holds in all
      }
      const SampleRows& r = b.rows();
      for (int j = 1; j < 1024; ++j) {
        edges += (r.sampleBuffer[0][j] >= 128) != (r.sampleBuffer[0][j - 1] >= 128);
        if (bits == 16) {
          ASSERT_EQ(r.sampleBuffer[0][j], (r.sampleBuffer16[0][j] >> 8) + 128) << scale << " " << j;
          ASSERT_EQ(r.sampleBuffer16[1][j], -12345) << scale << " " << j;
        } else {
          ASSERT_EQ(r.sampleBuffer[1][j], 37) << scale << " " << j;
        }
      }
      EXPECT_NEAR(edges, 32, 1) << bits << " bits, scale " << scale;
      EXPECT_EQ(*std::max_element(r.sampleBuffer[0], r.sampleBuffer[0] + 1024), 255) << scale;
      EXPECT_EQ(*std::min_element(r.sampleBuffer[0], r.sampleBuffer[0] + 1024), 0) << scale;
    }
  }
}

// Blocks the UI thread has not drained while more arrive than the ring holds: the oldest go,
// each counted, and the rows show what the newest alone would (the filters never saw the
// others). A block up to the largest a recorder hands over fits.
TEST(SampleBuffer, AFullRingDropsTheOldestBlocksAndCountsThem) {
  struct Row {
    int bits;
    uint16_t bytes;  // per channel and block
    int blocks;
  };
  constexpr int kSlots = BlockRing::kSlots;
  const Row rows[] = {
      {8, 128, kSlots + 10}, {16, 1024, kSlots}, {16, 1025, 140}, {16, 3000, 100}, {8, 65535, 6}};
  for (const Row& r : rows) {
    const int slotsPerBlock = (r.bytes + BlockRing::kSlotBytes - 1) / BlockRing::kSlotBytes;
    const int kept = std::min(r.blocks, kSlots / slotsPerBlock);
    std::vector<std::vector<uint8_t>> sound(static_cast<size_t>(r.blocks));
    for (size_t b = 0; b < sound.size(); ++b) sound[b] = ramp(r.bytes, static_cast<int>(37 * b));
    Buffer all(384, 2, r.bits);
    for (const auto& block : sound) all.append(block, block);
    Buffer newest(384, 2, r.bits);
    for (int b = r.blocks - kept; b < r.blocks; ++b)
      newest.append(sound[size_t(b)], sound[size_t(b)]);
    EXPECT_EQ(all.b.dropped(), static_cast<uint64_t>(r.blocks - kept)) << r.bytes;
    EXPECT_EQ(newest.b.dropped(), 0u) << r.bytes;
    EXPECT_EQ(std::memcmp(&all.rows(), &newest.rows(), sizeof(SampleRows)), 0) << r.bytes;
  }
}

TEST(SampleBuffer, ChannelsNeverMix) {
  for (int32_t scale : {1, 2, 8}) {
    Buffer b(384, scale);
    for (int block = 0; block < 3 * scale; ++block)
      b.append(std::vector<uint8_t>(512, 0), std::vector<uint8_t>(512, 255));
    for (int j = 0; j < 384; ++j) {
      ASSERT_EQ(b.at(0, j), 0) << scale;
      ASSERT_EQ(b.at(1, j), 255) << scale;
    }
  }
}

// What happens between two runs of blocks: a new band count keeps the filters going; a new
// time scale or width, or silence, starts them afresh, as in a new buffer.
TEST(SampleBuffer, OnlyANewTimeScaleWidthOrSilenceRestartsTheFilters) {
  const auto first = ramp(1500, 3);
  std::vector<uint8_t> second(1500);
  for (size_t k = 0; k < second.size(); ++k)
    second[k] = static_cast<uint8_t>(128 + 90 * std::sin(0.02 * static_cast<double>(k)));
  struct Row {
    const char* name;
    void (*between)(SampleBuffer&);
    bool afresh;
  };
  const Row rows[] = {{"band count", [](SampleBuffer& s) { s.setLayout(200, 4); }, false},
                      {"time scale", [](SampleBuffer& s) { s.setLayout(384, 8); }, true},
                      {"width", [](SampleBuffer& s) { s.setLayout(384, 4, 16); }, true},
                      {"silence", [](SampleBuffer& s) { s.silence(); }, true}};
  Buffer on(384, 4);  // never interrupted
  on.append(first, first);
  on.append(second, second);
  Buffer fresh(384, 4);  // the second run alone
  fresh.append(second, second);
  for (const Row& r : rows) {
    Buffer b(384, 4);
    b.append(first, first);
    r.between(b.b);
    b.b.setLayout(384, 4);
    b.append(second, second);
    const SampleRows& expected = r.afresh ? fresh.rows() : on.rows();
    const SampleRows& got = b.rows();
    for (int j = 384 - 1500 / 4; j < 384; ++j)  // the second run's samples
      ASSERT_EQ(got.sampleBuffer[0][j], expected.sampleBuffer[0][j]) << r.name << " " << j;
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
