#include "app/frame/picture_watch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "analysis/sample_buffer.h"

namespace bandscope {
namespace {

// A live input: one block of a tone (or of silence) before each frame of four steps.
struct LiveInput {
  SampleBuffer samples;
  int64_t sent = 0;

  void block(double hz) {
    uint8_t b[512];
    for (uint8_t& s : b) {
      const double t = static_cast<double>(sent++) / 44100.0;
      s = static_cast<uint8_t>(128 + std::lround(100 * std::sin(2 * std::numbers::pi * hz * t)));
    }
    samples.append(b, b, sizeof b);
  }
  // Steps until the picture was still, or -1 if it was not within `frames` frames.
  int stepsUntilStill(PictureWatch& watch, FrameModel& m, double hz, int frames) {
    for (int f = 0; f < frames; ++f) {
      block(hz);
      analyseDue(FrameOptions{}, m, samples, 4);
      watch.analysed(&m, 4);
      if (watch.still(m.settings.sonoSteps)) return 4 * (f + 1);
    }
    return -1;
  }
};

TEST(PictureWatch, SilenceSettlesOnceEveryDecayEndsAndSoundOrInputMovesItAgain) {
  auto m = std::make_unique<FrameModel>();
  initFrameModel(*m);
  LiveInput in;
  in.samples.setLayout(m->settings.bufferLength, m->settings.timeScale);
  PictureWatch watch;
  EXPECT_EQ(in.stepsUntilStill(watch, *m, 1000, 1000), -1) << "a tone keeps moving";

  const int settled = in.stepsUntilStill(watch, *m, 0, 15000);  // up to a minute
  ASSERT_GT(settled, PictureWatch::kLeastStillSteps) << "the tone's peaks and averages decay first";
  EXPECT_FALSE(watch.still(512)) << "a longer sonogram waits for its whole history";

  watch.moved();
  EXPECT_FALSE(watch.still(0)) << "input moves the picture";
  EXPECT_EQ(in.stepsUntilStill(watch, *m, 0, 100), 4 * 63) << "still a second after";

  in.block(3000);
  analyseDue(FrameOptions{}, *m, in.samples, 1);
  watch.analysed(m.get(), 1);
  EXPECT_FALSE(watch.still(0)) << "one block of sound";
}

TEST(PictureWatch, AFrozenPictureIsStillAfterASecondWhateverTheModelDoes) {
  PictureWatch watch;
  watch.analysed(nullptr, 249);
  EXPECT_FALSE(watch.still(0));
  watch.analysed(nullptr, 1);
  EXPECT_TRUE(watch.still(0));
}

}  // namespace
}  // namespace bandscope
