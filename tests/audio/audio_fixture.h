#pragma once
// A component over the scripted services, with a message queue the test drains by hand.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/audio.h"
#include "support/fake_wave_service.h"

namespace bandscope::test {

struct AudioFixture : testing::Test {
  FakeWaveIn in;
  FakeWaveOut out;
  sound::MessageQueue queue;
  std::unique_ptr<audio::TAudio> audio;

  AudioFixture() { audio = std::make_unique<audio::TAudio>(audio::AudioServices{in, out, queue}); }
  audio::TRecorder& recorder() { return *audio->Recorder; }
  audio::TPlayer& player() { return *audio->Player; }

  // The program's recording format: 8-bit stereo at 44100 Hz, 512 frames, split, gate open.
  void configure(audio::TBPS bits = audio::TBPS::_8) {
    recorder().setBitsPerSample(bits);
    recorder().setChannels(audio::TChannels::Stereo);
    recorder().setSplitChannels(true);
    recorder().setNoSamples(512);
    recorder().setSampleRate(44100);
    recorder().Triggered = true;
  }

  // Interleaved stereo bytes: left = f(frame), right = g(frame).
  template <typename L, typename R>
  static std::vector<std::uint8_t> stereo(int frames, L left, R right) {
    std::vector<std::uint8_t> bytes;
    for (int f = 0; f < frames; ++f) {
      bytes.push_back(static_cast<std::uint8_t>(left(f)));
      bytes.push_back(static_cast<std::uint8_t>(right(f)));
    }
    return bytes;
  }
};

}  // namespace bandscope::test
