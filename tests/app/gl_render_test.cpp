// Real rendering with the system's GL (Mesa's llvmpipe under the test's own Xvfb): a
// context on a QWindow, text from the bitmap font read back from the frame buffer, and the
// surface rebuilt around a stay-on-top change.

#include <gtest/gtest.h>

#include <QWindow>
#include <algorithm>
#include <array>
#include <functional>
#include <vector>

#include "display/gl_font.h"
#include "gl/gl_binding.h"
#include "gl/gl_surface.h"
#include "platform/gl_loader.h"
#include "platform/qt_gl_platform.h"
#include "support/gl_window.h"

namespace bandscope {
namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 160;

using test::waitFor;

class GlRender : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window.ready()) << "no surface on the panel"; }

  // Clears to black and draws text in red at raster position (x, y) of a plain projection.
  std::vector<std::array<uint8_t, 3>> drawRedText(std::string_view text, float x, float y) {
    gl.glViewport(0, 0, kWidth, kHeight);
    gl.glMatrixMode(GL_PROJECTION);
    gl.glLoadIdentity();
    gl.glMatrixMode(GL_MODELVIEW);
    gl.glLoadIdentity();
    gl.glClearColor(0, 0, 0, 0);
    gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.glColor3f(1, 0, 0);
    beginText(gl);
    drawText(gl, surface.fontListBase, text, x, y);
    endText(gl);
    return window.readBack();
  }

  // The bounding box of the pixels of exactly this colour: {x0, y0, x1, y1}, or all -1.
  static std::array<int, 4> boxOf(const std::vector<std::array<uint8_t, 3>>& pixels,
                                  std::array<uint8_t, 3> colour) {
    std::array<int, 4> box{-1, -1, -1, -1};
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (pixels[static_cast<size_t>(y * kWidth + x)] != colour) continue;
        if (box[0] < 0) box = {x, y, x, y};
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
      }
    }
    return box;
  }

  test::GlWindow window{kWidth, kHeight};
  test::PanelHost& host = window.host;
  const GlTable& gl = window.gl;
  GlBinding& binding = window.binding;
  GlSurface& surface = window.surface;
  QtGlPlatform& platform = window.platform;
};

TEST_F(GlRender, TextAppearsAtItsRasterPositionInItsColour) {
  const auto pixels = drawRedText("HH", -0.5f, 0.0f);  // window (60, 80)
  const auto box = boxOf(pixels, {255, 0, 0});
  ASSERT_GE(box[0], 0) << "no text drawn";
  EXPECT_GE(box[0], 60);
  EXPECT_LE(box[0], 62);
  EXPECT_GE(box[1], 80);  // 'H' sits on the baseline
  EXPECT_LE(box[1], 81);
  EXPECT_GE(box[3] - box[1], 6);  // some 8 pixels of capital height
  EXPECT_LE(box[3] - box[1], 11);
  EXPECT_GT(box[2] - box[0], 8);  // two letters
  EXPECT_LT(box[2] - box[0], 24);
  size_t other = 0;
  for (const auto& p : pixels)
    other += p != std::array<uint8_t, 3>{0, 0, 0} && p != std::array<uint8_t, 3>{255, 0, 0};
  EXPECT_EQ(other, 0u) << "one-bit glyphs: text pixels are the text colour, the rest black";
}

TEST_F(GlRender, TextWhoseRasterPositionLeavesTheViewportIsDropped) {
  EXPECT_EQ(boxOf(drawRedText("HH", 1.2f, 0.0f), {255, 0, 0})[0], -1);
  EXPECT_EQ(boxOf(drawRedText("HH", -0.5f, -1.3f), {255, 0, 0})[0], -1);
  EXPECT_GE(boxOf(drawRedText("HH", 0.9f, 0.0f), {255, 0, 0})[0], 0) << "inside: drawn, clipped";
}

TEST_F(GlRender, StayOnTopChangeRebuildsFontsAndZBuffer) {
  host.zBuffer = true;
  host.stayOnTop = true;
  surface.recreateSurface();
  ASSERT_TRUE(waitFor([&] {
    surface.panelExposed();  // as the panel's expose event does
    return surface.hasSurface();
  })) << "the surface was never rebuilt";
  EXPECT_EQ(host.timerStops, 1);
  EXPECT_EQ(host.timerStarts, 1);
  EXPECT_EQ(gl.glIsEnabled(GL_DEPTH_TEST), GL_TRUE);
  EXPECT_GE(boxOf(drawRedText("HH", -0.5f, 0.0f), {255, 0, 0})[0], 60);
  host.stayOnTop = false;  // and back
  surface.recreateSurface();
  ASSERT_TRUE(waitFor([&] {
    surface.panelExposed();
    return surface.hasSurface();
  }));
  EXPECT_GE(boxOf(drawRedText("H", -0.5f, 0.0f), {255, 0, 0})[0], 60);
}

TEST(SurfaceFormat, TheProgramsRequestBecomesADoubleBufferedRgbaFormatWithDepth) {
  const QSurfaceFormat f = surfaceFormatFor(
      pixelFormatRequest(SurfaceKind::Window, {.doubleBuffered = true}, 32, 24, 0, 0, 0, 0));
  EXPECT_EQ(f, panelSurfaceFormat());
  EXPECT_EQ(f.redBufferSize(), 8);
  EXPECT_EQ(f.greenBufferSize(), 8);
  EXPECT_EQ(f.blueBufferSize(), 8);
  EXPECT_EQ(f.alphaBufferSize(), 8);
  EXPECT_EQ(f.depthBufferSize(), 24);
  EXPECT_EQ(f.stencilBufferSize(), 0);
  EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
  EXPECT_EQ(f.swapInterval(), 1) << "vsync where the platform offers it";
  EXPECT_EQ(f.profile(), QSurfaceFormat::CompatibilityProfile);
}

TEST(GlRenderPanel, APanelShownWithAnotherFormatIsRefused) {
  QWindow panel;
  panel.setSurfaceType(QSurface::OpenGLSurface);
  panel.resize(64, 64);
  panel.show();
  ASSERT_TRUE(waitFor([&] { return panel.isExposed(); }));
  QtGlPlatform platform;
  DlGlLoader loader;
  GlTable gl;
  GlBinding binding{platform, loader, gl};
  PaletteHandle palette = nullptr;
  try {
    binding.openRenderContext(&panel, {.doubleBuffered = true}, 32, 24, 0, 0, 0, 0, palette);
    ADD_FAILURE() << "no error";
  } catch (const SystemError& e) {
    EXPECT_STREQ(e.what(), "the display panel was created with another pixel format");
  }
}

TEST_F(GlRender, TheContextHasTheRequestedBuffers) {
  PixelFormatRequest real;
  platform.describePixelFormat(surface.surfaceDC, 1, real);
  EXPECT_EQ(real.dwFlags & 0x25u, 0x25u);
  GLint depthBits = 0;
  gl.glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 24);
  GLint doubleBuffered = 0;
  gl.glGetIntegerv(GL_DOUBLEBUFFER, &doubleBuffered);
  EXPECT_EQ(doubleBuffered, GL_TRUE);
}

}  // namespace
}  // namespace bandscope
