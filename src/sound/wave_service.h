#pragma once
// The wave-input and wave-output services the audio component records and plays through.
//
// A service fills (input) or plays (output) caller-provided buffers strictly in the order they
// were handed over and reports each returned buffer through the callback given to open. The
// model is the classic one of ring buffers lent to a driver:
//   open -> prepareHeader x N -> addBuffer/write ... -> start -> ... -> reset -> unprepare -> close
//
// Threads:
// - Every operation is called on the UI thread, never from inside the callback.
// - No input operation waits for a server: what a server has to answer comes later, through
//   the callback (a device that cannot be opened after all fails with DeviceFailed) or through
//   takeDevicesChanged. (The PulseAudio output, which the program does not play through,
//   still waits for its stream; see pulse_wave.h.)
// - The callback's Open and Close notifications arrive synchronously inside open and close, on
//   the caller's thread. Data/Done notifications, and DeviceFailed, arrive on a thread of the
//   service's own. reset returns every header still held through the callback (flagged done,
//   with the bytes filled so far) before it returns; after reset or close returns no
//   notification for that handle is in flight any more.
// - The callback must not call the service, must not allocate and must not wait for the UI
//   thread; it may post to a MessageQueue.

#include <cstdint>
#include <string>

namespace bandscope::sound {

// Result of every operation: 0 is success.
using MMResult = std::uint32_t;
inline constexpr MMResult MMSYSERR_NOERROR = 0;
inline constexpr MMResult MMSYSERR_ERROR = 1;        // unspecified failure
inline constexpr MMResult MMSYSERR_BADDEVICEID = 2;  // no such device
inline constexpr MMResult MMSYSERR_ALLOCATED = 4;    // device already in use
inline constexpr MMResult MMSYSERR_INVALHANDLE = 5;  // not an open handle
inline constexpr MMResult MMSYSERR_NODRIVER = 6;     // the sound service cannot be reached
inline constexpr MMResult MMSYSERR_NOMEM = 7;
inline constexpr MMResult MMSYSERR_INVALPARAM = 11;
inline constexpr MMResult WAVERR_BADFORMAT = 32;     // format not supported by the device
inline constexpr MMResult WAVERR_STILLPLAYING = 33;  // header still held by the device
inline constexpr MMResult WAVERR_UNPREPARED = 34;    // header not prepared
// Ours: the device now stands for another one (the default output changed, the application
// plays a new stream); opening it again follows.
inline constexpr MMResult WAVE_DEVICE_MOVED = 40;
// Codes from here on belong to one service, whose errorText explains them.
inline constexpr MMResult SERVICE_ERROR_BASE = 1000;

// Text for the generic codes above; empty for codes it does not know.
std::string genericErrorText(MMResult code);

using WaveHandle = std::uintptr_t;      // 0 = none
inline constexpr int WAVE_MAPPER = -1;  // the service's default device

// Callback messages. Input: WIM_*; output: WOM_*.
inline constexpr unsigned WOM_OPEN = 955;
inline constexpr unsigned WOM_CLOSE = 956;
inline constexpr unsigned WOM_DONE = 957;
inline constexpr unsigned WIM_OPEN = 958;
inline constexpr unsigned WIM_CLOSE = 959;
inline constexpr unsigned WIM_DATA = 960;
// Ours: the device stopped for good (server gone, file unreadable); param is the MMResult.
inline constexpr unsigned WAVE_DEVICE_FAILED = 990;

// Header flags.
inline constexpr std::uint32_t WHDR_DONE = 0x1;
inline constexpr std::uint32_t WHDR_PREPARED = 0x2;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// One buffer lent to the service. bytesRecorded is written by an input service before it
// returns the header; an output service plays bufferLength bytes.
struct WaveHeader {
  std::uint8_t* data = nullptr;
  std::uint32_t bufferLength = 0;
  std::uint32_t bytesRecorded = 0;
  std::uintptr_t user = 0;
  std::uint32_t flags = 0;
  std::uint32_t loops = 0;
  WaveHeader* next = nullptr;
  std::uintptr_t reserved = 0;
};

// PCM format record.
struct WaveFormat {
  std::uint16_t formatTag = 1;  // PCM
  std::uint16_t channels = 0;
  std::uint32_t samplesPerSec = 0;
  std::uint32_t avgBytesPerSec = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  std::uint16_t cbSize = 0;
};

// message: one of the messages above; header: the returned header for data/done, else null;
// param: the error code for WAVE_DEVICE_FAILED, else 0.
using WaveCallback = void (*)(WaveHandle handle, unsigned message, void* instance,
                              WaveHeader* header, std::uintptr_t param);

class WaveInService {
 public:
  virtual ~WaveInService() = default;
  virtual unsigned numDevs() = 0;
  // Human-readable name of device id (0 .. numDevs - 1) for the device list's tooltips.
  virtual std::string deviceDescription(unsigned id) = 0;
  // The device's own name, which stays when the list around it changes (a sound server's
  // source name); the description where there is nothing better. Empty for no such device.
  virtual std::string deviceName(unsigned id) { return deviceDescription(id); }
  // What tells device id from another of the same description (its port, or its card);
  // empty where nothing does.
  virtual std::string deviceDetail(unsigned) { return {}; }
  // Takes in the device list as the service knows it now and has it brought up to date (a
  // sound server's list is read in the background and taken in by a later refresh); never
  // waits. False when the service's server is not reached (yet).
  virtual bool refresh() { return true; }
  // True once after the service saw its devices change (added, removed, server gone or
  // back, or its first answer); set on the service's own thread, taken on the UI thread.
  // Allocation-free.
  virtual bool takeDevicesChanged() { return false; }
  // True while the list still waits for the service's first answer (a sound server not
  // connected yet), so it may be missing devices that are there; refresh ends the wait once
  // the answer came, whatever it was.
  virtual bool listPending() { return false; }
  virtual MMResult open(WaveHandle& handle, int deviceId, const WaveFormat& format,
                        WaveCallback callback, void* instance) = 0;
  virtual MMResult prepareHeader(WaveHandle handle, WaveHeader& header) = 0;
  virtual MMResult addBuffer(WaveHandle handle, WaveHeader& header) = 0;
  virtual MMResult start(WaveHandle handle) = 0;
  virtual MMResult reset(WaveHandle handle) = 0;
  virtual MMResult unprepareHeader(WaveHandle handle, WaveHeader& header) = 0;
  virtual MMResult close(WaveHandle handle) = 0;
  // Text for a code this service returned; empty when there is none.
  virtual std::string errorText(MMResult code) = 0;
  // For devices that deliver on request instead of in real time (a file read offline): fills
  // the oldest queued buffer and returns it through the callback on this thread. False when
  // nothing was delivered; devices that deliver on their own always return false.
  virtual bool deliverNext(WaveHandle /*handle*/) { return false; }
};

class WaveOutService {
 public:
  virtual ~WaveOutService() = default;
  virtual unsigned numDevs() = 0;
  virtual MMResult open(WaveHandle& handle, int deviceId, const WaveFormat& format,
                        WaveCallback callback, void* instance) = 0;
  virtual MMResult prepareHeader(WaveHandle handle, WaveHeader& header) = 0;
  virtual MMResult write(WaveHandle handle, WaveHeader& header) = 0;
  virtual MMResult reset(WaveHandle handle) = 0;
  virtual MMResult unprepareHeader(WaveHandle handle, WaveHeader& header) = 0;
  virtual MMResult close(WaveHandle handle) = 0;
  virtual std::string errorText(MMResult code) = 0;
};

}  // namespace bandscope::sound
