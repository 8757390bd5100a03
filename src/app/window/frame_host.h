#pragma once
// What the frame loop (frame_loop.h) asks of the window that shows its picture.
//
// Threads: UI thread only.

#include <exception>

#include "gl/gl_surface.h"

class QString;

namespace bandscope {

// What the loop asks of the window that shows its picture, besides the surface's needs.
class FrameHost : public SurfaceHost {
 public:
  // Shown, not minimised, and the picture exposed: else only the capture's upkeep runs.
  virtual bool pictureSeen() const = 0;
  // The status line as the capture and the last note have it.
  virtual void updateStatus() = 0;
  // A passing note in the status line: the picture goes on.
  virtual void showNote(const QString& text) = 0;
  // Now and then: a window that stays on top comes up again.
  virtual void keepOnTop() = 0;
  // A frame threw: a scripted run ends on it, a window says why and goes on.
  virtual void frameFailed(const std::exception& e) = 0;
};

}  // namespace bandscope
