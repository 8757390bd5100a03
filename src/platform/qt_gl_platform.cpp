#include "platform/qt_gl_platform.h"

#include <QOpenGLContext>
#include <algorithm>

namespace bandscope {

namespace {

// The one pixel format this platform offers: whatever the panel's QSurfaceFormat gives.
constexpr int kPanelFormat = 1;

QWindow* windowOf(SurfaceHandle dc) {
  return static_cast<QWindow*>(dc);
}
QOpenGLContext* contextOf(ContextHandle rc) {
  return static_cast<QOpenGLContext*>(rc);
}

}  // namespace

QSurfaceFormat surfaceFormatFor(const PixelFormatRequest& r) {
  QSurfaceFormat f;
  f.setRenderableType(QSurfaceFormat::OpenGL);
  f.setProfile(QSurfaceFormat::CompatibilityProfile);
  const int channel = r.cColorBits >= 32 ? 8 : r.cColorBits / 3;
  f.setRedBufferSize(channel);
  f.setGreenBufferSize(channel);
  f.setBlueBufferSize(channel);
  f.setAlphaBufferSize(r.cColorBits >= 32 ? 8 : 0);
  f.setDepthBufferSize(r.cDepthBits);
  f.setStencilBufferSize(r.cStencilBits);
  f.setSwapBehavior((r.dwFlags & PFD_DOUBLEBUFFER) ? QSurfaceFormat::DoubleBuffer
                                                   : QSurfaceFormat::SingleBuffer);
  f.setStereo((r.dwFlags & PFD_STEREO) != 0);
  f.setSwapInterval(1);  // swaps wait for the display's refresh where the driver can
  return f;
}

QSurfaceFormat panelSurfaceFormat() {
  PixelFormatRequest r;
  r.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  r.cColorBits = 32;
  r.cDepthBits = 24;
  return surfaceFormatFor(r);
}

bool QtGlPlatform::fail(const char* text) {
  error_ = {text};
  return false;
}

SurfaceKind QtGlPlatform::surfaceKind(SurfaceHandle dc) {
  QWindow* w = windowOf(dc);
  if (w && w->surfaceType() == QSurface::OpenGLSurface) return SurfaceKind::Window;
  fail("the display panel has no OpenGL surface");
  return SurfaceKind::Invalid;
}

int QtGlPlatform::choosePixelFormat(SurfaceHandle, const PixelFormatRequest& r) {
  const bool supported = (r.dwFlags & PFD_SUPPORT_OPENGL) && (r.dwFlags & PFD_DRAW_TO_WINDOW) &&
                         !(r.dwFlags & PFD_SUPPORT_GDI) && r.iPixelType == PFD_TYPE_RGBA &&
                         r.iLayerType == PFD_MAIN_PLANE;
  if (!supported) {
    fail("no pixel format matches the request");
    return 0;
  }
  chosen_ = surfaceFormatFor(r);
  return kPanelFormat;
}

int QtGlPlatform::getPixelFormat(SurfaceHandle dc) {
  QWindow* w = windowOf(dc);
  return w && w->requestedFormat() == chosen_ ? kPanelFormat : 0;
}

bool QtGlPlatform::setPixelFormat(SurfaceHandle dc, int format, const PixelFormatRequest& r) {
  QWindow* w = windowOf(dc);
  if (!w || format != kPanelFormat) return fail("the pixel format cannot be set");
  // A format only takes effect when the native window is created. Re-creating it here
  // would mean drawing into a window that is not exposed yet, which the GL driver does not
  // survive; the panel asks for the format before it is first shown.
  if (w->handle()) return fail("the display panel was created with another pixel format");
  w->setFormat(surfaceFormatFor(r));
  return true;
}

void QtGlPlatform::describePixelFormat(SurfaceHandle dc, int, PixelFormatRequest& out) {
  const QSurfaceFormat f = windowOf(dc)->format();
  out.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
  if (f.swapBehavior() != QSurfaceFormat::SingleBuffer) out.dwFlags |= PFD_DOUBLEBUFFER;
  if (f.stereo()) out.dwFlags |= PFD_STEREO;
  out.iPixelType = PFD_TYPE_RGBA;
  out.cRedBits = static_cast<uint8_t>(f.redBufferSize());
  out.cGreenBits = static_cast<uint8_t>(f.greenBufferSize());
  out.cBlueBits = static_cast<uint8_t>(f.blueBufferSize());
  out.cAlphaBits = static_cast<uint8_t>(std::max(f.alphaBufferSize(), 0));
  out.cRedShift = 16;
  out.cGreenShift = 8;
  out.cBlueShift = 0;
  out.cAlphaShift = 24;
  out.cColorBits =
      static_cast<uint8_t>(out.cRedBits + out.cGreenBits + out.cBlueBits + out.cAlphaBits);
  out.cDepthBits = static_cast<uint8_t>(std::max(f.depthBufferSize(), 0));
  out.cStencilBits = static_cast<uint8_t>(std::max(f.stencilBufferSize(), 0));
}

PaletteHandle QtGlPlatform::createPalette(SurfaceHandle, const std::vector<PaletteEntry>&) {
  fail("palette-based displays are not supported");
  return nullptr;
}

ContextHandle QtGlPlatform::createContext(SurfaceHandle dc, int layer) {
  if (layer != 0) {
    fail("only the main plane is supported");
    return nullptr;
  }
  auto* context = new QOpenGLContext;
  context->setFormat(windowOf(dc)->format());
  if (!context->create()) {
    delete context;
    fail("cannot create an OpenGL context");
    return nullptr;
  }
  return context;
}

bool QtGlPlatform::makeCurrent(SurfaceHandle dc, ContextHandle rc) {
  if (!dc && !rc) {
    if (QOpenGLContext* current = QOpenGLContext::currentContext()) current->doneCurrent();
    return true;
  }
  if (!dc || !rc) return fail("a surface and a context are both needed");
  if (!contextOf(rc)->makeCurrent(windowOf(dc))) return fail("cannot make the context current");
  return true;
}

bool QtGlPlatform::deleteContext(ContextHandle rc) {
  if (!rc) return fail("no context to delete");
  delete contextOf(rc);
  return true;
}

SurfaceHandle QtGlPlatform::currentSurface() {
  QOpenGLContext* current = QOpenGLContext::currentContext();
  if (!current || !current->surface() || current->surface()->surfaceClass() != QSurface::Window) {
    return nullptr;
  }
  return static_cast<QWindow*>(current->surface());
}

ContextHandle QtGlPlatform::currentContext() {
  return QOpenGLContext::currentContext();
}

void QtGlPlatform::releaseSurface(SurfaceHandle) {}  // Qt keeps no device context to release

void QtGlPlatform::swapBuffers(SurfaceHandle dc) {
  if (QOpenGLContext* current = QOpenGLContext::currentContext())
    current->swapBuffers(windowOf(dc));
}

}  // namespace bandscope
