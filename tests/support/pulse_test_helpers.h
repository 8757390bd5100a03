#pragma once
// What the tests against the private PulseAudio daemon share: a fixture that makes sure the
// daemon runs and unloads the modules a test loaded, the index of the null sink's monitor
// among the input devices, and a locked read of state that a callback thread writes.
//
// Threads: the test's main thread; lockedRead on any thread.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "sound/pulse_wave.h"
#include "support/pulse_daemon.h"

namespace bandscope::test {

// value, read with mutex held.
template <typename T>
T lockedRead(std::mutex& mutex, const T& value) {
  std::lock_guard lock(mutex);
  return value;
}

// Index of the null sink's monitor among the input devices; -1 when missing.
inline int monitorIndex(sound::PulseWaveIn& in) {
  for (unsigned i = 0; i < in.numDevs(); ++i)
    if (in.device(i).name == PulseDaemon::kMonitor) return static_cast<int>(i);
  return -1;
}

// Tests against the shared daemon, started if needed. A fixture that overrides SetUp or
// TearDown calls these too.
class PulseDaemonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PulseDaemon& daemon = sharedPulseDaemon();
    ASSERT_TRUE(daemon.running() || daemon.start())
        << "no private PulseAudio daemon in " << daemon.runtimeDir();
  }

  void TearDown() override {
    for (const int module : modules_)
      if (sharedPulseDaemon().running())
        sharedPulseDaemon().pactl("unload-module " + std::to_string(module));
  }

  // Loads a module (the arguments of pactl load-module); unloaded at the end of the test.
  void loadModule(const std::string& arguments) {
    std::string index;
    ASSERT_EQ(sharedPulseDaemon().pactl("load-module " + arguments, &index), 0) << arguments;
    modules_.push_back(std::stoi(index));
  }

  // A sine of frequency Hz into the null sink.
  void playSine(unsigned frequency) {
    loadModule("module-sine sink=" + std::string(PulseDaemon::kSink) +
               " frequency=" + std::to_string(frequency));
  }

 private:
  std::vector<int> modules_;
};

}  // namespace bandscope::test
