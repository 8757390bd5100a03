#include "display/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/average_curves.h"
#include "display/balance_bar.h"
#include "display/butterfly_spectrum.h"
#include "display/channel_scope.h"
#include "display/frequency_grid.h"
#include "display/gl_font.h"
#include "display/level_lines.h"
#include "display/meter_bars.h"
#include "display/mid_scope.h"
#include "display/peak_curve.h"
#include "display/peak_markers.h"
#include "display/placed_blocks.h"
#include "display/scene_colours.h"
#include "display/side_scope.h"
#include "display/sonogram.h"
#include "display/spectrum_bars.h"
#include "display/spread_histogram.h"
#include "display/vector_scope.h"
#include "gl/frame_view.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::SceneFixture;

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
  // Where the frame's blocks land in the window at the start view.
  std::vector<test::PlacedBlock> placed() const {
    return test::placedBlocks(f.gl, sceneTransform(FrameView{441, 350, Camera{}}));
  }
  void appendBlock(uint8_t left, uint8_t right) {
    std::vector<uint8_t> l(512, left), r(512, right);
    for (int j = 0; j < 512; j += 2) l[static_cast<size_t>(j)] = 128;  // some signal
    buffer->append(l.data(), r.data(), 512);
  }

  SceneFixture f;
  std::unique_ptr<SampleBuffer> buffer = std::make_unique<SampleBuffer>();
};

// The scene's elements, each drawn alone as the frame draws it: c is the channel of a
// channel's own element (named with L or R, drawn on that side of the picture's middle), the
// last channel for the others.
using In = const SceneInput&;
using Model = const FrameModel&;
struct Element {
  const char* name;
  void (*draw)(In in, Model m, int c);
  bool perChannel;
};
const Element kElements[] = {
    {"sonogram", [](In in, Model, int) { drawSonogram(in); }, false},
    {"scope", [](In in, Model m, int c) { drawChannelScope(in, c, m.scope); }, true},
    {"mid scope", [](In in, Model m, int c) { drawMidScope(in, c, m.scope); }, false},
    {"side scope", [](In in, Model m, int) { drawSideScope(in, m.scope); }, false},
    {"vector scope", [](In in, Model, int) { drawVectorScope(in); }, false},
    {"spread", [](In in, Model m, int) { drawSpreadHistogram(in, m.spread); }, false},
    {"meters", [](In in, Model, int c) { drawMeterBars(in, c); }, true},
    {"balance", [](In in, Model, int) { drawBalanceBar(in); }, false},
    {"butterfly", [](In in, Model, int) { drawButterflySpectrum(in); }, false},
    {"bars", [](In in, Model, int c) { drawSpectrumBars(in, c); }, true},
    {"peaks", [](In in, Model, int c) { drawPeakCurve(in, c); }, true},
    {"averages", [](In in, Model, int c) { drawAverageCurves(in, c); }, true},
    {"markers", [](In in, Model, int c) { drawPeakMarkers(in, c); }, true},
    {"level lines", [](In in, Model, int) { drawLevelLines(in); }, false},
    {"grid", [](In in, Model, int c) { drawFrequencyGrid(in, c); }, true},
};

// The options choose what the frame shows: each element is in the picture, where it lies when
// drawn alone, exactly when its row names it; a shown element lies wholly in the picture, in
// front of the eye, a channel's own on its side of the middle.
TEST_F(Frame, OptionsChooseTheElementsShownEachInThePictureOnItsSide) {
  const struct {
    bool stereo, sono, dB, Hz, spread;
    std::string shown;
  } rows[] = {
      {true, true, true, false, true,
       "sonogram|scope L|scope R|mid scope|side scope|vector scope|spread|meters L|meters R|"
       "balance|butterfly|bars L|bars R|peaks L|peaks R|averages L|averages R|markers L|"
       "markers R|level lines|grid L|grid R|"},
      {false, true, true, false, true,
       "sonogram|scope L|mid scope|meters L|bars L|peaks L|averages L|markers L|level lines|"
       "grid L|"},
      {true, false, false, true, false,
       "scope L|scope R|mid scope|side scope|vector scope|meters L|meters R|balance|bars L|"
       "bars R|peaks L|peaks R|averages L|averages R|"},
      {true, false, false, false, false,
       "scope L|scope R|mid scope|side scope|vector scope|meters L|meters R|balance|bars L|"
       "bars R|peaks L|peaks R|averages L|averages R|markers L|markers R|"},
  };
  for (const auto& r : rows) {
    f.options.StereoCheckBox = r.stereo, f.options.sono_check = r.sono;
    f.options.dB_check = r.dB, f.options.Hz_check = r.Hz;
    f.options.stereoSpreadCheckBox = r.spread;
    appendBlock(250, 3);
    // The scopes' mean ticks come down from far above the picture over the first frames.
    for (int k = 0; k < 40; ++k) draw();
    const std::vector<test::PlacedBlock> frame = placed();
    // Frequency labels with the scales, peak labels with Hz; no text with neither.
    EXPECT_EQ(f.gl.count("glCallLists") > 0, r.dB || r.Hz);
    std::string shown;
    for (const Element& e : kElements) {
      for (int c = e.perChannel ? 0 : 1; c < 2; ++c) {
        const std::string name = std::string(e.name) + (e.perChannel ? c ? " R" : " L" : "");
        SCOPED_TRACE(name);
        f.gl.clear();
        e.draw(f.input(), *f.model, e.perChannel || r.stereo ? c : 0);
        const std::vector<test::PlacedBlock> alone = placed();
        ASSERT_FALSE(alone.empty());
        const bool inFrame = std::all_of(alone.begin(), alone.end(), [&](const auto& b) {
          return std::any_of(frame.begin(), frame.end(),
                             [&](const auto& g) { return test::samePlaces(b, g); });
        });
        if (!inFrame) continue;
        shown += name + "|";
        const test::WindowBox box = test::boxOf(alone);
        EXPECT_TRUE(box.left >= 0 && box.right <= 441 && box.bottom >= 0 && box.top <= 350)
            << box.left << ".." << box.right << " x " << box.bottom << ".." << box.top;
        if (e.perChannel) {
          EXPECT_TRUE(c == 0 ? box.right < 220.5 : box.left > 220.5)
              << box.left << ".." << box.right;
        }
        for (const auto& b : alone) {
          for (const WindowPoint& p : b.points) ASSERT_TRUE(p.inFront);
        }
      }
    }
    EXPECT_EQ(shown, r.shown) << "stereo " << r.stereo << " sonogram " << r.sono;
  }
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
