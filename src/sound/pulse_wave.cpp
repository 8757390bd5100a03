// Wave input and output over libpulse; see pulse_wave.h for the contract.
#include "sound/pulse_wave.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

namespace bandscope::sound {

namespace {

MMResult paCode(int error) {
  return SERVICE_ERROR_BASE + static_cast<MMResult>(error > 0 ? error : PA_ERR_UNKNOWN);
}

// The last error of a context (none: unknown), as our code.
MMResult contextError(pa_context* context) {
  return paCode(context != nullptr ? pa_context_errno(context) : PA_ERR_UNKNOWN);
}

// Validates a PCM format and turns it into a sample spec.
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

// An error of pa_stream_connect_* or of the stream becoming ready, as our code.
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

}  // namespace

// ---------------------------------------------------------------------------------------------
// The mainloop thread and the server context.

class PulseConnection {
 public:
  explicit PulseConnection(std::string server) : server_(std::move(server)) {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) return;
    pa_threaded_mainloop_set_name(loop_, "bandscope-pulse");
    if (pa_threaded_mainloop_start(loop_) < 0) {
      pa_threaded_mainloop_free(loop_);
      loop_ = nullptr;
    }
  }

  ~PulseConnection() {
    if (loop_ == nullptr) return;
    pa_threaded_mainloop_lock(loop_);
    dropContextLocked();
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
  }

  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  bool usable() const { return loop_ != nullptr && !pa_threaded_mainloop_in_thread(loop_); }
  void lock() { pa_threaded_mainloop_lock(loop_); }
  void unlock() { pa_threaded_mainloop_unlock(loop_); }
  void signal() { pa_threaded_mainloop_signal(loop_, 0); }
  pa_context* context() const { return context_; }
  std::uint64_t generation() const { return generation_; }
  const std::string& connectError() const { return connectError_; }
  pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(loop_); }

  // With the lock held: makes sure a ready context exists, connecting a new one if the last
  // one failed. False (and connectError set) when no server answers within the wait.
  bool ensureConnectedLocked(int timeoutMs) {
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
    return true;
  }

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
  bool runLocked(pa_operation* op, int timeoutMs) {
    if (op == nullptr) return false;
    pa_operation_set_state_callback(op, &PulseConnection::onOperationState, this);
    waitLocked([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, timeoutMs);
    const bool finished = pa_operation_get_state(op) == PA_OPERATION_DONE;
    if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
    pa_operation_set_state_callback(op, nullptr, nullptr);
    pa_operation_unref(op);
    return finished;
  }

  // A success callback for runLocked: *userdata (an int) = success.
  static void onSuccess(pa_stream*, int success, void* userdata) {
    *static_cast<int*>(userdata) = success;
  }

 private:
  struct Timeout {
    PulseConnection* connection;
    bool expired;
  };

  static void onContextState(pa_context*, void* userdata) {
    static_cast<PulseConnection*>(userdata)->signal();
  }
  static void onOperationState(pa_operation*, void* userdata) {
    static_cast<PulseConnection*>(userdata)->signal();
  }
  static void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* timeout = static_cast<Timeout*>(userdata);
    timeout->expired = true;
    timeout->connection->signal();
  }

  void dropContextLocked() {
    if (context_ == nullptr) return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
  }

  std::string server_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  std::uint64_t generation_ = 0;
  std::string connectError_;
};

std::shared_ptr<PulseConnection> makePulseConnection(std::string server) {
  return std::make_shared<PulseConnection>(std::move(server));
}

namespace {

class Locked {
 public:
  explicit Locked(PulseConnection& connection) : connection_(connection) { connection_.lock(); }
  ~Locked() { connection_.unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  PulseConnection& connection_;
};

const char* orEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// Reads the sources (or sinks) of the server: the default first, then the rest in the
// server's order. With the lock held and the context ready.
struct DeviceCollector {
  bool sources;
  std::string defaultName;
  std::vector<PulseDevice> devices;
};

void collectServer(pa_context*, const pa_server_info* info, void* userdata) {
  auto* collector = static_cast<DeviceCollector*>(userdata);
  if (info != nullptr)
    collector->defaultName =
        orEmpty(collector->sources ? info->default_source_name : info->default_sink_name);
}

template <typename Info>  // pa_source_info or pa_sink_info
void collectDevice(pa_context*, const Info* info, int eol, void* userdata) {
  if (eol == 0 && info != nullptr)
    static_cast<DeviceCollector*>(userdata)->devices.push_back(
        {orEmpty(info->name), orEmpty(info->description)});
}

std::vector<PulseDevice> readDevicesLocked(PulseConnection& connection, bool sources,
                                           int timeoutMs) {
  DeviceCollector collector{sources, {}, {}};
  pa_context* context = connection.context();
  connection.runLocked(pa_context_get_server_info(context, &collectServer, &collector), timeoutMs);
  connection.runLocked(sources
                           ? pa_context_get_source_info_list(context, &collectDevice, &collector)
                           : pa_context_get_sink_info_list(context, &collectDevice, &collector),
                       timeoutMs);
  auto& list = collector.devices;
  const auto found = std::find_if(list.begin(), list.end(), [&](const PulseDevice& device) {
    return device.name == collector.defaultName;
  });
  if (found != list.end()) std::rotate(list.begin(), found, found + 1);
  return std::move(list);
}

// Buffer metrics left to the server; each direction sets the ones it fixes.
pa_buffer_attr serverBufferAttr() {
  constexpr auto kServer = static_cast<std::uint32_t>(-1);
  return {kServer, kServer, kServer, kServer, kServer};
}

// With the lock held: the result of pa_stream_connect_* and then the wait until the stream is
// ready, as 0 or a libpulse error.
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

// Detaches our callbacks from a stream and lets it go; with the lock held.
void releaseStreamLocked(pa_stream*& stream) {
  if (stream == nullptr) return;
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_read_callback(stream, nullptr, nullptr);
  pa_stream_set_write_callback(stream, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_stream_disconnect(stream);
  pa_stream_unref(stream);
  stream = nullptr;
}

// The fixed header FIFO of a stream.
template <typename Entry, std::size_t Capacity>
class Fifo {
 public:
  bool full() const { return count_ == Capacity; }
  bool empty() const { return count_ == 0; }
  void push(const Entry& entry) { entries_[(head_ + count_++) % Capacity] = entry; }
  Entry& front() { return entries_[head_]; }
  Entry pop() {
    Entry entry = entries_[head_];
    head_ = (head_ + 1) % Capacity;
    --count_;
    return entry;
  }
  // Removes the entries for which match is true, keeping the order of the rest.
  template <typename Match>
  void removeIf(Match match) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count_; ++i) {
      const Entry entry = entries_[(head_ + i) % Capacity];
      if (!match(entry)) entries_[(head_ + kept++) % Capacity] = entry;
    }
    count_ = kept;
  }

 private:
  std::array<Entry, Capacity> entries_{};
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

// What the FIFO of an output stream holds.
struct Pending {
  WaveHeader* header;
  std::int64_t end;  // stream write index just past the header's last byte
};

// The header of a FIFO entry.
WaveHeader* headerOf(WaveHeader* header) {
  return header;
}
WaveHeader* headerOf(const Pending& pending) {
  return pending.header;
}

// The callback messages of one direction.
struct Messages {
  unsigned open, done, close;
};
constexpr Messages kInputMessages{WIM_OPEN, WIM_DATA, WIM_CLOSE};
constexpr Messages kOutputMessages{WOM_OPEN, WOM_DONE, WOM_CLOSE};

// What a stream of either direction holds, and the header bookkeeping both share. Entry is
// what the FIFO holds; headerOf(entry) gives its header. Mainloop thread or under the lock.
template <typename Entry, std::size_t Capacity, Messages kMessages>
struct StreamCore {
  static constexpr Messages messages = kMessages;

  PulseConnection* connection = nullptr;
  pa_stream* stream = nullptr;
  WaveCallback callback = nullptr;
  void* instance = nullptr;
  WaveHandle handle = 0;
  pa_sample_spec spec{};
  Fifo<Entry, Capacity> fifo;
  bool opened = false;   // the open notification went out: failures are reported from here on
  MMResult failure = 0;  // set once, with WAVE_DEVICE_FAILED

  void returnFront() {
    WaveHeader* header = headerOf(fifo.pop());
    header->flags = (header->flags & ~WHDR_INQUEUE) | WHDR_DONE;
    callback(handle, kMessages.done, instance, header, 0);
  }

  void returnAll() {
    while (!fifo.empty()) returnFront();
  }

  // Why header cannot be queued now; 0 when it can.
  MMResult queueRefusal(const WaveHeader& header) const {
    if (failure != 0) return failure;
    if ((header.flags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if ((header.flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    if (fifo.full()) return MMSYSERR_NOMEM;
    return MMSYSERR_NOERROR;
  }

  // A header still queued is refused, unless the device is gone and it can never come back.
  MMResult unprepare(WaveHeader& header) {
    if ((header.flags & WHDR_INQUEUE) != 0) {
      if (failure == 0) return WAVERR_STILLPLAYING;
      fifo.removeIf([&](const Entry& queued) { return headerOf(queued) == &header; });
      header.flags &= ~WHDR_INQUEUE;
    }
    header.flags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  // The state callback's common part: wakes a waiting open; true when the stream has just
  // failed after the open (failure is then set and the caller reports it).
  bool failedNow(pa_stream* s) {
    const pa_stream_state_t state = pa_stream_get_state(s);
    connection->signal();
    if (PA_STREAM_IS_GOOD(state) || !opened || failure != 0) return false;
    failure = contextError(pa_stream_get_context(s));
    return true;
  }

  void reportFailure() { callback(handle, WAVE_DEVICE_FAILED, instance, nullptr, failure); }

  void release() { releaseStreamLocked(stream); }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The device list.

namespace pulse_detail {

bool ServerDevices::connectLocked() {
  if (!connection_.ensureConnectedLocked(waitMs_)) {
    devices_.clear();
    return false;
  }
  if (generation_ != connection_.generation()) loadLocked();
  return true;
}

void ServerDevices::loadLocked() {
  devices_ = readDevicesLocked(connection_, kind_ == Kind::Sources, waitMs_);
  generation_ = connection_.generation();
}

bool ServerDevices::refresh() {
  if (!connection_.usable()) return false;
  Locked lock(connection_);
  if (!connectLocked()) return false;
  loadLocked();
  return true;
}

unsigned ServerDevices::count() {
  if (!connection_.usable()) return 0;
  Locked lock(connection_);
  return connectLocked() ? static_cast<unsigned>(devices_.size()) : 0;
}

PulseDevice ServerDevices::device(unsigned id) {
  if (!connection_.usable()) return {};
  Locked lock(connection_);
  if (!connectLocked() || id >= devices_.size()) return {};
  return devices_[id];
}

bool ServerDevices::hasLocked(int deviceId) const {
  return deviceId >= WAVE_MAPPER && (deviceId < 0 || std::size_t(deviceId) < devices_.size());
}

const char* ServerDevices::nameLocked(int deviceId) const {
  return deviceId == WAVE_MAPPER ? nullptr : devices_[std::size_t(deviceId)].name.c_str();
}

// ---------------------------------------------------------------------------------------------
// What both services share.

template <typename Interface, typename Stream>
Service<Interface, Stream>::~Service() {
  if (streams_.empty() || !connection_->usable()) return;
  Locked lock(*connection_);
  for (const auto& stream : streams_) stream->release();
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

// Checks, the connection and the device, then a new stream that Stream::connect attaches to
// the device and waits for.
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
  if (!devices_.connectLocked()) return MMSYSERR_NODRIVER;
  if (!devices_.hasLocked(deviceId)) return MMSYSERR_BADDEVICEID;

  auto owned = std::make_unique<Stream>();
  Stream& self = *owned;
  self.connection = connection_.get();
  self.callback = callback;
  self.instance = instance;
  self.handle = nextHandle_++;
  self.spec = spec;
  self.stream = pa_stream_new(connection_->context(), Stream::kName, &spec, nullptr);
  if (self.stream == nullptr) return streamOpenError(pa_context_errno(connection_->context()));
  pa_stream_set_state_callback(self.stream, &Stream::onState, &self);
  if (const int error = self.connect(devices_.nameLocked(deviceId), format.blockAlign)) {
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
  if (code == MMSYSERR_NODRIVER && !connection_->connectError().empty())
    return connection_->connectError();
  if (code >= SERVICE_ERROR_BASE) {
    const char* text = pa_strerror(static_cast<int>(code - SERVICE_ERROR_BASE));
    return text != nullptr ? text
                           : "Sound server error " + std::to_string(code - SERVICE_ERROR_BASE);
  }
  return genericErrorText(code);
}

}  // namespace pulse_detail

// ---------------------------------------------------------------------------------------------
// Input.

struct pulse_detail::InputStream
    : StreamCore<WaveHeader*, PulseWaveIn::kQueueCapacity, kInputMessages> {
  static constexpr const char* kName = "bandscope capture";

  std::uint8_t silence = 0;
  std::uint64_t dropped = 0;

  // With the lock held: connects the record stream, corked, and waits until it is ready.
  int connect(const char* device, std::uint32_t blockAlign) {
    silence = spec.format == PA_SAMPLE_U8 ? 0x80 : 0;
    pa_stream_set_read_callback(stream, &InputStream::onRead, this);
    pa_buffer_attr attr = serverBufferAttr();
    attr.fragsize = blockAlign * PulseWaveIn::kFragmentFrames;
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    return connectedLocked(*connection, stream,
                           pa_stream_connect_record(stream, device, &attr, flags),
                           PulseWaveIn::kWaitMs);
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
  }
};

// The shared operations are defined in this file only.
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
    int success = 0;
    if (connection_->runLocked(
            pa_stream_cork(self.stream, 0, &PulseConnection::onSuccess, &success), kWaitMs) &&
        success != 0)
      return MMSYSERR_NOERROR;
    return self.failure != 0 ? self.failure : contextError(connection_->context());
  });
}

MMResult PulseWaveIn::reset(WaveHandle handle) {
  return with(handle, [&](Stream& self) {
    if (self.failure == 0) {
      // Data read while these run goes into the queued headers or is dropped.
      int corked = 0;
      int flushed = 0;
      connection_->runLocked(pa_stream_cork(self.stream, 1, &PulseConnection::onSuccess, &corked),
                             kWaitMs);
      if (self.failure == 0)
        connection_->runLocked(pa_stream_flush(self.stream, &PulseConnection::onSuccess, &flushed),
                               kWaitMs);
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

// ---------------------------------------------------------------------------------------------
// Output.

struct pulse_detail::OutputStream
    : StreamCore<Pending, PulseWaveOut::kQueueCapacity, kOutputMessages> {
  static constexpr const char* kName = "bandscope playback";
  static constexpr pa_usec_t kStallUsec = 40 * PA_USEC_PER_MSEC;

  std::int64_t written = 0;  // write index of the next byte
  pa_time_event* timer = nullptr;
  bool timerArmed = false;
  pa_operation* timing = nullptr;  // timing update in flight
  std::int64_t lastRead = -1;
  pa_usec_t lastProgress = 0;

  // With the lock held: connects the playback stream, waits until it is ready and makes the
  // (disarmed) poll timer.
  int connect(const char* device, std::uint32_t blockAlign) {
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
      pa_operation* op = pa_stream_trigger(s, nullptr, nullptr);
      if (op != nullptr) pa_operation_unref(op);
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
