#include "display/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "app/frame_view.h"
#include "display/gl_font.h"
#include "display/scene_colours.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::SceneFixture;

struct Translation {
  float x, y, z;
  bool operator==(const Translation&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Translation& t) {
  return out << "(" << t.x << ", " << t.y << ", " << t.z << ")";
}

class Frame : public ::testing::Test {
 protected:
  // One frame inside a camera matrix, as the frame tick calls it.
  void draw() {
    f.gl.clear();
    f.gl.table().glPushMatrix();
    frameRoutine(f.gl.table(), f.options, *f.model, *buffer, SceneFixture::kFontListBase, 0);
    EXPECT_EQ(f.gl.modelViewDepth(), 1) << "the frame leaves the camera matrix as it found it";
    EXPECT_FALSE(f.gl.openPrimitive().has_value());
    f.gl.table().glPopMatrix();
  }
  // Where the elements are placed; the sonogram's strips, moved only in depth, left out.
  std::vector<Translation> translations() const {
    std::vector<Translation> out;
    for (const auto& c : f.gl.calls("glTranslatef")) {
      if (c.args[0] == 0 && c.args[1] == 0) continue;
      out.push_back({static_cast<float>(c.args[0]), static_cast<float>(c.args[1]),
                     static_cast<float>(c.args[2])});
    }
    return out;
  }
  void appendBlock(uint8_t left, uint8_t right) {
    std::vector<uint8_t> l(512, left), r(512, right);
    for (int j = 0; j < 512; j += 2) l[static_cast<size_t>(j)] = 128;  // some signal
    buffer->append(l.data(), r.data(), 512);
  }

  SceneFixture f;
  std::unique_ptr<SampleBuffer> buffer = std::make_unique<SampleBuffer>();
};

// Each translated element has its own place, so the translations spell out the order.
const Translation kSonogram{-2.55f, 1.9f, -7.0f};
const Translation kScope0{-3.5f, 1, -5}, kScope1{3.5f, 1, -5};
const Translation kMidAndSide{-0.5f, 2.25f, -5};
const Translation kVector{-2.75f, 2.75f, -3}, kSpread{-1.5f, 4, -5};
const Translation kLoudness0{-2, 0.45f, -0.25f}, kDeviation0{-2.1f, 0.45f, -0.25f};
const Translation kLoudness1{2, 0.45f, -0.25f}, kDeviation1{2.1f, 0.45f, -0.25f};
const Translation kBalance{0, 4, -5}, kButterfly{4, 2.1f, -5};

TEST_F(Frame, StereoDrawsEveryElementInOrder) {
  draw();
  EXPECT_EQ(translations(),
            (std::vector<Translation>{kSonogram, kScope0, kLoudness0, kDeviation0, kScope1,
                                      kMidAndSide, kMidAndSide, kVector, kSpread, kLoudness1,
                                      kDeviation1, kBalance, kButterfly}));
  EXPECT_GT(f.gl.count("glCallLists"), 0u) << "frequency labels";
}

TEST_F(Frame, MonoDrawsChannelZeroAndTheMidViewOnly) {
  f.options.StereoCheckBox = false;
  draw();
  EXPECT_EQ(translations(),
            (std::vector<Translation>{kSonogram, kScope0, kMidAndSide, kLoudness0, kDeviation0}));
}

TEST_F(Frame, WithEveryOptionOffTheCoreViewsRemain) {
  f.options.sono_check = f.options.dB_check = f.options.Hz_check = false;
  f.options.stereoSpreadCheckBox = false;
  draw();
  EXPECT_EQ(translations(),
            (std::vector<Translation>{kScope0, kLoudness0, kDeviation0, kScope1, kMidAndSide,
                                      kMidAndSide, kVector, kLoudness1, kDeviation1, kBalance}));
  EXPECT_EQ(f.gl.count("glCallLists"), 0u);
  EXPECT_EQ(f.gl.blocks(GL_QUAD_STRIP).size(), 0u);
}

TEST_F(Frame, PeakLabelsReplaceThePeakMarkers) {
  f.options.dB_check = false;
  std::vector<uint8_t> tone(512);  // 2 kHz: one peak to name
  for (size_t j = 0; j < tone.size(); ++j)
    tone[j] = static_cast<uint8_t>(
        128 +
        std::lround(100 * std::sin(static_cast<double>(j) * 2 * std::numbers::pi * 2000 / 44100)));
  for (int block = 0; block < 4; ++block) buffer->append(tone.data(), tone.data(), 512);
  draw();  // every band sets its peak in the first frame: markers for all but the last band
  const size_t quadsWithMarkers = f.gl.blocks(GL_QUADS).size();
  f.options.Hz_check = true;
  draw();
  EXPECT_GT(f.gl.count("glCallLists"), 0u);
  EXPECT_EQ(f.gl.blocks(GL_QUADS).size(), quadsWithMarkers - 2) << "one marker block a channel";
}

// With the view known, the spectra are captioned and, with dB on, the level lines labelled,
// last, so that no bar covers them.
TEST_F(Frame, CaptionsAndLevelLabelsNameTheSpectra) {
  TextMetrics font;
  font.height = 11;
  const ViewTransform view = sceneTransform(FrameView{441, 350, Camera{}});
  const struct {
    bool stereo, dB, withView;
    std::vector<std::string> captions;
  } rows[] = {{true, true, true, {"L", "R"}},
              {false, true, true, {"mono"}},
              {true, false, true, {"L", "R"}},
              {true, true, false, {}}};
  for (const auto& r : rows) {
    f.options.StereoCheckBox = r.stereo, f.options.dB_check = r.dB;
    f.gl.clear();
    drawScene(f.gl.table(), f.options, *f.model, SceneFixture::kFontListBase, 0, '.', &font,
              r.withView ? &view : nullptr);
    std::vector<std::string> captions;
    for (const auto& t : f.textsIn(kCaptionColour)) captions.push_back(t.text);
    EXPECT_EQ(captions, r.captions);
    const size_t labels = f.textsIn(kLevelLabelColour).size();
    EXPECT_EQ(labels > 0, r.dB && r.withView) << labels;
    const auto& calls = f.gl.record();
    const auto named = [](const char* name) {
      return [name](const test::GlCall& c) { return c.name == name; };
    };
    const auto lastVertex = std::find_if(calls.rbegin(), calls.rend(), [&](const test::GlCall& c) {
      return named("glVertex3f")(c) || named("glDrawArrays")(c);
    });
    EXPECT_EQ(std::count_if(lastVertex.base(), calls.end(), named("glCallLists")),
              2 * static_cast<long>(labels + captions.size()))
        << "drawn last, with their shadows";
  }
}

TEST_F(Frame, TakesOneSnapshotOfTheSampleBuffer) {
  appendBlock(200, 40);
  draw();
  auto rows = std::make_unique<SampleRows>();
  buffer->snapshot(*rows);
  EXPECT_EQ(std::memcmp(&f.model->snapshot, rows.get(), sizeof *rows), 0);
  EXPECT_NE(f.model->snapshot.sampleBuffer[1][383], 128) << "the block reached the rows";
}

// The analysis runs before the drawing, so the surface ends with this frame's row.
TEST_F(Frame, SonogramEndsWithThisFramesRowInMonoAndStereo) {
  for (const bool stereo : {false, true}) {
    f.setBands(192);
    buffer = std::make_unique<SampleBuffer>();
    f.options.StereoCheckBox = stereo;
    draw();  // silence: every level 11
    const float silent = 11.0f / 512;
    EXPECT_EQ(f.gl.blocks(GL_QUAD_STRIP).back().vertices[1].y, silent);
    appendBlock(255, 255);
    draw();
    EXPECT_GT(f.gl.blocks(GL_QUAD_STRIP).back().vertices[1].y, silent) << stereo;
  }
}

TEST_F(Frame, BalancedAtEveryBandCountAndSonogramLength) {
  for (const uint16_t bands : {8, 192, 512}) {
    for (const uint16_t rows : {2, 3, 4, 64, 512}) {
      f.setBands(bands);
      f.model->settings.sonoSteps = rows;
      buffer->setLayout(f.model->settings.bufferLength, f.model->settings.timeScale);
      appendBlock(250, 3);
      draw();
      for (const auto& strip : f.gl.blocks(GL_QUAD_STRIP)) {
        for (const auto& v : strip.vertices) ASSERT_TRUE(std::isfinite(v.z)) << rows;
      }
    }
  }
}

// The band-count scroll bar changes the settings in place, without a new model.
TEST_F(Frame, GreysFollowABandCountChangedInPlace) {
  f.options.col_check = false;
  for (const uint16_t bands : {192, 9, 512}) {
    BandSettings& s = f.model->settings;
    s.bandCount = bands;
    deriveBandSettings(s);
    fillBandX(f.model->bandX, bands);
    s.tablesBuilt = false;
    buffer->setLayout(s.bufferLength, s.timeScale);
    appendBlock(250, 3);
    draw();
    EXPECT_EQ(f.model->palette.greyBandCount, bands) << "the ramp is rebuilt, not bypassed";
    for (const auto& strip : f.gl.blocks(GL_QUAD_STRIP)) {
      for (const auto& v : strip.vertices) {
        ASSERT_EQ(v.colour, f.valueColourOf(static_cast<int32_t>(v.y * 512))) << bands;
      }
    }
  }
}

}  // namespace
}  // namespace bandscope
