#include "sound/paced_wave_input.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <system_error>

namespace bandscope::sound {

using Clock = std::chrono::steady_clock;

PacedWaveInput::~PacedWaveInput() {
  stopThread();
}

MMResult PacedWaveInput::open(WaveHandle& handle, int deviceId, const WaveFormat& format,
                              WaveCallback callback, void* instance) {
  if (deviceId != 0 && deviceId != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
  if (open_) return MMSYSERR_ALLOCATED;
  if (format.formatTag != 1 || format.blockAlign == 0 || format.samplesPerSec == 0)
    return WAVERR_BADFORMAT;
  if (const MMResult r = acceptFormat(format); r != MMSYSERR_NOERROR) return r;
  format_ = format;
  callback_ = callback;
  instance_ = instance;
  head_ = count_ = 0;
  lastLength_ = 0;
  rewind();
  if (++lastHandle_ == 0) ++lastHandle_;  // a stale handle of an earlier open stays invalid
  handle_ = handle = lastHandle_;
  open_ = true;
  notify(WIM_OPEN, nullptr);
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::prepareHeader(WaveHandle handle, WaveHeader& header) {
  if (!valid(handle)) return MMSYSERR_INVALHANDLE;
  if (!header.data || header.bufferLength < format_.blockAlign) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  if (header.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header.flags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::addBuffer(WaveHandle handle, WaveHeader& header) {
  if (!valid(handle)) return MMSYSERR_INVALHANDLE;
  if (!header.data || header.bufferLength < format_.blockAlign) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(mutex_);
  if (!(header.flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (header.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  if (count_ == kQueueCapacity) return MMSYSERR_NOMEM;
  header.flags = (header.flags & ~WHDR_DONE) | WHDR_INQUEUE;
  header.bytesRecorded = 0;
  queue_[(head_ + count_++) % kQueueCapacity] = &header;
  lastLength_ = header.bufferLength;
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::start(WaveHandle handle) {
  if (!valid(handle)) return MMSYSERR_INVALHANDLE;
  if (started_) return MMSYSERR_NOERROR;
  if (paced_) {
    stopping_ = false;  // no thread runs yet
    try {
      thread_ = std::thread(&PacedWaveInput::run, this);
    } catch (const std::system_error&) {
      return MMSYSERR_NOMEM;
    }
  }
  started_ = true;
  return MMSYSERR_NOERROR;
}

void PacedWaveInput::stopThread() {
  started_ = false;
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

MMResult PacedWaveInput::reset(WaveHandle handle) {
  if (!valid(handle)) return MMSYSERR_INVALHANDLE;
  stopThread();  // a buffer being returned comes back before the queued ones
  // No other thread touches the queue now.
  while (count_ != 0) notify(WIM_DATA, pop(0));
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::unprepareHeader(WaveHandle handle, WaveHeader& header) {
  if (!valid(handle)) return MMSYSERR_INVALHANDLE;
  std::lock_guard lock(mutex_);
  if (header.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header.flags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::close(WaveHandle handle) {
  if (!valid(handle)) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard lock(mutex_);
    if (count_ != 0) return WAVERR_STILLPLAYING;
  }
  stopThread();
  notify(WIM_CLOSE, nullptr);
  open_ = false;
  handle_ = 0;
  return MMSYSERR_NOERROR;
}

bool PacedWaveInput::deliverOne() {
  // Unpaced, no other thread touches the queue.
  if (!open_ || !started_ || paced_ || count_ == 0) return false;
  WaveHeader* const header = queue_[head_];
  pop(produce(header->data, header->bufferLength - header->bufferLength % format_.blockAlign));
  notify(WIM_DATA, header);
  return true;
}

void PacedWaveInput::notify(unsigned message, WaveHeader* header) {
  if (callback_) callback_(handle_, message, instance_, header, 0);
}

WaveHeader* PacedWaveInput::pop(std::uint32_t bytes) {
  WaveHeader* header = queue_[head_];
  head_ = (head_ + 1) % kQueueCapacity;
  --count_;
  header->bytesRecorded = bytes;
  header->flags = (header->flags & ~WHDR_INQUEUE) | WHDR_DONE;
  return header;
}

std::uint32_t PacedWaveInput::skip(std::uint32_t length) {
  const auto chunk =
      static_cast<std::uint32_t>(scratch_.size() - scratch_.size() % format_.blockAlign);
  std::uint32_t total = 0;
  while (total < length) {
    const std::uint32_t want = std::min(chunk, length - total);
    const std::uint32_t got = produce(scratch_.data(), want);
    total += got;
    if (got < want) break;  // the block ended early
  }
  return total;
}

void PacedWaveInput::run() {
  pthread_setname_np(pthread_self(), "paced input");
  const std::uint32_t rate = format_.samplesPerSec, frame = format_.blockAlign;
  auto origin = Clock::now();
  std::uint64_t frames = 0;  // scheduled since origin
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    WaveHeader* const header = count_ != 0 ? queue_[head_] : nullptr;
    std::uint32_t length = header        ? header->bufferLength
                           : lastLength_ ? lastLength_
                                         : kDefaultBlockBytes;
    length -= length % frame;
    lock.unlock();
    // A queued header is this device's until it returns it: only reset takes others, and
    // reset joins this thread first.
    const std::uint32_t bytes = header ? produce(header->data, length) : skip(length);
    frames += bytes / frame;
    // Whole seconds move into the origin, which keeps the count small; both stay exact.
    origin += std::chrono::seconds(frames / rate);
    frames %= rate;
    auto due = origin + std::chrono::nanoseconds(frames * 1'000'000'000 / rate);
    if (const auto now = Clock::now(); due < now - std::chrono::milliseconds(100)) {
      origin = due = now;
      frames = 0;
    }
    lock.lock();
    if (wake_.wait_until(lock, due, [this] { return stopping_; })) return;
    if (!header) continue;
    pop(bytes);
    lock.unlock();
    notify(WIM_DATA, header);
    lock.lock();
  }
}

}  // namespace bandscope::sound
