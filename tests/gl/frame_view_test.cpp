#include "gl/frame_view.h"

#include <gtest/gtest.h>

#include <QImage>

#include "support/recording_gl.h"

namespace bandscope {
namespace {

TEST(FrameView, OneProjectionThenClearAndTheSceneUnderTheCamera) {
  test::RecordingGl gl;
  FrameView view{800, 644, Camera{10, 20, 0.5f, 1.0f, -2}};
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
  const auto moves = gl.calls("glTranslatef");
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].args, (std::vector<double>{0.5, -1.0, -2 - 4.9f}));
  const auto rotations = gl.calls("glRotatef");
  ASSERT_EQ(rotations.size(), 2u);
  EXPECT_EQ(rotations[0].args, (std::vector<double>{10, 1, 0, 0}));
  EXPECT_EQ(rotations[1].args, (std::vector<double>{20, 0, 1, 0}));
  EXPECT_EQ(gl.record().front().name, "glViewport");
}

// Up to the start shape the start framing holds exactly; wider shapes show the scene wider
// than the start framing would, its ends across at least 90 % of a 16:9 picture, its base and
// the tops of the scopes inside it; the projection goes to GL shifted before the perspective.
TEST(FrameView, WideShapesFitTheSceneAndTheStartShapeKeepsItsFraming) {
  const double start = 441.0 / 350;
  const struct {
    int width, height;
    double minSpan;  // of the spectra's ends, as a share of the width; 0: the start framing
  } rows[] = {{441, 350, 0},     {300, 400, 0},    {444, 350, 0},     {600, 350, 0.8},
              {1920, 1080, 0.9}, {1280, 720, 0.9}, {2560, 1080, 0.65}};
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.width << "x" << r.height);
    const ViewTransform fitted = sceneTransform(FrameView{r.width, r.height, Camera{}, start});
    const ViewTransform plain = sceneTransform(FrameView{r.width, r.height, Camera{}});
    test::RecordingGl gl;
    setProjection(gl.table(), r.width, r.height, start);
    const double fovy = gl.calls("gluPerspective").at(0).args[0];
    if (r.minSpan == 0) {
      EXPECT_EQ(fitted.matrix(), plain.matrix());
      EXPECT_EQ(fovy, 45);
      EXPECT_EQ(gl.count("glTranslatef"), 0u);
      continue;
    }
    const auto span = [&](const ViewTransform& t) {
      return (t.project(2.6, -1, 0).x - t.project(-2.6, -1, 0).x) / r.width;
    };
    EXPECT_GT(span(fitted), span(plain));
    EXPECT_GE(span(fitted), r.minSpan);
    for (const double x : {-2.6, 0.0, 2.6}) {
      EXPECT_TRUE(fitted.inViewport(fitted.project(x, -1, 0))) << "the spectra's base at " << x;
      EXPECT_TRUE(fitted.inViewport(fitted.project(x / 2, 4, -5))) << "the scopes' top at " << x;
    }
    ASSERT_EQ(gl.count("glTranslatef"), 1u);
    EXPECT_EQ(gl.record()[gl.record().size() - 2].name, "glTranslatef") << "before the perspective";
  }
}

// One read per row into a picture of the size asked; a picture that cannot be allocated comes
// back null, with nothing read into it.
TEST(FrameView, ReadBackBufferReadsEachRowOrNothingWithoutMemory) {
  const struct {
    int width, height;
    bool allocated;
  } cases[] = {{4, 3, true}, {100'000'000, 2, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    test::RecordingGl gl;
    const QImage picture = readBackBuffer(gl.table(), c.width, c.height);
    EXPECT_EQ(picture.isNull(), !c.allocated);
    EXPECT_EQ(gl.count("glReadPixels"), c.allocated ? static_cast<size_t>(c.height) : 0u);
    if (c.allocated) {
      EXPECT_EQ(picture.size(), QSize(c.width, c.height));
    }
  }
}

// An 800 x 600 window: at the eye's distance 4.9 a unit is 300 / tan(22.5 deg) / 4.9 = 147.81
// pixels both ways; at 2, 362.13.
TEST(SceneTransform, CameraPointsLandWhereGlPutsThem) {
  struct {
    Camera camera;
    double x, y, z, windowX, windowY;
  } const cases[] = {
      {Camera{0, 0, 0, 0, 0}, 0, 0, 0, 400, 300},
      {Camera{0, 0, 0, 0, 0}, 1, 1, 0, 547.81, 447.81},
      {Camera{0, 90, 0, 0, 0}, 4.9, 0, 5.9, 547.81, 300},          // yaw: (x, y, z) -> (z, y, -x)
      {Camera{90, 90, 0, 0, 0}, 0, -4.9, 4.9, 400, 300},           // pitch after yaw
      {Camera{0, 0, 0.5f, 1, 2.9f}, 0.5, 1.5, 0, 762.13, 481.07},  // dolly and pan: (1, 0.5, -2)
  };
  const auto transform = [](Camera c) { return sceneTransform(FrameView{800, 600, c}); };
  for (const auto& c : cases) {
    const WindowPoint p = transform(c.camera).project(c.x, c.y, c.z);
    EXPECT_TRUE(p.inFront);
    EXPECT_NEAR(p.x, c.windowX, 0.01) << c.x << " " << c.y << " " << c.z;
    EXPECT_NEAR(p.y, c.windowY, 0.01) << c.x << " " << c.y << " " << c.z;
  }
  EXPECT_FALSE(transform(Camera{0, 0, 0, 0, 0}).project(0, 0, 5).inFront) << "behind the eye";
}

}  // namespace
}  // namespace bandscope
