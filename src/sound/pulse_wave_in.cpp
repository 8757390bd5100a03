// Wave input over libpulse: the record stream and PulseWaveIn.
#include "sound/pulse_wave.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "sound/pulse_connection.h"
#include "sound/pulse_service.h"
#include "sound/pulse_stream.h"

namespace bandscope::sound {

using pulse_detail::Locked;

struct pulse_detail::InputStream
    : StreamCore<WaveHeader*, PulseWaveIn::kQueueCapacity, kInputMessages> {
  static constexpr const char* kName = "bandscope capture";
  static constexpr bool kFollowsEntry = true;

  std::uint8_t silence = 0;
  std::uint64_t dropped = 0;
  bool running = false;  // started and not reset since: uncorked once ready
  pa_time_event* readyTimer = nullptr;

  // With the lock held: asks for the record stream, corked, never moved by the server (a
  // source that goes ends it), and gives it kWaitMs to be ready. An application's entry
  // records its sink input alone, from the sink's monitor.
  int connect(std::uint32_t blockAlign) {
    const char* device = entry.name.empty() ? nullptr : entry.target().c_str();
    if (entry.stream != PulseDevice::kNoStream &&
        pa_stream_set_monitor_stream(stream, entry.stream) < 0)
      return pa_context_errno(connection->context());
    silence = spec.format == PA_SAMPLE_U8 ? 0x80 : 0;
    pa_stream_set_read_callback(stream, &InputStream::onRead, this);
    pa_buffer_attr attr = serverBufferAttr();
    attr.fragsize = blockAlign * PulseWaveIn::kFragmentFrames;
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream, device, &attr, flags) < 0)
      return pa_context_errno(connection->context());
    readyTimer =
        pa_context_rttime_new(connection->context(),
                              pa_rtclock_now() + pa_usec_t(PulseWaveIn::kWaitMs) * PA_USEC_PER_MSEC,
                              &InputStream::onReadyTimeout, this);
    return 0;
  }

  void freeReadyTimer() {
    if (readyTimer == nullptr) return;
    connection->api()->time_free(readyTimer);  // also from inside its own callback
    readyTimer = nullptr;
  }

  void release() {
    freeReadyTimer();
    StreamCore::release();
  }

  // Mainloop thread (or under the lock): fills the oldest queued headers with bytes (silence
  // when data is null), returning each full one.
  void consume(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      if (fifo.empty()) {
        dropped += size;
        return;
      }
      WaveHeader* header = fifo.front();
      const std::size_t room = header->bufferLength - header->bytesRecorded;
      const std::size_t n = std::min(room, size);
      if (data != nullptr) {
        std::memcpy(header->data + header->bytesRecorded, data, n);
        data += n;
      } else {
        std::memset(header->data + header->bytesRecorded, silence, n);
      }
      header->bytesRecorded += static_cast<std::uint32_t>(n);
      size -= n;
      if (header->bytesRecorded == header->bufferLength) returnFront();
    }
  }

  static void onRead(pa_stream* s, std::size_t, void* userdata) {
    auto* self = static_cast<InputStream*>(userdata);
    for (;;) {
      const void* data = nullptr;
      std::size_t size = 0;
      if (pa_stream_peek(s, &data, &size) < 0 || size == 0) return;
      if (self->failure == 0) self->consume(static_cast<const std::uint8_t*>(data), size);
      pa_stream_drop(s);
    }
  }

  static void onState(pa_stream* s, void* userdata) {
    auto* self = static_cast<InputStream*>(userdata);
    if (self->failedNow(s)) self->reportFailure();
    if (pa_stream_get_state(s) == PA_STREAM_CREATING) return;
    self->freeReadyTimer();
    if (self->ready && self->running && self->failure == 0) corkLocked(s, false);
  }

  // A stream still not ready: the server does not answer (stopped, or hung).
  static void onReadyTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                             void* userdata) {
    auto* self = static_cast<InputStream*>(userdata);
    self->freeReadyTimer();
    if (self->ready || self->failure != 0 || !self->opened) return;
    self->failure = pulse_detail::noAnswerError();
    self->reportFailure();
  }
};

// The shared operations, from pulse_service.h, for the record stream.
template class pulse_detail::Service<WaveInService, pulse_detail::InputStream>;

PulseWaveIn::PulseWaveIn(std::string server)
    : PulseWaveIn(makePulseConnection(std::move(server))) {}

PulseWaveIn::PulseWaveIn(std::shared_ptr<PulseConnection> connection)
    : Service(std::move(connection), pulse_detail::ServerDevices::Kind::Sources) {}

MMResult PulseWaveIn::addBuffer(WaveHandle handle, WaveHeader& header) {
  return with(handle, [&](Stream& self) {
    if (const MMResult refused = self.queueRefusal(header)) return refused;
    header.bytesRecorded = 0;
    header.flags = (header.flags & ~WHDR_DONE) | WHDR_INQUEUE;
    self.fifo.push(&header);
    return MMSYSERR_NOERROR;
  });
}

MMResult PulseWaveIn::start(WaveHandle handle) {
  return with(handle, [&](Stream& self) {
    if (self.failure != 0) return self.failure;
    self.running = true;
    if (self.ready) pulse_detail::corkLocked(self.stream, false);  // else once it is ready
    return MMSYSERR_NOERROR;
  });
}

// Data that arrives before the server has corked the stream finds no header and is dropped.
MMResult PulseWaveIn::reset(WaveHandle handle) {
  return with(handle, [&](Stream& self) {
    self.running = false;
    if (self.failure == 0 && self.ready) {
      pulse_detail::corkLocked(self.stream, true);
      pulse_detail::flushLocked(self.stream);
    }
    self.returnAll();
    return MMSYSERR_NOERROR;
  });
}

double PulseWaveIn::latencyMs(WaveHandle handle) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  if (!connection_->usable()) return kNone;
  Locked lock(*connection_);
  Stream* self = findLocked(handle);
  if (self == nullptr || self->failure != 0) return kNone;
  int success = 0;
  if (!connection_->runLocked(
          pa_stream_update_timing_info(self->stream, &PulseConnection::onSuccess, &success),
          kWaitMs) ||
      success == 0)
    return kNone;
  pa_usec_t usec = 0;
  int negative = 0;
  if (pa_stream_get_latency(self->stream, &usec, &negative) < 0) return kNone;
  // The server's figure counts the stream data not yet read by us; add what sits in the
  // header being filled.
  double ms = (negative != 0 ? -1.0 : 1.0) * double(usec) / 1000.0;
  if (!self->fifo.empty())
    ms += double(pa_bytes_to_usec(self->fifo.front()->bytesRecorded, &self->spec)) / 1000.0;
  return ms;
}

std::uint64_t PulseWaveIn::droppedBytes(WaveHandle handle) {
  if (!connection_->usable()) return 0;
  Locked lock(*connection_);
  Stream* self = findLocked(handle);
  return self != nullptr ? self->dropped : 0;
}

}  // namespace bandscope::sound
