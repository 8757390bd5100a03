#include "sound/message_queue.h"

namespace bandscope::sound {

// A handle is the slot number + 1 in the low 16 bits and the slot's generation above, so a
// handle of a destroyed window never names the slot's next occupant.
namespace {
constexpr std::uint32_t slotOf(WindowHandle window) {
  return (window & 0xFFFFu) - 1;
}
constexpr std::uint16_t generationOf(WindowHandle window) {
  return static_cast<std::uint16_t>(window >> 16);
}
}  // namespace

MessageQueue::MessageQueue() {
  for (std::size_t i = 0; i < kCapacity; ++i)
    cells_[i].sequence.store(i, std::memory_order_relaxed);
}

WindowHandle MessageQueue::createWindow(MessageTarget& target) {
  for (std::uint32_t i = 0; i < kWindows; ++i) {
    Window& w = windows_[i];
    if (w.target) continue;
    w.target = &target;
    return (static_cast<WindowHandle>(w.generation) << 16) | (i + 1);
  }
  return 0;
}

void MessageQueue::destroyWindow(WindowHandle window) {
  if (!targetOf(window)) return;
  Window& w = windows_[slotOf(window)];
  w.target = nullptr;
  ++w.generation;
}

MessageTarget* MessageQueue::targetOf(WindowHandle window) const {
  if (window == 0 || slotOf(window) >= kWindows) return nullptr;
  const Window& w = windows_[slotOf(window)];
  return w.generation == generationOf(window) ? w.target : nullptr;
}

// Bounded multi-producer ring: a cell is free for the producer when its sequence equals the
// position, and ready for the consumer when it equals position + 1.
bool MessageQueue::post(WindowHandle window, unsigned message, std::uintptr_t param1,
                        std::uintptr_t param2) {
  if (window == 0) return false;
  std::size_t pos = enqueuePos_.load(std::memory_order_relaxed);
  for (;;) {
    Cell& cell = cells_[pos % kCapacity];
    const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
    const auto diff = static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos);
    if (diff == 0) {
      if (enqueuePos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
        cell.window = window;
        cell.message = message;
        cell.param1 = param1;
        cell.param2 = param2;
        cell.sequence.store(pos + 1, std::memory_order_release);
        wake();
        return true;
      }
    } else if (diff < 0) {
      return false;  // full
    } else {
      pos = enqueuePos_.load(std::memory_order_relaxed);
    }
  }
}

void MessageQueue::send(WindowHandle window, unsigned message, std::uintptr_t param1,
                        std::uintptr_t param2) {
  if (MessageTarget* target = targetOf(window)) target->handleMessage(message, param1, param2);
}

std::size_t MessageQueue::dispatchPending() {
  std::size_t handled = 0;
  for (;;) {
    const std::size_t pos = dequeuePos_.load(std::memory_order_relaxed);
    Cell& cell = cells_[pos % kCapacity];
    if (cell.sequence.load(std::memory_order_acquire) != pos + 1) return handled;
    const WindowHandle window = cell.window;
    const unsigned message = cell.message;
    const std::uintptr_t p1 = cell.param1, p2 = cell.param2;
    cell.sequence.store(pos + kCapacity, std::memory_order_release);
    dequeuePos_.store(pos + 1, std::memory_order_relaxed);
    // Looked up at dispatch time: a window destroyed since the post gets nothing.
    send(window, message, p1, p2);
    ++handled;
  }
}

}  // namespace bandscope::sound
