#include "app/gl_surface.h"

#include <exception>
#include <utility>

namespace bandscope {

GlSurface::GlSurface(GlBinding& binding, GlPlatform& platform, const GlTable& gl, SurfaceHost& host,
                     FontListMaker makeFontLists)
    : binding_(binding),
      platform_(platform),
      gl_(gl),
      host_(host),
      makeFontLists_(std::move(makeFontLists)) {}

void GlSurface::openOnPanel() {
  surfaceDC = host_.panelSurface();
  renderContext = binding_.openRenderContext(surfaceDC, {.doubleBuffered = true}, 32, 24, 0, 0, 0,
                                             0, surfacePalette);
  binding_.makeContextCurrent(surfaceDC, renderContext);
  if (host_.zBufferChecked()) gl_.glEnable(GL_DEPTH_TEST);
  gl_.glClearColor(0, 0, 0, 0);
  makeFontLists_(gl_, fontListBase);
}

void GlSurface::create() {
  openOnPanel();
}

void GlSurface::recreateSurface() {
  host_.stopTimer();
  binding_.releaseContextCurrent();
  binding_.deleteRenderContext(renderContext);
  platform_.releaseSurface(surfaceDC);
  binding_.unloadOpenGLLibraries();
  surfaceDC = nullptr;
  renderContext = nullptr;
  // Drawing into a re-created native window before it is shown again corrupts the GL
  // driver's memory, so then the rebuild waits for the panel's next expose. That expose may
  // already arrive while the style is applied.
  rebuildPending_ = true;
  std::exception_ptr styleError;
  bool recreated = false;
  try {
    recreated = host_.applyStayOnTop();
  } catch (...) {
    styleError = std::current_exception();
  }
  if (rebuildPending_ && !recreated && host_.panelExposed()) rebuild();
  if (styleError) std::rethrow_exception(styleError);
}

void GlSurface::panelExposed() {
  if (rebuildPending_ && host_.panelExposed()) rebuild();
}

void GlSurface::rebuild() {
  rebuildPending_ = false;
  binding_.loadOpenGLLibraries();
  openOnPanel();
  host_.startTimer();
}

void GlSurface::zBuffer_CheckBoxClick() {
  if (!hasSurface()) return;
  if (host_.zBufferChecked()) {
    gl_.glEnable(GL_DEPTH_TEST);
  } else {
    gl_.glDisable(GL_DEPTH_TEST);
  }
}

void GlSurface::mainDispResize() {
  if (!hasSurface()) return;
  const int w = host_.clientWidth();
  const int h = host_.clientHeight();
  gl_.glViewport(0, 0, w, h);
  gl_.glMatrixMode(GL_PROJECTION);
  gl_.glLoadIdentity();
  gl_.gluPerspective(45.0, static_cast<double>(w) / h, 0.1, 100.0);
}

void GlSurface::swapBuffers() {
  if (hasSurface()) platform_.swapBuffers(surfaceDC);
}

}  // namespace bandscope
