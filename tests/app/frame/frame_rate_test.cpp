#include "app/frame/frame_rate.h"

#include <gtest/gtest.h>

namespace bandscope {
namespace {

TEST(FrameRate, CountsUpFromZeroThenFollowsByAThirtySecond) {
  FrameRate r;
  r.measure(1'000'000);  // the first interval spans the whole run so far
  EXPECT_LT(r.fpsSmoothed, 0.01f);
  int64_t t = 1'000'000;
  for (int frame = 1; frame <= 5; ++frame) {
    r.measure(t += 4);  // 250 fps measured
    EXPECT_NEAR(r.fpsSmoothed, frame + 0.0f, 0.01f) << frame;
  }
  r.fpsSmoothed = 230;  // within 30 of the measured rate
  r.measure(t += 4);
  EXPECT_FLOAT_EQ(r.fpsSmoothed, (31 * 230.0f + 250) / 32);
}

TEST(FrameRate, FramesInTheSameMillisecondCountAsOneApart) {
  FrameRate r;
  r.measure(500);
  r.fpsSmoothed = 990;
  r.measure(500);
  EXPECT_FLOAT_EQ(r.fpsInstant, 1000);
  EXPECT_EQ(r.lastFrameTimeMs, 501);
}

TEST(FrameRate, ALongPausePullsTheRateDownByAThirtySecond) {
  FrameRate r;
  r.lastFrameTimeMs = 10'000;
  r.fpsSmoothed = 64;
  r.measure(20'000);
  EXPECT_NEAR(r.fpsSmoothed, 62.0031f, 0.001f);
}

TEST(FrameRate, TextHasOneDecimalAtMostAndTheLocalesSeparator) {
  FrameRate r;
  r.fpsSmoothed = 60.04f;
  EXPECT_EQ(r.text(), "60 fps");
  r.fpsSmoothed = 59.66f;
  EXPECT_EQ(r.text(','), "59,7 fps");
  r.fpsSmoothed = 0.25f;
  EXPECT_EQ(r.text(), "0.2 fps") << "2.5 tenths round to the even 2";
}

}  // namespace
}  // namespace bandscope
