#include "block_ring.h"

#include <algorithm>
#include <cstring>

namespace bandscope {

namespace {
constexpr uint64_t kReading = 1;  // head_'s low bit: the consumer holds the oldest block
}

BlockRing::BlockRing() : slots_(std::make_unique<Slot[]>(kSlots)) {}

bool BlockRing::makeRoom(uint64_t tail, int need) {
  uint64_t head = head_.load(std::memory_order_acquire);
  while (tail + static_cast<uint64_t>(need) - (head >> 1) > kSlots) {
    if (head & kReading) return false;
    const uint64_t oldest = head >> 1;  // a block this thread wrote: its slot count is stable
    const uint64_t next = oldest + slots_[oldest % kSlots].blockSlots;
    if (head_.compare_exchange_weak(head, next << 1, std::memory_order_acq_rel,
                                    std::memory_order_acquire)) {
      head = next << 1;
      dropped_.fetch_add(1, std::memory_order_relaxed);
    }
  }
  return true;
}

bool BlockRing::push(const uint8_t* left, const uint8_t* right, uint16_t bytes) {
  if (bytes == 0) return true;
  const int need = (bytes + kSlotBytes - 1) / kSlotBytes;
  uint64_t tail = tail_.load(std::memory_order_relaxed);  // this thread's own
  if (tail % kSlots != 0) {  // an empty ring, not being read, starts again at its first slot
    uint64_t empty = tail << 1;
    const uint64_t first = (tail / kSlots + 1) * kSlots;
    if (head_.compare_exchange_strong(empty, first << 1, std::memory_order_acq_rel,
                                      std::memory_order_relaxed))
      tail = first;
  }
  if (!makeRoom(tail, need)) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  for (int k = 0, done = 0; k < need; ++k, done += kSlotBytes) {
    Slot& s = slots_[(tail + static_cast<uint64_t>(k)) % kSlots];
    s.bytes = static_cast<uint16_t>(std::min(kSlotBytes, bytes - done));
    s.blockSlots = static_cast<uint16_t>(need - k);
    std::memcpy(s.left, left + done, s.bytes);
    std::memcpy(s.right, right + done, s.bytes);
  }
  tail_.store(tail + static_cast<uint64_t>(need), std::memory_order_release);
  return true;
}

bool BlockRing::claim(uint64_t end, uint64_t& first) {
  uint64_t head = head_.load(std::memory_order_acquire);
  do {  // the low bit is clear here: only this thread sets it
    first = head >> 1;
    if (first >= end) return false;
  } while (!head_.compare_exchange_weak(head, head | kReading, std::memory_order_acq_rel,
                                        std::memory_order_acquire));
  return true;
}

void BlockRing::release(uint64_t next) {
  head_.store(next << 1, std::memory_order_release);
}

void BlockRing::discard() {
  drain([](const uint8_t*, const uint8_t*, uint16_t) {});
}

}  // namespace bandscope
