// The PulseAudio connection: the mainloop thread, the context and the waits on it.
#include "sound/pulse_connection.h"

#include <memory>
#include <utility>

namespace bandscope::sound {

PulseConnection::PulseConnection(std::string server) : server_(std::move(server)) {
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr) return;
  pa_threaded_mainloop_set_name(loop_, "bandscope-pulse");
  if (pa_threaded_mainloop_start(loop_) < 0) {
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
  }
}

PulseConnection::~PulseConnection() {
  if (loop_ == nullptr) return;
  pa_threaded_mainloop_lock(loop_);
  dropContextLocked();
  pa_threaded_mainloop_unlock(loop_);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

bool PulseConnection::ensureConnectedLocked(int timeoutMs) {
  if (loop_ == nullptr) {
    connectError_ = "Cannot connect to the sound server: no PulseAudio main loop";
    return false;
  }
  if (context_ != nullptr && pa_context_get_state(context_) == PA_CONTEXT_READY) return true;
  dropContextLocked();

  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "bandscope");
  pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "bandscope");
  context_ = pa_context_new_with_proplist(api(), "bandscope", props);
  pa_proplist_free(props);
  if (context_ == nullptr) {
    connectError_ = "Cannot connect to the sound server: cannot create a context";
    return false;
  }
  pa_context_set_state_callback(context_, &PulseConnection::onContextState, this);
  int error = 0;
  if (pa_context_connect(context_, server_.empty() ? nullptr : server_.c_str(),
                         PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    error = pa_context_errno(context_);
  } else {
    waitLocked(
        [this] {
          const pa_context_state_t state = pa_context_get_state(context_);
          return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        timeoutMs);
    const pa_context_state_t state = pa_context_get_state(context_);
    if (state != PA_CONTEXT_READY)
      error = PA_CONTEXT_IS_GOOD(state) ? PA_ERR_TIMEOUT : pa_context_errno(context_);
  }
  if (error != 0 || pa_context_get_state(context_) != PA_CONTEXT_READY) {
    const char* text = pa_strerror(error != 0 ? error : PA_ERR_UNKNOWN);
    connectError_ = std::string("Cannot connect to the sound server: ") +
                    (text != nullptr ? text : "unknown error");
    dropContextLocked();
    return false;
  }
  connectError_.clear();
  ++generation_;
  ready_ = true;
  pa_context_set_subscribe_callback(context_, &PulseConnection::onSubscription, this);
  if (pa_operation* op =
          pa_context_subscribe(context_, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr))
    pa_operation_unref(op);  // fire and forget: events simply start arriving
  return true;
}

bool PulseConnection::runLocked(pa_operation* op, int timeoutMs) {
  if (op == nullptr) return false;
  pa_operation_set_state_callback(op, &PulseConnection::onOperationState, this);
  waitLocked([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, timeoutMs);
  const bool finished = pa_operation_get_state(op) == PA_OPERATION_DONE;
  if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
  pa_operation_set_state_callback(op, nullptr, nullptr);
  pa_operation_unref(op);
  return finished;
}

void PulseConnection::onContextState(pa_context* context, void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  // Only a connection that was up counts: failed attempts to connect change nothing.
  if (self->ready_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
    self->ready_ = false;
    self->devicesChanged_ = true;
  }
  self->signal();
}

void PulseConnection::onSubscription(pa_context*, pa_subscription_event_type_t, uint32_t,
                                     void* userdata) {
  static_cast<PulseConnection*>(userdata)->devicesChanged_ = true;
}

void PulseConnection::onOperationState(pa_operation*, void* userdata) {
  static_cast<PulseConnection*>(userdata)->signal();
}

void PulseConnection::onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                void* userdata) {
  auto* timeout = static_cast<Timeout*>(userdata);
  timeout->expired = true;
  timeout->connection->signal();
}

void PulseConnection::dropContextLocked() {
  if (context_ == nullptr) return;
  ready_ = false;
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_set_subscribe_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  context_ = nullptr;
}

std::shared_ptr<PulseConnection> makePulseConnection(std::string server) {
  return std::make_shared<PulseConnection>(std::move(server));
}

namespace pulse_detail {

namespace {

MMResult paCode(int error) {
  return SERVICE_ERROR_BASE + static_cast<MMResult>(error > 0 ? error : PA_ERR_UNKNOWN);
}

}  // namespace

MMResult contextError(pa_context* context) {
  return paCode(context != nullptr ? pa_context_errno(context) : PA_ERR_UNKNOWN);
}

MMResult streamOpenError(int error) {
  switch (error) {
    case PA_ERR_INVALID:
    case PA_ERR_NOTSUPPORTED:
      return WAVERR_BADFORMAT;
    case PA_ERR_NOENTITY:
      return MMSYSERR_BADDEVICEID;
    default:
      return paCode(error);
  }
}

}  // namespace pulse_detail

}  // namespace bandscope::sound
