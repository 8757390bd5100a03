#include "app/window/saved_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/window/settings_text.h"

namespace bandscope {
namespace {

TEST(SavedSettings, WhatIsSavedComesBackAndTheFolderIsMade) {
  QTemporaryDir dir;
  // A config folder whose name is in no encoding: its bytes are kept.
  const std::string config = dir.path().toStdString() + "/\xff\xfe";
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
  const std::string path = settingsPath();
  EXPECT_EQ(path, config + "/bandscope/bandscope.conf");
  const std::string source = "alsa_input.pci, \xc3\xa9 [x]=1";
  SavedSettings values{
      source,         64, 16, 100, {{"Hz_check", true}, {"rot8_check", false}}, QPoint(-5, 7),
      QSize(500, 400)};
  values.sampleBits = 16;
  values.rangeDb = 120;
  values.windowState = WindowState::FullScreen;
  const char* names[] = {source.c_str(), "@at its start", " spaced ", "q\"b\\s\0017;",
                         "application:player:Tab #1: a, b\n=c"};  // an application, any name
  for (const char* name : names) {
    values.source = name;
    ASSERT_TRUE(saveSettings(path, values));
    const LoadedSettings loaded = loadSettings(path);
    EXPECT_EQ(loaded.warning, "");
    EXPECT_EQ(loaded.values, values);
  }
  EXPECT_EQ(loadSettings(dir.filePath(QStringLiteral("none.conf")).toStdString()).warning, "");
  // As earlier versions wrote it through QSettings.
  const std::string written =
      "[General]\nbands=64\nsonogramLength=100\nsource=\"alsa_input.pci, \xc3\xa9 [x]=1\"\n"
      "timeScale=16\n\n[checks]\nHz_check=true\nrot8_check=false\n\n[window]\n"
      "position=@Point(-5 7)\nsize=@Size(500 400)\n";
  SavedSettings read;
  EXPECT_TRUE(parseSettings(written, read));
  values.source = source;
  values.sampleBits = 8;  // not in the file: the defaults
  values.rangeDb = kDefaultRangeDb;
  values.windowState = WindowState::Normal;
  EXPECT_EQ(read, values);
  for (const auto state : {WindowState::Maximized, WindowState::Normal}) {
    values.windowState = state;
    SavedSettings back;
    EXPECT_TRUE(parseSettings(formatSettings(values), back));
    EXPECT_EQ(back, values);
  }
  std::filesystem::remove_all(config);  // QTemporaryDir cannot name it
}

TEST(SavedSettings, ADoubtfulFileIsIgnoredAsAWholeWithOneWarning) {
  // A QVariant in a QVariant ... 50,000 deep (Qt 4 streams), all in escapes: plain ASCII.
  // QSettings' loader recursed through it until the stack overflowed.
  QByteArray nested = "bands=@Variant(";
  for (int i = 0; i < 50'000; ++i) nested += "\\0\\0\\0\\x8a";
  nested += "\\0\\0\\0\\x2\\0\\0\\0\\x5)";
  const struct {
    QByteArray content;  // "dir" for a folder in its place, "mode" for an unreadable file
    const char* why;
  } cases[] = {
      {"\x01\x9f\xff garbage\xfe", "it is not text"},
      {"[checks", "it is not an INI file"},
      {"dir", "it is a folder"},
      {"mode", "cannot read it (Permission denied)"},
      {"bands=9999", "bands 9999 is out of range (8 to 512)"},
      {"bands=4294967304", "bands 4294967304 is out of range (8 to 512)"},
      {"bands=-4294967040", "bands -4294967040 is out of range (8 to 512)"},
      {"bands=2147483648", "bands 2147483648 is out of range (8 to 512)"},
      {"bands=99999999999999999999", "bands 99999999999999999999 is out of range (8 to 512)"},
      {"bands=many", "bands is not a whole number"},
      {"bands=6 4", "bands is not a whole number"},
      {nested, "bands is not a whole number"},
      {"timeScale=3", "timeScale 3 is not a power of two"},
      {"timeScale=256", "timeScale 256 is out of range (1 to 128)"},
      {"sonogramLength=1", "sonogramLength 1 is out of range (2 to 512)"},
      {"bits=12", "bits 12 is not 8 or 16"},
      {"bits=24", "bits 24 is out of range (8 to 16)"},
      {"bits=sixteen", "bits is not a whole number"},
      {"range=0", "range 0 is out of range (60 to 120)"},
      {"range=100", "range 100 is not 60, 90 or 120"},
      {"range=@Size(1 2)", "range is not a whole number"},
      {"source=@Size(1 2)", "source is not a name"},
      {"source=a, b", "source is not a name"},
      {"source=\"a\\q\"", "source is not a name"},
      {"[checks]\nHz_check=yes", "checks/Hz_check is not true or false"},
      {"[window]\nsize=@Size(0 300)", "window/size is not a window size"},
      {"[window]\nsize=@Size(40000 300)", "window/size is not a window size"},
      {"[window]\nposition=3", "window/position is not a place on the screen"},
      {"[window]\nposition=@Point(1 2 3)", "window/position is not a place on the screen"},
      {"[window]\nstate=minimized", "window/state is not normal, maximized or fullscreen"},
      {"[window]\nstate=@Size(1 2)", "window/state is not normal, maximized or fullscreen"}};
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
    const LoadedSettings loaded = loadSettings(path.toStdString());
    EXPECT_EQ(loaded.warning,
              "bandscope: ignoring the settings in " + path.toStdString() + ": " + c.why);
    EXPECT_EQ(loaded.values, SavedSettings{}) << c.why << ": nothing of it is used";
  }
}

// Nothing but a regular file is read or replaced, whether in the file's place or at the end of
// its link: the run neither waits on a named pipe nor writes a device, and says so once.
TEST(SavedSettings, ANonFileInThePlaceOfTheFileGivesOneWarningAndStaysAsItWas) {
  const struct {
    const char* made;  // at "thing", in the settings file's folder
    bool linked;       // the settings file a link to it, else it in the file's place
    const char* why;
  } cases[] = {{"folder", false, "it is a folder"},
               {"fifo", false, "it is a named pipe"},
               {"fifo", true, "it is a named pipe"},
               {"device", true, "it is a character device"}};
  for (const auto& c : cases) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/bandscope.conf";
    const std::string thing = c.linked ? dir.path().toStdString() + "/thing" : path;
    const int made = std::string(c.made) == "folder" ? mkdir(thing.c_str(), 0700)
                     : std::string(c.made) == "fifo"
                         ? mkfifo(thing.c_str(), 0600)
                         : mknod(thing.c_str(), S_IFCHR | 0600, makedev(1, 7));
    if (made != 0) continue;  // a device node needs root
    if (c.linked) {
      ASSERT_EQ(symlink("thing", path.c_str()), 0);
    }
    struct stat before {};
    ASSERT_EQ(lstat(thing.c_str(), &before), 0);
    SettingsFile file(path);
    testing::internal::CaptureStderr();
    EXPECT_EQ(file.read(), SavedSettings{});
    file.write(SavedSettings{}, SavedSettings{});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "bandscope: ignoring the settings in " + path + ": " + c.why + "\n");
    const Result<void> saved = saveSettings(path, {});
    ASSERT_FALSE(saved) << c.why;
    EXPECT_EQ(saved.failure().text, c.why);
    struct stat after {};
    ASSERT_EQ(lstat(thing.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << c.why;
    EXPECT_EQ(after.st_mode, before.st_mode) << c.why;
    EXPECT_EQ(after.st_rdev, before.st_rdev) << c.why;
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                  .size(),
              c.linked ? 2 : 1)
        << c.why << ": no temporary left";
  }
}

}  // namespace
}  // namespace bandscope
