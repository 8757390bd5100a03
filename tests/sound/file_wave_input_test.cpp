#include "sound/file_wave_input.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace bandscope::sound {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr WaveFormat kRecording{1, 2, 44100, 88200, 2, 8, 0};
constexpr WaveFormat kRecording16{1, 2, 44100, 176400, 4, 16, 0};

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "file_wave_input_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// Writes frames of the given samples with libsndfile; T picks the write call.
template <typename T>
void writeSound(const std::string& path, int format, int rate, int channels,
                const std::vector<T>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  const auto n = static_cast<sf_count_t>(samples.size());
  if constexpr (std::is_same_v<T, std::uint8_t>) {
    sf_write_raw(file, samples.data(), n);
  } else if constexpr (std::is_same_v<T, short>) {
    sf_write_short(file, samples.data(), n);
  } else {
    sf_write_float(file, samples.data(), n);
  }
  sf_close(file);
}

// Callback records, copying each returned buffer.
struct Delivery {
  unsigned message;
  WaveHeader* header;
  Bytes bytes;
  std::thread::id thread;
  Clock::time_point time;
};

struct Recorder {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<Delivery> log;

  static void callback(WaveHandle, unsigned message, void* instance, WaveHeader* header,
                       std::uintptr_t) {
    auto* self = static_cast<Recorder*>(instance);
    Delivery d{message, header, {}, std::this_thread::get_id(), Clock::now()};
    if (header) d.bytes.assign(header->data, header->data + header->bytesRecorded);
    std::lock_guard lock(self->mutex);
    self->log.push_back(std::move(d));
    self->arrived.notify_all();
  }
  std::size_t dataCount() {
    return std::count_if(log.begin(), log.end(), [](auto& d) { return d.message == WIM_DATA; });
  }
  std::size_t lockedDataCount() {
    std::lock_guard lock(mutex);
    return dataCount();
  }
  bool waitForData(std::size_t n) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(5), [&] { return dataCount() >= n; });
  }
};

struct Buffer {
  explicit Buffer(std::uint32_t size) : data(size) {
    header.data = data.data();
    header.bufferLength = size;
  }
  Bytes data;
  WaveHeader header;
};

std::unique_ptr<FileWaveInput> mustLoad(const std::string& path, FileMode mode) {
  auto input = FileWaveInput::load(path, mode);
  if (!input) {
    ADD_FAILURE() << input.failure().text;
    return nullptr;
  }
  EXPECT_NE(*input, nullptr);
  return std::move(*input);
}

// Upward crossings of the midpoint per second on one channel of the converted bytes.
double crossingsPerSecond(const Bytes& s, int channel) {
  int crossings = 0;
  for (std::size_t i = 2 + channel; i < s.size(); i += 2)
    crossings += s[i - 2] < 128 && s[i] >= 128;
  return crossings * 44100.0 / (static_cast<double>(s.size()) / 2);
}

TEST(FileWaveInputDecode, RecordingFormatReachesTheBuffersByteForByte) {
  TempDir dir;
  Bytes bytes(2000);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 37 + i / 256);
  bytes[0] = 0, bytes[1] = 255, bytes[2] = 128;
  writeSound(dir.file("take.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 2, bytes);
  auto input = mustLoad(dir.file("take.wav"), FileMode::Offline);
  ASSERT_TRUE(input);
  EXPECT_EQ(input->samples8(), bytes);
  EXPECT_EQ(input->numDevs(), 1u);
  EXPECT_EQ(input->deviceDescription(0), "take.wav");
  // 16 bits: each byte u as (u - 128) x 256, little-endian.
  Bytes wide;
  for (const std::uint8_t u : bytes) {
    wide.push_back(0);
    wide.push_back(static_cast<std::uint8_t>(u - 128));
  }

  const struct {
    WaveFormat format;
    const Bytes& sound;
    std::vector<std::uint32_t> sizes;
  } formats[] = {{kRecording, bytes, {600, 600, 600, 200}},
                 {kRecording16, wide, {600, 600, 600, 600, 600, 600, 400}}};
  for (const auto& f : formats) {
    SCOPED_TRACE(f.format.bitsPerSample);
    Recorder rec;
    WaveHandle h = 0;
    ASSERT_EQ(input->open(h, WAVE_MAPPER, f.format, &Recorder::callback, &rec), MMSYSERR_NOERROR);
    ASSERT_EQ(rec.log.size(), 1u);
    EXPECT_EQ(rec.log[0].message, WIM_OPEN);
    Buffer a(600), b(600);
    for (Buffer* buf : {&a, &b}) {
      ASSERT_EQ(input->prepareHeader(h, buf->header), MMSYSERR_NOERROR);
      ASSERT_EQ(input->addBuffer(h, buf->header), MMSYSERR_NOERROR);
    }
    EXPECT_FALSE(input->deliverNext()) << "not started";
    ASSERT_EQ(input->start(h), MMSYSERR_NOERROR);
    Bytes delivered;
    std::vector<std::uint32_t> sizes;
    while (input->deliverNext()) {
      const Delivery& d = rec.log.back();
      EXPECT_EQ(d.message, WIM_DATA);
      EXPECT_EQ(d.thread, std::this_thread::get_id());
      EXPECT_EQ(d.header->flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
      sizes.push_back(d.header->bytesRecorded);
      delivered.insert(delivered.end(), d.bytes.begin(), d.bytes.end());
      ASSERT_EQ(input->addBuffer(h, *d.header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(sizes, f.sizes);
    EXPECT_EQ(delivered, f.sound);
    EXPECT_TRUE(input->atEnd());
    EXPECT_FALSE(input->deliverNext()) << "no looping offline";
    EXPECT_EQ(input->reset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(input->close(h), MMSYSERR_NOERROR);
    EXPECT_EQ(rec.log.back().message, WIM_CLOSE);
  }
}

TEST(FileWaveInputDecode, SamplesRoundToNearestAndClamp) {
  TempDir dir;
  // Stereo 16-bit: sample / 256, ties away from zero, then + 128.
  const std::vector<short> pcm{0, 127, 128, -128, -129, 383, 384, -384, 32767, -32768};
  writeSound(dir.file("pcm16.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, pcm);
  auto pcmInput = mustLoad(dir.file("pcm16.wav"), FileMode::Offline);
  ASSERT_TRUE(pcmInput);
  EXPECT_EQ(pcmInput->samples8(), (Bytes{128, 128, 129, 127, 127, 129, 130, 126, 255, 0}));
  EXPECT_EQ(pcmInput->samples16(), std::vector<std::int16_t>(pcm.begin(), pcm.end()))
      << "16-bit sound is kept as it is";

  // Mono float, out of range and not a number: both channels alike.
  const std::vector<float> flt{1.5f, -2.f, 0.5f, -0.5f, 0.996f, NAN};
  writeSound(dir.file("float.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, flt);
  auto fltInput = mustLoad(dir.file("float.wav"), FileMode::Offline);
  ASSERT_TRUE(fltInput);
  EXPECT_EQ(fltInput->samples8(), (Bytes{255, 255, 0, 0, 192, 192, 64, 64, 255, 255, 128, 128}));
  EXPECT_EQ(fltInput->samples16(),
            (std::vector<std::int16_t>{32767, 32767, -32768, -32768, 16384, 16384, -16384, -16384,
                                       32637, 32637, 0, 0}));
}

// Float sound just short of, at and just past the middle between two 8-bit steps, all over
// the range: its 8-bit bytes are its own rounding to 8 bits, as 8-bit decoding gave them,
// and its 16-bit samples are its rounding to 16 bits or one step from it.
TEST(FileWaveInputDecode, EightBitsStayTheSoundsOwnRoundingWhereSixteenBitsCrossTheMiddle) {
  TempDir dir;
  std::vector<float> flt;
  for (int step = -128; step < 128; ++step) {
    for (const double off : {-0.45, -0.3, -0.1, -0.01, 0.0, 0.01, 0.1, 0.3, 0.45}) {
      flt.push_back(static_cast<float>((256.0 * step + 128 + off) / 32768));
      flt.push_back(static_cast<float>((256.0 * step + off) / 32768));  // on a step
    }
  }
  writeSound(dir.file("middles.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, flt);
  auto input = mustLoad(dir.file("middles.wav"), FileMode::Offline);
  ASSERT_TRUE(input);
  const Bytes eight = input->samples8();
  const std::vector<std::int16_t>& sixteen = input->samples16();
  ASSERT_EQ(eight.size(), 2 * flt.size());
  int moved = 0;
  for (std::size_t i = 0; i < flt.size(); ++i) {
    const double x = flt[i];
    const auto byte = static_cast<int>(std::lround(std::clamp(x * 128, -128.0, 127.0)) + 128);
    ASSERT_EQ(eight[2 * i], byte) << "x = " << x * 32768 << " / 32768";
    const long nearest = std::lround(std::clamp(x * 32768, -32768.0, 32767.0));
    ASSERT_LE(std::abs(sixteen[2 * i] - nearest), 1) << "x = " << x * 32768 << " / 32768";
    ASSERT_EQ(FileWaveInput::byteOf(sixteen[2 * i]), eight[2 * i]);
    moved += sixteen[2 * i] != nearest;
  }
  EXPECT_GT(moved, 0) << "some had to be moved";
}

TEST(FileWaveInputDecode, OtherRatesAreResampledKeepingLengthAndPitch) {
  TempDir dir;
  // One second of a 1 kHz sine, 48 kHz mono float.
  std::vector<float> sine(48000);
  for (std::size_t i = 0; i < sine.size(); ++i) {
    sine[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * i / 48000));
  }
  writeSound(dir.file("sine48k.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, sine);
  auto sineInput = mustLoad(dir.file("sine48k.wav"), FileMode::Offline);
  ASSERT_TRUE(sineInput);
  const Bytes s = sineInput->samples8();
  EXPECT_NEAR(static_cast<double>(s.size()) / 2, 44100, 100);
  for (std::size_t i = 0; i < s.size(); i += 2) ASSERT_EQ(s[i], s[i + 1]) << "frame " << i / 2;
  EXPECT_NEAR(crossingsPerSecond(s, 0), 1000, 10);
  EXPECT_NEAR(*std::max_element(s.begin() + 2000, s.end() - 2000), 192, 2);

  // Two seconds at 8 kHz, 8-bit, three channels: 440 Hz, silence, noise; the third is dropped.
  Bytes three(3 * 16000);
  for (std::size_t f = 0; f < 16000; ++f) {
    three[3 * f] = static_cast<std::uint8_t>(
        128 + std::lround(100 * std::sin(2 * std::numbers::pi * 440.0 * f / 8000)));
    three[3 * f + 1] = 128;
    three[3 * f + 2] = static_cast<std::uint8_t>(f * 97);
  }
  writeSound(dir.file("low.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 3, three);
  auto lowInput = mustLoad(dir.file("low.wav"), FileMode::Offline);
  ASSERT_TRUE(lowInput);
  const Bytes t = lowInput->samples8();
  EXPECT_NEAR(static_cast<double>(t.size()) / 2, 88200, 100);
  EXPECT_NEAR(crossingsPerSecond(t, 0), 440, 5);
  for (std::size_t i = 1; i < t.size(); i += 2) ASSERT_NEAR(t[i], 128, 1) << "frame " << i / 2;
}

TEST(FileWaveInputDecode, UnusableFilesFailNamingTheFile) {
  TempDir dir;
  const auto fails = [&](const std::string& path, const std::string& start) {
    const auto input = FileWaveInput::load(path, FileMode::RealTime);
    if (input) {
      ADD_FAILURE() << path << " loaded";
      return std::string();
    }
    const std::string& error = input.failure().text;
    EXPECT_EQ(error.rfind(start + "\"" + path + "\"", 0), 0u) << error;
    return error;
  };
  const std::string missing = fails(dir.file("missing.wav"), "Cannot read audio file ");
  EXPECT_GT(missing.size(), ("Cannot read audio file \"" + dir.file("missing.wav") + "\": ").size())
      << "the reason follows";
  std::ofstream(dir.file("notes.wav")) << "These are not samples, just some words.\n";
  fails(dir.file("notes.wav"), "Cannot read audio file ");
  writeSound(dir.file("empty.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
             std::vector<short>{});
  EXPECT_EQ(fails(dir.file("empty.wav"), "Audio file "),
            "Audio file \"" + dir.file("empty.wav") + "\" holds no sound");

  // Refused from their type alone: reading a FIFO or a device would block or never end.
  fs::create_directory(dir.file("album.wav"));
  ASSERT_EQ(mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
  fs::create_symlink(dir.file("pipe.wav"), dir.file("link.wav"));
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  dir.file("socket.wav").copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(listener);
  const struct {
    std::string path;
    const char* why;
  } notFiles[] = {{dir.file("album.wav"), "it is a folder"},
                  {dir.file("pipe.wav"), "it is a named pipe, not a file"},
                  {dir.file("link.wav"), "it is a named pipe, not a file"},
                  {dir.file("socket.wav"), "it is a socket, not a file"},
                  {"/dev/zero", "it is a device, not a file"}};
  for (const auto& c : notFiles) {
    EXPECT_EQ(fails(c.path, "Cannot read audio file "),
              "Cannot read audio file \"" + c.path + "\": " + c.why);
  }
}

TEST(FileWaveInputDecode, SoundPastTheLimitsIsRefused) {
  TempDir dir;
  constexpr std::int64_t kWav = -1, kMany = 1 << 30;
  constexpr FileLoadLimits kTwoSeconds{2, kMany, kMany};
  const struct {
    const char* name;
    int rate, channels;
    std::size_t frames;
    FileLoadLimits limits;
    std::int64_t flacClaims;  // kWav; else a FLAC file whose header claims so many frames (0:
                              // it does not say, and only decoding finds out)
    const char* says;         // after the file's name; null: it loads
  } cases[] = {
      {"at the length limit", 44100, 2, 88200, kTwoSeconds, kWav, nullptr},
      {"a frame longer", 44100, 2, 88201, kTwoSeconds, kWav, " is too long: more than 2 seconds"},
      {"resampled, at the limit", 8000, 1, 16000, kTwoSeconds, kWav, nullptr},
      {"resampled, longer", 8000, 1, 16001, kTwoSeconds, kWav, " is too long: more than 2 sec"},
      {"at the frame limit", 48000, 1, 1000, {2, 1000, kMany}, kWav, nullptr},
      {"a frame more", 48000, 1, 1001, {2, 1000, kMany}, kWav, " is too large: more than 1000 fr"},
      {"at the sample limit", 44100, 3, 1000, {2, kMany, 3000}, kWav, nullptr},
      {"a sample more", 44100, 3, 1001, {2, kMany, 3000}, kWav, " is too large: more than 3000 s"},
      {"minutes", 8000, 1, 8000 * 61, {60, kMany, kMany}, kWav, " is too long: more than 1 minute"},
      {"claiming too much", 44100, 1, 1000, kTwoSeconds, 88201, " is too long"},
      {"unknown length, within", 44100, 1, 88200, kTwoSeconds, 0, nullptr},
      {"unknown length, longer", 44100, 1, 88200 + 4096, kTwoSeconds, 0, " is too long"},
      {"unknown length, larger", 44100, 1, 5000, {2, kMany, 4000}, 0, " is too large"},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.flacClaims == kWav ? "sound.wav" : "sound.flac");
    const std::vector<short> pcm(c.frames * static_cast<std::size_t>(c.channels), 1000);
    writeSound(
        path,
        c.flacClaims == kWav ? SF_FORMAT_WAV | SF_FORMAT_PCM_16 : SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
        c.rate, c.channels, pcm);
    if (c.flacClaims != kWav) {
      // STREAMINFO's 36-bit sample count ends 26 bytes into the file.
      std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
      char head[26];
      f.read(head, sizeof head);
      head[21] = static_cast<char>((head[21] & 0xF0) | ((c.flacClaims >> 32) & 0x0F));
      for (int i = 0; i < 4; ++i) head[25 - i] = static_cast<char>(c.flacClaims >> (8 * i));
      f.seekp(0);
      f.write(head, sizeof head);
    }
    const auto input = FileWaveInput::load(path, FileMode::Offline, c.limits);
    if (c.says) {
      ASSERT_FALSE(input);
      const std::string& error = input.failure().text;
      EXPECT_EQ(error.rfind("Audio file \"" + path + "\"" + c.says, 0), 0u) << error;
    } else {
      ASSERT_TRUE(input) << input.failure().text;
      EXPECT_NEAR(static_cast<double>((*input)->samples16().size()) / 2,
                  c.frames * 44100.0 / c.rate, 64);
    }
  }
}

TEST(FileWaveInputDecode, TruncatedFileYieldsTheWholeFramesThatArePresent) {
  TempDir dir;
  Bytes data(2000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  writeSound(dir.file("cut.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 2, data);
  // The header still announces 2000 bytes; 601 remain, the last one half a frame.
  fs::resize_file(dir.file("cut.wav"), fs::file_size(dir.file("cut.wav")) - 1399);
  auto input = mustLoad(dir.file("cut.wav"), FileMode::Offline);
  ASSERT_TRUE(input);
  EXPECT_EQ(input->samples8(), Bytes(data.begin(), data.begin() + 600));
}

class FileWaveInputDevice : public testing::Test {
 protected:
  // A frame's bytes name it: left = low byte of its index, right = next byte.
  void SetUp() override {
    bytes_.resize(2 * 44100);
    for (std::size_t f = 0; f < 44100; ++f) {
      bytes_[2 * f] = static_cast<std::uint8_t>(f);
      bytes_[2 * f + 1] = static_cast<std::uint8_t>(f >> 8);
    }
  }
  std::unique_ptr<FileWaveInput> load(std::size_t frames, FileMode mode) {
    const Bytes head(bytes_.begin(), bytes_.begin() + 2 * frames);
    writeSound(dir_.file("frames.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 2, head);
    return mustLoad(dir_.file("frames.wav"), mode);
  }
  static std::size_t frameOf(const Bytes& b) { return b[0] + 256u * b[1]; }

  TempDir dir_;
  Bytes bytes_;
  Recorder rec_;
};

TEST_F(FileWaveInputDevice, HeaderAndHandleRulesFollowTheDriverModel) {
  auto input = load(1000, FileMode::Offline);
  ASSERT_TRUE(input);
  WaveHandle h = 0;
  const WaveFormat mono{1, 1, 44100, 44100, 1, 8, 0}, wide{1, 2, 44100, 264600, 6, 24, 0},
      slow{1, 2, 22050, 44100, 2, 8, 0}, misaligned{1, 2, 44100, 88200, 2, 16, 0};
  for (const WaveFormat& f : {mono, wide, slow, misaligned}) {
    EXPECT_EQ(input->open(h, 0, f, &Recorder::callback, &rec_), WAVERR_BADFORMAT);
  }
  EXPECT_EQ(input->open(h, 1, kRecording, &Recorder::callback, &rec_), MMSYSERR_BADDEVICEID);
  EXPECT_TRUE(rec_.log.empty());
  ASSERT_EQ(input->open(h, 0, kRecording, &Recorder::callback, &rec_), MMSYSERR_NOERROR);
  WaveHandle other = 0;
  EXPECT_EQ(input->open(other, 0, kRecording, &Recorder::callback, &rec_), MMSYSERR_ALLOCATED);

  Buffer a(512), b(512), c(512);
  EXPECT_EQ(input->prepareHeader(h + 1, a.header), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(input->addBuffer(h, a.header), WAVERR_UNPREPARED);
  for (Buffer* buf : {&a, &b, &c})
    ASSERT_EQ(input->prepareHeader(h, buf->header), MMSYSERR_NOERROR);
  EXPECT_EQ(a.header.flags, WHDR_PREPARED);
  ASSERT_EQ(input->addBuffer(h, a.header), MMSYSERR_NOERROR);
  EXPECT_EQ(input->addBuffer(h, a.header), WAVERR_STILLPLAYING);
  ASSERT_EQ(input->addBuffer(h, b.header), MMSYSERR_NOERROR);
  ASSERT_EQ(input->addBuffer(h, c.header), MMSYSERR_NOERROR);
  EXPECT_EQ(input->unprepareHeader(h, b.header), WAVERR_STILLPLAYING);
  EXPECT_EQ(input->close(h), WAVERR_STILLPLAYING);

  ASSERT_EQ(input->start(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(input->deliverNext());
  rec_.log.clear();
  ASSERT_EQ(input->reset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(rec_.log.size(), 2u) << "the queued headers come back in order";
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(rec_.log[i].message, WIM_DATA);
    EXPECT_EQ(rec_.log[i].header, i == 0 ? &b.header : &c.header);
    EXPECT_EQ(rec_.log[i].header->flags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(rec_.log[i].header->bytesRecorded, 0u);
  }
  EXPECT_FALSE(input->deliverNext()) << "reset stops";
  for (Buffer* buf : {&a, &b, &c}) {
    EXPECT_EQ(input->unprepareHeader(h, buf->header), MMSYSERR_NOERROR);
    EXPECT_EQ(buf->header.flags & WHDR_PREPARED, 0u);
  }
  EXPECT_EQ(input->close(h), MMSYSERR_NOERROR);
  EXPECT_EQ(rec_.log.back().message, WIM_CLOSE);
  EXPECT_EQ(input->start(h), MMSYSERR_INVALHANDLE) << "a closed handle is dead";

  // Reopened, it plays from the beginning again.
  ASSERT_EQ(input->open(h, 0, kRecording, &Recorder::callback, &rec_), MMSYSERR_NOERROR);
  ASSERT_EQ(input->prepareHeader(h, a.header), MMSYSERR_NOERROR);
  ASSERT_EQ(input->addBuffer(h, a.header), MMSYSERR_NOERROR);
  ASSERT_EQ(input->start(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(input->deliverNext());
  EXPECT_EQ(frameOf(rec_.log.back().bytes), 0u);
  EXPECT_EQ(input->reset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(input->close(h), MMSYSERR_NOERROR);
}

TEST_F(FileWaveInputDevice, RealTimeDeliversPacedOnItsOwnThreadAndLoops) {
  // 1000 frames in buffers of 441: 441, 441, 118, then again from the start.
  auto input = load(1000, FileMode::RealTime);
  ASSERT_TRUE(input);
  WaveHandle h = 0;
  ASSERT_EQ(input->open(h, 0, kRecording, &Recorder::callback, &rec_), MMSYSERR_NOERROR);
  std::vector<std::unique_ptr<Buffer>> buffers;
  for (int i = 0; i < 12; ++i) {
    buffers.push_back(std::make_unique<Buffer>(882));
    ASSERT_EQ(input->prepareHeader(h, buffers.back()->header), MMSYSERR_NOERROR);
    ASSERT_EQ(input->addBuffer(h, buffers.back()->header), MMSYSERR_NOERROR);
  }
  const auto started = Clock::now();
  ASSERT_EQ(input->start(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(rec_.waitForData(12));
  const auto elapsed = rec_.log.back().time - started;
  EXPECT_GE(elapsed, std::chrono::milliseconds(80)) << "4000 frames take 90.7 ms";
  EXPECT_LE(elapsed, std::chrono::seconds(2));
  for (std::size_t i = 1; i < rec_.log.size(); ++i) {
    const Delivery& d = rec_.log[i];
    EXPECT_NE(d.thread, std::this_thread::get_id());
    EXPECT_EQ(d.header, &buffers[i - 1]->header);
    const std::size_t first = (i - 1) % 3 == 0 ? 0 : (i - 1) % 3 == 1 ? 441 : 882;
    const std::size_t frames = (i - 1) % 3 == 2 ? 118 : 441;
    EXPECT_EQ(d.bytes, Bytes(bytes_.begin() + 2 * first, bytes_.begin() + 2 * (first + frames)))
        << "buffer " << i - 1;
  }
  EXPECT_EQ(input->reset(h), MMSYSERR_NOERROR);
  for (auto& b : buffers) EXPECT_EQ(input->unprepareHeader(h, b->header), MMSYSERR_NOERROR);
  EXPECT_EQ(input->close(h), MMSYSERR_NOERROR);
}

TEST_F(FileWaveInputDevice, RealTimeSkipsUnbufferedTimeAndStopsPromptly) {
  auto input = load(44100, FileMode::RealTime);
  ASSERT_TRUE(input);
  WaveHandle h = 0;
  ASSERT_EQ(input->open(h, 0, kRecording, &Recorder::callback, &rec_), MMSYSERR_NOERROR);
  Buffer small(1024), big(60000);  // big: 0.68 s of sound
  ASSERT_EQ(input->prepareHeader(h, small.header), MMSYSERR_NOERROR);
  ASSERT_EQ(input->prepareHeader(h, big.header), MMSYSERR_NOERROR);

  // Nothing queued for 100 ms: the file plays on without us.
  ASSERT_EQ(input->start(h), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(input->addBuffer(h, small.header), MMSYSERR_NOERROR);
  ASSERT_TRUE(rec_.waitForData(1));
  EXPECT_GE(frameOf(rec_.log.back().bytes), 2000u);

  // A reset in the middle of a long block returns the buffer at once.
  ASSERT_EQ(input->addBuffer(h, big.header), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto before = Clock::now();
  ASSERT_EQ(input->reset(h), MMSYSERR_NOERROR);
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(200));
  ASSERT_EQ(rec_.lockedDataCount(), 2u);
  EXPECT_EQ(rec_.log.back().header, &big.header);
  EXPECT_EQ(rec_.log.back().thread, std::this_thread::get_id());

  // Started with nothing queued, the device waits out a block as long as the last buffer;
  // close cuts it short, and nothing arrives afterwards.
  ASSERT_EQ(input->start(h), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  before = Clock::now();
  EXPECT_EQ(input->close(h), MMSYSERR_NOERROR);
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(200));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(rec_.lockedDataCount(), 2u);
  EXPECT_EQ(rec_.log.back().message, WIM_CLOSE);
}

}  // namespace
}  // namespace bandscope::sound
