#pragma once
// The operations of pulse_detail::Service (declared in pulse_wave.h). Included only by
// pulse_wave_in.cpp and pulse_wave_out.cpp, which instantiate the template for their stream
// type. Threads as in pulse_wave.h: UI thread, findLocked with the connection's lock held.

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "sound/pulse_connection.h"
#include "sound/pulse_stream.h"
#include "sound/pulse_wave.h"

namespace bandscope::sound::pulse_detail {

template <typename Interface, typename Stream>
Service<Interface, Stream>::Service(std::shared_ptr<PulseConnection> connection,
                                    ServerDevices::Kind kind)
    : connection_(std::move(connection)), devices_(*connection_, kind, kWaitMs) {
  if (!Stream::kFollowsEntry || !connection_->usable()) return;
  Locked lock(*connection_);
  devices_.setReadHookLocked(&Service::checkStreamsLocked, this);
}

template <typename Interface, typename Stream>
Service<Interface, Stream>::~Service() {
  if (!connection_->usable()) return;
  Locked lock(*connection_);
  devices_.setReadHookLocked(nullptr, nullptr);  // no check on streams that are going
  for (const auto& stream : streams_) stream->release();
}

template <typename Interface, typename Stream>
void Service<Interface, Stream>::checkStreamsLocked(void* self) {
  auto& service = *static_cast<Service*>(self);
  for (const auto& stream : service.streams_) {
    if (stream->entry.name.empty() || stream->failure != 0) continue;
    const PulseDevice* now = service.devices_.latestLocked(stream->entry.name);
    if (now == nullptr) {
      stream->fail(MMSYSERR_BADDEVICEID);
    } else if (now->target() != stream->entry.target() || now->stream != stream->entry.stream) {
      stream->fail(WAVE_DEVICE_MOVED);
    }
  }
}

template <typename Interface, typename Stream>
Stream* Service<Interface, Stream>::findLocked(WaveHandle handle) const {
  for (const auto& stream : streams_)
    if (stream->handle == handle) return stream.get();
  return nullptr;
}

template <typename Interface, typename Stream>
template <typename Op>
MMResult Service<Interface, Stream>::with(WaveHandle handle, Op op) {
  if (!connection_->usable()) return MMSYSERR_ERROR;
  Locked lock(*connection_);
  Stream* self = findLocked(handle);
  return self != nullptr ? op(*self) : MMSYSERR_INVALHANDLE;
}

// Checks, the connection (started again when there is none) and the device in the adopted
// list, then a new stream that Stream::connect attaches to the device.
template <typename Interface, typename Stream>
MMResult Service<Interface, Stream>::open(WaveHandle& handle, int deviceId,
                                          const WaveFormat& format, WaveCallback callback,
                                          void* instance) {
  handle = 0;
  if (!connection_->usable()) return MMSYSERR_ERROR;
  if (callback == nullptr) return MMSYSERR_INVALPARAM;
  pa_sample_spec spec{};
  if (!sampleSpecOf(format, spec)) return WAVERR_BADFORMAT;

  Locked lock(*connection_);
  if (!connection_->connectLocked()) return MMSYSERR_NODRIVER;
  if (!devices_.hasLocked(deviceId)) return MMSYSERR_BADDEVICEID;

  auto owned = std::make_unique<Stream>();
  Stream& self = *owned;
  self.connection = connection_.get();
  self.callback = callback;
  self.instance = instance;
  self.handle = nextHandle_++;
  self.spec = spec;
  self.entry = devices_.entryLocked(deviceId);
  self.stream = pa_stream_new(connection_->context(), Stream::kName, &spec, nullptr);
  if (self.stream == nullptr) return streamOpenError(pa_context_errno(connection_->context()));
  pa_stream_set_state_callback(self.stream, &Stream::onState, &self);
  if (const int error = self.connect(format.blockAlign)) {
    self.release();
    return streamOpenError(error);
  }
  handle = self.handle;
  streams_.push_back(std::move(owned));
  // Under the lock, so a failure is reported only after the open.
  callback(handle, Stream::messages.open, instance, nullptr, 0);
  self.opened = true;
  return MMSYSERR_NOERROR;
}

template <typename Interface, typename Stream>
MMResult Service<Interface, Stream>::prepareHeader(WaveHandle handle, WaveHeader& header) {
  return with(handle, [&](Stream&) {
    if (header.data == nullptr || header.bufferLength == 0) return MMSYSERR_INVALPARAM;
    if ((header.flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    header.flags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  });
}

template <typename Interface, typename Stream>
MMResult Service<Interface, Stream>::unprepareHeader(WaveHandle handle, WaveHeader& header) {
  return with(handle, [&](Stream& self) { return self.unprepare(header); });
}

// Returns the queued headers and frees the stream under the lock, then notifies.
template <typename Interface, typename Stream>
MMResult Service<Interface, Stream>::close(WaveHandle handle) {
  if (!connection_->usable()) return MMSYSERR_ERROR;
  std::unique_ptr<Stream> owned;
  {
    Locked lock(*connection_);
    const auto found = std::find_if(streams_.begin(), streams_.end(),
                                    [handle](const auto& s) { return s->handle == handle; });
    if (found == streams_.end()) return MMSYSERR_INVALHANDLE;
    owned = std::move(*found);
    streams_.erase(found);
    owned->returnAll();
    owned->release();
  }
  owned->callback(handle, Stream::messages.close, owned->instance, nullptr, 0);
  return MMSYSERR_NOERROR;
}

template <typename Interface, typename Stream>
std::string Service<Interface, Stream>::errorText(MMResult code) {
  if (code == MMSYSERR_NODRIVER && connection_->usable()) {
    Locked lock(*connection_);
    if (!connection_->connectError().empty()) return connection_->connectError();
  }
  if (code == noAnswerError()) return "The sound server did not answer in time";
  if (code >= SERVICE_ERROR_BASE) {
    const char* text = pa_strerror(static_cast<int>(code - SERVICE_ERROR_BASE));
    return text != nullptr ? text
                           : "Sound server error " + std::to_string(code - SERVICE_ERROR_BASE);
  }
  return genericErrorText(code);
}

}  // namespace bandscope::sound::pulse_detail
