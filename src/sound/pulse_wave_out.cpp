// Wave output over libpulse: the playback stream and PulseWaveOut.
#include "sound/pulse_wave.h"

#include <cstdint>
#include <utility>

#include "sound/pulse_connection.h"
#include "sound/pulse_service.h"
#include "sound/pulse_stream.h"

namespace bandscope::sound {

using pulse_detail::contextError;

struct pulse_detail::OutputStream
    : StreamCore<Pending, PulseWaveOut::kQueueCapacity, kOutputMessages> {
  static constexpr const char* kName = "bandscope playback";
  static constexpr pa_usec_t kStallUsec = 40 * PA_USEC_PER_MSEC;
  static constexpr bool kFollowsEntry = false;  // the server moves it, as players expect

  std::int64_t written = 0;  // write index of the next byte
  pa_time_event* timer = nullptr;
  bool timerArmed = false;
  pa_operation* timing = nullptr;  // timing update in flight
  std::int64_t lastRead = -1;
  pa_usec_t lastProgress = 0;

  // With the lock held: connects the playback stream, waits until it is ready and makes the
  // (disarmed) poll timer.
  int connect(std::uint32_t blockAlign) {
    const char* device = entry.name.empty() ? nullptr : entry.name.c_str();
    const std::uint32_t fragment = blockAlign * PulseWaveOut::kFragmentFrames;
    pa_buffer_attr attr = serverBufferAttr();
    attr.tlength = 2 * fragment;
    attr.prebuf = fragment;
    const int error =
        connectedLocked(*connection, stream,
                        pa_stream_connect_playback(stream, device, &attr, PA_STREAM_ADJUST_LATENCY,
                                                   nullptr, nullptr),
                        PulseWaveOut::kWaitMs);
    if (error != 0) return error;
    timer =
        pa_context_rttime_new(connection->context(), PA_USEC_INVALID, &OutputStream::onTimer, this);
    return timer != nullptr ? 0 : PA_ERR_INTERNAL;
  }

  // With the lock held (or on the mainloop thread).
  void armTimer() {
    if (timer == nullptr || timerArmed) return;
    timerArmed = true;
    pa_context_rttime_restart(
        connection->context(), timer,
        pa_rtclock_now() + pa_usec_t(PulseWaveOut::kPollMs) * PA_USEC_PER_MSEC);
  }

  void disarmTimer() {
    if (timer == nullptr) return;
    timerArmed = false;
    connection->api()->time_restart(timer, nullptr);
  }

  void cancelTiming() {
    if (timing == nullptr) return;
    pa_operation_cancel(timing);
    pa_operation_unref(timing);
    timing = nullptr;
  }

  // Frees the timing update and the timer too.
  void release() {
    cancelTiming();
    if (timer != nullptr) {
      connection->api()->time_free(timer);
      timer = nullptr;
    }
    StreamCore::release();
  }

  static void onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* self = static_cast<OutputStream*>(userdata);
    self->timerArmed = false;
    if (self->failure != 0 || self->fifo.empty() || self->stream == nullptr) return;
    if (self->timing == nullptr)
      self->timing = pa_stream_update_timing_info(self->stream, &OutputStream::onTiming, self);
    self->armTimer();
  }

  static void onTiming(pa_stream* s, int success, void* userdata) {
    auto* self = static_cast<OutputStream*>(userdata);
    if (self->timing != nullptr) {
      pa_operation_unref(self->timing);
      self->timing = nullptr;
    }
    if (success == 0 || self->failure != 0) return;
    const pa_timing_info* info = pa_stream_get_timing_info(s);
    if (info == nullptr || info->read_index_corrupt != 0) return;
    const std::int64_t read = info->read_index;
    while (!self->fifo.empty() && self->fifo.front().end <= read) self->returnFront();
    const pa_usec_t now = pa_rtclock_now();
    if (read != self->lastRead) {
      self->lastRead = read;
      self->lastProgress = now;
    } else if (!self->fifo.empty() && now - self->lastProgress > kStallUsec) {
      // Waiting for a prebuffer that will not fill (a short tail): play what is there.
      // PipeWire's pulse server ignores the trigger; a drain plays the tail on both.
      for (pa_operation* op :
           {pa_stream_trigger(s, nullptr, nullptr), pa_stream_drain(s, nullptr, nullptr)}) {
        if (op != nullptr) pa_operation_unref(op);
      }
      self->lastProgress = now;
    }
  }

  static void onState(pa_stream* s, void* userdata) {
    auto* self = static_cast<OutputStream*>(userdata);
    if (!self->failedNow(s)) return;
    self->disarmTimer();
    self->reportFailure();
  }
};

// The shared operations, from pulse_service.h, for the playback stream.
template class pulse_detail::Service<WaveOutService, pulse_detail::OutputStream>;

PulseWaveOut::PulseWaveOut(std::string server)
    : PulseWaveOut(makePulseConnection(std::move(server))) {}

PulseWaveOut::PulseWaveOut(std::shared_ptr<PulseConnection> connection)
    : Service(std::move(connection), pulse_detail::ServerDevices::Kind::Sinks) {}

MMResult PulseWaveOut::write(WaveHandle handle, WaveHeader& header) {
  return with(handle, [&](Stream& self) {
    if (const MMResult refused = self.queueRefusal(header)) return refused;
    if (pa_stream_write(self.stream, header.data, header.bufferLength, nullptr, 0,
                        PA_SEEK_RELATIVE) < 0)
      return contextError(connection_->context());
    self.written += header.bufferLength;
    header.flags = (header.flags & ~WHDR_DONE) | WHDR_INQUEUE;
    if (self.fifo.empty()) self.lastProgress = pa_rtclock_now();
    self.fifo.push({&header, self.written});
    self.armTimer();
    return MMSYSERR_NOERROR;
  });
}

MMResult PulseWaveOut::reset(WaveHandle handle) {
  return with(handle, [&](Stream& self) {
    if (self.failure == 0) {
      // Headers consumed while the flush runs come back through the timing updates.
      int flushed = 0;
      connection_->runLocked(pa_stream_flush(self.stream, &PulseConnection::onSuccess, &flushed),
                             kWaitMs);
      self.returnAll();
      // The flush moved the write index; take the server's.
      self.cancelTiming();
      int updated = 0;
      if (self.failure == 0 &&
          connection_->runLocked(
              pa_stream_update_timing_info(self.stream, &PulseConnection::onSuccess, &updated),
              kWaitMs) &&
          updated != 0) {
        const pa_timing_info* info = pa_stream_get_timing_info(self.stream);
        if (info != nullptr) {
          self.written = info->write_index_corrupt == 0 ? info->write_index : info->read_index;
          self.lastRead = info->read_index;
        }
      }
    }
    self.returnAll();
    return MMSYSERR_NOERROR;
  });
}

}  // namespace bandscope::sound
