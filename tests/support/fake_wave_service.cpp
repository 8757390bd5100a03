#include "support/fake_wave_service.h"

namespace bandscope::test {

using namespace sound;

std::vector<std::string> FakeDevice::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::size_t FakeDevice::queued() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

bool FakeDevice::isOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

std::string FakeDevice::textFor(MMResult code) const {
  const auto it = texts.find(code);
  return it == texts.end() ? std::string() : it->second;
}

MMResult FakeDevice::check(const std::string& operation) {
  std::lock_guard lock(mutex_);
  log_.push_back(operation);
  const auto it = failures.find(operation);
  if (it == failures.end()) return MMSYSERR_NOERROR;
  if (operation == "addBuffer" && addCalls_++ < failAddBufferAfter) return MMSYSERR_NOERROR;
  return it->second;
}

void FakeDevice::notify(unsigned message, WaveHeader* header, std::uintptr_t param) {
  callback_(handle_, message, instance_, header, param);
}

MMResult FakeDevice::doOpen(WaveHandle& handle, int deviceId, const WaveFormat& format,
                            WaveCallback callback, void* instance, unsigned openMessage) {
  if (const MMResult r = check("open")) return r;
  if (open_) return MMSYSERR_ALLOCATED;
  open_ = true;
  openedDevice_ = deviceId;
  format_ = format;
  callback_ = callback;
  instance_ = instance;
  handle = handle_ = 0x51;
  notify(openMessage, nullptr);
  return MMSYSERR_NOERROR;
}

MMResult FakeDevice::doPrepare(WaveHandle handle, WaveHeader& header, bool prepare) {
  if (const MMResult r = check(prepare ? "prepareHeader" : "unprepareHeader")) return r;
  if (!open_ || handle != handle_) return MMSYSERR_INVALHANDLE;
  std::lock_guard lock(mutex_);
  if (!prepare && (header.flags & WHDR_INQUEUE)) return WAVERR_STILLPLAYING;
  header.flags = prepare ? header.flags | WHDR_PREPARED : header.flags & ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMResult FakeDevice::doQueue(WaveHandle handle, WaveHeader& header, const std::string& operation) {
  if (const MMResult r = check(operation)) return r;
  if (!open_ || handle != handle_) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard lock(mutex_);
    if (!(header.flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    header.flags = (header.flags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(&header);
  }
  changed_.notify_all();
  return MMSYSERR_NOERROR;
}

bool FakeDevice::take(WaveHeader*& header) {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return false;
  header = queue_.front();
  queue_.pop_front();
  header->flags = (header->flags & ~WHDR_INQUEUE) | WHDR_DONE;
  return true;
}

MMResult FakeDevice::doReset(WaveHandle handle, unsigned doneMessage) {
  if (const MMResult r = check("reset")) return r;
  if (!open_ || handle != handle_) return MMSYSERR_INVALHANDLE;
  WaveHeader* header = nullptr;
  while (take(header)) {
    header->bytesRecorded = resetBytes;
    notify(doneMessage, header);
  }
  return MMSYSERR_NOERROR;
}

MMResult FakeDevice::doClose(WaveHandle handle, unsigned closeMessage) {
  if (const MMResult r = check("close")) return r;
  if (!open_ || handle != handle_) return MMSYSERR_INVALHANDLE;
  open_ = false;
  notify(closeMessage, nullptr);
  return MMSYSERR_NOERROR;
}

FakeWaveIn::~FakeWaveIn() {
  joinFeeder();
}

MMResult FakeWaveIn::start(WaveHandle handle) {
  if (const MMResult r = check("start")) return r;
  return open_ && handle == handle_ ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

bool FakeWaveIn::deliver(const std::vector<std::uint8_t>& bytes) {
  WaveHeader* header = nullptr;
  if (!take(header)) return false;
  std::copy(bytes.begin(), bytes.end(), header->data);
  header->bytesRecorded = static_cast<std::uint32_t>(bytes.size());
  notify(WIM_DATA, header);
  return true;
}

void FakeWaveIn::fail(MMResult code) {
  notify(WAVE_DEVICE_FAILED, nullptr, code);
}

void FakeWaveIn::startFeeder(int blocks,
                             std::function<std::uint32_t(int, std::uint8_t*, std::uint32_t)> fill) {
  stopFeeder_ = false;
  feeder_ = std::thread([this, blocks, fill = std::move(fill)] {
    for (int n = 0; n < blocks; ++n) {
      WaveHeader* header = nullptr;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stopFeeder_ || !queue_.empty(); });
        if (stopFeeder_) return;
        header = queue_.front();
        queue_.pop_front();
        header->flags = (header->flags & ~WHDR_INQUEUE) | WHDR_DONE;
      }
      header->bytesRecorded = fill(n, header->data, header->bufferLength);
      notify(WIM_DATA, header);
    }
  });
}

void FakeWaveIn::joinFeeder() {
  if (!feeder_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopFeeder_ = true;
  }
  changed_.notify_all();
  feeder_.join();
}

bool FakeWaveOut::playOne() {
  WaveHeader* header = nullptr;
  if (!take(header)) return false;
  played.insert(played.end(), header->data, header->data + header->bufferLength);
  notify(WOM_DONE, header);
  return true;
}

}  // namespace bandscope::test
