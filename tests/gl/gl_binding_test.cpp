#include "gl/gl_binding.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "analysis/assertion.h"
#include "support/fake_gl_platform.h"

namespace bandscope {
namespace {

using test::CallLog;
using test::FakeGlLoader;
using test::FakeGlPlatform;
using Calls = std::vector<std::string>;

SurfaceHandle const kDc = reinterpret_cast<SurfaceHandle>(0x10);

// The message of what `f` throws as E, or "" when it throws nothing.
template <typename E, typename F>
std::string thrown(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "";
}

class GlBindingTest : public ::testing::Test {
 protected:
  ContextHandle open(PaletteHandle* palette = nullptr) {
    PaletteHandle p = nullptr;
    ContextHandle rc = binding.openRenderContext(kDc, {.doubleBuffered = true}, 32, 24, 0, 0, 0, 0,
                                                 palette ? *palette : p);
    return rc;
  }
  CallLog log;
  FakeGlPlatform platform{log};
  FakeGlLoader loader{log, GlTable{}};
  GlTable gl;
  GlBinding binding{platform, loader, gl};
};

TEST(PixelFormatRequest, FlagsFollowTheSurfaceAndOptions) {
  const auto window =
      pixelFormatRequest(SurfaceKind::Window, {.doubleBuffered = true}, 32, 24, 0, 0, 0, 0);
  EXPECT_EQ(window.dwFlags, 0x25u);
  EXPECT_EQ(window.nSize, 40);
  EXPECT_EQ(window.nVersion, 1);
  EXPECT_EQ(window.cColorBits, 32);
  EXPECT_EQ(window.cDepthBits, 24);
  EXPECT_EQ(window.iLayerType, PFD_MAIN_PLANE);
  const auto bitmap = pixelFormatRequest(SurfaceKind::MemoryContext,
                                         {.gdiSupport = true, .stereo = true}, 16, 0, 8, 16, 2, 1);
  EXPECT_EQ(bitmap.dwFlags, 0x20u | 0x08u | 0x10u | 0x02u);
  EXPECT_EQ(bitmap.cStencilBits, 8);
  EXPECT_EQ(bitmap.cAccumBits, 16);
  EXPECT_EQ(bitmap.cAuxBuffers, 2);
  EXPECT_EQ(bitmap.iLayerType, PFD_OVERLAY_PLANE);
  EXPECT_EQ(pixelFormatRequest(SurfaceKind::EnhancedMetafile, {}, 8, 0, 0, 0, 0, -3).dwFlags,
            0x28u);
  EXPECT_EQ(pixelFormatRequest(SurfaceKind::Window, {}, 8, 0, 0, 0, 0, -3).iLayerType,
            PFD_UNDERLAY_PLANE);
}

TEST(ContextPalette, SpreadsA332FormatOverFullRange) {
  PixelFormatRequest f;
  f.cColorBits = 8;
  f.cRedBits = 3, f.cRedShift = 0, f.cGreenBits = 3, f.cGreenShift = 3, f.cBlueBits = 2,
  f.cBlueShift = 6;
  const auto entries = contextPaletteEntries(f);
  ASSERT_EQ(entries.size(), 256u);
  const int levels8[] = {0, 36, 72, 109, 145, 182, 218, 255};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(entries[static_cast<size_t>(i)].red, levels8[i]);
    EXPECT_EQ(entries[static_cast<size_t>(i << 3)].green, levels8[i]);
  }
  const int levels4[] = {0, 85, 170, 255};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(entries[static_cast<size_t>(i << 6)].blue, levels4[i]);
  EXPECT_EQ(entries[255].flags, 0);
}

TEST_F(GlBindingTest, OpenSetsTheFormatOnceAndMakesNoPaletteForTrueColour) {
  PaletteHandle palette = reinterpret_cast<PaletteHandle>(1);
  const ContextHandle rc = open(&palette);
  EXPECT_NE(rc, nullptr);
  EXPECT_EQ(palette, nullptr);
  EXPECT_EQ(log.take(),
            (Calls{"surfaceKind", "unloadLibraries", "loadLibraries", "choosePixelFormat",
                   "setPixelFormat 7", "describePixelFormat", "createContext 0"}));
  EXPECT_EQ(platform.lastRequest.dwFlags, 0x25u);
  open();  // the surface has the format now: not set again, libraries stay loaded
  EXPECT_EQ(log.take(),
            (Calls{"surfaceKind", "choosePixelFormat", "describePixelFormat", "createContext 0"}));
}

TEST_F(GlBindingTest, OpenBuildsAPaletteWhenTheFormatNeedsOne) {
  platform.needsPalette = true;
  platform.colourBits = 8;
  PaletteHandle palette = nullptr;
  open(&palette);
  EXPECT_NE(palette, nullptr);
  EXPECT_EQ(platform.lastPalette.size(), 256u);
  EXPECT_EQ(platform.lastPalette[7].red, 255);
}

TEST_F(GlBindingTest, OpenReportsEachFailingStepAsASystemError) {
  auto failure = [&](auto script) {
    FakeGlPlatform p{log};
    FakeGlLoader l{log, GlTable{}};
    script(p, l);
    GlBinding b{p, l, gl};
    PaletteHandle palette = nullptr;
    return thrown<SystemError>(
        [&] { b.openRenderContext(kDc, {.doubleBuffered = true}, 32, 24, 0, 0, 0, 0, palette); });
  };
  EXPECT_EQ(failure([](FakeGlPlatform& p, FakeGlLoader&) { p.invalidSurface = true; }),
            "System Error.  Code: 6.\nThe handle is invalid.");
  EXPECT_EQ(failure([](FakeGlPlatform&, FakeGlLoader& l) { l.loadFails = true; }),
            "cannot load the OpenGL library");
  EXPECT_EQ(failure([](FakeGlPlatform& p, FakeGlLoader&) { p.noPixelFormat = true; }),
            "System Error.  Code: 2000.\nThe pixel format is invalid.");
  EXPECT_EQ(failure([](FakeGlPlatform& p, FakeGlLoader&) { p.setFails = true; }),
            "System Error.  Code: 2000.\nThe pixel format is invalid.");
  EXPECT_NE(failure([](FakeGlPlatform& p, FakeGlLoader&) {
              p.needsPalette = true;
              p.colourBits = 8;
              p.paletteFails = true;
            }).find("Code: 8."),
            std::string::npos);
  EXPECT_EQ(failure([](FakeGlPlatform& p, FakeGlLoader&) { p.needsPalette = true; }),
            "a palette needs a pixel format of at most 8 colour bits");
  EXPECT_EQ(failure([](FakeGlPlatform& p, FakeGlLoader&) { p.createFails = true; }),
            "A call to an OS function failed");
}

TEST_F(GlBindingTest, ActivationNestsAndReleasesAtDepthZero) {
  const ContextHandle rc = open();
  log.take();
  binding.makeContextCurrent(kDc, rc);
  binding.makeContextCurrent(kDc, rc);
  EXPECT_EQ(binding.activationDepth(), 2);
  binding.releaseContextCurrent();
  EXPECT_EQ(binding.activationDepth(), 1);
  EXPECT_EQ(platform.currentContext(), rc) << "still current after one release";
  binding.releaseContextCurrent();
  EXPECT_EQ(binding.activationDepth(), 0);
  EXPECT_EQ(platform.currentContext(), nullptr);
  binding.releaseContextCurrent();  // nothing to undo
  EXPECT_EQ(log.take(),
            (Calls{"makeCurrent 10 100", "readImplementationProperties", "makeCurrent none"}));
}

TEST_F(GlBindingTest, PropertiesAreReadOnlyForANewPixelFormat) {
  const ContextHandle rc = open();
  binding.makeContextCurrent(kDc, rc);
  EXPECT_EQ(binding.lastPixelFormat(), 7);
  binding.releaseContextCurrent();
  log.take();
  binding.makeContextCurrent(kDc, rc);
  EXPECT_EQ(log.take(), Calls{"makeCurrent 10 100"});
  binding.releaseContextCurrent();
  binding.unloadOpenGLLibraries();  // forgets the format
  binding.makeContextCurrent(kDc, rc);
  EXPECT_EQ(log.take().back(), "readImplementationProperties");
  binding.releaseContextCurrent();
}

TEST_F(GlBindingTest, ActivationFailures) {
  const ContextHandle rc = open();
  EXPECT_EQ(thrown<AssertionFailure>([&] {
              binding.makeContextCurrent(nullptr, rc);
            }).rfind("DC must not be 0 (", 0),
            0u);
  EXPECT_EQ(thrown<AssertionFailure>([&] {
              binding.makeContextCurrent(kDc, nullptr);
            }).rfind("RC must not be 0 (", 0),
            0u);
  platform.makeCurrentFails = true;
  EXPECT_EQ(thrown<EOpenGLException>([&] { binding.makeContextCurrent(kDc, rc); }),
            "The OpenGL context could not be made current.");
  EXPECT_EQ(binding.activationDepth(), 0);
  platform.makeCurrentFails = false;
  binding.makeContextCurrent(kDc, rc);  // the failed attempt left nothing behind
  const ContextHandle other = open();
  EXPECT_EQ(thrown<AssertionFailure>([&] {
              binding.makeContextCurrent(kDc, other);
            }).rfind("Incoherent DC/RC pair. (", 0),
            0u);
  EXPECT_EQ(binding.activationDepth(), 1);
  platform.makeCurrentFails = true;
  EXPECT_EQ(thrown<EOpenGLException>([&] { binding.releaseContextCurrent(); }),
            "The OpenGL context could not be made current.");
}

TEST_F(GlBindingTest, DeletionRefusesActiveContexts) {
  const ContextHandle rc = open();
  binding.makeContextCurrent(kDc, rc);
  EXPECT_EQ(thrown<AssertionFailure>([&] {
              binding.deleteRenderContext(rc);
            }).rfind("Active contexts cannot be deleted. (", 0),
            0u);
  EXPECT_EQ(platform.liveContexts.size(), 1u) << "the context stays alive";
  binding.releaseContextCurrent();
  platform.deleteFails = true;
  EXPECT_EQ(thrown<EOpenGLException>([&] { binding.deleteRenderContext(rc); }),
            "The OpenGL context could not be deleted.");
  platform.deleteFails = false;
  binding.deleteRenderContext(rc);
  EXPECT_TRUE(platform.liveContexts.empty());
}

TEST_F(GlBindingTest, AContextCurrentInAnotherThreadIsRefused) {
  const ContextHandle rc = open();
  std::mutex m;
  std::condition_variable cv;
  int stage = 0;
  std::thread other([&] {
    binding.makeContextCurrent(kDc, rc);
    EXPECT_EQ(binding.activationDepth(), 1);
    std::unique_lock lock(m);
    stage = 1;
    cv.notify_all();
    cv.wait(lock, [&] { return stage == 2; });
    binding.releaseContextCurrent();
  });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return stage == 1; });
  }
  EXPECT_EQ(binding.activationDepth(), 0) << "depth is per thread";
  EXPECT_EQ(thrown<EOpenGLException>([&] { binding.makeContextCurrent(kDc, rc); }),
            "Rendering context already active in another thread.");
  EXPECT_EQ(thrown<EOpenGLException>([&] { binding.deleteRenderContext(rc); }),
            "Cannot delete rendering context. It is still in use by another thread.");
  {
    std::lock_guard lock(m);
    stage = 2;
  }
  cv.notify_all();
  other.join();
  binding.makeContextCurrent(kDc, rc);
  EXPECT_EQ(binding.activationDepth(), 1);
  binding.releaseContextCurrent();
  binding.deleteRenderContext(rc);
}

}  // namespace
}  // namespace bandscope
