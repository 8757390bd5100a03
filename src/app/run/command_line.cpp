#include "app/run/command_line.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

#include "analysis/band_settings.h"
#include "app/version.h"

namespace bandscope {

namespace {

// A decimal integer as the band parameter takes it: optional sign, digits, 32-bit range,
// and at most one trailing line feed.
std::optional<int32_t> decimalInteger(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  std::string_view digits = text;
  if (digits.starts_with('+') || digits.starts_with('-')) digits.remove_prefix(1);
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  int64_t value = 0;
  if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ec != std::errc())
    return std::nullopt;
  if (text.starts_with('-')) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// Stores the value in `to` when it is a decimal integer that fits; else the complaint.
template <typename T>
const char* storeInteger(const std::string& value, T& to, bool (*fits)(int32_t),
                         const char* complaint) {
  const auto n = decimalInteger(value);
  if (!n || !fits(*n)) return complaint;
  to = *n;
  return nullptr;
}

// Takes an option's value into the line: nullptr when it fits, else what is wrong with it.
using Apply = const char* (*)(const std::string& value, CommandLine& line);

// A switch that only sets its flag.
template <bool CommandLine::*flag>
const char* setFlag(const std::string&, CommandLine& line) {
  line.*flag = true;
  return nullptr;
}

struct Option {
  char shortName;              // '\0' for none
  std::string_view name;       // without the dashes
  std::string_view valueName;  // empty for a switch
  std::string_view help;
  Apply apply;  // nullptr for the options the parser answers itself
};

// In the order of the help and of the checks: the later ones look at what the earlier set.
constexpr Option kOptions[] = {
    {'h', "help", "", "Displays help on commandline options.", nullptr},
    {'\0', "help-all", "", "Displays help including Qt specific options.",
     nullptr},  // the same help: there are no Qt options to add
    {'v', "version", "", "Displays version information.", nullptr},
    {'\0', "frames", "N", "Quit after N frames.",
     [](const std::string& value, CommandLine& line) {
       return storeInteger(
           value, line.frames, [](int32_t n) { return n >= 1; },
           "--frames needs a positive whole number");
     }},
    {'\0', "screenshot", "PATH",
     "After the last of --frames, save the display to PATH (.png or .bmp).",
     [](const std::string& value, CommandLine& line) -> const char* {
       std::string suffix = value.substr(value.size() - std::min<size_t>(value.size(), 4));
       std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                      [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
       if (suffix != ".png" && suffix != ".bmp")
         return "--screenshot needs a .png or .bmp file name";
       if (!line.frames) return "--screenshot needs --frames";
       line.screenshot = value;
       return nullptr;
     }},
    {'\0', "input", "FILE", "Record from the audio FILE (looping).",
     [](const std::string& value, CommandLine& line) -> const char* {
       if (value.empty()) return "--input needs a file name";
       line.input = value;
       return nullptr;
     }},
    {'\0', "offline", "",
     "With --input: one buffer of the file before each frame, frames back to back.",
     [](const std::string&, CommandLine& line) -> const char* {
       if (line.input.empty()) return "--offline needs --input";
       line.offline = true;
       return nullptr;
     }},
    {'\0', "export-csv", "PATH",
     "After the last of --frames, write the analysis state to PATH as CSV.",
     [](const std::string& value, CommandLine& line) -> const char* {
       if (value.empty()) return "--export-csv needs a file name";
       if (!line.frames) return "--export-csv needs --frames";
       line.exportCsv = value;
       return nullptr;
     }},
    {'\0', "mono", "", "Start in mono.", setFlag<&CommandLine::mono>},
    {'\0', "no-phon", "", "Start without the phon boost.", setFlag<&CommandLine::noPhon>},
    {'\0', "time-scale", "N", "Start at time scale N: 1, 2, 4 ... 128 (2).",
     [](const std::string& value, CommandLine& line) {
       return storeInteger(
           value, line.timeScale,
           [](int32_t n) { return n >= 1 && n <= 128 && (n & (n - 1)) == 0; },
           "--time-scale needs one of 1, 2, 4, 8, 16, 32, 64, 128");
     }},
    {'\0', "device", "N", "Start on entry N of the device list (0).",
     [](const std::string& value, CommandLine& line) {
       return storeInteger(
           value, line.device, [](int32_t n) { return n >= 0; },
           "--device needs a device number, 0 or more");
     }},
    {'\0', "max-fps", "N",
     "Draw at most N frames a second, 0 for no limit (the display's rate; 60 where unknown).",
     [](const std::string& value, CommandLine& line) {
       return storeInteger(
           value, line.maxFps, [](int32_t n) { return n >= 0 && n <= 1000; },
           "--max-fps needs a whole number from 0 to 1000");
     }},
    {'\0', "bits", "N", "Record N-bit samples: 8 or 16 (8).",
     [](const std::string& value, CommandLine& line) {
       return storeInteger(
           value, line.sampleBits, [](int32_t n) { return n == 8 || n == 16; },
           "--bits needs 8 or 16");
     }},
    {'\0', "range", "DB",
     "With 16-bit samples, show levels down to DB below a full-scale sine: 60, 90 or 120 (90).",
     [](const std::string& value, CommandLine& line) {
       return storeInteger(
           value, line.rangeDb, [](int32_t n) { return isValidRange(n); },
           "--range needs one of 60, 90, 120 (dB)");
     }},
    {'\0', "stats", "",
     "Print the capture's figures (blocks received, recording or not) and the frames drawn once "
     "a second.",
     setFlag<&CommandLine::stats>},
    {'\0', "no-settings", "", "Neither read nor save the settings remembered between runs.",
     setFlag<&CommandLine::noSettings>},
};
constexpr size_t kOptionCount = std::size(kOptions);
constexpr std::string_view kBandsName = "BANDS";
constexpr std::string_view kBandsHelp = "Number of frequency bands, 8 to 512 (192).";

std::string namesOf(const Option& o) {
  std::string names = o.shortName ? std::string{'-', o.shortName, ',', ' '} : std::string();
  names.append("--").append(o.name);
  if (!o.valueName.empty()) names.append(" <").append(o.valueName).append(">");
  return names;
}

// One entry of the help: the names in a column of their own, the text wrapped beside them
// at word boundaries within 79 columns.
void appendEntry(std::string& text, std::string names, size_t nameWidth, std::string_view help) {
  const size_t width = 79 - (2 + nameWidth + 1);
  names.resize(nameWidth, ' ');
  while (!help.empty()) {
    size_t cut = help.size();
    if (cut > width) {
      cut = help.rfind(' ', width);
      if (cut == std::string_view::npos || cut == 0) cut = width;
    }
    text.append("  ").append(names).append(" ").append(help.substr(0, cut)).append("\n");
    names.assign(nameWidth, ' ');
    help.remove_prefix(cut);
    if (help.starts_with(' ')) help.remove_prefix(1);
  }
}

std::string helpText() {
  size_t nameWidth = 0;
  for (const Option& o : kOptions) nameWidth = std::max(nameWidth, namesOf(o).size());
  nameWidth = std::min<size_t>(nameWidth + 1, 50);
  std::string text =
      "Usage: bandscope [options] BANDS\nReal-time audio spectrum analyser.\n\nOptions:\n";
  for (const Option& o : kOptions) appendEntry(text, namesOf(o), nameWidth, o.help);
  text += "\nArguments:\n";
  appendEntry(text, std::string(kBandsName), nameWidth, kBandsHelp);
  return text;
}

// A negative number is a value or a band count, not a cluster of short options.
bool isNegativeNumber(std::string_view argument) {
  return argument.size() > 1 && argument[0] == '-' && decimalInteger(argument);
}

// The arguments sorted out: which options came with which value, the positional ones, and
// what was wrong.
struct Scan {
  std::optional<std::string> values[kOptionCount];  // the value of each option given
  std::vector<std::string> positional;
  std::vector<std::string> unknown;
  std::string valueError;            // the last missing or unexpected value
  const Option* repeated = nullptr;  // the first option given twice

  // The option of that name, marked as given; nullptr, and noted, when there is none.
  const Option* found(std::string_view name) {
    for (size_t k = 0; k < kOptionCount; ++k) {
      const Option& o = kOptions[k];
      if (o.name == name || (name.size() == 1 && o.shortName == name[0])) {
        if (values[k] && !repeated) repeated = &o;
        if (!values[k]) values[k].emplace();
        return &o;
      }
    }
    unknown.emplace_back(name);
    return nullptr;
  }

  std::optional<std::string>& valueOf(const Option& o) { return values[&o - kOptions]; }

  // The value of an option given as `argument`: after its '=', else the next argument.
  void takeValue(const Option& o, std::string_view argument,
                 const std::vector<std::string_view>& arguments, size_t& i) {
    const size_t assign = argument.find('=');
    if (o.valueName.empty()) {
      if (assign != std::string_view::npos) {
        valueError = "Unexpected value after '" + std::string(argument.substr(0, assign)) + "'.";
      }
    } else if (assign != std::string_view::npos) {
      valueOf(o) = argument.substr(assign + 1);
    } else if (i + 1 < arguments.size()) {
      valueOf(o) = arguments[++i];
    } else {
      valueError = "Missing value after '" + std::string(argument) + "'.";
    }
  }

  // A cluster of one-letter options: a letter that takes a value takes the rest of the
  // cluster, or else the next argument. A letter is a byte with its UTF-8 continuation bytes.
  void takeCluster(std::string_view argument, const std::vector<std::string_view>& arguments,
                   size_t& i) {
    const Option* last = nullptr;
    for (size_t pos = 1; pos < argument.size();) {
      size_t length = 1;
      while (pos + length < argument.size() && (argument[pos + length] & 0xC0) == 0x80) ++length;
      last = found(argument.substr(pos, length));
      pos += length;
      if (!last) continue;
      const bool more = pos < argument.size();
      if (!last->valueName.empty() && more) {
        valueOf(*last) = argument.substr(argument[pos] == '=' ? pos + 1 : pos);
        return;
      }
      if (!last->valueName.empty() || (more && argument[pos] == '=')) break;
    }
    if (last) takeValue(*last, argument, arguments, i);
  }

  void take(const std::vector<std::string_view>& arguments) {
    bool positionalOnly = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
      const std::string_view a = arguments[i];
      if (positionalOnly || a == "-" || !a.starts_with('-') || isNegativeNumber(a)) {
        positional.emplace_back(a);
      } else if (a == "--") {
        positionalOnly = true;
      } else if (a.starts_with("--")) {
        const std::string_view name = a.substr(2, a.find('=') - 2);
        if (const Option* o = found(name)) takeValue(*o, a, arguments, i);
      } else {
        takeCluster(a, arguments, i);
      }
    }
  }

  std::string error() const {
    if (!valueError.empty()) return valueError;
    if (unknown.size() == 1) return "Unknown option '" + unknown[0] + "'.";
    if (unknown.empty()) {
      return repeated ? "--" + std::string(repeated->name) + " given more than once" : "";
    }
    std::string list = unknown[0];
    for (size_t k = 1; k < unknown.size(); ++k) list += ", " + unknown[k];
    return "Unknown options: " + list + ".";
  }

  bool isSet(std::string_view name) const {
    for (size_t k = 0; k < kOptionCount; ++k)
      if (kOptions[k].name == name) return values[k].has_value();
    return false;
  }
};

}  // namespace

CommandLineResult parseCommandLine(const std::vector<std::string>& arguments) {
  Scan scan;
  scan.take(std::vector<std::string_view>(arguments.begin(), arguments.end()));

  CommandLineResult result;
  auto fail = [&](std::string_view why) {
    result.outcome = CommandLineResult::Outcome::Error;
    result.message = "bandscope: " + std::string(why) + "\n\n" + helpText();
    return result;
  };
  auto finish = [&](std::string text) {
    result.outcome = CommandLineResult::Outcome::Exit;
    result.message = std::move(text);
    return result;
  };
  if (const std::string why = scan.error(); !why.empty()) return fail(why);
  if (scan.isSet("help") || scan.isSet("help-all")) return finish(helpText());
  if (scan.isSet("version")) return finish("bandscope " BANDSCOPE_VERSION "\n");
  const std::vector<std::string>& positional = scan.positional;
  if (positional.size() > 1) return fail("unexpected argument '" + positional[1] + "'");
  if (!positional.empty()) {
    const auto value = decimalInteger(positional[0]);
    if (!value) return fail("'" + positional[0] + "' is not a decimal integer band count");
    result.line.bandParameter = static_cast<uint16_t>(static_cast<uint32_t>(*value) & 0xFFFF);
  }
  for (size_t k = 0; k < kOptionCount; ++k) {
    const auto& value = scan.values[k];
    if (!kOptions[k].apply || !value) continue;
    if (const char* why = kOptions[k].apply(*value, result.line)) return fail(why);
  }
  return result;
}

uint16_t bandCountFor(const CommandLine& line) {
  if (!line.bandParameter) return 192;
  return static_cast<uint16_t>(std::clamp<int>(*line.bandParameter, kMinBands, kMaxBands));
}

}  // namespace bandscope
