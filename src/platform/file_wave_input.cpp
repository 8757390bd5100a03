#include "platform/file_wave_input.h"

#include <pthread.h>
#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

namespace bandscope::platform {

namespace {

constexpr sf_count_t kChunkFrames = 4096;
// The output estimate is only a reservation; a header claiming absurd lengths must not make
// the load fail before a byte is read.
constexpr std::size_t kMaxReserveBytes = std::size_t{1} << 28;

// A sample in [-1, 1] to unsigned 8-bit: round to nearest (ties away from zero), clamp. Exact
// for 8-bit sources, which the library hands out as (u - 128) / 128.
std::uint8_t toByte(double x) {
  if (std::isnan(x)) return 128;
  const double v = std::clamp(x * 128.0, -128.0, 127.0);
  return static_cast<std::uint8_t>(std::lround(v) + 128);
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

// Decodes the whole file into out at 44100 Hz; false with a message on failure.
bool decode(SNDFILE* file, const SF_INFO& info, const std::string& path,
            std::vector<std::uint8_t>& out, std::string& error) {
  const double ratio = static_cast<double>(FileWaveInput::kSampleRate) / info.samplerate;
  if (info.frames > 0) {
    const double estimate = static_cast<double>(info.frames) * ratio * 2 + 64;
    out.reserve(static_cast<std::size_t>(std::min(estimate, double{kMaxReserveBytes})));
  }
  std::vector<double> raw(static_cast<std::size_t>(kChunkFrames * info.channels));
  std::vector<double> stereo(static_cast<std::size_t>(kChunkFrames * 2));

  if (info.samplerate == static_cast<int>(FileWaveInput::kSampleRate)) {
    while (const sf_count_t n = readStereo(file, info.channels, raw, stereo)) {
      for (std::size_t i = 0; i < static_cast<std::size_t>(2 * n); ++i) {
        out.push_back(toByte(stereo[i]));
      }
    }
  } else {
    const std::string fromTo = "Cannot convert audio file " + quoted(path) + " from " +
                               std::to_string(info.samplerate) + " Hz to 44100 Hz: ";
    if (!src_is_valid_ratio(ratio)) {
      error = fromTo + "the sample rate is out of range";
      return false;
    }
    // The fastest sinc converter still keeps its noise far below that of 8-bit samples, and
    // loads a minute of sound in about a quarter of a second.
    int code = 0;
    std::unique_ptr<SRC_STATE, ResamplerDeleter> resampler(src_new(SRC_SINC_FASTEST, 2, &code));
    if (!resampler) {
      error = fromTo + src_strerror(code);
      return false;
    }
    std::vector<float> in(static_cast<std::size_t>(kChunkFrames * 2));
    const auto outFrames = static_cast<long>(static_cast<double>(kChunkFrames) * ratio) + 64;
    std::vector<float> converted(static_cast<std::size_t>(outFrames * 2));
    long available = 0;  // frames of in not yet taken by the resampler
    long used = 0;
    bool endOfInput = false;
    for (;;) {
      if (available == 0 && !endOfInput) {
        const sf_count_t n = readStereo(file, info.channels, raw, stereo);
        std::transform(stereo.begin(), stereo.begin() + 2 * n, in.begin(),
                       [](double v) { return static_cast<float>(v); });
        available = static_cast<long>(n);
        used = 0;
        endOfInput = n == 0;
      }
      SRC_DATA data{};
      data.data_in = in.data() + 2 * used;
      data.input_frames = available;
      data.data_out = converted.data();
      data.output_frames = outFrames;
      data.end_of_input = endOfInput ? 1 : 0;
      data.src_ratio = ratio;
      if (const int failed = src_process(resampler.get(), &data)) {
        error = fromTo + src_strerror(failed);
        return false;
      }
      for (std::size_t i = 0; i < static_cast<std::size_t>(2 * data.output_frames_gen); ++i) {
        out.push_back(toByte(converted[i]));
      }
      used += data.input_frames_used;
      available -= data.input_frames_used;
      if (endOfInput && data.output_frames_gen == 0) break;
    }
  }
  if (sf_error(file) != SF_ERR_NO_ERROR) {
    error = "Cannot decode audio file " + quoted(path) + ": " + sf_strerror(file);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<FileWaveInput> FileWaveInput::load(const std::string& path, FileMode mode,
                                                   std::string& error) {
  error.clear();
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    error = "Cannot read audio file " + quoted(path) + ": it is a folder";
    return nullptr;
  }
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    error = "Cannot read audio file " + quoted(path) + ": " + sf_strerror(nullptr);
    return nullptr;
  }
  if (info.channels < 1 || info.samplerate < 1) {
    error = "Cannot read audio file " + quoted(path) + ": it has no channels or no sample rate";
    return nullptr;
  }
  std::vector<std::uint8_t> samples;
  try {
    if (!decode(file.get(), info, path, samples, error)) return nullptr;
  } catch (const std::bad_alloc&) {
    error = "Not enough memory to load audio file " + quoted(path);
    return nullptr;
  }
  if (samples.empty()) {
    error = "Audio file " + quoted(path) + " holds no sound";
    return nullptr;
  }
  const std::string name = std::filesystem::path(path).filename().string();
  return std::unique_ptr<FileWaveInput>(new FileWaveInput(name, mode, std::move(samples)));
}

FileWaveInput::FileWaveInput(std::string name, FileMode mode, std::vector<std::uint8_t> samples)
    : name_(std::move(name)), mode_(mode), samples_(std::move(samples)) {}

FileWaveInput::~FileWaveInput() {
  stopThread();
}

std::string FileWaveInput::deviceDescription(unsigned id) {
  return id == 0 ? name_ : "";
}

MMResult FileWaveInput::open(WaveHandle& handle, int deviceId, const WaveFormat& format,
                             WaveCallback callback, void* instance) {
  if (deviceId != 0 && deviceId != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
  if (format.formatTag != 1 || format.channels != kChannels ||
      format.samplesPerSec != kSampleRate || format.bitsPerSample != 8 ||
      format.blockAlign != kBlockAlign || format.avgBytesPerSec != kSampleRate * kBlockAlign) {
    return WAVERR_BADFORMAT;
  }
  if (open_) return MMSYSERR_ALLOCATED;
  if (++lastHandle_ == 0) ++lastHandle_;
  {
    std::lock_guard lock(mutex_);
    handle_ = lastHandle_;
    callback_ = callback;
    instance_ = instance;
    queueHead_ = queueCount_ = 0;
    position_ = 0;
    lastLength_ = 0;
    started_ = quit_ = delivering_ = false;
    ++session_;
  }
  if (mode_ == FileMode::RealTime) {
    try {
      thread_ = std::thread(&FileWaveInput::run, this);
    } catch (const std::system_error&) {
      handle_ = 0;
      return MMSYSERR_NOMEM;
    }
  }
  open_ = true;
  handle = handle_;
  if (callback_) callback_(handle_, WIM_OPEN, instance_, nullptr, 0);
  return MMSYSERR_NOERROR;
}

MMResult FileWaveInput::prepareHeader(WaveHandle handle, WaveHeader& header) {
  if (!validHandle(handle)) return MMSYSERR_INVALHANDLE;
  if (!header.data || header.bufferLength < kBlockAlign) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  if (header.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header.flags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMResult FileWaveInput::addBuffer(WaveHandle handle, WaveHeader& header) {
  if (!validHandle(handle)) return MMSYSERR_INVALHANDLE;
  std::lock_guard lock(mutex_);
  if (!header.data || header.bufferLength < kBlockAlign) return MMSYSERR_INVALPARAM;
  if (!(header.flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (header.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  if (queueCount_ == kQueueCapacity) return MMSYSERR_NOMEM;
  header.flags = (header.flags & ~WHDR_DONE) | WHDR_INQUEUE;
  header.bytesRecorded = 0;
  queue_[(queueHead_ + queueCount_) % kQueueCapacity] = &header;
  ++queueCount_;
  lastLength_ = header.bufferLength;
  return MMSYSERR_NOERROR;
}

MMResult FileWaveInput::start(WaveHandle handle) {
  if (!validHandle(handle)) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard lock(mutex_);
    if (started_) return MMSYSERR_NOERROR;
    started_ = true;
    ++session_;
    origin_ = std::chrono::steady_clock::now();
  }
  wake_.notify_all();
  return MMSYSERR_NOERROR;
}

MMResult FileWaveInput::reset(WaveHandle handle) {
  if (!validHandle(handle)) return MMSYSERR_INVALHANDLE;
  std::unique_lock lock(mutex_);
  started_ = false;
  ++session_;
  wake_.notify_all();
  // The buffer the device's thread is returning comes back before the queued ones.
  idle_.wait(lock, [this] { return !delivering_; });
  while (WaveHeader* header = popHeader()) {
    header->flags = (header->flags | WHDR_DONE) & ~WHDR_INQUEUE;
    lock.unlock();
    if (callback_) callback_(handle_, WIM_DATA, instance_, header, 0);
    lock.lock();
  }
  return MMSYSERR_NOERROR;
}

MMResult FileWaveInput::unprepareHeader(WaveHandle handle, WaveHeader& header) {
  if (!validHandle(handle)) return MMSYSERR_INVALHANDLE;
  std::lock_guard lock(mutex_);
  if (header.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header.flags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMResult FileWaveInput::close(WaveHandle handle) {
  if (!validHandle(handle)) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard lock(mutex_);
    if (queueCount_ != 0) return WAVERR_STILLPLAYING;
  }
  stopThread();
  const WaveCallback callback = callback_;
  void* const instance = instance_;
  open_ = false;
  handle_ = 0;
  callback_ = nullptr;
  instance_ = nullptr;
  if (callback) callback(handle, WIM_CLOSE, instance, nullptr, 0);
  return MMSYSERR_NOERROR;
}

std::string FileWaveInput::errorText(MMResult code) {
  return genericErrorText(code);
}

bool FileWaveInput::deliverNext() {
  if (mode_ != FileMode::Offline) return false;
  WaveHeader* header = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (!open_ || !started_ || queueCount_ == 0 || position_ >= samples_.size()) return false;
    header = popHeader();
    const std::size_t bytes = blockBytes(header->bufferLength);
    fill(*header, bytes);
    advance(bytes);
  }
  if (callback_) callback_(handle_, WIM_DATA, instance_, header, 0);
  return true;
}

bool FileWaveInput::atEnd() const {
  if (mode_ != FileMode::Offline) return false;
  std::lock_guard lock(mutex_);
  return position_ >= samples_.size();
}

WaveHeader* FileWaveInput::popHeader() {
  if (queueCount_ == 0) return nullptr;
  WaveHeader* header = queue_[queueHead_];
  queueHead_ = (queueHead_ + 1) % kQueueCapacity;
  --queueCount_;
  return header;
}

std::size_t FileWaveInput::blockBytes(std::uint32_t length) const {
  return std::min<std::size_t>(length - length % kBlockAlign, samples_.size() - position_);
}

void FileWaveInput::fill(WaveHeader& header, std::size_t bytes) {
  const std::size_t n = std::min<std::size_t>(bytes, header.bufferLength);
  std::memcpy(header.data, samples_.data() + position_, n);
  header.bytesRecorded = static_cast<std::uint32_t>(n);
  header.flags = (header.flags | WHDR_DONE) & ~WHDR_INQUEUE;
}

void FileWaveInput::advance(std::size_t bytes) {
  position_ += bytes;
  if (mode_ == FileMode::RealTime && position_ >= samples_.size()) position_ = 0;
}

// The device's thread. Each block is planned when the previous one is done: its length is
// that of the oldest queued buffer (or, with none queued, of the last one added), cut at the
// end of the file, and it is due when the frames scheduled since start have played. Deadlines are
// absolute, so late wake-ups do not add up; a thread that fell behind returns at once what is
// queued and skips the rest, keeping the schedule.
void FileWaveInput::run() {
  pthread_setname_np(pthread_self(), "file input");
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || started_; });
    if (quit_) return;
    const std::uint64_t session = session_;
    const auto stopped = [this, session] { return quit_ || session_ != session; };
    auto origin = origin_;
    std::uint64_t frames = 0;  // scheduled since origin
    while (!stopped()) {
      // Only a buffer queued when its block begins gets it, so every buffer comes back full
      // (but at the end of the file).
      WaveHeader* const header = queueCount_ != 0 ? queue_[queueHead_] : nullptr;
      const std::uint32_t length = header             ? header->bufferLength
                                   : lastLength_ != 0 ? lastLength_
                                                      : kDefaultBlockBytes;
      const std::size_t bytes = blockBytes(length);
      frames += bytes / kBlockAlign;
      // Whole seconds move into the origin, which keeps the count small; both stay exact.
      origin += std::chrono::seconds(frames / kSampleRate);
      frames %= kSampleRate;
      const auto deadline = origin + std::chrono::nanoseconds(frames * 1'000'000'000 / kSampleRate);
      if (wake_.wait_until(lock, deadline, stopped)) break;
      if (header) fill(*popHeader(), bytes);  // still the oldest: only reset takes others
      advance(bytes);  // without a buffer the block is lost, as in an overrun
      if (!header) continue;
      delivering_ = true;
      lock.unlock();
      if (callback_) callback_(handle_, WIM_DATA, instance_, header, 0);
      lock.lock();
      delivering_ = false;
      idle_.notify_all();
    }
  }
}

void FileWaveInput::stopThread() {
  {
    std::lock_guard lock(mutex_);
    started_ = false;
    quit_ = true;
    ++session_;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace bandscope::platform
