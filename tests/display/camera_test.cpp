#include "display/camera.h"

#include <gtest/gtest.h>

namespace bandscope {
namespace {

constexpr MouseButtons kNone{}, kLeft{true, false, false}, kRight{false, true, false};
constexpr MouseButtons kBoth{true, true, false}, kMiddle{false, false, true};

TEST(Camera, LeftDragDolliesAndTurnsRightDragTiltsAndTurns) {
  Camera c;
  CameraDrag d;
  d.mainDispMouseMove(c, kNone, false, 100, 100);  // no button: only remembered
  EXPECT_FLOAT_EQ(c.cameraYaw, 0);
  d.mainDispMouseDown(kLeft);
  d.mainDispMouseMove(c, kLeft, false, 110, 150);  // measured from the last move seen
  EXPECT_FLOAT_EQ(c.cameraDolly, 1.0f);
  EXPECT_FLOAT_EQ(c.cameraYaw, 1.0f);
  d.mainDispMouseUp();
  d.mainDispMouseDown(kRight);
  d.mainDispMouseMove(c, kRight, false, 100, 170);
  EXPECT_FLOAT_EQ(c.cameraPitch, 2.0f);
  EXPECT_FLOAT_EQ(c.cameraYaw, 0.0f);
  EXPECT_FLOAT_EQ(c.cameraDolly, 1.0f);
}

TEST(Camera, ShiftOrBothButtonsPan) {
  Camera c;
  CameraDrag d;
  d.mainDispMouseDown(kLeft);
  d.mainDispMouseMove(c, kLeft, true, 150, 300);
  EXPECT_FLOAT_EQ(c.cameraPanX, 1.0f);
  EXPECT_FLOAT_EQ(c.cameraPanY, 3.0f);
  EXPECT_FLOAT_EQ(c.cameraYaw, 0);
  // The right button pressed while the left is held: a right drag, which pans with both.
  d.mainDispMouseDown(kBoth);
  EXPECT_EQ(d.dragMode, 2);
  d.mainDispMouseMove(c, kBoth, false, 300, 300);
  EXPECT_FLOAT_EQ(c.cameraPanX, 2.0f);
  EXPECT_FLOAT_EQ(c.cameraPitch, 0);
}

TEST(Camera, ReleasingOneOfTwoButtonsEndsTheDrag) {
  Camera c;
  CameraDrag d;
  d.mainDispMouseDown(kBoth);
  d.mainDispMouseUp();
  d.mainDispMouseMove(c, kLeft, false, 50, 50);  // the other button still held
  EXPECT_EQ(c.cameraYaw, 0);
  EXPECT_EQ(c.cameraDolly, 0);
  d.mainDispMouseDown(kMiddle);
  EXPECT_EQ(d.dragMode, 0) << "the middle button alone starts nothing";
}

TEST(Camera, DoubleClickBringsBackTheStartView) {
  Camera c{10, 20, 3, -4, 5};
  CameraDrag::mainDispDblClick(c);
  EXPECT_EQ(c.cameraPitch, 0);
  EXPECT_EQ(c.cameraYaw, 0);
  EXPECT_EQ(c.cameraPanX, 0);
  EXPECT_EQ(c.cameraPanY, 1.0f);
  EXPECT_EQ(c.cameraDolly, 0);
}

}  // namespace
}  // namespace bandscope
