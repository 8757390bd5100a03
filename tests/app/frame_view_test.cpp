#include "app/frame_view.h"

#include <gtest/gtest.h>

#include "support/recording_gl.h"

namespace bandscope {
namespace {

TEST(FrameView, OneProjectionThenClearAndTheSceneUnderTheCamera) {
  test::RecordingGl gl;
  FrameView view{800, 644, Camera{10, 20, 0.5f, 1.0f, -2}};
  int sceneDepth = -1;
  drawFrameView(gl.table(), view, [&] { sceneDepth = gl.modelViewDepth(); });
  EXPECT_EQ(gl.count("glMatrixMode"), 2u) << "projection once, then model-view";
  EXPECT_EQ(gl.viewport(), (std::array<GLint, 4>{0, 0, 800, 644}));
  EXPECT_DOUBLE_EQ(gl.calls("gluPerspective")[0].args[1], 800.0 / 644.0);
  EXPECT_EQ(gl.matrixMode(), static_cast<GLenum>(GL_MODELVIEW));
  EXPECT_EQ(sceneDepth, 1) << "the scene runs inside the camera's matrix";
  EXPECT_EQ(gl.modelViewDepth(), 0);
  gl.expectBalanced();
  const auto moves = gl.calls("glTranslatef");
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].args, (std::vector<double>{0.5, -1.0, -2 - 4.9f}));
  const auto rotations = gl.calls("glRotatef");
  ASSERT_EQ(rotations.size(), 2u);
  EXPECT_EQ(rotations[0].args, (std::vector<double>{10, 1, 0, 0}));
  EXPECT_EQ(rotations[1].args, (std::vector<double>{20, 0, 1, 0}));
  EXPECT_EQ(gl.record().front().name, "glViewport");
}

}  // namespace
}  // namespace bandscope
