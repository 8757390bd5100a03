#pragma once
// The system limits that can starve the program (address space, data segment, open files),
// how much of each it uses, and the words that name one that ran out. Every function is
// async-signal-safe (no allocation, no locks, only system calls), so the start-up watchdog
// and the crash handlers may call them. Any thread.

#include <cstddef>
#include <cstdint>

namespace bandscope {

enum class Resource { AddressSpace, DataSegment, OpenFiles };

inline constexpr uint64_t kUnlimited = UINT64_MAX;

// The open files the program cannot start with fewer of: the X connection, the sound server's
// socket and memory, the GL driver, the event loops' wake-ups, a dialog, the mixer's pipes.
inline constexpr uint64_t kFilesNeeded = 64;

// A limit and the use of it, in kB of memory (the address space at its peak) or in open
// descriptors; limit kUnlimited where none is set.
struct ResourceUse {
  Resource resource = Resource::AddressSpace;
  uint64_t limit = kUnlimited;
  uint64_t used = 0;
};

// The current soft limit and this process's use.
ResourceUse measureUse(Resource resource);

// Tight enough to watch start-up for: any memory limit, an open-file limit under 256.
bool isRestrictive(const ResourceUse& use);

// So near its end that an allocation, a new thread or an open may have failed on it.
bool isNearItsEnd(const ResourceUse& use);

// The restrictive resource nearest its end; false where none is near it.
bool findExhausted(ResourceUse& found);

// "out of memory (address-space limit 1500 MB, 1490 MB used; ulimit -v 1500000)" or
// "too many open files (limit 64, 64 open; ulimit -n 64)" into `out`, cut to fit and
// terminated; returns its length.
size_t describeUse(const ResourceUse& use, char* out, size_t size);

}  // namespace bandscope
