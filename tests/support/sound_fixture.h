#pragma once
// Sound services for window tests: the UI thread's Qt queue, the test signal as the only
// input device, an output without devices and no mixer. Nothing reaches a sound server.
// UI thread, with a QApplication running.

#include <memory>

#include "app/run/sound_services.h"
#include "support/fake_wave_service.h"

namespace bandscope::test {

inline std::unique_ptr<SoundServices> testSignalServices() {
  auto s = std::make_unique<SoundServices>();
  s->queue = *QtMessageQueue::open();
  auto out = std::make_unique<FakeWaveOut>();
  out->devices = 0;
  s->output = std::move(out);
  s->testSignal = std::make_unique<sound::TestSignalInput>();
  s->inputs =
      std::make_unique<sound::DeviceList>(std::vector<sound::WaveInService*>{s->testSignal.get()});
  return s;
}

}  // namespace bandscope::test
