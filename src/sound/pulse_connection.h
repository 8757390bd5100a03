#pragma once
// The mainloop thread and the server context that the PulseAudio services share, the lock
// guard and the error codes made of libpulse errors. Private to the pulse_*.cpp files.
//
// Connecting: PA_CONTEXT_NOAUTOSPAWN, at most the caller's wait for the server to answer. A
// context that is no longer ready is dropped and a new one connected by the next
// ensureConnectedLocked; each new connection counts up generation(). A ready context
// subscribes to the server's source events.
//
// Threads: usable() and the constructor and destructor on the UI thread; the *Locked members
// with the lock held (lock() from any thread but the mainloop's, whose callbacks hold it
// already); signal() and the callbacks on the mainloop thread.

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "sound/pulse_wave.h"

namespace bandscope::sound {

class PulseConnection {
 public:
  explicit PulseConnection(std::string server);
  ~PulseConnection();

  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  bool usable() const { return loop_ != nullptr && !pa_threaded_mainloop_in_thread(loop_); }
  void lock() { pa_threaded_mainloop_lock(loop_); }
  void unlock() { pa_threaded_mainloop_unlock(loop_); }
  void signal() { pa_threaded_mainloop_signal(loop_, 0); }
  pa_context* context() const { return context_; }
  std::uint64_t generation() const { return generation_; }
  const std::string& connectError() const { return connectError_; }
  // True once after a source was added, removed or changed on the server, or the connection
  // failed. Set on the mainloop thread, taken on the UI thread.
  bool takeDevicesChanged() { return devicesChanged_.exchange(false); }
  pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(loop_); }

  // With the lock held: makes sure a ready context exists, connecting a new one if the last
  // one failed. False (and connectError set) when no server answers within the wait.
  bool ensureConnectedLocked(int timeoutMs);

  // With the lock held: waits until done() or timeoutMs have passed; returns done().
  // pa_threaded_mainloop_wait releases the lock while it sleeps; every callback that may make
  // done() true signals.
  template <typename Done>
  bool waitLocked(Done done, int timeoutMs) {
    if (done()) return true;
    if (context_ == nullptr) return false;
    Timeout timeout{this, false};
    pa_time_event* event =
        pa_context_rttime_new(context_, pa_rtclock_now() + pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC,
                              &PulseConnection::onTimeout, &timeout);
    if (event == nullptr) return done();
    while (!done() && !timeout.expired) pa_threaded_mainloop_wait(loop_);
    api()->time_free(event);
    return done();
  }

  // With the lock held: waits for op (null: failed to start) and unrefs it; true when it ran to
  // its end. An operation still running after the wait is cancelled.
  bool runLocked(pa_operation* op, int timeoutMs);

  // A success callback for runLocked: *userdata (an int) = success.
  static void onSuccess(pa_stream*, int success, void* userdata) {
    *static_cast<int*>(userdata) = success;
  }

 private:
  struct Timeout {
    PulseConnection* connection;
    bool expired;
  };

  static void onContextState(pa_context*, void* userdata);
  static void onSubscription(pa_context*, pa_subscription_event_type_t, uint32_t, void* userdata);
  static void onOperationState(pa_operation*, void* userdata);
  static void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata);

  void dropContextLocked();

  std::string server_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  std::uint64_t generation_ = 0;
  std::string connectError_;
  std::atomic<bool> devicesChanged_{false};
  bool ready_ = false;  // the context reached READY and has not failed since; under the lock
};

namespace pulse_detail {

// Holds the connection's lock for a scope.
class Locked {
 public:
  explicit Locked(PulseConnection& connection) : connection_(connection) { connection_.lock(); }
  ~Locked() { connection_.unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  PulseConnection& connection_;
};

// The last error of a context (none: unknown), as our code.
MMResult contextError(pa_context* context);
// An error of pa_stream_connect_* or of the stream becoming ready, as our code.
MMResult streamOpenError(int error);

}  // namespace pulse_detail

}  // namespace bandscope::sound
