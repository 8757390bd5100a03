#include "app/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

namespace bandscope {

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel allows in one path
// A temporary is "." + the file's name (cut to this) + kTemporaryMark + random characters.
constexpr size_t kMaxNameInTemporary = 200;
constexpr std::string_view kTemporaryMark = ".tmp";
constexpr size_t kRandomCharacters = 6;
constexpr int kTemporaryAttempts = 100;

std::string errorText(int error) {
  return std::strerror(error);
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Target {
  std::string path;  // the final target's: no link
  bool exists = false;
  struct stat st {};
};

// Follows the chain of links at path to the name that is not a link. Empty, or why not.
std::string findFinalTarget(const std::string& path, Target& target) {
  std::string at = path;
  for (int hop = 0;; ++hop) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0) {
      if (errno != ENOENT) return errorText(errno);
      target = {at, false, {}};  // a new file, or one a dangling link names
      return {};
    }
    if (!S_ISLNK(st.st_mode)) {
      target = {at, true, st};
      return {};
    }
    if (hop == kMaxLinkHops) return errorText(ELOOP);
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(at.c_str(), link.data(), link.size());
    if (n < 0) return errorText(errno);
    if (static_cast<size_t>(n) == link.size()) return errorText(ENAMETOOLONG);
    link.resize(static_cast<size_t>(n));
    if (link.front() != '/') link.insert(0, folderOf(at) + '/');
    at = std::move(link);
  }
}

std::string whyFolderNotWritable(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return errorText(errno);
  if (!S_ISDIR(st.st_mode)) return errorText(ENOTDIR);
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return errorText(errno);
  return {};
}

// What a Replace write checks before it writes: the same refusals as at start-up.
std::string whyNotReplaceable(const Target& target) {
  if (target.exists) {
    if (std::string why = whyNotAFile(target.st.st_mode); !why.empty()) return why;
    // A read-only file stays, although its folder would let it be replaced.
    if (::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) return errorText(errno);
  }
  return whyFolderNotWritable(folderOf(target.path));
}

std::string temporaryPrefix(const std::string& name) {
  std::string prefix = ".";
  prefix.append(name, 0, std::min(name.size(), kMaxNameInTemporary));
  prefix += kTemporaryMark;
  return prefix;
}

constexpr std::string_view kRandomAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool isTemporaryName(const std::string& entry, const std::string& prefix) {
  if (entry.size() != prefix.size() + kRandomCharacters || entry.compare(0, prefix.size(), prefix))
    return false;
  return entry.find_first_not_of(kRandomAlphabet, prefix.size()) == std::string::npos;
}

struct Temporary {
  int fd = -1;
  std::string path;
};

// A new file of our own in the folder, never through a link; `mode` less the umask.
std::string createTemporary(const std::string& folder, const std::string& name, mode_t mode,
                            Temporary& temporary) {
  const std::string prefix = folder + '/' + temporaryPrefix(name);
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits))
      bits = static_cast<uint64_t>(std::time(nullptr)) * 2654435761u ^ ::getpid() ^ attempt;
    std::string path = prefix;
    for (size_t i = 0; i < kRandomCharacters; ++i, bits /= kRandomAlphabet.size())
      path += kRandomAlphabet[bits % kRandomAlphabet.size()];
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      temporary = {fd, std::move(path)};
      return {};
    }
    if (errno != EEXIST) return errorText(errno);
  }
  return errorText(EEXIST);
}

std::string writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errorText(errno);
    if (n == 0) return errorText(EIO);
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

// Writes, flushes and closes the temporary; a replaced file's mode and owner carry over.
std::string fillTemporary(Temporary& temporary, std::string_view bytes, const Target& replaced) {
  std::string why = writeAll(temporary.fd, bytes);
  if (why.empty() && replaced.exists) {
    if (::fchmod(temporary.fd, replaced.st.st_mode & 0777) != 0) why = errorText(errno);
    // Where we may (root, or a group we are in); else the file is ours, as any new one.
    if (replaced.st.st_uid != ::geteuid() || replaced.st.st_gid != ::getegid())
      (void)::fchown(temporary.fd, replaced.st.st_uid, replaced.st.st_gid);
  }
  if (why.empty() && ::fsync(temporary.fd) != 0) why = errorText(errno);
  if (::close(std::exchange(temporary.fd, -1)) != 0 && why.empty()) why = errorText(errno);
  return why;
}

// Places the complete temporary at path, where nothing may be.
std::string placeNew(const std::string& temporary, const std::string& path) {
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
    return {};
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errorText(errno);
  // A file system without RENAME_NOREPLACE: link() does not replace either.
  if (::link(temporary.c_str(), path.c_str()) != 0) return errorText(errno);
  ::unlink(temporary.c_str());
  return {};
}

std::string placeOver(const std::string& temporary, const std::string& path) {
  return ::rename(temporary.c_str(), path.c_str()) == 0 ? std::string() : errorText(errno);
}

// The rename itself reaches the disk too; failing that the file is still complete.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string whyNotAFile(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return "it is a folder";
  if (S_ISCHR(mode)) return "it is a character device";
  if (S_ISBLK(mode)) return "it is a block device";
  if (S_ISFIFO(mode)) return "it is a named pipe";
  if (S_ISSOCK(mode)) return "it is a socket";
  return "it is not a regular file";
}

std::string whyNotWritable(const std::string& path) {
  Target target;
  if (std::string why = findFinalTarget(path, target); !why.empty()) return why;
  return whyNotReplaceable(target);
}

std::string writeFileSafely(const std::string& path, std::string_view bytes, WriteMode mode) {
  Target target;
  if (mode == WriteMode::Replace) {
    if (std::string why = findFinalTarget(path, target); !why.empty()) return why;
    if (std::string why = whyNotReplaceable(target); !why.empty()) return why;
  } else {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return errorText(EEXIST);
    if (errno != ENOENT) return errorText(errno);
    target.path = path;
  }
  const std::string folder = folderOf(target.path);
  Temporary temporary;
  // A replaced file's mode is set once it is written; a new one is made with the umask's.
  const mode_t createMode = target.exists ? 0600 : 0666;
  if (std::string why = createTemporary(folder, nameOf(target.path), createMode, temporary);
      !why.empty())
    return why;
  std::string why = fillTemporary(temporary, bytes, target);
  if (why.empty()) {
    why = mode == WriteMode::CreateNew ? placeNew(temporary.path, target.path)
                                       : placeOver(temporary.path, target.path);
  }
  if (!why.empty()) {
    ::unlink(temporary.path.c_str());
    return why;
  }
  syncFolder(folder);
  return {};
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void removeStaleTemporaries(const std::string& path, std::chrono::seconds age) {
  Target target;
  if (!findFinalTarget(path, target).empty()) return;
  const std::string prefix = temporaryPrefix(nameOf(target.path));
  DIR* folder = ::opendir(folderOf(target.path).c_str());
  if (!folder) return;
  const time_t before = std::time(nullptr) - static_cast<time_t>(age.count());
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (!isTemporaryName(name, prefix)) continue;
    struct stat st {};
    if (::fstatat(::dirfd(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_mtime < before)
      ::unlinkat(::dirfd(folder), name.c_str(), 0);
  }
  ::closedir(folder);
}

}  // namespace bandscope
