#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/level_scale.h"
#include "display/frequency_grid.h"
#include "display/level_lines.h"
#include "display/peak_labels.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::Colour;
using test::GlCall;
using test::SceneFixture;
using test::Vertex;

const Colour kLineGrey{0.2f, 0.2f, 0.25f};

std::vector<std::string> texts(const SceneFixture& f) {
  std::vector<std::string> out;
  for (const GlCall& c : f.gl.calls("glCallLists")) out.push_back(c.bytes);
  return out;
}

TEST(LevelLines, SeventeenLinesAcrossBothSpectra) {
  SceneFixture f;
  drawLevelLines(f.input());
  const auto& v = f.gl.blocks(GL_LINES).at(0).vertices;
  ASSERT_EQ(v.size(), 34u);
  for (int j = 0; j < 17; ++j) {
    const float y = static_cast<float>(levelScale(16 * j) / 256.0 - 0.8);
    EXPECT_EQ(v[2 * j], (Vertex{-2.6f, y, -0.1f, kLineGrey}));
    EXPECT_EQ(v[2 * j + 1], (Vertex{2.6f, y, -0.1f, kLineGrey}));
  }
  EXPECT_NEAR(v.front().y, -0.757, 1e-3);
  EXPECT_NEAR(v.back().y, 0.341, 1e-3);
}

struct GridCase {
  int32_t timeScale;
  int step;
  std::vector<std::string> firstLabels;
  std::string lastLabel;
};
class FrequencyGrid : public testing::TestWithParam<GridCase> {};

TEST_P(FrequencyGrid, LineAndLabelAtEveryStepUpToTheTopBand) {
  const GridCase& c = GetParam();
  SceneFixture f;
  f.model->settings.timeScale = c.timeScale;
  const size_t lines = static_cast<size_t>(bandToHz(191, f.model->settings) / c.step);
  for (int channel = 0; channel < 2; ++channel) {
    f.gl.clear();
    drawFrequencyGrid(f.input(), channel);
    const auto& v = f.gl.blocks(GL_LINES).at(0).vertices;
    const std::vector<GlCall> pos = f.gl.calls("glRasterPos2f");
    ASSERT_EQ(v.size(), 2 * lines);
    ASSERT_EQ(pos.size(), lines);
    EXPECT_EQ(f.gl.count("glPushAttrib"), 1u);
    for (size_t i = 0; i < lines; ++i) {
      const int32_t band = hzToBand(c.step * static_cast<int>(i + 1), f.model->settings);
      const float x = static_cast<float>(bandToX(band, 192) + 512 * channel - 512) / 200.0f;
      EXPECT_EQ(v[2 * i], (Vertex{x, 0.35f, -0.1f, kLineGrey}));
      EXPECT_EQ(v[2 * i + 1], (Vertex{x, -0.8f, -0.1f, kLineGrey}));
      // Odd multiples of the step a row lower.
      EXPECT_EQ(pos[i].args, (std::vector<double>{x, i % 2 == 0 ? 0.25f : 0.35f}));
      EXPECT_EQ(pos[i].colour, (Colour{0.3f, 0.3f, 0.35f}));
    }
    const std::vector<std::string> t = texts(f);
    EXPECT_TRUE(std::equal(c.firstLabels.begin(), c.firstLabels.end(), t.begin()));
    EXPECT_EQ(t.back(), c.lastLabel);
  }
}

INSTANTIATE_TEST_SUITE_P(TimeScales, FrequencyGrid,
                         testing::Values(GridCase{1, 1000, {"1k", "2k"}, "22k"},
                                         GridCase{2, 500, {"500", "1k", "1.5k"}, "11k"},
                                         GridCase{8, 125, {"125", "250"}, "2.8k"},
                                         GridCase{128, 7, {"7", "14", "21"}, "168"}));

TEST(FrequencyGridPlacement, ThousandHertzSitsOnItsBandInEitherChannel) {
  SceneFixture f;
  for (int channel = 0; channel < 2; ++channel) {
    f.gl.clear();
    drawFrequencyGrid(f.input(), channel);
    // 1000 Hz is band 15, at axis position 208; the left channel's grid lies 512 units left.
    EXPECT_FLOAT_EQ(f.gl.blocks(GL_LINES)[0].vertices[2].x, channel == 1 ? 1.04f : -1.52f);
  }
}

// Every band's peak freshly held at 0; distinct fast levels so colours tell bands apart.
int16_t* heldPeaks(SceneFixture& f, int channel) {
  SpectrumState& st = f.model->spectrum;
  for (int k = 0; k < f.model->settings.bandCount; ++k) {
    st.peakHold[channel][k] = st.bandPeak[channel][k] = 0;
    st.bandFast[channel][k] = static_cast<int16_t>(k * 3 % 250);
  }
  return st.bandPeak[channel];
}

TEST(PeakLabels, LocalMaximaOfHeldPeaksNameTheirBandsFrequency) {
  SceneFixture f;
  int16_t* peak = heldPeaks(f, 1);
  peak[9] = 90, peak[10] = 120, peak[11] = 60;               // maximum at 10
  peak[60] = peak[61] = 50;                                  // plateau: its first band
  peak[100] = 200, f.model->spectrum.peakHold[1][100] = 80;  // held too long
  drawPeakLabels(f.input(), 1);
  ASSERT_EQ(texts(f), (std::vector<std::string>{"689", hzLabel(bandToHz(60, f.model->settings))}));
  const GlCall pos = f.gl.calls("glRasterPos2f")[0];
  const auto& x = f.model->bandX.bandX;
  EXPECT_EQ(pos.args,
            (std::vector<double>{((x[10] + x[11] - 1 + 32) / 2) / 200.0f, 120 / 256.0f - 1}));
  EXPECT_EQ(pos.colour, f.valueColourOf(30));
}

TEST(PeakLabels, CloseMaximaNeedAHigherPeakExceptInTheLowestTwoBands) {
  SceneFixture f;
  const auto& x = f.model->bandX.bandX;
  int second = 100;
  while (x[second] - x[100] < 20) ++second;
  ASSERT_LE(x[second] - x[100], 30);
  for (const int16_t height : {150, 90}) {
    f.gl.clear();
    int16_t* peak = heldPeaks(f, 0);
    peak[100] = 120, peak[second] = height;
    drawPeakLabels(f.input(), 0);
    EXPECT_EQ(texts(f).size(), height > 120 ? 2u : 1u) << height;
  }

  // At 512 bands, bands 0, 1 and 2 lie within 30 units of the axis start and each other.
  SceneFixture wide(512);
  int16_t* peak = heldPeaks(wide, 1);
  peak[0] = peak[1] = peak[2] = 100;
  drawPeakLabels(wide.input(), 1);
  EXPECT_EQ(texts(wide).size(), 2u);
}

}  // namespace
}  // namespace bandscope
