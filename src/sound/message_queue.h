#pragma once
// Moves work onto the UI thread: hidden message windows and posted messages.
//
// A window is a MessageTarget registered with the queue; post() may be called from any thread
// and neither allocates nor blocks (a fixed lock-free ring), so a capture callback can use it.
// Messages run on the UI thread in posting order when the queue is dispatched. A destroyed
// window's pending messages are dropped, like those of a destroyed platform window.
//
// Threads: createWindow, destroyWindow, send and dispatchPending on the UI thread only;
// post from any thread.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace bandscope::sound {

class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual void handleMessage(unsigned message, std::uintptr_t param1, std::uintptr_t param2) = 0;
};

using WindowHandle = std::uint32_t;  // 0 = none

class MessageQueue {
 public:
  static constexpr std::size_t kCapacity = 256;  // pending messages
  static constexpr std::size_t kWindows = 64;

  MessageQueue();
  virtual ~MessageQueue() = default;
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // 0 when every window slot is taken.
  WindowHandle createWindow(MessageTarget& target);
  void destroyWindow(WindowHandle window);

  // False when the ring is full (the message is lost) or window is 0.
  bool post(WindowHandle window, unsigned message, std::uintptr_t param1 = 0,
            std::uintptr_t param2 = 0);
  // Runs the window's handler now, on the calling (UI) thread.
  void send(WindowHandle window, unsigned message, std::uintptr_t param1 = 0,
            std::uintptr_t param2 = 0);
  // Runs every message posted before the call (and those posted while it runs); returns the
  // number handled.
  std::size_t dispatchPending();

 protected:
  // Called after each successful post, on the posting thread: wake the UI thread.
  virtual void wake() {}

 private:
  struct Cell {
    std::atomic<std::size_t> sequence;
    WindowHandle window;
    unsigned message;
    std::uintptr_t param1, param2;
  };
  struct Window {
    MessageTarget* target = nullptr;
    std::uint16_t generation = 0;
  };
  MessageTarget* targetOf(WindowHandle window) const;

  std::array<Cell, kCapacity> cells_;
  alignas(64) std::atomic<std::size_t> enqueuePos_{0};
  alignas(64) std::atomic<std::size_t> dequeuePos_{0};
  std::array<Window, kWindows> windows_{};
};

}  // namespace bandscope::sound
