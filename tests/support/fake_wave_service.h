#pragma once
// Scripted wave services for the audio component's tests: they keep the headers handed
// over in order and return them with chosen byte counts when the test says so, either on
// the calling thread (deliver) or on a thread of their own (startFeeder). Every operation
// is logged by name and can be made to fail with a chosen code.
//
// Threads: the operations and deliver on the test's thread; the feeder thread only fills
// queued headers and calls the callback.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sound/wave_service.h"

namespace bandscope::test {

using sound::MMResult;
using sound::WaveHandle;
using sound::WaveHeader;

// Shared by the input and output fakes: script, log and the queue of handed-over headers.
class FakeDevice {
 public:
  unsigned devices = 1;
  // Operation name -> code it returns instead of succeeding. "addBuffer" fails from the
  // failAddBufferAfter-th call on (0: the first).
  std::map<std::string, MMResult> failures;
  int failAddBufferAfter = 0;
  // Text for each code; codes without one have no text.
  std::map<MMResult, std::string> texts;
  std::uint32_t resetBytes = 0;  // bytes the reset reports for each returned header

  std::vector<std::string> log() const;
  std::string textFor(MMResult code) const;
  std::size_t queued() const;
  bool isOpen() const;
  int openedDevice() const { return openedDevice_; }
  const sound::WaveFormat& openedFormat() const { return format_; }

 protected:
  MMResult check(const std::string& operation);
  MMResult doOpen(WaveHandle& handle, int deviceId, const sound::WaveFormat& format,
                  sound::WaveCallback callback, void* instance, unsigned openMessage);
  MMResult doQueue(WaveHandle handle, WaveHeader& header, const std::string& operation);
  MMResult doReset(WaveHandle handle, unsigned doneMessage);
  MMResult doClose(WaveHandle handle, unsigned closeMessage);
  MMResult doPrepare(WaveHandle handle, WaveHeader& header, bool prepare);
  // Takes the oldest queued header; false when none.
  bool take(WaveHeader*& header);
  void notify(unsigned message, WaveHeader* header, std::uintptr_t param = 0);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> log_;
  std::deque<WaveHeader*> queue_;
  int addCalls_ = 0;
  bool open_ = false;
  int openedDevice_ = -2;
  sound::WaveFormat format_{};
  sound::WaveCallback callback_ = nullptr;
  void* instance_ = nullptr;
  WaveHandle handle_ = 0;
};

class FakeWaveIn final : public sound::WaveInService, public FakeDevice {
 public:
  ~FakeWaveIn() override;
  // A sound server's sources: names (when given) or "Fake input N" for each of devices,
  // none while the server is down.
  unsigned numDevs() override {
    if (!serverUp) return 0;
    return names.empty() ? devices : static_cast<unsigned>(names.size());
  }
  std::string deviceDescription(unsigned id) override {
    if (id < descriptions.size()) return descriptions[id];
    return names.empty() ? "Fake input " + std::to_string(id) : "Fake " + deviceName(id);
  }
  std::string deviceDetail(unsigned id) override { return id < details.size() ? details[id] : ""; }
  std::string deviceName(unsigned id) override {
    if (id >= numDevs()) return {};
    return names.empty() ? deviceDescription(id) : names[id];
  }
  bool refresh() override { return serverUp; }
  bool takeDevicesChanged() override { return std::exchange(changed, false); }
  bool listPending() override { return pending; }
  MMResult open(WaveHandle& handle, int deviceId, const sound::WaveFormat& format,
                sound::WaveCallback callback, void* instance) override {
    if (deviceId >= static_cast<int>(numDevs())) return sound::MMSYSERR_BADDEVICEID;
    return doOpen(handle, deviceId, format, callback, instance, sound::WIM_OPEN);
  }
  // The opened device's name.
  std::string openedName() { return deviceName(static_cast<unsigned>(openedDevice())); }

  std::vector<std::string> names;
  std::vector<std::string> descriptions;  // where given, instead of "Fake <name>"
  std::vector<std::string> details;
  bool serverUp = true;
  bool changed = false;
  bool pending = false;  // the server has not answered yet
  MMResult prepareHeader(WaveHandle h, WaveHeader& header) override {
    return doPrepare(h, header, true);
  }
  MMResult addBuffer(WaveHandle h, WaveHeader& header) override {
    return doQueue(h, header, "addBuffer");
  }
  MMResult start(WaveHandle handle) override;
  MMResult reset(WaveHandle h) override { return doReset(h, sound::WIM_DATA); }
  MMResult unprepareHeader(WaveHandle h, WaveHeader& header) override {
    return doPrepare(h, header, false);
  }
  MMResult close(WaveHandle h) override { return doClose(h, sound::WIM_CLOSE); }
  std::string errorText(MMResult code) override { return textFor(code); }

  // Fills the oldest queued header with bytes (count = bytes.size()) and returns it through
  // the callback on this thread. False when no header is queued.
  bool deliver(const std::vector<std::uint8_t>& bytes);
  // Reports a device failure with code through the callback on this thread.
  void fail(MMResult code);
  // A thread of its own returns `blocks` headers as they are queued, each filled by fill
  // (block number, data, capacity) -> bytes recorded.
  void startFeeder(int blocks,
                   std::function<std::uint32_t(int, std::uint8_t*, std::uint32_t)> fill);
  void joinFeeder();

 private:
  std::thread feeder_;
  bool stopFeeder_ = false;
};

class FakeWaveOut final : public sound::WaveOutService, public FakeDevice {
 public:
  unsigned numDevs() override { return devices; }
  MMResult open(WaveHandle& handle, int deviceId, const sound::WaveFormat& format,
                sound::WaveCallback callback, void* instance) override {
    return doOpen(handle, deviceId, format, callback, instance, sound::WOM_OPEN);
  }
  MMResult prepareHeader(WaveHandle h, WaveHeader& header) override {
    return doPrepare(h, header, true);
  }
  MMResult write(WaveHandle h, WaveHeader& header) override { return doQueue(h, header, "write"); }
  MMResult reset(WaveHandle h) override { return doReset(h, sound::WOM_DONE); }
  MMResult unprepareHeader(WaveHandle h, WaveHeader& header) override {
    return doPrepare(h, header, false);
  }
  MMResult close(WaveHandle h) override { return doClose(h, sound::WOM_CLOSE); }
  std::string errorText(MMResult code) override { return textFor(code); }

  // Returns the oldest written header as played (WOM_DONE); false when none is queued.
  bool playOne();
  std::vector<std::uint8_t> played;  // every byte of every header played, in order
};

}  // namespace bandscope::test
