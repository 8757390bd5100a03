#include "sound/test_signal_input.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bandscope::sound {

namespace {
constexpr double kSweepSeconds = 12, kLow = 40, kHigh = 16000;
constexpr double kChord[3] = {220.0, 277.18, 329.63};
constexpr double kTwoPi = 2 * std::numbers::pi;

void store(std::uint8_t*& out, double x, std::uint16_t bits) {
  x = std::clamp(x, -1.0, 1.0);
  if (bits == 8) {
    *out++ = static_cast<std::uint8_t>(std::lrint(128 + 127 * x));
  } else {
    const auto s = static_cast<std::int16_t>(std::lrint(32767 * x));
    *out++ = static_cast<std::uint8_t>(s & 0xFF);
    *out++ = static_cast<std::uint8_t>((s >> 8) & 0xFF);
  }
}
}  // namespace

MMResult TestSignalInput::acceptFormat(const WaveFormat& f) {
  const bool bitsOk = f.bitsPerSample == 8 || f.bitsPerSample == 16;
  const bool channelsOk = f.channels == 1 || f.channels == 2;
  if (!bitsOk || !channelsOk || f.blockAlign != f.channels * f.bitsPerSample / 8)
    return WAVERR_BADFORMAT;
  return MMSYSERR_NOERROR;
}

std::uint32_t TestSignalInput::produce(std::uint8_t* data, std::uint32_t length) {
  const WaveFormat& f = format();
  const double rate = f.samplesPerSec;
  const std::uint32_t frames = length / f.blockAlign;
  std::uint8_t* out = data;
  for (std::uint32_t i = 0; i < frames; ++i) {
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    const double noise = 0.02 * (static_cast<double>(noise_) / 4294967295.0 - 0.5);
    const double hz = kLow * std::pow(kHigh / kLow, sweepTime_ / kSweepSeconds);
    sweepPhase_ = std::fmod(sweepPhase_ + kTwoPi * hz / rate, kTwoPi);
    sweepTime_ += 1 / rate;
    if (sweepTime_ >= kSweepSeconds) sweepTime_ -= kSweepSeconds;
    double chord = 0;
    for (int k = 0; k < 3; ++k) {
      chordPhase_[k] = std::fmod(chordPhase_[k] + kTwoPi * kChord[k] / rate, kTwoPi);
      chord += 0.2 * std::sin(chordPhase_[k]);
    }
    const double left = 0.6 * std::sin(sweepPhase_) + noise;
    if (f.channels == 1) {
      store(out, 0.5 * (left + chord + noise), f.bitsPerSample);
    } else {
      store(out, left, f.bitsPerSample);
      store(out, chord + noise, f.bitsPerSample);
    }
  }
  return frames * f.blockAlign;
}

}  // namespace bandscope::sound
