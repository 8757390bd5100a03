#include <gtest/gtest.h>

#include <vector>

#include "display/sonogram.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::Block;
using test::SceneFixture;
using test::Vertex;

TEST(Sonogram, FourRowsGiveThreeStripsOneUnitDeepEachVertexItsOwnValue) {
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
    const auto moves = f.gl.calls("glTranslatef");
    ASSERT_EQ(moves.size(), 4u);
    for (int t = 1; t <= 3; ++t) {
      // Each strip is built one unit deep and moved to its row's depth.
      EXPECT_EQ(moves[size_t(t)].args, (std::vector<double>{0, 0, t - 1.0}));
      const Block& s = strips[size_t(t - 1)];
      ASSERT_EQ(s.vertices.size(), 16u);
      for (int i = 0; i < 8; ++i) {
        const float x = float(f.model->bandX.bandX[i]) / 100;
        const int a = value(t - 1, i);
        const int b = value(t, i);
        EXPECT_EQ(s.vertices[2 * i], (Vertex{x, a / 512.0f, 0, f.valueColourOf(a)}));
        EXPECT_EQ(s.vertices[2 * i + 1], (Vertex{x, b / 512.0f, 1, f.valueColourOf(b)}));
      }
    }
  }
}

TEST(Sonogram, DefaultLengthEndsAtTheNewestRowAndShortLengthsStayFinite) {
  SceneFixture f(192);
  drawSonogram(f.input());
  const auto& strips = f.gl.blocks(GL_QUAD_STRIP);
  ASSERT_EQ(strips.size(), 63u);
  for (const Block& s : strips) ASSERT_EQ(s.vertices.size(), 384u);
  EXPECT_EQ(f.gl.calls("glTranslatef").back().args, (std::vector<double>{0, 0, 3.875}));
  EXPECT_EQ(strips.back().vertices[1].z, 0.0625f);

  for (const uint16_t steps : {2, 3}) {
    f.gl.clear();
    f.model->settings.sonoSteps = steps;
    drawSonogram(f.input());
    ASSERT_EQ(f.gl.blocks(GL_QUAD_STRIP).size(), steps - 1u);
    EXPECT_EQ(f.gl.calls("glTranslatef").back().args[2], steps - 2.0);
    EXPECT_EQ(f.gl.blocks(GL_QUAD_STRIP).back().vertices[1].z, 1.0f);
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

TEST(Sonogram, Rot8SpinsAboutZInsteadOfTheFixedTilt) {
  SceneFixture f(8);
  drawSonogram(f.input(12.5f));
  std::vector<std::vector<double>> rotations;
  for (const auto& call : f.gl.calls("glRotatef")) rotations.push_back(call.args);
  f.gl.clear();
  f.options.rot8_check = true;
  drawSonogram(f.input(12.5f));
  EXPECT_EQ(f.gl.calls("glTranslatef")[0].args, (std::vector<double>{-2.55f, 1.9f, -7.0f}));
  for (const auto& call : f.gl.calls("glRotatef")) rotations.push_back(call.args);
  EXPECT_EQ(rotations, (std::vector<std::vector<double>>{
                           {-15, 1, 0, 0}, {45, 1, 0, 0}, {12.5, 0, 0, 1}, {45, 1, 0, 0}}));
}

}  // namespace
}  // namespace bandscope
