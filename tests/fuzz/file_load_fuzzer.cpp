#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "file_load_check.h"

namespace bandscope::fuzz {
namespace {

using sound::FileMode;
using sound::FileWaveInput;

constexpr sound::WaveFormat kRecordings[] = {{1, 2, 44100, 88200, 2, 8, 0},
                                             {1, 2, 44100, 176400, 4, 16, 0}};
constexpr std::uint32_t kBufferBytes = 4096;
constexpr int kBuffers = 6;  // delivered offline, at most

void require(bool ok, const std::string& path, const char* what, const std::string& detail = {}) {
  if (ok) return;
  std::fprintf(stderr, "file load check failed for \"%s\": %s%s%s\n", path.c_str(), what,
               detail.empty() ? "" : ": ", detail.c_str());
  std::abort();
}

struct Returned {
  std::vector<sound::WaveHeader*> headers;
  static void callback(sound::WaveHandle, unsigned message, void* instance,
                       sound::WaveHeader* header, std::uintptr_t) {
    if (message == sound::WIM_DATA) static_cast<Returned*>(instance)->headers.push_back(header);
  }
};

// The sound as the format delivers it: unsigned 8-bit, or 16-bit little-endian.
std::vector<std::uint8_t> soundBytes(const FileWaveInput& input, const sound::WaveFormat& format) {
  if (format.bitsPerSample == 8) return input.samples8();
  std::vector<std::uint8_t> bytes;
  for (const std::int16_t x : input.samples16()) {
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(x) & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(x) >> 8));
  }
  return bytes;
}

// Offline delivery of the first buffers: the sound's bytes in the format, whole frames, in
// order.
void checkDelivery(FileWaveInput& input, const sound::WaveFormat& format, const std::string& path) {
  Returned returned;
  sound::WaveHandle h = 0;
  require(input.open(h, 0, format, &Returned::callback, &returned) == sound::MMSYSERR_NOERROR, path,
          "open");
  std::vector<std::uint8_t> memory(2 * kBufferBytes);
  sound::WaveHeader headers[2];
  for (int i = 0; i < 2; ++i) {
    headers[i].data = memory.data() + i * kBufferBytes;
    headers[i].bufferLength = kBufferBytes;
    require(input.prepareHeader(h, headers[i]) == sound::MMSYSERR_NOERROR, path, "prepare");
    require(input.addBuffer(h, headers[i]) == sound::MMSYSERR_NOERROR, path, "add");
  }
  require(input.start(h) == sound::MMSYSERR_NOERROR, path, "start");
  const std::vector<std::uint8_t> samples = soundBytes(input, format);
  std::size_t position = 0;
  for (int i = 0; i < kBuffers && input.deliverNext(); ++i) {
    require(returned.headers.size() == 1, path, "one buffer per delivery");
    sound::WaveHeader& done = *returned.headers.back();
    returned.headers.clear();
    const std::uint32_t n = done.bytesRecorded;
    require(n > 0 && n % format.blockAlign == 0 && position + n <= samples.size(), path,
            "buffer length");
    require(std::equal(done.data, done.data + n, samples.begin() + static_cast<long>(position)),
            path, "delivered bytes differ from the sound");
    position += n;
    require(input.addBuffer(h, done) == sound::MMSYSERR_NOERROR, path, "add again");
  }
  require(input.atEnd() == (position == samples.size()), path, "end of the file");
  require(input.reset(h) == sound::MMSYSERR_NOERROR, path, "reset");
  for (sound::WaveHeader& header : headers)
    require(input.unprepareHeader(h, header) == sound::MMSYSERR_NOERROR, path, "unprepare");
  require(input.close(h) == sound::MMSYSERR_NOERROR, path, "close");
}

}  // namespace

bool checkFileLoad(const std::string& path) {
  const auto offline = FileWaveInput::load(path, FileMode::Offline, kLimits);
  const std::string error = offline ? std::string() : offline.failure().text;
  if (!offline) {
    require(!error.empty(), path, "no message");
    require(error.find('"' + path + '"') != std::string::npos, path, "the message does not name it",
            error);
    // Within these limits there is always memory enough: this would be a runaway allocation.
    require(error.rfind("Not enough memory", 0) != 0, path, "out of memory", error);
  } else {
    require(*offline != nullptr, path, "no device for a loaded file");
    const std::size_t size = (*offline)->samples16().size();
    constexpr std::size_t kMaxSamples = std::size_t{kLimits.maxSeconds} * 44100 * 2 + 4096;
    require(size > 0 && size % 2 == 0 && size <= kMaxSamples, path, "sound length",
            std::to_string(size));
    for (const sound::WaveFormat& format : kRecordings) checkDelivery(**offline, format, path);
  }
  // The other mode decodes the same way.
  const auto realTime = FileWaveInput::load(path, FileMode::RealTime, kLimits);
  const std::string realTimeError = realTime ? std::string() : realTime.failure().text;
  require(realTimeError == error, path, "another message in real time", realTimeError);
  require(
      !realTime == !offline && (!realTime || (*realTime)->samples16() == (*offline)->samples16()),
      path, "another sound in real time");
  return static_cast<bool>(offline);
}

bool checkFileBytes(const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create("sound", MFD_CLOEXEC);
  require(fd >= 0, "(in memory)", "memfd_create", std::strerror(errno));
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, data + written, size - written);
    require(n > 0, "(in memory)", "write", std::strerror(errno));
    written += static_cast<std::size_t>(n);
  }
  const bool loaded = checkFileLoad("/proc/self/fd/" + std::to_string(fd));
  close(fd);
  return loaded;
}

}  // namespace bandscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bandscope::fuzz::checkFileBytes(data, size);
  return 0;
}
