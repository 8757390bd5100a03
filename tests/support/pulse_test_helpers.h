#pragma once
// What the tests against the private sound servers share: a fixture that makes sure the
// server runs and unloads the modules a test loaded, the same run against each server, the
// index of the null sink's monitor among the input devices, waits for a device list that
// arrives in the background, and a locked read of state that a callback thread writes.
//
// Threads: the test's main thread; lockedRead on any thread.

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
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

// Polls done() every 2 ms until it holds or timeout has passed; returns done().
template <typename Done>
bool waitUntil(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Refreshes a PulseWaveIn or PulseWaveOut until the server's list is taken in with at least
// count devices; false when that does not happen within 5 s.
template <typename Service>
bool listArrived(Service& service, unsigned count = 1) {
  return waitUntil([&] { return service.refreshDevices() && service.numDevs() >= count; });
}

// Index of the null sink's monitor among the input devices; -1 when missing.
inline int monitorIndex(sound::PulseWaveIn& in) {
  for (unsigned i = 0; i < in.numDevs(); ++i)
    if (in.device(i).name == PulseDaemon::kMonitor) return static_cast<int>(i);
  return -1;
}

// Tests against the shared PulseAudio daemon (or the server soundServer() gives), started if
// needed, with the environment pointed at it. A fixture that overrides SetUp or TearDown
// calls these too.
class PulseDaemonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SoundServerDaemon& server = soundServer();
    server.use();
    ASSERT_TRUE(server.running() || server.start())
        << "no private " << server.name() << " in " << server.runtimeDir();
  }

  void TearDown() override {
    for (const int module : modules_)
      if (soundServer().running()) soundServer().pactl("unload-module " + std::to_string(module));
  }

  // The server the test runs against.
  virtual SoundServerDaemon& soundServer() { return sharedPulseDaemon(); }

  // Loads a module (the arguments of pactl load-module); unloaded at the end of the test.
  void loadModule(const std::string& arguments) {
    std::string index;
    ASSERT_EQ(soundServer().pactl("load-module " + arguments, &index), 0) << arguments;
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

// Fixture (a PulseDaemonTest) run against each shared server: instantiate with
// INSTANTIATE_TEST_SUITE_P(..., kEachSoundServer, soundServerTestName). Where PipeWire is
// not installed its cases skip.
template <typename Fixture>
class EachSoundServer : public Fixture, public ::testing::WithParamInterface<SoundServer> {
 protected:
  void SetUp() override {
    std::string whyMissing;
    server_ = sharedSoundServer(this->GetParam(), &whyMissing);
    if (server_ == nullptr) GTEST_SKIP() << whyMissing;
    Fixture::SetUp();
  }

  void TearDown() override {
    if (server_ != nullptr) Fixture::TearDown();
  }

  SoundServerDaemon& soundServer() override { return *server_; }

 private:
  SoundServerDaemon* server_ = nullptr;
};

inline const auto kEachSoundServer =
    ::testing::Values(SoundServer::PulseAudio, SoundServer::PipeWire);

inline std::string soundServerTestName(const ::testing::TestParamInfo<SoundServer>& info) {
  return soundServerName(info.param);
}

}  // namespace bandscope::test
