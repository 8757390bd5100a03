#pragma once
// A scripted GL platform, library loader and surface host: every call is appended to one
// shared log, and each step can be told to fail, so every failure of the binding and the
// order of its calls can be checked without a display.

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gl/gl_surface.h"
#include "platform/gl_platform.h"

namespace bandscope::test {

struct CallLog {
  std::mutex lock;
  std::vector<std::string> calls;
  void add(std::string call);
  std::vector<std::string> take();  // and forget
};

class FakeGlPlatform : public GlPlatform {
 public:
  explicit FakeGlPlatform(CallLog& log) : log_(log) {}

  // Scripted outcomes.
  bool invalidSurface = false, noPixelFormat = false, setFails = false, needsPalette = false;
  bool paletteFails = false, createFails = false, makeCurrentFails = false, deleteFails = false;
  int colourBits = 32;  // of the described format
  int pixelFormatOfSurface = 0;

  SurfaceKind surfaceKind(SurfaceHandle dc) override;
  int choosePixelFormat(SurfaceHandle dc, const PixelFormatRequest& request) override;
  int getPixelFormat(SurfaceHandle dc) override;
  bool setPixelFormat(SurfaceHandle dc, int format, const PixelFormatRequest& request) override;
  void describePixelFormat(SurfaceHandle dc, int format, PixelFormatRequest& out) override;
  PaletteHandle createPalette(SurfaceHandle dc, const std::vector<PaletteEntry>& entries) override;
  ContextHandle createContext(SurfaceHandle dc, int layer) override;
  bool makeCurrent(SurfaceHandle dc, ContextHandle rc) override;
  bool deleteContext(ContextHandle rc) override;
  SurfaceHandle currentSurface() override;
  ContextHandle currentContext() override;
  void releaseSurface(SurfaceHandle dc) override;
  void swapBuffers(SurfaceHandle dc) override;
  void readImplementationProperties() override;
  Failure lastError() override { return error_; }

  PixelFormatRequest lastRequest;
  std::vector<PaletteEntry> lastPalette;
  std::vector<ContextHandle> liveContexts;

 private:
  CallLog& log_;
  Failure error_;
  std::mutex currentLock_;
  std::map<std::thread::id, std::pair<SurfaceHandle, ContextHandle>> current_;
  uintptr_t nextContext_ = 0x100;
};

// Loading copies `source` (say a recording table) into the program's table.
class FakeGlLoader : public GlLibraryLoader {
 public:
  FakeGlLoader(CallLog& log, const GlTable& source) : log_(log), source_(source) {}
  bool loadFails = false;
  bool loaded() const override { return loaded_; }
  bool load(GlTable& table) override;
  void unload(GlTable& table) override;
  Failure lastError() const override { return {"cannot load the OpenGL library"}; }

 private:
  CallLog& log_;
  GlTable source_;
  bool loaded_ = false;
};

class FakeSurfaceHost : public SurfaceHost {
 public:
  explicit FakeSurfaceHost(CallLog& log) : log_(log) {}
  bool styleFails = false, exposed = true, zBuffer = false, stayOnTop = false;
  SurfaceHandle panel = reinterpret_cast<SurfaceHandle>(0x10);
  int width = 800, height = 644;
  double ratio = 1;

  void stopTimer() override { log_.add("stopTimer"); }
  void startTimer() override { log_.add("startTimer"); }
  void applyStayOnTop() override;
  SurfaceHandle panelSurface() override { return panel; }
  bool panelExposed() override { return exposed; }
  bool zBufferChecked() override { return zBuffer; }
  int clientWidth() override { return width; }
  int clientHeight() override { return height; }
  double pixelRatio() override { return ratio; }

 private:
  CallLog& log_;
};

}  // namespace bandscope::test
