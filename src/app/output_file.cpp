#include "app/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace bandscope {

std::string whyNotWritable(const std::string& path) {
  // Non-blocking: a FIFO without a reader fails instead of waiting for one.
  int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return {};
  }
  if (errno != ENOENT) return std::strerror(errno);
  fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  ::unlink(path.c_str());
  return {};
}

bool writeWholeFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file.is_open()) return false;  // an existing file that cannot be opened stays
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (file) return true;
  std::remove(path.c_str());
  return false;
}

}  // namespace bandscope
