#include "audio/player.h"

#include "audio/audio.h"

namespace bandscope::audio {

using namespace sound;

TPlayer::TPlayer(TAudio& owner) : TAudioSettings(owner) {}
TPlayer::~TPlayer() = default;

bool TPlayer::Open() {
  if (Opened) return true;
  if (!WaveFormat) {
    owner_.ReportOutputError(MMSYSERR_NOMEM, "Could not open the output device for playing: ");
    return false;
  }
  QueueIndex = 0;
  DoneIndex = 0;
  QueuedCount = 0;
  ClosePosted = false;
  const MMResult r =
      owner_.output().open(Handle, owner_.AudioDeviceID(), *WaveFormat, &TPlayer::callback, this);
  if (r != MMSYSERR_NOERROR) {
    owner_.ReportOutputError(r, "Could not open the output device for playing: ");
    return false;
  }
  Opened = true;
  for (int i = 0; i < kBuffers; ++i) {
    WaveHeader& h = *Headers[i];
    h = WaveHeader{};
    h.data = Buffers[i].get();
    h.bufferLength = BufferBytes;
  }
  return true;
}

bool TPlayer::Play(std::unique_ptr<TStream> source, std::uint16_t loops) {
  if (!Open()) return false;
  SourceStream = std::move(source);
  LoopCount = loops;
  StreamPosition = 0;
  for (int i = QueuedCount; i < kBuffers && SourceStream; ++i) FillNextBuffer();
  return true;
}

bool TPlayer::Stop() {
  if (!Opened) {
    owner_.ErrorText = "Player already closed";
    return true;
  }
  SourceStream.reset();
  QueueIndex = DoneIndex;
  QueuedCount = 0;
  owner_.ErrorText.clear();
  bool ok = true;
  if (!ClosePosted) {
    if (owner_.output().reset(Handle) != MMSYSERR_NOERROR) {
      owner_.ErrorText = "Error in waveOutReset";
      ok = false;
    }
    // The reset's buffers come back as done notifications before this request.
    postCloseOnce();
  }
  return ok;
}

// UI thread, from the component's window.
void TPlayer::deviceNotification(unsigned message) {
  if (message == WOM_OPEN) {
    Active = true;
  } else if (message == WOM_CLOSE) {
    Active = false;
  } else if (message == WOM_DONE && Active) {
    // The count, not QueueIndex == DoneIndex, tells an empty ring from a full one.
    if (QueuedCount == 0) {
      postCloseOnce();
      return;
    }
    if (owner_.OnBufferPlayed) owner_.OnBufferPlayed(&owner_);
    owner_.queue().post(bufferDoneWindow, WOM_DONE);
    DoneIndex = (DoneIndex + 1) % kBuffers;
    --QueuedCount;
    if (QueuedCount == 0 && !SourceStream) postCloseOnce();  // the last buffer has played
  }
}

void TPlayer::FillNextBuffer() {
  if (!SourceStream) return;
  ClosePosted = false;
  WaveHeader& h = *Headers[QueueIndex];
  const std::int64_t remembered = SourceStream->Position();
  SourceStream->Seek(StreamPosition);
  std::int32_t n = SourceStream->Read(h.data, BufferBytes);
  if (n == 0 && LoopCount > 0) {
    --LoopCount;
    SourceStream->Seek(0);
    n = SourceStream->Read(h.data, BufferBytes);
  }
  StreamPosition = static_cast<std::int32_t>(SourceStream->Position());
  SourceStream->Seek(remembered);
  if (n == 0) {
    SourceStream.reset();
    if (QueuedCount == 0) postCloseOnce();  // nothing left playing either
    return;
  }
  h.bufferLength = static_cast<std::uint32_t>(n);
  h.flags = 0;
  h.loops = 0;
  WaveOutService& out = owner_.output();
  MMResult r = out.prepareHeader(Handle, h);
  if (r == MMSYSERR_NOERROR) r = out.write(Handle, h);
  if (r != MMSYSERR_NOERROR) {
    owner_.ReportOutputError(r, "");
    return;
  }
  QueueIndex = (QueueIndex + 1) % kBuffers;
  ++QueuedCount;
}

void TPlayer::postCloseOnce() {
  if (ClosePosted) return;
  ClosePosted = true;
  owner_.queue().post(closeWindow, WOM_CLOSE);
}

void TPlayer::closeDevice(bool notifyPlayed) {
  if (!Opened) {
    owner_.ErrorText = "Player already closed";
    return;
  }
  WaveOutService& out = owner_.output();
  if (!notifyPlayed) out.reset(Handle);  // final close: nothing may stay queued
  for (int i = 0; i < kBuffers; ++i) {
    const MMResult r = out.unprepareHeader(Handle, *Headers[i]);
    if (r != MMSYSERR_NOERROR)
      owner_.ReportOutputError(r, "Error unpreparing header for playing: ");
  }
  const MMResult r = out.close(Handle);
  if (r != MMSYSERR_NOERROR) {
    owner_.ReportOutputError(r, "Error closing output device: ");
    return;
  }
  Opened = false;
  if (notifyPlayed && owner_.OnPlayed) owner_.OnPlayed(this);
}

// Output service thread: hand the notification to the component's window.
void TPlayer::callback(WaveHandle, unsigned message, void* instance, WaveHeader*, std::uintptr_t) {
  auto* player = static_cast<TPlayer*>(instance);
  if (message == WOM_OPEN || message == WOM_CLOSE || message == WOM_DONE)
    player->owner_.queue().post(player->owner_.MessageWindow, message);
}

void TPlayer::BufferDone::handleMessage(unsigned message, std::uintptr_t, std::uintptr_t) {
  if (message == WOM_DONE && player.Opened) player.FillNextBuffer();
}

void TPlayer::CloseRequest::handleMessage(unsigned message, std::uintptr_t, std::uintptr_t) {
  if (message == WOM_CLOSE) player.closeDevice();
}

}  // namespace bandscope::audio
