#pragma once
// What the OpenGL binding needs of the platform: pixel formats, rendering contexts on the
// display panel's surface, buffer swaps, and the run-time loading of the GL libraries.
// The program uses the Qt and dlopen implementations; tests script a fake.
//
// Threads: contexts are created and used on the UI thread; makeCurrent and the current-
// context queries concern the calling thread.

#include <cstdint>
#include <string>
#include <vector>

#include "failure/failure.h"
#include "platform/gl_table.h"

namespace bandscope {

using SurfaceHandle = void*;  // the display panel's native surface; nullptr = none
using ContextHandle = void*;  // a rendering context; nullptr = none
using PaletteHandle = void*;  // a logical palette; nullptr = none

// The pixel-format request and description record, with the fields of the record the
// binding's logic was written for.
struct PixelFormatRequest {
  uint16_t nSize = 40;
  uint16_t nVersion = 1;
  uint32_t dwFlags = 0;
  uint8_t iPixelType = 0;
  uint8_t cColorBits = 0;
  uint8_t cRedBits = 0, cRedShift = 0, cGreenBits = 0, cGreenShift = 0;
  uint8_t cBlueBits = 0, cBlueShift = 0, cAlphaBits = 0, cAlphaShift = 0;
  uint8_t cAccumBits = 0;
  uint8_t cDepthBits = 0;
  uint8_t cStencilBits = 0;
  uint8_t cAuxBuffers = 0;
  int8_t iLayerType = 0;
};

inline constexpr uint32_t PFD_DOUBLEBUFFER = 0x01;
inline constexpr uint32_t PFD_STEREO = 0x02;
inline constexpr uint32_t PFD_DRAW_TO_WINDOW = 0x04;
inline constexpr uint32_t PFD_DRAW_TO_BITMAP = 0x08;
inline constexpr uint32_t PFD_SUPPORT_GDI = 0x10;
inline constexpr uint32_t PFD_SUPPORT_OPENGL = 0x20;
inline constexpr uint32_t PFD_NEED_PALETTE = 0x80;
inline constexpr uint8_t PFD_TYPE_RGBA = 0;
inline constexpr int8_t PFD_MAIN_PLANE = 0;
inline constexpr int8_t PFD_OVERLAY_PLANE = 1;
inline constexpr int8_t PFD_UNDERLAY_PLANE = -1;

enum class SurfaceKind { Invalid, Window, MemoryContext, Metafile, EnhancedMetafile };

struct PaletteEntry {
  uint8_t red, green, blue, flags;
};

class GlPlatform {
 public:
  virtual ~GlPlatform() = default;
  virtual SurfaceKind surfaceKind(SurfaceHandle dc) = 0;
  virtual int choosePixelFormat(SurfaceHandle dc,
                                const PixelFormatRequest& request) = 0;  // 0: none
  virtual int getPixelFormat(SurfaceHandle dc) = 0;
  virtual bool setPixelFormat(SurfaceHandle dc, int format, const PixelFormatRequest& request) = 0;
  virtual void describePixelFormat(SurfaceHandle dc, int format, PixelFormatRequest& out) = 0;
  // Creates a logical palette, selects it into dc and realises it; nullptr on failure.
  virtual PaletteHandle createPalette(SurfaceHandle dc,
                                      const std::vector<PaletteEntry>& entries) = 0;
  virtual ContextHandle createContext(SurfaceHandle dc, int layer) = 0;  // nullptr on failure
  // Makes rc current on dc for the calling thread; (nullptr, nullptr) releases.
  virtual bool makeCurrent(SurfaceHandle dc, ContextHandle rc) = 0;
  virtual bool deleteContext(ContextHandle rc) = 0;
  virtual SurfaceHandle currentSurface() = 0;  // the calling thread's
  virtual ContextHandle currentContext() = 0;
  virtual void releaseSurface(SurfaceHandle dc) = 0;
  virtual void swapBuffers(SurfaceHandle dc) = 0;
  // Reads the implementation's version strings after a new pixel format is activated.
  virtual void readImplementationProperties() = 0;
  virtual Failure lastError() = 0;  // the last failed call's: its code 0 where it has none
};

// Loads the GL and GLU libraries and fills a GlTable from them, all or nothing.
class GlLibraryLoader {
 public:
  virtual ~GlLibraryLoader() = default;
  virtual bool loaded() const = 0;
  virtual bool load(GlTable& table) = 0;
  virtual void unload(GlTable& table) = 0;  // closes both and clears every entry
  virtual Failure lastError() const = 0;
};

}  // namespace bandscope
