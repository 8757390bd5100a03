#pragma once
// The frame tick's OpenGL work around the frame routine: viewport and projection of the
// window's client area, the cleared frame, the camera, and reading the finished picture back
// for screenshots.
//
// Threads: UI thread, with the rendering context current.

#include <QImage>
#include <functional>

#include "display/camera.h"
#include "display/view_transform.h"
#include "platform/gl_table.h"

namespace bandscope {

// How the scene is framed at a picture's shape. Up to the start window's shape (startAspect)
// it is seen through a vertical field of view of 45 degrees from the start distance. Wider
// shapes would leave black strips beside it: there the eye comes nearer, so that the near
// spectra grow more than the far scopes above them, and the view is narrowed and shifted to
// fit the scene's width and height, in full from 16:9 on and in part between.
struct FrameFit {
  double fovy = 45;      // degrees, vertical
  double lensShift = 0;  // of the picture's centre, in its half heights, upwards
  float approach = 0;    // how much nearer the eye is than at the start
};
FrameFit frameFit(double aspect, double startAspect);

// Viewport (0, 0, width, height) and the perspective of frameFit (0.1 .. 100). Leaves the
// projection matrix mode selected. startAspect 0: the start framing at every shape.
void setProjection(const GlTable& gl, int width, int height, double startAspect = 0);

struct FrameView {
  int width = 1;  // the window's whole client area in pixels, control strip included
  int height = 1;
  Camera camera;
  double startAspect = 0;  // the viewport's width / height at the start size; 0: not widened
};

// The share of the scene's landmarks (its spectra, scopes and sonogram) that lands in the
// viewport under view; below kLostViewShare the picture shows the way back to the start view.
double sceneShareInView(const FrameView& view);
inline constexpr double kLostViewShare = 0.25;

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
