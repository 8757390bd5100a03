// The capture path allocates nothing per block: every allocation is counted per thread, and
// the capture thread's count must not move while blocks flow through the recorder, the
// split, OnRecord, the hand-off into the sample buffer and the re-queue request.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "analysis/sample_buffer.h"
#include "audio/audio_fixture.h"

namespace {
thread_local long allocations = 0;
}

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace bandscope::test {
namespace {

TEST_F(AudioFixture, CaptureThreadAllocatesNothingPerBlock) {
  constexpr int kBlocks = 500;
  configure();
  SampleBuffer samples;
  samples.setLayout(384, 2);
  std::atomic<int> received{0};
  long first = -1, last = -1;
  audio->OnRecord = [&](void*, const std::uint8_t* LP, const std::uint8_t* RP, std::uint16_t size) {
    samples.append(LP, RP, size);
    if (first < 0) first = allocations;  // after the thread's own start-up
    last = allocations;
    received.fetch_add(1, std::memory_order_release);
  };
  ASSERT_TRUE(recorder().Start());
  in.startFeeder(kBlocks, [](int n, std::uint8_t* data, std::uint32_t capacity) {
    for (std::uint32_t i = 0; i < capacity; ++i) data[i] = static_cast<std::uint8_t>(n + i);
    return capacity;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (received.load(std::memory_order_acquire) < kBlocks &&
         std::chrono::steady_clock::now() < deadline)
    if (queue.dispatchPending() == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
  in.joinFeeder();
  ASSERT_EQ(received.load(), kBlocks);
  EXPECT_EQ(last, first) << "allocations on the capture thread while recording";
}

}  // namespace
}  // namespace bandscope::test
