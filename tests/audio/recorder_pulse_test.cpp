// The audio component recording and playing through the PulseAudio services, against a
// private daemon whose null sink's monitor is the capture device. The test thread is the UI
// thread: it drains the message queue by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/stream.h"
#include "sound/message_queue.h"
#include "sound/pulse_wave.h"
#include "support/pulse_daemon.h"
#include "support/pulse_test_helpers.h"

namespace bandscope::audio {
namespace {

using namespace std::chrono_literals;
using test::lockedRead;
using test::PulseDaemon;
using test::sharedPulseDaemon;

constexpr unsigned kRate = 44100;
constexpr std::uint16_t kSamples = 512;

// Blocks from OnRecord, copied into storage reserved up front (the callback runs on the
// capture thread and must not allocate).
class BlockStore {
 public:
  static constexpr std::size_t kBlocks = 400;

  BlockStore() {
    left_.resize(kBlocks * kSamples);
    right_.resize(kBlocks * kSamples);
  }

  void add(const void* lp, const void* rp, std::uint16_t size) {
    std::lock_guard lock(mutex_);
    ++received_;
    if (size != kSamples) ++wrongSize_;
    if (rp == nullptr) ++unsplit_;
    if (stored_ == kBlocks || size != kSamples || rp == nullptr) return;
    std::copy_n(static_cast<const std::uint8_t*>(lp), size, left_.data() + stored_ * kSamples);
    std::copy_n(static_cast<const std::uint8_t*>(rp), size, right_.data() + stored_ * kSamples);
    ++stored_;
  }

  int received() const { return lockedRead(mutex_, received_); }
  int wrongSize() const { return lockedRead(mutex_, wrongSize_); }
  int unsplit() const { return lockedRead(mutex_, unsplit_); }
  void clear() {
    std::lock_guard lock(mutex_);
    received_ = wrongSize_ = unsplit_ = 0;
    stored_ = 0;
  }
  // Channel c of the stored blocks first .. end, as mono 8-bit samples.
  std::vector<std::uint8_t> channel(int c, std::size_t first = 0) const {
    std::lock_guard lock(mutex_);
    const auto& v = c == 0 ? left_ : right_;
    if (first >= stored_) return {};
    return {v.begin() + std::ptrdiff_t(first * kSamples),
            v.begin() + std::ptrdiff_t(stored_ * kSamples)};
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::uint8_t> left_, right_;
  std::size_t stored_ = 0;
  int received_ = 0, wrongSize_ = 0, unsplit_ = 0;
};

// Runs the queue on this (the UI) thread until done() or the timeout; returns done().
template <typename Done>
bool pumpUntil(sound::MessageQueue& queue, Done done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    queue.dispatchPending();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
}

// The loudest 0.25 s of a recorded channel, so silence before and after a tone is left out.
std::vector<std::uint8_t> loudest(const std::vector<std::uint8_t>& samples) {
  const std::size_t window = kRate / 4;
  if (samples.size() <= window) return samples;
  const std::size_t best =
      test::loudestWindow(samples.data(), 8, 1, samples.size(), 0, window, kRate / 40);
  return {samples.begin() + std::ptrdiff_t(best), samples.begin() + std::ptrdiff_t(best + window)};
}

double frequencyOf(const std::vector<std::uint8_t>& samples) {
  return test::zeroCrossingFrequency(samples.data(), 8, 1, samples.size(), 0, kRate);
}

// A played tone's frequency as most 20 ms stretches show it: a stretch where the player fell
// behind (a gap of silence, on a loaded machine or under ThreadSanitizer) reads lower and is
// outvoted.
double playedFrequencyOf(const std::vector<std::uint8_t>& samples) {
  const std::size_t piece = kRate / 50;
  std::vector<double> found;
  for (std::size_t at = 0; at + piece <= samples.size(); at += piece) {
    const auto from = samples.begin() + std::ptrdiff_t(at);
    found.push_back(frequencyOf({from, from + std::ptrdiff_t(piece)}));
  }
  if (found.empty()) return 0.0;
  std::nth_element(found.begin(), found.begin() + std::ptrdiff_t(found.size() / 2), found.end());
  return found[found.size() / 2];
}

class RecorderPulseTest : public test::PulseDaemonTest {
 protected:
  void SetUp() override {
    PulseDaemonTest::SetUp();
    if (HasFatalFailure()) return;
    audio_ = std::make_unique<TAudio>(AudioServices{in_, out_, queue_});
    TRecorder& r = *audio_->Recorder;
    r.setBitsPerSample(TBPS::_8);
    r.setChannels(TChannels::Stereo);
    r.setSplitChannels(true);
    r.setNoSamples(kSamples);
    r.setSampleRate(kRate);
    r.Triggered = true;
    audio_->OnRecord = [this](void*, const std::uint8_t* lp, const std::uint8_t* rp,
                              std::uint16_t size) { store_.add(lp, rp, size); };
    ASSERT_TRUE(test::listArrived(in_));
    ASSERT_TRUE(test::listArrived(out_));  // the player's devices, for the round trip
    monitor_ = test::monitorIndex(in_);
    ASSERT_GE(monitor_, 0);
    audio_->setAudioDeviceID(monitor_);
    ASSERT_TRUE(r.SplitChannels());
    ASSERT_EQ(r.BufferBytes, 2 * kSamples);
  }

  void TearDown() override {
    audio_.reset();
    PulseDaemonTest::TearDown();
  }

  bool blocksAfter(int count, std::chrono::milliseconds timeout = 3000ms) {
    return pumpUntil(
        queue_, [&] { return store_.received() >= count; }, timeout);
  }

  sound::PulseWaveIn in_;
  sound::PulseWaveOut out_{in_.connection()};
  sound::MessageQueue queue_;
  BlockStore store_;
  std::unique_ptr<TAudio> audio_;
  int monitor_ = -1;
};

TEST_F(RecorderPulseTest, RecordsTheToneInBothChannelsIn512SampleBlocks) {
  playSine(1000);
  TRecorder& r = *audio_->Recorder;
  ASSERT_TRUE(r.Start()) << audio_->ErrorText;
  ASSERT_TRUE(blocksAfter(60)) << store_.received() << " blocks";
  EXPECT_TRUE(r.Stop());
  EXPECT_FALSE(r.Opened);
  EXPECT_EQ(store_.wrongSize(), 0);
  EXPECT_EQ(store_.unsplit(), 0);
  for (int c = 0; c < 2; ++c) {
    const std::vector<std::uint8_t> samples = store_.channel(c, 20);  // past the sine's start
    EXPECT_GT(test::peakLevel(samples.data(), 8, 1, samples.size(), 0), 0.05) << "channel " << c;
    EXPECT_NEAR(frequencyOf(samples), 1000.0, 20.0) << "channel " << c;
  }
}

// Under ASan a handle, stream or buffer left behind by a cycle shows as a leak. Every other
// cycle stops without running the queue after the first block, as a device change does, so
// requests the old capture posted are still pending when the new one starts.
TEST_F(RecorderPulseTest, HundredStopStartCyclesEachDeliverBlocks) {
  TRecorder& r = *audio_->Recorder;
  for (int cycle = 0; cycle < 100; ++cycle) {
    const int before = store_.received();
    ASSERT_TRUE(r.Start()) << "cycle " << cycle << ": " << audio_->ErrorText;
    if (cycle % 2 == 0) {
      ASSERT_TRUE(blocksAfter(before + 1, 2000ms))
          << "cycle " << cycle << ": " << audio_->ErrorText;
    } else {
      sound::MessageQueue idle;  // nothing of the recorder's runs while this one pumps
      ASSERT_TRUE(pumpUntil(
          idle, [&] { return store_.received() > before; }, 2000ms))
          << "cycle " << cycle;
    }
    ASSERT_TRUE(r.Stop()) << "cycle " << cycle << ": " << audio_->ErrorText;
    ASSERT_FALSE(r.Opened);
  }
  // Requests posted before the last stop are ignored.
  queue_.dispatchPending();
  EXPECT_FALSE(r.Opened);
}

TEST_F(RecorderPulseTest, DaemonKilledDuringCaptureStopsTheRecorderWithTheReason) {
  TRecorder& r = *audio_->Recorder;
  ASSERT_TRUE(r.Start()) << audio_->ErrorText;
  ASSERT_TRUE(blocksAfter(5));
  sharedPulseDaemon().kill();
  ASSERT_TRUE(pumpUntil(
      queue_, [&] { return !r.Opened; }, 5000ms));
  EXPECT_NE(audio_->ErrorText.find("Connection terminated"), std::string::npos)
      << audio_->ErrorText;
  // Nothing arrives any more, and Start says why it cannot record.
  const int after = store_.received();
  EXPECT_FALSE(pumpUntil(
      queue_, [&] { return store_.received() > after; }, 100ms));
  EXPECT_FALSE(r.Start());
  EXPECT_NE(audio_->ErrorText.find("Cannot connect to the sound server"), std::string::npos)
      << audio_->ErrorText;

  ASSERT_TRUE(sharedPulseDaemon().start());
  ASSERT_TRUE(test::listArrived(in_)) << "connected again";
  ASSERT_TRUE(r.Start()) << audio_->ErrorText;
  EXPECT_TRUE(blocksAfter(store_.received() + 5));
  EXPECT_TRUE(r.Stop());
}

TEST_F(RecorderPulseTest, PlayedToneComesBackOnTheMonitor) {
  ASSERT_EQ(out_.device(unsigned(monitor_)).name, PulseDaemon::kSink)
      << "the player uses the recorder's device number";
  std::atomic<bool> played{false};
  int buffersPlayed = 0;
  audio_->OnPlayed = [&](void*) { played = true; };
  audio_->OnBufferPlayed = [&](void*) { ++buffersPlayed; };
  TRecorder& r = *audio_->Recorder;
  ASSERT_TRUE(r.Start()) << audio_->ErrorText;
  ASSERT_TRUE(blocksAfter(5));

  // 1 s: 440 Hz left, 660 Hz right, in the player's format (the recorder's: stereo 8-bit).
  std::vector<std::uint8_t> tone = test::makeTone({440.0, 660.0}, kRate, 8, kRate);
  ASSERT_TRUE(audio_->Player->Play(std::make_unique<TMemoryStream>(std::move(tone))))
      << audio_->ErrorText;
  ASSERT_TRUE(pumpUntil(
      queue_, [&] { return played.load(); }, 5000ms));
  EXPECT_FALSE(audio_->Player->Opened);
  EXPECT_GE(buffersPlayed, int(kRate / kSamples));
  EXPECT_TRUE(blocksAfter(store_.received() + 10));
  EXPECT_TRUE(r.Stop());

  const std::vector<std::uint8_t> left = loudest(store_.channel(0));
  const std::vector<std::uint8_t> right = loudest(store_.channel(1));
  EXPECT_GT(test::peakLevel(left.data(), 8, 1, left.size(), 0), 0.3);
  EXPECT_NEAR(playedFrequencyOf(left), 440.0, 10.0);
  EXPECT_NEAR(playedFrequencyOf(right), 660.0, 12.0);
}

}  // namespace
}  // namespace bandscope::audio
