#include "gl/gl_surface.h"

#include <exception>
#include <utility>

#include "gl/frame_view.h"

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
  fontListBase = 0;  // the lists of an earlier context are gone with it
  fontPixelRatio_ = host_.pixelRatio();
  makeFontLists_(gl_, fontListBase, textMetrics, fontPixelRatio_);
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
  // A hidden panel has nothing to draw into: the rebuild then waits for its next expose,
  // which may already arrive while the style is applied.
  rebuildPending_ = true;
  std::exception_ptr styleError;
  try {
    host_.applyStayOnTop();
  } catch (...) {
    styleError = std::current_exception();
  }
  if (rebuildPending_ && host_.panelExposed()) rebuild();
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
  setProjection(gl_, host_.clientWidth(), host_.clientHeight());
}

void GlSurface::followPixelRatio() {
  if (!hasSurface()) return;
  const double ratio = host_.pixelRatio();
  if (ratio == fontPixelRatio_) return;
  fontPixelRatio_ = ratio;
  makeFontLists_(gl_, fontListBase, textMetrics, ratio);
}

void GlSurface::swapBuffers() {
  if (hasSurface()) platform_.swapBuffers(surfaceDC);
}

}  // namespace bandscope
