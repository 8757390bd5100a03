#pragma once
// "Test signal": a built-in input device, so there is always something to analyse. The
// first channel sweeps a sine from 40 Hz to 16 kHz on a logarithmic path every 12 s, the
// second holds an A major chord (220, 277.18, 329.63 Hz); both over a little white noise.
// Paced in real time like a sound card.
//
// Threads: as PacedWaveInput.

#include <cstdint>
#include <string>

#include "sound/paced_wave_input.h"

namespace bandscope::sound {

class TestSignalInput final : public PacedWaveInput {
 public:
  static constexpr const char* kName = "Test signal";
  TestSignalInput() : PacedWaveInput(true) {}
  ~TestSignalInput() override { stopThread(); }
  std::string deviceDescription(unsigned) override { return kName; }

  // Fills whole frames of the open format; public for tests, which call it while not started.
  std::uint32_t produce(std::uint8_t* data, std::uint32_t length) override;

 protected:
  MMResult acceptFormat(const WaveFormat& format) override;

 private:
  double sweepPhase_ = 0;  // radians
  double sweepTime_ = 0;   // seconds into the sweep
  double chordPhase_[3] = {0, 0, 0};
  std::uint32_t noise_ = 0x9E3779B9u;
};

}  // namespace bandscope::sound
