#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "platform/glyph_raster.h"

namespace bandscope {
namespace {

bool pixel(const Glyph& g, int32_t x, int32_t row) {
  const auto byte = g.bits[static_cast<size_t>(row * g.bytesPerRow() + x / 8)];
  return (byte & (0x80u >> (x % 8))) != 0;
}

int32_t rowInk(const Glyph& g, int32_t row) {
  int32_t n = 0;
  for (int32_t x = 0; x < g.width; ++x) n += pixel(g, x, row) ? 1 : 0;
  return n;
}

int32_t ink(const Glyph& g) {
  int32_t n = 0;
  for (int32_t row = 0; row < g.height; ++row) n += rowInk(g, row);
  return n;
}

TEST(GlyphWindows1252, HighRangeFollowsTheCodePage) {
  EXPECT_EQ(windows1252ToUnicode(0x80), U'\u20AC');
  EXPECT_EQ(windows1252ToUnicode(0x85), U'\u2026');
  EXPECT_EQ(windows1252ToUnicode(0x8A), U'\u0160');
  EXPECT_EQ(windows1252ToUnicode(0x8C), U'\u0152');
  EXPECT_EQ(windows1252ToUnicode(0x91), U'\u2018');
  EXPECT_EQ(windows1252ToUnicode(0x99), U'\u2122');
  EXPECT_EQ(windows1252ToUnicode(0x9E), U'\u017E');
  EXPECT_EQ(windows1252ToUnicode(0x9F), U'\u0178');
  for (const uint8_t code : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_EQ(windows1252ToUnicode(code), 0u) << "code " << int{code};
  }
  // Elsewhere Latin-1.
  for (const int code : {0x00, 0x1F, 0x41, 0x7F, 0xA0, 0xA9, 0xE9, 0xFF}) {
    EXPECT_EQ(windows1252ToUnicode(static_cast<uint8_t>(code)), static_cast<char32_t>(code));
  }
}

class GlyphRaster : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    bold_ = new GlyphSet(rasteriseGlyphs({"Smallfonts", 11, true}));
    regular_ = new GlyphSet(rasteriseGlyphs({"Smallfonts", 11, false}));
  }
  static void TearDownTestSuite() {
    delete bold_;
    delete regular_;
  }
  static const Glyph& glyph(int code) { return bold_->glyphs[static_cast<size_t>(code)]; }

  static GlyphSet* bold_;
  static GlyphSet* regular_;
};

GlyphSet* GlyphRaster::bold_ = nullptr;
GlyphSet* GlyphRaster::regular_ = nullptr;

TEST_F(GlyphRaster, PrintableAsciiHasInkAndAdvance) {
  for (int code = 0x21; code <= 0x7E; ++code) {
    const Glyph& g = glyph(code);
    ASSERT_GT(g.width, 0) << "code " << code;
    ASSERT_GT(g.height, 0) << "code " << code;
    ASSERT_EQ(g.bits.size(), static_cast<size_t>(g.bytesPerRow() * g.height)) << "code " << code;
    EXPECT_GT(ink(g), 0) << "code " << code;
    EXPECT_GT(g.xAdvance, 0) << "code " << code;
  }
}

TEST_F(GlyphRaster, SpacesAreBlankButAdvance) {
  for (const int code : {0x20, 0xA0}) {
    const Glyph& g = glyph(code);
    EXPECT_EQ(g.width, 0) << "code " << code;
    EXPECT_EQ(g.height, 0) << "code " << code;
    EXPECT_TRUE(g.bits.empty()) << "code " << code;
    EXPECT_GT(g.xAdvance, 0) << "code " << code;
  }
}

TEST_F(GlyphRaster, ControlAndUndefinedCodesAreEmpty) {
  std::vector<int> codes;
  for (int code = 0; code < 0x20; ++code) codes.push_back(code);
  codes.insert(codes.end(), {0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D});
  for (const int code : codes) {
    const Glyph& g = glyph(code);
    EXPECT_EQ(g.width, 0) << "code " << code;
    EXPECT_EQ(g.height, 0) << "code " << code;
    EXPECT_TRUE(g.bits.empty()) << "code " << code;
    EXPECT_EQ(g.xAdvance, 0) << "code " << code;
  }
}

TEST_F(GlyphRaster, HighCodesDrawTheCodePagesCharacters) {
  for (const int code : {0x80, 0x85, 0x8A, 0x99, 0x9F, 0xA9, 0xC4, 0xE9, 0xFF}) {
    EXPECT_GT(ink(glyph(code)), 0) << "code " << code;
  }
  // The caron of S-caron stands above the S.
  EXPECT_GT(glyph(0x8A).height, glyph('S').height);
  EXPECT_NE(glyph(0x80).bits, glyph('C').bits);
}

TEST_F(GlyphRaster, SizesFitElevenPixelText) {
  int32_t above = 0;
  int32_t below = 0;
  for (int code = 0x21; code <= 0x7E; ++code) {
    const Glyph& g = glyph(code);
    above = std::max(above, g.height - g.yOrigin);
    below = std::max(below, g.yOrigin);
  }
  EXPECT_GE(above + below, 10);
  EXPECT_LE(above + below, 15);
  EXPECT_GE(glyph('H').height, 6);
  EXPECT_LE(glyph('H').height, 10);
  EXPECT_LT(glyph('x').height, glyph('H').height);
  EXPECT_LE(glyph('M').xAdvance, 14);
}

TEST_F(GlyphRaster, BoldHasMoreInkThanRegular) {
  int32_t boldInk = 0;
  int32_t regularInk = 0;
  for (int code = 'A'; code <= 'z'; ++code) {
    boldInk += ink(glyph(code));
    regularInk += ink(regular_->glyphs[static_cast<size_t>(code)]);
  }
  EXPECT_GT(boldInk, regularInk);
}

TEST_F(GlyphRaster, RowsRunBottomUpWithTheLeftmostPixelInTheTopBit) {
  const Glyph& l = glyph('L');
  ASSERT_GE(l.height, 5);
  // The foot of the L is the first row in the buffer and the fullest.
  for (int32_t row = 1; row < l.height; ++row) EXPECT_GT(rowInk(l, 0), rowInk(l, row));
  EXPECT_EQ(rowInk(l, 0), l.width);
  // Its stem is the bitmap's leftmost column: the top bit of each row's first byte.
  for (int32_t row = 0; row < l.height; ++row) {
    EXPECT_NE(l.bits[static_cast<size_t>(row * l.bytesPerRow())] & 0x80, 0) << "row " << row;
  }
  // The bar of the T is the last row.
  const Glyph& t = glyph('T');
  EXPECT_EQ(rowInk(t, t.height - 1), t.width);
  EXPECT_LT(rowInk(t, 0), t.width);
}

TEST_F(GlyphRaster, VerticalBarKeepsItsColumns) {
  const Glyph& bar = glyph('|');
  ASSERT_GE(bar.height, 8);
  for (int32_t row = 0; row < bar.height; ++row) {
    for (int32_t x = 0; x < bar.width; ++x) {
      EXPECT_TRUE(pixel(bar, x, row)) << "row " << row << " x " << x;
    }
  }
}

TEST_F(GlyphRaster, OriginIsThePenOnTheBaseline) {
  // L sits on the baseline, g and p hang below it.
  EXPECT_EQ(glyph('L').yOrigin, 0);
  EXPECT_EQ(glyph('x').yOrigin, 0);
  EXPECT_GT(glyph('g').yOrigin, 0);
  EXPECT_EQ(glyph('g').yOrigin, glyph('p').yOrigin);
  // Ink starts at or just after the pen and stays within the advance.
  for (const int code : {'L', 'H', 'o', 'x'}) {
    const Glyph& g = glyph(code);
    EXPECT_LE(g.xOrigin, 0) << "code " << code;
    EXPECT_LE(g.width - g.xOrigin, g.xAdvance + 1) << "code " << code;
  }
}

}  // namespace
}  // namespace bandscope
