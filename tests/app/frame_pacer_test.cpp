#include "app/frame_pacer.h"

#include <gtest/gtest.h>

namespace bandscope {
namespace {

TEST(FramePacer, OneStepPerFourMillisecondsWhateverTheTicks) {
  FramePacer p;
  EXPECT_EQ(p.stepsDue(1'000'000), 1) << "the first frame has something to show";
  EXPECT_EQ(p.stepsDue(1'003'999), 0);
  EXPECT_EQ(p.stepsDue(1'004'000), 1);
  EXPECT_EQ(p.stepsDue(1'020'667), 4) << "a 60 fps frame later";
  EXPECT_EQ(p.stepsDue(1'024'000), 1) << "the remainder is kept";
  int total = 0;
  for (int64_t k = 1; k <= 144; ++k) total += p.stepsDue(1'024'000 + k * 1'000'000 / 144);
  EXPECT_EQ(total, 250) << "a second of 144 fps frames";
}

TEST(FramePacer, AfterAStallAtMostTwentyFiveStepsTheRestDropped) {
  FramePacer p;
  p.stepsDue(0);
  EXPECT_EQ(p.stepsDue(2'000'000), FramePacer::kMaxCatchUp);
  EXPECT_EQ(p.stepsDue(2'003'999), 0) << "the clock starts anew after the stall";
  EXPECT_EQ(p.stepsDue(2'004'000), 1);
}

TEST(FramePacer, SleepsToAFixedScheduleAtTheTargetRate) {
  FramePacer p(60);
  EXPECT_EQ(p.msUntilNextFrame(0), 17);
  int64_t drawn = 0;
  int64_t t = 0;
  for (int frame = 0; frame < 600; ++frame) {  // ten seconds, waking up to 1 ms late
    t += p.msUntilNextFrame(t) * 1000 + (frame % 2) * 700;
    ++drawn;
  }
  EXPECT_NEAR(static_cast<double>(drawn) / (static_cast<double>(t) / 1e6), 60.0, 0.5);
  EXPECT_EQ(p.msUntilNextFrame(t + 500'000), 17) << "far behind: a new schedule from now";
  p.setTargetFps(0);
  EXPECT_EQ(p.msUntilNextFrame(t), 4) << "uncapped: the old 4 ms tick";
}

}  // namespace
}  // namespace bandscope
