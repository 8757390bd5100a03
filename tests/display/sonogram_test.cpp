#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/placed_blocks.h"
#include "display/sonogram.h"
#include "gl/frame_view.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::Block;
using test::PlacedBlock;
using test::SceneFixture;

// The sonogram in the window at the start view, spun by spin where the options spin it.
std::vector<PlacedBlock> placedSonogram(SceneFixture& f, float spin = 0) {
  f.gl.clear();
  drawSonogram(f.input(spin));
  return test::placedBlocks(f.gl, sceneTransform(FrameView{441, 350, Camera{}}));
}

// Rows stand as far back as their age: each strip runs from its older row to its newer one,
// the next strip starts where it ends, the newest row is nearest, and every row lies in the
// picture, in front of the eye, at every length, loud rows as well as silent ones.
TEST(Sonogram, RowsStepTowardsTheViewerFromOldestToNewestInsideThePicture) {
  for (const uint16_t steps : {2, 3, 4, 5, 64, 512}) {
    for (const bool loud : {false, true}) {
      SCOPED_TRACE(testing::Message() << steps << (loud ? " rows, loud" : " rows, silent"));
      SceneFixture f(192);
      f.model->settings.sonoSteps = steps;
      unsigned seed = 1;  // full-scale noise: every band loud
      for (int k = 0; loud && k < 8; ++k) {
        for (const int c : {0, 1})
          f.fillSamples(c, [&](int) { return (seed = seed * 1103515245u + 12345u) >> 24; });
        analysisStep(f.options, *f.model);
      }
      const std::vector<PlacedBlock> strips = placedSonogram(f);
      ASSERT_EQ(strips.size(), std::min<size_t>(steps, kMaxSonoRows) - 1);
      for (size_t t = 0; t < strips.size(); ++t) {
        const std::vector<WindowPoint>& p = strips[t].points;
        ASSERT_EQ(p.size(), 2u * 192);
        for (size_t i = 0; i < p.size(); i += 2) {
          ASSERT_TRUE(p[i].inFront && p[i + 1].inFront);
          ASSERT_TRUE(p[i].x >= 0 && p[i].x <= 441 && p[i].y >= 0 && p[i].y <= 350) << t;
          // Heights tilt with the surface, so depth is compared where the rows are flat.
          if (!loud) {
            ASSERT_LT(p[i + 1].depth, p[i].depth) << "strip " << t << " vertex " << i;
          }
          if (t + 1 < strips.size()) {
            ASSERT_TRUE(test::samePlace(p[i + 1], strips[t + 1].points[i])) << "strip " << t;
          }
        }
      }
    }
  }
}

TEST(Sonogram, EachVertexStandsAsHighAsItsRowsValueInItsColour) {
  SceneFixture f(8);
  f.model->settings.sonoSteps = 4;
  // Row 1 is flat zero but for one entry stored as -1, which means 65535.
  const auto value = [](int r, int i) { return r != 1 ? 100 * r + i : i == 3 ? 65535 : 0; };
  for (int r = 0; r < 4; ++r) {
    for (int i = 0; i < 8; ++i) f.model->spectrum.sonoHistory[r][i] = int16_t(value(r, i));
  }
  for (const bool colours : {true, false}) {
    f.gl.clear();
    f.options.col_check = colours;
    drawSonogram(f.input());
    const auto& strips = f.gl.blocks(GL_QUAD_STRIP);
    ASSERT_EQ(strips.size(), 3u);
    // One height per unit of value, whichever vertex sets it.
    const float unit = strips[2].vertices[1].y / float(value(3, 0));
    ASSERT_GT(unit, 0);
    for (int t = 1; t <= 3; ++t) {
      const Block& s = strips[size_t(t - 1)];
      ASSERT_EQ(s.vertices.size(), 16u);
      for (int i = 0; i < 8; ++i) {
        const int a = value(t - 1, i);
        const int b = value(t, i);
        EXPECT_FLOAT_EQ(s.vertices[2 * i].y, float(a) * unit) << t << " " << i;
        EXPECT_FLOAT_EQ(s.vertices[2 * i + 1].y, float(b) * unit) << t << " " << i;
        EXPECT_EQ(s.vertices[2 * i].colour, f.valueColourOf(a));
        EXPECT_EQ(s.vertices[2 * i + 1].colour, f.valueColourOf(b));
        // Both rows of a band across at its place, the bands in order.
        EXPECT_EQ(s.vertices[2 * i].x, s.vertices[2 * i + 1].x);
        if (i > 0) {
          EXPECT_GT(s.vertices[2 * i].x, s.vertices[2 * i - 2].x);
        }
      }
    }
  }
}

// The strips follow the history through steps, frames without steps, steps with the
// sonogram off and changed colours: each frame's picture is what building every strip
// afresh gives, and only the strips of new rows are built.
TEST(Sonogram, StripsBuiltOnceFollowTheHistoryAsAFreshBuildWould) {
  struct Frame {
    int hiddenSteps;  // steps with the sonogram off, which write its newest row unscrolled
    int steps;
    bool colours;
    uint64_t built;  // strips built for this frame's picture
  };
  const Frame frames[] = {{0, 0, true, 63},  {0, 1, true, 1},    {0, 3, true, 3},
                          {0, 0, true, 0},   {2, 0, true, 1},    {0, 1, false, 63},
                          {2, 1, false, 2},  {0, 70, false, 63}, {0, 64, true, 63},
                          {0, 63, true, 63}, {0, 62, true, 62}};
  SceneFixture f(192);
  unsigned seed = 1;
  for (const Frame& frame : frames) {
    SCOPED_TRACE(&frame - frames);
    f.options.col_check = frame.colours;
    for (int k = 0; k < frame.hiddenSteps + frame.steps; ++k) {
      f.fillSamples(0, [&](int) { return (seed = seed * 1103515245u + 12345u) >> 24; });
      f.fillSamples(1, [&](int j) { return (j * int(seed >> 28)) & 255; });
      f.options.sono_check = k >= frame.hiddenSteps;
      analysisStep(f.options, *f.model);
    }
    f.options.sono_check = true;
    const uint64_t before = f.model->sonoStrips.stripsBuilt();
    f.gl.clear();
    drawSonogram(f.input());
    EXPECT_EQ(f.model->sonoStrips.stripsBuilt() - before, frame.built);
    const std::vector<Block> kept = f.gl.blocks(GL_QUAD_STRIP);
    f.model->sonoStrips.invalidate();
    f.gl.clear();
    drawSonogram(f.input());
    ASSERT_EQ(kept.size(), 63u);
    for (size_t t = 0; t < kept.size(); ++t) {
      ASSERT_EQ(kept[t].vertices, f.gl.blocks(GL_QUAD_STRIP)[t].vertices) << "strip " << t + 1;
    }
  }
}

// Spinning turns the sonogram about its corner nearest the band axis' start: a whole turn
// gives the picture back, a part turn another one; without spinning the angle does nothing.
TEST(Sonogram, SpinningTurnsItAboutItsCornerAndOnlyWhenAsked) {
  SceneFixture f(8);
  f.model->settings.sonoSteps = 4;
  const auto same = [](const std::vector<PlacedBlock>& a, const std::vector<PlacedBlock>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), test::samePlaces);
  };
  const std::vector<PlacedBlock> still = placedSonogram(f);
  EXPECT_TRUE(same(placedSonogram(f, 90), still));
  f.options.rot8_check = true;
  const std::vector<PlacedBlock> start = placedSonogram(f, 0);
  const std::vector<PlacedBlock> quarter = placedSonogram(f, 90);
  EXPECT_FALSE(same(start, still));
  EXPECT_FALSE(same(quarter, start));
  EXPECT_TRUE(same(placedSonogram(f, 360), start));
  // The oldest row's first band, at the height of silence, is the axis it turns about.
  ASSERT_FALSE(start.empty());
  EXPECT_TRUE(test::samePlace(quarter[0].points[0], start[0].points[0]));
}

}  // namespace
}  // namespace bandscope
