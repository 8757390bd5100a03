#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "display/average_curves.h"
#include "display/balance_bar.h"
#include "display/meter_bars.h"
#include "display/peak_curve.h"
#include "display/peak_markers.h"
#include "display/placed_blocks.h"
#include "display/scene_colours.h"
#include "display/spectrum_bars.h"
#include "gl/frame_view.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::Colour;
using test::SceneFixture;
using test::Vertex;

// The colour the help's legend shows an element in.
Colour legend(const SceneColour& c) {
  return {c[0], c[1], c[2]};
}

constexpr int kOffset[kChannels] = {-496, 16};

// The spectrum plane's vertex for axis position p (offset included) and level v.
Vertex plane(int32_t p, int32_t v, Colour c) {
  return {float(p) / 200.0f, float(v) / 256.0f - 1.0f, 0.0f, c};
}

// Quad k of a block of quads.
std::vector<Vertex> quadAt(const test::Block& b, size_t k) {
  return {b.vertices.begin() + std::ptrdiff_t(4 * k),
          b.vertices.begin() + std::ptrdiff_t(4 * k + 4)};
}

std::vector<Vertex> quad(int32_t x0, int32_t x1, int32_t top, int32_t bottom, Colour c) {
  return {plane(x0, top, c), plane(x1, top, c), plane(x1, bottom, c), plane(x0, bottom, c)};
}

TEST(SpectrumBars, OneQuadPerBandButTheLastColouredByFastAverage) {
  for (int c = 0; c < kChannels; ++c) {
    SceneFixture f(16);
    const int32_t* x = f.model->bandX.bandX;
    f.model->spectrum.bandLevel[c][3] = 100;
    f.model->spectrum.bandFast[c][3] = 150;
    drawSpectrumBars(f.input(), c);
    ASSERT_EQ(f.gl.blocks(GL_QUADS).size(), 1u);
    const test::Block& bars = f.gl.blocks(GL_QUADS)[0];
    ASSERT_EQ(bars.vertices.size(), 60u);
    const int off = kOffset[c];
    EXPECT_EQ(quadAt(bars, 3), quad(x[3] + off, x[4] - 1 + off, 100, 0, f.valueColourOf(150)));
    // A zero level is a flat bar on y = -1.
    EXPECT_EQ(quadAt(bars, 14), quad(x[14] + off, x[15] - 1 + off, 0, 0, f.valueColourOf(0)));
    EXPECT_EQ(bars.vertices[56].y, -1.0f);
  }
}

TEST(SpectrumBars, CompressedBandEdgesStillGiveAWidth) {
  SceneFixture f(512);
  const int32_t* x = f.model->bandX.bandX;
  const int32_t* end = x + 511;
  const int32_t* same = std::adjacent_find(x, end);
  const int32_t* step = std::adjacent_find(x, end, [](int a, int b) { return b == a + 1; });
  ASSERT_NE(same, end);
  ASSERT_NE(step, end);
  drawSpectrumBars(f.input(), 1);
  const test::Block& bars = f.gl.blocks(GL_QUADS).at(0);
  const Colour col = f.valueColourOf(0);
  // Equal edges: one unit wide, ending at x0.
  EXPECT_EQ(quadAt(bars, size_t(same - x)), quad(*same + 16, *same + 15, 0, 0, col));
  // Adjacent edges: no gap rather than no width.
  EXPECT_EQ(quadAt(bars, size_t(step - x)), quad(*step + 16, *step + 17, 0, 0, col));
}

TEST(PeakMarkers, OneBlockShownWhilePeakIsRecent) {
  SceneFixture f(16);
  auto& s = f.model->spectrum;
  const int32_t* x = f.model->bandX.bandX;
  for (int k = 0; k < 16; ++k) {
    s.peakHold[0][k] = 80;
    s.bandFast[0][k] = static_cast<int16_t>(10 * k);
  }
  s.peakHold[0][2] = 79;
  s.bandPeak[0][2] = 120;
  s.peakHold[0][15] = 0;  // the last band has no marker
  drawPeakMarkers(f.input(), 0);
  ASSERT_EQ(f.gl.blocks(GL_QUADS).size(), 1u);
  EXPECT_EQ(f.gl.blocks(GL_QUADS)[0].vertices,
            quad(x[2] - 496, x[3] - 497, 120, 122, f.valueColourOf(20)));
  // The colour left current is the last marked band's, whether or not its marker shows.
  EXPECT_EQ(f.gl.colour(), f.valueColourOf(140));
}

TEST(PeakCurve, ReachesTheLastBandFromLevelZero) {
  SceneFixture f(16);
  const int32_t* x = f.model->bandX.bandX;
  for (int k = 0; k < 16; ++k) f.model->spectrum.bandPeak[1][k] = static_cast<int16_t>(k + 40);
  drawPeakCurve(f.input(), 1);
  ASSERT_EQ(f.gl.blocks(GL_LINES).size(), 1u);
  const auto& v = f.gl.blocks(GL_LINES)[0].vertices;
  ASSERT_EQ(v.size(), 32u);
  const Colour col = legend(kPeakCurveColour);
  EXPECT_EQ(v[0], plane(x[0] + 16, 0, col));
  EXPECT_EQ(v[1], plane((x[0] + x[1]) / 2 + 16, 40, col));
  EXPECT_EQ(v[2], v[1]);
  EXPECT_EQ(v[31], plane((x[15] + x[16]) / 2 + 16, 55, col));
}

TEST(AverageCurves, SlowThenFastStoppingBeforeTheLastBand) {
  SceneFixture f(16);
  const int32_t* x = f.model->bandX.bandX;
  auto& s = f.model->spectrum;
  for (int k = 0; k < 16; ++k) {
    s.bandSlow[0][k] = static_cast<int16_t>(k + 20);
    s.bandFast[0][k] = static_cast<int16_t>(k + 60);
  }
  drawAverageCurves(f.input(), 0);
  const auto& curves = f.gl.blocks(GL_LINES);
  ASSERT_EQ(curves.size(), 2u);
  const Colour slow = legend(kSlowAverageColour);
  const Colour fast = legend(kFastAverageColour);
  for (const auto& b : curves) ASSERT_EQ(b.vertices.size(), 30u);
  EXPECT_EQ(curves[0].vertices[0], plane(x[0] - 496, 0, slow));
  EXPECT_EQ(curves[0].vertices[29], plane((x[14] + x[15]) / 2 - 496, 34, slow));
  EXPECT_EQ(curves[1].vertices[0], plane(x[0] - 496, 0, fast));
  EXPECT_EQ(curves[1].vertices[3], plane((x[1] + x[2]) / 2 - 496, 61, fast));
  EXPECT_EQ(curves[1].vertices[29], plane((x[14] + x[15]) / 2 - 496, 74, fast));
}

TEST(MeterBars, LoudnessThenDeviationGrowingOutwards) {
  for (int c = 0; c < kChannels; ++c) {
    SceneFixture f;
    f.model->spectrum.loudnessMeter[c] = 100;
    f.model->spectrum.deviationMeter[c] = 64;
    drawMeterBars(f.input(), c);
    const float sgn = c == 0 ? -1.0f : 1.0f;
    const auto& bars = f.gl.blocks(GL_QUADS);
    ASSERT_EQ(bars.size(), 2u);
    const Colour loud = f.valueColourOf(200);
    EXPECT_EQ(bars[0].vertices, (std::vector<Vertex>{{0, 200 / 256.0f, 0, loud},
                                                     {sgn / 16, 200 / 256.0f, 0, loud},
                                                     {sgn / 16, 0, 0, loud},
                                                     {0, 0, 0, loud}}));
    // In the window the deviation bar stands beside the loudness bar, away from the middle.
    const auto placed = test::placedBlocks(f.gl, sceneTransform(FrameView{441, 350, Camera{}}));
    const test::WindowBox loudBox = test::boxOf({placed.at(0)});
    const test::WindowBox devBox = test::boxOf({placed.at(1)});
    EXPECT_TRUE(c == 0 ? devBox.right < loudBox.left : devBox.left > loudBox.right);
    const Colour dev = f.valueColourOf(64);
    EXPECT_EQ(
        bars[1].vertices,
        (std::vector<Vertex>{
            {0, 0.25f, 0, dev}, {sgn / 32, 0.25f, 0, dev}, {sgn / 32, 0, 0, dev}, {0, 0, 0, dev}}));
    EXPECT_EQ(f.gl.modelViewDepth(), 0);
  }
}

TEST(BalanceBar, ExtendsTowardsTheLouderChannel) {
  struct Case {
    int32_t left, right;
    float end;
    int32_t colourValue;
  };
  for (const Case& t : {Case{30, 55, 1.0f, 217}, Case{55, 30, -1.0f, 217}, Case{40, 40, 0, 112}}) {
    SceneFixture f;
    f.model->spectrum.loudnessMeter[0] = t.left;
    f.model->spectrum.loudnessMeter[1] = t.right;
    drawBalanceBar(f.input());
    const Colour col = f.valueColourOf(t.colourValue);
    ASSERT_EQ(f.gl.blocks(GL_QUADS).size(), 1u);
    EXPECT_EQ(
        f.gl.blocks(GL_QUADS)[0].vertices,
        (std::vector<Vertex>{
            {t.end, 0, 0, col}, {t.end, 0.125f, 0, col}, {0, 0.125f, 0, col}, {0, 0, 0, col}}));
    EXPECT_EQ(f.gl.modelViewDepth(), 0);
  }
}

}  // namespace
}  // namespace bandscope
