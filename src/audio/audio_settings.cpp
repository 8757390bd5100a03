#include "audio/audio_settings.h"

#include "audio/audio.h"

namespace bandscope::audio {

std::uint16_t blockAlignOf(TChannels channels, TBPS bits) {
  const std::uint16_t n = channels == TChannels::Stereo ? 2 : 1;
  return bits == TBPS::_16 ? static_cast<std::uint16_t>(2 * n) : n;
}

// Stores value in field of each object the rule picks whose own value differs.
template <typename T>
void TAudioSettings::change(T TAudioSettings::*field, T value, bool both) {
  owner_.applyFormat(*this, both, [field, value](TAudioSettings& S) {
    if (S.*field == value) return false;
    S.*field = value;
    return true;
  });
}

void TAudioSettings::setChannels(TChannels value) {
  change(&TAudioSettings::channels_, value, !owner_.SeparateCtrls);
  // A mono recorder cannot split: writing its own value back clears it.
  owner_.Recorder->setSplitChannels(owner_.Recorder->SplitChannels());
}

void TAudioSettings::setBitsPerSample(TBPS value) {
  change(&TAudioSettings::bitsPerSample_, value, !owner_.SeparateCtrls);
}

void TAudioSettings::setSampleRate(std::uint16_t value) {
  change(&TAudioSettings::sampleRate_, value, !owner_.SeparateCtrls);
}

void TAudioSettings::changeNoSamples(std::uint16_t value) {
  change(&TAudioSettings::noSamples_, value, true);
}

}  // namespace bandscope::audio
