#pragma once
// The command line: bandscope [BANDS] [--frames N] [--screenshot PATH], with --help and
// --version. UI thread, before the window exists.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace bandscope {

struct CommandLine {
  std::optional<uint16_t> bandParameter;  // BANDS reduced to 16 bits, as given
  std::optional<int> frames;              // quit after this many frame ticks
  QString screenshot;                     // picture of the last frame, PNG or BMP
};

struct CommandLineResult {
  enum class Outcome { Run, Exit, Error } outcome = Outcome::Run;
  CommandLine line;
  QString message;  // help or version text for Exit, the error and usage for Error
};

// Parses the arguments (the program name first). Not a decimal integer for BANDS, an
// unknown option or a bad value gives Error with a message naming it.
CommandLineResult parseCommandLine(const QStringList& arguments);

// The band count the bar ends up with: the parameter clamped to 8 .. 512, 192 without one.
uint16_t bandCountFor(const CommandLine& line);

}  // namespace bandscope
