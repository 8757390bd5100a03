#include "gl/gl_binding.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <unordered_map>

#include "analysis/assertion.h"

namespace bandscope {

namespace {

constexpr const char* kMakeCurrentFailed = "The OpenGL context could not be made current.";

std::string systemErrorText(const Failure& e) {
  if (e.code == 0) return e.text.empty() ? "A call to an OS function failed" : e.text;
  return "System Error.  Code: " + std::to_string(e.code) + ".\n" + e.text;
}

std::atomic<uint64_t> nextBindingId{1};

}  // namespace

SystemError::SystemError(const Failure& e)
    : std::runtime_error(systemErrorText(e)), code_(e.code) {}

PixelFormatRequest pixelFormatRequest(SurfaceKind kind, ContextOptions options, int colourBits,
                                      int depthBits, int stencilBits, int accumBits, int auxBuffers,
                                      int layer) {
  PixelFormatRequest r;
  r.dwFlags = PFD_SUPPORT_OPENGL;
  const bool bitmap = kind == SurfaceKind::MemoryContext || kind == SurfaceKind::Metafile ||
                      kind == SurfaceKind::EnhancedMetafile;
  r.dwFlags |= bitmap ? PFD_DRAW_TO_BITMAP : PFD_DRAW_TO_WINDOW;
  if (options.doubleBuffered) r.dwFlags |= PFD_DOUBLEBUFFER;
  if (options.gdiSupport) r.dwFlags |= PFD_SUPPORT_GDI;
  if (options.stereo) r.dwFlags |= PFD_STEREO;
  r.iPixelType = PFD_TYPE_RGBA;
  r.cColorBits = static_cast<uint8_t>(colourBits);
  r.cAccumBits = static_cast<uint8_t>(accumBits);
  r.cDepthBits = static_cast<uint8_t>(depthBits);
  r.cStencilBits = static_cast<uint8_t>(stencilBits);
  r.cAuxBuffers = static_cast<uint8_t>(auxBuffers);
  r.iLayerType = layer == 0 ? PFD_MAIN_PLANE : layer > 0 ? PFD_OVERLAY_PLANE : PFD_UNDERLAY_PLANE;
  return r;
}

std::vector<PaletteEntry> contextPaletteEntries(const PixelFormatRequest& f) {
  // Palette formats have at most 8 bits; more would mean billions of entries.
  if (f.cColorBits > kMaxPaletteBits) return {};
  const int n = 1 << f.cColorBits;
  auto level = [](int i, int bits, int shift) {
    const int mask = (1 << bits) - 1;
    return static_cast<uint8_t>(mask == 0 ? 0 : ((i >> shift) & mask) * 255 / mask);
  };
  std::vector<PaletteEntry> entries(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    entries[static_cast<size_t>(i)] = {level(i, f.cRedBits, f.cRedShift),
                                       level(i, f.cGreenBits, f.cGreenShift),
                                       level(i, f.cBlueBits, f.cBlueShift), 0};
  }
  return entries;
}

GlBinding::GlBinding(GlPlatform& platform, GlLibraryLoader& loader, GlTable& gl)
    : platform_(platform), loader_(loader), gl_(gl), id_(nextBindingId++) {
  // x86-64 Linux starts with every floating-point exception masked; make sure of it, so a
  // division by zero (say a zero-height panel's aspect ratio) gives an infinity.
  fedisableexcept(FE_ALL_EXCEPT);
}

GlBinding::ThreadState& GlBinding::thread() const {
  thread_local std::unordered_map<uint64_t, ThreadState> states;
  return states[id_];
}

void GlBinding::raiseLastSystemError() {
  throw SystemError(platform_.lastError());
}

ContextHandle GlBinding::openRenderContext(SurfaceHandle dc, ContextOptions options, int colourBits,
                                           int depthBits, int stencilBits, int accumBits,
                                           int auxBuffers, int layer, PaletteHandle& palette) {
  const SurfaceKind kind = platform_.surfaceKind(dc);
  if (kind == SurfaceKind::Invalid) raiseLastSystemError();
  PixelFormatRequest request = pixelFormatRequest(kind, options, colourBits, depthBits, stencilBits,
                                                  accumBits, auxBuffers, layer);
  if (!loadOpenGLLibraries()) throw SystemError(loader_.lastError());
  const int chosen = platform_.choosePixelFormat(dc, request);
  if (chosen == 0) raiseLastSystemError();
  if (platform_.getPixelFormat(dc) != chosen && !platform_.setPixelFormat(dc, chosen, request)) {
    raiseLastSystemError();
  }
  platform_.describePixelFormat(dc, chosen, request);
  palette = (request.dwFlags & PFD_NEED_PALETTE) ? buildContextPalette(dc, request) : nullptr;
  ContextHandle rc = platform_.createContext(dc, layer);
  if (!rc) raiseLastSystemError();
  thread().lastPixelFormat = 0;  // the next activation reads the properties again
  return rc;
}

PaletteHandle GlBinding::buildContextPalette(SurfaceHandle dc, const PixelFormatRequest& format) {
  if (format.cColorBits > kMaxPaletteBits) {
    throw SystemError({"a palette needs a pixel format of at most 8 colour bits"});
  }
  PaletteHandle palette = platform_.createPalette(dc, contextPaletteEntries(format));
  if (!palette) raiseLastSystemError();
  return palette;
}

void GlBinding::makeContextCurrent(SurfaceHandle dc, ContextHandle rc) {
  check(dc != nullptr, "DC must not be 0");
  check(rc != nullptr, "RC must not be 0");
  ThreadState& t = thread();
  if (t.activationDepth == 0) {
    {
      std::lock_guard guard(currentContextsLock_);
      if (std::find(currentContexts_.begin(), currentContexts_.end(), rc) !=
          currentContexts_.end()) {
        throw EOpenGLException("Rendering context already active in another thread.");
      }
      if (!platform_.makeCurrent(dc, rc)) throw EOpenGLException(kMakeCurrentFailed);
      currentContexts_.push_back(rc);
    }
    t.activationDepth = 1;
    const int format = platform_.getPixelFormat(dc);
    if (format != t.lastPixelFormat) {
      platform_.readImplementationProperties();
      t.lastPixelFormat = format;
    }
    return;
  }
  check(platform_.currentSurface() == dc && platform_.currentContext() == rc,
        "Incoherent DC/RC pair.");
  ++t.activationDepth;
}

void GlBinding::releaseContextCurrent() {
  ThreadState& t = thread();
  if (t.activationDepth == 0) return;
  if (--t.activationDepth > 0) return;
  {
    std::lock_guard guard(currentContextsLock_);
    const ContextHandle rc = platform_.currentContext();
    currentContexts_.erase(std::remove(currentContexts_.begin(), currentContexts_.end(), rc),
                           currentContexts_.end());
  }
  if (!platform_.makeCurrent(nullptr, nullptr)) throw EOpenGLException(kMakeCurrentFailed);
}

void GlBinding::deleteRenderContext(ContextHandle rc) {
  check(thread().activationDepth == 0, "Active contexts cannot be deleted.");
  {
    std::lock_guard guard(currentContextsLock_);
    if (std::find(currentContexts_.begin(), currentContexts_.end(), rc) != currentContexts_.end()) {
      throw EOpenGLException(
          "Cannot delete rendering context. It is still in use by another thread.");
    }
  }
  if (!platform_.deleteContext(rc))
    throw EOpenGLException("The OpenGL context could not be deleted.");
}

bool GlBinding::loadOpenGLLibraries() {
  if (loader_.loaded()) return true;
  unloadOpenGLLibraries();
  return loader_.load(gl_);
}

void GlBinding::unloadOpenGLLibraries() {
  loader_.unload(gl_);
  thread().lastPixelFormat = 0;
}

}  // namespace bandscope
