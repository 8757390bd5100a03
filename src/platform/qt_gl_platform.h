#pragma once
// The GL platform over Qt: the display panel is a QWindow of surface type OpenGL, the
// pixel-format request becomes a QSurfaceFormat, contexts are QOpenGLContexts.
// SurfaceHandle is the panel's QWindow*, ContextHandle a QOpenGLContext*. The panel must be
// given panelSurfaceFormat() before it is first shown.
//
// Threads: UI thread only (Qt's windows and contexts live there).

#include <QSurfaceFormat>
#include <QWindow>

#include "platform/gl_platform.h"

namespace bandscope {

// The format a request asks for: RGBA 8-8-8-8 for 32 colour bits, its depth, stencil and
// accumulation, double buffering, a compatibility profile so fixed-function GL 1.1 works,
// and swap interval 1 (vsync where the platform offers it).
QSurfaceFormat surfaceFormatFor(const PixelFormatRequest& request);

// The format of the program's request: double-buffered, 32 colour bits, 24 depth bits.
QSurfaceFormat panelSurfaceFormat();

class QtGlPlatform : public GlPlatform {
 public:
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
  void readImplementationProperties() override {}
  Failure lastError() override { return error_; }

 private:
  bool fail(const char* text);
  Failure error_;
  QSurfaceFormat chosen_;
};

}  // namespace bandscope
