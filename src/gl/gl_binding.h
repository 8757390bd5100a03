#pragma once
// The OpenGL binding: rendering contexts on the display panel's surface, their activation
// per thread, their deletion, and the run-time loading of the GL libraries, with the
// failures each step reports.
//
// Threads: any thread may activate and release a context (each thread has its own
// activation depth); the program does everything on the UI thread. The list of contexts
// current in some thread is shared and guarded by a lock.

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gl_platform.h"
#include "platform/gl_table.h"

namespace bandscope {

class EOpenGLException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A platform call failed: carries its error code and text.
class SystemError : public std::runtime_error {
 public:
  explicit SystemError(const Failure& e);
  int code() const { return code_; }

 private:
  int code_;
};

struct ContextOptions {
  bool doubleBuffered = false;
  bool gdiSupport = false;
  bool stereo = false;
};

// The request record for a surface of the given kind and options.
PixelFormatRequest pixelFormatRequest(SurfaceKind kind, ContextOptions options, int colourBits,
                                      int depthBits, int stencilBits, int accumBits, int auxBuffers,
                                      int layer);

inline constexpr int kMaxPaletteBits = 8;

// 2^colourBits entries spreading each channel's levels over 0 .. 255; none for formats of
// more than kMaxPaletteBits.
std::vector<PaletteEntry> contextPaletteEntries(const PixelFormatRequest& format);

class GlBinding {
 public:
  // Masks all floating-point exceptions for the rest of the run.
  GlBinding(GlPlatform& platform, GlLibraryLoader& loader, GlTable& gl);

  ContextHandle openRenderContext(SurfaceHandle dc, ContextOptions options, int colourBits,
                                  int depthBits, int stencilBits, int accumBits, int auxBuffers,
                                  int layer, PaletteHandle& palette);
  PaletteHandle buildContextPalette(SurfaceHandle dc, const PixelFormatRequest& format);
  void makeContextCurrent(SurfaceHandle dc, ContextHandle rc);
  void releaseContextCurrent();
  void deleteRenderContext(ContextHandle rc);
  bool loadOpenGLLibraries();
  void unloadOpenGLLibraries();

  // The calling thread's state, for tests.
  int activationDepth() const { return thread().activationDepth; }
  int lastPixelFormat() const { return thread().lastPixelFormat; }

 private:
  struct ThreadState {
    int activationDepth = 0;
    int lastPixelFormat = 0;
  };
  ThreadState& thread() const;
  [[noreturn]] void raiseLastSystemError();

  GlPlatform& platform_;
  GlLibraryLoader& loader_;
  GlTable& gl_;
  const uint64_t id_;  // keys this binding's per-thread state
  std::mutex currentContextsLock_;
  std::vector<ContextHandle> currentContexts_;
};

}  // namespace bandscope
