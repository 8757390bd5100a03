#pragma once
// The frame tick's OpenGL work around the frame routine: viewport and projection of the
// window's client area, the cleared frame, the camera, and reading the finished picture back
// for screenshots.
//
// Threads: UI thread, with the rendering context current.

#include <QImage>
#include <functional>

#include "app/camera.h"
#include "display/view_transform.h"
#include "platform/gl_table.h"

namespace bandscope {

// Viewport (0, 0, width, height) and a 45-degree perspective of that aspect (0.1 .. 100).
// Leaves the projection matrix mode selected.
void setProjection(const GlTable& gl, int width, int height);

struct FrameView {
  int width = 1;  // the window's whole client area in pixels, control strip included
  int height = 1;
  Camera camera;
};

// Where the scene's points land in the window under view's projection and camera: the same
// numbers drawFrameView gives GL.
ViewTransform sceneTransform(const FrameView& view);

// Projection, cleared frame and model-view identity, then drawScene under the camera
// transform, given sceneTransform(view); leaves the model-view matrix the identity.
void drawFrameView(const GlTable& gl, const FrameView& view,
                   const std::function<void(const ViewTransform&)>& drawScene);

// The back buffer's bottom-left width x height pixels as a picture, top row first.
QImage readBackBuffer(const GlTable& gl, int width, int height);

}  // namespace bandscope
