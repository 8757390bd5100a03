#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

#include "analysis/palette.h"

namespace bandscope {
namespace {

struct Bytes {
  uint32_t red, green, blue;
};

Bytes split(uint32_t colour) {
  return {colour & 0xff, (colour >> 8) & 0xff, colour >> 16};
}

// Bit for bit, so that a table entry rounded differently is caught.
void expectSameBits(const Rgb& got, const Rgb& want, int32_t v) {
  EXPECT_EQ(std::bit_cast<uint32_t>(got.red), std::bit_cast<uint32_t>(want.red)) << v;
  EXPECT_EQ(std::bit_cast<uint32_t>(got.green), std::bit_cast<uint32_t>(want.green)) << v;
  EXPECT_EQ(std::bit_cast<uint32_t>(got.blue), std::bit_cast<uint32_t>(want.blue)) << v;
}

constexpr int32_t kOutside[] = {-1, -300, std::numeric_limits<int32_t>::min(), 65535,
                                std::numeric_limits<int32_t>::max()};

void expectColour(int32_t i, uint32_t red, uint32_t green, uint32_t blue) {
  const Bytes b = split(paletteColour(i));
  EXPECT_EQ(b.red, red) << "entry " << i;
  EXPECT_EQ(b.green, green) << "entry " << i;
  EXPECT_EQ(b.blue, blue) << "entry " << i;
}

TEST(Palette, SegmentEnds) {
  expectColour(0, 0, 0, 0);
  expectColour(1, 0, 0, 34);
  expectColour(63, 0, 0, 158);
  expectColour(64, 0, 0, 160);
  expectColour(127, 0, 126, 160);
  expectColour(128, 0, 128, 160);
  expectColour(191, 126, 191, 160);
  expectColour(192, 128, 160, 128);
  expectColour(255, 254, 223, 128);
  expectColour(256, 255, 240, 240);
  expectColour(1000, 255, 240, 240);
}

TEST(Palette, TableHoldsTheBytesOfEachColour) {
  Palette p{};
  buildPalette(p);
  for (int i = 0; i <= 256; ++i) {
    const Bytes b = split(paletteColour(i));
    EXPECT_EQ(p.palette[i][0], b.red) << i;
    EXPECT_EQ(p.palette[i][1], b.green) << i;
    EXPECT_EQ(p.palette[i][2], b.blue) << i;
  }
}

TEST(Palette, ValueColourFromThePalette) {
  Palette p{};
  buildPalette(p);
  const Rgb top = valueColour(300, true, p, 192);
  EXPECT_EQ(top.red, 0.99609375f);  // a byte of 255 gives 255 / 256, never quite 1
  EXPECT_EQ(top.green, 240 / 256.0f);
  EXPECT_EQ(top.blue, 240 / 256.0f);
  const Rgb atTop = valueColour(256, true, p, 192);
  EXPECT_EQ(atTop.green, top.green);
  const Rgb entry255 = valueColour(255, true, p, 192);
  EXPECT_EQ(entry255.red, 254 / 256.0f);
  EXPECT_EQ(entry255.green, 223 / 256.0f);
  EXPECT_EQ(entry255.blue, 0.5f);
  const Rgb black = valueColour(0, true, p, 192);
  EXPECT_EQ(black.red + black.green + black.blue, 0.0f);
}

TEST(Palette, ValueColourWithoutColoursIsGreyTurningGreen) {
  Palette p{};
  buildPalette(p);
  const Rgb zero = valueColour(0, false, p, 192);
  EXPECT_EQ(zero.red, 0.5f);
  EXPECT_EQ(zero.green, 0.5f);
  EXPECT_EQ(zero.blue, 0.5f);
  EXPECT_EQ(valueColour(96, false, p, 192).green, 1.0f);
  EXPECT_FLOAT_EQ(valueColour(48, false, p, 192).green, 0.75f);
  EXPECT_FLOAT_EQ(valueColour(300, false, p, 100).green, 3.5f);  // not clamped here
}

TEST(Palette, ReadyColoursMatchValueColourBitForBit) {
  Palette p{};
  buildPalette(p);
  for (int32_t v = 0; v <= 300; ++v)
    expectSameBits(readyValueColour(v, true, p, 192), valueColour(v, true, p, 192), v);
  for (const int32_t v : kOutside)
    expectSameBits(readyValueColour(v, true, p, 192), valueColour(v, true, p, 192), v);
}

TEST(Palette, ReadyGreysMatchValueColourBitForBit) {
  Palette p{};
  buildPalette(p);
  for (const uint16_t bands : {8, 9, 192, 511, 512}) {
    buildGreyRamp(p, bands);
    for (int32_t v = 0; v <= kGreyValues; ++v) {
      expectSameBits(readyValueColour(v, false, p, bands), valueColour(v, false, p, bands), v);
    }
    for (const int32_t v : kOutside) {
      expectSameBits(readyValueColour(v, false, p, bands), valueColour(v, false, p, bands), v);
    }
    // A ramp left on another band count is not read.
    const uint16_t other = bands == 512 ? 511 : bands + 1;
    expectSameBits(readyValueColour(1, false, p, other), valueColour(1, false, p, other), other);
  }
}

}  // namespace
}  // namespace bandscope
