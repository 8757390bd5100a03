#include "platform/paced_wave_input.h"

namespace bandscope::platform {

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
  open_ = true;
  head_ = count_ = 0;
  handle = kHandle;
  callback_(kHandle, WIM_OPEN, instance_, nullptr, 0);
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::prepareHeader(WaveHandle handle, WaveHeader& header) {
  if (!open_ || handle != kHandle) return MMSYSERR_INVALHANDLE;
  header.flags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::addBuffer(WaveHandle handle, WaveHeader& header) {
  if (!open_ || handle != kHandle) return MMSYSERR_INVALHANDLE;
  if (!(header.flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  {
    std::lock_guard lock(mutex_);
    if (count_ == kQueue) return MMSYSERR_NOMEM;
    header.flags = (header.flags & ~WHDR_DONE) | WHDR_INQUEUE;
    header.bytesRecorded = 0;
    queue_[(head_ + count_++) % kQueue] = &header;
  }
  wakeUp_.notify_one();
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::start(WaveHandle handle) {
  if (!open_ || handle != kHandle) return MMSYSERR_INVALHANDLE;
  if (thread_.joinable()) return MMSYSERR_NOERROR;
  stopping_ = false;
  thread_ = std::thread([this] { run(); });
  return MMSYSERR_NOERROR;
}

void PacedWaveInput::stopThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wakeUp_.notify_all();
  thread_.join();
}

bool PacedWaveInput::popFront(WaveHeader*& header) {
  std::lock_guard lock(mutex_);
  if (count_ == 0) return false;
  header = queue_[head_];
  head_ = (head_ + 1) % kQueue;
  --count_;
  header->flags = (header->flags & ~WHDR_INQUEUE) | WHDR_DONE;
  return true;
}

MMResult PacedWaveInput::reset(WaveHandle handle) {
  if (!open_ || handle != kHandle) return MMSYSERR_INVALHANDLE;
  stopThread();
  WaveHeader* header = nullptr;
  while (popFront(header)) callback_(kHandle, WIM_DATA, instance_, header, 0);
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::unprepareHeader(WaveHandle handle, WaveHeader& header) {
  if (!open_ || handle != kHandle) return MMSYSERR_INVALHANDLE;
  if (header.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header.flags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMResult PacedWaveInput::close(WaveHandle handle) {
  if (!open_ || handle != kHandle) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard lock(mutex_);
    if (count_ != 0) return WAVERR_STILLPLAYING;
  }
  stopThread();
  open_ = false;
  callback_(kHandle, WIM_CLOSE, instance_, nullptr, 0);
  return MMSYSERR_NOERROR;
}

void PacedWaveInput::run() {
  const double rate = format_.samplesPerSec;
  Clock::time_point due = Clock::now();
  std::unique_lock lock(mutex_);
  for (;;) {
    if (count_ == 0) {
      wakeUp_.wait(lock, [this] { return stopping_ || count_ != 0; });
      due = Clock::now();  // a pause: the schedule restarts from now
    }
    if (stopping_) return;
    WaveHeader* header = queue_[head_];
    lock.unlock();
    // The header stays queued (and owned by this device) while it is filled.
    const std::uint32_t bytes = produce(header->data, header->bufferLength);
    const auto frames = bytes / format_.blockAlign;
    due +=
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frames / rate));
    const auto now = Clock::now();
    if (due < now - std::chrono::milliseconds(100)) due = now;  // fell behind: no burst
    lock.lock();
    if (wakeUp_.wait_until(lock, due, [this] { return stopping_; })) return;
    header->bytesRecorded = bytes;
    head_ = (head_ + 1) % kQueue;
    --count_;
    header->flags = (header->flags & ~WHDR_INQUEUE) | WHDR_DONE;
    lock.unlock();
    callback_(kHandle, WIM_DATA, instance_, header, 0);
    lock.lock();
  }
}

}  // namespace bandscope::platform
