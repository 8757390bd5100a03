// The stream helpers both directions use.
#include "sound/pulse_stream.h"

namespace bandscope::sound::pulse_detail {

bool sampleSpecOf(const WaveFormat& format, pa_sample_spec& spec) {
  if (format.formatTag != 1) return false;
  if (format.channels != 1 && format.channels != 2) return false;
  if (format.bitsPerSample == 8) {
    spec.format = PA_SAMPLE_U8;
  } else if (format.bitsPerSample == 16) {
    spec.format = PA_SAMPLE_S16LE;
  } else {
    return false;
  }
  if (format.blockAlign != format.channels * format.bitsPerSample / 8) return false;
  spec.channels = static_cast<std::uint8_t>(format.channels);
  spec.rate = format.samplesPerSec;
  return pa_sample_spec_valid(&spec) != 0;
}

pa_buffer_attr serverBufferAttr() {
  constexpr auto kServer = static_cast<std::uint32_t>(-1);
  return {kServer, kServer, kServer, kServer, kServer};
}

int connectedLocked(PulseConnection& connection, pa_stream* s, int connectResult, int timeoutMs) {
  if (connectResult < 0) return pa_context_errno(connection.context());
  connection.waitLocked(
      [s] {
        const pa_stream_state_t state = pa_stream_get_state(s);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
      },
      timeoutMs);
  const pa_stream_state_t state = pa_stream_get_state(s);
  if (state == PA_STREAM_READY) return 0;
  return PA_STREAM_IS_GOOD(state) ? PA_ERR_TIMEOUT : pa_context_errno(connection.context());
}

void releaseStreamLocked(pa_stream*& stream) {
  if (stream == nullptr) return;
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_read_callback(stream, nullptr, nullptr);
  pa_stream_set_write_callback(stream, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_stream_disconnect(stream);
  pa_stream_unref(stream);
  stream = nullptr;
}

void corkLocked(pa_stream* stream, bool corked) {
  if (pa_operation* op = pa_stream_cork(stream, corked ? 1 : 0, nullptr, nullptr))
    pa_operation_unref(op);  // a failure reaches the state callback
}

void flushLocked(pa_stream* stream) {
  if (pa_operation* op = pa_stream_flush(stream, nullptr, nullptr)) pa_operation_unref(op);
}

}  // namespace bandscope::sound::pulse_detail
