#pragma once
// A private PulseAudio daemon for tests (see sound_server_daemon.h): one pulseaudio process
// with the native protocol and the null sink, no D-Bus, no user session; and the signal
// helpers of the tests against a real server.
//
// Threads: the test's main thread.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/sound_server_daemon.h"

namespace bandscope::test {

class PulseDaemon final : public SoundServerDaemon {
 public:
  PulseDaemon();  // creates the directory, points the environment here (use()) and starts

  const char* name() const override { return "PulseAudio"; }
  // Restarts the null sink's clock (suspend, resume), so short blocks apply at once. Needed
  // after the default source changed: the keeper follows the default and back.
  bool settle() const override;

 private:
  // A null sink with no client asking for a short latency renders in 2-second blocks, so a
  // new capture stream on its monitor would wait up to 2 s for its first data: start() also
  // runs a keeper, a parec recording the monitor to /dev/null with 10 ms latency, and
  // restarts the sink's clock (settle) so the short blocks apply at once. The keeper shows in
  // the server's source outputs only.
  bool launch() override;
  bool ready() const override;
  bool afterReady() override;
};

// One daemon for the whole test process, started on first use.
PulseDaemon& sharedPulseDaemon();

// Signals for the real-daemon tests.
// Interleaved PCM (8-bit unsigned or 16-bit little-endian), a sine of frequencies[c] Hz on
// channel c at the given peak amplitude (0..1).
std::vector<std::uint8_t> makeTone(const std::vector<double>& frequencies, unsigned rate,
                                   unsigned bits, std::size_t frames, double amplitude = 0.5);
// Sample of channel c at frame f of interleaved PCM, as -1..1.
double sampleAt(const std::uint8_t* data, unsigned bits, unsigned channels, std::size_t frame,
                unsigned channel);
// Frequency of a tone in channel c estimated from its sign changes; 0 for silence.
double zeroCrossingFrequency(const std::uint8_t* data, unsigned bits, unsigned channels,
                             std::size_t frames, unsigned channel, unsigned rate);
// Largest absolute sample of channel c (0..1).
double peakLevel(const std::uint8_t* data, unsigned bits, unsigned channels, std::size_t frames,
                 unsigned channel);
// First frame of the loudest stretch of window frames in channel c (by peakLevel), trying
// starts step frames apart.
std::size_t loudestWindow(const std::uint8_t* data, unsigned bits, unsigned channels,
                          std::size_t frames, unsigned channel, std::size_t window,
                          std::size_t step);

}  // namespace bandscope::test
