// The recorder over the scripted service: the ring, the gate, the split, the event and every
// failure with its error text.

#include "audio/recorder.h"

#include <string>
#include <vector>

#include "audio/audio_fixture.h"

namespace bandscope::test {
namespace {

using audio::TBPS;
using audio::TChannels;

struct Block {
  std::vector<std::uint8_t> left, right;
  bool split = false;
  std::uint16_t size = 0;
};

struct Recorder : AudioFixture {
  std::vector<Block> blocks;
  Recorder() {
    in.texts[7] = "Out of memory.";
    audio->OnRecord = [this](void*, const std::uint8_t* l, const std::uint8_t* r, std::uint16_t size) {
      Block b{{l, l + size}, {}, r != nullptr, size};
      if (r) b.right.assign(r, r + size);
      blocks.push_back(std::move(b));
    };
  }
  std::vector<std::uint8_t> frames(int n) {
    return stereo(
        n, [](int f) { return f % 256; }, [](int f) { return 255 - f % 256; });
  }
};

TEST_F(Recorder, StopWhenClosedSucceedsAndSaysSo) {
  EXPECT_TRUE(recorder().Stop());
  EXPECT_EQ(audio->ErrorText, "Recorder already closed");
}

TEST_F(Recorder, StartHandsOverAllFourHeadersInOrder) {
  configure();
  ASSERT_TRUE(recorder().Start());
  EXPECT_EQ(in.log(), (std::vector<std::string>{"open", "prepareHeader", "prepareHeader",
                                                "prepareHeader", "prepareHeader", "addBuffer",
                                                "start", "addBuffer", "addBuffer", "addBuffer"}));
  EXPECT_EQ(in.queued(), 4u);
  EXPECT_EQ(recorder().QueueIndex, 0);
  EXPECT_EQ(recorder().DoneIndex, 0);
  EXPECT_TRUE(recorder().Opened);
  EXPECT_TRUE(recorder().Active);
  EXPECT_EQ(in.openedDevice(), -1);
  EXPECT_EQ(in.openedFormat().blockAlign, 2);
  EXPECT_EQ(recorder().Headers[0]->bufferLength, 1024u);
}

TEST_F(Recorder, FullBufferIsSplitDeliveredAndHandedBack) {
  configure();
  ASSERT_TRUE(recorder().Start());
  ASSERT_TRUE(in.deliver(frames(512)));
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].size, 512);
  EXPECT_EQ(blocks[0].left[300], 300 % 256);
  EXPECT_EQ(blocks[0].right[300], 255 - 300 % 256);
  EXPECT_EQ(recorder().DoneIndex, 1);
  EXPECT_EQ(in.queued(), 3u);
  EXPECT_EQ(queue.dispatchPending(), 1u);  // the re-queue runs on the UI thread
  EXPECT_EQ(in.queued(), 4u);
  EXPECT_EQ(recorder().QueueIndex, 1);

  recorder().setSplitChannels(false);
  ASSERT_TRUE(in.deliver(frames(512)));
  EXPECT_EQ(blocks[1].size, 1024);
  EXPECT_FALSE(blocks[1].split);
  EXPECT_EQ(blocks[1].left[1], 255);
}

TEST_F(Recorder, SixteenBitStereoSplitsIntoTwoSampleRows) {
  configure(TBPS::_16);
  ASSERT_EQ(recorder().BufferBytes, 2048);
  ASSERT_TRUE(recorder().Start());
  std::vector<std::uint8_t> bytes;
  for (int f = 0; f < 512; ++f)
    for (int v : {f, -f}) {
      bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
  ASSERT_TRUE(in.deliver(bytes));
  ASSERT_EQ(blocks[0].size, 1024);
  auto sample = [](const std::vector<std::uint8_t>& row, int i) {
    return static_cast<std::int16_t>(row[2 * i] | row[2 * i + 1] << 8);
  };
  EXPECT_EQ(sample(blocks[0].left, 511), 511);
  EXPECT_EQ(sample(blocks[0].right, 511), -511);
  EXPECT_EQ(sample(blocks[0].right, 3), -3);
}

TEST_F(Recorder, GateDropsQuietBlocksButKeepsTheRingTurning) {
  configure();
  recorder().Triggered = false;
  recorder().setTrigLevel(128);
  ASSERT_TRUE(recorder().Start());
  ASSERT_TRUE(in.deliver(std::vector<std::uint8_t>(1024, 127)));
  EXPECT_TRUE(blocks.empty());
  EXPECT_EQ(queue.dispatchPending(), 1u);  // handed back all the same
  std::vector<std::uint8_t> loud(1024, 0);
  loud[700] = 128;
  ASSERT_TRUE(in.deliver(loud));
  ASSERT_TRUE(in.deliver(std::vector<std::uint8_t>(1024, 0)));  // the gate stays open
  EXPECT_EQ(blocks.size(), 2u);
  EXPECT_TRUE(recorder().Triggered);
}

TEST_F(Recorder, TriggerLevelsReadAsSigned16Bit) {
  const std::uint8_t zeros[4] = {0, 0, 0, 0};
  recorder().setTrigLevel(0);
  EXPECT_FALSE(recorder().CheckTrigger(zeros, 0));  // empty blocks never open it
  EXPECT_TRUE(recorder().CheckTrigger(zeros, 4));
  recorder().Triggered = false;
  recorder().setTrigLevel(32768);  // reads as -32768: any sample opens it
  recorder().setBitsPerSample(TBPS::_16);
  const std::uint8_t lowest[2] = {0x00, 0x80};
  EXPECT_TRUE(recorder().CheckTrigger(lowest, 2));
  recorder().Triggered = false;
  recorder().setTrigLevel(100);
  const std::uint8_t negative[2] = {0xFF, 0xFF};  // -1
  EXPECT_FALSE(recorder().CheckTrigger(negative, 2));
}

TEST_F(Recorder, EmptyBufferIsNeitherDeliveredNorHandedBack) {
  configure();
  ASSERT_TRUE(recorder().Start());
  ASSERT_TRUE(in.deliver({}));
  EXPECT_TRUE(blocks.empty());
  EXPECT_EQ(recorder().DoneIndex, 0);
  EXPECT_EQ(queue.dispatchPending(), 0u);
}

TEST_F(Recorder, BuffersReturnedByTheResetAreIgnoredAndLateRequestsDoNothing) {
  configure();
  in.resetBytes = 1024;  // the reset returns full buffers
  ASSERT_TRUE(recorder().Start());
  ASSERT_TRUE(in.deliver(frames(512)));  // its re-queue is still pending
  ASSERT_TRUE(recorder().Stop());
  EXPECT_EQ(blocks.size(), 1u);
  EXPECT_FALSE(recorder().Opened);
  const auto calls = in.log().size();
  queue.dispatchPending();
  EXPECT_EQ(in.log().size(), calls);  // no addBuffer on the closed device
}

TEST_F(Recorder, RequestsOfAnEarlierOpeningAreIgnoredAfterARestart) {
  configure();
  ASSERT_TRUE(recorder().Start());
  ASSERT_TRUE(in.deliver(frames(512)));  // its re-queue is still pending ...
  ASSERT_TRUE(recorder().Stop());
  ASSERT_TRUE(recorder().Start());  // ... when the next opening has handed over all four
  queue.dispatchPending();
  EXPECT_TRUE(recorder().Opened) << audio->ErrorText;
  EXPECT_EQ(in.queued(), 4u);
  EXPECT_EQ(recorder().QueueIndex, 0);
}

TEST_F(Recorder, WithoutHandlerTheRingStillCirculates) {
  configure();
  audio->OnRecord = nullptr;
  ASSERT_TRUE(recorder().Start());
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(in.deliver(frames(512)));
    queue.dispatchPending();
  }
  EXPECT_EQ(in.queued(), 4u);
  EXPECT_EQ(recorder().DoneIndex, 6 % 4);
}

struct FailureRow {
  const char* operation;
  int failAfter;  // for addBuffer: successful calls before it fails
  bool viaClose;  // the failure is provoked by Close rather than Start
  const char* errorText;
  bool opened;  // Opened afterwards
};

TEST_F(Recorder, EveryFailureLeavesItsTextAndState) {
  const FailureRow rows[] = {
      {"open", 0, false, "Could not open the input device for recording: Out of memory.", false},
      {"prepareHeader", 0, false, "Error preparing header for recording: Out of memory.", false},
      {"addBuffer", 0, false, "Error adding next input buffer", false},
      {"start", 0, false, "Error starting wave record: Out of memory.", false},
      {"addBuffer", 2, false, "Error adding next input buffer", false},
      {"reset", 0, true, "Error in waveInReset", true},
      {"unprepareHeader", 0, true, "Error in waveInUnprepareHeader Out of memory.", true},
      {"close", 0, true, "Error closing input device", true},
  };
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(std::string(row.operation) + " after " + std::to_string(row.failAfter));
    FakeWaveIn device;
    device.texts[7] = "Out of memory.";
    sound::MessageQueue q;
    audio::TAudio component({device, out, q});
    component.Recorder->setChannels(TChannels::Stereo);
    if (!row.viaClose) {
      device.failures[row.operation] = 7;
      device.failAddBufferAfter = row.failAfter;
      EXPECT_FALSE(component.Recorder->Start());
    } else {
      ASSERT_TRUE(component.Recorder->Start());
      device.failures[row.operation] = 7;
      EXPECT_FALSE(component.Recorder->Close());
    }
    EXPECT_EQ(component.ErrorText, row.errorText);
    EXPECT_EQ(component.Recorder->Opened, row.opened);
    device.failures.clear();
  }
}

TEST_F(Recorder, FailedHandOverWhileCapturingStopsTheRecorder) {
  configure();
  in.failures["addBuffer"] = 7;
  in.failAddBufferAfter = 4;
  ASSERT_TRUE(recorder().Start());
  ASSERT_TRUE(in.deliver(frames(512)));
  queue.dispatchPending();
  EXPECT_EQ(audio->ErrorText, "Error adding input buffer Out of memory.");
  EXPECT_FALSE(recorder().Opened);
  EXPECT_FALSE(in.isOpen());
}

TEST_F(Recorder, DeviceFailureStopsAndExplainsAndStartWorksAgain) {
  configure();
  ASSERT_TRUE(recorder().Start());
  in.fail(7);
  EXPECT_TRUE(recorder().Opened);  // the stop itself runs on the UI thread
  queue.dispatchPending();
  EXPECT_FALSE(recorder().Opened);
  EXPECT_EQ(audio->ErrorText, "The input device stopped recording: Out of memory.");
  ASSERT_TRUE(recorder().Start());
  ASSERT_TRUE(in.deliver(frames(512)));
  EXPECT_EQ(blocks.size(), 1u);
}

}  // namespace
}  // namespace bandscope::test
