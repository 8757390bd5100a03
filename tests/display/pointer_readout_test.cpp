#include "display/pointer_readout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "display/note_name.h"
#include "display/peak_reading.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::SceneFixture;

TEST(NoteName, NearestEqualTemperedNoteAndCents) {
  const struct {
    double hz;
    const char* name;
  } rows[] = {
      {440, "A4 +0 ct"},
      {1000, "B5 +21 ct"},
      {3520, "A7 +0 ct"},
      {261.6256, "C4 +0 ct"},
      {277.1826, "C#4 +0 ct"},
      {493.8833, "B4 +0 ct"},
      {523.2511, "C5 +0 ct"},
      {450, "A4 +39 ct"},
      {430, "A4 -40 ct"},
      {16.3516, "C0 +0 ct"},
      {15.4339, "B-1 +0 ct"},
      {1.0219, "C-4 +0 ct"},
      {0, ""},
      {-440, ""},
      {std::nan(""), ""},
      {1e30, ""},
  };
  for (const auto& r : rows) EXPECT_EQ(noteName(r.hz), r.name) << r.hz;
}

TEST(PeakReading, NearestPeakOfARow) {
  SceneFixture f(8);
  const BandSettings& s = f.model->settings;
  const struct {
    std::vector<int16_t> levels;
    int pointed;
    int peak;
  } rows[] = {
      {{10, 30, 20, 15, 18, 16, 60, 20}, 3, 4},  // the small one next door, not the big one
      {{10, 30, 20, 15, 18, 16, 60, 20}, 2, 1},
      {{10, 30, 20, 15, 18, 16, 60, 20}, 7, 6},
      {{10, 40, 20, 45, 30, 60, 40, 20}, 2, 3},  // one band either way: the higher
      {{10, 45, 20, 40, 30, 60, 40, 20}, 2, 1},
      {{50, 30, 20, 10, 10, 20, 40, 45}, 2, 0},  // at the row's ends
      {{50, 30, 20, 10, 10, 20, 40, 45}, 5, 7},
      {{20, 20, 20, 20, 20, 20, 20, 20}, 3, 3},  // flat: where it points
  };
  for (const auto& r : rows) {
    EXPECT_EQ(nearestPeak(r.levels.data(), r.pointed, s), r.peak) << "pointed at " << r.pointed;
  }
}

struct ToneCase {
  double hz;
  const char* note;  // the nearest note, without its cents
  int sampleBits;
  bool phon;
  bool stereo;
  double amplitude;  // of full scale
};

class ReadoutPrecision : public testing::TestWithParam<ToneCase> {};

// A sine recorded at 44100 Hz through the sample buffer and the frame's analysis steps: the
// readout at its bar, and at either neighbour, names its frequency within 1 %, its note and
// its level.
TEST_P(ReadoutPrecision, ASineReadsItsFrequencyAndNote) {
  const ToneCase& c = GetParam();
  SceneFixture f;  // 192 bands, time scale 2
  f.options.boostHi_check = c.phon;
  f.options.StereoCheckBox = c.stereo;
  FrameModel& m = *f.model;
  m.settings.sampleBits = static_cast<uint8_t>(c.sampleBits);
  const auto buffer = std::make_unique<SampleBuffer>();
  buffer->setLayout(m.settings.bufferLength, m.settings.timeScale, c.sampleBits);
  const int bytes = c.sampleBits / 8;
  std::vector<uint8_t> block(512 * static_cast<size_t>(bytes));
  const double full = c.sampleBits == 16 ? 32767 : 127;
  long frame = 0;
  // Blocks of 512 frames as the recorder hands them over, one analysis step each.
  for (int k = 0; k < 12; ++k) {
    for (size_t j = 0; j < 512; ++j, ++frame) {
      const double x = c.amplitude * full * std::sin(2 * std::numbers::pi * c.hz * frame / 44100);
      const long v = std::lround(x);
      if (bytes == 1) {
        block[j] = static_cast<uint8_t>(128 + v);
      } else {
        block[2 * j] = static_cast<uint8_t>(v & 0xff);
        block[2 * j + 1] = static_cast<uint8_t>((v >> 8) & 0xff);
      }
    }
    buffer->append(block.data(), block.data(), static_cast<uint16_t>(block.size()));
    analyseDue(f.options, m, *buffer, 1);
  }
  const int16_t* fast = m.spectrum.bandFast[0];
  const int loudest = static_cast<int>(std::max_element(fast, fast + m.settings.bandCount) - fast);
  for (const int pointed : {loudest - 1, loudest, loudest + 1}) {
    const PeakReading r = readPeak(m, {0, pointed}, c.phon);
    EXPECT_EQ(r.band, loudest) << "pointed at " << pointed;
    EXPECT_NEAR(r.hz, c.hz, c.hz / 100) << "pointed at " << pointed;
    // The peak band holds the sine less what falls beside it: at most 3.9 dB between bands.
    const double dbfs = 20 * std::log10(c.amplitude);
    EXPECT_LE(r.dbfs, dbfs + 0.5);
    EXPECT_GE(r.dbfs, dbfs - 4.5);
    const std::string text = pointerReadout(m, {0, pointed}, c.phon, ',');
    const std::string note = std::string("  ") + c.note;
    EXPECT_NE(text.find(" Hz" + note + " "), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(" dBFS")) << text;
    EXPECT_EQ(text.find('.'), std::string::npos) << "the locale's separator: " << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Tones, ReadoutPrecision,
                         testing::Values(ToneCase{440, "A4", 8, true, true, 0.8},
                                         ToneCase{1000, "B5", 8, true, true, 0.8},
                                         ToneCase{3520, "A7", 8, true, true, 0.8},
                                         ToneCase{440, "A4", 8, false, false, 0.8},
                                         ToneCase{1000, "B5", 8, true, true, 0.1},
                                         ToneCase{3520, "A7", 8, false, true, 0.1},
                                         ToneCase{440, "A4", 16, true, true, 0.8},
                                         ToneCase{1000, "B5", 16, false, true, 0.01},
                                         ToneCase{3520, "A7", 16, true, false, 0.001}));

}  // namespace
}  // namespace bandscope
