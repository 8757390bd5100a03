#pragma once
// What a PulseAudio stream of either direction holds: the fixed header FIFO, the header
// bookkeeping and the stream helpers both directions use. Private to the pulse_*.cpp files.
//
// Threads: a stream's members on the mainloop thread (its callbacks) or with the connection's
// lock held; so are the helpers below.

#include <pulse/pulseaudio.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "sound/pulse_connection.h"
#include "sound/wave_service.h"

namespace bandscope::sound::pulse_detail {

// Validates a PCM format and turns it into a sample spec.
bool sampleSpecOf(const WaveFormat& format, pa_sample_spec& spec);

// Buffer metrics left to the server; each direction sets the ones it fixes.
pa_buffer_attr serverBufferAttr();
// With the lock held: the result of pa_stream_connect_* and then the wait until the stream is
// ready, as 0 or a libpulse error. The player's stream only: the record stream does not wait.
int connectedLocked(PulseConnection& connection, pa_stream* s, int connectResult, int timeoutMs);
// Detaches our callbacks from a stream and lets it go; with the lock held.
void releaseStreamLocked(pa_stream*& stream);
// Asks the server to cork (or uncork) a ready stream, and to flush it; no wait for the answer.
void corkLocked(pa_stream* stream, bool corked);
void flushLocked(pa_stream* stream);

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
inline WaveHeader* headerOf(WaveHeader* header) {
  return header;
}
inline WaveHeader* headerOf(const Pending& pending) {
  return pending.header;
}

// The callback messages of one direction.
struct Messages {
  unsigned open, done, close;
};
inline constexpr Messages kInputMessages{WIM_OPEN, WIM_DATA, WIM_CLOSE};
inline constexpr Messages kOutputMessages{WOM_OPEN, WOM_DONE, WOM_CLOSE};

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
  PulseDevice entry;  // the list entry it was opened on; an empty name for the default
  Fifo<Entry, Capacity> fifo;
  bool opened = false;   // the open notification went out: failures are reported from here on
  bool ready = false;    // the stream has been ready
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

  // The state callback's common part: notes readiness and wakes a waiting open; true when
  // the stream has just failed after the open (failure is then set and the caller reports
  // it). One that never became ready was refused by the server: why, as open would say it.
  bool failedNow(pa_stream* s) {
    const pa_stream_state_t state = pa_stream_get_state(s);
    if (state == PA_STREAM_READY) ready = true;
    connection->signal();
    if (PA_STREAM_IS_GOOD(state) || !opened || failure != 0) return false;
    pa_context* context = pa_stream_get_context(s);
    failure = ready ? contextError(context) : streamOpenError(pa_context_errno(context));
    return true;
  }

  void reportFailure() { callback(handle, WAVE_DEVICE_FAILED, instance, nullptr, failure); }

  // A failure found by us rather than by the server; reported once.
  void fail(MMResult why) {
    if (!opened || failure != 0) return;
    failure = why;
    reportFailure();
  }

  void release() { releaseStreamLocked(stream); }
};

}  // namespace bandscope::sound::pulse_detail
