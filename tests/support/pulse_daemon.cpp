#include "support/pulse_daemon.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace bandscope::test {

PulseDaemon::PulseDaemon() : SoundServerDaemon("pulse") {
  use();
  start();
}

bool PulseDaemon::launch() {
  return spawn("pulseaudio",
               {
                   "pulseaudio",
                   "-n",
                   "--daemonize=no",
                   "--exit-idle-time=-1",
                   "--disable-shm=yes",
                   "--use-pid-file=no",
                   "--realtime=no",
                   "--high-priority=no",
                   "-L",
                   "module-native-protocol-unix",
                   "-L",
                   std::string("module-null-sink sink_name=") + kSink,
                   "--log-target=stderr",
               },
               serverEnvironment(), "daemon");
}

bool PulseDaemon::ready() const {
  struct stat info {};
  return stat((dir_ + "/pulse/native").c_str(), &info) == 0 && S_ISSOCK(info.st_mode) &&
         SoundServerDaemon::ready();
}

bool PulseDaemon::afterReady() {
  const bool started = spawn("parec",
                             {
                                 "parec",
                                 "--raw",
                                 "--format=s16le",
                                 "--channels=2",
                                 "--rate=44100",
                                 "--latency-msec=10",
                                 "--client-name=bandscope-test-keeper",
                                 std::string("--device=") + kMonitor,
                             },
                             clientEnvironment(), "keeper");
  if (!started) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline && running()) {
    std::string outputs;
    if (pactl("list short source-outputs", &outputs) == 0 && !outputs.empty()) return settle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool PulseDaemon::settle() const {
  const std::string sink = std::string(" ") + kSink;
  return pactl("suspend-sink" + sink + " 1") == 0 && pactl("suspend-sink" + sink + " 0") == 0;
}

PulseDaemon& sharedPulseDaemon() {
  static PulseDaemon daemon;
  return daemon;
}

std::vector<std::uint8_t> makeTone(const std::vector<double>& frequencies, unsigned rate,
                                   unsigned bits, std::size_t frames, double amplitude) {
  const std::size_t channels = frequencies.size();
  std::vector<std::uint8_t> bytes(frames * channels * (bits / 8));
  std::uint8_t* out = bytes.data();
  for (std::size_t f = 0; f < frames; ++f) {
    for (std::size_t c = 0; c < channels; ++c) {
      const double v =
          amplitude * std::sin(2.0 * std::numbers::pi * frequencies[c] * double(f) / double(rate));
      if (bits == 8) {
        *out++ = static_cast<std::uint8_t>(std::clamp(std::lround(128.0 + 127.0 * v), 0L, 255L));
      } else {
        const auto s = static_cast<std::int16_t>(std::lround(32767.0 * v));
        *out++ = static_cast<std::uint8_t>(s & 0xFF);
        *out++ = static_cast<std::uint8_t>((s >> 8) & 0xFF);
      }
    }
  }
  return bytes;
}

double sampleAt(const std::uint8_t* data, unsigned bits, unsigned channels, std::size_t frame,
                unsigned channel) {
  const std::size_t index = frame * channels + channel;
  if (bits == 8) return (double(data[index]) - 128.0) / 128.0;
  const auto s = static_cast<std::int16_t>(data[2 * index] | (data[2 * index + 1] << 8));
  return double(s) / 32768.0;
}

double zeroCrossingFrequency(const std::uint8_t* data, unsigned bits, unsigned channels,
                             std::size_t frames, unsigned channel, unsigned rate) {
  // Sign changes with a small dead band, so quantisation noise around zero does not count.
  const double band = bits == 8 ? 1.5 / 128.0 : 16.0 / 32768.0;
  int sign = 0;
  std::size_t changes = 0;
  std::size_t first = 0, last = 0;
  for (std::size_t f = 0; f < frames; ++f) {
    const double v = sampleAt(data, bits, channels, f, channel);
    const int s = v > band ? 1 : v < -band ? -1 : 0;
    if (s == 0) continue;
    if (sign != 0 && s != sign) {
      if (changes == 0) first = f;
      last = f;
      ++changes;
    }
    sign = s;
  }
  if (changes < 3) return 0.0;
  // changes - 1 half periods between the first and the last change.
  return double(changes - 1) / 2.0 * double(rate) / double(last - first);
}

double peakLevel(const std::uint8_t* data, unsigned bits, unsigned channels, std::size_t frames,
                 unsigned channel) {
  double peak = 0.0;
  for (std::size_t f = 0; f < frames; ++f)
    peak = std::max(peak, std::abs(sampleAt(data, bits, channels, f, channel)));
  return peak;
}

std::size_t loudestWindow(const std::uint8_t* data, unsigned bits, unsigned channels,
                          std::size_t frames, unsigned channel, std::size_t window,
                          std::size_t step) {
  std::size_t best = 0;
  double bestLevel = -1.0;
  for (std::size_t start = 0; start + window <= frames; start += step) {
    const double level =
        peakLevel(data + start * channels * (bits / 8), bits, channels, window, channel);
    if (level > bestLevel) {
      bestLevel = level;
      best = start;
    }
  }
  return best;
}

}  // namespace bandscope::test
