// The PulseAudio connection: the mainloop thread, the context and its states.
#include "sound/pulse_connection.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace bandscope::sound {

namespace {

std::string cannotConnect(const char* why) {
  return std::string("Cannot connect to the sound server: ") + (why != nullptr ? why : "unknown");
}

}  // namespace

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
  freeConnectTimerLocked();
  dropContextLocked();
  pa_threaded_mainloop_unlock(loop_);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

bool PulseConnection::connectLocked() {
  if (state_ == State::Ready) return true;
  if (state_ == State::Connecting) return false;
  dropContextLocked();  // the one that failed

  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "bandscope");
  pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "bandscope");
  context_ = pa_context_new_with_proplist(api(), "bandscope", props);
  pa_proplist_free(props);
  if (context_ == nullptr) {
    failedLocked(cannotConnect("cannot create a context"));
    return false;
  }
  pa_context_set_state_callback(context_, &PulseConnection::onContextState, this);
  state_ = State::Connecting;
  connectTimer_ =
      pa_context_rttime_new(context_, pa_rtclock_now() + pa_usec_t(kConnectMs) * PA_USEC_PER_MSEC,
                            &PulseConnection::onConnectTimeout, this);
  // The state callback may already have run, on this thread, and said why.
  if (pa_context_connect(context_, server_.empty() ? nullptr : server_.c_str(),
                         PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 &&
      state_ == State::Connecting)
    failedLocked(cannotConnect(pa_strerror(pa_context_errno(context_))));
  return state_ == State::Ready;
}

void PulseConnection::addListLocked(pulse_detail::ServerDevices& list) {
  lists_.push_back(&list);
  if (state_ == State::Ready) {
    subscribeLocked();  // its events too
    list.connectedLocked();
  } else {
    connectLocked();
  }
}

void PulseConnection::removeListLocked(pulse_detail::ServerDevices& list) {
  lists_.erase(std::remove(lists_.begin(), lists_.end(), &list), lists_.end());
}

void PulseConnection::readyNowLocked() {
  freeConnectTimerLocked();
  state_ = State::Ready;
  ++generation_;
  connectError_.clear();
  pa_context_set_subscribe_callback(context_, &PulseConnection::onSubscription, this);
  subscribeLocked();
  for (pulse_detail::ServerDevices* list : lists_) list->connectedLocked();
}

void PulseConnection::failedLocked(std::string why) {
  const bool wasUp = state_ == State::Ready;
  state_ = State::Idle;  // the context stays until the next attempt drops it
  freeConnectTimerLocked();
  connectError_ = std::move(why);
  for (pulse_detail::ServerDevices* list : lists_) list->lostLocked(wasUp);
}

void PulseConnection::subscribeLocked() {
  unsigned mask = PA_SUBSCRIPTION_MASK_NULL;
  for (const pulse_detail::ServerDevices* list : lists_) mask |= list->maskLocked();
  if (pa_operation* op = pa_context_subscribe(context_, static_cast<pa_subscription_mask_t>(mask),
                                              nullptr, nullptr))
    pa_operation_unref(op);  // fire and forget: events simply start arriving
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
  const pa_context_state_t state = pa_context_get_state(context);
  if (state == PA_CONTEXT_READY) {
    self->readyNowLocked();
  } else if (!PA_CONTEXT_IS_GOOD(state) && self->state_ != State::Idle) {
    self->failedLocked(cannotConnect(pa_strerror(pa_context_errno(context))));
  }
  self->signal();
}

void PulseConnection::onSubscription(pa_context*, pa_subscription_event_type_t event, uint32_t,
                                     void* userdata) {
  for (pulse_detail::ServerDevices* list : static_cast<PulseConnection*>(userdata)->lists_)
    list->eventLocked(event);
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

// A server that took the connection and never answered: given up, as a failure.
void PulseConnection::onConnectTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                       void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  if (self->state_ != State::Connecting) return;
  self->dropContextLocked();
  self->failedLocked(cannotConnect("it does not answer"));
}

void PulseConnection::freeConnectTimerLocked() {
  if (connectTimer_ == nullptr) return;
  api()->time_free(connectTimer_);  // also from inside its own callback
  connectTimer_ = nullptr;
}

void PulseConnection::dropContextLocked() {
  if (context_ == nullptr) return;
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

MMResult noAnswerError() {
  return paCode(PA_ERR_TIMEOUT);
}

}  // namespace pulse_detail

}  // namespace bandscope::sound
