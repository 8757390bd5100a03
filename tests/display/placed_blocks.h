#pragma once
// Where recorded drawing lands in the window: the model-view calls recorded before each block
// (pushes, pops, translations, rotations) applied to a view as GL applies them, so a test can
// ask what a user sees (inside the picture, nearer the viewer, left of the middle) rather than
// which numbers were passed.
//
// Test code: any thread, on a recorder no longer drawing.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "display/view_transform.h"
#include "support/recording_gl.h"

namespace bandscope::test {

struct PlacedBlock {
  GLenum mode = 0;
  std::vector<WindowPoint> points;
};

// Every block of gl.blocks() with its vertices in window coordinates under view. Lists'
// contents are not replayed: scene elements move only outside them.
inline std::vector<PlacedBlock> placedBlocks(const RecordingGl& gl, const ViewTransform& view) {
  std::vector<ViewTransform> stack{view};
  std::vector<PlacedBlock> out;
  const std::vector<GlCall>& calls = gl.record();
  size_t next = 0;
  for (const Block& b : gl.blocks()) {
    for (; next < b.callIndex && next < calls.size(); ++next) {
      const GlCall& c = calls[next];
      if (c.list != 0) continue;  // only compiled
      if (c.name == "glMatrixMode" || c.name == "glLoadIdentity" || c.name == "glLoadMatrixd") {
        ADD_FAILURE() << c << ": a scene element sets the matrix, not only moves it";
      } else if (c.name == "glPushMatrix") {
        stack.push_back(stack.back());
      } else if (c.name == "glPopMatrix" && stack.size() > 1) {
        stack.pop_back();
      } else if (c.name == "glTranslatef") {
        stack.back().translate(c.args[0], c.args[1], c.args[2]);
      } else if (c.name == "glRotatef") {
        stack.back().rotate(c.args[0], c.args[1], c.args[2], c.args[3]);
      } else if (c.name == "glScalef") {
        ADD_FAILURE() << c << ": scaling is not followed here";
      }
    }
    PlacedBlock p{b.mode, {}};
    for (const Vertex& v : b.vertices) p.points.push_back(stack.back().project(v.x, v.y, v.z));
    out.push_back(std::move(p));
  }
  return out;
}

// The window rectangle the points cover.
struct WindowBox {
  double left = 1e300, right = -1e300, bottom = 1e300, top = -1e300;
  bool empty() const { return left > right; }
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
