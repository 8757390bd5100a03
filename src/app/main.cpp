// bandscope: real-time audio spectrum analyser.

#include <QApplication>
#include <cstdio>
#include <string>
#include <utility>

#include "app/run/command_line.h"
#include "app/run/display_check.h"
#include "app/run/failure_report.h"
#include "app/run/output_file.h"
#include "app/run/sound_services.h"
#include "app/run/start_guard.h"
#include "app/run/stop_signals.h"
#include "app/version.h"
#include "app/window/form.h"

namespace {

// The files a scripted run writes at its end: one that cannot be written, or that is the
// file read, fails now.
bandscope::Result<void> checkOutputs(const bandscope::CommandLine& line) {
  const std::pair<const std::string&, const char*> outputs[] = {{line.screenshot, "the screenshot"},
                                                                {line.exportCsv, "the CSV file"}};
  for (const auto& [path, what] : outputs) {
    if (path.empty()) continue;
    bandscope::Result<void> writable = bandscope::checkWritable(path);
    if (writable && !line.input.empty() && bandscope::sameFile(path, line.input))
      writable = bandscope::Failure{"it is the input file"};
    if (!writable) {
      return bandscope::Failure{
          std::string("cannot write ") + what + ' ' + path + ": " + writable.failure().text,
          writable.failure().code};
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  // Before any window: a bad command line opens none.
  const bandscope::CommandLineResult parsed =
      bandscope::parseCommandLine(std::vector<std::string>(argv, argv + argc));
  if (parsed.outcome == bandscope::CommandLineResult::Outcome::Error) {
    std::fputs(parsed.message.c_str(), stderr);
    return 2;
  }
  if (parsed.outcome == bandscope::CommandLineResult::Outcome::Exit) {
    std::fputs(parsed.message.c_str(), stdout);
    return 0;
  }
  if (const auto outputs = checkOutputs(parsed.line); !outputs)
    return bandscope::failRun(outputs.failure());
  if (const auto display = bandscope::checkDisplay(); !display)
    return bandscope::failRun(bandscope::noDisplay(display.failure().text));
  // Limits too tight to start end here; where they are tight, start-up is watched.
  if (const auto guarded = bandscope::guardStart(); !guarded)
    return bandscope::failRun(guarded.failure());
  bandscope::watchPlatformStart();  // a display that does not answer: Qt would abort
  QApplication app(argc, argv);
  bandscope::platformStarted();
  QApplication::setApplicationName(QStringLiteral("bandscope"));
  QApplication::setApplicationVersion(QStringLiteral(BANDSCOPE_VERSION));
  const auto opened = bandscope::openSoundServices(parsed.line);
  if (!opened) return bandscope::failRun(opened.failure());
  bandscope::SoundServices* const sound = opened->get();
  // The entry's number counts the server's sources: their list first (a hung server: 2 s).
  if (parsed.line.device) bandscope::awaitDeviceList(*sound, 5000);
  if (const unsigned devices = sound->inputs->numDevs();
      parsed.line.device && static_cast<unsigned>(*parsed.line.device) >= devices) {
    return bandscope::failRun({"there is no input device " + std::to_string(*parsed.line.device) +
                               " (devices: 0 to " + std::to_string(devices - 1) + ")"});
  }
  int status = 0;
  {
    bandscope::TForm1 Form1(parsed.line, *sound);
    Form1.showRemembered();
    // From here a logout, Ctrl+C or a closed terminal ends the run as Ctrl+Q does. Exit, not
    // only close: a dialog open over the window would keep the event loop running.
    const auto caught = bandscope::catchStopSignals(&Form1, [&Form1] {
      Form1.close();
      QCoreApplication::exit(0);
    });
    if (!caught) {
      // Under a tight limit that is the start failing on it: one line naming it, as elsewhere.
      bandscope::endStartIfExhausted("start-up failed");
      bandscope::printFailure("a stop signal will not keep the settings: " + caught.failure().text);
    }
    status = QApplication::exec();
  }
  bandscope::endByStopSignal();  // after the window's end: capture stopped, settings written
  return status;
}
