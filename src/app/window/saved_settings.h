#pragma once
// What bandscope remembers between runs, in an INI file in the user's config directory
// ($XDG_CONFIG_HOME/bandscope/bandscope.conf): the source by its name, the bars, the sample
// width and the 16-bit level range, the strip's other check boxes by their object names, and
// the window's normal place and size (its client area, as it returns to from maximised or full
// screen) apart from whether it was maximised or full screen. A file that cannot be read or holds
// anything out of place is ignored as a whole, with one warning; the defaults are used then. The
// text is ours (settings_text.h); the file is written whole or not at all (output_file.h), and its
// path is bytes as the environment gives them.
//
// Threads: UI thread only.

#include <QPoint>
#include <QSize>
#include <QString>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/band_settings.h"
#include "failure/failure.h"

namespace bandscope {

struct ControlPanel;

enum class WindowState { Normal, Maximized, FullScreen };

struct SavedSettings {
  std::string source;  // the chosen source's name; empty: none remembered
  int bandCount = 192;
  int timeScale = 2;                             // 1, 2, 4 ... 128
  int sonoSteps = 64;                            // the sonogram's length
  std::vector<std::pair<QString, bool>> checks;  // object name, checked; only those remembered
  std::optional<QPoint> position;                // the window's normal client area
  std::optional<QSize> size;
  WindowState windowState = WindowState::Normal;
  int sampleBits = 8;             // 8 or 16
  int rangeDb = kDefaultRangeDb;  // 60, 90 or 120: the 16-bit level axis' depth

  bool operator==(const SavedSettings&) const = default;
};

struct LoadedSettings {
  SavedSettings values;  // the defaults when the file is missing or ignored
  std::string warning;   // why the file was ignored; empty when it was not
};

// The settings file's path in the user's config directory, as the environment names it now;
// empty where there is no home folder.
std::string settingsPath();

// A missing file is the first run: defaults, no warning. A link is followed; anything but a
// regular file at its end is not opened.
LoadedSettings loadSettings(const std::string& path);
// Replaces the file, making its folder where needed and removing stale temporaries of it;
// fails saying why it could not be written.
Result<void> saveSettings(const std::string& path, const SavedSettings& values);

// What a run writes back over the file as it is now (`onDisk`, which another instance may
// have written since): the values this run changed since it `started`, and those the file
// lacks; the rest as the file has them, so command-line options count for their run only.
SavedSettings mergeChanges(const SavedSettings& now, const SavedSettings& started,
                           SavedSettings onDisk);

// The strip's check boxes: set from the remembered ones, and read for saving. The "16 bit"
// box is not among them: the sample width is a setting of its own.
void applyChecks(const SavedSettings& values, ControlPanel& controls);
std::vector<std::pair<QString, bool>> checksOf(const ControlPanel& controls);

// The settings file of one run: path empty for none (--no-settings). Each step warns on
// standard error, and only the first warning of the run is printed.
class SettingsFile {
 public:
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}
  SavedSettings read();
  // What this run changed since it started, written over the file as it is now.
  void write(const SavedSettings& now, const SavedSettings& started);

 private:
  void warn(const std::string& line);

  std::string path_;
  bool warned_ = false;
};

}  // namespace bandscope
