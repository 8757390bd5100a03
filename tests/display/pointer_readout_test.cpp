#include "display/pointer_readout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "display/note_name.h"
#include "display/peak_reading.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

TEST(NoteName, NearestEqualTemperedNoteAndCents) {
  const std::pair<double, const char*> rows[] = {{440, "A4 +0 ct"},      {1000, "B5 +21 ct"},
                                                 {3520, "A7 +0 ct"},     {277.1826, "C#4 +0 ct"},
                                                 {493.8833, "B4 +0 ct"}, {523.2511, "C5 +0 ct"},
                                                 {450, "A4 +39 ct"},     {430, "A4 -40 ct"},
                                                 {15.4339, "B-1 +0 ct"}, {0, ""},
                                                 {std::nan(""), ""},     {1e30, ""}};
  for (const auto& [hz, name] : rows) EXPECT_EQ(noteName(hz), name) << hz;
}

TEST(PeakReading, NearestPeakOfARow) {
  const test::SceneFixture f(8);
  const std::vector<int16_t> row{10, 30, 20, 15, 18, 16, 60, 20};
  const std::vector<int16_t> tie{10, 40, 20, 45, 30, 60, 40, 20};
  // The small peak next door rather than the big one; the row's ends; of two as near, the higher.
  const std::tuple<const std::vector<int16_t>*, int, int> rows[] = {
      {&row, 3, 4}, {&row, 2, 1}, {&row, 7, 6}, {&row, 0, 1}, {&tie, 2, 3}};
  for (const auto& [levels, pointed, peak] : rows)
    EXPECT_EQ(nearestPeak(levels->data(), pointed, f.model->settings), peak) << pointed;
}

// A sine recorded at 44100 Hz through the sample buffer and the frame's analysis steps (192
// bands, time scale 2): the readout beside its bar names its frequency within 1 %, its note
// and its level.
TEST(ReadoutPrecision, ASineReadsItsFrequencyNoteAndLevel) {
  const struct {
    double hz;
    const char* note;  // the nearest, without its cents
    int bits;
    bool phon;
    double amplitude;  // of full scale
  } rows[] = {{440, "A4", 8, true, 0.8},    {1000, "B5", 8, true, 0.8},
              {3520, "A7", 8, true, 0.8},   {440, "A4", 8, false, 0.1},
              {1000, "B5", 16, true, 0.01}, {3520, "A7", 16, false, 0.001}};
  for (const auto& c : rows) {
    SCOPED_TRACE(testing::Message() << c.hz << " Hz, " << c.bits << "-bit, " << c.amplitude);
    test::SceneFixture f;
    f.options.boostHi_check = c.phon;
    FrameModel& m = *f.model;
    m.settings.sampleBits = static_cast<uint8_t>(c.bits);
    const auto buffer = std::make_unique<SampleBuffer>();
    buffer->setLayout(m.settings.bufferLength, m.settings.timeScale, c.bits);
    std::vector<uint8_t> block(512 * static_cast<size_t>(c.bits / 8));
    const double full = c.bits == 16 ? 32767 : 127;
    for (long frame = 0; frame < 12 * 512; ++frame) {  // blocks as the recorder hands them over
      const long v =
          std::lround(c.amplitude * full * std::sin(2 * std::numbers::pi * c.hz * frame / 44100));
      const auto j = static_cast<size_t>(frame % 512);
      if (c.bits == 8) block[j] = static_cast<uint8_t>(128 + v);
      if (c.bits == 16) block[2 * j] = static_cast<uint8_t>(v), block[2 * j + 1] = uint8_t(v >> 8);
      if (j < 511) continue;
      buffer->append(block.data(), block.data(), static_cast<uint16_t>(block.size()));
      analyseDue(f.options, m, *buffer, 1);
    }
    const int16_t* fast = m.spectrum.bandFast[0];
    const int loudest = static_cast<int>(std::max_element(fast, fast + 192) - fast);
    for (const int pointed : {loudest - 1, loudest + 1}) {
      const PeakReading r = readPeak(m, {0, pointed}, c.phon);
      EXPECT_NEAR(r.hz, c.hz, c.hz / 100) << "pointed at " << pointed;
      // The peak band holds the sine less what falls beside it: up to 3.9 dB between bands.
      EXPECT_NEAR(r.dbfs, 20 * std::log10(c.amplitude) - 2, 2.5);
      const std::string text = pointerReadout(m, {0, pointed}, c.phon, ',');
      EXPECT_NE(text.find(std::string(" Hz  ") + c.note + " "), std::string::npos) << text;
      EXPECT_TRUE(text.ends_with(" dBFS") && text.find('.') == std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace bandscope
