#include "app/frame/frame_pacer.h"

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
  const int64_t start = 5'000'000;
  int64_t drawn = 0;
  int64_t t = start;
  for (int frame = 0; frame < 600; ++frame) {  // ten seconds of frames that take 6 ms
    t += 6000;                                 // to draw; the wake-up up to 1 ms late
    const int sleep = p.msUntilNextFrame(t);
    if (frame == 0) {
      EXPECT_EQ(sleep, 17) << "the first frame starts the schedule";
    }
    t += sleep * 1000 + (frame % 2) * 700;
    ++drawn;
  }
  EXPECT_NEAR(static_cast<double>(drawn) / (static_cast<double>(t - start) / 1e6), 60.0, 0.5);
  EXPECT_EQ(p.msUntilNextFrame(t + 500'000), 17) << "far behind: a new schedule from now";
  p.setTargetFps(0);
  EXPECT_EQ(p.msUntilNextFrame(t), 4) << "uncapped: the old 4 ms tick";
}

}  // namespace
}  // namespace bandscope
