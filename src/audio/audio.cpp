#include "audio/audio.h"

#include <new>

#include "audio/mixer_settings.h"

namespace bandscope::audio {

namespace {
// BufferBytes is 16 bits wide: a larger buffer would wrap and be handed out too small.
bool fitsBuffer(std::uint16_t noSamples, TChannels channels, TBPS bits) {
  return std::uint32_t{noSamples} * blockAlignOf(channels, bits) <= 0xFFFFu;
}
constexpr const char* kBufferTooLarge = "Buffer too large for this sample format";
}  // namespace

TAudio::TAudio(const AudioServices& services) : services_(services) {
  Player = std::make_unique<TPlayer>(*this);
  Recorder = std::make_unique<TRecorder>(*this);
  MessageWindow = queue().createWindow(*this);
  Player->bufferDoneWindow = queue().createWindow(Player->bufferDone_);
  Player->closeWindow = queue().createWindow(Player->closeRequest_);
  Recorder->MessageWindow = queue().createWindow(*Recorder);
  mixerSettings = std::make_unique<TMixerSettings>(*this);
  mixerDeviceID_ = 0;
  MixerReady = mixerSettings->OpenMixer(0);
  ErrorText.clear();
  if (input().numDevs() >= 1 && AllocateBuffers(*Recorder) && output().numDevs() >= 1)
    AllocateBuffers(*Player);
}

TAudio::~TAudio() {
  Player->Stop();
  Recorder->Stop();
  mixerSettings->CloseMixer();
  Recorder->Close();
  FreeBuffers(*Recorder);
  queue().destroyWindow(Recorder->MessageWindow);
  Recorder.reset();
  queue().destroyWindow(Player->bufferDoneWindow);
  queue().destroyWindow(Player->closeWindow);
  queue().destroyWindow(MessageWindow);
  // Stop only asks for the close; nobody will handle that request any more.
  if (Player->Opened) Player->closeDevice(false);
  FreeBuffers(*Player);
  Player.reset();
  mixerSettings.reset();
}

void TAudio::setAudioDeviceID(std::int32_t value) {
  if (value == audioDeviceID_) return;
  const auto count = static_cast<std::int64_t>(input().numDevs());
  audioDeviceID_ = value >= -1 && value < count ? value : sound::WAVE_MAPPER;
  rebuild(*Recorder);
  rebuild(*Player);
}

void TAudio::setMixerDeviceID(std::int32_t value) {
  mixerDeviceID_ = value;
  mixerSettings->CloseMixer();
  MixerReady = mixerSettings->OpenMixer(value);
}

void TAudio::applyFormat(TAudioSettings& written, bool both,
                         const std::function<bool(TAudioSettings&)>& change) {
  auto apply = [&](TAudioSettings& S) {
    const TChannels channels = S.channels_;
    const TBPS bits = S.bitsPerSample_;
    const std::uint16_t rate = S.sampleRate_, samples = S.noSamples_;
    if (!change(S)) return;
    if (!fitsBuffer(S.noSamples_, S.channels_, S.bitsPerSample_)) {
      S.channels_ = channels;
      S.bitsPerSample_ = bits;
      S.sampleRate_ = rate;
      S.noSamples_ = samples;
      ErrorText = kBufferTooLarge;
      return;
    }
    rebuild(S);
  };
  if (both) {
    apply(*Player);
    apply(*Recorder);
  } else {
    apply(written);
  }
}

void TAudio::rebuild(TAudioSettings& S) {
  FreeBuffers(S);
  AllocateBuffers(S);
}

bool TAudio::AllocateBuffers(TAudioSettings& S) {
  S.WaveFormat.reset(new (std::nothrow) sound::WaveFormat);
  if (!S.WaveFormat) {
    ErrorText = "Not enough memory to allocate WaveFormat";
    return false;
  }
  sound::WaveFormat& f = *S.WaveFormat;
  f.bitsPerSample = S.bitsPerSample_ == TBPS::_16 ? 16 : 8;
  f.cbSize = 0;
  f.formatTag = 1;
  f.channels = S.channels_ == TChannels::Stereo ? 2 : 1;
  f.samplesPerSec = S.sampleRate_;
  f.blockAlign = blockAlignOf(S.channels_, S.bitsPerSample_);
  f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
  S.BufferBytes = static_cast<std::uint16_t>(S.noSamples_ * f.blockAlign);
  for (int i = 0; i < TAudioSettings::kBuffers; ++i) {
    S.Headers[i].reset(new (std::nothrow) sound::WaveHeader);
    if (!S.Headers[i]) {
      ErrorText = "Not enough memory to allocate WaveHeader";
      return false;
    }
    S.Buffers[i].reset(new (std::nothrow) std::uint8_t[S.BufferBytes]());
    S.SplitBuffers[i].reset(new (std::nothrow) std::uint8_t[S.BufferBytes / 2]());
    if (!S.Buffers[i] || !S.SplitBuffers[i]) {
      ErrorText = "Not enough memory to allocate Wave Buffer";
      return false;
    }
    S.Headers[i]->data = S.Buffers[i].get();
  }
  return true;
}

void TAudio::FreeBuffers(TAudioSettings& S) {
  if (!S.WaveFormat) return;
  S.WaveFormat.reset();
  for (int i = 0; i < TAudioSettings::kBuffers; ++i) {
    S.Buffers[i].reset();
    S.SplitBuffers[i].reset();
    S.Headers[i].reset();
  }
}

namespace {
// The message, one blank and the service's text: messages that end in a blank of their own
// do not give two.
std::string composed(std::string_view message, const std::string& text) {
  std::string result(message);
  if (text.empty()) return result;
  while (!result.empty() && result.back() == ' ') result.pop_back();
  return result.append(" ").append(text);
}
}  // namespace

void TAudio::ReportDeviceError(sound::MMResult code, std::string_view message) {
  ErrorText = composed(message, input().errorText(code));
}

void TAudio::ReportOutputError(sound::MMResult code, std::string_view message) {
  ErrorText = composed(message, output().errorText(code));
}

void TAudio::handleMessage(unsigned message, std::uintptr_t, std::uintptr_t) {
  switch (message) {
    case WM_QUERYENDSESSION:
      // The owner destroys this component: the handler is moved out first, and nothing of
      // this object is touched afterwards.
      if (OnSessionEnd) {
        const std::function<void()> end = std::move(OnSessionEnd);
        end();
      }
      return;
    case sound::WOM_OPEN:
    case sound::WOM_CLOSE:
    case sound::WOM_DONE:
      Player->deviceNotification(message);
      return;
    default:
      return;
  }
}

}  // namespace bandscope::audio
