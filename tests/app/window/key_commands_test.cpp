#include "app/window/key_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "gl/frame_view.h"
#include "support/scene_fixture.h"

namespace bandscope {
namespace {

TEST(KeyCommands, EachKeyAndItsModifiers) {
  const struct {
    int key;
    Qt::KeyboardModifiers modifiers;
    KeyCommand command;
  } rows[] = {
      {Qt::Key_Space, Qt::NoModifier, KeyCommand::Freeze},
      {Qt::Key_F11, Qt::NoModifier, KeyCommand::Fullscreen},
      {Qt::Key_Escape, Qt::NoModifier, KeyCommand::Leave},
      {Qt::Key_Q, Qt::ControlModifier, KeyCommand::Quit},
      {Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier, KeyCommand::Quit},
      {Qt::Key_Q, Qt::NoModifier, KeyCommand::None},
      {Qt::Key_F1, Qt::NoModifier, KeyCommand::Help},
      {Qt::Key_Question, Qt::ShiftModifier, KeyCommand::Help},
      {Qt::Key_Home, Qt::NoModifier, KeyCommand::StartView},
      {Qt::Key_Home, Qt::KeypadModifier, KeyCommand::StartView},
      {Qt::Key_Home, Qt::ControlModifier, KeyCommand::None},
      {Qt::Key_Space, Qt::ControlModifier, KeyCommand::None},
      {Qt::Key_Space, Qt::AltModifier, KeyCommand::None},
      {Qt::Key_S, Qt::ControlModifier, KeyCommand::None},  // the screenshot's own shortcut
      {Qt::Key_A, Qt::NoModifier, KeyCommand::None},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(keyCommand(r.key, r.modifiers), r.command) << r.key << " " << r.modifiers;
  }
}

// Every colour the scene draws in (lines, points, areas, text) has a legend entry in it, but
// the level colours of bars, marks and meters, which the legend shows as a ramp.
TEST(Help, EveryFixedColourOfTheSceneHasALegendEntry) {
  using Key = std::tuple<float, float, float>;
  std::set<Key> legend, ramp, drawn;
  for (const HelpText& t : helpLines()) legend.insert({t.colour[0], t.colour[1], t.colour[2]});
  test::SceneFixture f;
  for (int v = 0; v <= 256; ++v) {
    const test::Colour c = f.valueColourOf(v);
    ramp.insert({c.red, c.green, c.blue});
  }
  EXPECT_GE(std::count_if(legend.begin(), legend.end(), [&](auto& k) { return ramp.contains(k); }),
            4);
  TextMetrics font;
  font.height = 11;
  const ViewTransform view = sceneTransform(FrameView{441, 350, Camera{}});
  f.fillSamples(0, [](int j) { return j % 8 < 4 ? 0 : 255; });  // clipping: the red box
  analysisStep(f.options, *f.model);
  for (const bool peakHz : {false, true}) {
    f.options.Hz_check = peakHz;
    drawScene(f.gl.table(), f.options, *f.model, 1, 0, '.', &font, &view);
  }
  for (const test::Block& b : f.gl.blocks()) {
    for (const test::Vertex& v : b.vertices)
      drawn.insert({v.colour.red, v.colour.green, v.colour.blue});
  }
  for (const test::GlCall& c : f.gl.calls("glRasterPos2f"))
    drawn.insert({c.colour.red, c.colour.green, c.colour.blue});
  EXPECT_GE(drawn.size(), 12u);
  for (const auto& [r, g, b] : drawn) {
    EXPECT_TRUE(ramp.contains({r, g, b}) || legend.contains({r, g, b}))
        << "no legend entry in " << r << ", " << g << ", " << b;
  }
}

}  // namespace
}  // namespace bandscope
