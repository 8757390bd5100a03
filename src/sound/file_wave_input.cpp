#include "sound/file_wave_input.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <utility>

namespace bandscope::sound {

namespace {

constexpr sf_count_t kChunkFrames = 4096;

// A sample in [-1, 1] to unsigned 8-bit: round to nearest (ties away from zero), clamp. Exact
// for 8-bit sources, which the library hands out as (u - 128) / 128.
std::uint8_t toByte(double x) {
  if (std::isnan(x)) return 128;
  const double v = std::clamp(x * 128.0, -128.0, 127.0);
  return static_cast<std::uint8_t>(std::lround(v) + 128);
}

// A sample in [-1, 1] to signed 16-bit the same way, then moved by one step where byteOf would
// not give toByte's byte: 32768 x rounded can reach the middle between two 8-bit steps that x
// itself stops short of, and the 8-bit format must deliver what 8-bit decoding always gave.
std::int16_t toSample(double x) {
  if (std::isnan(x)) return 0;
  const double v = std::clamp(x * 32768.0, -32768.0, 32767.0);
  auto sample = static_cast<std::int16_t>(std::lround(v));
  const int wanted = toByte(x);
  const int got = FileWaveInput::byteOf(sample);
  if (got != wanted) sample = static_cast<std::int16_t>(sample + (wanted > got ? 1 : -1));
  return sample;
}

struct SndFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
struct ResamplerDeleter {
  void operator()(SRC_STATE* state) const { src_delete(state); }
};

std::string quoted(const std::string& path) {
  return "\"" + path + "\"";
}

std::string cannotRead(const std::string& path, const std::string& why) {
  return "Cannot read audio file " + quoted(path) + ": " + why;
}

// Why a file of this type is not read; null for a regular file.
const char* notAFile(mode_t type) {
  if (S_ISREG(type)) return nullptr;
  if (S_ISDIR(type)) return "it is a folder";
  if (S_ISFIFO(type)) return "it is a named pipe, not a file";
  if (S_ISSOCK(type)) return "it is a socket, not a file";
  if (S_ISCHR(type) || S_ISBLK(type)) return "it is a device, not a file";
  return "it is not a regular file";
}

// Opens path for reading if it is a regular file, else fails with a message. The type is
// checked before the open, so that no device is opened, and again on the descriptor, in case
// a FIFO took the file's place in between. The descriptor stays non-blocking: that changes
// nothing for files on disk, and a pseudo-file that would wait (/proc/kmsg) fails instead.
Result<int> openRegularFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && notAFile(st.st_mode))
    return Failure{cannotRead(path, notAFile(st.st_mode))};
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return Failure{cannotRead(path, std::strerror(error)), error};
  }
  const int error = fstat(fd, &st) == 0 ? 0 : errno;
  const char* why = error == 0 ? notAFile(st.st_mode) : std::strerror(error);
  if (why) {
    close(fd);
    return Failure{cannotRead(path, why), error};
  }
  return fd;
}

std::string duration(std::uint32_t seconds) {
  const bool minutes = seconds % 60 == 0;
  const std::uint32_t n = minutes ? seconds / 60 : seconds;
  return std::to_string(n) + (minutes ? " minute" : " second") + (n == 1 ? "" : "s");
}

// Whether the header gives the length (SF_COUNT_MAX: it does not say).
bool lengthKnown(const SF_INFO& info) {
  return info.frames > 0 && info.frames < SF_COUNT_MAX;
}

// The message when the first frames of the file go past a limit; empty within them.
std::string overLimit(sf_count_t frames, const SF_INFO& info, const FileLoadLimits& limits,
                      const std::string& path) {
  const std::string start = "Audio file " + quoted(path) + " is too ";
  if (frames > sf_count_t{limits.maxSeconds} * info.samplerate)
    return start + "long: more than " + duration(limits.maxSeconds) + " of sound";
  if (frames > limits.maxFileFrames)
    return start + "large: more than " + std::to_string(limits.maxFileFrames) + " frames";
  if (frames > limits.maxFileSamples / info.channels)
    return start + "large: more than " + std::to_string(limits.maxFileSamples) + " samples";
  return {};
}

// Room for n more samples. Doubling stops at the limit, so that a sound near it does not take
// twice its size.
void makeRoom(std::vector<std::int16_t>& out, std::size_t n, std::size_t limitSamples) {
  const std::size_t needed = out.size() + n;
  if (needed > out.capacity())
    out.reserve(std::max(needed, std::min(2 * out.capacity(), limitSamples)));
}

// Reads up to kChunkFrames frames and keeps the first two channels (mono on both) as doubles
// in stereo; returns the frames read, 0 at the end.
sf_count_t readStereo(SNDFILE* file, int channels, std::vector<double>& raw,
                      std::vector<double>& stereo) {
  const sf_count_t n = sf_readf_double(file, raw.data(), kChunkFrames);
  const auto step = static_cast<std::size_t>(channels);
  for (std::size_t i = 0; i < static_cast<std::size_t>(std::max<sf_count_t>(n, 0)); ++i) {
    const double left = raw[i * step];
    stereo[2 * i] = left;
    stereo[2 * i + 1] = channels > 1 ? raw[i * step + 1] : left;
  }
  return std::max<sf_count_t>(n, 0);
}

// The file's frames as stereo doubles, chunk by chunk, stopping at the limits.
class StereoReader {
 public:
  StereoReader(SNDFILE* file, const SF_INFO& info, const std::string& path,
               const FileLoadLimits& limits, std::string& error)
      : file_(file),
        info_(info),
        path_(path),
        limits_(limits),
        error_(error),
        raw_(static_cast<std::size_t>(kChunkFrames * info.channels)),
        stereo_(static_cast<std::size_t>(kChunkFrames * 2)) {}

  // The next frames of the file, in stereo(); 0 at the end, -1 past a limit (with the message).
  sf_count_t next() {
    const sf_count_t n = readStereo(file_, info_.channels, raw_, stereo_);
    framesRead_ += n;
    error_ = overLimit(framesRead_, info_, limits_, path_);
    return error_.empty() ? n : -1;
  }
  const std::vector<double>& stereo() const { return stereo_; }

 private:
  SNDFILE* file_;
  const SF_INFO& info_;
  const std::string& path_;
  const FileLoadLimits& limits_;
  std::string& error_;
  std::vector<double> raw_;
  std::vector<double> stereo_;
  sf_count_t framesRead_ = 0;
};

// Appends n samples, converted to 16-bit.
template <typename T>
void appendSamples(std::vector<std::int16_t>& out, const T* samples, std::size_t n,
                   std::size_t limitSamples) {
  makeRoom(out, n, limitSamples);
  for (std::size_t i = 0; i < n; ++i) out.push_back(toSample(samples[i]));
}

// A file at 44100 Hz: its samples as they are.
bool copySamples(StereoReader& reader, std::vector<std::int16_t>& out, std::size_t limitSamples) {
  for (sf_count_t n; (n = reader.next()) != 0;) {
    if (n < 0) return false;
    appendSamples(out, reader.stereo().data(), static_cast<std::size_t>(2 * n), limitSamples);
  }
  return true;
}

// Another rate: converted to 44100 Hz. The fastest sinc converter still keeps its noise far
// below that of 8-bit samples, and loads a minute of sound in about a quarter of a second.
bool resampleSamples(StereoReader& reader, int rate, std::vector<std::int16_t>& out,
                     std::size_t limitSamples, const std::string& path, std::string& error) {
  const double ratio = static_cast<double>(FileWaveInput::kSampleRate) / rate;
  const std::string fromTo = "Cannot convert audio file " + quoted(path) + " from " +
                             std::to_string(rate) + " Hz to 44100 Hz: ";
  if (!src_is_valid_ratio(ratio)) {
    error = fromTo + "the sample rate is out of range";
    return false;
  }
  int code = 0;
  std::unique_ptr<SRC_STATE, ResamplerDeleter> resampler(src_new(SRC_SINC_FASTEST, 2, &code));
  if (!resampler) {
    error = fromTo + src_strerror(code);
    return false;
  }
  std::vector<float> in(static_cast<std::size_t>(kChunkFrames * 2));
  const auto outFrames = static_cast<long>(static_cast<double>(kChunkFrames) * ratio) + 64;
  std::vector<float> converted(static_cast<std::size_t>(outFrames * 2));
  SRC_DATA data{};
  data.data_out = converted.data();
  data.output_frames = outFrames;
  data.src_ratio = ratio;
  // data_in and input_frames: the frames of in not yet taken by the resampler.
  do {
    if (data.input_frames == 0 && data.end_of_input == 0) {
      const sf_count_t n = reader.next();
      if (n < 0) return false;
      std::transform(reader.stereo().begin(), reader.stereo().begin() + 2 * n, in.begin(),
                     [](double v) { return static_cast<float>(v); });
      data.data_in = in.data();
      data.input_frames = static_cast<long>(n);
      data.end_of_input = n == 0 ? 1 : 0;
    }
    if (const int failed = src_process(resampler.get(), &data)) {
      error = fromTo + src_strerror(failed);
      return false;
    }
    appendSamples(out, converted.data(), static_cast<std::size_t>(2 * data.output_frames_gen),
                  limitSamples);
    data.data_in += 2 * data.input_frames_used;
    data.input_frames -= data.input_frames_used;
  } while (data.end_of_input == 0 || data.output_frames_gen != 0);
  return true;
}

// Decodes the whole file into out at 44100 Hz, within the limits; false with a message on
// failure.
bool decode(SNDFILE* file, const SF_INFO& info, const std::string& path,
            const FileLoadLimits& limits, std::vector<std::int16_t>& out, std::string& error) {
  const double ratio = static_cast<double>(FileWaveInput::kSampleRate) / info.samplerate;
  const std::size_t limitSamples =
      std::size_t{limits.maxSeconds} * FileWaveInput::kSampleRate * FileWaveInput::kChannels;
  // A header that does not give the length gets room for the longest sound kept: only the
  // pages written take memory.
  const double estimate =
      info.frames == SF_COUNT_MAX
          ? static_cast<double>(limitSamples)
          : static_cast<double>(std::max<sf_count_t>(info.frames, 0)) * ratio * 2 + 64;
  out.reserve(static_cast<std::size_t>(std::min(estimate, static_cast<double>(limitSamples))));
  StereoReader reader(file, info, path, limits, error);
  const bool decoded =
      info.samplerate == static_cast<int>(FileWaveInput::kSampleRate)
          ? copySamples(reader, out, limitSamples)
          : resampleSamples(reader, info.samplerate, out, limitSamples, path, error);
  if (!decoded) return false;
  if (sf_error(file) != SF_ERR_NO_ERROR) {
    error = "Cannot decode audio file " + quoted(path) + ": " + sf_strerror(file);
    return false;
  }
  return true;
}

}  // namespace

Result<std::unique_ptr<FileWaveInput>> FileWaveInput::load(const std::string& path, FileMode mode,
                                                           const FileLoadLimits& limits) {
  const Result<int> fd = openRegularFile(path);
  if (!fd) return fd.failure();
  std::string error;
  SF_INFO info{};
  // The library closes the descriptor, also when it fails.
  std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open_fd(*fd, SFM_READ, &info, SF_TRUE));
  if (!file) {
    error = cannotRead(path, sf_strerror(nullptr));
    return Failure{error};
  }
  if (info.channels < 1 || info.samplerate < 1) {
    error = cannotRead(path, "it has no channels or no sample rate");
    return Failure{error};
  }
  if (lengthKnown(info)) {
    error = overLimit(info.frames, info, limits, path);
    if (!error.empty()) return Failure{error};
  }
  std::vector<std::int16_t> samples;
  try {
    if (!decode(file.get(), info, path, limits, samples, error)) return Failure{error};
  } catch (const std::bad_alloc&) {
    error = "Not enough memory to load audio file " + quoted(path);
    return Failure{error};
  }
  if (samples.empty()) {
    error = "Audio file " + quoted(path) + " holds no sound";
    return Failure{error};
  }
  const std::string name = std::filesystem::path(path).filename().string();
  return std::unique_ptr<FileWaveInput>(new FileWaveInput(name, mode, std::move(samples)));
}

FileWaveInput::FileWaveInput(std::string name, FileMode mode, std::vector<std::int16_t> samples)
    : PacedWaveInput(mode == FileMode::RealTime),
      name_(std::move(name)),
      mode_(mode),
      samples_(std::move(samples)) {}

std::uint8_t FileWaveInput::byteOf(std::int16_t x) {
  const int magnitude = (std::abs(int{x}) + 128) >> 8;
  return static_cast<std::uint8_t>(128 + (x < 0 ? -magnitude : std::min(magnitude, 127)));
}

std::vector<std::uint8_t> FileWaveInput::samples8() const {
  std::vector<std::uint8_t> bytes(samples_.size());
  std::transform(samples_.begin(), samples_.end(), bytes.begin(), byteOf);
  return bytes;
}

MMResult FileWaveInput::acceptFormat(const WaveFormat& f) {
  const std::uint16_t blockAlign = kChannels * f.bitsPerSample / 8;
  const bool recording = f.channels == kChannels && f.samplesPerSec == kSampleRate &&
                         (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
                         f.blockAlign == blockAlign && f.avgBytesPerSec == kSampleRate * blockAlign;
  return recording ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

// A block ends at the end of the file; in RealTime mode the next one starts at its beginning.
std::uint32_t FileWaveInput::produce(std::uint8_t* data, std::uint32_t length) {
  const bool wide = format().bitsPerSample == 16;
  const std::uint32_t frames = length / format().blockAlign;
  const std::size_t n =
      std::min<std::size_t>(std::size_t{frames} * kChannels, samples_.size() - position_);
  const std::int16_t* from = samples_.data() + position_;
  for (std::size_t i = 0; i < n; ++i) {
    if (wide) {
      const auto x = static_cast<std::uint16_t>(from[i]);
      data[2 * i] = static_cast<std::uint8_t>(x & 0xFF);
      data[2 * i + 1] = static_cast<std::uint8_t>(x >> 8);
    } else {
      data[i] = byteOf(from[i]);
    }
  }
  position_ += n;
  if (mode_ == FileMode::RealTime && position_ >= samples_.size()) position_ = 0;
  return static_cast<std::uint32_t>(wide ? 2 * n : n);
}

}  // namespace bandscope::sound
