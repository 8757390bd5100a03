#include "app/run/sound_services.h"

#include <chrono>
#include <thread>

#include "app/run/start_guard.h"
#include "sound/alsa_mixer.h"
#include "sound/pulse_wave.h"

namespace bandscope {

Result<std::unique_ptr<SoundServices>> openSoundServices(const CommandLine& line) {
  auto s = std::make_unique<SoundServices>();
  if (!line.input.empty()) {
    const auto mode = line.offline ? sound::FileMode::Offline : sound::FileMode::RealTime;
    auto file = sound::FileWaveInput::load(line.input, mode);
    if (!file) return file.failure();
    s->file = std::move(*file);
  }
  auto queue = QtMessageQueue::open();
  if (!queue) {  // named with the resource that ran out
    const Failure& failure = queue.failure();
    return Failure{withFailureReason(failure.text, failure.code), failure.code};
  }
  s->queue = std::move(*queue);
  const auto server = sound::makePulseConnection();
  s->output = std::make_unique<sound::PulseWaveOut>(server);
  if (s->file) {
    s->inputs =
        std::make_unique<sound::DeviceList>(std::vector<sound::WaveInService*>{s->file.get()});
  } else {
    s->serverInput = std::make_unique<sound::PulseWaveIn>(server);
    s->testSignal = std::make_unique<sound::TestSignalInput>();
    s->inputs = std::make_unique<sound::DeviceList>(
        std::vector<sound::WaveInService*>{s->serverInput.get(), s->testSignal.get()});
  }
  s->mixer = std::make_unique<sound::AlsaMixer>();
  s->mixerNotifier = std::make_unique<QtMixerNotifier>(*s->mixer);
  return s;
}

void awaitDeviceList(SoundServices& sound, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    sound.inputs->refresh();
    if (!sound.inputs->listPending() || Clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace bandscope
