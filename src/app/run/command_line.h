#pragma once
// The command line: bandscope [BANDS] [--frames N] [--screenshot PATH] [--input FILE
// [--offline]] [--export-csv PATH] [--mono] [--no-phon] [--time-scale N] [--device N]
// [--max-fps N] [--bits N] [--range DB] [--stats] [--no-settings], with --help and --version.
// UI thread, before the window exists.
//
// Arguments are taken as the bytes the system passed: file names reach the file devices
// unchanged, whatever their encoding.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bandscope {

struct CommandLine {
  std::optional<uint16_t> bandParameter;  // BANDS reduced to 16 bits, as given
  std::optional<int> frames;              // quit after this many frame ticks
  std::string screenshot;                 // picture of the last frame, PNG or BMP
  std::string input;                      // record from this audio file instead
  bool offline = false;                   // one buffer of the file per frame, no waiting
  std::string exportCsv;                  // analysis state after the last frame
  bool mono = false;                      // start with the stereo box unchecked
  bool noPhon = false;                    // start with the phon boost unchecked
  std::optional<int> timeScale;           // 1, 2, 4 ... 128; else the remembered one
  std::optional<int> device;              // entry of the device list to start on
  std::optional<int> maxFps;              // drawn frames a second at most, 0: no limit
  std::optional<int> sampleBits;          // 8 or 16; else the remembered one
  std::optional<int> rangeDb;             // 60, 90 or 120; else the remembered one
  bool stats = false;                     // capture figures on standard output each second
  bool noSettings = false;                // neither read nor write the remembered settings
};

struct CommandLineResult {
  enum class Outcome { Run, Exit, Error } outcome = Outcome::Run;
  CommandLine line;
  std::string message;  // help or version text for Exit, the error and usage for Error
};

// Parses the arguments (the program name first). Not a decimal integer for BANDS, an
// unknown or repeated option or a bad value gives Error with a message naming it. A negative
// number is the value of an option before it that takes one, else the band count.
CommandLineResult parseCommandLine(const std::vector<std::string>& arguments);

// The band count the bar ends up with: the parameter clamped to 8 .. 512, 192 without one.
uint16_t bandCountFor(const CommandLine& line);

}  // namespace bandscope
