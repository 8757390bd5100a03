// The recorder's ring with a service that returns buffers on a thread of its own, and the
// message queue fed from several threads. Run under ThreadSanitizer as well.

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/audio_fixture.h"

namespace bandscope::test {
namespace {

using Clock = std::chrono::steady_clock;

TEST_F(AudioFixture, RingDeliversThousandsOfBlocksInOrderFromTheCaptureThread) {
  constexpr int kBlocks = 3000;
  configure();
  std::vector<int> order(kBlocks, -1);  // preallocated: the capture thread only stores
  std::vector<int> slot(kBlocks, -1);
  std::atomic<int> received{0};
  audio->OnRecord = [&](void*, const std::uint8_t* l, const std::uint8_t* r, std::uint16_t size) {
    const int n = received.load(std::memory_order_relaxed);
    // The block number is written into both channels of every frame.
    const int number = l[0] | l[1] << 8;
    bool whole = size == 512;
    for (int f = 0; f < size; f += 2)
      whole = whole && (l[f] | l[f + 1] << 8) == number && (r[f] | r[f + 1] << 8) == number;
    order[n] = whole ? number : -2;
    for (int i = 0; i < 4; ++i)
      if (recorder().Buffers[i].get() == l) slot[n] = i;
    received.store(n + 1, std::memory_order_release);
  };
  ASSERT_TRUE(recorder().Start());
  in.startFeeder(kBlocks, [](int n, std::uint8_t* data, std::uint32_t capacity) {
    for (std::uint32_t i = 0; i < capacity; i += 4) {
      data[i] = data[i + 1] = static_cast<std::uint8_t>(n & 0xFF);    // frame: L low, R low
      data[i + 2] = data[i + 3] = static_cast<std::uint8_t>(n >> 8);  // next frame: highs
    }
    return capacity;
  });
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (received.load(std::memory_order_acquire) < kBlocks && Clock::now() < deadline) {
    if (queue.dispatchPending() == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  in.joinFeeder();
  ASSERT_EQ(received.load(), kBlocks);
  for (int n = 0; n < kBlocks; ++n) {
    ASSERT_EQ(order[n], n) << "block " << n;
    ASSERT_EQ(slot[n], n % 4) << "block " << n;
  }
  EXPECT_TRUE(recorder().Stop());
}

struct Counter final : sound::MessageTarget {
  std::vector<std::uint64_t> last = std::vector<std::uint64_t>(4, 0);
  bool ordered = true;
  int count = 0;
  void handleMessage(unsigned producer, std::uintptr_t sequence, std::uintptr_t) override {
    ordered = ordered && sequence == last[producer] + 1;
    last[producer] = sequence;
    ++count;
  }
};

TEST(MessageQueueThreads, EveryPostFromEveryThreadArrivesInItsOrder) {
  constexpr int kPerThread = 20000;
  sound::MessageQueue queue;
  Counter counter;
  const sound::WindowHandle window = queue.createWindow(counter);
  std::vector<std::thread> producers;
  for (unsigned p = 0; p < 4; ++p)
    producers.emplace_back([&, p] {
      for (std::uintptr_t s = 1; s <= kPerThread;)
        if (queue.post(window, p, s))
          ++s;  // full: the UI thread has not caught up yet
        else
          std::this_thread::yield();
    });
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (counter.count < 4 * kPerThread && Clock::now() < deadline) queue.dispatchPending();
  for (auto& t : producers) t.join();
  EXPECT_EQ(counter.count, 4 * kPerThread);
  EXPECT_TRUE(counter.ordered);
}

}  // namespace
}  // namespace bandscope::test
