#include "analysis/band_settings.h"

#include <gtest/gtest.h>

#include "analysis/assertion.h"

namespace bandscope {
namespace {

TEST(BandSettings, DefaultsAreTheStartUpValues) {
  BandSettings fresh;
  BandSettings derived;
  deriveBandSettings(derived);
  EXPECT_EQ(fresh.bandCount, 192);
  EXPECT_EQ(derived.windowLength, fresh.windowLength);
  EXPECT_EQ(derived.bufferLength, fresh.bufferLength);
  EXPECT_EQ(derived.phonOffset, fresh.phonOffset);
  EXPECT_FLOAT_EQ(derived.bandsPerRadian, fresh.bandsPerRadian);
  EXPECT_EQ(fresh.timeScale, 2);
  EXPECT_EQ(fresh.sonoSteps, 64);
  EXPECT_FALSE(fresh.tablesBuilt);
}

TEST(BandSettings, DerivedFromBandCount) {
  BandSettings s;
  s.bandCount = 512;
  deriveBandSettings(s);
  EXPECT_EQ(s.windowLength, 1024);
  EXPECT_EQ(s.bufferLength, 1024);
  EXPECT_EQ(s.phonOffset, 64);
  EXPECT_FLOAT_EQ(s.bandsPerRadian, 162.97466f);
  s.bandCount = 8;
  deriveBandSettings(s);
  EXPECT_EQ(s.windowLength, 16);
  EXPECT_EQ(s.phonOffset, 1);
  s.bandCount = 15;
  deriveBandSettings(s);
  EXPECT_EQ(s.phonOffset, 1);  // shift, not rounding
}

TEST(BandSettings, RefusesCountsOutside8To512) {
  for (int n : {0, 3, 7, 513, 1000, 65535}) {
    BandSettings s;
    s.bandCount = static_cast<uint16_t>(n);
    EXPECT_THROW(deriveBandSettings(s), AssertionFailure) << n;
    EXPECT_EQ(s.windowLength, 384) << "nothing changed for " << n;
  }
  try {
    BandSettings s;
    s.bandCount = 4;
    deriveBandSettings(s);
  } catch (const AssertionFailure& e) {
    EXPECT_NE(std::string(e.what()).find("band count must be 8 .. 512 ("), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("band_settings.cpp, line "), std::string::npos);
  }
}

}  // namespace
}  // namespace bandscope
