// A whole frame rendered by the system's GL from known samples: a spectrum bar shows up
// where the camera and projection put it, in its value colour.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "display/frame.h"
#include "display/gl_font.h"
#include "display/window_text.h"
#include "support/gl_window.h"

namespace bandscope {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Where a point of the camera frame lands on the panel with the start-up camera.
std::array<int, 2> project(float x, float y, float z) {
  const double f = 1.0 / std::tan(45.0 / 2 * std::numbers::pi / 180);
  const double aspect = static_cast<double>(kWidth) / kHeight;
  const double ye = y - 1.0;  // camera pan: the scene 1 unit down
  const double ze = z - 4.9;  // and 4.9 units away
  const double xn = f / aspect * x / -ze;
  const double yn = f * ye / -ze;
  return {static_cast<int>(std::floor((xn + 1) / 2 * kWidth)),
          static_cast<int>(std::floor((yn + 1) / 2 * kHeight))};
}

TEST(FrameRender, ASpectrumBarStandsWhereTheGeometryPutsItInItsValueColour) {
  test::GlWindow window{kWidth, kHeight};
  ASSERT_TRUE(window.ready());
  const GlTable& gl = window.gl;
  auto model = std::make_unique<FrameModel>();
  initFrameModel(*model, 192);
  auto samples = std::make_unique<SampleBuffer>();
  samples->setLayout(model->settings.bufferLength, model->settings.timeScale);
  // Four cycles per window on the left: band 2, whose bar is wide at the low end.
  std::vector<uint8_t> left(768), right(768, 128);
  for (int j = 0; j < 768; ++j) {
    left[static_cast<size_t>(j)] =
        static_cast<uint8_t>(128 + std::lround(120 * std::sin(2 * std::numbers::pi * 4 * j / 768)));
  }
  samples->append(left.data(), right.data(), 768);  // thinned by 2: one whole window

  ASSERT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "after start-up";
  gl.glViewport(0, 0, kWidth, kHeight);
  gl.glMatrixMode(GL_PROJECTION);
  gl.glLoadIdentity();
  gl.gluPerspective(45.0, static_cast<double>(kWidth) / kHeight, 0.1, 100.0);
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl.glLoadIdentity();
  gl.glPushMatrix();
  gl.glTranslatef(0, -1.0f, -4.9f);
  FrameOptions options;
  options.dB_check = false;  // keep the grid off the bar
  ASSERT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  frameRoutine(gl, options, *model, *samples, window.surface.fontListBase, 0);
  gl.glPopMatrix();
  ASSERT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  const test::Pixels pixels = window.readBack();

  const int k = 2;
  const int level = model->spectrum.bandLevel[0][k];
  ASSERT_GT(level, 300) << "the sine's band stands tall";
  const int32_t offset = -496;
  const float xMid =
      static_cast<float>(model->bandX.bandX[k] + model->bandX.bandX[k + 1] - 1 + 2 * offset) /
      400.0f;
  const float yQuarter = (level / 4.0f) / 256.0f - 1.0f;
  const auto [px, py] = project(xMid, yQuarter, 0);
  ASSERT_GE(px, 0);
  ASSERT_LT(py, kHeight);
  const Rgb c = valueColour(model->spectrum.bandFast[0][k], true, model->palette, 192);
  const auto& got = pixels[static_cast<size_t>(py * kWidth + px)];
  EXPECT_NEAR(got[0], c.red * 255, 1.5);
  EXPECT_NEAR(got[1], c.green * 255, 1.5);
  EXPECT_NEAR(got[2], c.blue * 255, 1.5);
  // Just below the bar's foot (level 0 lies at y = -1) the bar is absent.
  const auto [qx, qy] = project(xMid, -1.02f, 0);
  const auto& below = pixels[static_cast<size_t>(qy * kWidth + qx)];
  EXPECT_FALSE(std::abs(below[0] - c.red * 255) < 2 && std::abs(below[1] - c.green * 255) < 2 &&
               std::abs(below[2] - c.blue * 255) < 2);
}

// The sonogram as immediate mode drew it, one call per vertex, row by row at absolute depths.
void drawImmediateSonogram(const GlTable& gl, const FrameOptions& o, const FrameModel& m) {
  const int rows = m.settings.sonoSteps;
  const float q = static_cast<float>(std::max(1, rows / 4));
  gl.glPushMatrix();
  gl.glTranslatef(-2.55f, 1.9f, -7.0f);
  gl.glRotatef(-15.0f, 1.0f, 0.0f, 0.0f);
  gl.glRotatef(45.0f, 1.0f, 0.0f, 0.0f);
  for (int t = 1; t < rows; ++t) {
    const float z1 = static_cast<float>(t) / q;
    const float z0 = z1 - 1.0f / q;
    gl.glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < m.settings.bandCount; ++i) {
      const float x = static_cast<float>(m.bandX.bandX[i]) / 100.0f;
      for (const auto& [row, z] : {std::pair{t - 1, z0}, std::pair{t, z1}}) {
        const auto v = static_cast<uint16_t>(m.spectrum.sonoHistory[row][i]);
        const Rgb c = valueColour(v, o.col_check, m.palette, m.settings.bandCount);
        gl.glColor3f(c.red, c.green, c.blue);
        gl.glVertex3f(x, static_cast<float>(v) / 512.0f, z);
      }
    }
    gl.glEnd();
  }
  gl.glPopMatrix();
}

void startFrame(const GlTable& gl) {
  gl.glViewport(0, 0, kWidth, kHeight);
  gl.glMatrixMode(GL_PROJECTION);
  gl.glLoadIdentity();
  gl.gluPerspective(45.0, static_cast<double>(kWidth) / kHeight, 0.1, 100.0);
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl.glLoadIdentity();
  gl.glTranslatef(0, -1.0f, -4.9f);
}

// Strips built a step at a time over many frames and replayed from vertex arrays give the
// picture that immediate mode gives from the same model, to within one step of one colour
// channel on a tenth of a percent of the pixels.
TEST(FrameRender, BuiltStripsGiveTheImmediateModePicture) {
  test::GlWindow window{kWidth, kHeight};
  ASSERT_TRUE(window.ready());
  const GlTable& gl = window.gl;
  auto model = std::make_unique<FrameModel>();
  initFrameModel(*model, 192);
  auto samples = std::make_unique<SampleBuffer>();
  samples->setLayout(model->settings.bufferLength, model->settings.timeScale);
  FrameOptions options;
  options.dB_check = false;  // text is not what differs
  std::vector<uint8_t> left(256), right(256);
  for (int frame = 0; frame < 90; ++frame) {
    for (int j = 0; j < 256; ++j) {
      const double t = (frame * 256 + j) / 768.0;
      left[size_t(j)] =
          uint8_t(128 + std::lround(100 * std::sin(2 * std::numbers::pi * (3 + frame % 7) * t)));
      right[size_t(j)] = uint8_t(128 + std::lround(60 * std::sin(2 * std::numbers::pi * 11 * t)));
    }
    samples->append(left.data(), right.data(), 256);
    startFrame(gl);
    frameRoutine(gl, options, *model, *samples, window.surface.fontListBase, 0, '.', frame % 3);
  }
  const test::Pixels arrays = window.readBack();

  startFrame(gl);
  drawImmediateSonogram(gl, options, *model);
  FrameOptions rest = options;
  rest.sono_check = false;
  drawScene(gl, rest, *model, window.surface.fontListBase, 0);
  ASSERT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  const test::Pixels reference = window.readBack();

  ASSERT_EQ(arrays.size(), reference.size());
  size_t differing = 0;
  int largest = 0;
  for (size_t p = 0; p < arrays.size(); ++p) {
    int d = 0;
    for (size_t ch = 0; ch < 3; ++ch) d = std::max(d, std::abs(arrays[p][ch] - reference[p][ch]));
    differing += d > 0 ? 1 : 0;
    largest = std::max(largest, d);
  }
  RecordProperty("differing_pixels", static_cast<int>(differing));
  RecordProperty("largest_difference", largest);
  std::printf("built strips against immediate mode: %zu of %zu pixels differ, by at most %d\n",
              differing, arrays.size(), largest);
  EXPECT_LE(largest, 1);
  EXPECT_LE(differing, arrays.size() / 1000);
}

// Text in window pixels drawn as quads over its glyphs' ink gives the pixels its bitmaps give:
// every printable code, lines apart (drawn a colour at a time) and lines that overlap (drawn
// in turn), a line at the picture's edges, in several colours.
TEST(FrameRender, TextAsInkQuadsGivesTheBitmapsPixels) {
  test::GlWindow window{kWidth, kHeight};
  ASSERT_TRUE(window.ready());
  const GlTable& gl = window.gl;
  const TextMetrics& inked = window.surface.textMetrics;
  ASSERT_FALSE(inked.ink.empty());
  TextMetrics bitmaps = inked;
  bitmaps.ink.clear();
  std::string codes;
  for (int c = 32; c < 256; ++c) codes += static_cast<char>(c);
  const std::string_view all(codes);
  const WindowTextLine lines[] = {{0, 12, all.substr(0, 60), {1, 1, 1}},
                                  {2, 40, all.substr(60, 60), {0.5f, 1, 0.25f}},
                                  {4, 68, all.substr(120, 60), {1, 0.75f, 0}},
                                  {6, 96, all.substr(180), {0, 1, 1}},
                                  {kWidth - 30, kHeight, "at the edge", {1, 1, 1}},
                                  {9, 130, "-60 dBFS overlapped", {1, 1, 1}},
                                  {13, 134, "by 1.25k Hz", {1, 0, 0}}};
  const auto draw = [&](const TextMetrics& metrics) {
    gl.glClearColor(0.1f, 0.2f, 0.3f, 0);
    gl.glClear(GL_COLOR_BUFFER_BIT);
    const std::span shown(lines);
    drawWindowText(gl, window.surface.fontListBase, kWidth, kHeight, shown.first(5), &metrics);
    drawWindowText(gl, window.surface.fontListBase, kWidth, kHeight, shown.last(2), &metrics);
    EXPECT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return window.readBack();
  };
  const test::Pixels fromBitmaps = draw(bitmaps);
  const test::Pixels fromInk = draw(inked);
  size_t differing = 0, lit = 0;
  for (size_t p = 0; p < fromInk.size(); ++p) {
    differing += fromInk[p] != fromBitmaps[p] ? 1 : 0;
    lit += fromBitmaps[p][0] > 200 ? 1 : 0;
  }
  EXPECT_GT(lit, 1000u) << "text was drawn";
  EXPECT_EQ(differing, 0u);
}

}  // namespace
}  // namespace bandscope
