// Posted messages: order, windows destroyed with messages pending, stale handles, a full ring.

#include "sound/message_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace bandscope::sound {
namespace {

struct Recorder final : MessageTarget {
  std::vector<unsigned> got;
  void handleMessage(unsigned message, std::uintptr_t, std::uintptr_t) override {
    got.push_back(message);
  }
};

TEST(MessageQueue, RunsPostsInOrderOnDispatchOnly) {
  MessageQueue queue;
  Recorder a, b;
  const WindowHandle wa = queue.createWindow(a), wb = queue.createWindow(b);
  EXPECT_TRUE(queue.post(wa, 1));
  EXPECT_TRUE(queue.post(wb, 2));
  EXPECT_TRUE(queue.post(wa, 3));
  EXPECT_TRUE(a.got.empty());
  EXPECT_EQ(queue.dispatchPending(), 3u);
  EXPECT_EQ(a.got, (std::vector<unsigned>{1, 3}));
  EXPECT_EQ(b.got, (std::vector<unsigned>{2}));
  queue.send(wb, 4);
  EXPECT_EQ(b.got.back(), 4u);
  EXPECT_FALSE(queue.post(0, 5));
}

TEST(MessageQueue, DestroyedWindowGetsNothingAndItsHandleNeverReachesTheNextOne) {
  MessageQueue queue;
  Recorder a, b;
  const WindowHandle wa = queue.createWindow(a);
  queue.post(wa, 1);
  queue.destroyWindow(wa);
  const WindowHandle wb = queue.createWindow(b);  // takes the same slot
  queue.post(wa, 2);
  queue.send(wa, 3);
  queue.dispatchPending();
  EXPECT_TRUE(a.got.empty());
  EXPECT_TRUE(b.got.empty());
  queue.post(wb, 4);
  queue.dispatchPending();
  EXPECT_EQ(b.got, (std::vector<unsigned>{4}));
}

TEST(MessageQueue, FullRingRefusesAndRecovers) {
  MessageQueue queue;
  Recorder a;
  const WindowHandle wa = queue.createWindow(a);
  for (std::size_t i = 0; i < MessageQueue::kCapacity; ++i) ASSERT_TRUE(queue.post(wa, 1));
  EXPECT_FALSE(queue.post(wa, 2));
  EXPECT_EQ(queue.dispatchPending(), MessageQueue::kCapacity);
  EXPECT_TRUE(queue.post(wa, 3));
  EXPECT_EQ(queue.dispatchPending(), 1u);
  EXPECT_EQ(a.got.back(), 3u);
}

}  // namespace
}  // namespace bandscope::sound
