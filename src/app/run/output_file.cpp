#include "app/run/output_file.h"

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

// Follows the chain of links at path to the name that is not a link.
Result<Target> findFinalTarget(const std::string& path) {
  std::string at = path;
  for (int hop = 0;; ++hop) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0) {
      if (errno != ENOENT) return systemFailure(errno);
      return Target{at, false, {}};  // a new file, or one a dangling link names
    }
    if (!S_ISLNK(st.st_mode)) return Target{at, true, st};
    if (hop == kMaxLinkHops) return systemFailure(ELOOP);
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(at.c_str(), link.data(), link.size());
    if (n < 0) return systemFailure(errno);
    if (static_cast<size_t>(n) == link.size()) return systemFailure(ENAMETOOLONG);
    link.resize(static_cast<size_t>(n));
    if (link.front() != '/') link.insert(0, folderOf(at) + '/');
    at = std::move(link);
  }
}

Result<void> checkFolderWritable(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return systemFailure(errno);
  if (!S_ISDIR(st.st_mode)) return systemFailure(ENOTDIR);
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return systemFailure(errno);
  return {};
}

// What a Replace write checks before it writes: the same refusals as at start-up.
Result<void> checkReplaceable(const Target& target) {
  if (target.exists) {
    if (Result<void> file = checkRegularFile(target.st.st_mode); !file) return file;
    // A read-only file stays, although its folder would let it be replaced.
    if (::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0)
      return systemFailure(errno);
  }
  return checkFolderWritable(folderOf(target.path));
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
Result<Temporary> createTemporary(const std::string& folder, const std::string& name, mode_t mode) {
  const std::string prefix = folder + '/' + temporaryPrefix(name);
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits))
      bits = static_cast<uint64_t>(std::time(nullptr)) * 2654435761u ^ ::getpid() ^ attempt;
    std::string path = prefix;
    for (size_t i = 0; i < kRandomCharacters; ++i, bits /= kRandomAlphabet.size())
      path += kRandomAlphabet[bits % kRandomAlphabet.size()];
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) return Temporary{fd, std::move(path)};
    if (errno != EEXIST) return systemFailure(errno);
  }
  return systemFailure(EEXIST);
}

Result<void> writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return systemFailure(errno);
    if (n == 0) return systemFailure(EIO);
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

// Writes, flushes and closes the temporary; a replaced file's mode and owner carry over.
Result<void> fillTemporary(Temporary& temporary, std::string_view bytes, const Target& replaced) {
  Result<void> done = writeAll(temporary.fd, bytes);
  if (done && replaced.exists) {
    if (::fchmod(temporary.fd, replaced.st.st_mode & 0777) != 0) done = systemFailure(errno);
    // Where we may (root, or a group we are in); else the file is ours, as any new one.
    if (replaced.st.st_uid != ::geteuid() || replaced.st.st_gid != ::getegid())
      (void)::fchown(temporary.fd, replaced.st.st_uid, replaced.st.st_gid);
  }
  if (done && ::fsync(temporary.fd) != 0) done = systemFailure(errno);
  if (::close(std::exchange(temporary.fd, -1)) != 0 && done) done = systemFailure(errno);
  return done;
}

// Places the complete temporary at path, where nothing may be.
Result<void> placeNew(const std::string& temporary, const std::string& path) {
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
    return {};
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return systemFailure(errno);
  // A file system without RENAME_NOREPLACE: link() does not replace either.
  if (::link(temporary.c_str(), path.c_str()) != 0) return systemFailure(errno);
  ::unlink(temporary.c_str());
  return {};
}

Result<void> placeOver(const std::string& temporary, const std::string& path) {
  if (::rename(temporary.c_str(), path.c_str()) != 0) return systemFailure(errno);
  return {};
}

// The rename itself reaches the disk too; failing that the file is still complete.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

Result<void> checkRegularFile(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return Failure{"it is a folder"};
  if (S_ISCHR(mode)) return Failure{"it is a character device"};
  if (S_ISBLK(mode)) return Failure{"it is a block device"};
  if (S_ISFIFO(mode)) return Failure{"it is a named pipe"};
  if (S_ISSOCK(mode)) return Failure{"it is a socket"};
  return Failure{"it is not a regular file"};
}

Result<void> checkWritable(const std::string& path) {
  const Result<Target> target = findFinalTarget(path);
  if (!target) return target.failure();
  return checkReplaceable(*target);
}

Result<void> writeFileSafely(const std::string& path, std::string_view bytes, WriteMode mode) {
  Target target;
  if (mode == WriteMode::Replace) {
    Result<Target> found = findFinalTarget(path);
    if (!found) return found.failure();
    target = std::move(*found);
    if (Result<void> replaceable = checkReplaceable(target); !replaceable) return replaceable;
  } else {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return systemFailure(EEXIST);
    if (errno != ENOENT) return systemFailure(errno);
    target.path = path;
  }
  const std::string folder = folderOf(target.path);
  // A replaced file's mode is set once it is written; a new one is made with the umask's.
  const mode_t createMode = target.exists ? 0600 : 0666;
  Result<Temporary> temporary = createTemporary(folder, nameOf(target.path), createMode);
  if (!temporary) return temporary.failure();
  Result<void> done = fillTemporary(*temporary, bytes, target);
  if (done) {
    done = mode == WriteMode::CreateNew ? placeNew(temporary->path, target.path)
                                        : placeOver(temporary->path, target.path);
  }
  if (!done) {
    ::unlink(temporary->path.c_str());
    return done;
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
  const Result<Target> target = findFinalTarget(path);
  if (!target) return;
  const std::string prefix = temporaryPrefix(nameOf(target->path));
  DIR* folder = ::opendir(folderOf(target->path).c_str());
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
