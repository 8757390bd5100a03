#pragma once
// Every file the program writes (the settings, screenshots, the CSV export), named by the
// bytes of its path: nothing decodes or re-encodes the name. A file is written whole or not
// at all: into a temporary in the target's folder, flushed, then renamed over the target, so
// a failed write leaves what was there byte for byte and no temporary behind. Only regular
// files are written: a device, a named pipe, a socket or a folder in the target's place is
// refused before anything is written. Any thread; one caller per file at a time.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>

#include "failure/failure.h"

namespace bandscope {

enum class WriteMode {
  // A name the user gave: a chain of links is followed to its final target, which is
  // replaced (keeping its mode; a new file gets 0666 less the umask) and the links kept.
  Replace,
  // A name the program proposed: nothing may be at it, not even a link, when the file is
  // placed; in a shared folder another user's link is not written through.
  CreateNew,
};

// Writes `bytes` as the whole file. On failure the target is as it was, and the Failure says
// why in the system's words ("it is a character device", "No space left on device").
Result<void> writeFileSafely(const std::string& path, std::string_view bytes,
                             WriteMode mode = WriteMode::Replace);

// Fails where writeFileSafely(path, ..., Replace) would be refused, checked before any work is
// done: a final target that is not a regular file or not writable, a folder that is missing or
// not writable. Creates and changes nothing.
Result<void> checkWritable(const std::string& path);

// Succeeds for a regular file's st_mode; else says what it is: "it is a character device".
Result<void> checkRegularFile(mode_t mode);

// True when both paths name the same existing file, links followed.
bool sameFile(const std::string& a, const std::string& b);

// Removes what writes killed on the way left next to the file (its final target): our own
// temporaries of it, owned by us and older than `age`.
void removeStaleTemporaries(const std::string& path, std::chrono::seconds age);

}  // namespace bandscope
