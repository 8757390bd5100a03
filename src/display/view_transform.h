#pragma once
// Where camera-space points land in the window: a perspective and the camera's rotations and
// translations multiplied in the order GL multiplies them, then the viewport. Built by the
// frame tick from the numbers it gives GL, so scene elements can measure in window pixels.
//
// A value type, pure; any thread.

#include <array>
#include <optional>

namespace bandscope {

// A point in GL's window coordinates: x from the viewport's origin rightwards, y upwards
// from the bottom row (a pointer's y counts down from the top: height - y).
struct WindowPoint {
  double x = 0;
  double y = 0;
  double depth = 0;      // 0 at the near plane, 1 at the far plane
  bool inFront = false;  // clip w > 0: before the eye, where GL can place it
};

class ViewTransform {
 public:
  // The identity matrix and viewport (0, 0, 1, 1).
  ViewTransform() = default;

  // Each multiplies the matrix on the right, as the GL call of the same name does the current
  // matrix: the last call applies to points first.
  ViewTransform& perspective(double fovyDegrees, double aspect, double zNear, double zFar);
  ViewTransform& rotate(double degrees, double x, double y, double z);
  ViewTransform& translate(double x, double y, double z);
  ViewTransform& viewport(int x, int y, int width, int height);

  WindowPoint project(double x, double y, double z) const;
  // The point (x, y, 0) of the plane z = 0 that lands on window point (wx, wy), in front of
  // the eye; none when the plane is seen edge-on there or only behind the eye.
  struct PlanePoint {
    double x = 0;
    double y = 0;
  };
  std::optional<PlanePoint> onPlaneZ0(double wx, double wy) const;
  // Whether a window point lies inside the viewport.
  bool inViewport(const WindowPoint& p) const;

  // Column-major, as glGetDoublev gives it.
  const std::array<double, 16>& matrix() const { return m_; }
  const std::array<int, 4>& viewportRect() const { return viewport_; }

 private:
  void multiply(const std::array<double, 16>& b);

  std::array<double, 16> m_{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::array<int, 4> viewport_{0, 0, 1, 1};
};

}  // namespace bandscope
