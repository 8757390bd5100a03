#include "audio/recorder.h"

#include "audio/audio.h"

namespace bandscope::audio {

using namespace sound;

TRecorder::TRecorder(TAudio& owner) : TAudioSettings(owner) {}
TRecorder::~TRecorder() = default;

void TRecorder::setNoSamples(std::uint16_t value) {
  changeNoSamples(value);
}

void TRecorder::setSplitChannels(bool value) {
  splitChannels_ = channels_ == TChannels::Stereo && value;
}

bool TRecorder::Open() {
  if (Opened) return true;
  QueueIndex = 0;
  DoneIndex = 0;
  if (!WaveFormat) {  // no ring: the last format change could not build one
    owner_.ReportDeviceError(MMSYSERR_NOMEM, "Could not open the input device for recording: ");
    return false;
  }
  WaveInService& in = owner_.input();
  MMResult r = in.open(Handle, owner_.AudioDeviceID(), *WaveFormat, &TRecorder::callback, this);
  if (r != MMSYSERR_NOERROR) {
    Close();
    owner_.ReportDeviceError(r, "Could not open the input device for recording: ");
    return false;
  }
  Opened = true;
  ++openCount_;
  for (int i = 0; i < kBuffers; ++i) {
    WaveHeader& h = *Headers[i];
    h = WaveHeader{};
    h.data = Buffers[i].get();
    h.bufferLength = BufferBytes;
  }
  for (int i = 0; i < kBuffers; ++i) {
    r = in.prepareHeader(Handle, *Headers[i]);
    if (r != MMSYSERR_NOERROR) {
      Close();
      owner_.ReportDeviceError(r, "Error preparing header for recording: ");
      return false;
    }
  }
  if (!AddNextBuffer()) {
    owner_.ErrorText = "Error adding next input buffer";
    return false;
  }
  return true;
}

bool TRecorder::Start() {
  if (!Open()) return false;
  const MMResult r = owner_.input().start(Handle);
  if (r != MMSYSERR_NOERROR) {
    owner_.ReportDeviceError(r, "Error starting wave record: ");
    Close();
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    if (!AddNextBuffer()) {
      owner_.ErrorText = "Error adding next input buffer";
      return false;
    }
  }
  return true;
}

bool TRecorder::AddNextBuffer() {
  const MMResult r = owner_.input().addBuffer(Handle, *Headers[QueueIndex]);
  if (r != MMSYSERR_NOERROR) {
    Stop();
    owner_.ReportDeviceError(r, "Error adding input buffer");
    return false;
  }
  QueueIndex = (QueueIndex + 1) % kBuffers;
  return true;
}

bool TRecorder::Stop() {
  // Cleared first, so the buffers the reset returns are neither delivered nor handed back.
  Active = false;
  return Close();
}

bool TRecorder::Close() {
  if (!Opened) {
    owner_.ErrorText = "Recorder already closed";
    return true;
  }
  WaveInService& in = owner_.input();
  if (in.reset(Handle) != MMSYSERR_NOERROR) {
    owner_.ErrorText = "Error in waveInReset";
    return false;
  }
  for (int i = 0; i < kBuffers; ++i) {
    const MMResult r = in.unprepareHeader(Handle, *Headers[i]);
    if (r != MMSYSERR_NOERROR) {
      owner_.ReportDeviceError(r, "Error in waveInUnprepareHeader");
      return false;
    }
  }
  if (in.close(Handle) != MMSYSERR_NOERROR) {
    owner_.ErrorText = "Error closing input device";
    return false;
  }
  Opened = false;
  return true;
}

bool TRecorder::CheckTrigger(const std::uint8_t* block, std::uint16_t size) {
  if (Triggered) return true;
  if (size == 0) return false;
  const auto level = static_cast<std::int16_t>(trigLevel_);
  if (bitsPerSample_ == TBPS::_8) {
    for (std::uint16_t i = 0; i < size; ++i) {
      if (std::int16_t{block[i]} >= level) {
        Triggered = true;
        break;
      }
    }
  } else {
    for (std::uint16_t i = 0; i < size / 2; ++i) {
      const auto sample = static_cast<std::int16_t>(block[2 * i] | block[2 * i + 1] << 8);
      if (sample >= level) {
        Triggered = true;
        break;
      }
    }
  }
  return Triggered;
}

// Compacts the first channel to the front of the block in place (each frame is read before
// anything at or beyond it is written) and the second into RP.
void TRecorder::SplitBlock(std::uint8_t* LP, std::uint8_t* RP, std::uint16_t& size) const {
  if (size == 0) return;
  size /= 2;
  if (bitsPerSample_ == TBPS::_8) {
    for (std::uint16_t f = 0; f < size; ++f) {
      const std::uint8_t first = LP[2 * f], second = LP[2 * f + 1];
      LP[f] = first;
      RP[f] = second;
    }
  } else {
    for (std::uint16_t f = 0; f < size / 2; ++f) {
      const std::uint8_t a = LP[4 * f], b = LP[4 * f + 1], c = LP[4 * f + 2], d = LP[4 * f + 3];
      LP[2 * f] = a;
      LP[2 * f + 1] = b;
      RP[2 * f] = c;
      RP[2 * f + 1] = d;
    }
  }
}

// Capture thread. Finds the recorder anew through the instance value each time.
void TRecorder::callback(WaveHandle handle, unsigned message, void* instance, WaveHeader*,
                         std::uintptr_t param) {
  auto* recorder = static_cast<TRecorder*>(instance);
  switch (message) {
    case WIM_OPEN:
      recorder->Active = true;
      break;
    case WIM_CLOSE:
      recorder->Active = false;
      break;
    case WIM_DATA:
      if (recorder->Active) recorder->data(handle);
      break;
    case WAVE_DEVICE_FAILED:
      if (recorder->Active)
        recorder->owner_.queue().post(recorder->MessageWindow, kDeviceFailedRequest, param,
                                      recorder->openCount_);
      break;
    default:
      break;
  }
}

bool TRecorder::deliverNext() {
  if (!Opened) return false;
  const bool delivered = owner_.input().deliverNext(Handle);
  owner_.queue().dispatchPending();  // the re-queue request the delivery posted
  return delivered;
}

void TRecorder::data(WaveHandle handle) {
  const int i = DoneIndex % kBuffers;
  std::uint8_t* LP = Buffers[i].get();
  std::uint8_t* RP = SplitBuffers[i].get();
  auto size = static_cast<std::uint16_t>(Headers[i]->bytesRecorded);
  if (size == 0) return;  // an empty buffer is neither delivered nor handed back
  if (CheckTrigger(LP, size) && owner_.OnRecord) {
    void* sender = reinterpret_cast<void*>(handle);
    if (splitChannels_) {
      SplitBlock(LP, RP, size);
      owner_.OnRecord(sender, LP, RP, size);
    } else {
      owner_.OnRecord(sender, LP, nullptr, size);
    }
  }
  if (size > 0) {
    owner_.queue().post(MessageWindow, kRequeueRequest, 0, openCount_);
    DoneIndex = (DoneIndex + 1) % kBuffers;
  }
}

// UI thread: the requests the callback posted.
void TRecorder::handleMessage(unsigned message, std::uintptr_t param1, std::uintptr_t param2) {
  // Requests left over from an earlier opening (closed since, perhaps opened again) would
  // hand over headers the device already holds.
  if (!Opened || param2 != openCount_) return;
  if (message == kRequeueRequest) {
    AddNextBuffer();
  } else if (message == kDeviceFailedRequest) {
    Stop();
    owner_.ReportDeviceError(static_cast<MMResult>(param1), "The input device stopped recording:");
  }
}

}  // namespace bandscope::audio
