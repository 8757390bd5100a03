#include "app/command_line.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <algorithm>

#include "analysis/band_settings.h"

namespace bandscope {

namespace {

// A decimal integer as the band parameter takes it: optional sign, digits, 32-bit range.
std::optional<int32_t> decimalInteger(const QString& text) {
  static const QRegularExpression form(QStringLiteral("^[+-]?[0-9]+$"));
  if (!form.match(text).hasMatch()) return std::nullopt;
  bool ok = false;
  const qlonglong value = text.toLongLong(&ok);
  if (!ok || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

CommandLineResult parseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Real-time audio spectrum analyser."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("BANDS"),
                               QStringLiteral("Number of frequency bands, 8 to 512 (192)."));
  const QCommandLineOption frames(QStringLiteral("frames"), QStringLiteral("Quit after N frames."),
                                  QStringLiteral("N"));
  const QCommandLineOption screenshot(
      QStringLiteral("screenshot"),
      QStringLiteral("After the last of --frames, save the display to PATH (.png or .bmp)."),
      QStringLiteral("PATH"));
  const QCommandLineOption input(QStringLiteral("input"),
                                 QStringLiteral("Record from the audio FILE (looping)."),
                                 QStringLiteral("FILE"));
  const QCommandLineOption offline(
      QStringLiteral("offline"),
      QStringLiteral(
          "With --input: one buffer of the file before each frame, frames back to back."));
  const QCommandLineOption exportCsv(
      QStringLiteral("export-csv"),
      QStringLiteral("After the last of --frames, write the analysis state to PATH as CSV."),
      QStringLiteral("PATH"));
  const QCommandLineOption mono(QStringLiteral("mono"), QStringLiteral("Start in mono."));
  const QCommandLineOption noPhon(QStringLiteral("no-phon"),
                                  QStringLiteral("Start without the phon boost."));
  const QCommandLineOption timeScale(QStringLiteral("time-scale"),
                                     QStringLiteral("Start at time scale N: 1, 2, 4 ... 128 (2)."),
                                     QStringLiteral("N"));
  const QCommandLineOption device(QStringLiteral("device"),
                                  QStringLiteral("Start on entry N of the device list (0)."),
                                  QStringLiteral("N"));
  for (const QCommandLineOption* o :
       {&frames, &screenshot, &input, &offline, &exportCsv, &mono, &noPhon, &timeScale, &device})
    parser.addOption(*o);

  // A negative band count is a positional argument, not a cluster of short options.
  QStringList options;
  QStringList negatives;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    const bool negativeNumber = i > 0 && a.size() > 1 && a[0] == u'-' && decimalInteger(a);
    (negativeNumber ? negatives : options).append(a);
  }
  if (!negatives.isEmpty()) options << QStringLiteral("--") << negatives;

  // Parsed before the application object exists, so the parser cannot know the name.
  const QString help =
      parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("bandscope"));
  CommandLineResult result;
  auto fail = [&](const QString& why) {
    result.outcome = CommandLineResult::Outcome::Error;
    result.message = QStringLiteral("bandscope: %1\n\n%2").arg(why, help);
    return result;
  };
  if (!parser.parse(options)) return fail(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) {
    result.outcome = CommandLineResult::Outcome::Exit;
    result.message = help;
    return result;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    result.outcome = CommandLineResult::Outcome::Exit;
    result.message = QStringLiteral("bandscope 1.0\n");
    return result;
  }
  const QStringList positional = parser.positionalArguments();
  if (positional.size() > 1)
    return fail(QStringLiteral("unexpected argument '%1'").arg(positional[1]));
  if (!positional.isEmpty()) {
    const auto value = decimalInteger(positional[0]);
    if (!value) {
      return fail(QStringLiteral("'%1' is not a decimal integer band count").arg(positional[0]));
    }
    result.line.bandParameter = static_cast<uint16_t>(static_cast<uint32_t>(*value) & 0xFFFF);
  }
  if (parser.isSet(frames)) {
    const auto n = decimalInteger(parser.value(frames));
    if (!n || *n < 1) return fail(QStringLiteral("--frames needs a positive whole number"));
    result.line.frames = *n;
  }
  if (parser.isSet(screenshot)) {
    result.line.screenshot = parser.value(screenshot);
    const QString lower = result.line.screenshot.toLower();
    if (!lower.endsWith(QStringLiteral(".png")) && !lower.endsWith(QStringLiteral(".bmp"))) {
      return fail(QStringLiteral("--screenshot needs a .png or .bmp file name"));
    }
    if (!result.line.frames) return fail(QStringLiteral("--screenshot needs --frames"));
  }
  result.line.input = parser.value(input);
  result.line.offline = parser.isSet(offline);
  if (result.line.offline && result.line.input.isEmpty())
    return fail(QStringLiteral("--offline needs --input"));
  if (parser.isSet(exportCsv)) {
    result.line.exportCsv = parser.value(exportCsv);
    if (!result.line.frames) return fail(QStringLiteral("--export-csv needs --frames"));
  }
  result.line.mono = parser.isSet(mono);
  result.line.noPhon = parser.isSet(noPhon);
  if (parser.isSet(timeScale)) {
    const auto n = decimalInteger(parser.value(timeScale));
    if (!n || *n < 1 || *n > 128 || (*n & (*n - 1)) != 0)
      return fail(QStringLiteral("--time-scale needs one of 1, 2, 4, 8, 16, 32, 64, 128"));
    result.line.timeScale = *n;
  }
  if (parser.isSet(device)) {
    const auto n = decimalInteger(parser.value(device));
    if (!n || *n < 0) return fail(QStringLiteral("--device needs a device number, 0 or more"));
    result.line.device = *n;
  }
  return result;
}

uint16_t bandCountFor(const CommandLine& line) {
  if (!line.bandParameter) return 192;
  return static_cast<uint16_t>(std::clamp<int>(*line.bandParameter, kMinBands, kMaxBands));
}

}  // namespace bandscope
