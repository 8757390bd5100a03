#pragma once
// A private PulseAudio daemon for tests: its own runtime directory (XDG_RUNTIME_DIR and HOME
// point into a fresh temporary directory), one null sink whose monitor is a capture source,
// no D-Bus, no user session. The process environment is pointed at it (PULSE_SERVER), so
// libpulse in the test process and any child started afterwards connect to this daemon only.
//
// Threads: the test's main thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bandscope::test {

class PulseDaemon {
 public:
  static constexpr const char* kSink = "bandscope_null";
  static constexpr const char* kMonitor = "bandscope_null.monitor";

  PulseDaemon();   // creates the directory and starts the daemon; see running()
  ~PulseDaemon();  // kills the daemon and removes the directory

  // (Re)starts after kill(); waits until it answers; false after ~10 s. A null sink with no
  // client asking for a short latency renders in 2-second blocks, so a new capture stream on
  // its monitor would wait up to 2 s for its first data: start() also runs a keeper, a parec
  // recording the monitor to /dev/null with 10 ms latency, and restarts the sink's clock
  // (suspend, resume) so the short blocks apply at once. The keeper shows in the server's
  // source outputs only.
  bool start();
  void kill();  // SIGKILL, as a crash would; waits for the process to end
  // Restarts the null sink's clock (suspend, resume), so short blocks apply at once. Needed
  // after the default source changed: the keeper follows the default and back.
  bool settle() const;
  // The daemon is started with fork/exec and a clean environment (its output goes to
  // daemon.log in the directory); it gets SIGKILL when the thread that started it ends
  // (PR_SET_PDEATHSIG), so none outlives a crashed test process. Start it from the main thread.
  bool running() const;

  std::string server() const;      // "unix:<dir>/pulse/native"
  std::string runtimeDir() const;  // the temporary directory
  // Runs pactl against this daemon with the given arguments; returns its exit status and
  // its standard output in *output when given.
  int pactl(const std::string& args, std::string* output = nullptr) const;

 private:
  bool startKeeper();

  std::string dir_;
  mutable int pid_ = -1;  // running() reaps a daemon that ended by itself
  int keeperPid_ = -1;
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
