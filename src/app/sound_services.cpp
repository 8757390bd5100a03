#include "app/sound_services.h"

#include "platform/alsa_mixer.h"
#include "platform/pulse_wave.h"

namespace bandscope {

std::unique_ptr<SoundServices> openSoundServices(const CommandLine& line, std::string& error) {
  auto s = std::make_unique<SoundServices>();
  if (!line.input.isEmpty()) {
    const auto mode = line.offline ? platform::FileMode::Offline : platform::FileMode::RealTime;
    s->file = platform::FileWaveInput::load(line.input.toStdString(), mode, error);
    if (!s->file) return nullptr;
  }
  s->queue = std::make_unique<platform::QtMessageQueue>();
  const auto server = platform::makePulseConnection();
  s->output = std::make_unique<platform::PulseWaveOut>(server);
  if (s->file) {
    s->inputs = std::make_unique<platform::DeviceList>(
        std::vector<platform::WaveInService*>{s->file.get()});
  } else {
    s->serverInput = std::make_unique<platform::PulseWaveIn>(server);
    s->testSignal = std::make_unique<platform::TestSignalInput>();
    s->inputs = std::make_unique<platform::DeviceList>(
        std::vector<platform::WaveInService*>{s->serverInput.get(), s->testSignal.get()});
  }
  s->mixer = std::make_unique<platform::AlsaMixer>();
  s->mixerNotifier = std::make_unique<platform::QtMixerNotifier>(*s->mixer);
  return s;
}

}  // namespace bandscope
