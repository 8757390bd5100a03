#include "audio/audio_settings.h"

#include "audio/audio.h"

namespace bandscope::audio {

std::uint16_t blockAlignOf(TChannels channels, TBPS bits) {
  const std::uint16_t n = channels == TChannels::Stereo ? 2 : 1;
  return bits == TBPS::_16 ? static_cast<std::uint16_t>(2 * n) : n;
}

void TAudioSettings::setChannels(TChannels value) {
  owner_.applyFormat(*this, !owner_.SeparateCtrls, [value](TAudioSettings& S) {
    if (S.channels_ == value) return false;
    S.channels_ = value;
    return true;
  });
  // A mono recorder cannot split: writing its own value back clears it.
  owner_.Recorder->setSplitChannels(owner_.Recorder->SplitChannels());
}

void TAudioSettings::setBitsPerSample(TBPS value) {
  owner_.applyFormat(*this, !owner_.SeparateCtrls, [value](TAudioSettings& S) {
    if (S.bitsPerSample_ == value) return false;
    S.bitsPerSample_ = value;
    return true;
  });
}

void TAudioSettings::setSampleRate(std::uint16_t value) {
  owner_.applyFormat(*this, !owner_.SeparateCtrls, [value](TAudioSettings& S) {
    if (S.sampleRate_ == value) return false;
    S.sampleRate_ = value;
    return true;
  });
}

void TAudioSettings::changeNoSamples(std::uint16_t value) {
  owner_.applyFormat(*this, true, [value](TAudioSettings& S) {
    if (S.noSamples_ == value) return false;
    S.noSamples_ = value;
    return true;
  });
}

}  // namespace bandscope::audio
