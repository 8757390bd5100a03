#include "display/view_transform.h"

#include <cmath>
#include <numbers>

namespace bandscope {

namespace {
constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
}  // namespace

void ViewTransform::multiply(const std::array<double, 16>& b) {
  std::array<double, 16> r{};
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += m_[k * 4 + row] * b[col * 4 + k];
      r[col * 4 + row] = sum;
    }
  }
  m_ = r;
}

ViewTransform& ViewTransform::perspective(double fovyDegrees, double aspect, double zNear,
                                          double zFar) {
  const double f = 1.0 / std::tan(fovyDegrees * kRadiansPerDegree / 2.0);
  const double depth = zNear - zFar;
  multiply({f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (zFar + zNear) / depth, -1, 0, 0,
            2.0 * zFar * zNear / depth, 0});
  return *this;
}

ViewTransform& ViewTransform::rotate(double degrees, double x, double y, double z) {
  const double length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return *this;
  x /= length, y /= length, z /= length;
  const double c = std::cos(degrees * kRadiansPerDegree);
  const double s = std::sin(degrees * kRadiansPerDegree);
  const double t = 1 - c;
  multiply({x * x * t + c, y * x * t + z * s, x * z * t - y * s, 0,  // column 0
            x * y * t - z * s, y * y * t + c, y * z * t + x * s, 0,  // column 1
            x * z * t + y * s, y * z * t - x * s, z * z * t + c, 0,  // column 2
            0, 0, 0, 1});
  return *this;
}

ViewTransform& ViewTransform::translate(double x, double y, double z) {
  multiply({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
  return *this;
}

ViewTransform& ViewTransform::viewport(int x, int y, int width, int height) {
  viewport_ = {x, y, width, height};
  return *this;
}

WindowPoint ViewTransform::project(double x, double y, double z) const {
  double clip[4];
  for (int row = 0; row < 4; ++row) {
    clip[row] = m_[row] * x + m_[4 + row] * y + m_[8 + row] * z + m_[12 + row];
  }
  WindowPoint p;
  p.inFront = clip[3] > 0;
  if (clip[3] == 0) return p;
  const double nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
  p.x = viewport_[0] + (nx + 1) * viewport_[2] / 2.0;
  p.y = viewport_[1] + (ny + 1) * viewport_[3] / 2.0;
  p.depth = (nz + 1) / 2.0;
  return p;
}

std::optional<ViewTransform::PlanePoint> ViewTransform::onPlaneZ0(double wx, double wy) const {
  // With z = 0, clip = M (x, y, 0, 1); window (wx, wy) asks clip x = nx w and clip y = ny w:
  // two linear equations in x and y.
  const auto at = [this](int row, int col) {
    return m_[(static_cast<size_t>(col) * 4) + static_cast<size_t>(row)];
  };
  const double nx = 2.0 * (wx - viewport_[0]) / viewport_[2] - 1;
  const double ny = 2.0 * (wy - viewport_[1]) / viewport_[3] - 1;
  const double a = at(0, 0) - nx * at(3, 0), b = at(0, 1) - nx * at(3, 1);
  const double c = at(1, 0) - ny * at(3, 0), d = at(1, 1) - ny * at(3, 1);
  const double e = nx * at(3, 3) - at(0, 3), f = ny * at(3, 3) - at(1, 3);
  const double det = a * d - b * c;
  if (std::abs(det) < 1e-12) return std::nullopt;
  const PlanePoint p{(e * d - b * f) / det, (a * f - e * c) / det};
  if (!project(p.x, p.y, 0).inFront) return std::nullopt;
  return p;
}

bool ViewTransform::inViewport(const WindowPoint& p) const {
  return p.inFront && p.x >= viewport_[0] && p.x <= viewport_[0] + viewport_[2] &&
         p.y >= viewport_[1] && p.y <= viewport_[1] + viewport_[3] && p.depth >= 0 && p.depth <= 1;
}

}  // namespace bandscope
