// The test-signal device: what it produces, the formats it takes, real-time delivery, and
// the device list it joins.

#include "sound/test_signal_input.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sound/device_list.h"
#include "support/fake_wave_service.h"

namespace bandscope::sound {
namespace {

WaveFormat recordingFormat() {
  WaveFormat f;
  f.channels = 2;
  f.samplesPerSec = 44100;
  f.blockAlign = 2;
  f.bitsPerSample = 8;
  f.avgBytesPerSec = 88200;
  return f;
}

struct Delivered {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::uint32_t> sizes;
  int opens = 0, closes = 0;
  static void callback(WaveHandle, unsigned message, void* instance, WaveHeader* header,
                       std::uintptr_t) {
    auto* self = static_cast<Delivered*>(instance);
    std::lock_guard lock(self->mutex);
    if (message == WIM_OPEN) ++self->opens;
    if (message == WIM_CLOSE) ++self->closes;
    if (message == WIM_DATA) self->sizes.push_back(header->bytesRecorded);
    self->cv.notify_all();
  }
};

// Upward zero crossings of one channel of interleaved 8-bit stereo, with a little hysteresis
// so that the noise does not count.
int crossings(const std::vector<std::uint8_t>& bytes, int channel) {
  int n = 0;
  bool low = false;
  for (std::size_t i = channel; i < bytes.size(); i += 2) {
    if (bytes[i] < 124) low = true;
    if (low && bytes[i] > 132) {
      ++n;
      low = false;
    }
  }
  return n;
}

TEST(TestSignal, SweepsOnTheLeftAndHoldsTheChordOnTheRight) {
  TestSignalInput signal;
  Delivered d;
  WaveHandle h = 0;
  ASSERT_EQ(signal.open(h, WAVE_MAPPER, recordingFormat(), &Delivered::callback, &d), 0u);
  std::vector<std::uint8_t> second(88200);
  EXPECT_EQ(signal.produce(second.data(), 88201), 88200u);  // whole frames only
  const int early = crossings(second, 0);
  EXPECT_GT(early, 30);  // starts near 40 Hz, about 50 Hz on average over the first second
  EXPECT_LT(early, 80);
  for (int s = 0; s < 9; ++s) signal.produce(second.data(), 88200);
  EXPECT_GT(crossings(second, 0), 2000);  // nine seconds in: several kHz
  EXPECT_GT(crossings(second, 1), 100);   // the chord stays in the low hundreds
  EXPECT_LT(crossings(second, 1), 700);
  EXPECT_EQ(signal.close(h), 0u);
}

TEST(TestSignal, RefusesFormatsItCannotProduce) {
  TestSignalInput signal;
  Delivered d;
  WaveHandle h = 0;
  WaveFormat f = recordingFormat();
  f.bitsPerSample = 24;
  f.blockAlign = 6;
  EXPECT_EQ(signal.open(h, 0, f, &Delivered::callback, &d), WAVERR_BADFORMAT);
  EXPECT_EQ(signal.open(h, 1, recordingFormat(), &Delivered::callback, &d), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(d.opens, 0);
}

TEST(TestSignal, DeliversFullBuffersInRealTimeUntilReset) {
  TestSignalInput signal;
  Delivered d;
  WaveHandle h = 0;
  ASSERT_EQ(signal.open(h, 0, recordingFormat(), &Delivered::callback, &d), 0u);
  std::vector<std::vector<std::uint8_t>> memory(4, std::vector<std::uint8_t>(1024));
  std::vector<WaveHeader> headers(4);
  for (int i = 0; i < 4; ++i) {
    headers[i].data = memory[i].data();
    headers[i].bufferLength = 1024;
    ASSERT_EQ(signal.prepareHeader(h, headers[i]), 0u);
    ASSERT_EQ(signal.addBuffer(h, headers[i]), 0u);
  }
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(signal.start(h), 0u);
  {
    std::unique_lock lock(d.mutex);
    ASSERT_TRUE(d.cv.wait_for(lock, std::chrono::seconds(5), [&] { return d.sizes.size() >= 3; }));
  }
  // Three buffers of 512 frames are due 34.8 ms after the start.
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(30));
  EXPECT_EQ(signal.unprepareHeader(h, headers[3]), WAVERR_STILLPLAYING);
  ASSERT_EQ(signal.reset(h), 0u);  // the fourth comes back now
  for (auto& header : headers) EXPECT_EQ(signal.unprepareHeader(h, header), 0u);
  ASSERT_EQ(signal.close(h), 0u);
  std::lock_guard lock(d.mutex);
  ASSERT_EQ(d.sizes.size(), 4u);
  EXPECT_EQ(d.sizes[0], 1024u);
  EXPECT_EQ(d.closes, 1);
}

TEST(TestSignal, PlaysOnWithoutBuffersAndCanBeDestroyedWhilePlaying) {
  Delivered d;
  std::vector<std::uint8_t> memory(1024);
  WaveHeader header;
  header.data = memory.data();
  header.bufferLength = 1024;
  auto playing = std::make_unique<TestSignalInput>();
  WaveHandle h = 0;
  ASSERT_EQ(playing->open(h, 0, recordingFormat(), &Delivered::callback, &d), 0u);
  ASSERT_EQ(playing->start(h), 0u);  // nothing queued: the sound plays on unheard
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_EQ(playing->prepareHeader(h, header), 0u);
  ASSERT_EQ(playing->addBuffer(h, header), 0u);
  {
    std::unique_lock lock(d.mutex);
    ASSERT_TRUE(d.cv.wait_for(lock, std::chrono::seconds(5), [&] { return !d.sizes.empty(); }));
  }
  playing.reset();  // the device's thread stops before the generator goes
  EXPECT_EQ(d.sizes, std::vector<std::uint32_t>{1024});

  // The unheard sound was produced and dropped, so this is not the first block of a fresh one.
  TestSignalInput fresh;
  ASSERT_EQ(fresh.open(h, 0, recordingFormat(), &Delivered::callback, &d), 0u);
  std::vector<std::uint8_t> first(1024);
  fresh.produce(first.data(), 1024);
  EXPECT_NE(memory, first);
  EXPECT_EQ(fresh.close(h), 0u);
}

TEST(DeviceList, NumbersMembersInTurnAndDefaultsToTheFirstWithDevices) {
  test::FakeWaveIn server;
  TestSignalInput signal;
  DeviceList list({&server, &signal});
  server.devices = 2;
  EXPECT_EQ(list.numDevs(), 3u);
  EXPECT_EQ(list.deviceDescription(1), "Fake input 1");
  EXPECT_EQ(list.deviceDescription(2), "Test signal");
  Delivered d;
  WaveHandle h = 0;
  ASSERT_EQ(list.open(h, 1, recordingFormat(), &Delivered::callback, &d), 0u);
  EXPECT_EQ(server.openedDevice(), 1);
  EXPECT_EQ(list.open(h, 3, recordingFormat(), &Delivered::callback, &d), MMSYSERR_BADDEVICEID);
  server.failures["close"] = 7;
  server.texts[7] = "Busy.";
  EXPECT_EQ(list.close(1), 7u);
  EXPECT_EQ(list.errorText(7), "Busy.");
  server.failures.clear();
  EXPECT_EQ(list.close(1), 0u);

  server.devices = 0;  // no sound server: the test signal is the only device and the default
  EXPECT_EQ(list.numDevs(), 1u);
  WaveHandle t = 0;
  ASSERT_EQ(list.open(t, WAVE_MAPPER, recordingFormat(), &Delivered::callback, &d), 0u);
  EXPECT_EQ(d.opens, 2);
  EXPECT_EQ(list.close(t), 0u);
}

}  // namespace
}  // namespace bandscope::sound
