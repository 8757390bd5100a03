#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "display/butterfly_spectrum.h"
#include "display/scene_colours.h"
#include "display/spread_histogram.h"
#include "display/vector_scope.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::Block;
using test::Colour;
using test::SceneFixture;
using test::Vertex;

// The colour the help's legend shows an element in.
Colour legend(const SceneColour& c) {
  return {c[0], c[1], c[2]};
}
const Colour kTrace = legend(kWhite);
const Colour kSide = legend(kSideColour);

void steady(SceneFixture& f, int l, int r) {
  f.fillSamples(0, [l](int) { return 128 + l; });
  f.fillSamples(1, [r](int) { return 128 + r; });
}

// Point blocks and extent-bar blocks, first pass then second.
struct Scope {
  std::vector<Block> points, bars;
};
Scope drawScope(SceneFixture& f) {
  f.gl.clear();
  feedSpreadHistogram(f.model->settings, f.model->snapshot, f.model->spread);
  drawVectorScope(f.input());
  EXPECT_EQ(f.gl.modelViewDepth(), 0);
  return {f.gl.blocks(GL_POINTS), f.gl.blocks(GL_QUADS)};
}

TEST(VectorScope, SilenceDrawsNoPointsAndBarsOfNoLength) {
  SceneFixture f;
  const Scope s = drawScope(f);
  ASSERT_EQ(s.points.size(), 2u);
  ASSERT_EQ(s.bars.size(), 2u);
  EXPECT_TRUE(s.points[0].vertices.empty() && s.points[1].vertices.empty());
  for (const Block& b : s.bars) {
    // Bottom and top bars span x, left and right bars span y.
    for (int i = 0; i < 16; ++i) EXPECT_EQ(i < 8 ? b.vertices[i].x : b.vertices[i].y, 0.0f);
  }
  EXPECT_EQ(f.gl.blocks(GL_LINES)[0].vertices[1], (Vertex{0, 0.5f, 0, legend(kVectorCrossColour)}));
  const uint8_t* h = f.model->spread.spreadHistogram;
  EXPECT_EQ(std::count(h, h + 512, 0), 512);
}

TEST(VectorScope, IdenticalChannelsStandOnTheVerticalAxisAndFeedTheMiddleSlot) {
  SceneFixture f;
  steady(f, 100, 100);
  const Scope s = drawScope(f);
  ASSERT_EQ(s.points[0].vertices.size(), 192u);
  EXPECT_EQ(s.points[0].vertices[0], (Vertex{0, 100 / 256.0f, 0, kTrace}));
  EXPECT_TRUE(s.points[1].vertices.empty());
  EXPECT_EQ(s.bars[0].vertices[14], (Vertex{0.5f, 100 / 256.0f, 0, kTrace}));  // right bar
  EXPECT_EQ(s.bars[0].vertices[5].x, 0.0f);                                    // top bar
  uint8_t* h = f.model->spread.spreadHistogram;
  EXPECT_EQ(h[96], 200);
  EXPECT_EQ(std::count(h, h + 512, 0), 511);

  steady(f, -100, -100);  // angle 2 pi: slot 0
  drawScope(f);
  EXPECT_EQ(h[0], 200);
  steady(f, -128, -128);  // length 256, one more than an entry holds
  drawScope(f);
  EXPECT_EQ(h[0], 255);
  h[96] = 220;  // entries only grow
  steady(f, 100, 100);
  drawScope(f);
  EXPECT_EQ(h[96], 220);
}

TEST(VectorScope, OppositeChannelsLieOnTheHorizontalAxisInBothPasses) {
  SceneFixture f;
  steady(f, 100, -100);
  const Scope s = drawScope(f);
  ASSERT_EQ(s.points[0].vertices.size(), 192u);
  EXPECT_NEAR(s.points[0].vertices[0].x, std::sin(-0.25) * 200 / 128, 1e-6);
  EXPECT_EQ(s.points[0].vertices[0].y, 0.0f);
  ASSERT_EQ(s.points[1].vertices.size(), 384u);
  EXPECT_EQ(s.points[1].vertices[0], (Vertex{100 / 256.0f, 0, 0, kSide}));
  EXPECT_EQ(s.bars[1].vertices[1], (Vertex{100 / 256.0f, -0.55f, 0, kSide}));
  EXPECT_EQ(f.model->spread.spreadHistogram[0], std::lround(std::sin(0.25) * 800));
}

TEST(SpreadHistogram, DecaysToNothingInSeventeenFramesWithinTheBandCount) {
  SceneFixture f;
  uint8_t* h = f.model->spread.spreadHistogram;
  h[5] = h[192] = 255;
  std::vector<int> seen;
  for (int frame = 0; frame < 17; ++frame, seen.push_back(h[5])) {
    decaySpreadHistogram(f.model->settings, f.model->spread);
  }
  EXPECT_EQ(seen,
            (std::vector<int>{191, 143, 107, 80, 60, 45, 33, 24, 18, 13, 9, 6, 4, 3, 2, 1, 0}));
  EXPECT_EQ(h[192], 255);
}

TEST(SpreadHistogram, BarsHangFromThePreviousSlotInTwiceTheirValuesColour) {
  SceneFixture f;
  uint8_t* h = f.model->spread.spreadHistogram;
  h[0] = 10, h[1] = 100, h[7] = 255;
  drawSpreadHistogram(f.input(), f.model->spread);
  EXPECT_EQ(f.gl.modelViewDepth(), 0);
  const auto& v = f.gl.blocks(GL_QUADS).at(0).vertices;
  ASSERT_EQ(v.size(), 4u * 192);
  EXPECT_EQ(v[0].x, v[1].x);  // slot 0 has no width
  EXPECT_EQ(v[4], (Vertex{1 / 64.0f, -100 / 256.0f, 0, f.valueColourOf(200)}));
  EXPECT_EQ(v[6], (Vertex{0, 0, 0, f.valueColourOf(200)}));
  EXPECT_EQ(v[28], (Vertex{7 / 64.0f, -255 / 256.0f, 0, f.valueColourOf(510)}));
  EXPECT_EQ(v[29].x, 6 / 64.0f);
}

TEST(ButterflySpectrum, ChannelsBackToBackAlongTheBandAxis) {
  SceneFixture f;
  SpectrumState& st = f.model->spectrum;
  st.bandLevel[0][24] = 300, st.bandLevel[1][24] = 128;
  st.bandFast[0][24] = 101, st.bandFast[1][24] = 50;
  drawButterflySpectrum(f.input());
  EXPECT_EQ(f.gl.modelViewDepth(), 0);
  ASSERT_EQ(f.gl.blocks(GL_QUADS).size(), 1u);
  const std::vector<Vertex>& all = f.gl.blocks(GL_QUADS)[0].vertices;
  ASSERT_EQ(all.size(), 8u * 192);
  // Band k's two quads.
  const auto band = [&](int k) {
    return std::vector<Vertex>(all.begin() + 8 * k, all.begin() + 8 * k + 8);
  };
  const auto& x = f.model->bandX.bandX;
  const Colour c = f.valueColourOf(75);
  const float y0 = x[24] / 256.0f, y1 = (x[25] - 1) / 256.0f;
  EXPECT_EQ(band(24), (std::vector<Vertex>{{0.01f, y0, 0, c},
                                           {0.5f, y0, 0, c},
                                           {0.5f, y1, 0, c},
                                           {0.01f, y1, 0, c},
                                           {-0.01f, y0, 0, c},
                                           {-300 / 256.0f, y0, 0, c},
                                           {-300 / 256.0f, y1, 0, c},
                                           {-0.01f, y1, 0, c}}));
  // A band one unit wide would lose it to the gap, so it keeps its unit.
  int narrow = 0;
  while (x[narrow + 1] - x[narrow] != 1) ++narrow;
  EXPECT_EQ(band(narrow)[2].y, (x[narrow] + 1) / 256.0f);
}

}  // namespace
}  // namespace bandscope
