#include "app/saved_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace bandscope {
namespace {

TEST(SavedSettings, WhatIsSavedComesBackAndTheFolderIsMade) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("new/bandscope.conf"));
  SavedSettings values{"alsa_input.pci, \xc3\xa9 [x]=1",
                       64,
                       16,
                       100,
                       {{"Hz_check", true}, {"rot8_check", false}},
                       QPoint(-5, 7),
                       QSize(500, 400)};
  ASSERT_EQ(saveSettings(path, values), QString());
  const LoadedSettings loaded = loadSettings(path);
  EXPECT_EQ(loaded.warning, QString());
  EXPECT_EQ(loaded.values, values);
  EXPECT_EQ(loadSettings(dir.filePath(QStringLiteral("none.conf"))).warning, QString());
  qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
  EXPECT_EQ(settingsPath(), dir.filePath(QStringLiteral("bandscope/bandscope.conf")));
}

TEST(SavedSettings, ADoubtfulFileIsIgnoredAsAWholeWithOneWarning) {
  const struct {
    QByteArray content;  // "dir" for a folder in its place, "mode" for an unreadable file
    const char* why;
  } cases[] = {{"\x01\x9f\xff garbage\xfe", "it is not text"},
               {"[checks", "it is not an INI file"},
               {"dir", "it is not a file"},
               {"mode", "cannot read it (Permission denied)"},
               {"bands=9999", "bands 9999 is out of range (8 to 512)"},
               {"bands=many", "bands is not a whole number"},
               {"timeScale=3", "timeScale 3 is not a power of two"},
               {"timeScale=256", "timeScale 256 is out of range (1 to 128)"},
               {"sonogramLength=1", "sonogramLength 1 is out of range (2 to 512)"},
               {"source=@Size(1 2)", "source is not a name"},
               {"[checks]\nHz_check=yes", "checks/Hz_check is not true or false"},
               {"[window]\nsize=@Size(0 300)", "window/size is not a window size"},
               {"[window]\nposition=3", "window/position is not a place on the screen"}};
  for (const auto& c : cases) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bandscope.conf"));
    if (c.content == "dir") {
      QDir(dir.path()).mkdir(QStringLiteral("bandscope.conf"));
    } else {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write("bands=64\n[checks]\nrot8_check=true\n[General]\n" + c.content + "\n");
      file.close();
      if (c.content == "mode") {
        if (geteuid() == 0) continue;  // root reads it all the same
        file.setPermissions({});
      }
    }
    const LoadedSettings loaded = loadSettings(path);
    EXPECT_EQ(loaded.warning.toStdString(),
              QStringLiteral("bandscope: ignoring the settings in %1: %2")
                  .arg(path, c.why)
                  .toStdString());
    EXPECT_EQ(loaded.values, SavedSettings{}) << c.why << ": nothing of it is used";
  }
}

TEST(SavedSettings, AFolderInThePlaceOfTheFileGivesOneWarningForTheWholeRun) {
  QTemporaryDir dir;
  QDir(dir.path()).mkdir(QStringLiteral("bandscope.conf"));
  SettingsFile file(dir.filePath(QStringLiteral("bandscope.conf")));
  testing::internal::CaptureStderr();
  EXPECT_EQ(file.read(), SavedSettings{});
  file.write(SavedSettings{});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(saveSettings(dir.filePath(QStringLiteral("bandscope.conf")), {}),
            QStringLiteral("a folder is in its place"));
}

}  // namespace
}  // namespace bandscope
