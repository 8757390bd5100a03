#include "analysis/rounding.h"

#include <gtest/gtest.h>

namespace bandscope {
namespace {

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(roundEven(2.5), 2);
  EXPECT_EQ(roundEven(3.5), 4);
  EXPECT_EQ(roundEven(-2.5), -2);
  EXPECT_EQ(roundEven(2.5000001), 3);
  EXPECT_EQ(roundEven(4.5L), 4);
  EXPECT_EQ(roundEven(0.49999999999999994), 0);
}

TEST(Rounding, Low16KeepsTheLowBitsAsASigned16BitStore) {
  EXPECT_EQ(low16(32767), 32767);
  EXPECT_EQ(low16(32768), -32768);
  EXPECT_EQ(low16(65536 + 5), 5);
  EXPECT_EQ(low16(-1), -1);
}

TEST(Rounding, NearTieFlagsOnlyValuesCloseToAHalf) {
  EXPECT_TRUE(nearTie(2.5));
  EXPECT_TRUE(nearTie(-7.5));
  EXPECT_TRUE(nearTie(10.5 + 1e-7));
  EXPECT_TRUE(nearTie(10.5 - 1e-7));
  EXPECT_FALSE(nearTie(10.5 + 1e-5));
  EXPECT_FALSE(nearTie(10.0));
  EXPECT_FALSE(nearTie(10.49));
}

}  // namespace
}  // namespace bandscope
