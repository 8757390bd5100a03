#pragma once
// The display panel's OpenGL surface: created at start-up, torn down and rebuilt around a
// change of the window's stay-on-top style, the z-buffer switch and the resize handler.
//
// Threads: UI thread only.

#include <functional>

#include "app/gl_binding.h"
#include "display/gl_font.h"
#include "platform/gl_table.h"

namespace bandscope {

// What the surface needs of the window that holds the display panel.
class SurfaceHost {
 public:
  virtual ~SurfaceHost() = default;
  virtual void stopTimer() = 0;
  virtual void startTimer() = 0;
  // Applies the stay-on-top check box to the window, keeping its native windows.
  virtual void applyStayOnTop() = 0;
  virtual SurfaceHandle panelSurface() = 0;  // the display panel's current native surface
  virtual bool panelExposed() = 0;
  virtual bool zBufferChecked() = 0;
  // The window's whole client area, control strip included.
  virtual int clientWidth() = 0;
  virtual int clientHeight() = 0;
};

// Builds the bitmap-font lists in the current context and stores their first list and the
// font's metrics.
using FontListMaker =
    std::function<void(const GlTable& gl, GLuint& fontListBase, TextMetrics& metrics)>;

class GlSurface {
 public:
  GlSurface(GlBinding& binding, GlPlatform& platform, const GlTable& gl, SurfaceHost& host,
            FontListMaker makeFontLists);

  // Start-up: context on the panel, made current; depth test, clear colour, font lists.
  void create();
  // Tears the surface down, applies the stay-on-top style and builds it again, at once when
  // the panel is exposed, else at its next expose. Errors propagate; the timer then stays
  // stopped.
  void recreateSurface();
  // The panel's expose event: runs a rebuild that waits for it.
  void panelExposed();
  void zBuffer_CheckBoxClick();
  void mainDispResize();
  void swapBuffers();

  bool hasSurface() const { return surfaceDC != nullptr && renderContext != nullptr; }
  bool rebuildPending() const { return rebuildPending_; }

  SurfaceHandle surfaceDC = nullptr;
  ContextHandle renderContext = nullptr;
  PaletteHandle surfacePalette = nullptr;
  GLuint fontListBase = 0;
  TextMetrics textMetrics;  // of the font in fontListBase's lists

 private:
  void openOnPanel();  // surfaceDC, renderContext, current, depth test, clear colour, fonts
  void rebuild();

  GlBinding& binding_;
  GlPlatform& platform_;
  const GlTable& gl_;
  SurfaceHost& host_;
  FontListMaker makeFontLists_;
  bool rebuildPending_ = false;
};

}  // namespace bandscope
