#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "display/channel_scope.h"
#include "display/mid_scope.h"
#include "display/scene_colours.h"
#include "display/scope_trigger.h"
#include "display/side_scope.h"
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
const Colour kTrace = legend(kWhite);
const Colour kSide = legend(kSideColour);

// One frame of channel c's oscilloscope: its analysis step, then its drawing.
void scopeFrame(SceneFixture& f, int c) {
  advanceChannelScope(f.model->settings, f.model->snapshot, f.options.static_check, c,
                      f.model->scope);
  drawChannelScope(f.input(), c, f.model->scope);
}

std::vector<Vertex> quad(float x0, float y0, float x1, float y1, Colour c) {
  return {{x0, y0, 0, c}, {x1, y0, 0, c}, {x1, y1, 0, c}, {x0, y1, 0, c}};
}

TEST(ScopeTrigger, StartsAfterAFullSwingAndNeverPassesBandCount) {
  std::vector<uint8_t> s(64, 128);
  EXPECT_EQ(staticTriggerStart(s.data(), 32, true), 32);
  EXPECT_EQ(staticTriggerStart(s.data(), 32, false), 0);
  // Starting on the line: up through the first half wave, down through the second.
  for (int j = 0; j < 64; ++j)
    s[j] = uint8_t(128 + std::lround(100 * std::sin(std::numbers::pi * j / 8)));
  EXPECT_EQ(staticTriggerStart(s.data(), 32, true), 17);
  EXPECT_EQ(staticTriggerStart(s.data(), 16, true), 16);
  // Starting above the line; a sample on the line ends a run above it.
  const uint8_t high[] = {200, 128, 129, 100, 129, 50};
  EXPECT_EQ(staticTriggerStart(high, 6, true), 2);
}

// Silence: a point a band on the frame's middle line, within the frame, and beyond the frame's
// end a bar of no height in the colour of nothing.
TEST(ChannelScope, SilenceShowsBandCountPointsOnTheCentreLineAndAFlatBar) {
  for (const int c : {0, 1}) {
    SceneFixture f(8);
    scopeFrame(f, c);
    const auto& frame = f.gl.blocks(GL_LINES).at(0).vertices;  // bottom, top, middle
    const auto& points = f.gl.blocks(GL_POINTS).at(0).vertices;
    const auto& bar = f.gl.blocks(GL_QUADS).at(0).vertices;
    ASSERT_EQ(frame.size(), 6u);
    ASSERT_EQ(points.size(), 8u);
    const float sgn = float(channelSign(c)), middle = frame[4].y;
    EXPECT_TRUE(frame[0].y < middle && middle < frame[2].y);
    EXPECT_EQ(frame[0].colour, legend(kScopeFrameColour));
    for (const Vertex& p : points) {
      EXPECT_TRUE(p.y == middle && p.colour == kTrace && 0 <= sgn * p.x &&
                  sgn * p.x < sgn * frame[5].x)
          << p;
    }
    for (const Vertex& v : bar) {
      EXPECT_TRUE(v.y == middle && sgn * v.x >= sgn * frame[5].x && v.colour == f.valueColourOf(0))
          << v;
    }
  }
}

TEST(ChannelScope, StaticOffShowsTheWholeWindowAndSmoothsTheMeanTick) {
  SceneFixture f(8);
  f.options.static_check = false;
  f.fillSamples(1, [](int j) { return 200 - 4 * j; });  // mean 170, exact in floats
  for (const float mean : {24618.5f, 18506.375f}) {
    f.gl.clear();
    scopeFrame(f, 1);
    const auto& points = f.gl.blocks(GL_POINTS)[0].vertices;
    ASSERT_EQ(points.size(), 16u);
    EXPECT_EQ(points[15], (Vertex{15 / 256.0f, 140 / 256.0f, 0, kTrace}));
    EXPECT_EQ(f.gl.blocks(GL_QUADS)[0].vertices,
              quad(8 / 256.0f, 140 / 256.0f, 16 / 256.0f, 200 / 256.0f, f.valueColourOf(60)));
    EXPECT_EQ(f.model->scope.scopeMean[1], mean);
    EXPECT_EQ(f.gl.blocks(GL_LINES)[1].vertices,
              (std::vector<Vertex>{{-0.125f, mean / 256, 0, kTrace}, {0, mean / 256, 0, kTrace}}));
  }
  EXPECT_EQ(f.model->scope.scopeMean[0], 32768.0f);
}

TEST(ChannelScope, ClippingSampleTurnsTheBarIntoARedBoxFromTheInnerEnd) {
  for (const int clip : {0, 1, 254, 255}) {
    SceneFixture f(8);
    f.fillSamples(0, [clip](int j) { return j == 11 ? clip : 128; });
    scopeFrame(f, 0);
    const float lo = float(std::min(clip, 128)) / 256;
    const float hi = float(std::max(clip, 128)) / 256;
    EXPECT_EQ(f.gl.blocks(GL_QUADS)[0].vertices,
              quad(0, lo, -16 / 256.0f, hi, legend(kClippingColour)))
        << clip;
  }
}

TEST(MidScope, MonoShowsChannelZeroAndItsRoundedMean) {
  SceneFixture f(8);
  f.options.static_check = false;
  f.fillSamples(0, [](int j) { return 200 - 4 * j; });
  f.fillSamples(1, [](int) { return 0; });
  f.model->scope.scopeMean[0] = 100.75f;  // 201.5 rounds to 202
  drawMidScope(f.input(), 0, f.model->scope);
  const auto& points = f.gl.blocks(GL_POINTS)[0].vertices;
  ASSERT_EQ(points.size(), 16u);
  EXPECT_EQ(points[15], (Vertex{140 / 256.0f, 15 / 256.0f, 0, kTrace}));
  EXPECT_EQ(f.gl.blocks(GL_QUADS)[0].vertices[1], (Vertex{140 / 256.0f, 16 / 256.0f, 0, kTrace}));
  EXPECT_EQ(f.gl.blocks(GL_LINES)[1].vertices[0], (Vertex{101 / 256.0f, -0.125f, 0, kTrace}));
}

TEST(MidAndSideScopes, StereoShowMeanAndHalfDifferenceFromChannelOnesTrigger) {
  SceneFixture f(8);
  // Channel 1 crosses upwards at sample 4; channel 0 at 255 makes every difference odd.
  f.fillSamples(0, [](int) { return 255; });
  f.fillSamples(1, [](int j) { return (j / 2) % 2 ? 100 : 200; });
  f.model->scope.scopeMean[0] = 103.0f;
  f.model->scope.scopeMean[1] = 100.0f;
  drawMidScope(f.input(), 1, f.model->scope);
  drawSideScope(f.input(), f.model->scope);

  const auto& mid = f.gl.blocks(GL_POINTS)[0].vertices;
  const auto& side = f.gl.blocks(GL_POINTS)[1].vertices;
  ASSERT_EQ(mid.size(), 12u);
  ASSERT_EQ(side.size(), 12u);
  EXPECT_EQ(mid[2], (Vertex{177 / 256.0f, 2 / 256.0f, 0, kTrace}));
  EXPECT_EQ(side[0], (Vertex{101 / 256.0f, 0, 0, kSide}));
  EXPECT_EQ(side[2], (Vertex{51 / 256.0f, 2 / 256.0f, 0, kSide}));
  EXPECT_EQ(f.gl.blocks(GL_QUADS)[1].vertices[2], (Vertex{101 / 256.0f, 16 / 256.0f, 0, kSide}));
  // 203 div 2 = 101; -3 div 2 = -1, so 127.
  EXPECT_EQ(f.gl.blocks(GL_LINES)[1].vertices[0].x, 101 / 256.0f);
  EXPECT_EQ(f.gl.blocks(GL_LINES)[2].vertices,
            (std::vector<Vertex>{{127 / 256.0f, -0.125f, 0, kSide}, {127 / 256.0f, 0, 0, kSide}}));
  f.gl.clear();
  f.model->scope.scopeMean[0] = 103.5f;  // 203.5 and -3.5 round to 204 and -4
  drawMidScope(f.input(), 1, f.model->scope);
  drawSideScope(f.input(), f.model->scope);
  EXPECT_EQ(f.gl.blocks(GL_LINES)[1].vertices[0].x, 102 / 256.0f);
  EXPECT_EQ(f.gl.blocks(GL_LINES)[2].vertices[0].x, 126 / 256.0f);
}

}  // namespace
}  // namespace bandscope
