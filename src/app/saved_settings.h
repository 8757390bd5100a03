#pragma once
// What bandscope remembers between runs, in an INI file in the user's config directory
// ($XDG_CONFIG_HOME/bandscope/bandscope.conf): the source by its name, the bars, the strip's
// check boxes by their object names, and the window's place and size. A file that cannot be
// read or holds anything out of place is ignored as a whole, with one warning; the defaults
// are used then.
//
// Threads: UI thread only (QSettings keeps a process-wide cache of the file).

#include <QPoint>
#include <QSize>
#include <QString>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bandscope {

struct ControlPanel;

struct SavedSettings {
  std::string source;  // the chosen source's name; empty: none remembered
  int bandCount = 192;
  int timeScale = 2;                             // 1, 2, 4 ... 128
  int sonoSteps = 64;                            // the sonogram's length
  std::vector<std::pair<QString, bool>> checks;  // object name, checked; only those remembered
  std::optional<QPoint> position;                // the window's frame
  std::optional<QSize> size;

  bool operator==(const SavedSettings&) const = default;
};

struct LoadedSettings {
  SavedSettings values;  // the defaults when the file is missing or ignored
  QString warning;       // why the file was ignored; empty when it was not
};

// The settings file's path in the user's config directory, as the environment names it now.
QString settingsPath();

// A missing file is the first run: defaults, no warning.
LoadedSettings loadSettings(const QString& path);
// Replaces the file, making its folder where needed. Empty, or why it could not be written.
QString saveSettings(const QString& path, const SavedSettings& values);

// What a run writes back: a value it still has as it started with is written as it was
// remembered, so command-line options count for their run only.
SavedSettings keepUnchanged(SavedSettings now, const SavedSettings& started,
                            const SavedSettings& remembered);

// The strip's check boxes: set from the remembered ones, and read for saving.
void applyChecks(const SavedSettings& values, ControlPanel& controls);
std::vector<std::pair<QString, bool>> checksOf(const ControlPanel& controls);

// The settings file of one run: path empty for none (--no-settings). Each step warns on
// standard error, and only the first warning of the run is printed.
class SettingsFile {
 public:
  explicit SettingsFile(QString path) : path_(std::move(path)) {}
  SavedSettings read();
  void write(const SavedSettings& values);

 private:
  void warn(const QString& line);

  QString path_;
  bool warned_ = false;
};

}  // namespace bandscope
