// The component's construction, format setters and buffer rings, device id, error texts
// and destruction.

#include "audio/audio.h"

#include <tuple>

#include "audio/audio_fixture.h"

namespace bandscope::test {
namespace {

using audio::TBPS;
using audio::TChannels;

// A freshly built ring is zero-filled: a marker byte that survives means no rebuild.
void mark(audio::TAudioSettings& S) {
  S.Buffers[0][0] = 0xAB;
}
bool rebuilt(const audio::TAudioSettings& S) {
  return S.Buffers[0][0] != 0xAB;
}

using AudioComponent = AudioFixture;

// Each ring holds the format it names, at start and as the program sets it: a PCM record
// whose rates agree with its channels and bits, buffers of the frames asked for, each header
// over its own buffer. At start the gate is closed, no device is chosen and no error is set.
TEST_F(AudioComponent, EachRingHoldsTheFormatItNamesAtStartAndAsConfigured) {
  EXPECT_EQ(audio->AudioDeviceID(), -1);
  EXPECT_EQ(recorder().TrigLevel(), 0);
  EXPECT_TRUE(audio->ErrorText.empty());
  for (const bool configured : {false, true}) {
    if (configured) configure();
    EXPECT_EQ(recorder().Triggered, configured);
    EXPECT_EQ(recorder().SplitChannels(), configured);
    for (audio::TAudioSettings* S : {static_cast<audio::TAudioSettings*>(&recorder()),
                                     static_cast<audio::TAudioSettings*>(&player())}) {
      SCOPED_TRACE(testing::Message() << (S == &player() ? "player" : "recorder") << configured);
      ASSERT_TRUE(S->WaveFormat);
      const sound::WaveFormat& f = *S->WaveFormat;
      EXPECT_EQ(f.formatTag, 1);
      EXPECT_EQ(f.channels, S->Channels() == TChannels::Stereo ? 2 : 1);
      EXPECT_EQ(f.bitsPerSample, S->BitsPerSample() == TBPS::_16 ? 16 : 8);
      EXPECT_EQ(f.samplesPerSec, S->SampleRate());
      EXPECT_EQ(f.blockAlign, f.channels * f.bitsPerSample / 8);
      EXPECT_EQ(f.avgBytesPerSec, f.samplesPerSec * f.blockAlign);
      EXPECT_EQ(f.cbSize, 0);
      EXPECT_EQ(S->BufferBytes, S->NoSamples() * f.blockAlign);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(S->Headers[i]->data, S->Buffers[i].get());
      EXPECT_FALSE(S->Active);
      if (configured) {  // what the program asks for
        EXPECT_EQ(std::tuple(f.channels, f.bitsPerSample, f.samplesPerSec, S->NoSamples()),
                  std::tuple(2, 8, 44100u, 512));
      }
    }
  }
}

TEST(AudioComponentWithoutDevices, HasNoRingUntilAValueChanges) {
  FakeWaveIn in;
  FakeWaveOut out;
  in.devices = out.devices = 0;
  sound::MessageQueue queue;
  audio::TAudio audio({in, out, queue});
  EXPECT_FALSE(audio.Recorder->WaveFormat);
  EXPECT_FALSE(audio.Player->WaveFormat);
  audio.setAudioDeviceID(0);  // no device: stored as the default, but both rings rebuilt
  EXPECT_EQ(audio.AudioDeviceID(), -1);
  EXPECT_TRUE(audio.Recorder->WaveFormat);
  EXPECT_TRUE(audio.Player->WaveFormat);
}

TEST_F(AudioComponent, FormatSettersRebuildOnlyObjectsWhoseValueChanged) {
  player().setChannels(TChannels::Stereo);  // shared: both change
  EXPECT_EQ(recorder().Channels(), TChannels::Stereo);
  mark(player());
  mark(recorder());
  recorder().setChannels(TChannels::Stereo);  // same value: nothing rebuilt
  EXPECT_FALSE(rebuilt(player()));
  EXPECT_FALSE(rebuilt(recorder()));

  audio->SeparateCtrls = true;
  recorder().setSampleRate(44100);
  EXPECT_EQ(player().SampleRate(), 11025);
  EXPECT_FALSE(rebuilt(player()));
  EXPECT_TRUE(rebuilt(recorder()));

  mark(player());
  recorder().setNoSamples(512);  // always both, whatever SeparateCtrls says
  EXPECT_EQ(player().NoSamples(), 512);
  EXPECT_TRUE(rebuilt(player()));
  EXPECT_EQ(player().BufferBytes, 1024);
}

TEST_F(AudioComponent, SplitChannelsNeedsStereo) {
  recorder().setSplitChannels(true);
  EXPECT_FALSE(recorder().SplitChannels());
  recorder().setChannels(TChannels::Stereo);
  recorder().setSplitChannels(true);
  EXPECT_TRUE(recorder().SplitChannels());
  recorder().setChannels(TChannels::Mono);
  EXPECT_FALSE(recorder().SplitChannels());
  recorder().setChannels(TChannels::Stereo);
  EXPECT_FALSE(recorder().SplitChannels());
}

TEST_F(AudioComponent, DeviceIdKeepsEveryListedDeviceAndRebuildsBothRings) {
  in.devices = 12;
  mark(recorder());
  mark(player());
  audio->setAudioDeviceID(-1);  // unchanged
  EXPECT_FALSE(rebuilt(recorder()));
  audio->setAudioDeviceID(11);  // the twelfth device stays itself
  EXPECT_EQ(audio->AudioDeviceID(), 11);
  EXPECT_TRUE(rebuilt(recorder()));
  EXPECT_TRUE(rebuilt(player()));
  audio->setAudioDeviceID(12);
  EXPECT_EQ(audio->AudioDeviceID(), -1);
  audio->setAudioDeviceID(-5);
  EXPECT_EQ(audio->AudioDeviceID(), -1);
}

TEST_F(AudioComponent, RefusesBuffersBeyondSixteenBits) {
  recorder().setChannels(TChannels::Stereo);
  recorder().setBitsPerSample(TBPS::_16);
  recorder().setNoSamples(16384);  // 65536 bytes would wrap to 0
  EXPECT_EQ(recorder().NoSamples(), 8192);
  EXPECT_EQ(recorder().BufferBytes, 32768);
  EXPECT_EQ(audio->ErrorText, "Buffer too large for this sample format");
  recorder().setNoSamples(16383);
  EXPECT_EQ(recorder().BufferBytes, 65532);
  recorder().setNoSamples(10000);
  recorder().setChannels(TChannels::Mono);
  recorder().setNoSamples(30000);
  recorder().setChannels(TChannels::Stereo);  // 30000 x 4 would not fit either
  EXPECT_EQ(recorder().Channels(), TChannels::Mono);
}

TEST_F(AudioComponent, DeviceErrorAppendsTheServiceTextAfterOneBlank) {
  in.texts[2] = "There is no such device.";
  audio->ReportDeviceError(2, "Could not open the input device for recording: ");
  EXPECT_EQ(audio->ErrorText,
            "Could not open the input device for recording: There is no such device.");
  audio->ReportDeviceError(99, "Error in waveInUnprepareHeader");
  EXPECT_EQ(audio->ErrorText, "Error in waveInUnprepareHeader");
}

TEST_F(AudioComponent, DestructionStopsTheRecorderAndLeavesAnUnopenedPlayerAlone) {
  configure();
  ASSERT_TRUE(recorder().Start());
  audio.reset();
  const auto log = in.log();
  EXPECT_EQ(log.back(), "close");
  EXPECT_FALSE(in.isOpen());
  EXPECT_TRUE(out.log().empty());
}

TEST_F(AudioComponent, SessionEndDestroysTheComponentOnceAndDropsItsRequests) {
  configure();
  ASSERT_TRUE(recorder().Start());
  ASSERT_TRUE(in.deliver(std::vector<std::uint8_t>(1024, 128)));  // a re-queue is pending
  int destroyed = 0;
  audio->OnSessionEnd = [&] {
    ++destroyed;
    audio.reset();
  };
  queue.send(audio->MessageWindow, audio::WM_QUERYENDSESSION);
  EXPECT_EQ(destroyed, 1);
  EXPECT_FALSE(audio);
  queue.dispatchPending();  // the re-queue request finds no window
  EXPECT_FALSE(in.isOpen());
}

}  // namespace
}  // namespace bandscope::test
