#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "display/frequency_grid.h"
#include "display/gl_font.h"
#include "display/level_lines.h"
#include "display/peak_labels.h"
#include "display/placed_blocks.h"
#include "display/pointer_readout.h"
#include "display/scene_colours.h"
#include "display/spectrum_bars.h"
#include "display/spectrum_plane.h"
#include "gl/frame_view.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

using test::Colour;
using test::GlCall;
using test::SceneFixture;
using test::Vertex;

// The colour the help's legend shows an element in.
Colour legend(const SceneColour& c) {
  return {c[0], c[1], c[2]};
}
const Colour kLineGrey = legend(kGridColour);

std::vector<std::string> texts(const SceneFixture& f) {
  std::vector<std::string> out;
  for (const GlCall& c : f.gl.calls("glCallLists")) out.push_back(c.bytes);
  return out;
}

// A line at each mark of the axis (where a sine of the mark's level reaches, below), across
// both spectra's bars and behind them, so that a bar reaching a line covers it.
TEST(LevelLines, EachMarkALineAcrossBothSpectraBehindTheBars) {
  for (const uint8_t bits : {8, 16}) {
    SceneFixture f;
    f.model->settings.sampleBits = bits;
    drawSpectrumBars(f.input(), 0);
    drawSpectrumBars(f.input(), 1);
    drawLevelLines(f.input());
    const auto placed = test::placedBlocks(f.gl, sceneTransform(FrameView{441, 350, Camera{}}));
    ASSERT_EQ(placed.size(), 3u);
    const test::WindowBox bars = test::boxOf({placed[0], placed[1]});
    const auto& v = f.gl.blocks(GL_LINES).at(0).vertices;
    const auto& p = placed[2].points;
    const LevelMarks marks = levelMarks(f.model->settings);
    ASSERT_EQ(v.size(), 2u * size_t(marks.count));
    for (size_t j = 0; j < v.size(); j += 2) {
      EXPECT_TRUE(v[j].y == marks.mark[j / 2].y && v[j + 1].y == v[j].y) << bits << " " << j;
      EXPECT_TRUE(p[j].x <= bars.left && p[j + 1].x >= bars.right) << bits << " " << j;
      EXPECT_LT(std::max(v[j].z, v[j + 1].z), f.gl.blocks(GL_QUADS)[0].vertices[0].z);
      EXPECT_EQ(v[j].colour, kLineGrey);
    }
  }
}

// A sine on a band's centre at the dBFS a line is labelled with raises its bar to that line:
// the labels read the bars.
TEST(LevelAxis, ASineAtALinesValueReachesIt) {
  const int rows[][3] = {{8, 90, 4},  {8, 90, 9},  {8, 90, -1}, {16, 60, -1},
                         {16, 90, 1}, {16, 90, 5}, {16, 120, 4}};  // bits, floor, line (-1: top)
  for (const auto& [bits, rangeDb, index] : rows) {
    SceneFixture f;
    f.options.boostHi_check = false;
    BandSettings& s = f.model->settings;
    s.sampleBits = static_cast<uint8_t>(bits), s.rangeDb = static_cast<int16_t>(rangeDb);
    const LevelMarks marks = levelMarks(s);
    ASSERT_EQ(marks.count, bits == 16 ? rangeDb / 10 + 1 : 17);
    const LevelMark line = marks.mark[static_cast<size_t>((index + marks.count) % marks.count)];
    const double full = bits == 16 ? 32768 : 128;
    const double amplitude = std::min(full - 1, full * std::pow(10, line.dbfs / 20));
    for (int j = 0; j < s.bufferLength; ++j) {  // 20 cycles a window: band 18's centre
      const long v = std::lround(amplitude * std::sin(2 * std::numbers::pi * 20 * j / 384));
      for (int c = 0; c < 2; ++c) {
        f.model->snapshot.sampleBuffer16[c][j] = static_cast<int16_t>(v);
        f.model->snapshot.sampleBuffer[c][j] = static_cast<uint8_t>(128 + v);
      }
    }
    analysisStep(f.options, *f.model);
    // Half a dB: 6 levels of the 8-bit axis there, 2.5 of the 16-bit one.
    EXPECT_NEAR(f.model->spectrum.bandLevel[0][18] / 256.0 - 1, line.y,
                (bits == 16 ? 1.5 : 6) / 256.0)
        << bits << "-bit, " << line.dbfs << " dBFS";
  }
}

// A column at each spectrum's left edge, every label sitting on its line and naming its
// dBFS; going up, a line closer than a text height to the last label drawn goes bare.
TEST(LevelLabels, AColumnAtEachSpectrumEachLabelOnItsLine) {
  TextMetrics font;
  font.height = 11;
  const int rows[][3] = {{16, 441, 350}, {8, 441, 350}, {8, 1280, 1000}};  // bits, picture
  for (const auto& [bits, width, height] : rows) {
    SceneFixture f;
    f.model->settings.sampleBits = static_cast<uint8_t>(bits);
    const ViewTransform view = sceneTransform(FrameView{width, height, Camera{}});
    f.view = &view, f.textMetrics = &font;
    drawLevelLabels(f.input(), 1);
    const auto drawn = f.textsIn(kLevelLabelColour, width, height);
    const LevelMarks marks = levelMarks(f.model->settings);
    size_t next = 0;
    std::vector<std::string> left;
    for (int c = 0; c < 2; ++c) {
      const double edge = (f.model->bandX.bandX[0] + channelAxisOffset(c)) / 200.0;
      double lastY = 1e9;
      for (int j = 0; j < marks.count; ++j) {
        const WindowPoint p = view.project(edge, marks.mark[j].y, -0.1);
        const double lineY = height - p.y;
        if (next == drawn.size() || std::abs(drawn[next].y - lineY) > 3) {
          EXPECT_LT(lastY - lineY, font.height) << bits << "-bit line " << j << " left bare";
          continue;
        }
        const auto& l = drawn[next++];
        EXPECT_TRUE(l.y < lineY && lastY - lineY >= font.height && std::abs(l.x - p.x) <= 3)
            << l.text << " at " << l.x << ", " << l.y;
        EXPECT_EQ(l.text, std::to_string(std::lround(marks.mark[j].dbfs)));
        if (c == 0) left.push_back(l.text);
        lastY = lineY;
      }
    }
    EXPECT_EQ(next, drawn.size()) << "no label off the columns";
    if (bits == 16) {
      EXPECT_EQ(left, (std::vector<std::string>{"-90", "-80", "-70", "-60", "-50", "-40", "-30",
                                                "-20", "-10", "0"}));
    } else {
      EXPECT_EQ(left.at(0), "-39") << "magnitude 0's line at 192 bands";
    }
  }
}

struct GridCase {
  int32_t timeScale;
  int step;
  std::vector<std::string> firstLabels;
  std::string lastLabel;
};
class FrequencyGrid : public testing::TestWithParam<GridCase> {};

// Upright lines, left to right, behind the bars (a bar at the frequency covers its line), each
// labelled at its top, every other label a row lower so that neighbours keep apart.
TEST_P(FrequencyGrid, LineAndLabelAtEveryStepUpToTheTopBand) {
  const GridCase& c = GetParam();
  SceneFixture f;
  f.model->settings.timeScale = c.timeScale;
  const size_t lines = static_cast<size_t>(bandToHz(191, f.model->settings) / c.step);
  for (int channel = 0; channel < 2; ++channel) {
    f.gl.clear();
    drawSpectrumBars(f.input(), channel);
    drawFrequencyGrid(f.input(), channel);
    const auto& v = f.gl.blocks(GL_LINES).at(0).vertices;
    const float barZ = f.gl.blocks(GL_QUADS).at(0).vertices.at(0).z;
    const std::vector<GlCall> pos = f.gl.calls("glRasterPos2f");
    ASSERT_EQ(v.size(), 2 * lines);
    ASSERT_EQ(pos.size(), lines);
    EXPECT_EQ(f.gl.count("glPushAttrib"), 1u);
    for (size_t i = 0; i < lines; ++i) {
      EXPECT_EQ(v[2 * i].x, v[2 * i + 1].x);
      EXPECT_EQ(v[2 * i].colour, kLineGrey);
      EXPECT_TRUE(v[2 * i].z < barZ && v[2 * i + 1].z < barZ) << i;
      if (i > 0) {
        EXPECT_GT(v[2 * i].x, v[2 * i - 2].x);
      }
      EXPECT_EQ(pos[i].args[0], v[2 * i].x);
      EXPECT_LE(pos[i].args[1], std::max(v[2 * i].y, v[2 * i + 1].y));
      EXPECT_EQ(pos[i].args[1], pos[i % 2].args[1]);
      EXPECT_EQ(pos[i].colour, legend(kFrequencyLabelColour));
    }
    EXPECT_NE(pos[0].args[1], pos[1].args[1]);
    const std::vector<std::string> t = texts(f);
    EXPECT_TRUE(std::equal(c.firstLabels.begin(), c.firstLabels.end(), t.begin()));
    EXPECT_EQ(t.back(), c.lastLabel);
  }
}

INSTANTIATE_TEST_SUITE_P(TimeScales, FrequencyGrid,
                         testing::Values(GridCase{1, 1000, {"1k", "2k"}, "22k"},
                                         GridCase{2, 500, {"500", "1k", "1.5k"}, "11k"},
                                         GridCase{8, 125, {"125", "250"}, "2.8k"},
                                         GridCase{128, 7, {"7", "14", "21"}, "168"}),
                         // A name of its own: the default prints the cases' bytes, heap
                         // addresses among them, so ctest's name would match no later run.
                         [](const testing::TestParamInfo<GridCase>& grid) {
                           return "TimeScale" + std::to_string(grid.param.timeScale);
                         });

TEST(FrequencyGridPlacement, AToneBarStandsOnItsFrequencysLine) {
  for (const int32_t timeScale : {1, 2}) {
    for (const int hz : {100, 1000, 5000}) {
      SceneFixture f;
      f.model->settings.timeScale = timeScale;
      f.analyseTone(hz);
      for (int channel = 0; channel < 2; ++channel) {
        const int16_t* level = f.model->spectrum.bandLevel[channel];
        const auto loudest = std::max_element(level, level + f.model->settings.bandCount - 1);
        const BandSpan span =
            bandSpan(f.model->bandX, static_cast<int>(loudest - level), channelAxisOffset(channel));
        f.gl.clear();
        drawFrequencyGrid(f.input(), channel);
        // 100 Hz is no multiple of the step: its line is where the grid would draw it.
        const int step = 1000 / timeScale;
        const float x = hz % step ? frequencyLineX(f.input(), hz, channel)
                                  : f.gl.blocks(GL_LINES)[0].vertices[2 * (hz / step - 1)].x;
        EXPECT_TRUE(x >= span.x0 / 200.0f && x <= span.x1 / 200.0f) << hz << " Hz " << timeScale;
      }
    }
  }
}

// The pointer over a tone's bar names that bar, in either channel and under a turned camera;
// off the columns it names none. The peak reads in dB below full scale, phon boost or not.
TEST(PointerReadout, TheBandUnderThePointerAndItsLevel) {
  for (const int hz : {100, 1000, 5000}) {
    SceneFixture f;
    f.options.boostHi_check = false;
    f.analyseTone(hz);
    const FrameModel& m = *f.model;
    const int16_t* level = m.spectrum.bandLevel[0];
    const int loudest =
        static_cast<int>(std::max_element(level, level + m.settings.bandCount - 1) - level);
    for (const Camera camera : {Camera{}, Camera{15, -30, 0.2f, 1.0f, 0.5f}}) {
      const ViewTransform view = sceneTransform(FrameView{441, 306 + 44, camera});
      const auto at = [&](double p, double v) { return view.project(p / 200, v / 256 - 1, 0); };
      for (int c = 0; c < 2; ++c) {
        const WindowPoint bar = at(bandCentre(m.bandX, loudest, channelAxisOffset(c)), 100);
        const auto pointed = bandUnderPointer(view, m, true, bar.x, bar.y);
        ASSERT_TRUE(pointed) << hz;
        EXPECT_EQ(pointed->channel, c);
        EXPECT_EQ(pointed->band, loudest) << hz << " Hz";
        EXPECT_EQ(bandUnderPointer(view, m, false, bar.x, bar.y).has_value(), c == 0) << "mono";
      }
      const WindowPoint above = at(bandCentre(m.bandX, loudest, channelAxisOffset(0)), 530);
      EXPECT_FALSE(bandUnderPointer(view, m, true, above.x, above.y));
      const WindowPoint between = at(-3, 100);  // between the two channels' spectra
      EXPECT_FALSE(bandUnderPointer(view, m, true, between.x, between.y));
    }
    // Amplitude 100 of 128: -2.1 dB, less what falls beside the band.
    const PeakReading peak = readPeak(m, {0, loudest}, false);
    EXPECT_EQ(peak.band, loudest);
    EXPECT_NEAR(peak.dbfs, -2.1 - 2, 2.1) << hz << " Hz";
    SceneFixture boosted;
    boosted.analyseTone(hz);
    EXPECT_NEAR(readPeak(*boosted.model, {0, loudest}, true).dbfs, peak.dbfs, 0.5) << hz << " Hz";
  }
}

struct DrawnLabel {
  double left, right;  // window pixels
  std::string text;
};

TEST(FrequencyLabels, DrawnLabelsKeepClearOfTheirRowNeighbours) {
  TextMetrics font;  // the advances of the program's font under the tests' Xvfb
  for (const char c : std::string("0123456789")) font.advance[static_cast<unsigned char>(c)] = 8;
  font.advance['k'] = 7, font.advance['.'] = font.advance[' '] = 4, font.height = 11;
  for (const uint16_t bands : {8, 192, 512}) {
    for (const int32_t scale : {1, 2, 128}) {
      for (const auto& [width, height] : {std::pair{441, 350}, std::pair{1280, 1000}}) {
        SCOPED_TRACE(testing::Message()
                     << bands << " bands, time scale " << scale << ", " << width << "x" << height);
        SceneFixture f(bands);
        f.model->settings.timeScale = scale;
        ViewTransform used;
        drawFrameView(f.gl.table(), FrameView{width, height, Camera{}},
                      [&](const ViewTransform& t) {
                        used = t;
                        drawScene(f.gl.table(), f.options, *f.model, 1, 0, '.', &font, &t);
                      });
        // The grid's labels by row as GL places them.
        std::map<double, std::vector<DrawnLabel>> rows;
        const GlCall* raster = nullptr;
        for (const GlCall& call : f.gl.record()) {
          if (call.name == "glRasterPos2f") raster = &call;
          if (call.name != "glCallLists" || !(raster->colour == legend(kFrequencyLabelColour)))
            continue;
          const double x = used.project(raster->args[0], raster->args[1], 0).x;
          rows[raster->args[1]].push_back({x, x + font.width(call.bytes), call.bytes});
        }
        ASSERT_EQ(rows.size(), 2u) << "labels on both rows";
        const std::string first = hzLabel(static_cast<float>(1000 / scale));
        EXPECT_EQ(std::count_if(rows[0.25f].begin(), rows[0.25f].end(),
                                [&](const DrawnLabel& l) { return l.text == first; }),
                  2)
            << "the first label in either channel";
        for (auto& [y, labels] : rows) {
          std::sort(labels.begin(), labels.end(),
                    [](const DrawnLabel& a, const DrawnLabel& b) { return a.left < b.left; });
          for (size_t i = 1; i < labels.size(); ++i) {
            EXPECT_GT(labels[i].left, labels[i - 1].right)
                << labels[i - 1].text << " runs into " << labels[i].text << " on row " << y;
          }
        }
      }
    }
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

// A label names where the peak lies between its band and the larger neighbour.
TEST(PeakLabels, LocalMaximaOfHeldPeaksNameTheirFrequency) {
  SceneFixture f;
  f.options.boostHi_check = false;
  const BandSettings& s = f.model->settings;
  int16_t* peak = heldPeaks(f, 1);
  peak[9] = 90, peak[10] = 120, peak[11] = 60;               // maximum at 10
  peak[60] = peak[61] = 50;                                  // plateau: between the two
  peak[100] = 200, f.model->spectrum.peakHold[1][100] = 80;  // held too long
  drawPeakLabels(f.input(), 1);
  const std::vector<std::string> t = texts(f);
  ASSERT_EQ(t.size(), 2u);
  const double hz = std::stod(t[0]);  // towards band 9, nearer 10
  EXPECT_TRUE(hz > (bandToHz(9, s) + bandToHz(10, s)) / 2.0 && hz < bandToHz(10, s)) << hz;
  EXPECT_EQ(t[1], hzLabel(static_cast<float>(bandToHz(60, s) + bandToHz(61, s)) / 2));
  const GlCall pos = f.gl.calls("glRasterPos2f")[0];
  const auto& x = f.model->bandX.bandX;
  EXPECT_EQ(pos.args,
            (std::vector<double>{((x[10] + x[11] - 1 + 32) / 2) / 200.0f, 120 / 256.0f - 1}));
  EXPECT_EQ(pos.colour, f.valueColourOf(30));
}

// Of two close maxima only the higher is named, on either side; a flat spectrum has no peaks.
TEST(PeakLabels, CloseMaximaLeaveTheHigherAndAFlatSpectrumNone) {
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
    const std::vector<std::string> t = texts(f);
    ASSERT_EQ(t.size(), 1u) << height;
    const int higher = height > 120 ? second : 100;
    EXPECT_EQ(f.gl.calls("glRasterPos2f")[0].colour, f.valueColourOf(higher * 3 % 250)) << height;
  }
  for (const uint16_t bands : {192, 512}) {
    SceneFixture flat(bands);
    int16_t* peak = heldPeaks(flat, 1);
    std::fill(peak, peak + bands, int16_t{100});
    drawPeakLabels(flat.input(), 1);
    EXPECT_TRUE(texts(flat).empty()) << bands;
  }
}

// With the font's advances and the view at hand, no two labels share a pixel, whatever the
// peaks: every band a maximum, labels many times wider than the bands.
TEST(PeakLabels, MeasuredLabelsNeverOverlap) {
  TextMetrics font;
  for (const char c : std::string("0123456789")) font.advance[static_cast<unsigned char>(c)] = 8;
  font.advance['k'] = 7, font.advance['.'] = font.advance[' '] = 4, font.height = 11;
  for (const auto& [width, height] : {std::pair{441, 350}, std::pair{1920, 1080}}) {
    SceneFixture f(512);
    const ViewTransform view = sceneTransform(FrameView{width, height, Camera{}});
    f.view = &view, f.textMetrics = &font;
    int16_t* peak = heldPeaks(f, 0);
    for (int k = 0; k < 512; ++k) peak[k] = static_cast<int16_t>(k % 2 ? 40 + k % 7 * 20 : 10);
    drawPeakLabels(f.input(), 0);
    struct Box {
      double left, right, bottom, top;
    };
    std::vector<Box> boxes;
    const auto raster = f.gl.calls("glRasterPos2f");
    const auto drawn = f.gl.calls("glCallLists");
    ASSERT_EQ(raster.size(), drawn.size());
    ASSERT_GE(drawn.size(), 4u) << width;
    for (size_t i = 0; i < drawn.size(); ++i) {
      const WindowPoint p = view.project(raster[i].args[0], raster[i].args[1], 0);
      const Box b{p.x, p.x + font.width(drawn[i].bytes), p.y, p.y + font.height};
      for (const Box& o : boxes) {
        EXPECT_FALSE(b.left < o.right && o.left < b.right && b.bottom < o.top && o.bottom < b.top)
            << drawn[i].bytes << " at " << b.left << ", " << b.bottom << " over one at " << o.left
            << ", " << o.bottom;
      }
      boxes.push_back(b);
    }
  }
}

}  // namespace
}  // namespace bandscope
