#include "app/frame_view.h"

#include <gtest/gtest.h>

#include "support/recording_gl.h"

namespace bandscope {
namespace {

TEST(FrameView, OneProjectionThenClearReadoutAndTheSceneUnderTheCamera) {
  test::RecordingGl gl;
  const std::string rate = "60 fps";
  FrameView view{800, 644, Camera{10, 20, 0.5f, 1.0f, -2}, 1, &rate};
  int sceneDepth = -1;
  ViewTransform given;
  drawFrameView(gl.table(), view, [&](const ViewTransform& t) {
    sceneDepth = gl.modelViewDepth();
    given = t;
  });
  EXPECT_EQ(given.matrix(), sceneTransform(view).matrix());
  EXPECT_EQ(given.viewportRect(), (std::array<int, 4>{0, 0, 800, 644}));
  EXPECT_EQ(gl.count("glMatrixMode"), 2u) << "projection once, then model-view";
  EXPECT_EQ(gl.viewport(), (std::array<GLint, 4>{0, 0, 800, 644}));
  EXPECT_DOUBLE_EQ(gl.calls("gluPerspective")[0].args[1], 800.0 / 644.0);
  EXPECT_EQ(gl.matrixMode(), static_cast<GLenum>(GL_MODELVIEW));
  EXPECT_EQ(sceneDepth, 1) << "the scene runs inside the camera's matrix";
  EXPECT_EQ(gl.modelViewDepth(), 0);
  gl.expectBalanced();
  // The readout's translation comes before the camera's: it stays fixed in the view.
  const auto moves = gl.calls("glTranslatef");
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0].args, (std::vector<double>{-2.0, 1.15f, -4.0}));
  EXPECT_EQ(moves[1].args, (std::vector<double>{0.5, -1.0, -2 - 4.9f}));
  const auto rotations = gl.calls("glRotatef");
  ASSERT_EQ(rotations.size(), 2u);
  EXPECT_EQ(rotations[0].args, (std::vector<double>{10, 1, 0, 0}));
  EXPECT_EQ(rotations[1].args, (std::vector<double>{20, 0, 1, 0}));

  gl.clear();
  view.frameRateText = nullptr;  // the fps box unchecked: no text at all
  drawFrameView(gl.table(), view, [](const ViewTransform&) {});
  EXPECT_EQ(gl.count("glCallLists") + gl.count("glRasterPos2f"), 0u);
  EXPECT_EQ(gl.record().front().name, "glViewport");
}

struct ProjectionCase {
  const char* name;
  Camera camera;
  std::array<double, 3> point;  // camera space
  double x, y;                  // window pixels
};

// An 800 x 600 window: at the eye's distance 4.9, one unit is 600 / 2 / tan(22.5 deg) / 4.9
// = 147.81 pixels both ways.
TEST(SceneTransform, CameraPointsLandWhereGlPutsThem) {
  const ProjectionCase cases[] = {
      {"origin", Camera{0, 0, 0, 0, 0}, {0, 0, 0}, 400, 300},
      {"x and y", Camera{0, 0, 0, 0, 0}, {1, 1, 0}, 547.81, 447.81},
      // Yaw 90: (x, y, z) -> (z, y, -x) after the translation.
      {"yaw", Camera{0, 90, 0, 0, 0}, {4.9, 0, 5.9}, 547.81, 300},
      // Pitch is applied after yaw: (0, -4.9, 4.9) -> (0, -4.9, 0) -> (0, 0, -4.9).
      {"pitch after yaw", Camera{90, 90, 0, 0, 0}, {0, -4.9, 4.9}, 400, 300},
      // Dolly 2.9 leaves 2 units to the eye (362.13 pixels a unit); the pan moves the point
      // to (1, 0.5).
      {"dolly and pan", Camera{0, 0, 0.5f, 1, 2.9f}, {0.5, 1.5, 0}, 400 + 362.13, 300 + 181.07},
  };
  for (const ProjectionCase& c : cases) {
    const WindowPoint p =
        sceneTransform(FrameView{800, 600, c.camera}).project(c.point[0], c.point[1], c.point[2]);
    EXPECT_TRUE(p.inFront) << c.name;
    EXPECT_NEAR(p.x, c.x, 0.01) << c.name;
    EXPECT_NEAR(p.y, c.y, 0.01) << c.name;
  }
  // Depth of the origin: (100.1 / 99.9 * 4.9 - 20 / 99.9) / 4.9 = 0.96115 in GL's -1 .. 1.
  const WindowPoint centre =
      sceneTransform(FrameView{800, 600, Camera{0, 0, 0, 0, 0}}).project(0, 0, 0);
  EXPECT_NEAR(centre.depth, (0.96115 + 1) / 2, 1e-5);
  // Behind the eye is not in front: a point the raster position would drop.
  EXPECT_FALSE(sceneTransform(FrameView{800, 600, Camera{0, 0, 0, 0, 0}}).project(0, 0, 5).inFront);
}

}  // namespace
}  // namespace bandscope
