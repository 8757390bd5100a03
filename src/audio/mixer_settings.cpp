#include "audio/mixer_settings.h"

#include <algorithm>
#include <span>

#include "audio/audio.h"

namespace bandscope::audio {

using namespace sound;

TMixerSettings::TMixerSettings(TAudio& audio) : owner(audio) {
  MessageWindow = owner.queue().createWindow(*this);
}

TMixerSettings::~TMixerSettings() {
  CloseMixer();
  owner.queue().destroyWindow(MessageWindow);
}

bool TMixerSettings::OpenMixer(std::int32_t id) {
  // A device still open from an earlier call is closed rather than leaked.
  CloseMixer();
  MixerService* mixer = owner.mixer();
  if (!mixer || mixer->numDevs() == 0) return false;

  const auto device = static_cast<unsigned>(id);
  MixerCaps caps;
  mixer->getDevCaps(device, caps);  // a failure leaves no name and no destinations
  if (mixer->open(Handle, device, &owner.queue(), MessageWindow) != MMSYSERR_NOERROR) {
    Handle = 0;
    return false;
  }
  AddMixDetail(kNoLine, kNoLine, caps.productName, 0, false);

  bool result = false;
  for (std::uint32_t d = 0; d < caps.destinations; ++d) {
    MixerLine line;
    if (mixer->getDestinationLine(Handle, d, line) != MMSYSERR_NOERROR) return false;
    const bool playback = line.componentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    ReadLine(line, playback);
    for (std::uint32_t s = 0; s < line.connections; ++s) {
      MixerLine source;
      if (mixer->getSourceLine(Handle, d, s, source) != MMSYSERR_NOERROR) return false;
      ReadLine(source, playback);
    }
    result = true;
  }
  return result;
}

void TMixerSettings::CloseMixer() {
  if (Details) {
    if (MixerService* mixer = owner.mixer()) mixer->close(Handle);
    Handle = 0;
  }
  last_ = nullptr;
  while (Details) Details = std::move(Details->Next);  // frees the head, then the next
}

TMixDetails& TMixerSettings::AddMixDetail(std::uint16_t destination, std::uint16_t source,
                                          const std::string& name, std::uint16_t lineFlags,
                                          bool playback) {
  auto node = std::make_unique<TMixDetails>();
  node->Destination = destination;
  node->Source = source;
  node->Name = name;
  node->LineFlags = lineFlags;
  node->Playback = playback;
  TMixDetails* added = node.get();
  (last_ ? last_->Next : Details) = std::move(node);
  last_ = added;
  return *added;
}

bool TMixerSettings::queryValues(std::uint32_t controlId, std::uint32_t channels,
                                 std::vector<std::uint32_t>& values) {
  // Room for two channels at least, so a stereo read never runs past the area; the service
  // is asked for exactly `channels`.
  values.assign(std::max<std::uint32_t>(channels, 2), 0);
  return owner.mixer()->getControlDetails(Handle, controlId,
                                          std::span<std::uint32_t>(values.data(), channels)) ==
         MMSYSERR_NOERROR;
}

bool TMixerSettings::ReadLine(const MixerLine& line, bool playback) {
  const auto destination = static_cast<std::uint16_t>(line.destination);
  const std::uint16_t source = !last_ || last_->Destination != destination
                                   ? 0
                                   : static_cast<std::uint16_t>(last_->Source + 1);
  TMixDetails& node = AddMixDetail(destination, source, line.name, kLineNoMute, playback);
  if (line.controls == 0) return true;

  std::vector<MixerControl> controls(line.controls);
  if (owner.mixer()->getLineControls(Handle, line.lineId, controls) != MMSYSERR_NOERROR)
    return false;

  std::vector<std::uint32_t> values;
  for (const MixerControl& control : controls) {
    switch (control.controlType) {
      case MIXERCONTROL_CONTROLTYPE_VOLUME:
        if (!queryValues(control.controlId, line.channels, values)) break;
        node.VolumeID = control.controlId;
        node.VolumeLeft = static_cast<std::uint16_t>(values[0]);
        if (line.channels == 1) {
          node.MonoVolume = true;
          node.LineFlags = static_cast<std::uint16_t>(node.LineFlags + kLineMonoVolume);
        } else {
          node.VolumeRight = static_cast<std::uint16_t>(values[1]);
        }
        node.HasControls = true;
        break;
      case MIXERCONTROL_CONTROLTYPE_MUTE:
        if (!queryValues(control.controlId, 1, values) || node.MuteID != kNoControl) break;
        node.MuteID = control.controlId;
        node.Muted = values[0] != 0;
        node.HasControls = true;
        node.LineFlags &= 0x7F;
        break;
      case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
        if (!queryValues(control.controlId, line.channels, values)) break;
        node.MeterID = control.controlId;
        node.MeterChannels = line.channels == 1 ? 1 : 2;
        break;
      default:
        break;
    }
  }
  return true;
}

void TMixerSettings::handleMessage(unsigned message, std::uintptr_t param1, std::uintptr_t param2) {
  if (message != MM_MIXM_CONTROL_CHANGE || !owner.OnMixerChange) return;
  owner.OnMixerChange(this, static_cast<std::uint16_t>(param1), static_cast<std::uint16_t>(param2));
  // Ids are compared as signed 32-bit numbers: a negative one names no control.
  const std::int64_t id = static_cast<std::int32_t>(static_cast<std::uint32_t>(param2));
  for (const TMixDetails* node = Details.get(); node; node = node->Next.get()) {
    if (node->VolumeID != id && node->MuteID != id) continue;
    // The first call may have cleared the slot.
    if (owner.OnMixerChange) owner.OnMixerChange(this, node->Destination, node->Source);
    return;
  }
}

}  // namespace bandscope::audio
