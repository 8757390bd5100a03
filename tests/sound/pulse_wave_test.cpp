// The PulseAudio wave services against a private daemon (support/pulse_daemon.h) whose null
// sink's monitor is the capture device; the plain capture case also against a private PipeWire.
#include "sound/pulse_wave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sound/capture_entries.h"
#include "support/pulse_daemon.h"
#include "support/pulse_test_helpers.h"

namespace bandscope::sound {
namespace {

using namespace std::chrono_literals;
using test::lockedRead;
using test::monitorIndex;
using test::PulseDaemon;
using test::sharedPulseDaemon;
using Clock = std::chrono::steady_clock;

constexpr unsigned kRate = 44100;
constexpr std::uint32_t kBufferBytes = 1024;  // 512 stereo 8-bit frames

WaveFormat pcm(unsigned channels, unsigned bits, unsigned rate = kRate) {
  WaveFormat f;
  f.channels = static_cast<std::uint16_t>(channels);
  f.bitsPerSample = static_cast<std::uint16_t>(bits);
  f.samplesPerSec = rate;
  f.blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
  f.avgBytesPerSec = rate * f.blockAlign;
  return f;
}

// What the callback saw, for a test thread that waits on it. The callback only locks and
// copies into fixed storage.
class Events {
 public:
  static void callback(WaveHandle, unsigned message, void* instance, WaveHeader* header,
                       std::uintptr_t param) {
    auto* self = static_cast<Events*>(instance);
    {
      std::lock_guard lock(self->mutex_);
      switch (message) {
        case WIM_OPEN:
        case WOM_OPEN:
          ++self->opens_;
          break;
        case WIM_CLOSE:
        case WOM_CLOSE:
          ++self->closes_;
          break;
        case WIM_DATA:
        case WOM_DONE:
          if (self->count_ < self->returned_.size())
            self->returned_[(self->head_ + self->count_++) % self->returned_.size()] = header;
          ++self->done_;
          break;
        case WAVE_DEVICE_FAILED:
          ++self->failures_;
          self->failure_ = static_cast<MMResult>(param);
          break;
        default:
          break;
      }
    }
    self->changed_.notify_all();
  }

  // The oldest returned header, waiting up to timeout; null when none came.
  WaveHeader* next(std::chrono::milliseconds timeout = 2000ms) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return count_ > 0; })) return nullptr;
    WaveHeader* header = returned_[head_];
    head_ = (head_ + 1) % returned_.size();
    --count_;
    return header;
  }

  bool waitFailure(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return failures_ > 0; });
  }

  int opens() const { return lockedRead(mutex_, opens_); }
  int closes() const { return lockedRead(mutex_, closes_); }
  int failures() const { return lockedRead(mutex_, failures_); }
  int done() const { return lockedRead(mutex_, done_); }
  std::size_t pending() const { return lockedRead(mutex_, count_); }
  MMResult failure() const { return lockedRead(mutex_, failure_); }
  void clearReturned() {
    std::lock_guard lock(mutex_);
    count_ = 0;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::array<WaveHeader*, 64> returned_{};
  std::size_t head_ = 0, count_ = 0;
  int opens_ = 0, closes_ = 0, failures_ = 0, done_ = 0;
  MMResult failure_ = 0;
};

// Four capture buffers circulating as the recorder does it.
struct Ring {
  explicit Ring(std::uint32_t bytes) {
    for (std::size_t i = 0; i < headers.size(); ++i) {
      buffers[i].assign(bytes, 0);
      headers[i].data = buffers[i].data();
      headers[i].bufferLength = bytes;
    }
  }
  std::array<std::vector<std::uint8_t>, 4> buffers;
  std::array<WaveHeader, 4> headers{};
};

class PulseWaveTest : public test::PulseDaemonTest {
 protected:
  // Opens the monitor as stereo 8-bit, queues the ring and starts.
  void startCapture(PulseWaveIn& in, WaveHandle& handle, Events& events, Ring& ring) {
    ASSERT_TRUE(test::listArrived(in));
    const int monitor = monitorIndex(in);
    ASSERT_GE(monitor, 0);
    ASSERT_EQ(in.open(handle, monitor, pcm(2, 8), &Events::callback, &events), MMSYSERR_NOERROR);
    for (WaveHeader& h : ring.headers) {
      ASSERT_EQ(in.prepareHeader(handle, h), MMSYSERR_NOERROR);
      ASSERT_EQ(in.addBuffer(handle, h), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(in.start(handle), MMSYSERR_NOERROR);
  }

  static void stopCapture(PulseWaveIn& in, WaveHandle handle, Ring& ring) {
    EXPECT_EQ(in.reset(handle), MMSYSERR_NOERROR);
    for (WaveHeader& h : ring.headers) EXPECT_EQ(in.unprepareHeader(handle, h), MMSYSERR_NOERROR);
    EXPECT_EQ(in.close(handle), MMSYSERR_NOERROR);
  }

  // Takes count returned headers, appending their bytes to *store and handing each back.
  static int capture(PulseWaveIn& in, WaveHandle handle, Events& events, int count,
                     std::vector<std::uint8_t>* store,
                     std::vector<std::uint32_t>* sizes = nullptr) {
    int got = 0;
    while (got < count) {
      WaveHeader* h = events.next();
      if (h == nullptr) break;
      if (sizes != nullptr) sizes->push_back(h->bytesRecorded);
      if (store != nullptr) store->insert(store->end(), h->data, h->data + h->bytesRecorded);
      EXPECT_NE(h->flags & WHDR_DONE, 0u);
      EXPECT_EQ(h->flags & WHDR_INQUEUE, 0u);
      EXPECT_EQ(in.addBuffer(handle, *h), MMSYSERR_NOERROR);
      ++got;
    }
    return got;
  }
};

TEST_F(PulseWaveTest, DevicesAreTheSourcesWithTheDefaultFirst) {
  PulseWaveIn in;
  EXPECT_TRUE(in.listPending());
  EXPECT_EQ(in.numDevs(), 0u) << "nothing before the UI thread takes the list in";
  ASSERT_TRUE(test::listArrived(in));
  EXPECT_FALSE(in.listPending());
  std::string defaultSource;
  ASSERT_EQ(sharedPulseDaemon().pactl("get-default-source", &defaultSource), 0);
  defaultSource.erase(defaultSource.find_last_not_of('\n') + 1);
  EXPECT_EQ(in.device(0).name, defaultSource);
  const int monitor = monitorIndex(in);
  ASSERT_GE(monitor, 0);
  EXPECT_EQ(in.deviceDescription(unsigned(monitor)), "Monitor of Null Output");
  EXPECT_EQ(in.deviceDescription(in.numDevs()), "");
  // After the sources, what plays: the default sink's monitor, under a name of its own.
  const PulseDevice plays = in.device(in.numDevs() - 1);
  EXPECT_EQ(plays.name, kDefaultOutputName);
  EXPECT_EQ(plays.target(), PulseDaemon::kMonitor);
  EXPECT_EQ(plays.stream, PulseDevice::kNoStream);

  // A second sink: its monitor comes after the default until it is made the default. Each
  // change is read on its own and waits for the UI thread's refresh.
  const unsigned listed = in.numDevs();
  in.takeDevicesChanged();
  loadModule("module-null-sink sink_name=second sink_properties=device.description=Second");
  ASSERT_TRUE(test::waitUntil([&] { return in.takeDevicesChanged(); }));
  EXPECT_EQ(in.numDevs(), listed) << "the list changes only in refresh";
  ASSERT_TRUE(in.refresh());
  ASSERT_EQ(in.numDevs(), listed + 1);
  EXPECT_EQ(in.device(0).name, defaultSource);
  EXPECT_EQ(in.device(1).name, "second.monitor");
  EXPECT_EQ(in.deviceDescription(1), "Monitor of Second");
  ASSERT_EQ(sharedPulseDaemon().pactl("set-default-source second.monitor"), 0);
  ASSERT_TRUE(test::waitUntil([&] { return in.takeDevicesChanged(); })) << "a new default";
  ASSERT_TRUE(in.refresh());
  EXPECT_EQ(in.device(0).name, "second.monitor");
  EXPECT_EQ(in.device(1).name, defaultSource);
  ASSERT_EQ(sharedPulseDaemon().pactl("set-default-source " + defaultSource), 0);
  EXPECT_TRUE(sharedPulseDaemon().settle());

  // What tells a source from one of the same description: its card's name where the server
  // gives one; a null sink's monitor has neither port nor card.
  loadModule("module-remap-source source_name=carded master=" + std::string(PulseDaemon::kSink) +
             ".monitor source_properties=device.product.name=Board");
  const auto indexOf = [&](const std::string& name) {
    for (unsigned i = 0; i < in.numDevs(); ++i)
      if (in.deviceName(i) == name) return static_cast<int>(i);
    return -1;
  };
  ASSERT_TRUE(test::waitUntil([&] { return in.refresh() && indexOf("carded") >= 0; }));
  EXPECT_EQ(in.deviceDetail(unsigned(indexOf("carded"))), "Board");
  EXPECT_EQ(in.deviceDetail(unsigned(indexOf("second.monitor"))), "");

  PulseWaveOut out(in.connection());
  ASSERT_TRUE(test::listArrived(out, 2));
  EXPECT_EQ(out.device(0).name, PulseDaemon::kSink);
}

// The list the UI thread holds still names a source the server has lost since: the stream is
// asked for, the server refuses it, and the refusal comes through the callback.
TEST_F(PulseWaveTest, ASourceGoneSinceTheListWasTakenFailsThroughTheCallback) {
  std::string module;
  ASSERT_EQ(sharedPulseDaemon().pactl("load-module module-null-sink sink_name=gone", &module), 0);
  PulseWaveIn in;
  ASSERT_TRUE(test::listArrived(in, 2));
  int gone = -1;
  for (unsigned i = 0; i < in.numDevs(); ++i)
    if (in.deviceName(i) == "gone.monitor") gone = static_cast<int>(i);
  ASSERT_GE(gone, 0);
  ASSERT_EQ(sharedPulseDaemon().pactl("unload-module " + std::to_string(std::stoi(module))), 0);

  Events events;
  WaveHandle handle = 0;
  ASSERT_EQ(in.open(handle, gone, pcm(2, 8), &Events::callback, &events), MMSYSERR_NOERROR);
  EXPECT_EQ(events.opens(), 1);
  ASSERT_TRUE(events.waitFailure(3s));
  EXPECT_EQ(events.failure(), MMSYSERR_BADDEVICEID);
  Ring ring(kBufferBytes);
  WaveHeader& header = ring.headers[0];
  ASSERT_EQ(in.prepareHeader(handle, header), MMSYSERR_NOERROR);
  EXPECT_EQ(in.addBuffer(handle, header), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(in.start(handle), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(in.reset(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(in.unprepareHeader(handle, header), MMSYSERR_NOERROR);
  EXPECT_EQ(in.close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(events.failures(), 1);
}

TEST_F(PulseWaveTest, WrongFormatsAndDevicesAreRefused) {
  PulseWaveIn in;
  ASSERT_TRUE(test::listArrived(in));
  Events events;
  WaveHandle handle = 0;
  EXPECT_EQ(in.open(handle, 0, pcm(2, 24), &Events::callback, &events), WAVERR_BADFORMAT);
  EXPECT_EQ(in.open(handle, 0, pcm(3, 16), &Events::callback, &events), WAVERR_BADFORMAT);
  WaveFormat misaligned = pcm(2, 16);
  misaligned.blockAlign = 2;
  EXPECT_EQ(in.open(handle, 0, misaligned, &Events::callback, &events), WAVERR_BADFORMAT);
  EXPECT_EQ(in.open(handle, int(in.numDevs()), pcm(2, 16), &Events::callback, &events),
            MMSYSERR_BADDEVICEID);
  EXPECT_EQ(events.opens(), 0);
  EXPECT_EQ(handle, 0u);

  // 16-bit mono at another rate, on the default device; a queued header cannot be unprepared.
  ASSERT_EQ(in.open(handle, WAVE_MAPPER, pcm(1, 16, 22050), &Events::callback, &events),
            MMSYSERR_NOERROR);
  Ring ring(kBufferBytes);
  EXPECT_EQ(in.addBuffer(handle, ring.headers[0]), WAVERR_UNPREPARED);
  ASSERT_EQ(in.prepareHeader(handle, ring.headers[0]), MMSYSERR_NOERROR);
  ASSERT_EQ(in.addBuffer(handle, ring.headers[0]), MMSYSERR_NOERROR);
  EXPECT_EQ(in.addBuffer(handle, ring.headers[0]), WAVERR_STILLPLAYING);
  EXPECT_EQ(in.unprepareHeader(handle, ring.headers[0]), WAVERR_STILLPLAYING);
  // Not started: reset returns the header empty.
  EXPECT_EQ(in.reset(handle), MMSYSERR_NOERROR);
  WaveHeader* back = events.next(0ms);
  ASSERT_EQ(back, &ring.headers[0]);
  EXPECT_EQ(back->bytesRecorded, 0u);
  EXPECT_NE(back->flags & WHDR_DONE, 0u);
  EXPECT_EQ(in.unprepareHeader(handle, ring.headers[0]), MMSYSERR_NOERROR);
  EXPECT_EQ(ring.headers[0].flags & WHDR_PREPARED, 0u);
  EXPECT_EQ(in.close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(in.close(handle), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(in.addBuffer(handle, ring.headers[0]), MMSYSERR_INVALHANDLE);
}

// Capture against each server: PulseAudio, and PipeWire where installed.
using PulseWaveEachServerTest = test::EachSoundServer<PulseWaveTest>;
INSTANTIATE_TEST_SUITE_P(Each, PulseWaveEachServerTest, test::kEachSoundServer,
                         test::soundServerTestName);

TEST_P(PulseWaveEachServerTest, ResetReturnsEveryQueuedHeaderBeforeItReturns) {
  PulseWaveIn in;
  Events events;
  Ring ring(8 * kBufferBytes);  // about 93 ms each: reset comes while one is being filled
  WaveHandle handle = 0;
  startCapture(in, handle, events, ring);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(in.reset(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(events.pending(), 4u);
  for (int i = 0; i < 4; ++i) {
    WaveHeader* h = events.next(0ms);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h, &ring.headers[std::size_t(i)]) << "in the order they were queued";
    EXPECT_NE(h->flags & WHDR_DONE, 0u);
    EXPECT_LE(h->bytesRecorded, h->bufferLength);
  }
  // Corked now: nothing more arrives, and the ring can go round again after start.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(events.pending(), 0u);
  for (WaveHeader& h : ring.headers) ASSERT_EQ(in.addBuffer(handle, h), MMSYSERR_NOERROR);
  ASSERT_EQ(in.start(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(capture(in, handle, events, 2, nullptr), 2);
  stopCapture(in, handle, ring);
}

// A server that stops answering (SIGSTOP): open, start, reset and close still return at once;
// the stream not ready within 2 s fails once through the callback, and when the server goes on
// a new open records again.
TEST_P(PulseWaveEachServerTest, AStoppedServerFailsTheOpenThroughTheCallbackAndNothingWaits) {
  PulseWaveIn in;
  ASSERT_TRUE(test::listArrived(in));
  const int monitor = monitorIndex(in);
  ASSERT_GE(monitor, 0);
  test::SoundServerDaemon& daemon = soundServer();
  struct Resume {
    test::SoundServerDaemon& daemon;
    ~Resume() { daemon.resume(); }
  } resumeAtEnd{daemon};
  daemon.stop();

  Events events;
  Ring ring(kBufferBytes);
  WaveHandle handle = 0;
  const auto opened = Clock::now();
  ASSERT_EQ(in.open(handle, monitor, pcm(2, 8), &Events::callback, &events), MMSYSERR_NOERROR);
  for (WaveHeader& h : ring.headers) {
    ASSERT_EQ(in.prepareHeader(handle, h), MMSYSERR_NOERROR);
    ASSERT_EQ(in.addBuffer(handle, h), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(in.start(handle), MMSYSERR_NOERROR);
  EXPECT_LT(Clock::now() - opened, 100ms);
  ASSERT_TRUE(events.waitFailure(4s));
  EXPECT_GE(Clock::now() - opened, 1900ms) << "the stream had its 2 s";
  EXPECT_EQ(in.errorText(events.failure()), "The sound server did not answer in time");
  const auto stopped = Clock::now();
  stopCapture(in, handle, ring);
  EXPECT_LT(Clock::now() - stopped, 100ms);
  EXPECT_EQ(events.failures(), 1);

  daemon.resume();
  Events again;
  startCapture(in, handle, again, ring);
  EXPECT_EQ(capture(in, handle, again, 4, nullptr), 4);
  stopCapture(in, handle, ring);
  EXPECT_EQ(again.failures(), 0);
}

// No server at the address, or one that takes the connection and never answers: no call waits
// for it, the list stays pending until the connection is given up, and then there are no
// devices and a clear error.
TEST_F(PulseWaveTest, NoServerMeansNoDevicesAndAClearErrorAndNoCallWaits) {
  test::SilentServer silent;
  ASSERT_FALSE(silent.server().empty());
  const struct {
    const char* what;
    std::string server;
    const char* why;  // what the error says after "Cannot connect to the sound server: "
  } cases[] = {
      {"missing", "unix:" + sharedPulseDaemon().runtimeDir() + "/nobody/native", ""},
      {"silent", silent.server(), "it does not answer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto longest = Clock::duration::zero();
    auto timed = [&](auto call) {
      const auto begin = Clock::now();
      auto result = call();
      longest = std::max(longest, Clock::now() - begin);
      return result;
    };
    PulseWaveIn in(c.server);
    PulseWaveOut out(in.connection());
    const auto begin = Clock::now();
    ASSERT_TRUE(test::waitUntil([&] {
      timed([&] { return in.refresh(); });
      return !in.listPending();
    }));
    EXPECT_LT(Clock::now() - begin, 3s) << "given up after 2 s at the most";
    EXPECT_EQ(timed([&] { return in.numDevs(); }), 0u);
    EXPECT_EQ(in.deviceDescription(0), "");
    Events events;
    WaveHandle handle = 0;
    EXPECT_EQ(
        timed([&] { return in.open(handle, WAVE_MAPPER, pcm(2, 8), &Events::callback, &events); }),
        MMSYSERR_NODRIVER);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(events.opens(), 0);
    const std::string text = in.errorText(MMSYSERR_NODRIVER);
    EXPECT_EQ(text.rfind("Cannot connect to the sound server: ", 0), 0u) << text;
    EXPECT_NE(text.find(c.why), std::string::npos) << text;
    EXPECT_GT(text.size(), std::string("Cannot connect to the sound server: ").size());

    EXPECT_FALSE(timed([&] { return out.refreshDevices(); }));
    EXPECT_EQ(out.numDevs(), 0u);
    EXPECT_EQ(timed([&] { return out.open(handle, 0, pcm(2, 8), &Events::callback, &events); }),
              MMSYSERR_NODRIVER);
    EXPECT_EQ(out.errorText(MMSYSERR_NODRIVER).rfind("Cannot connect to the sound server: ", 0),
              0u);
    EXPECT_LT(longest, 100ms) << "a call waited for the server";
  }
  // Generic codes keep their generic text.
  PulseWaveIn in(cases[0].server);
  EXPECT_EQ(in.errorText(WAVERR_BADFORMAT), genericErrorText(WAVERR_BADFORMAT));
}

TEST_F(PulseWaveTest, DaemonKilledFailsEachHandleOnceAndOpenReconnects) {
  PulseWaveIn in;
  PulseWaveOut out(in.connection());
  Events events, outEvents;
  Ring ring(kBufferBytes);
  WaveHandle handle = 0, outHandle = 0;
  startCapture(in, handle, events, ring);
  ASSERT_EQ(capture(in, handle, events, 4, nullptr), 4);
  ASSERT_TRUE(test::listArrived(out));
  Ring play(kRate / 2);  // 250 ms each, still queued when the daemon dies
  ASSERT_EQ(out.open(outHandle, 0, pcm(2, 8), &Events::callback, &outEvents), MMSYSERR_NOERROR);
  for (WaveHeader& h : play.headers) {
    ASSERT_EQ(out.prepareHeader(outHandle, h), MMSYSERR_NOERROR);
    ASSERT_EQ(out.write(outHandle, h), MMSYSERR_NOERROR);
  }

  sharedPulseDaemon().kill();
  ASSERT_TRUE(events.waitFailure(3s));
  ASSERT_TRUE(outEvents.waitFailure(3s));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(events.failures(), 1);
  EXPECT_EQ(outEvents.failures(), 1);
  const MMResult failure = events.failure();
  EXPECT_GE(failure, SERVICE_ERROR_BASE);
  EXPECT_EQ(in.errorText(failure), "Connection terminated");
  EXPECT_EQ(out.errorText(outEvents.failure()), "Connection terminated");
  events.clearReturned();
  EXPECT_EQ(in.addBuffer(handle, ring.headers[0]), failure);
  EXPECT_EQ(in.start(handle), failure);
  EXPECT_TRUE(std::isnan(in.latencyMs(handle)));
  EXPECT_EQ(out.write(outHandle, play.headers[0]), outEvents.failure());
  stopCapture(in, handle, ring);
  EXPECT_EQ(out.reset(outHandle), MMSYSERR_NOERROR);
  for (WaveHeader& h : play.headers) EXPECT_EQ(out.unprepareHeader(outHandle, h), MMSYSERR_NOERROR);
  EXPECT_EQ(out.close(outHandle), MMSYSERR_NOERROR);
  EXPECT_EQ(events.closes(), 1);
  EXPECT_EQ(outEvents.closes(), 1);
  EXPECT_FALSE(in.refresh());
  EXPECT_EQ(in.numDevs(), 0u);
  EXPECT_EQ(in.open(handle, WAVE_MAPPER, pcm(2, 8), &Events::callback, &events), MMSYSERR_NODRIVER);

  // Refresh connects again once the server is back.
  ASSERT_TRUE(sharedPulseDaemon().start());
  Events again;
  startCapture(in, handle, again, ring);
  EXPECT_EQ(capture(in, handle, again, 4, nullptr), 4);
  stopCapture(in, handle, ring);
  EXPECT_EQ(again.failures(), 0);
  ASSERT_TRUE(test::listArrived(out));
  ASSERT_EQ(out.open(outHandle, 0, pcm(2, 8), &Events::callback, &again), MMSYSERR_NOERROR);
  EXPECT_EQ(out.close(outHandle), MMSYSERR_NOERROR);
}

TEST_P(PulseWaveEachServerTest, OutputResetReturnsUnplayedHeaders) {
  PulseWaveOut out;
  ASSERT_TRUE(test::listArrived(out));
  Events events;
  WaveHandle handle = 0;
  ASSERT_EQ(out.open(handle, WAVE_MAPPER, pcm(2, 16), &Events::callback, &events),
            MMSYSERR_NOERROR);
  const std::vector<std::uint8_t> tone = test::makeTone({440.0, 440.0}, kRate, 16, kRate);
  Ring play(static_cast<std::uint32_t>(tone.size() / 4));  // 250 ms each
  for (std::size_t i = 0; i < play.headers.size(); ++i) {
    std::copy_n(tone.data() + i * play.buffers[i].size(), play.buffers[i].size(),
                play.buffers[i].data());
    ASSERT_EQ(out.prepareHeader(handle, play.headers[i]), MMSYSERR_NOERROR);
    ASSERT_EQ(out.write(handle, play.headers[i]), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(out.write(handle, play.headers[0]), WAVERR_STILLPLAYING);
  EXPECT_EQ(out.unprepareHeader(handle, play.headers[3]), WAVERR_STILLPLAYING);
  // The first one is played, in order, about 250 ms in.
  WaveHeader* first = events.next(2000ms);
  EXPECT_EQ(first, &play.headers[0]);
  EXPECT_EQ(out.reset(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(events.done(), 4);
  for (std::size_t i = 1; i < 4; ++i) {
    WaveHeader* h = events.next(0ms);
    EXPECT_EQ(h, &play.headers[i]);
    if (h != nullptr) {
      EXPECT_NE(h->flags & WHDR_DONE, 0u);
    }
  }
  // After the reset the stream plays again, a short tail included.
  WaveHeader& tail = play.headers[0];
  tail.bufferLength = 400;  // under the prebuffer
  ASSERT_EQ(out.write(handle, tail), MMSYSERR_NOERROR);
  EXPECT_EQ(events.next(2000ms), &tail);
  for (WaveHeader& h : play.headers) EXPECT_EQ(out.unprepareHeader(handle, h), MMSYSERR_NOERROR);
  EXPECT_EQ(out.close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(events.closes(), 1);
}

// Not a timing assertion: prints what the capture path costs with one-buffer fragments.
TEST_F(PulseWaveTest, MeasuresCaptureLatencyWithOneBufferFragments) {
  PulseWaveIn in;
  Events events;
  Ring ring(kBufferBytes);
  WaveHandle handle = 0;
  startCapture(in, handle, events, ring);
  ASSERT_EQ(capture(in, handle, events, 10, nullptr), 10);  // settle
  std::vector<double> latencies, intervals;
  auto last = Clock::now();
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(capture(in, handle, events, 1, nullptr), 1);
    const auto now = Clock::now();
    intervals.push_back(std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
    const double latency = in.latencyMs(handle);
    EXPECT_FALSE(std::isnan(latency));
    latencies.push_back(latency);
  }

  // Round trip: a burst written to the null sink, until it shows on the monitor.
  PulseWaveOut out(in.connection());
  ASSERT_TRUE(test::listArrived(out));
  Events outEvents;
  WaveHandle outHandle = 0;
  ASSERT_EQ(out.open(outHandle, 0, pcm(2, 8), &Events::callback, &outEvents), MMSYSERR_NOERROR);
  std::vector<double> roundTrips;
  std::vector<std::uint8_t> burst = test::makeTone({1000.0, 1000.0}, kRate, 8, 2048, 0.8);
  WaveHeader burstHeader;
  burstHeader.data = burst.data();
  burstHeader.bufferLength = static_cast<std::uint32_t>(burst.size());
  ASSERT_EQ(out.prepareHeader(outHandle, burstHeader), MMSYSERR_NOERROR);
  for (int trial = 0; trial < 5; ++trial) {
    capture(in, handle, events, 10, nullptr);  // silence between bursts
    ASSERT_EQ(out.write(outHandle, burstHeader), MMSYSERR_NOERROR);
    const auto sent = Clock::now();
    bool heard = false;
    while (!heard && Clock::now() - sent < 2s) {
      WaveHeader* h = events.next();
      ASSERT_NE(h, nullptr);
      heard = test::peakLevel(h->data, 8, 2, h->bytesRecorded / 2, 0) > 0.4;
      ASSERT_EQ(in.addBuffer(handle, *h), MMSYSERR_NOERROR);
    }
    if (heard)
      roundTrips.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    ASSERT_EQ(outEvents.next(2000ms), &burstHeader);
  }
  EXPECT_EQ(out.unprepareHeader(outHandle, burstHeader), MMSYSERR_NOERROR);
  EXPECT_EQ(out.close(outHandle), MMSYSERR_NOERROR);
  const std::uint64_t dropped = in.droppedBytes(handle);
  stopCapture(in, handle, ring);

  auto summary = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::ostringstream s;
    s.precision(3);
    if (v.empty()) return std::string("none");
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
    s << "min " << v.front() << " median " << v[v.size() / 2] << " mean " << mean << " max "
      << v.back() << " ms";
    return s.str();
  };
  const std::string capture = summary(latencies), interval = summary(intervals),
                    roundTrip = summary(roundTrips);
  std::cout << "[ latency  ] capture (1024-byte buffers, 512-frame fragments): " << capture
            << "\n[ latency  ] buffer interval: " << interval
            << "\n[ latency  ] output to monitor round trip: " << roundTrip
            << "\n[ latency  ] bytes dropped with no buffer queued: " << dropped << std::endl;
  RecordProperty("capture_latency", capture);
  RecordProperty("buffer_interval", interval);
  RecordProperty("round_trip", roundTrip);
  EXPECT_EQ(roundTrips.size(), 5u);
}

}  // namespace
}  // namespace bandscope::sound
