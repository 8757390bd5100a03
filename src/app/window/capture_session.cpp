#include "app/window/capture_session.h"

#include <QCoreApplication>

#include "app/run/sound_services.h"

namespace bandscope {

CaptureSession::CaptureSession(QComboBox& list, SoundServices& sound,
                               std::function<int64_t()> clockUs)
    : sound_(sound),
      samples_(std::make_unique<SampleBuffer>()),
      keeper_(list, *sound.inputs, sound.serverInput.get(), std::move(clockUs)) {}

CaptureSession::~CaptureSession() {
  close();
}

void CaptureSession::open(uint8_t sampleBits) {
  Audio1 = std::make_unique<audio::TAudio>(sound_.services());
  Audio1->OnSessionEnd = [this] { close(); };
  Audio1->OnRecord = [this](void* sender, const uint8_t* LP, const uint8_t* RP, uint16_t size) {
    Audio1Record(sender, LP, RP, size);
  };
  const unsigned devices = Audio1->input().numDevs();
  for (unsigned i = 0; i < devices; ++i) Audio1->setAudioDeviceID(static_cast<int32_t>(i));
  keeper_.fillList();
  keeper_.attach(Audio1.get());
  Audio1->setAudioDeviceID(0);
  audio::TRecorder& recorder = *Audio1->Recorder;
  recorder.setBitsPerSample(sampleBits == 16 ? audio::TBPS::_16 : audio::TBPS::_8);
  recorder.setChannels(audio::TChannels::Stereo);
  recorder.setSplitChannels(true);
  recorder.setNoSamples(512);
  recorder.setSampleRate(44100);
  QCoreApplication::processEvents();
  recorder.Triggered = true;
}

void CaptureSession::close() {
  keeper_.attach(nullptr);
  Audio1.reset();
}

void CaptureSession::endSession() {
  if (Audio1) Audio1->queue().send(Audio1->MessageWindow, audio::WM_QUERYENDSESSION);
}

void CaptureSession::upkeep(bool offline) {
  if (offline && Audio1) Audio1->Recorder->deliverNext();  // exactly one buffer
  samples_->drain();  // the blocks recorded since the last tick, filtered and thinned here
  keeper_.tick(*samples_, !offline);
}

void CaptureSession::setSampleBits(uint8_t bits, uint16_t bufferLength, int32_t timeScale) {
  if (!Audio1) return;
  // No block may arrive while the width changes: the buffer reads a block as its layout says.
  audio::TRecorder& recorder = *Audio1->Recorder;
  if (recorder.Opened) recorder.Stop();
  recorder.setBitsPerSample(bits == 16 ? audio::TBPS::_16 : audio::TBPS::_8);
  samples_->setLayout(bufferLength, timeScale, bits);
  samples_->silence();  // the other width's rows are stale
  keeper_.restart();
}

void CaptureSession::Audio1Record(void*, const uint8_t* LP, const uint8_t* RP,
                                  uint16_t BufferSize) {
  samples_->append(LP, RP, BufferSize);
  keeper_.blockArrived();
}

}  // namespace bandscope
