// The mixer enumeration over the scripted mixer: node order and numbering, what each control
// type leaves in a node, failures part-way, change notifications and release.

#include "audio/mixer_settings.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "audio/audio.h"
#include "support/fake_mixer_service.h"
#include "support/fake_wave_service.h"

namespace bandscope::test {
namespace {

using namespace sound;
using audio::TMixDetails;

FakeMixerLine line(std::string name, std::uint32_t channels,
                   std::vector<FakeMixerControl> controls = {}) {
  FakeMixerLine l;
  l.name = std::move(name);
  l.channels = channels;
  l.controls = std::move(controls);
  return l;
}

FakeMixerControl control(std::uint32_t id, std::uint32_t type, std::vector<std::uint32_t> values) {
  return FakeMixerControl{id, type, std::move(values), false};
}

constexpr auto kVolume = MIXERCONTROL_CONTROLTYPE_VOLUME;
constexpr auto kMute = MIXERCONTROL_CONTROLTYPE_MUTE;
constexpr auto kMeter = MIXERCONTROL_CONTROLTYPE_PEAKMETER;

// Speakers with three sources, then a wave-in destination with none.
FakeMixerDevice twoDestinations() {
  FakeMixerDevice device;
  device.name = "Fake Mixer";
  FakeMixerDestination speakers{line("Speakers", 2, {control(1, kVolume, {10, 20})}), {}};
  speakers.line.componentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  speakers.sources = {line("Wave", 2, {control(2, kVolume, {30, 40}), control(3, kMute, {0})}),
                      line("CD", 2), line("Line", 2, {control(4, kMute, {1})})};
  FakeMixerDestination wavein{line("Recording", 2, {control(5, kVolume, {50, 60})}), {}};
  wavein.line.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
  device.destinations = {speakers, wavein};
  return device;
}

std::vector<const TMixDetails*> nodes(const audio::TMixerSettings& settings) {
  std::vector<const TMixDetails*> list;
  for (const TMixDetails* n = settings.Details.get(); n; n = n->Next.get()) list.push_back(n);
  return list;
}

struct MixerSettings : testing::Test {
  FakeWaveIn in;
  FakeWaveOut out;
  MessageQueue queue;
  FakeMixerService mixer;
  std::unique_ptr<audio::TAudio> audio;
  std::vector<std::tuple<void*, std::uint16_t, std::uint16_t>> changes;

  void build(bool withMixer = true) {
    audio = std::make_unique<audio::TAudio>(
        audio::AudioServices{in, out, queue, withMixer ? &mixer : nullptr});
    audio->OnMixerChange = [this](void* sender, std::uint16_t d, std::uint16_t s) {
      changes.emplace_back(sender, d, s);
    };
  }
  audio::TMixerSettings& settings() { return *audio->mixerSettings; }
  MixerHandle handle() const { return mixer.open().begin()->first; }
};

TEST_F(MixerSettings, DeviceNodeThenEachDestinationFollowedByItsSources) {
  mixer.devices = {twoDestinations()};
  build();
  EXPECT_TRUE(audio->MixerReady);
  ASSERT_EQ(mixer.open().size(), 1u);
  EXPECT_EQ(mixer.open().begin()->second.window, settings().MessageWindow);

  const auto list = nodes(settings());
  const std::vector<std::tuple<int, int, std::string, bool>> expected = {
      {0xFFFF, 0xFFFF, "Fake Mixer", false},
      {0, 0, "Speakers", true},
      {0, 1, "Wave", true},
      {0, 2, "CD", true},
      {0, 3, "Line", true},
      {1, 0, "Recording", false}};
  ASSERT_EQ(list.size(), expected.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::tuple(int{list[i]->Destination}, int{list[i]->Source}, list[i]->Name,
                         list[i]->Playback),
              expected[i]);
  }
  EXPECT_EQ(list[0]->LineFlags, 0);
  EXPECT_EQ(list[0]->VolumeID, audio::kNoControl);
  EXPECT_EQ(list[3]->LineFlags, 0x80);  // "CD": no controls at all
  EXPECT_FALSE(list[3]->HasControls);
}

TEST_F(MixerSettings, EachControlTypeFillsItsFields) {
  FakeMixerDevice device;
  device.name = "Controls";
  FakeMixerLine monoMuted = line("Mic", 1, {control(7, kMute, {1}), control(8, kVolume, {0x1234})});
  FakeMixerLine stereo = line(
      "Wave", 2, {control(9, kVolume, {0x10064, 0xC8}), control(10, kVolume, {0x20300, 0x400})});
  FakeMixerControl broken = control(11, kMute, {1});
  broken.failQuery = true;
  FakeMixerLine metered = line("Meter", 2,
                               {broken, control(12, kMeter, {5, 6}), control(13, kMute, {0}),
                                control(14, kMute, {1}), control(15, 0x40020001, {1})});
  FakeMixerLine monoMeter = line("Mono meter", 1, {control(16, kMeter, {5})});
  FakeMixerLine unreadable = line("Unreadable", 2, {control(17, kVolume, {1, 2})});
  unreadable.failControls = true;
  device.destinations = {{line("Out", 2), {monoMuted, stereo, metered, monoMeter, unreadable}}};
  mixer.devices = {device};
  build();
  EXPECT_TRUE(audio->MixerReady);
  const auto list = nodes(settings());
  ASSERT_EQ(list.size(), 7u);

  const TMixDetails& mic = *list[2];
  EXPECT_EQ(mic.LineFlags, 0x40);  // the mute clears 0x80, the mono volume adds 0x40
  EXPECT_TRUE(mic.MonoVolume);
  EXPECT_TRUE(mic.Muted);
  EXPECT_EQ(mic.MuteID, 7u);
  EXPECT_EQ(mic.VolumeID, 8u);
  EXPECT_EQ(mic.VolumeLeft, 0x1234);
  EXPECT_EQ(mic.VolumeRight, 0);

  const TMixDetails& wave = *list[3];  // the later volume wins; only the low 16 bits count
  EXPECT_EQ(wave.VolumeID, 10u);
  EXPECT_EQ(wave.VolumeLeft, 0x300);
  EXPECT_EQ(wave.VolumeRight, 0x400);
  EXPECT_EQ(wave.LineFlags, 0x80);
  EXPECT_FALSE(wave.MonoVolume);
  EXPECT_TRUE(wave.HasControls);

  const TMixDetails& meter = *list[4];  // failed query skipped, first readable mute kept
  EXPECT_EQ(meter.MuteID, 13u);
  EXPECT_FALSE(meter.Muted);
  EXPECT_EQ(meter.MeterID, 12u);
  EXPECT_EQ(meter.MeterChannels, 2);
  EXPECT_EQ(meter.LineFlags, 0);
  EXPECT_EQ(list[5]->MeterChannels, 1);
  EXPECT_FALSE(list[5]->HasControls);  // a meter alone is no control

  const TMixDetails& unread = *list[6];
  EXPECT_EQ(unread.VolumeID, audio::kNoControl);
  EXPECT_EQ(unread.LineFlags, 0x80);
}

TEST_F(MixerSettings, FailuresLeaveTheMixerNotReady) {
  build(false);  // no mixer service
  EXPECT_FALSE(audio->MixerReady);
  EXPECT_FALSE(settings().Details);

  mixer.devices = {twoDestinations(), twoDestinations(), FakeMixerDevice{"Empty", {}, 0}};
  mixer.devices[0].openResult = MMSYSERR_ALLOCATED;
  mixer.devices[1].destinations[0].sources[1].failInfo = true;
  build();
  EXPECT_FALSE(audio->MixerReady);  // device 0 does not open
  EXPECT_FALSE(settings().Details);
  EXPECT_TRUE(mixer.open().empty());

  // A line that cannot be read stops the enumeration; what was read stays, the device open.
  EXPECT_FALSE(settings().OpenMixer(1));
  ASSERT_EQ(nodes(settings()).size(), 3u);
  EXPECT_EQ(nodes(settings())[2]->Name, "Wave");
  EXPECT_EQ(mixer.open().size(), 1u);

  EXPECT_FALSE(settings().OpenMixer(2));  // no destinations: just the device node
  EXPECT_EQ(nodes(settings()).size(), 1u);
  EXPECT_EQ(mixer.closed().size(), 1u);  // the device before it was closed, not leaked
  EXPECT_FALSE(settings().OpenMixer(7));
  EXPECT_FALSE(settings().Details);
}

TEST_F(MixerSettings, ControlChangeReportsRawParametersThenTheControlsLine) {
  mixer.devices = {twoDestinations()};
  mixer.devices[0].destinations[1].sources = {
      line("Negative", 2, {control(0x80000005u, kVolume, {1, 2})})};
  build();
  const MixerHandle h = handle();
  const auto raw = [&](std::uint32_t id) {
    return std::tuple<void*, std::uint16_t, std::uint16_t>(
        &settings(), static_cast<std::uint16_t>(h), static_cast<std::uint16_t>(id));
  };
  using Change = std::tuple<void*, std::uint16_t, std::uint16_t>;

  mixer.changeControl(h, 4);  // the mute of "Line" (0, 3)
  mixer.changeControl(h, 5);  // the volume of "Recording" (1, 0)
  mixer.dispatch(h);
  EXPECT_EQ(changes,
            (std::vector<Change>{raw(4), {&settings(), 0, 3}, raw(5), {&settings(), 1, 0}}));

  changes.clear();
  mixer.changeControl(h, 99);           // no such control
  mixer.changeControl(h, 0x80000005u);  // negative as a signed id: matches nothing
  mixer.dispatch(h);
  EXPECT_EQ(changes, (std::vector<Change>{raw(99), raw(0x80000005u)}));

  changes.clear();
  queue.send(settings().MessageWindow, MM_MIXM_LINE_CHANGE, h, 4);
  audio->OnMixerChange = nullptr;
  queue.send(settings().MessageWindow, MM_MIXM_CONTROL_CHANGE, h, 4);
  EXPECT_TRUE(changes.empty());
}

TEST_F(MixerSettings, CloseMixerClosesOnceAndReleasesTheList) {
  mixer.devices = {twoDestinations()};
  build();
  const MixerHandle h = handle();
  settings().CloseMixer();
  EXPECT_FALSE(settings().Details);
  EXPECT_EQ(mixer.closed(), std::vector<MixerHandle>{h});
  settings().CloseMixer();  // empty list: nothing to close
  EXPECT_EQ(mixer.closed().size(), 1u);

  EXPECT_TRUE(settings().OpenMixer(0));  // the list builds again after a close
  EXPECT_EQ(nodes(settings()).size(), 6u);
  const MixerHandle reopened = handle();
  audio.reset();
  EXPECT_EQ(mixer.closed(), (std::vector<MixerHandle>{h, reopened}));
}

}  // namespace
}  // namespace bandscope::test
