#include "sound/capture_entries.h"

#include <gtest/gtest.h>

namespace bandscope::sound {
namespace {

// An application's entry gives back its name whatever the name holds; no other name does.
TEST(CaptureEntries, AnApplicationsNameComesBackFromItsEntryAlone) {
  const struct {
    const char* application;
    const char* binary;
  } apps[] = {{"Firefox", "firefox-esr"},
              {"Music: Player", "player"},
              {"no binary", ""},
              {"tab", "odd:binary"},
              {"", "silent"}};
  for (const auto& app : apps) {
    SCOPED_TRACE(app.application);
    const std::string entry = applicationEntryName(app.application, app.binary);
    EXPECT_EQ(applicationOf(entry), std::optional<std::string>(app.application));
    EXPECT_NE(entry, applicationEntryName(app.application, std::string(app.binary) + "x"))
        << "the binary tells two programs of one name apart";
  }
  for (const char* other : {"bandscope_null.monitor", kDefaultOutputName, "", "application"})
    EXPECT_FALSE(applicationOf(other)) << other;
}

}  // namespace
}  // namespace bandscope::sound
