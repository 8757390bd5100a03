#include "support/gl_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include "display/gl_font.h"

namespace bandscope::test {

bool waitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

PanelHost::PanelHost(int w, int h) : width(w), height(h) {
  panel.setSurfaceType(QSurface::OpenGLSurface);
  panel.setFormat(panelSurfaceFormat());
  panel.resize(w, h);
  panel.show();
}

void PanelHost::applyStayOnTop() {
  panel.setFlag(Qt::WindowStaysOnTopHint, stayOnTop);
  panel.show();
}

GlWindow::GlWindow(int width, int height)
    : host(width, height),
      surface(binding, platform, gl, host,
              [](const GlTable& t, GLuint& base, TextMetrics& metrics, double ratio) {
                createFontLists(t, base, metrics, "Smallfonts", rasteriseGlyphs, ratio);
              }) {
  if (waitFor([&] { return host.panel.isExposed(); })) surface.create();
}

GlWindow::~GlWindow() {
  if (!surface.hasSurface()) return;
  binding.releaseContextCurrent();
  binding.deleteRenderContext(surface.renderContext);
}

Pixels GlWindow::readBack() {
  Pixels pixels(static_cast<size_t>(host.width * host.height));
  gl.glFinish();
  gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.glReadBuffer(GL_BACK);
  gl.glReadPixels(0, 0, host.width, host.height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

}  // namespace bandscope::test
