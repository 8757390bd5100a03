#include "app/run/display_check.h"

#include <gtest/gtest.h>

#include <map>

namespace bandscope {
namespace {

TEST(DisplayCheck, OnlyPlatformsThatAllLackTheirDisplayAreRefused) {
  using Variables = std::map<std::string, std::string>;
  const struct {
    Variables variables;
    const char* why;  // "" when a platform may start
  } cases[] = {{{}, "DISPLAY is not set"},
               {{{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}}, "DISPLAY is not set"},
               {{{"DISPLAY", ":0"}}, ""},
               {{{"QT_QPA_PLATFORM", "XCB:nograb"}}, "DISPLAY is not set"},
               {{{"QT_QPA_PLATFORM", "offscreen"}}, ""},
               {{{"QT_QPA_PLATFORM", "xcb;minimal"}}, ""},
               {{{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}}, "WAYLAND_DISPLAY is not set"},
               {{{"QT_QPA_PLATFORM", "wayland-egl"}, {"XDG_RUNTIME_DIR", "/run/user/1"}}, ""},
               {{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"WAYLAND_DISPLAY", "wayland-1"}}, ""},
               {{{"XDG_SESSION_TYPE", "wayland"}}, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
               {{{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "w"}}, ""},
               {{{"XDG_SESSION_TYPE", "x11"}, {"WAYLAND_DISPLAY", "w"}}, "DISPLAY is not set"},
               {{{"QT_QPA_PLATFORM", ";"}}, ""}};  // Qt's own complaint
  for (const auto& c : cases) {
    const Result<void> display = checkDisplay([&](const char* name) {
      const auto found = c.variables.find(name);
      return found == c.variables.end() ? std::string() : found->second;
    });
    const std::string why = display ? std::string() : display.failure().text;
    std::string context;
    for (const auto& [name, value] : c.variables) context += name + "=" + value + " ";
    EXPECT_EQ(why, c.why) << context;
  }
}

}  // namespace
}  // namespace bandscope
