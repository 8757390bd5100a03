// The ALSA mixer against the private PulseAudio daemon, reached through ALSA's pulse plugin
// ("default" maps to it while a server answers): enumeration through the audio component,
// volume scaling, and a volume change made on the server arriving as a control change.

#include "sound/alsa_mixer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <tuple>
#include <vector>

#include "audio/audio.h"
#include "audio/mixer_settings.h"
#include "support/fake_wave_service.h"
#include "support/pulse_daemon.h"

namespace bandscope::test {
namespace {

using namespace sound;

struct AlsaMixerOnPulse : testing::Test {
  void SetUp() override {
    sharedPulseDaemon().use();
    ASSERT_TRUE(sharedPulseDaemon().running());
    ASSERT_EQ(pactl("set-sink-volume @DEFAULT_SINK@ 40%"), 0);
    ASSERT_EQ(pactl("set-sink-mute @DEFAULT_SINK@ 1"), 0);
  }
  // The daemon is shared: leave the sink as the other tests expect it.
  void TearDown() override {
    pactl("set-sink-mute @DEFAULT_SINK@ 0");
    pactl("set-sink-volume @DEFAULT_SINK@ 100%");
  }
  static int pactl(const char* args) { return sharedPulseDaemon().pactl(args); }

  // Polls the device's descriptors and dispatches until done() or the deadline.
  template <typename Done>
  static void pumpUntil(AlsaMixer& mixer, MixerHandle handle, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::vector<pollfd> fds = mixer.pollDescriptors(handle);
    ASSERT_FALSE(fds.empty());
    while (!done()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      ASSERT_GT(left.count(), 0) << "no control change arrived";
      for (pollfd& fd : fds) fd.revents = 0;
      if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) > 0)
        mixer.dispatch(handle);
    }
  }

  AlsaMixer mixer;
  FakeWaveIn in;
  FakeWaveOut out;
  MessageQueue queue;
};

TEST_F(AlsaMixerOnPulse, DefaultDeviceEnumeratesTheSinkAndReportsItsVolumeChange) {
  ASSERT_GE(mixer.numDevs(), 1u);
  EXPECT_EQ(mixer.deviceName(0), "default");

  audio::TAudio audio({in, out, queue, &mixer});
  ASSERT_TRUE(audio.MixerReady);
  audio::TMixerSettings& settings = *audio.mixerSettings;
  const audio::TMixDetails* device = settings.Details.get();
  ASSERT_TRUE(device);
  EXPECT_EQ(device->Destination, audio::kNoLine);
  EXPECT_FALSE(device->Name.empty());

  // The playback destination is the sink's volume and mute: 40 % and muted.
  const audio::TMixDetails* master = device->Next.get();
  ASSERT_TRUE(master);
  EXPECT_EQ(std::tuple(master->Destination, master->Source, master->Playback),
            std::tuple(std::uint16_t{0}, std::uint16_t{0}, true));
  ASSERT_NE(master->VolumeID, audio::kNoControl);
  ASSERT_NE(master->MuteID, audio::kNoControl);
  EXPECT_NEAR(master->VolumeLeft, 0.4 * 65535, 2);
  EXPECT_NEAR(master->VolumeRight, 0.4 * 65535, 2);
  EXPECT_TRUE(master->Muted);
  EXPECT_EQ(master->LineFlags, 0);

  std::vector<std::tuple<std::uint16_t, std::uint16_t>> changes;
  audio.OnMixerChange = [&](void* sender, std::uint16_t d, std::uint16_t s) {
    EXPECT_EQ(sender, &settings);
    changes.emplace_back(d, s);
  };
  ASSERT_EQ(pactl("set-sink-volume @DEFAULT_SINK@ 70%"), 0);
  const auto volumeReported = [&] {
    // Each change is reported twice: raw parameters, then the line it belongs to.
    const auto raw = std::tuple(static_cast<std::uint16_t>(settings.Handle),
                                static_cast<std::uint16_t>(master->VolumeID));
    for (std::size_t i = 0; i + 1 < changes.size(); ++i)
      if (changes[i] == raw && changes[i + 1] == std::tuple(0, 0)) return true;
    return false;
  };
  pumpUntil(mixer, settings.Handle, volumeReported);

  std::uint32_t values[2] = {};
  ASSERT_EQ(mixer.getControlDetails(settings.Handle, master->VolumeID, values), MMSYSERR_NOERROR);
  EXPECT_NEAR(values[0], 0.7 * 65535, 2);
  EXPECT_NEAR(values[1], 0.7 * 65535, 2);
}

}  // namespace
}  // namespace bandscope::test
