#pragma once
// Wave input and output over PulseAudio (libpulse with a threaded mainloop).
//
// One PulseConnection holds the mainloop thread and the server context; a PulseWaveIn and a
// PulseWaveOut may share one (pass the same connection) or each make their own.
//
// Nothing here waits for the server on the program's path: connecting, reading the device
// list and opening, starting, resetting and closing a record stream are asked of the server
// and answered on the mainloop thread. (The player's stream and latencyMs still wait, at most
// kWaitMs; the program uses neither.)
//
// Connecting: PA_CONTEXT_NOAUTOSPAWN, started by the first service on the connection and again
// by refresh or open after the server went away; a server that does not answer within kWaitMs
// counts as failed. While no server is connected open returns MMSYSERR_NODRIVER, whose
// errorText is "Cannot connect to the sound server: <why>" ("The sound server has not answered
// yet" before the first answer).
//
// Devices: input devices are the server's sources (monitors of outputs included), then "what plays"
// (the default sink's monitor) and one entry for each application playing (its newest uncorked sink
// input, recorded alone from its sink's monitor with pa_stream_set_monitor_stream); see
// capture_entries.h for their names. Output devices are the sinks. Device 0 is the server's
// default, then the others in the server's order; WAVE_MAPPER (-1) is the default. The list is read
// on the mainloop thread when a connection is ready, after the server's source (sink) events and
// after each refresh; a read not done within kWaitMs is given up. A finished read that differs from
// the last one (or is the first of a connection) waits to be adopted and sets the changed flag
// (takeDevicesChanged); so does the server's first answer, a failure included, and the loss of a
// ready connection. The UI thread adopts it in refresh() only, so numDevs, deviceName and an index
// looked up in them stay valid until the UI thread itself calls refresh. listPending() is true
// until refresh has seen the server's first answer.
//
// Formats: PCM, 8-bit unsigned or 16-bit little-endian, 1 or 2 channels, any rate the server
// accepts (blockAlign must be channels * bits / 8); anything else is WAVERR_BADFORMAT.
//
// Record streams are opened with PA_STREAM_DONT_MOVE: the server never moves one to another
// source. Each list read checks the open input streams against the entry they were opened on:
// one whose entry is gone fails with MMSYSERR_BADDEVICEID, one whose entry now records from
// elsewhere (a new default sink, the application's new stream) with WAVE_DEVICE_MOVED; opened
// again, it follows.
//
// Failure: when the server dies, a stream fails, or an input stream is not ready within
// kWaitMs of open, the callback gets WAVE_DEVICE_FAILED once, with param = SERVICE_ERROR_BASE +
// the libpulse error number (errorText: pa_strerror, e.g. "Connection terminated"; the timeout:
// "The sound server did not answer in time"), or MMSYSERR_BADDEVICEID / WAVERR_BADFORMAT when
// the server refused to open the stream. After that addBuffer, start and write return that
// code; reset (which returns every queued header, as always), unprepareHeader and close
// succeed, so the usual stop sequence tears the handle down, and close frees everything.
//
// Threads: every operation on the UI thread (a call from the mainloop thread, i.e. from inside
// a callback, is refused with MMSYSERR_ERROR). WIM_OPEN/WOM_OPEN and WIM_CLOSE/WOM_CLOSE arrive
// synchronously inside open and close (an input stream counts as open once it is asked of the
// server); headers returned by reset (or by close, which returns any still queued before
// WIM_CLOSE) arrive inside it, on the caller's thread, with the mainloop lock held; data
// notifications and WAVE_DEVICE_FAILED on the mainloop thread. Every operation holds the
// mainloop lock, so after reset or close returns no callback for that handle is in flight.
// The device list is read into memory allocated on the mainloop thread, outside any capture
// callback.
//
// pulse_detail holds the parts both services share. The code: pulse_connection (mainloop and
// context), pulse_devices.cpp (the device list), pulse_stream and pulse_service.h (the stream
// core and the shared operations), pulse_wave_in.cpp and pulse_wave_out.cpp.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sound/wave_service.h"

namespace bandscope::sound {

class PulseConnection;

// server: a server string for pa_context_connect; empty = libpulse's default (PULSE_SERVER,
// client.conf, the user's runtime directory).
std::shared_ptr<PulseConnection> makePulseConnection(std::string server = {});

struct PulseDevice {
  static constexpr std::uint32_t kNoStream = 0xFFFFFFFFu;  // PA_INVALID_INDEX

  std::string name;         // the server's name of the source or sink, or capture_entries.h's
  std::string description;  // its description
  std::string detail;       // its active port's description, or its card's name, or empty
  std::string source;       // what an entry of ours records from (a sink's monitor); else empty
  std::uint32_t stream = kNoStream;  // the sink input an application's entry records alone

  // The server's device a stream on this entry connects to.
  const std::string& target() const { return source.empty() ? name : source; }
  bool operator==(const PulseDevice&) const = default;
};

namespace pulse_detail {

struct ListRead;  // a read of the list on its way, in pulse_devices.cpp

// The server's sources or sinks: read on the mainloop thread (see above), adopted by the UI
// thread in refresh(). Registers with the connection for its life.
// Threads: construction, destruction and the plain members on the UI thread; hasLocked and
// nameLocked on the UI thread with the lock held; the members below them with the lock held,
// called by the connection (mainloop thread, or the UI thread inside connectLocked).
class ServerDevices {
 public:
  enum class Kind { Sources, Sinks };

  ServerDevices(PulseConnection& connection, Kind kind, int waitMs);
  ~ServerDevices();
  ServerDevices(const ServerDevices&) = delete;
  ServerDevices& operator=(const ServerDevices&) = delete;

  // Adopts a list read since the last call and has the list read again (connecting first when
  // there is no connection). True when a connection is ready and its list adopted.
  bool refresh();
  unsigned count() const { return static_cast<unsigned>(adopted_.size()); }
  PulseDevice device(unsigned id) const {
    return id < adopted_.size() ? adopted_[id] : PulseDevice{};
  }
  bool listPending() const { return pending_; }
  bool takeChanged() { return changed_.exchange(false); }

  // Whether deviceId is WAVE_MAPPER or in the adopted list, and the entry it stands for now:
  // found by its name in the latest list read, which may be newer than the adopted one (an
  // empty entry for WAVE_MAPPER, the server's default).
  bool hasLocked(int deviceId) const;
  PulseDevice entryLocked(int deviceId) const;
  // The entry of that name in the latest list read; null when it is not there.
  const PulseDevice* latestLocked(const std::string& name) const;
  // Called with the lock held after each list read that finished (mainloop thread); null: none.
  void setReadHookLocked(void (*hook)(void*), void* data) {
    readHook_ = hook;
    readHookData_ = data;
  }

  // From the connection: it is ready (read the list), it failed or was lost (wasUp: it had
  // been ready), a server event, and the events this list follows.
  void connectedLocked();
  void lostLocked(bool wasUp);
  void eventLocked(unsigned event);  // a pa_subscription_event_type_t
  unsigned maskLocked() const;       // a pa_subscription_mask_t

 private:
  friend struct ListRead;
  void startReadLocked();
  void finishReadLocked();
  void dropReadLocked();
  void cancelReadLocked();
  void answeredLocked(bool changed);

  PulseConnection& connection_;
  const Kind kind_;
  const int waitMs_;  // for a read
  std::atomic<bool> changed_{false};
  // UI thread only.
  std::vector<PulseDevice> adopted_;
  std::uint64_t adoptedGeneration_ = 0;  // the connection's generation it was read on
  bool pending_ = true;
  // Under the lock.
  std::unique_ptr<ListRead> read_;
  bool readAgain_ = false;           // an event came while a read was on its way
  bool answered_ = false;            // the server answered once: a list, or a failure
  std::vector<PulseDevice> latest_;  // the last list read
  std::uint64_t latestGeneration_ = 0;
  bool fresh_ = false;  // latest_ is not adopted yet
  void (*readHook_)(void*) = nullptr;
  void* readHookData_ = nullptr;
};

struct InputStream;   // a record stream, in pulse_wave_in.cpp
struct OutputStream;  // a playback stream, in pulse_wave_out.cpp

// What PulseWaveIn and PulseWaveOut share: the connection, the server's sources or sinks, the
// open streams and the operations that are the same in both directions. Handles are never
// reused, so a stale one is always refused. UI thread; findLocked with the lock held.
// Defined in pulse_service.h and instantiated for the two services only.
template <typename Interface, typename StreamType>
class Service : public Interface {
 public:
  using Stream = StreamType;
  static constexpr std::size_t kQueueCapacity = 8;  // headers queued at once
  static constexpr std::uint32_t kFragmentFrames = 512;
  static constexpr int kWaitMs = 2000;  // for each answer of the server

  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  unsigned numDevs() override { return devices_.count(); }
  MMResult open(WaveHandle& handle, int deviceId, const WaveFormat& format, WaveCallback callback,
                void* instance) override;
  MMResult prepareHeader(WaveHandle handle, WaveHeader& header) override;
  MMResult unprepareHeader(WaveHandle handle, WaveHeader& header) override;
  MMResult close(WaveHandle handle) override;
  std::string errorText(MMResult code) override;

  // ServerDevices::refresh: adopts a list read since, has it read again (connecting when
  // there is no connection); true when a server is connected and its list adopted.
  bool refreshDevices() { return devices_.refresh(); }
  // Name and description of device id in the adopted list, empty when there is none.
  PulseDevice device(unsigned id) { return devices_.device(id); }

  const std::shared_ptr<PulseConnection>& connection() const { return connection_; }

 protected:
  Service(std::shared_ptr<PulseConnection> connection, ServerDevices::Kind kind);
  // Closes handles still open, without notifications.
  ~Service() override;

  // Runs op(stream) for an open handle with the lock held; refused off the UI thread.
  template <typename Op>
  MMResult with(WaveHandle handle, Op op);
  Stream* findLocked(WaveHandle handle) const;
  // After a list read: streams whose entry went or moved fail (Stream::kFollowsEntry only).
  static void checkStreamsLocked(void* self);

  std::shared_ptr<PulseConnection> connection_;
  ServerDevices devices_;
  std::vector<std::unique_ptr<Stream>> streams_;
  WaveHandle nextHandle_ = 1;
};

}  // namespace pulse_detail

// Input: a record stream with PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED |
// PA_STREAM_DONT_MOVE and a fragment of kFragmentFrames frames (blockAlign * 512 bytes: 11.6 ms at
// 44.1 kHz, one 1024-byte buffer of 512 stereo 8-bit frames). The fragment is fixed at open, before
// any header is prepared; buffers of another size simply take several fragments or share one. Data
// is copied on the mainloop thread into the oldest queued header (a fixed FIFO of kQueueCapacity
// headers, no allocation); a full header gets WHDR_DONE, leaves the FIFO and is returned with
// WIM_DATA. Data that arrives with no header queued is dropped and counted (droppedBytes). Holes in
// the stream are filled with silence. open asks the server for the stream and returns; start
// uncorks it as soon as it is ready, reset corks and flushes it without waiting.
class PulseWaveIn final : public pulse_detail::Service<WaveInService, pulse_detail::InputStream> {
 public:
  explicit PulseWaveIn(std::string server = {});
  explicit PulseWaveIn(std::shared_ptr<PulseConnection> connection);

  std::string deviceDescription(unsigned id) override { return device(id).description; }
  std::string deviceName(unsigned id) override { return device(id).name; }
  std::string deviceDetail(unsigned id) override { return device(id).detail; }
  bool refresh() override { return refreshDevices(); }
  // A new list waits to be adopted, or the server answered or went away; see above.
  bool takeDevicesChanged() override { return devices_.takeChanged(); }
  bool listPending() override { return devices_.listPending(); }
  MMResult addBuffer(WaveHandle handle, WaveHeader& header) override;
  MMResult start(WaveHandle handle) override;
  MMResult reset(WaveHandle handle) override;

  // Capture latency of an open handle in milliseconds: the server's latency of the stream
  // (pa_stream_get_latency after a fresh timing update) plus what is buffered on our side
  // (the bytes already copied into the oldest queued header; unread stream data is in the
  // server's figure). On a monitor the server subtracts the sink's own buffer, so the figure
  // can be slightly negative. NaN when it cannot be measured. Waits for the timing update (at
  // most kWaitMs): for tests and diagnostics, not for the program's UI thread.
  double latencyMs(WaveHandle handle);
  // Bytes that arrived while no header was queued.
  std::uint64_t droppedBytes(WaveHandle handle);
};

// Output: a playback stream (target length two fragments, prebuffering one). write copies the
// header's bytes into the stream at once (pa_stream_write) and keeps the header in a fixed FIFO
// until the server has consumed its bytes: its read index, polled every few milliseconds while
// headers are queued, has passed the header's last byte (that is, the data has been mixed into
// the sink; it is heard up to the sink's latency later). Then the header gets WHDR_DONE and is
// returned with WOM_DONE on the mainloop thread. A stream stalled in prebuffering (a short
// tail) is triggered and drained (PipeWire answers only the drain) so every header comes back.
// open waits for the stream to be ready and reset for the flush (each at most kWaitMs). Not
// used by the program today, which only asks numDevs (the adopted list: no wait); kept because
// TAudio's player TPlayer plays through it (tested).
class PulseWaveOut final
    : public pulse_detail::Service<WaveOutService, pulse_detail::OutputStream> {
 public:
  static constexpr int kPollMs = 4;  // read-index polling while headers are queued

  explicit PulseWaveOut(std::string server = {});
  explicit PulseWaveOut(std::shared_ptr<PulseConnection> connection);

  std::string deviceDescription(unsigned id) { return device(id).description; }
  MMResult write(WaveHandle handle, WaveHeader& header) override;
  MMResult reset(WaveHandle handle) override;
};

}  // namespace bandscope::sound
