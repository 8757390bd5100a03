#pragma once
// Where recorded drawing lands in the window: the model-view calls recorded before each block
// (pushes, pops, translations, rotations) applied to a view as GL applies them, so that a
// test asks what a user sees (inside the picture, nearer the viewer, left of the middle)
// rather than which numbers were passed. Test code, on a recorder that has stopped drawing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "display/view_transform.h"
#include "support/recording_gl.h"

namespace bandscope::test {

struct PlacedBlock {
  GLenum mode = 0;
  std::vector<WindowPoint> points;
};

// Every block of gl.blocks(), its vertices in window coordinates under view. Lists are not
// replayed: scene elements move only outside them.
inline std::vector<PlacedBlock> placedBlocks(const RecordingGl& gl, const ViewTransform& view) {
  std::vector<ViewTransform> stack{view};
  std::vector<PlacedBlock> out;
  size_t next = 0;
  for (const Block& b : gl.blocks()) {
    for (; next < b.callIndex; ++next) {
      const GlCall& c = gl.record().at(next);
      if (c.list != 0) continue;  // only compiled
      if (c.name == "glPushMatrix") stack.push_back(stack.back());
      if (c.name == "glPopMatrix" && stack.size() > 1) stack.pop_back();
      if (c.name == "glTranslatef") stack.back().translate(c.args[0], c.args[1], c.args[2]);
      if (c.name == "glRotatef") stack.back().rotate(c.args[0], c.args[1], c.args[2], c.args[3]);
      if (c.name == "glScalef" || c.name == "glLoadIdentity" || c.name == "glMatrixMode") {
        ADD_FAILURE() << c << " is not followed here";
      }
    }
    out.push_back({b.mode, {}});
    for (const Vertex& v : b.vertices)
      out.back().points.push_back(stack.back().project(v.x, v.y, v.z));
  }
  return out;
}

// The same place in the window, to a thousandth of a pixel.
inline bool samePlace(const WindowPoint& a, const WindowPoint& b) {
  return std::abs(a.x - b.x) < 1e-3 && std::abs(a.y - b.y) < 1e-3 &&
         std::abs(a.depth - b.depth) < 1e-7;
}
inline bool samePlaces(const PlacedBlock& a, const PlacedBlock& b) {
  return a.mode == b.mode &&
         std::equal(a.points.begin(), a.points.end(), b.points.begin(), b.points.end(), samePlace);
}

// The window rectangle the points cover.
struct WindowBox {
  double left = 1e300, right = -1e300, bottom = 1e300, top = -1e300;
};
inline WindowBox boxOf(const std::vector<PlacedBlock>& blocks) {
  WindowBox b;
  for (const PlacedBlock& p : blocks) {
    for (const WindowPoint& w : p.points) {
      b.left = std::min(b.left, w.x), b.right = std::max(b.right, w.x);
      b.bottom = std::min(b.bottom, w.y), b.top = std::max(b.top, w.y);
    }
  }
  return b;
}

}  // namespace bandscope::test
