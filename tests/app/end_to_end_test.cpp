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
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <tuple>

#include "analysis/band_processing.h"
#include "analysis/level_axis.h"
#include "analysis/level_scale.h"
#include "analysis/sample_buffer.h"
#include "analysis/scales.h"
#include "app/run/csv_export.h"
#include "app/window/capture_session.h"
#include "app/window/display_panel.h"
#include "app/window/form.h"
#include "app/window/frame_loop.h"
#include "app/window/saved_settings.h"
#include "sound/capture_entries.h"
#include "sound/file_wave_input.h"
#include "sound/pulse_wave.h"
#include "support/gl_window.h"
#include "support/pulse_daemon.h"
#include "support/pulse_test_helpers.h"
#include "support/sound_fixture.h"

namespace bandscope {
namespace {

// Stereo PCM in a WAV file: unsigned 8-bit, or (bits 16) signed 16-bit little-endian bytes.
void writeWav(const QString& path, const std::vector<std::uint8_t>& frames,
              std::uint32_t rate = 44100, std::uint16_t bits = 8) {
  std::ofstream f(path.toStdString(), std::ios::binary);
  auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
  const auto bytes = static_cast<std::uint32_t>(frames.size());
  const auto blockAlign = static_cast<std::uint16_t>(bits / 4);
  f.write("RIFF", 4);
  u32(36 + bytes);
  f.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(rate);
  u32(blockAlign * rate);
  u16(blockAlign);
  u16(bits);
  f.write("data", 4);
  u32(bytes);
  f.write(reinterpret_cast<const char*>(frames.data()), bytes);
}

std::vector<std::uint8_t> littleEndian(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> bytes;
  for (const std::int16_t x : samples) {
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(x) & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(x) >> 8));
  }
  return bytes;
}

void writeWav16(const QString& path, const std::vector<std::int16_t>& samples) {
  writeWav(path, littleEndian(samples), 44100, 16);
}

struct Tone {
  double hz, dbfs;  // dB below a full-scale sine, whose amplitude is 32767
};

// Stereo 16-bit frames, each channel the sum of its tones, rounded.
std::vector<std::int16_t> tones16(int frames, const std::vector<Tone>& left,
                                  const std::vector<Tone>& right) {
  std::vector<std::int16_t> samples;
  for (int i = 0; i < frames; ++i) {
    for (const auto* channel : {&left, &right}) {
      double x = 0;
      for (const Tone& t : *channel)
        x += 32767 * std::pow(10, t.dbfs / 20) * std::sin(6.283185307179586 * t.hz * i / 44100);
      samples.push_back(static_cast<std::int16_t>(std::lround(x)));
    }
  }
  return samples;
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
  int bits = 8;
  int rangeDb = kDefaultRangeDb;
  bool wideFile = false;  // from the 16-bit file, else from the 8-bit one
};

// Each channel's tones in 16 bits: left 1 kHz loud and 5 kHz 70 dB lower, right 3 kHz, both
// over noise of a few steps.
std::vector<std::int16_t> twoTones16(int frames) {
  std::vector<std::int16_t> samples = tones16(frames, {{1000, -3}, {5000, -73}}, {{3000, -16}});
  std::uint32_t noise = 54321;
  for (std::int16_t& x : samples) {
    noise = noise * 1664525u + 1013904223u;
    x = static_cast<std::int16_t>(std::clamp(x + static_cast<int>(noise >> 29) - 4, -32768, 32767));
  }
  return samples;
}

TEST(EndToEnd, OfflineFileRunsMatchTheAnalysisOfTheSameBuffers) {
  QTemporaryDir dir;
  const QString wav = dir.filePath(QStringLiteral("tones.wav"));
  const auto frames = twoTones(44100, 1000, 3000, 60);
  writeWav(wav, frames);
  const QString wav16 = dir.filePath(QStringLiteral("tones16.wav"));
  const auto frames16 = twoTones16(44100);
  writeWav16(wav16, frames16);
  constexpr int kFrames = 40;
  const QStringList bits16{"--bits", "16"};
  const Offline runs[] = {
      {"defaults", {}, 192, 2, true, true},
      {"mono", {"--mono"}, 192, 2, false, true},
      {"no-phon", {"--no-phon"}, 192, 2, true, false},
      {"time-scale 1", {"--time-scale", "1"}, 192, 1, true, true},
      {"time-scale 8", {"--time-scale", "8"}, 192, 8, true, true},
      {"8 bands", {"8"}, 8, 2, true, true},
      {"37 bands", {"37"}, 37, 2, true, true},
      {"512 bands", {"512"}, 512, 2, true, true},
      {"8 bits asked for", {"--bits", "8"}, 192, 2, true, true},
      {"8 bits of a 16-bit file", {"--time-scale", "1"}, 192, 1, true, true, 8, 90, true},
      {"16 bits", bits16, 192, 2, true, true, 16, 90, true},
      {"16 bits, time-scale 1", bits16 + QStringList{"--time-scale", "1"}, 192, 1, true, true, 16,
       90, true},
      {"16 bits, 60 dB, mono, no-phon",
       bits16 + QStringList{"--range", "60", "--mono", "--no-phon"}, 192, 2, false, false, 16, 60,
       true},
      {"16 bits, 120 dB, 512 bands, time-scale 8",
       bits16 + QStringList{"--range", "120", "512", "--time-scale", "8"}, 512, 8, true, true, 16,
       120, true},
      {"16 bits of an 8-bit file", bits16, 192, 2, true, true, 16, 90, false}};
  for (const Offline& r : runs) {
    SCOPED_TRACE(r.name);
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    QStringList args{"--input",  r.wideFile ? wav16 : wav, "--offline",
                     "--frames", QString::number(kFrames), "--export-csv",
                     csv};
    args << r.options;
    const ProgramRun run = runProgram(args);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();

    // The same buffers through the library: one block of 512 frames before each frame, in
    // the width the run records (the 8-bit file's bytes as they are, 16-bit samples as the
    // file device makes 8-bit ones of them; an 8-bit sample u is (u - 128) x 256 in 16 bits).
    auto model = std::make_unique<FrameModel>();
    initFrameModel(*model, static_cast<uint16_t>(r.bands));
    BandSettings& s = model->settings;
    s.timeScale = r.timeScale;
    s.sampleBits = static_cast<uint8_t>(r.bits);
    s.rangeDb = static_cast<int16_t>(r.rangeDb);
    SampleBuffer samples;
    samples.setLayout(s.bufferLength, r.timeScale, r.bits);
    auto sampleAt = [&](int k) -> int {  // as 16 bits
      return r.wideFile ? frames16[static_cast<std::size_t>(k)] : (frames[k] - 128) * 256;
    };
    FrameOptions options;
    options.StereoCheckBox = r.stereo;
    options.boostHi_check = r.phon;
    std::uint8_t left[1024], right[1024];
    for (int k = 0; k < kFrames; ++k) {
      for (int f = 0; f < 512; ++f) {
        for (int c = 0; c < 2; ++c) {
          std::uint8_t* block = c == 0 ? left : right;
          const int x = sampleAt(2 * (512 * k + f) + c);
          if (r.bits == 16) {
            block[2 * f] = static_cast<std::uint8_t>(x & 0xFF);
            block[2 * f + 1] = static_cast<std::uint8_t>((x >> 8) & 0xFF);
          } else {
            block[f] = r.wideFile ? sound::FileWaveInput::byteOf(static_cast<std::int16_t>(x))
                                  : frames[2 * (512 * k + f) + c];
          }
        }
      }
      samples.append(left, right, static_cast<std::uint16_t>(r.bits == 16 ? 1024 : 512));
      analyseDue(options, *model, samples, 1);
    }
    EXPECT_EQ(readFile(csv), analysisCsv(*model, r.stereo ? 2 : 1));
  }
}

// The rows of an offline run of `frames` frames of wav.
std::vector<Row> offlineRows(const QString& wav, int frames, const QStringList& options) {
  QTemporaryDir dir;
  const QString csv = dir.filePath(QStringLiteral("out.csv"));
  const ProgramRun run = runProgram(QStringList{"--input", wav, "--offline", "--frames",
                                                QString::number(frames), "--export-csv", csv} +
                                    options);
  EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
  return rowsOf(readFile(csv));
}

// The level axis of a run at 192 bands.
BandSettings axisOf(int bits, int timeScale, int rangeDb = kDefaultRangeDb) {
  BandSettings s;
  deriveBandSettings(s);
  s.timeScale = timeScale;
  s.sampleBits = static_cast<uint8_t>(bits);
  s.rangeDb = static_cast<int16_t>(rangeDb);
  return s;
}

double dbOf(const Row& r, const BandSettings& axis) {
  return decibelsOfLevel(r.level, r.band, false, axis);
}

const Row& rowOf(const std::vector<Row>& rows, int channel, int band) {
  static const Row none{-1, -1, 0, 0};
  for (const Row& r : rows)
    if (r.channel == channel && r.band == band) return r;
  ADD_FAILURE() << "no band " << band << " in channel " << channel;
  return none;
}

// Frames enough to fill the window at the time scale, and 64 more for anything that settles:
// a tone that starts at full scale in the first sample is a click in every band, whose bars
// take some 40 frames to fall back to the floor.
int framesFilling(int timeScale) {
  return 384 * timeScale / 512 + 64;
}

// The band nearest 1 kHz at time scale 2: 976 Hz.
constexpr int kDepthBand = 15;

// Band i's frequency at 192 bands: i + 2 whole cycles per window.
double bandHz(int band, int timeScale) {
  return (band + 2) * 44100.0 / (384 * timeScale);
}

QStringList widthAndScale(int bits, int timeScale) {
  return {"--bits", QString::number(bits), "--time-scale", QString::number(timeScale), "--no-phon"};
}

// Thinning by the time scale keeps what lies above the analysed range out of it: a full-scale
// sine at 1.2 (left) and 1.9 (right) times its upper edge, 22050 / scale Hz, raises no band by
// more than 3 dB (16 bits) over the same run on silence, or (8 bits) by more than the smallest
// magnitude the integer transform gives: 1, 62 dB below full scale and 5 levels over silence,
// where the input's own 8-bit rounding noise (which silence lacks) lies at the analysed range.
TEST(EndToEnd, SinesAboveTheAnalysedRangeStayOutOfIt) {
  QTemporaryDir dir;
  const QString silent = dir.filePath(QStringLiteral("silent.wav"));
  const QString above = dir.filePath(QStringLiteral("above.wav"));
  for (const int scale : {2, 4, 8, 128}) {
    const int frames = framesFilling(scale);
    const double edge = 22050.0 / scale;
    writeWav16(silent, std::vector<std::int16_t>(static_cast<std::size_t>(2 * 512 * frames), 0));
    // 0.4 Hz off: at exactly 1.2 x 5512.5 Hz (3/20 of the rate) the 8-bit rounding error
    // repeats every 20 samples and stands at 2205 Hz and its multiples, at time scale 1 alike.
    writeWav16(above, tones16(512 * frames, {{1.2 * edge + 0.4, 0}}, {{1.9 * edge + 0.4, 0}}));
    for (const int bits : {16, 8}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, time scale " + std::to_string(scale));
      const auto floor = offlineRows(silent, frames, widthAndScale(bits, scale));
      const auto rows = offlineRows(above, frames, widthAndScale(bits, scale));
      ASSERT_EQ(rows.size(), floor.size());
      ASSERT_FALSE(rows.empty());
      const BandSettings axis = axisOf(bits, scale);
      double worst = -1e9;
      const Row* at = &rows[0];
      for (std::size_t k = 0; k < rows.size(); ++k) {
        const double raised = bits == 16 ? dbOf(rows[k], axis) - dbOf(floor[k], axis)
                                         : rows[k].level - floor[k].level;
        if (raised > worst) {
          worst = raised;
          at = &rows[k];
        }
      }
      std::cout << "[ alias    ] " << bits << " bits, time scale " << scale << ": "
                << (at->channel == 0 ? "1.2" : "1.9") << "x the edge raises " << at->hz << " Hz by "
                << worst << (bits == 16 ? " dB" : " levels") << std::endl;
      EXPECT_LE(worst, bits == 16 ? 3 : levelScale(1) - levelScale(0))
          << "channel " << at->channel << ", " << at->hz << " Hz";
    }
  }
}

// ... and keeps what lies inside it: sines on the bands nearest 0.1 and 0.8 (left, each
// 12 dB below full scale) and 0.5 (right, 6 dB below) of the upper edge read within 1 dB of
// the same bands at time scale 1, where nothing is thinned.
TEST(EndToEnd, SinesInsideTheAnalysedRangeReadAsAtTimeScaleOne) {
  QTemporaryDir dir;
  const QString wav = dir.filePath(QStringLiteral("inside.wav"));
  const struct {
    int channel, band;  // band + 2 = 19, 96 and 154 of 192: 0.099, 0.5 and 0.802 of the edge
  } tones[] = {{0, 17}, {0, 152}, {1, 94}};
  for (const int bits : {16, 8}) {
    double reference[3] = {};
    for (const int scale : {1, 2, 4, 8, 128}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, time scale " + std::to_string(scale));
      const int frames = framesFilling(scale);
      writeWav16(wav, tones16(512 * frames, {{bandHz(17, scale), -12}, {bandHz(152, scale), -12}},
                              {{bandHz(94, scale), -6}}));
      const auto rows = offlineRows(wav, frames, widthAndScale(bits, scale));
      const BandSettings axis = axisOf(bits, scale);
      for (int t = 0; t < 3; ++t) {
        const double db = dbOf(rowOf(rows, tones[t].channel, tones[t].band), axis);
        if (scale == 1) {
          reference[t] = db;
          continue;
        }
        std::cout << "[ passband ] " << bits << " bits, time scale " << scale << ", band "
                  << tones[t].band << ": " << db << " dB, " << db - reference[t]
                  << " dB from time scale 1" << std::endl;
        EXPECT_NEAR(db, reference[t], 1.0) << "band " << tones[t].band;
      }
    }
  }
}

// 16 bits at the default range (90 dB) and time scale 2: sines on the band nearest 1 kHz
// (976 Hz) read their levels within 1.5 dB down to 80 dB below full scale, where the tone is
// the loudest band and stands 10 dB over the bands around it, which lie on the floor, give or
// take a level (0.19 dB: the sine rounded to 16 bits holds 0.16 dB less); and a full-scale
// sine stands as high as with 8 bits: the top of the picture does not move.
TEST(EndToEnd, SixteenBitsReadSinesDownTo80DbBelowFullScale) {
  QTemporaryDir dir;
  const QString wav = dir.filePath(QStringLiteral("depth.wav"));
  const double hz = bandHz(kDepthBand, 2);
  const int frames = framesFilling(2);
  const BandSettings axis = axisOf(16, 2);
  const int tenDb = levelOfDecibels(10.0 - axis.rangeDb, axis);  // 10 dB above the floor
  for (const auto& [left, right] : {std::pair{-20.0, -40.0}, std::pair{-60.0, -80.0}}) {
    writeWav16(wav, tones16(512 * frames, {{hz, left}}, {{hz, right}}));
    const auto rows = offlineRows(wav, frames, widthAndScale(16, 2));
    for (const int channel : {0, 1}) {
      const double dbfs = channel == 0 ? left : right;
      const Row& tone = rowOf(rows, channel, kDepthBand);
      const double read = dbOf(tone, axis);
      int around = 0;  // the highest level of the bands around it
      for (int band = std::max(0, kDepthBand - 16); band <= kDepthBand + 16; ++band)
        if (band != kDepthBand) around = std::max(around, rowOf(rows, channel, band).level);
      std::cout << "[ depth    ] " << dbfs << " dBFS reads " << read << " dB, "
                << read - decibelsOfLevel(around, kDepthBand, false, axis)
                << " dB over the bands around it" << std::endl;
      EXPECT_NEAR(read, dbfs, 1.5) << dbfs << " dBFS";
      EXPECT_GE(tone.level - around, tenDb - 1) << dbfs << " dBFS over the bands around it";
    }
  }
  writeWav16(wav, tones16(512 * frames, {{hz, 0}}, {}));
  const int top16 = rowOf(offlineRows(wav, frames, widthAndScale(16, 2)), 0, kDepthBand).level;
  const int top8 = rowOf(offlineRows(wav, frames, widthAndScale(8, 2)), 0, kDepthBand).level;
  std::cout << "[ depth    ] full scale: level " << top16 << " with 16 bits, " << top8
            << " with 8 bits" << std::endl;
  EXPECT_NEAR(top16, top8, 2);
  EXPECT_NEAR(top16, topLevel(axis), 1);
}

// With a sine 10 dB below full scale on the band nearest 1 kHz, no other band reads above
// -90 dBFS (16 bits, default range).
TEST(EndToEnd, SixteenBitsShowNoSpurAbove90DbBelowFullScale) {
  QTemporaryDir dir;
  const QString wav = dir.filePath(QStringLiteral("spur.wav"));
  const int frames = framesFilling(2);
  const BandSettings axis = axisOf(16, 2);
  writeWav16(wav, tones16(512 * frames, {{bandHz(kDepthBand, 2), -10}}, {}));
  double spur = -1e9;
  int spurHz = 0;
  for (const Row& r : offlineRows(wav, frames, widthAndScale(16, 2))) {
    if (r.channel == 0 && r.band == kDepthBand) continue;
    if (dbOf(r, axis) > spur) {
      spur = dbOf(r, axis);
      spurHz = r.hz;
    }
  }
  std::cout << "[ spur     ] -10 dBFS: highest other band " << spur << " dB at " << spurHz << " Hz"
            << std::endl;
  EXPECT_LE(spur, -90) << spurHz << " Hz";
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
      {{"--bits", "12"}, "--bits needs 8 or 16", ""},
      {{"--range", "0"}, "--range needs one of 60, 90, 120", ""},
      {{"--range", "x"}, "--range needs one of 60, 90, 120", ""},
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

// The live cases, against each private sound server: PulseAudio, and PipeWire (pipewire,
// wireplumber, pipewire-pulse) where it is installed.
using LiveEndToEnd = test::EachSoundServer<test::PulseDaemonTest>;
INSTANTIATE_TEST_SUITE_P(Each, LiveEndToEnd, test::kEachSoundServer, test::soundServerTestName);

// How long a live case waits for the capture to follow a change. The cases print how long it
// took (within a second on an idle machine); under a sanitizer with a compile beside them it
// can take longer, and a test must not fail for the machine's load.
constexpr int kLoadedBoundMs = 10000;
// The longest the UI thread may stand still while the server is stopped or silent. A call
// that waited for the server would stand still its whole 2 s timeout (it used to be 10 s);
// the figure printed is what it was (an idle machine: about 100 ms under ASan), and a loaded
// machine's scheduling (seen up to 0.75 s with a compile beside) must not fail the case.
constexpr double kLongestStallMs = 1500;

// The null sink (or another one) runs: a player's stream is flowing into it.
bool sinkRunning(const test::SoundServerDaemon& daemon,
                 const std::string& sink = test::SoundServerDaemon::kSink) {
  std::string sinks;
  if (daemon.pactl("list short sinks", &sinks) != 0) return false;
  std::istringstream lines(sinks);
  for (std::string line; std::getline(lines, line);)
    if (line.find('\t' + sink + '\t') != std::string::npos &&
        line.find("RUNNING") != std::string::npos)
      return true;
  return false;
}

// A tone played into the null sink reaches the window recording its monitor, in both widths.
// Each step waits for what the next needs, each within a generous bound: the player's stream
// running into the sink, blocks arriving from the monitor, then the tone in the analysis.
TEST_P(LiveEndToEnd, ToneIntoTheServerShowsUpAtItsBand) {
  test::SoundServerDaemon& daemon = soundServer();
  ASSERT_TRUE(daemon.running());
  QTemporaryDir dir;
  const struct {
    const char* name;
    bool bothChannels;
    int bits;
  } cases[] = {
      {"both channels", true, 8}, {"left only", false, 8}, {"left only, 16 bits", false, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString wav = dir.filePath(QStringLiteral("tone.wav"));
    writeWav(wav, twoTones(44100 * 60, 1000, 1000, c.bothChannels ? 90 : 0));
    QProcess player;
    player.start(QStringLiteral("paplay"),
                 {QStringLiteral("-d"), QString::fromLatin1(test::SoundServerDaemon::kSink), wav});
    ASSERT_TRUE(player.waitForStarted());
    struct Stop {
      QProcess& player;
      ~Stop() {
        player.kill();
        player.waitForFinished();
      }
    } stopAtEnd{player};
    ASSERT_TRUE(test::waitFor([&] { return sinkRunning(daemon); }, 20000))
        << "the player's stream never ran into the sink";

    CommandLine line;
    line.sampleBits = c.bits;
    line.noSettings = true;
    const auto opened = openSoundServices(line);
    ASSERT_TRUE(opened) << opened.failure().text;
    const auto& sound = *opened;
    TForm1 form(line, *sound);
    form.show();
    ASSERT_TRUE(test::waitFor(
        [&] {
          return form.capture().recordingSource() == test::SoundServerDaemon::kMonitor &&
                 form.capture().blocksReceived() > 20;
        },
        20000))
        << "recording from " << form.capture().recordingSource() << ", "
        << form.capture().blocksReceived() << " blocks: " << form.statusLine().text().toStdString();
    ASSERT_TRUE(form.audio());
    EXPECT_EQ(form.audio()->Recorder->BitsPerSample(),
              c.bits == 16 ? audio::TBPS::_16 : audio::TBPS::_8);

    std::vector<Row> rows;
    const auto toneAt = [&](int channel) {
      return loudest(rows, channel).first == nearestHz(rows, 1000);
    };
    ASSERT_TRUE(test::waitFor(
        [&] {
          rows = rowsOf(analysisCsv(form.frameModel(), 2));
          return toneAt(0) && (!c.bothChannels || toneAt(1));
        },
        20000))
        << "loudest at " << loudest(rows, 0).first << " Hz on the left, " << loudest(rows, 1).first
        << " Hz on the right";
    if (!c.bothChannels) {
      // Both channels carry the same faint noise: the tone's own band is what must stay low on
      // the right.
      const BandSettings& axis = form.frameModel().settings;
      const int band = hzToBand(nearestHz(rows, 1000), axis);
      const double left = decibelsOfLevel(rowOf(rows, 0, band).level, band, false, axis);
      const double right = decibelsOfLevel(rowOf(rows, 1, band).level, band, false, axis);
      EXPECT_LT(right, left - 20) << "the tone should stay in the left channel";
    }
  }
}

// The server's only source, the null sink's monitor, is its default: first, then what plays,
// then the test signal. Each server describes the monitor in its own words.
TEST_P(LiveEndToEnd, DeviceListShowsTheMonitorFirstThenTheTestSignal) {
  const char* const monitorDescription = GetParam() == test::SoundServer::PulseAudio
                                             ? "Monitor of Null Output"
                                             : "Monitor of bandscope_null Audio/Sink sink";
  const auto opened = openSoundServices(CommandLine{});
  ASSERT_TRUE(opened) << opened.failure().text;
  const auto& sound = *opened;
  TForm1 form(CommandLine{}, *sound);
  form.show();
  QComboBox* list = form.controls.devCombo;
  ASSERT_TRUE(test::waitFor(
      [&] { return list->count() > 1 && form.audio() && form.audio()->Recorder->Opened; }, 20000))
      << "the server's list arrives and the start-up choice is made";
  const auto entries = [list] {
    QStringList all;
    for (int i = 0; i < list->count(); ++i) all << list->itemText(i);
    return all.join(QStringLiteral("; ")).toStdString();
  };
  ASSERT_TRUE(test::waitFor([&] { return list->count() == 3; }, 5000)) << entries();
  const char* const expected[] = {monitorDescription, "What plays (default output)", "Test signal"};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(list->itemData(i, CaptureKeeper::kDescriptionRole).toString(),
              QString::fromLatin1(expected[i]));
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
  const int listed = list->count();
  loadModule(
      "module-null-sink sink_name=bandscope_html "
      "sink_properties=device.description=<h1>Loud</h1><img>");  // unloaded at the test's end
  ASSERT_TRUE(test::waitFor([&] { return list->count() > listed; }, 10000)) << "hot-plugged";
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
}

TEST(EndToEnd, WithoutASoundServerTheTestSignalIsListedAndDrawnWhileSeen) {
  auto sound = std::make_unique<SoundServices>();
  sound->queue = *QtMessageQueue::open();
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

  // Hidden, nothing is drawn and capture goes on; shown again, drawing resumes at once.
  form.hide();
  const int hiddenAt = form.framesDrawn();
  const uint64_t blocksAt = form.capture().blocksReceived();
  ASSERT_TRUE(
      test::waitFor([&] { return form.capture().blocksReceived() > blocksAt + 80; }, 20000));
  EXPECT_LE(form.framesDrawn(), hiddenAt + 1) << "drawn while hidden";
  form.show();
  EXPECT_TRUE(test::waitFor([&] { return form.framesDrawn() > hiddenAt + 5; }, 20000));

  // Frozen, the picture cannot change: after a second, a few frames a second.
  form.setFrozen(true);
  QElapsedTimer clock;
  clock.start();
  test::waitFor([] { return false; }, 1500);
  const int frozenAt = form.framesDrawn();
  const qint64 frozenMs = clock.elapsed();
  test::waitFor([] { return false; }, 2000);
  const double seconds = static_cast<double>(clock.elapsed() - frozenMs) / 1000;
  EXPECT_LE(form.framesDrawn() - frozenAt, 1e6 / PictureWatch::kStillFrameUs * seconds + 2);
  form.setFrozen(false);
}

// One run of the program for the stop signals: started with `environment`, its standard output
// read for the first "stats" line (the window runs then), ended by a signal at its moment.
struct SignalledRun {
  pid_t pid = -1;
  int output = -1;  // its standard output, non-blocking
  qint64 startMs = 0, readyMs = -1, signalledMs = -1, endedMs = -1;
  bool afterReady = false;  // the moment counts from the window running, else from the start
  int delayMs = 0;
  int againMs = -1;  // a second signal this long after the first: it may cut the write short
  int status = 0;
  std::string seen;
};

pid_t spawnProgram(const std::vector<std::string>& environment, int& output) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
  std::vector<char*> env;
  env.reserve(environment.size() + 1);
  for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(ends[1], STDOUT_FILENO);
    char program[] = BANDSCOPE_BINARY;
    char stats[] = "--stats";
    char* arguments[] = {program, stats, nullptr};
    ::execve(program, arguments, env.data());
    ::_exit(127);
  }
  ::close(ends[1]);
  ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
  output = ends[0];
  return pid;
}

// A logout's SIGTERM at random moments, in start-up and once the window runs (some followed
// by a second that ends the program at once, perhaps in the middle of the write), five programs
// at a time on one settings file as a session's windows would be: each ends by the signal
// within seconds, and the file is never left missing once written, empty or doubtful; only a
// cut-short write leaves a temporary beside it.
TEST(EndToEnd, StopSignalsAtRandomMomentsNeverLeaveABrokenSettingsFile) {
  QTemporaryDir config;
  QProcessEnvironment settings = QProcessEnvironment::systemEnvironment();
  settings.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
  settings.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/bandscope/n"));
  std::vector<std::string> environment;
  for (const QString& e : settings.toStringList()) environment.push_back(e.toStdString());
  const std::string path = config.path().toStdString() + "/bandscope/bandscope.conf";
  constexpr int kRuns = 50;
  constexpr int kAtOnce = 5;
  constexpr qint64 kReadyWithinMs = 60000;  // software GL on a loaded machine
  constexpr qint64 kEndWithinMs = 10000;
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> startUpMs(0, 1500), runningMs(0, 800), againMs(0, 30),
      coin(0, 3);
  QElapsedTimer clock;
  clock.start();
  bool writtenOnce = false;
  qint64 longestEndMs = 0;
  int afterReadyRuns = 0;
  bool cutShort = false;
  for (int first = 0; first < kRuns; first += kAtOnce) {
    std::vector<SignalledRun> runs(kAtOnce);
    for (SignalledRun& run : runs) {
      run.afterReady = coin(random) >= 2;
      run.delayMs = run.afterReady ? runningMs(random) : startUpMs(random);
      if (run.afterReady && coin(random) == 0) run.againMs = againMs(random);
      run.startMs = clock.elapsed();
      run.pid = spawnProgram(environment, run.output);
      ASSERT_GT(run.pid, 0);
    }
    for (bool waiting = true; waiting;) {
      waiting = false;
      const qint64 now = clock.elapsed();
      for (SignalledRun& run : runs) {
        if (run.endedMs >= 0) continue;
        waiting = true;
        char text[256];
        for (ssize_t got; (got = ::read(run.output, text, sizeof text)) > 0;)
          run.seen.append(text, static_cast<size_t>(got));
        if (run.readyMs < 0 && run.seen.find("stats ") != std::string::npos) run.readyMs = now;
        const qint64 from = run.afterReady ? run.readyMs : run.startMs;
        if (run.signalledMs < 0 && from >= 0 && now >= from + run.delayMs) {
          ::kill(run.pid, SIGTERM);
          run.signalledMs = now;
        } else if (run.againMs >= 0 && run.signalledMs >= 0 &&
                   now >= run.signalledMs + run.againMs) {
          ::kill(run.pid, SIGTERM);
          run.againMs = -1;
          cutShort = true;
        }
        const bool late = run.signalledMs < 0 ? now > run.startMs + kReadyWithinMs
                                              : now > run.signalledMs + kEndWithinMs;
        if (late) ::kill(run.pid, SIGKILL);
        if (::waitpid(run.pid, &run.status, WNOHANG) == run.pid) {
          run.endedMs = now;
          ::close(run.output);
          EXPECT_FALSE(late) << "run " << &run - runs.data() + first << " did not end in time";
        }
      }
      ::usleep(2000);
    }
    for (const SignalledRun& run : runs) {
      EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGTERM)
          << "status " << run.status;
      longestEndMs = std::max(longestEndMs, run.endedMs - run.signalledMs);
      afterReadyRuns += run.afterReady ? 1 : 0;
      // Its window ran before the signal: it wrote the file (others may have too).
      writtenOnce = writtenOnce || (run.readyMs >= 0 && run.readyMs <= run.signalledMs);
    }
    struct stat st {};
    const bool there = ::stat(path.c_str(), &st) == 0;
    EXPECT_TRUE(there || !writtenOnce) << "missing after run " << first + kAtOnce;
    writtenOnce = writtenOnce || there;
    if (there) {
      EXPECT_GT(st.st_size, 0);
      EXPECT_EQ(loadSettings(path).warning, "");
    }
    QStringList beside = QDir(config.path() + QStringLiteral("/bandscope"))
                             .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    beside.removeOne(QStringLiteral("bandscope.conf"));
    if (cutShort)
      beside = beside.filter(QRegularExpression(QStringLiteral("^(?!\\.bandscope\\.conf\\.tmp)")));
    EXPECT_EQ(beside.join(' ').toStdString(), "") << "beside the file";
  }
  std::cout << "[ signals  ] " << kRuns << " runs, " << afterReadyRuns
            << " signalled once their window ran (some twice), in " << clock.elapsed()
            << " ms; longest from the signal to the end " << longestEndMs << " ms" << std::endl;
}

// X as a user's input reaches the program, through our own connection: its top-level window,
// found by its _NET_WM_PID, and clicks sent into it.
struct XInput {
  XInput() : x(xcb_connect(nullptr, nullptr)) {}
  ~XInput() { xcb_disconnect(x); }
  XInput(const XInput&) = delete;
  XInput& operator=(const XInput&) = delete;

  xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(x)).data->root; }
  QRect geometry(xcb_window_t w) const {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x, xcb_get_geometry(x, w), nullptr);
    const QRect r = g ? QRect(g->x, g->y, g->width, g->height) : QRect();
    std::free(g);
    return r;
  }
  std::vector<xcb_window_t> children(xcb_window_t w) const {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(x, xcb_query_tree(x, w), nullptr);
    std::vector<xcb_window_t> all;
    if (tree) {
      const xcb_window_t* c = xcb_query_tree_children(tree);
      all.assign(c, c + xcb_query_tree_children_length(tree));
    }
    std::free(tree);
    return all;
  }
  xcb_window_t windowOf(pid_t pid) const {
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, 11, "_NET_WM_PID"), nullptr);
    const xcb_atom_t pidAtom = atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(atom);
    for (const xcb_window_t w : children(root())) {
      xcb_get_property_reply_t* p = xcb_get_property_reply(
          x, xcb_get_property(x, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
      xcb_get_window_attributes_reply_t* a =
          xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, w), nullptr);
      const bool ours = p && xcb_get_property_value_length(p) == 4 &&
                        *static_cast<uint32_t*>(xcb_get_property_value(p)) == uint32_t(pid) && a &&
                        a->map_state == XCB_MAP_STATE_VIEWABLE;
      std::free(p);
      std::free(a);
      if (ours) return w;
    }
    return XCB_NONE;
  }
  // Its own times, far apart: clicks never pair into a double-click.
  void click(xcb_window_t w, QPoint at) {
    for (const uint8_t type : {XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE}) {
      xcb_button_press_event_t e{};  // a release has the same fields
      e.response_type = type;
      e.time = time += 1000;
      e.detail = 1;
      e.root = root();
      e.event = w;
      e.event_x = e.root_x = static_cast<int16_t>(at.x());
      e.event_y = e.root_y = static_cast<int16_t>(at.y());
      e.state = type == XCB_BUTTON_RELEASE ? XCB_BUTTON_MASK_1 : 0;
      e.same_screen = 1;
      xcb_send_event(x, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
    }
    xcb_flush(x);
  }
  xcb_connection_t* x;
  xcb_timestamp_t time = 0;
};

// The press and release of a click at `at` in `widget`, as its window would deliver them.
void clickIn(QWidget* widget, QPoint at) {
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &e);
  }
}

// A logout in the middle of a session: the bands, a check box and the size changed in the
// running program by the user's clicks and a resize, then SIGTERM; the next start has all
// three. Where the clicks land, and what they do, a window of the same size in this process
// shows.
TEST(EndToEnd, WhatTheSessionChangedComesBackAfterItsLogoutSignal) {
  QProcessEnvironment noServer = QProcessEnvironment::systemEnvironment();
  noServer.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/bandscope/n"));
  std::vector<std::string> environment;
  for (const QString& e : noServer.toStringList()) environment.push_back(e.toStdString());
  SignalledRun run;
  run.pid = spawnProgram(environment, run.output);
  ASSERT_GT(run.pid, 0);
  struct Reap {
    SignalledRun& run;
    ~Reap() {
      ::close(run.output);
      if (run.endedMs >= 0) return;
      ::kill(run.pid, SIGKILL);
      ::waitpid(run.pid, &run.status, 0);
    }
  } reap{run};
  XInput input;
  xcb_window_t window = XCB_NONE;
  ASSERT_TRUE(test::waitFor(
      [&] {
        char text[256];
        for (ssize_t got; (got = ::read(run.output, text, sizeof text)) > 0;)
          run.seen.append(text, static_cast<size_t>(got));
        window = input.windowOf(run.pid);
        return window != XCB_NONE && run.seen.find("recording=1") != std::string::npos;
      },
      60000))
      << "the program's window never ran: " << run.seen;

  // Resized as by the user; its panel follows once the program took the new size (and so
  // everything sent before it).
  const auto resize = [&](QSize size) {
    const uint32_t extent[] = {uint32_t(size.width()), uint32_t(size.height())};
    xcb_configure_window(input.x, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         extent);
    xcb_flush(input.x);
    return test::waitFor([&] {
      for (const xcb_window_t child : input.children(window))
        if (input.geometry(child).width() == size.width()) return true;
      return false;
    });
  };
  const QSize wide(1000, 480);  // the whole strip in view
  ASSERT_TRUE(resize(wide));
  CommandLine noSettings;
  noSettings.noSettings = true;
  const auto sound = test::testSignalServices();
  TForm1 twin(noSettings, *sound);
  twin.resize(wide);
  twin.show();
  ASSERT_TRUE(test::waitFor([&] { return twin.framesDrawn() > 0 && twin.size() == wide; }));
  QScrollBar* bands = twin.controls.bands_ScrollBar;
  QStyleOptionSlider bar;
  bar.initFrom(bands);
  bar.orientation = bands->orientation();
  bar.minimum = bands->minimum();
  bar.maximum = bands->maximum();
  bar.sliderPosition = bar.sliderValue = bands->value();
  bar.singleStep = bands->singleStep();
  bar.pageStep = bands->pageStep();
  bar.subControls = QStyle::SC_All;
  const QPoint beyondSlider =
      bands->style()
          ->subControlRect(QStyle::CC_ScrollBar, &bar, QStyle::SC_ScrollBarAddPage, bands)
          .center();
  QCheckBox* box = twin.controls.Hz_check;
  const QPoint onBox = box->rect().center();
  input.click(window, bands->mapTo(&twin, beyondSlider));
  input.click(window, box->mapTo(&twin, onBox));
  clickIn(bands, beyondSlider);
  clickIn(box, onBox);
  const int bandsSet = bands->value();
  ASSERT_NE(bandsSet, 192);
  ASSERT_TRUE(box->isChecked());
  const QSize resized(900, 450);
  ASSERT_TRUE(resize(resized));
  ::kill(run.pid, SIGTERM);
  ASSERT_TRUE(test::waitFor([&] {
    if (run.endedMs < 0 && ::waitpid(run.pid, &run.status, WNOHANG) == run.pid) run.endedMs = 0;
    return run.endedMs >= 0;
  }));
  EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGTERM) << run.status;

  TForm1 again(CommandLine{}, *sound);
  again.show();
  ASSERT_TRUE(test::waitFor([&] { return again.framesDrawn() > 0; }));
  EXPECT_EQ(again.controls.bands_ScrollBar->value(), bandsSet);
  EXPECT_TRUE(again.controls.Hz_check->isChecked());
  EXPECT_EQ(again.size(), resized);
  again.close();
}

// A tone played by paplay into a sink under a client (application) name, until it goes. It
// asks for a short latency, as a desktop's player does: a null sink would otherwise render in
// blocks of 2 s, and a new recording of its monitor wait that long for its first sound. A sink
// loaded just now takes the short latency once its clock restarts (suspended and resumed).
class TonePlayer {
 public:
  TonePlayer(const QString& wav, const std::string& sink, const QString& client) {
    process_.start(QStringLiteral("paplay"),
                   {QStringLiteral("-d"), QString::fromStdString(sink), QStringLiteral("-n"),
                    client, QStringLiteral("--latency-msec=20"), wav});
    EXPECT_TRUE(process_.waitForStarted());
  }
  ~TonePlayer() { stop(); }
  TonePlayer(const TonePlayer&) = delete;
  TonePlayer& operator=(const TonePlayer&) = delete;
  void stop() {
    process_.kill();
    process_.waitForFinished();
  }

 private:
  QProcess process_;
};

// A minute of a tone, both channels.
QString toneFile(const QTemporaryDir& dir, int hz) {
  QString wav = dir.filePath(QStringLiteral("tone%1.wav").arg(hz));
  if (!QFileInfo::exists(wav)) writeWav(wav, twoTones(44100 * 60, hz, hz, 90));
  return wav;
}

// The left channel's level in dBFS at the band of hz in the picture now.
double toneDb(TForm1& form, int hz) {
  const std::vector<Row> rows = rowsOf(analysisCsv(form.frameModel(), 2));
  const BandSettings& axis = form.frameModel().settings;
  return dbOf(rowOf(rows, 0, hzToBand(nearestHz(rows, hz), axis)), axis);
}

// A tone stands in the picture and another is far below it (or absent).
bool onlyTone(TForm1& form, int hz, int otherHz) {
  return toneDb(form, hz) > toneDb(form, otherHz) + 20;
}

// The entry whose source name is name, or whose description begins with it.
int entryOf(const QComboBox& list, const QString& name) {
  for (int i = 0; i < list.count(); ++i)
    if (list.itemData(i).toString() == name ||
        list.itemData(i, CaptureKeeper::kDescriptionRole).toString().startsWith(name))
      return i;
  return -1;
}

// Where the server's streams are, for a failure's message.
std::string serverState(const test::SoundServerDaemon& daemon) {
  std::string all;
  for (const char* what : {"get-default-sink", "list short sinks", "list short sources",
                           "list short sink-inputs", "list short source-outputs"}) {
    std::string text;
    daemon.pactl(what, &text);
    all += std::string(what) + ":\n" + text;
  }
  return all;
}

// A live window recording from the entry of name once it is listed.
struct LiveWindow {
  std::unique_ptr<SoundServices> sound;
  std::unique_ptr<TForm1> form;

  explicit LiveWindow(const QString& name) {
    auto opened = openSoundServices(CommandLine{});
    if (!opened) {
      ADD_FAILURE() << opened.failure().text;
      return;
    }
    sound = std::move(*opened);
    form = std::make_unique<TForm1>(CommandLine{}, *sound);
    form->controls.sono_check->setChecked(false);
    form->show();
    choose(name);
  }
  ~LiveWindow() { form.reset(); }
  bool choose(const QString& name) {
    QComboBox& list = *form->controls.devCombo;
    const bool listed = test::waitFor(
        [&] {
          return entryOf(list, name) >= 0 && form->audio() && form->audio()->Recorder->Opened;
        },
        20000);
    EXPECT_TRUE(listed) << name.toStdString() << " is not listed";
    if (!listed) return false;
    list.setCurrentIndex(entryOf(list, name));
    form->devComboChange();
    return true;
  }
  // Recording from source, blocks arriving since the call.
  bool recordsFrom(const std::string& source, int ms) {
    const uint64_t before = form->capture().blocksReceived();
    return test::waitFor(
        [&] {
          return form->capture().recordingSource() == source && form->audio() &&
                 form->audio()->Recorder->Opened && form->capture().blocksReceived() > before + 3;
        },
        ms);
  }
};

// The chosen sink's monitor is unplugged while a tone plays into the other sink: the status
// line names it within 1 s and the other sink's tone never reaches the picture; plugged in
// again, recording is back on it within 1 s, ten times over, with no choice of the user's.
TEST_P(LiveEndToEnd, AnUnpluggedSourceIsWaitedForAndComesBackByItself) {
  test::SoundServerDaemon& daemon = soundServer();
  QTemporaryDir dir;
  const std::string sink = "bandscope_unplug";
  const std::string monitor = sink + ".monitor";
  const std::string load = "load-module module-null-sink sink_name=" + sink +
                           " sink_properties=device.description=Unplugged";
  std::string module;
  const auto plugIn = [&] {
    const bool loaded = daemon.pactl(load, &module) == 0;
    module = module.substr(0, module.find_first_of('\n'));
    return loaded;
  };
  ASSERT_TRUE(plugIn());
  struct Unload {
    test::SoundServerDaemon& daemon;
    std::string& module;
    ~Unload() {
      if (!module.empty()) daemon.pactl("unload-module " + module);
    }
  } unloadAtEnd{daemon, module};
  TonePlayer other(toneFile(dir, 3000), test::SoundServerDaemon::kSink, QStringLiteral("other"));
  LiveWindow window(QString::fromStdString(monitor));
  ASSERT_TRUE(window.form);
  TForm1& form = *window.form;
  int back = 0;
  std::vector<qint64> redMs, backMs;
  auto mine = std::make_unique<TonePlayer>(toneFile(dir, 1000), sink, QStringLiteral("mine"));
  const auto mineStands = [&] { return onlyTone(form, 1000, 3000) && toneDb(form, 1000) > -25; };
  for (int cycle = 0; cycle < 10; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_TRUE(window.recordsFrom(monitor, 10000)) << form.statusLine().text().toStdString();
    ASSERT_TRUE(test::waitFor(mineStands, 20000))
        << "1 kHz at " << toneDb(form, 1000) << " dB, 3 kHz at " << toneDb(form, 3000);
    const double mineDb = toneDb(form, 1000);

    ASSERT_EQ(daemon.pactl("unload-module " + module), 0);
    module.clear();
    QElapsedTimer since;
    since.start();
    qint64 named = -1;
    double otherDb = -200;
    QStringList said;
    test::waitFor(
        [&] {
          const QString line = form.statusLine().text();
          if (!said.contains(line)) said << line;
          if (named < 0 && line.contains(QStringLiteral("Unplugged\u201d is not there")))
            named = since.elapsed();
          otherDb = std::max(otherDb, toneDb(form, 3000));
          return named >= 0 && since.elapsed() >= 1500;  // and the other tone watched a while
        },
        kLoadedBoundMs);
    redMs.push_back(named);
    EXPECT_GE(named, 0) << said.join(QStringLiteral(" | ")).toStdString();
    // The other tone would stand as high as this one; the files' noise is 20 dB and more below.
    EXPECT_LT(otherDb, mineDb - 10) << "the other sink's tone reached the picture";

    mine.reset();  // the server moved it to the other sink
    ASSERT_TRUE(plugIn());
    since.restart();
    mine = std::make_unique<TonePlayer>(toneFile(dir, 1000), sink, QStringLiteral("mine"));
    // A new null sink renders in 2 s blocks until its clock restarts with the player's short
    // latency (see TonePlayer); a device's sink has no such wait.
    daemon.pactl("suspend-sink " + sink + " 1");
    daemon.pactl("suspend-sink " + sink + " 0");
    if (test::waitFor([&] { return form.capture().recordingSource() == monitor && mineStands(); },
                      kLoadedBoundMs)) {
      backMs.push_back(since.elapsed());
      back += backMs.back() < 1000 ? 1 : 0;
    }
  }
  std::cout << "[ unplug   ] " << daemon.name() << ": back within 1 s " << back
            << " of 10; red line after";
  for (const qint64 ms : redMs) std::cout << ' ' << ms;
  std::cout << " ms; back after";
  for (const qint64 ms : backMs) std::cout << ' ' << ms;
  std::cout << " ms" << std::endl;
  EXPECT_EQ(backMs.size(), 10u) << "every cycle back by itself";
}

// Two players in one sink: the first one's entry shows its 1 kHz alone; when it stops the
// picture falls silent and the line says so, and its next stream is recorded within 1 s.
TEST_P(LiveEndToEnd, AnApplicationsEntryRecordsItAloneAndFollowsItsNextStream) {
  QTemporaryDir dir;
  const QString first = QStringLiteral("bandscope tone one");
  auto one =
      std::make_unique<TonePlayer>(toneFile(dir, 1000), test::SoundServerDaemon::kSink, first);
  TonePlayer three(toneFile(dir, 3000), test::SoundServerDaemon::kSink,
                   QStringLiteral("bandscope tone three"));
  LiveWindow window(first + ':');
  ASSERT_TRUE(window.form);
  TForm1& form = *window.form;
  QComboBox& list = *form.controls.devCombo;
  const std::string entry = list.itemData(list.currentIndex()).toString().toStdString();
  EXPECT_TRUE(sound::applicationOf(entry) == first.toStdString()) << entry;
  ASSERT_TRUE(window.recordsFrom(entry, 10000)) << form.statusLine().text().toStdString();
  ASSERT_TRUE(test::waitFor([&] { return onlyTone(form, 1000, 3000); }, 20000))
      << "1 kHz at " << toneDb(form, 1000) << " dB, 3 kHz at " << toneDb(form, 3000);

  one.reset();
  ASSERT_TRUE(test::waitFor(
      [&] {
        return form.statusLine().text() ==
               QStringLiteral("\u201cbandscope tone one\u201d is not playing");
      },
      5000))
      << form.statusLine().text().toStdString();
  EXPECT_TRUE(test::waitFor([&] { return toneDb(form, 1000) < -60; }, 5000))
      << "silent while it plays nothing: 1 kHz at " << toneDb(form, 1000) << " dB";

  QElapsedTimer since;
  since.start();
  one = std::make_unique<TonePlayer>(toneFile(dir, 1000), test::SoundServerDaemon::kSink, first);
  ASSERT_TRUE(window.recordsFrom(entry, 10000)) << form.statusLine().text().toStdString();
  const qint64 followedMs = since.elapsed();
  ASSERT_TRUE(test::waitFor([&] { return onlyTone(form, 1000, 3000); }, 20000))
      << "1 kHz at " << toneDb(form, 1000) << " dB, 3 kHz at " << toneDb(form, 3000);
  std::cout << "[ follow   ] " << soundServer().name() << ": the next stream recorded "
            << followedMs << " ms after the player started" << std::endl;
  EXPECT_LT(followedMs, kLoadedBoundMs);
}

// "What plays" follows the default sink: 1 kHz into the default sink and 3 kHz into another;
// made the default, the other sink's tone is in the picture within 1 s. (The server may move
// the first player along with the default: its tone is not looked for afterwards.)
TEST_P(LiveEndToEnd, WhatPlaysFollowsTheDefaultOutput) {
  test::SoundServerDaemon& daemon = soundServer();
  QTemporaryDir dir;
  const std::string sink = "bandscope_second";
  loadModule("module-null-sink sink_name=" + sink);
  const std::string makeDefault = std::string("set-default-sink ") + test::SoundServerDaemon::kSink;
  struct Restore {
    test::SoundServerDaemon& daemon;
    const std::string& command;
    ~Restore() { daemon.pactl(command); }
  } restoreAtEnd{daemon, makeDefault};
  ASSERT_EQ(daemon.pactl(makeDefault), 0);
  TonePlayer one(toneFile(dir, 1000), test::SoundServerDaemon::kSink, QStringLiteral("one"));
  TonePlayer three(toneFile(dir, 3000), sink, QStringLiteral("three"));
  ASSERT_TRUE(
      test::waitFor([&] { return sinkRunning(daemon) && sinkRunning(daemon, sink); }, 20000))
      << "the players' streams never ran into their sinks";
  // The new null sink's clock restarted with the player's short latency (see TonePlayer).
  daemon.pactl("suspend-sink " + sink + " 1");
  daemon.pactl("suspend-sink " + sink + " 0");
  LiveWindow window(QString::fromLatin1(sound::kDefaultOutputName));
  ASSERT_TRUE(window.form);
  TForm1& form = *window.form;
  ASSERT_TRUE(window.recordsFrom(sound::kDefaultOutputName, 10000))
      << form.statusLine().text().toStdString();
  ASSERT_TRUE(test::waitFor([&] { return onlyTone(form, 1000, 3000); }, 20000))
      << "1 kHz at " << toneDb(form, 1000) << " dB, 3 kHz at " << toneDb(form, 3000);
  const double quiet = toneDb(form, 3000);
  ASSERT_EQ(daemon.pactl("set-default-sink " + sink), 0);
  QElapsedTimer since;
  since.start();
  ASSERT_TRUE(test::waitFor([&] { return toneDb(form, 3000) > quiet + 20; }, 10000))
      << form.statusLine().text().toStdString() << "; 3 kHz at " << toneDb(form, 3000)
      << " dB; the server says:\n"
      << serverState(daemon);
  const qint64 followedMs = since.elapsed();
  std::cout << "[ default  ] " << daemon.name() << ": the picture followed the default sink in "
            << followedMs << " ms" << std::endl;
  EXPECT_LT(followedMs, kLoadedBoundMs);
  EXPECT_EQ(form.capture().recordingSource(), sound::kDefaultOutputName);
  EXPECT_TRUE(form.statusLine().isHidden()) << form.statusLine().text().toStdString();
}

// The monitor's entry stays chosen through the server's death and restart, and recording
// resumes on it by itself; sources added meanwhile join the list without moving the choice.
TEST_P(LiveEndToEnd, ServerDeathShowsWhyAndCaptureResumesByItself) {
  test::SoundServerDaemon& daemon = soundServer();
  ASSERT_TRUE(daemon.running());
  const auto opened = openSoundServices(CommandLine{});
  ASSERT_TRUE(opened) << opened.failure().text;
  const auto& sound = *opened;
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
  const auto opened = openSoundServices(CommandLine{});
  ASSERT_TRUE(opened) << opened.failure().text;
  const auto& sound = *opened;
  TForm1 form(CommandLine{}, *sound);
  form.controls.sono_check->setChecked(false);  // software GL's costliest view: not measured here
  form.show();
  QComboBox* list = form.controls.devCombo;
  const char* const monitor = test::SoundServerDaemon::kMonitor;
  auto choose = [&](const QString& name) {
    list->setCurrentIndex(entryOf(*list, name));
    form.devComboChange();
  };
  QTemporaryDir dir;
  const QString player = QStringLiteral("bandscope stopped player");
  TonePlayer playing(toneFile(dir, 1000), test::SoundServerDaemon::kSink, player);
  auto blocks = [&] { return form.capture().blocksReceived(); };
  ASSERT_TRUE(test::waitFor(
      [&] {
        return list->findData(QString::fromLatin1(monitor)) >= 0 && entryOf(*list, player) >= 0 &&
               form.audio() && form.audio()->Recorder->Opened;
      },
      20000));
  choose(QString::fromLatin1(monitor));
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
  for (const char* name :
       {monitor, "bandscope stopped player", sound::TestSignalInput::kName, monitor}) {
    choose(QString::fromLatin1(name));
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
  EXPECT_LE(stallMs, kLongestStallMs);
  EXPECT_LT(resumedMs, 3000);
}

// A server that takes the connection and never answers: the window draws from the start, the
// start-up choice waits and the status line says so, and once the server is given up (2 s)
// the test signal is chosen. The UI thread never stands still as long as a wait for it would.
TEST(EndToEnd, AServerThatNeverAnswersNeverStallsTheWindow) {
  test::SilentServer silent;
  ASSERT_FALSE(silent.server().empty());
  const PulseServerFor pulse(silent.server());
  QElapsedTimer since;
  since.start();
  const auto opened = openSoundServices(CommandLine{});
  ASSERT_TRUE(opened) << opened.failure().text;
  const auto& sound = *opened;
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
  EXPECT_LE(stallMs, kLongestStallMs);
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
