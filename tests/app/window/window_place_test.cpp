#include "app/window/window_place.h"

#include <gtest/gtest.h>

namespace bandscope {
namespace {

TEST(WindowPlace, ARememberedWindowIsFittedToTheScreensThereAreNow) {
  const QRect primary(0, 0, 1024, 740);  // a panel below
  const QRect right(1024, 100, 800, 600);
  const QRect underPanel(0, 40, 1920, 1040);  // a panel above
  const struct {
    const char* name;
    QRect wanted;
    std::vector<QRect> screens;
    QRect fitted;
  } cases[] = {
      {"on the screen", {30, 40, 500, 400}, {primary}, {30, 40, 500, 400}},
      {"partly off, title bar in reach", {900, 600, 500, 400}, {primary}, {900, 600, 500, 400}},
      {"larger than the screen", {0, 0, 32767, 32767}, {primary}, {0, 24, 1024, 716}},
      {"the whole screen, as full screen left it",
       {0, 0, 1920, 1080},
       {underPanel},
       {0, 64, 1920, 1016}},
      {"on a screen that has gone", {30000, 30000, 500, 400}, {primary}, {524, 340, 500, 400}},
      {"title bar above the screen", {100, -30, 500, 400}, {primary}, {100, 24, 500, 400}},
      {"title bar just above the screen", {100, 10, 500, 400}, {primary}, {100, 24, 500, 400}},
      {"title bar off the left edge", {-450, 50, 500, 400}, {primary}, {0, 50, 500, 400}},
      {"on the second screen", {1100, 150, 500, 400}, {primary, right}, {1100, 150, 500, 400}},
      {"larger than the second screen",
       {1030, 100, 2000, 2000},
       {primary, right},
       {1024, 124, 800, 576}},
      {"no screens known", {30000, 30000, 500, 400}, {}, {30000, 30000, 500, 400}}};
  for (const auto& c : cases) EXPECT_EQ(fitToScreens(c.wanted, c.screens), c.fitted) << c.name;
}

}  // namespace
}  // namespace bandscope
