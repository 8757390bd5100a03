#include "gl/gl_surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "support/fake_gl_platform.h"
#include "support/recording_gl.h"

namespace bandscope {
namespace {

using test::CallLog;
using Calls = std::vector<std::string>;

// The surface and its doubles, before start-up.
class GlSurfaceBeforeStartUp : public ::testing::Test {
 protected:
  test::RecordingGl recorder;
  CallLog log;
  test::FakeGlPlatform platform{log};
  test::FakeGlLoader loader{log, recorder.table()};
  GlTable gl;
  GlBinding binding{platform, loader, gl};
  test::FakeSurfaceHost host{log};
  int fontBuilds = 0;
  std::vector<double> fontRatios;
  GlSurface surface{binding, platform, gl, host,
                    [this](const GlTable& table, GLuint& base, TextMetrics&, double ratio) {
                      log.add("createFontLists");
                      ++fontBuilds;
                      fontRatios.push_back(ratio);
                      if (base == 0) base = table.glGenLists(256);
                    }};
};

class GlSurfaceTest : public GlSurfaceBeforeStartUp {
 protected:
  GlSurfaceTest() {
    surface.create();
    log.take();
    recorder.clear();
  }
};

const Calls kRebuild = {
    "unloadLibraries",     "loadLibraries",   "surfaceKind",        "choosePixelFormat",
    "describePixelFormat", "createContext 0", "makeCurrent 10 101", "readImplementationProperties",
    "createFontLists",     "startTimer"};

TEST_F(GlSurfaceTest, StartUpLeavesAContextCurrentWithFontsAndBlackClearColour) {
  EXPECT_TRUE(surface.hasSurface());
  EXPECT_EQ(binding.activationDepth(), 1);
  EXPECT_EQ(fontBuilds, 1);
  EXPECT_EQ(surface.fontListBase, 1u);
  EXPECT_FALSE(recorder.isEnabled(GL_DEPTH_TEST));
}

TEST_F(GlSurfaceTest, RecreateTearsDownAppliesTheStyleAndRebuilds) {
  host.stayOnTop = true;
  host.zBuffer = true;
  surface.recreateSurface();
  Calls expected = {"stopTimer",      "makeCurrent none", "deleteContext 100",
                    "releaseSurface", "unloadLibraries",  "applyStayOnTop on"};
  expected.insert(expected.end(), kRebuild.begin(), kRebuild.end());
  EXPECT_EQ(log.take(), expected);
  EXPECT_TRUE(surface.hasSurface());
  EXPECT_EQ(fontBuilds, 2);
  EXPECT_EQ(surface.fontListBase, 257u) << "new lists in the new context";
  EXPECT_TRUE(recorder.isEnabled(GL_DEPTH_TEST)) << "the z-buffer setting is restored";
  EXPECT_EQ(recorder.calls("glClearColor").size(), 1u);
  EXPECT_EQ(platform.liveContexts.size(), 1u);
}

// A window moved to a screen of another pixel ratio gets its font built for that ratio, in
// the lists it has; a new context takes new lists at the ratio of the moment.
TEST_F(GlSurfaceTest, TheFontFollowsThePanelsPixelRatio) {
  surface.followPixelRatio();
  host.ratio = 2;
  surface.followPixelRatio();
  surface.followPixelRatio();
  EXPECT_EQ(fontRatios, (std::vector<double>{1, 2}));
  EXPECT_EQ(surface.fontListBase, 1u);
  host.ratio = 1.5;
  surface.recreateSurface();
  surface.followPixelRatio();
  EXPECT_EQ(fontRatios, (std::vector<double>{1, 2, 1.5}));
  EXPECT_EQ(surface.fontListBase, 257u);
}

TEST_F(GlSurfaceTest, RebuildWaitsForThePanelToBeExposedAgain) {
  host.exposed = false;
  surface.recreateSurface();
  EXPECT_EQ(log.take().back(), "applyStayOnTop off");
  EXPECT_FALSE(surface.hasSurface());
  EXPECT_TRUE(surface.rebuildPending());
  surface.panelExposed();  // an expose event that does not show the panel
  EXPECT_TRUE(log.take().empty());
  host.exposed = true;
  surface.panelExposed();
  EXPECT_EQ(log.take(), kRebuild);
  surface.panelExposed();  // later exposes change nothing
  EXPECT_TRUE(log.take().empty());
}

TEST_F(GlSurfaceTest, AStyleFailureStillRebuildsAndIsReported) {
  host.styleFails = true;
  EXPECT_THROW(surface.recreateSurface(), std::runtime_error);
  const Calls calls = log.take();
  EXPECT_EQ(calls[5], "applyStayOnTop off");
  EXPECT_EQ(Calls(calls.begin() + 6, calls.end()), kRebuild);
  EXPECT_TRUE(surface.hasSurface());
}

TEST_F(GlSurfaceTest, AFailureWhileTearingDownEndsThereWithTheTimerStopped) {
  platform.deleteFails = true;
  EXPECT_THROW(surface.recreateSurface(), EOpenGLException);
  EXPECT_EQ(log.take(), (Calls{"stopTimer", "makeCurrent none", "deleteContext 100"}));
  EXPECT_FALSE(host.stayOnTop) << "style untouched";
}

TEST_F(GlSurfaceTest, AFailedReleaseEndsTheTeardownAtOnce) {
  platform.makeCurrentFails = true;
  EXPECT_THROW(surface.recreateSurface(), EOpenGLException);
  EXPECT_EQ(log.take(), (Calls{"stopTimer", "makeCurrent none"}));
}

TEST_F(GlSurfaceTest, AFailedRebuildLeavesTheTimerStopped) {
  platform.createFails = true;
  EXPECT_THROW(surface.recreateSurface(), SystemError);
  const Calls calls = log.take();
  EXPECT_EQ(calls.back(), "createContext 0");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "startTimer"), 0);
  EXPECT_FALSE(surface.hasSurface());
  surface.mainDispResize();  // no surface: nothing drawn
  surface.zBuffer_CheckBoxClick();
  EXPECT_EQ(recorder.count("glViewport") + recorder.count("glEnable"), 0u);
}

TEST_F(GlSurfaceTest, ResizeSetsViewportAndProjectionOfTheWholeClientArea) {
  surface.mainDispResize();
  ASSERT_EQ(recorder.calls("glViewport").size(), 1u);
  EXPECT_EQ(recorder.calls("glViewport")[0].args, (std::vector<double>{0, 0, 800, 644}));
  EXPECT_EQ(recorder.matrixMode(), static_cast<GLenum>(GL_PROJECTION));
  const auto perspective = recorder.calls("gluPerspective");
  ASSERT_EQ(perspective.size(), 1u);
  EXPECT_DOUBLE_EQ(perspective[0].args[1], 800.0 / 644.0);
  host.height = 0;  // a collapsed window: an infinite aspect, no error
  surface.mainDispResize();
  EXPECT_TRUE(std::isinf(recorder.calls("gluPerspective").back().args[1]));
}

TEST_F(GlSurfaceTest, ZBufferFollowsItsCheckBox) {
  host.zBuffer = true;
  surface.zBuffer_CheckBoxClick();
  EXPECT_TRUE(recorder.isEnabled(GL_DEPTH_TEST));
  host.zBuffer = false;
  surface.zBuffer_CheckBoxClick();
  EXPECT_FALSE(recorder.isEnabled(GL_DEPTH_TEST));
}

TEST_F(GlSurfaceBeforeStartUp, ResizeAndSwapDoNothing) {
  surface.mainDispResize();
  surface.swapBuffers();
  surface.zBuffer_CheckBoxClick();
  EXPECT_TRUE(log.take().empty());
  EXPECT_TRUE(recorder.record().empty());
}

}  // namespace
}  // namespace bandscope
