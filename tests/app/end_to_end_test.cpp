// The real program end to end, under the test's own Xvfb and private sound server: live
// capture of a tone played into the null sink, deterministic offline runs from a file checked
// against the analysis library, the program without a sound server or with one that never
// answers, bad inputs, and the server dying or stopping under a running window (the UI
// thread's longest stall measured); and a scripted run on a private headless Wayland
// compositor (its own ctest case: it needs no X server).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

#include "analysis/band_processing.h"
#include "analysis/sample_buffer.h"
#include "app/csv_export.h"
#include "app/form.h"
#include "sound/pulse_wave.h"
#include "support/gl_window.h"
#include "support/pulse_daemon.h"
#include "support/pulse_test_helpers.h"
#include "support/sound_fixture.h"

namespace bandscope {
namespace {

// 8-bit unsigned stereo PCM in a WAV file.
void writeWav(const QString& path, const std::vector<std::uint8_t>& frames,
              std::uint32_t rate = 44100) {
  std::ofstream f(path.toStdString(), std::ios::binary);
  auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
  const auto bytes = static_cast<std::uint32_t>(frames.size());
  f.write("RIFF", 4);
  u32(36 + bytes);
  f.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(rate);
  u32(2 * rate);
  u16(2);
  u16(8);
  f.write("data", 4);
  u32(bytes);
  f.write(reinterpret_cast<const char*>(frames.data()), bytes);
}

// Left: a tone, right: another one, both over deterministic noise.
std::vector<std::uint8_t> twoTones(int frames, double leftHz, double rightHz, double rightLevel) {
  std::vector<std::uint8_t> bytes;
  std::uint32_t noise = 12345;
  for (int i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const double n = static_cast<double>(noise >> 24) / 255.0 - 0.5;
    const double t = i / 44100.0;
    bytes.push_back(static_cast<std::uint8_t>(
        std::lrint(128 + 90 * std::sin(6.283185307 * leftHz * t) + 8 * n)));
    bytes.push_back(static_cast<std::uint8_t>(
        std::lrint(128 + rightLevel * std::sin(6.283185307 * rightHz * t) + 8 * n)));
  }
  return bytes;
}

// The UI thread's longest stall while it lives: the largest gap between the firings of a 10 ms
// timer, the time since the last one included.
class StallProbe {
 public:
  StallProbe() {
    clock_.start();
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { note(); });
    timer_.start(10);
  }
  double longestMs() {
    note();
    return double(longest_) / 1e6;
  }

 private:
  void note() {
    const qint64 now = clock_.nsecsElapsed();
    longest_ = std::max(longest_, now - last_);
    last_ = now;
  }
  QElapsedTimer clock_;
  QTimer timer_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
};

// PULSE_SERVER for a scope; the old value (or none) comes back after.
struct PulseServerFor {
  explicit PulseServerFor(const std::string& server) : old(qgetenv("PULSE_SERVER")) {
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server));
  }
  ~PulseServerFor() { old.isNull() ? qunsetenv("PULSE_SERVER") : qputenv("PULSE_SERVER", old); }
  QByteArray old;
};

struct ProgramRun {
  int exitCode = -1;
  QString errors;
  qint64 ms = 0;  // from its start to its end
};

// `inChild` runs in the child between fork and exec: the place to set its limits.
ProgramRun runProgram(
    const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    int timeoutMs = 60000, const std::function<void()>& inChild = {}) {
  QProcess program;
  program.setProcessEnvironment(environment);
  if (inChild) program.setChildProcessModifier(inChild);
  QElapsedTimer clock;
  clock.start();
  program.start(QStringLiteral(BANDSCOPE_BINARY), arguments);
  ProgramRun run;
  if (!program.waitForFinished(timeoutMs)) {
    program.kill();
    program.waitForFinished();
    ADD_FAILURE() << "bandscope did not finish: " << arguments.join(' ').toStdString();
    return run;
  }
  run.ms = clock.elapsed();
  run.errors = QString::fromLocal8Bit(program.readAllStandardError());
  run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
  return run;
}

std::string readFile(const QString& path) {
  std::ifstream f(path.toStdString(), std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

struct Row {
  int channel, band, hz, level;
};
std::vector<Row> rowsOf(const std::string& csv) {
  std::vector<Row> rows;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    Row r{};
    if (std::sscanf(line.c_str(), "%d,%d,%d,%d", &r.channel, &r.band, &r.hz, &r.level) == 4)
      rows.push_back(r);
  }
  return rows;
}

struct Offline {
  const char* name;
  QStringList options;
  int bands;
  int timeScale;
  bool stereo, phon;
};

TEST(EndToEnd, OfflineFileRunsMatchTheAnalysisOfTheSameBuffers) {
  QTemporaryDir dir;
  const QString wav = dir.filePath(QStringLiteral("tones.wav"));
  const auto frames = twoTones(44100, 1000, 3000, 60);
  writeWav(wav, frames);
  constexpr int kFrames = 40;
  const Offline runs[] = {{"defaults", {}, 192, 2, true, true},
                          {"mono", {"--mono"}, 192, 2, false, true},
                          {"no-phon", {"--no-phon"}, 192, 2, true, false},
                          {"time-scale 1", {"--time-scale", "1"}, 192, 1, true, true},
                          {"time-scale 8", {"--time-scale", "8"}, 192, 8, true, true},
                          {"8 bands", {"8"}, 8, 2, true, true},
                          {"37 bands", {"37"}, 37, 2, true, true},
                          {"512 bands", {"512"}, 512, 2, true, true}};
  for (const Offline& r : runs) {
    SCOPED_TRACE(r.name);
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    QStringList args{"--input",      wav, "--offline", "--frames", QString::number(kFrames),
                     "--export-csv", csv};
    args << r.options;
    const ProgramRun run = runProgram(args);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();

    // The same buffers through the library: one block of 512 frames before each frame.
    auto model = std::make_unique<FrameModel>();
    initFrameModel(*model, static_cast<uint16_t>(r.bands));
    model->settings.timeScale = r.timeScale;
    SampleBuffer samples;
    samples.setLayout(model->settings.bufferLength, r.timeScale);
    std::uint8_t left[512], right[512];
    for (int k = 0; k < kFrames; ++k) {
      for (int f = 0; f < 512; ++f) {
        left[f] = frames[2 * (512 * k + f)];
        right[f] = frames[2 * (512 * k + f) + 1];
      }
      samples.append(left, right, 512);
      samples.snapshot(model->snapshot);
      const BandOptions options{r.phon, true, r.stereo};
      for (int c = 0; c < (r.stereo ? 2 : 1); ++c)
        analyseChannel(c, options, model->settings, model->tables, model->spectrum,
                       model->snapshot);
    }
    EXPECT_EQ(readFile(csv), analysisCsv(*model, r.stereo ? 2 : 1));
  }
}

TEST(EndToEnd, BadInputsExitWithAClearMessage) {
  QTemporaryDir dir;
  const QString text = dir.filePath(QStringLiteral("notes.txt"));
  std::ofstream(text.toStdString()) << "not sound at all\n";
  const QString empty = dir.filePath(QStringLiteral("empty.wav"));
  writeWav(empty, {});
  const QString missing = dir.filePath(QStringLiteral("missing.wav"));
  const QString kept = dir.filePath(QStringLiteral("kept.csv"));
  std::ofstream(kept.toStdString()) << "an earlier run\n";
  const QString fresh = dir.filePath(QStringLiteral("fresh.png"));
  const QString nowhere = dir.filePath(QStringLiteral("no/such/folder/out"));
  // DISPLAY for the run, "" for none, with the other variables that choose a platform unset.
  auto displayOnly = [](const char* display) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM"})
      environment.remove(QString::fromLatin1(name));
    if (*display) environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    return environment;
  };
  // Hours of sound at 173 Hz: refused from the header, not resampled into gigabytes.
  const QString slow = dir.filePath(QStringLiteral("slow.wav"));
  writeWav(slow, std::vector<std::uint8_t>(2000000, 128), 173);
  const QString fifo = dir.filePath(QStringLiteral("pipe.wav"));
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  const QString corpus = QStringLiteral(BANDSCOPE_CORPUS);
  // Outputs in the place of the input, or of something that is not a file.
  const QString input = dir.filePath(QStringLiteral("in.wav"));
  writeWav(input, std::vector<std::uint8_t>(2048, 100));
  const QString inputLink = dir.filePath(QStringLiteral("in-link.bmp"));
  ASSERT_TRUE(QFile::link(input, inputLink));
  const QString device = dir.filePath(QStringLiteral("full.csv"));  // as /dev/full, made here
  const bool root = mknod(device.toLocal8Bit().constData(), S_IFCHR | 0666, makedev(1, 7)) == 0;
  const QString full = dir.filePath(QStringLiteral("full"));  // a full disk, where root mounts one
  QDir(dir.path()).mkdir(QStringLiteral("full"));
  const bool small =
      root && mount("tmpfs", full.toLocal8Bit().constData(), "tmpfs", 0, "size=16k") == 0;
  const QString oldShot = full + QStringLiteral("/old.bmp");
  std::ofstream(oldShot.toStdString()) << "an earlier picture\n";
  struct Case {
    QStringList args;
    QString says;
    const char* display = nullptr;  // DISPLAY for the run, "" for none; else the test's own
  };
  std::vector<Case> cases = {
      {{"--input", missing}, "missing.wav"},
      {{"--input", text}, "notes.txt"},
      {{"--input", empty}, "empty.wav"},
      {{"--input", slow, "--offline"}, "slow.wav\" is too long"},
      {{"--input", fifo}, "pipe.wav\": it is a named pipe"},
      {{"--input", corpus + "/nonfiles/fifo-link", "--offline"}, "fifo-link"},
      {{"--input", corpus + "/nonfiles/folder"}, "folder\": it is a folder"},
      {{"--input", corpus + "/nonfiles/socket"}, "socket\": it is a socket"},
      {{"--input", "/dev/zero"}, "/dev/zero\": it is a device"},
      {{"--input", corpus + "/corpus/wav-channels-0.wav"}, "wav-channels-0.wav"},
      {{"--input", corpus + "/corpus/flac-rate-0.flac"}, "flac-rate-0.flac"},
      {{"--input", corpus + "/corpus/ogg-rate-4ghz.ogg"}, "ogg-rate-4ghz.ogg"},
      {{"--input", corpus + "/corpus/wav-173hz-2mb.wav"}, "wav-173hz-2mb.wav"},
      {{"--device", "99"}, "99"},
      {{"--time-scale", "3"}, "--time-scale"},
      {{"--frames", "3", "--screenshot", nowhere + ".png"}, "/out.png: No such file"},
      {{"--frames", "3", "--export-csv", nowhere + ".csv"}, "no/such/folder/out.csv: "},
      {{"--frames", "3", "--export-csv", dir.path()}, "it is a folder"},
      {{"--frames", "3", "--export-csv", fifo}, "pipe.wav: it is a named pipe\n"},
      {{"--input", input, "--frames", "3", "--export-csv", input},
       "cannot write the CSV file " + input + ": it is the input file\n"},
      {{"--input", input, "--frames", "3", "--screenshot", inputLink},
       "in-link.bmp: it is the input file\n"},
      {{"--frames", "3", "--export-csv", kept, "--screenshot", fresh, "--input", missing},
       "missing.wav"},
      {{"--frames", "3"}, "no display to open a window on: DISPLAY is not set\n", ""},
      {{"--frames", "3"}, "on: could not connect to display :4242\n", ":4242"}};
  if (root)
    cases.push_back(
        {{"--frames", "3", "--export-csv", device}, "full.csv: it is a character device\n"});
  if (small)
    cases.push_back(
        {{"--frames", "3", "--screenshot", oldShot}, "old.bmp: No space left on device\n"});
  struct stat deviceBefore {};
  stat(device.toLocal8Bit().constData(), &deviceBefore);
  for (const auto& c : cases) {
    // Each fails before any window opens (the full disk at the end), in well under the time
    // allowed.
    const ProgramRun run = runProgram(
        c.args, c.display ? displayOnly(c.display) : QProcessEnvironment::systemEnvironment(),
        20000);
    EXPECT_EQ(run.exitCode, 2) << c.says.toStdString() << ": " << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(c.says)) << run.errors.toStdString();
  }
  EXPECT_EQ(readFile(kept), "an earlier run\n") << "a failed run keeps the earlier file";
  EXPECT_FALSE(QFileInfo::exists(fresh)) << "nor leaves an empty one";
  EXPECT_EQ(readFile(input), readFile(inputLink)) << "the link is kept";
  EXPECT_EQ(readFile(input).substr(0, 4), "RIFF") << "the input is kept";
  struct stat deviceAfter {};
  EXPECT_TRUE(!root || (stat(device.toLocal8Bit().constData(), &deviceAfter) == 0 &&
                        deviceAfter.st_ino == deviceBefore.st_ino &&
                        deviceAfter.st_rdev == deviceBefore.st_rdev))
      << "the device stays";
  EXPECT_EQ(readFile(oldShot), "an earlier picture\n");
  EXPECT_EQ(QDir(full).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("old.bmp")})
      << "no temporary left";
  if (small) umount(full.toLocal8Bit().constData());
  EXPECT_EQ(runProgram({"--help"}, displayOnly("")).exitCode, 0) << "no window needed";
}

// Under system limits too tight for it the program ends within 20 s, window or scripted, with
// exit status 2 and one line of its own naming the resource; a limit it fits in changes
// nothing. The sanitizer builds skip the rows of memory (ASan reserves terabytes of address
// space) and of open files taken (their runtime checks memory through a pipe of its own).
TEST(EndToEnd, TightLimitsEndWithTheResourceThatRanOut) {
  QTemporaryDir dir;
  const QString shot = dir.filePath(QStringLiteral("shot.png"));
  const QStringList scripted{"--frames", "30", "--screenshot", shot}, window;
  QProcessEnvironment noServer = QProcessEnvironment::systemEnvironment();
  noServer.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent"));
  const struct {
    const char* name;
    int resource;
    rlim_t limit;     // files, or kB of address space
    int alreadyOpen;  // descriptors the program inherits, 0 to 2 included
    QStringList args;
    const char* says;  // its one line, a pattern; exit status 0 and no line where empty
  } cases[] = {
    {"8 files", RLIMIT_NOFILE, 8, 3, scripted,
     R"(^bandscope: only 8 files may be open at once \(ulimit -n\); bandscope needs at least 64$)"},
    {"16 files, window", RLIMIT_NOFILE, 16, 3, window, R"(^bandscope: only 16 files may be open )"},
    {"128 files", RLIMIT_NOFILE, 128, 3, scripted, ""},
#if !defined(__SANITIZE_ADDRESS__)
    {"64 files, 60 taken", RLIMIT_NOFILE, 64, 60, scripted,
     R"(: too many open files \(limit 64, \d+ open; ulimit -n 64\)$)"},
    {"64 files, 60 taken, window", RLIMIT_NOFILE, 64, 60, window,
     R"(: too many open files \(limit 64, \d+ open; ulimit -n 64\)$)"},
    {"100 MB", RLIMIT_AS, 100'000, 3, scripted,
     R"(: out of memory \(address-space limit 100 MB, \d+ MB used; ulimit -v 100000\)$)"},
    {"100 MB, window", RLIMIT_AS, 100'000, 3, window,
     R"(: out of memory \(address-space limit 100 MB, \d+ MB used; ulimit -v 100000\)$)"},
    {"300 MB", RLIMIT_AS, 300'000, 3, scripted,
     R"(: out of memory \(address-space limit 300 MB, \d+ MB used; ulimit -v 300000\)$)"},
    {"300 MB, window", RLIMIT_AS, 300'000, 3, window,
     R"(: out of memory \(address-space limit 300 MB, \d+ MB used; ulimit -v 300000\)$)"},
    {"8 GB", RLIMIT_AS, 8'000'000, 3, scripted, ""},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const rlimit limit{c.resource == RLIMIT_AS ? c.limit * 1024 : c.limit,
                       c.resource == RLIMIT_AS ? c.limit * 1024 : c.limit};
    const auto inChild = [&limit, &c] {
      // The program gets descriptors 0 to alreadyOpen - 1 and none other of the test's.
      const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      for (int fd = 3; fd < c.alreadyOpen; ++fd) ::dup2(null, fd);
      if (null < c.alreadyOpen) ::fcntl(null, F_SETFD, 0);
      for (int fd = c.alreadyOpen; fd < 1024; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) ::close(fd);
      }
      ::setrlimit(c.resource, &limit);
    };
    const ProgramRun run = runProgram(c.args, noServer, 20000, inChild);
    EXPECT_LT(run.ms, 20000);
    const QStringList own =
        run.errors.split('\n').filter(QRegularExpression(QStringLiteral("^bandscope: ")));
    if (!*c.says) {
      EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
      EXPECT_TRUE(own.isEmpty()) << run.errors.toStdString();
      continue;
    }
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    ASSERT_EQ(own.size(), 1) << run.errors.toStdString();
    EXPECT_TRUE(own[0].contains(QRegularExpression(QString::fromUtf8(c.says))))
        << own[0].toStdString();
  }
}

// The loudest band of each channel, and the level of the loudest band of each.
std::pair<int, int> loudest(const std::vector<Row>& rows, int channel) {
  int bestHz = 0, best = -1;
  for (const Row& r : rows)
    if (r.channel == channel && r.level > best) {
      best = r.level;
      bestHz = r.hz;
    }
  return {bestHz, best};
}

int nearestHz(const std::vector<Row>& rows, int target) {
  int nearest = rows.front().hz;
  for (const Row& r : rows)
    if (std::abs(r.hz - target) < std::abs(nearest - target)) nearest = r.hz;
  return nearest;
}

int levelAt(const std::vector<Row>& rows, int channel, int hz) {
  for (const Row& r : rows)
    if (r.channel == channel && r.hz == hz) return r.level;
  return -1;
}

// The live cases, against each private sound server: PulseAudio, and PipeWire (pipewire,
// wireplumber, pipewire-pulse) where it is installed.
using LiveEndToEnd = test::EachSoundServer<test::PulseDaemonTest>;
INSTANTIATE_TEST_SUITE_P(Each, LiveEndToEnd, test::kEachSoundServer, test::soundServerTestName);

TEST_P(LiveEndToEnd, ToneIntoTheServerShowsUpAtItsBand) {
  test::SoundServerDaemon& daemon = soundServer();
  ASSERT_TRUE(daemon.running());
  QTemporaryDir dir;
  for (const bool bothChannels : {true, false}) {
    SCOPED_TRACE(bothChannels ? "both channels" : "left only");
    const QString wav = dir.filePath(QStringLiteral("tone.wav"));
    writeWav(wav, twoTones(44100 * 20, 1000, 1000, bothChannels ? 90 : 0));
    QProcess player;
    player.start(QStringLiteral("paplay"),
                 {QStringLiteral("-d"), QString::fromLatin1(test::SoundServerDaemon::kSink), wav});
    ASSERT_TRUE(player.waitForStarted());
    const QString csv = dir.filePath(QStringLiteral("live.csv"));
    const QString shot = dir.filePath(QStringLiteral("live.png"));
    const ProgramRun run =
        runProgram({"--frames", "400", "--export-csv", csv, "--screenshot", shot});
    player.kill();
    player.waitForFinished();
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const auto rows = rowsOf(readFile(csv));
    ASSERT_FALSE(rows.empty());
    const auto [leftHz, leftLevel] = loudest(rows, 0);
    EXPECT_EQ(leftHz, nearestHz(rows, 1000));
    if (bothChannels) {
      EXPECT_EQ(loudest(rows, 1).first, nearestHz(rows, 1000));
    } else {
      // Both channels carry the same faint noise, whose loudest band comes near a quarter of
      // the tone's level: the tone's own band is what must stay low on the right.
      EXPECT_LT(levelAt(rows, 1, nearestHz(rows, 1000)), leftLevel / 4)
          << "the tone should stay in the left channel";
    }
    const QImage picture(shot);
    ASSERT_FALSE(picture.isNull());
    bool lit = false;
    for (int y = 0; y < picture.height() && !lit; y += 3)
      for (int x = 0; x < picture.width() && !lit; x += 3) lit = picture.pixel(x, y) != 0xFF000000u;
    EXPECT_TRUE(lit);
  }
}

// The server's only source, the null sink's monitor, is its default: first, then the test
// signal. Each server describes the monitor in its own words.
TEST_P(LiveEndToEnd, DeviceListShowsTheMonitorFirstThenTheTestSignal) {
  const char* const monitorDescription = GetParam() == test::SoundServer::PulseAudio
                                             ? "Monitor of Null Output"
                                             : "Monitor of bandscope_null Audio/Sink sink";
  std::string error;
  const auto sound = openSoundServices(CommandLine{}, error);
  ASSERT_TRUE(sound) << error;
  TForm1 form(CommandLine{}, *sound);
  form.show();
  QComboBox* list = form.controls.devCombo;
  ASSERT_TRUE(test::waitFor(
      [&] { return list->count() > 1 && form.audio() && form.audio()->Recorder->Opened; }, 20000))
      << "the server's list arrives and the start-up choice is made";
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->itemData(0, CaptureKeeper::kDescriptionRole).toString(),
            QString::fromLatin1(monitorDescription));
  EXPECT_EQ(list->itemData(1, CaptureKeeper::kDescriptionRole).toString(),
            QStringLiteral("Test signal"));
  // The number and the description, cut with an ellipsis where the list is too narrow for it.
  const QString shown = list->itemText(0);
  const QString whole = QStringLiteral("AudioDevice #0 \u2014 ") + monitorDescription;
  EXPECT_TRUE(shown == whole ||
              (shown.endsWith(QChar(0x2026)) && whole.startsWith(shown.chopped(1))))
      << shown.toStdString();
  EXPECT_EQ(list->currentIndex(), 0);
  ASSERT_TRUE(form.audio());
  EXPECT_TRUE(form.audio()->Recorder->Opened) << form.audio()->ErrorText;

  // Any client may name a sink with markup: its monitor's tooltip shows the name letter for
  // letter, never a heading or an image.
  std::string module;
  ASSERT_EQ(soundServer().pactl("load-module module-null-sink sink_name=bandscope_html "
                                "sink_properties=device.description=<h1>Loud</h1><img>",
                                &module),
            0);
  ASSERT_TRUE(test::waitFor([&] { return list->count() > 2; }, 10000)) << "hot-plugged";
  bool marked = false;
  for (int i = 0; i < list->count(); ++i) {
    const QString description = list->itemData(i, CaptureKeeper::kDescriptionRole).toString();
    marked = marked || description.contains(QStringLiteral("<h1>Loud</h1><img>"));
    QTextDocument rendered;
    rendered.setHtml(list->itemData(i, Qt::ToolTipRole).toString());
    EXPECT_EQ(rendered.toPlainText(), description);
    EXPECT_TRUE(rendered.toHtml().contains(QStringLiteral("&lt;h1&gt;")) ||
                !description.contains('<'));
  }
  EXPECT_TRUE(marked) << "the sink's own description is listed";
  soundServer().pactl("unload-module " + module);
}

TEST(EndToEnd, WithoutASoundServerTheTestSignalIsListedAndDrawn) {
  auto sound = std::make_unique<SoundServices>();
  sound->queue = std::make_unique<QtMessageQueue>();
  const auto nowhere = sound::makePulseConnection("unix:/nonexistent/bandscope/native");
  sound->output = std::make_unique<sound::PulseWaveOut>(nowhere);
  sound->serverInput = std::make_unique<sound::PulseWaveIn>(nowhere);
  sound->testSignal = std::make_unique<sound::TestSignalInput>();
  sound->inputs = std::make_unique<sound::DeviceList>(
      std::vector<sound::WaveInService*>{sound->serverInput.get(), sound->testSignal.get()});
  TForm1 form(CommandLine{}, *sound);
  form.show();
  ASSERT_TRUE(test::waitFor([&] { return form.framesDrawn() > 50; }, 20000));
  ASSERT_EQ(form.controls.devCombo->count(), 1);
  EXPECT_EQ(form.controls.devCombo->itemText(0),
            QStringLiteral("AudioDevice #0 \u2014 Test signal"));
  EXPECT_EQ(form.controls.devCombo->itemData(0, CaptureKeeper::kDescriptionRole).toString(),
            QStringLiteral("Test signal"));
  EXPECT_TRUE(form.statusLine().isHidden());
  EXPECT_GT(form.frameModel().spectrum.loudnessMeter[1], 0) << "the chord reaches the analysis";
}

// The monitor's entry stays chosen through the server's death and restart, and recording
// resumes on it by itself; sources added meanwhile join the list without moving the choice.
TEST_P(LiveEndToEnd, ServerDeathShowsWhyAndCaptureResumesByItself) {
  test::SoundServerDaemon& daemon = soundServer();
  ASSERT_TRUE(daemon.running());
  std::string error;
  const auto sound = openSoundServices(CommandLine{}, error);
  ASSERT_TRUE(sound) << error;
  TForm1 form(CommandLine{}, *sound);
  form.show();
  QComboBox* list = form.controls.devCombo;
  const QString monitorName = QString::fromLatin1(test::SoundServerDaemon::kMonitor);
  ASSERT_TRUE(test::waitFor(
      [&] { return form.framesDrawn() > 20 && list->findData(monitorName) >= 0; }, 20000));
  const int monitor = list->findData(monitorName);
  list->setCurrentIndex(monitor);
  form.devComboChange();
  ASSERT_TRUE(form.audio() && form.audio()->Recorder->Opened);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    daemon.kill();
    ASSERT_TRUE(test::waitFor(
        [&] {
          return form.statusLine().text().contains(QStringLiteral("waiting for the sound server"));
        },
        20000))
        << form.statusLine().text().toStdString();
    const int drawn = form.framesDrawn();
    ASSERT_TRUE(test::waitFor([&] { return form.framesDrawn() > drawn + 20; }, 20000))
        << "the display stopped";
    ASSERT_TRUE(daemon.start());
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(test::waitFor([&] { return form.statusLine().isHidden(); }, 10000))
        << form.statusLine().text().toStdString();
    EXPECT_LT(back.elapsed(), 3000) << "recording resumes within 3 s of the server's return";
    EXPECT_EQ(list->itemData(list->currentIndex()).toString(),
              QString::fromLatin1(test::SoundServerDaemon::kMonitor));
  }
  const int before = list->count();
  ASSERT_EQ(daemon.pactl("load-module module-null-sink sink_name=bandscope_extra"), 0);
  ASSERT_TRUE(test::waitFor([&] { return list->count() > before; }, 5000)) << "hot-plugged";
  EXPECT_EQ(list->itemData(list->currentIndex()).toString(),
            QString::fromLatin1(test::SoundServerDaemon::kMonitor));
  EXPECT_TRUE(form.audio()->Recorder->Opened);
}

// The server stops (SIGSTOP) under a recording window and entries are chosen meanwhile: the
// window never stands still, the status line says why nothing records, and once the server
// goes on (SIGCONT) the chosen source records again within 3 s.
TEST_P(LiveEndToEnd, AStoppedServerNeverStallsTheWindowAndRecordingResumesWhenItGoesOn) {
  test::SoundServerDaemon& daemon = soundServer();
  std::string error;
  const auto sound = openSoundServices(CommandLine{}, error);
  ASSERT_TRUE(sound) << error;
  TForm1 form(CommandLine{}, *sound);
  form.controls.sono_check->setChecked(false);  // software GL's costliest view: not measured here
  form.show();
  QComboBox* list = form.controls.devCombo;
  const char* const monitor = test::SoundServerDaemon::kMonitor;
  auto choose = [&](const char* name) {
    list->setCurrentIndex(list->findData(QString::fromLatin1(name)));
    form.devComboChange();
  };
  auto blocks = [&] { return form.capture().blocksReceived(); };
  ASSERT_TRUE(test::waitFor(
      [&] {
        return list->findData(QString::fromLatin1(monitor)) >= 0 && form.audio() &&
               form.audio()->Recorder->Opened;
      },
      20000));
  choose(monitor);
  const uint64_t first = blocks();
  ASSERT_TRUE(test::waitFor([&] { return blocks() > first + 5; }, 5000)) << "records";

  struct Resume {
    test::SoundServerDaemon& daemon;
    ~Resume() { daemon.resume(); }
  } resumeAtEnd{daemon};
  StallProbe probe;
  QStringList said;
  auto watch = [&](int ms) {
    test::waitFor(
        [&] {
          if (!said.contains(form.statusLine().text())) said << form.statusLine().text();
          return false;
        },
        ms);
  };
  daemon.stop();
  for (const char* name : {monitor, sound::TestSignalInput::kName, monitor}) {
    choose(name);
    watch(700);
  }
  watch(2500);  // the monitor's stream gets no answer in its 2 s, and is tried again
  EXPECT_TRUE(said.join('\n').contains(QStringLiteral("did not answer in time")))
      << said.join(QStringLiteral(" | ")).toStdString();

  const uint64_t stopped = blocks();
  daemon.resume();
  QElapsedTimer back;
  back.start();
  ASSERT_TRUE(test::waitFor(
      [&] { return form.capture().recordingSource() == monitor && blocks() > stopped + 5; }, 10000))
      << form.statusLine().text().toStdString();
  const qint64 resumedMs = back.elapsed();
  const double stallMs = probe.longestMs();
  std::cout << "[ stall    ] " << daemon.name() << " stopped: longest UI stall " << stallMs
            << " ms; recording again " << resumedMs << " ms after SIGCONT" << std::endl;
  EXPECT_LE(stallMs, 250.0);
  EXPECT_LT(resumedMs, 3000);
}

// A server that takes the connection and never answers: the window draws from the start, the
// start-up choice waits and the status line says so, and once the server is given up (2 s)
// the test signal is chosen. The UI thread never stands still longer than 250 ms.
TEST(EndToEnd, AServerThatNeverAnswersNeverStallsTheWindow) {
  test::SilentServer silent;
  ASSERT_FALSE(silent.server().empty());
  const PulseServerFor pulse(silent.server());
  QElapsedTimer since;
  since.start();
  std::string error;
  const auto sound = openSoundServices(CommandLine{}, error);
  ASSERT_TRUE(sound) << error;
  StallProbe startUp;
  TForm1 form(CommandLine{}, *sound);
  form.controls.sono_check->setChecked(false);  // software GL's costliest view: not measured here
  form.show();
  ASSERT_TRUE(test::waitFor([&] { return form.framesDrawn() > 0; }, 20000));
  StallProbe running;
  bool waitingShown = false;
  ASSERT_TRUE(test::waitFor(
      [&] {
        waitingShown =
            waitingShown ||
            (form.statusLine().isVisible() &&
             form.statusLine().text().contains(QStringLiteral("waiting for the sound server")));
        return form.audio() && form.audio()->Recorder->Opened;
      },
      10000));
  const qint64 chosenMs = since.elapsed();
  EXPECT_GE(chosenMs, 1900) << "chosen only when the server was given up";
  EXPECT_TRUE(waitingShown);
  QComboBox* list = form.controls.devCombo;
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->itemData(0).toString(), QString::fromLatin1(sound::TestSignalInput::kName));
  EXPECT_TRUE(form.statusLine().isHidden()) << form.statusLine().text().toStdString();
  const int drawn = form.framesDrawn();
  ASSERT_TRUE(test::waitFor([&] { return form.framesDrawn() > drawn + 30; }, 5000));
  const double stallMs = running.longestMs();
  std::cout << "[ stall    ] silent server: longest UI stall " << stallMs << " ms from the first "
            << "frame, " << startUp.longestMs() << " ms from show() (start-up included); test "
            << "signal chosen after " << chosenMs << " ms" << std::endl;
  EXPECT_LE(stallMs, 250.0);
}

// A scripted run through Qt's wayland platform on a private headless weston: the picture has
// the test signal's spectrum.
TEST(Wayland, ScriptedRunDrawsThePicture) {
  const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms/libqwayland-egl.so");
  if (test::findProgram("weston").empty() || !QFileInfo::exists(plugin))
    GTEST_SKIP() << "weston or Qt's wayland plugin is not installed";
  QTemporaryDir runtime;  // mode 0700, as a runtime directory must be
  ASSERT_TRUE(runtime.isValid());
  const QString socket = QStringLiteral("bandscope-test");
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
  QProcess weston;
  weston.setProcessEnvironment(environment);
  weston.setStandardOutputFile(runtime.filePath(QStringLiteral("weston.log")));
  weston.setProcessChannelMode(QProcess::MergedChannels);
  weston.start(QStringLiteral("weston"),
               {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--no-config"),
                QStringLiteral("--idle-time=0"), QStringLiteral("--socket=") + socket});
  ASSERT_TRUE(weston.waitForStarted());
  QElapsedTimer waited;
  waited.start();
  while (!QFileInfo(runtime.filePath(socket)).exists() && weston.state() == QProcess::Running &&
         waited.elapsed() < 10000) {
    weston.waitForFinished(50);
  }
  ASSERT_TRUE(QFileInfo(runtime.filePath(socket)).exists())
      << readFile(runtime.filePath(QStringLiteral("weston.log")));

  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
  environment.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
  environment.insert(QStringLiteral("LIBGL_ALWAYS_SOFTWARE"), QStringLiteral("1"));
  environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent"));
  const QString shot = runtime.filePath(QStringLiteral("shot.png"));
  const ProgramRun run = runProgram({"--frames", "30", "--screenshot", shot}, environment, 30000);
  weston.terminate();
  weston.waitForFinished(5000);
  ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
  const QImage picture(shot);
  ASSERT_FALSE(picture.isNull());
  int lit = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) lit += picture.pixel(x, y) != qRgb(0, 0, 0);
  }
  EXPECT_GT(lit, picture.width() * picture.height() / 10) << "the spectrum is drawn";
}

}  // namespace
}  // namespace bandscope
