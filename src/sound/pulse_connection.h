#pragma once
// The mainloop thread and the server context that the PulseAudio services share, the lock
// guard and the error codes made of libpulse errors. Private to the pulse_*.cpp files.
//
// Connecting never waits: connectLocked() starts pa_context_connect (PA_CONTEXT_NOAUTOSPAWN)
// when no context is up or on its way and returns; the context's state callback carries on
// on the mainloop thread. A context not ready within kConnectMs (a server that accepts and
// never answers) is dropped as failed. A ready context subscribes to the events its device
// lists ask for and tells each list to read; one that fails, or is dropped, tells them too.
// The first list registered starts the first connection; after that refresh and open start
// one when there is none. Each ready connection counts up generation().
//
// Threads: usable(), the constructor and destructor on the UI thread; the *Locked members with
// the lock held (lock() from any thread but the mainloop's, whose callbacks hold it already;
// the state callback may also run on the UI thread inside connectLocked, lock held); signal()
// and the callbacks on the mainloop thread. Nothing on the mainloop thread waits for the server.

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sound/pulse_wave.h"

namespace bandscope::sound {

class PulseConnection {
 public:
  static constexpr int kConnectMs = 2000;  // from pa_context_connect to READY

  explicit PulseConnection(std::string server);
  ~PulseConnection();

  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  bool usable() const { return loop_ != nullptr && !pa_threaded_mainloop_in_thread(loop_); }
  void lock() { pa_threaded_mainloop_lock(loop_); }
  void unlock() { pa_threaded_mainloop_unlock(loop_); }
  void signal() { pa_threaded_mainloop_signal(loop_, 0); }
  pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(loop_); }

  // The rest with the lock held.
  pa_context* context() const { return context_; }
  std::uint64_t generation() const { return generation_; }
  // Why the last connection failed or is not there yet; empty while one is ready.
  const std::string& connectError() const { return connectError_; }
  bool readyLocked() const { return state_ == State::Ready; }
  // True when a context is ready; else starts connecting unless an attempt is on its way.
  bool connectLocked();

  // The device lists told of the connection's changes (each ServerDevices registers itself).
  void addListLocked(pulse_detail::ServerDevices& list);
  void removeListLocked(pulse_detail::ServerDevices& list);

  // Waits until done() or timeoutMs have passed; returns done(). For the player's stream and
  // diagnostics only, never on the program's UI path. pa_threaded_mainloop_wait releases the
  // lock while it sleeps; every callback that may make done() true signals.
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

  // Waits for op (null: failed to start) and unrefs it; true when it ran to its end. An
  // operation still running after the wait is cancelled. Same restriction as waitLocked.
  bool runLocked(pa_operation* op, int timeoutMs);

  // A success callback for runLocked: *userdata (an int) = success.
  static void onSuccess(pa_stream*, int success, void* userdata) {
    *static_cast<int*>(userdata) = success;
  }

 private:
  enum class State { Idle, Connecting, Ready };  // Idle: none, or the last one failed

  struct Timeout {
    PulseConnection* connection;
    bool expired;
  };

  static void onContextState(pa_context*, void* userdata);
  static void onSubscription(pa_context*, pa_subscription_event_type_t, uint32_t, void* userdata);
  static void onOperationState(pa_operation*, void* userdata);
  static void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata);
  static void onConnectTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                               void* userdata);

  void readyNowLocked();
  void failedLocked(std::string why);
  void subscribeLocked();
  void freeConnectTimerLocked();
  void dropContextLocked();

  std::string server_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  State state_ = State::Idle;
  pa_time_event* connectTimer_ = nullptr;
  std::uint64_t generation_ = 0;
  std::string connectError_ = "The sound server has not answered yet";
  std::vector<pulse_detail::ServerDevices*> lists_;
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
// The server did not answer in time (a stream that does not become ready).
MMResult noAnswerError();

}  // namespace pulse_detail

}  // namespace bandscope::sound
