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
    for (int t = 1; t <= 3; ++t) {
      const Block& s = strips[size_t(t - 1)];
      ASSERT_EQ(s.vertices.size(), 16u);
      for (int i = 0; i < 8; ++i) {
        const float x = float(f.model->bandX.bandX[i]) / 100;
        const int a = value(t - 1, i);
        const int b = value(t, i);
        EXPECT_EQ(s.vertices[2 * i], (Vertex{x, a / 512.0f, t - 1.0f, f.valueColourOf(a)}));
        EXPECT_EQ(s.vertices[2 * i + 1], (Vertex{x, b / 512.0f, float(t), f.valueColourOf(b)}));
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
  EXPECT_EQ(strips.back().vertices[0].z, 3.875f);
  EXPECT_EQ(strips.back().vertices[1].z, 3.9375f);

  for (const uint16_t steps : {2, 3}) {
    f.gl.clear();
    f.model->settings.sonoSteps = steps;
    drawSonogram(f.input());
    ASSERT_EQ(f.gl.blocks(GL_QUAD_STRIP).size(), steps - 1u);
    EXPECT_EQ(f.gl.blocks(GL_QUAD_STRIP).back().vertices[1].z, float(steps - 1));
  }
}

TEST(Sonogram, Rot8SpinsAboutZInsteadOfTheFixedTilt) {
  SceneFixture f(8);
  drawSonogram(f.input(12.5f));
  f.options.rot8_check = true;
  drawSonogram(f.input(12.5f));
  EXPECT_EQ(f.gl.calls("glTranslatef")[1].args, (std::vector<double>{-2.55f, 1.9f, -7.0f}));
  std::vector<std::vector<double>> rotations;
  for (const auto& call : f.gl.calls("glRotatef")) rotations.push_back(call.args);
  EXPECT_EQ(rotations, (std::vector<std::vector<double>>{
                           {-15, 1, 0, 0}, {45, 1, 0, 0}, {12.5, 0, 0, 1}, {45, 1, 0, 0}}));
}

}  // namespace
}  // namespace bandscope
