#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/band_settings.h"
#include "analysis/band_transform.h"
#include "analysis/level_scale.h"
#include "analysis/scales.h"

namespace bandscope {
namespace {

BandSettings settingsFor(uint16_t bandCount, int32_t timeScale) {
  BandSettings s;
  s.bandCount = bandCount;
  s.timeScale = timeScale;
  deriveBandSettings(s);
  return s;
}

TEST(LevelScale, KnownValues) {
  EXPECT_EQ(levelScale(0), 11);
  EXPECT_EQ(levelScale(1), 16);
  EXPECT_EQ(levelScale(10), 50);
  EXPECT_EQ(levelScale(100), 198);
  EXPECT_EQ(levelScale(1000), 442);
  EXPECT_EQ(levelScale(5000), 626);
}

TEST(Scales, BandToXEdgesAt192Bands) {
  const int32_t edges[] = {0, 1, 2, 3, 4, 8, 16, 24, 48, 96, 144, 191, 192};
  const int32_t x[] = {0, 33, 59, 80, 98, 151, 214, 255, 329, 406, 452, 485, 485};
  for (size_t k = 0; k < std::size(edges); ++k) {
    EXPECT_EQ(bandToX(edges[k], 192), x[k]) << "edge " << edges[k];
  }
}

TEST(Scales, BandToXAxisRunsFrom0To485AtEveryBandCount) {
  for (int n = kMinBands; n <= kMaxBands; ++n) {
    const auto bands = static_cast<uint16_t>(n);
    ASSERT_EQ(bandToX(0, bands), 0) << n << " bands";
    ASSERT_EQ(bandToX(n, bands), 485) << n << " bands";
    BandX x{};
    fillBandX(x, bands);
    for (int i = 0; i < n; ++i) ASSERT_LE(x.bandX[i], x.bandX[i + 1]) << n << " bands, " << i;
  }
}

TEST(Scales, BandToXFillAt8Bands) {
  BandX x{};
  x.bandX[9] = -7;  // beyond the top edge: left alone
  fillBandX(x, 8);
  const int32_t expected[] = {0, 255, 329, 374, 406, 432, 452, 470, 485};
  for (int i = 0; i <= 8; ++i) EXPECT_EQ(x.bandX[i], expected[i]) << "edge " << i;
  EXPECT_EQ(x.bandX[9], -7);
}

TEST(Scales, BandHzFollowsTheTimeScale) {
  const BandSettings slow = settingsFor(192, 128);
  EXPECT_EQ(bandToHz(0, slow), 2);
  EXPECT_EQ(bandToHz(191, slow), 173);
  EXPECT_EQ(hzToBand(173, slow), 191);
  EXPECT_EQ(hzToBand(10, slow), 9);
  const BandSettings fast = settingsFor(192, 1);
  EXPECT_EQ(bandToHz(0, fast), 230);
  EXPECT_EQ(bandToHz(191, fast), 22165);
  EXPECT_EQ(hzToBand(22165, fast), 191);
  EXPECT_EQ(hzToBand(1000, fast), 7);
}

TEST(Scales, BandHzRoundTripsWhereBandsAreWiderThanAHertz) {
  for (const uint16_t bands : {uint16_t{8}, uint16_t{37}, uint16_t{192}, uint16_t{512}}) {
    for (int32_t scale = 1; scale <= 128; scale *= 2) {
      const BandSettings s = settingsFor(bands, scale);
      const double width = 44100.0 / s.windowLength / scale;
      for (int i = 0; i < bands; ++i) {
        const double exact = (i + 2) * width;
        ASSERT_NEAR(bandToHz(i, s), exact, 0.5) << bands << " bands, scale " << scale;
        if (width >= 1.0) {
          ASSERT_EQ(hzToBand(bandToHz(i, s), s), i) << bands << ", " << scale;
        }
      }
    }
  }
}

TEST(Scales, HzToBandClampsToTheBands) {
  for (const uint16_t bands : {uint16_t{8}, uint16_t{192}, uint16_t{512}}) {
    for (const int32_t scale : {1, 2, 128}) {
      const BandSettings s = settingsFor(bands, scale);
      EXPECT_EQ(hzToBand(0, s), 0);
      EXPECT_EQ(hzToBand(-1000, s), 0);
      EXPECT_EQ(hzToBand(std::numeric_limits<int32_t>::min(), s), 0);
      EXPECT_EQ(hzToBand(std::numeric_limits<int32_t>::max(), s), bands - 1);
    }
  }
  EXPECT_EQ(hzToBand(20000, settingsFor(192, 2)), 191);
}

TEST(Scales, BandHzMatchesWhereTheTransformFindsASine) {
  auto tables = std::make_unique<TransformTables>();
  BandSettings s = settingsFor(192, 2);
  const double rate = 44100.0 / s.timeScale;  // samples per second after thinning
  for (const int band : {0, 3, 15, 22, 100, 189}) {
    const double hz = bandToHz(band, s);
    std::vector<uint8_t> window(s.windowLength);
    for (int j = 0; j < s.windowLength; ++j) {
      window[j] = static_cast<uint8_t>(
          128 + std::lround(100 * std::sin(2 * std::numbers::pi * hz * j / rate)));
    }
    int16_t values[kMaxBands] = {};
    bandTransform(s, *tables, values, window.data());
    const int loudest = static_cast<int>(std::max_element(values, values + 192) - values);
    EXPECT_EQ(loudest, band) << hz << " Hz";
    EXPECT_EQ(hzToBand(static_cast<int32_t>(hz), s), band);
  }
}

TEST(Scales, HzLabelWholeHertzBelowOneKilohertz) {
  EXPECT_EQ(hzLabel(57.4f), "57");
  EXPECT_EQ(hzLabel(57.5f), "58");
  EXPECT_EQ(hzLabel(56.5f), "56");  // ties go to even
  EXPECT_EQ(hzLabel(0.0f), "0");
  EXPECT_EQ(hzLabel(-0.3f), "0");
  EXPECT_EQ(hzLabel(999.6f), "1000");  // the k form starts at 1000 before rounding
}

TEST(Scales, HzLabelTenthsOfAKilohertzFromOneKilohertz) {
  EXPECT_EQ(hzLabel(1000.0f), "1k");
  EXPECT_EQ(hzLabel(1250.0f), "1.2k");  // 12.5 rounds to the even 12
  EXPECT_EQ(hzLabel(1350.0f), "1.4k");
  EXPECT_EQ(hzLabel(1378.0f), "1.4k");
  EXPECT_EQ(hzLabel(5512.0f), "5.5k");
  EXPECT_EQ(hzLabel(11025.0f), "11k");
  EXPECT_EQ(hzLabel(22050.0f), "22k");
  EXPECT_EQ(hzLabel(100000.0f), "100k");
}

TEST(Scales, HzLabelUsesTheGivenDecimalSeparator) {
  EXPECT_EQ(hzLabel(1378.0f, ','), "1,4k");
  EXPECT_EQ(hzLabel(11025.0f, ','), "11k");
  EXPECT_EQ(hzLabel(57.4f, ','), "57");
}

// The double-precision paths give what the extended definitions give, over every frequency
// the grid asks for and a fine grid of vector-scope points.
TEST(Scales, FastPathsAgreeWithTheExtendedDefinitions) {
  for (const uint16_t bands : {uint16_t{8}, uint16_t{37}, uint16_t{192}, uint16_t{512}}) {
    for (int32_t scale = 1; scale <= 128; scale *= 2) {
      const BandSettings s = settingsFor(bands, scale);
      const long double t = ((44100.0L / bands) / scale) / 2.0L;
      for (int32_t f = 0; f <= 24000; ++f) {
        const int64_t band = std::llrint(static_cast<long double>(f) / t) - 2;
        ASSERT_EQ(hzToBand(f, s), std::clamp<int64_t>(band, 0, bands - 1)) << f << ", " << scale;
      }
    }
  }
  for (int i = -300; i <= 300; ++i) {
    for (int j = -300; j <= 300; ++j) {
      const float a = static_cast<float>(i) / 97.0f, b = static_cast<float>(j) / 89.0f;
      if (a == 0.0f) continue;
      long double angle = std::atan(static_cast<long double>(b) / a);
      if (a > 0.0f) angle += std::numbers::pi_v<long double>;
      ASSERT_EQ(vectorAngle(a, b), static_cast<float>(angle)) << a << ", " << b;
    }
  }
}

TEST(Scales, VectorAngleQuadrantsAndTheVerticalAxis) {
  constexpr double pi = std::numbers::pi;
  EXPECT_FLOAT_EQ(vectorAngle(-1, 1), static_cast<float>(-pi / 4));
  EXPECT_FLOAT_EQ(vectorAngle(-1, -1), static_cast<float>(pi / 4));
  EXPECT_FLOAT_EQ(vectorAngle(1, 1), static_cast<float>(5 * pi / 4));
  EXPECT_FLOAT_EQ(vectorAngle(1, -1), static_cast<float>(3 * pi / 4));
  EXPECT_FLOAT_EQ(vectorAngle(2, 0), static_cast<float>(pi));
  EXPECT_FLOAT_EQ(vectorAngle(0, -1), static_cast<float>(2 * pi));
  EXPECT_FLOAT_EQ(vectorAngle(0, 1), static_cast<float>(3 * pi / 2));
  EXPECT_FLOAT_EQ(vectorAngle(0, 0), static_cast<float>(3 * pi / 2));
}

}  // namespace
}  // namespace bandscope
