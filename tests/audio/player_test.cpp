// The player over the scripted output: streaming through the ring, loops, the end of a
// stream, Stop, and failures.

#include "audio/player.h"

#include <numeric>
#include <vector>

#include "audio/audio_fixture.h"

namespace bandscope::test {
namespace {

struct Player : AudioFixture {
  int buffersPlayed = 0, playedEvents = 0;
  Player() {
    out.texts[7] = "Out of memory.";
    configure();  // 1024-byte buffers
    audio->OnBufferPlayed = [this](void*) { ++buffersPlayed; };
    audio->OnPlayed = [this](void*) { ++playedEvents; };
  }
  static std::vector<std::uint8_t> ramp(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
  }
  // Lets the device play everything it holds, handling each notification on the UI thread.
  void playOut() {
    for (int guard = 0; guard < 1000; ++guard) {
      queue.dispatchPending();
      if (!out.playOne()) {
        if (queue.dispatchPending() == 0) return;
      }
    }
    FAIL() << "playback did not end";
  }
};

TEST_F(Player, StreamsEveryByteInOrderThenClosesAndReports) {
  const auto bytes = ramp(5 * 1024 + 100);
  ASSERT_TRUE(player().Play(std::make_unique<audio::TMemoryStream>(bytes)));
  EXPECT_EQ(out.queued(), 4u);  // the whole ring is handed over at once
  playOut();
  EXPECT_EQ(out.played, bytes);
  EXPECT_EQ(buffersPlayed, 6);
  EXPECT_EQ(playedEvents, 1);
  EXPECT_FALSE(player().Opened);
  EXPECT_FALSE(out.isOpen());
}

TEST_F(Player, LoopCountReadsTheSourceAgain) {
  const auto bytes = ramp(1500);
  ASSERT_TRUE(player().Play(std::make_unique<audio::TMemoryStream>(bytes), 2));
  playOut();
  std::vector<std::uint8_t> expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), bytes.begin(), bytes.end());
  EXPECT_EQ(out.played, expected);
  EXPECT_EQ(playedEvents, 1);
}

TEST_F(Player, EmptySourceClosesAtOnce) {
  ASSERT_TRUE(player().Play(std::make_unique<audio::TMemoryStream>(std::vector<std::uint8_t>{})));
  playOut();
  EXPECT_TRUE(out.played.empty());
  EXPECT_EQ(playedEvents, 1);
  EXPECT_FALSE(out.isOpen());
}

TEST_F(Player, StopReturnsTheBuffersAndClosesOnce) {
  ASSERT_TRUE(player().Play(std::make_unique<audio::TMemoryStream>(ramp(20 * 1024))));
  ASSERT_TRUE(out.playOne());
  queue.dispatchPending();
  ASSERT_TRUE(player().Stop());
  EXPECT_TRUE(audio->ErrorText.empty());
  EXPECT_FALSE(player().SourceStream);
  playOut();
  EXPECT_EQ(out.played.size(), 1024u);
  EXPECT_EQ(playedEvents, 1);
  EXPECT_FALSE(out.isOpen());
  EXPECT_TRUE(player().Stop());
  EXPECT_EQ(audio->ErrorText, "Player already closed");
}

TEST_F(Player, FailedWriteLeavesTheServiceText) {
  out.failures["write"] = 7;
  ASSERT_TRUE(player().Play(std::make_unique<audio::TMemoryStream>(ramp(100))));
  EXPECT_EQ(audio->ErrorText, " Out of memory.");
  EXPECT_EQ(out.queued(), 0u);
}

TEST_F(Player, DestructionClosesAPlayingDevice) {
  ASSERT_TRUE(player().Play(std::make_unique<audio::TMemoryStream>(ramp(20 * 1024))));
  audio.reset();
  EXPECT_FALSE(out.isOpen());
  EXPECT_EQ(playedEvents, 0);
}

}  // namespace
}  // namespace bandscope::test
