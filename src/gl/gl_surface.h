#pragma once
// The display panel's OpenGL surface: created at start-up, torn down and rebuilt around a
// change of the window's stay-on-top style, the z-buffer switch and the resize handler.
//
// Threads: UI thread only.

#include <functional>

#include "display/gl_font.h"
#include "gl/gl_binding.h"
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
  // Device pixels per logical pixel of the display panel (its screen's, which can change when
  // the window moves to another screen).
  virtual double pixelRatio() = 0;
};

// Builds the bitmap-font lists in the current context for a device pixel ratio and stores
// their first list and the font's metrics; with fontListBase not 0, compiles those lists anew.
using FontListMaker = std::function<void(const GlTable& gl, GLuint& fontListBase,
                                         TextMetrics& metrics, double pixelRatio)>;

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
  // Builds the font again when the panel's device pixel ratio is no longer the one it was
  // built for, so text keeps its size and sharpness on another screen.
  void followPixelRatio();
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
  double fontPixelRatio_ = 1;  // the ratio the font lists were built for
  bool rebuildPending_ = false;
};

}  // namespace bandscope
