#include "app/run/resource_limits.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bandscope {

namespace {

struct ResourceKind {
  Resource resource;
  int limit;                // RLIMIT_*
  const char* statusField;  // its use in /proc/self/status, in kB; none for files
  const char* name;         // in "out of memory (NAME limit ...)"
  const char* ulimitOption;
};

// The peak, not the current size: a mapping that failed has already been given back.
constexpr ResourceKind kKinds[] = {
    {Resource::AddressSpace, RLIMIT_AS, "VmPeak:", "address-space", "-v"},
    {Resource::DataSegment, RLIMIT_DATA, "VmData:", "data-segment", "-d"},
    {Resource::OpenFiles, RLIMIT_NOFILE, nullptr, nullptr, "-n"},
};

constexpr uint64_t kFilesWatched = 256;
// A thread's stack (8 MB), a malloc arena (up to 128 MB while it is made), the GL driver's
// libraries: what a single failed mapping may have asked for.
constexpr uint64_t kMemoryMarginKb = 256 * 1024;
constexpr uint64_t kFilesMargin = 4;  // a socket pair, a pipe and the file being opened

const ResourceKind& kindOf(Resource resource) {
  for (const ResourceKind& kind : kKinds)
    if (kind.resource == resource) return kind;
  return kKinds[0];
}

// Text into a fixed buffer, cut where it is full.
class Line {
 public:
  Line(char* out, size_t size) : out_(out), size_(size) {
    if (size_ > 0) out_[0] = '\0';
  }
  Line& operator<<(const char* text) {
    while (*text && length_ + 1 < size_) out_[length_++] = *text++;
    if (size_ > 0) out_[length_] = '\0';
    return *this;
  }
  Line& operator<<(uint64_t number) {
    char digits[24];
    size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number > 0);
    char text[24];
    for (size_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    text[count] = '\0';
    return *this << static_cast<const char*>(text);
  }
  size_t length() const { return length_; }

 private:
  char* out_;
  size_t size_;
  size_t length_ = 0;
};

// kB as a person reads it, in the decimal steps the limit was most likely given in.
void appendSize(Line& line, uint64_t kb) {
  if (kb < 1000) {
    line << kb << " kB";
  } else if (kb < 10'000'000) {
    line << (kb + 500) / 1000 << " MB";
  } else {
    line << (kb + 500'000) / 1'000'000 << " GB";
  }
}

uint64_t statusFieldKb(const char* field) {
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[4096];
  size_t length = 0;
  for (ssize_t got = 1; got > 0 && length + 1 < sizeof text; length += static_cast<size_t>(got)) {
    got = ::read(fd, text + length, sizeof text - 1 - length);
    if (got < 0 && errno == EINTR) got = 0;
    if (got < 0) break;
  }
  ::close(fd);
  text[length] = '\0';
  const char* at = std::strstr(text, field);
  if (!at) return 0;
  at += std::strlen(field);
  while (*at == ' ' || *at == '\t') ++at;
  uint64_t kb = 0;
  for (; *at >= '0' && *at <= '9'; ++at) kb = kb * 10 + static_cast<uint64_t>(*at - '0');
  return kb;
}

// The descriptors open now; all of them where not even the count can be opened.
uint64_t openFiles(uint64_t limit) {
  const int fd = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == EMFILE ? limit : 0;
  uint64_t count = 0;
  alignas(dirent64) char entries[2048];
  for (;;) {
    const ssize_t got = ::getdents64(fd, entries, sizeof entries);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      if (entry->d_name[0] != '.') ++count;
      at += entry->d_reclen;
    }
  }
  ::close(fd);
  return count > 0 ? count - 1 : 0;  // not the one that counted
}

}  // namespace

ResourceUse measureUse(Resource resource) {
  const ResourceKind& kind = kindOf(resource);
  ResourceUse use{resource, kUnlimited, 0};
  rlimit limit{};
  if (::getrlimit(kind.limit, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    use.limit = kind.statusField ? limit.rlim_cur / 1024 : limit.rlim_cur;
  use.used = kind.statusField ? statusFieldKb(kind.statusField) : openFiles(use.limit);
  return use;
}

bool isRestrictive(const ResourceUse& use) {
  if (use.resource == Resource::OpenFiles) return use.limit < kFilesWatched;
  return use.limit != kUnlimited;
}

bool isNearItsEnd(const ResourceUse& use) {
  if (use.limit == kUnlimited) return false;
  const uint64_t margin = use.resource == Resource::OpenFiles ? kFilesMargin : kMemoryMarginKb;
  return use.used + margin >= use.limit;
}

bool findExhausted(ResourceUse& found) {
  bool any = false;
  double nearest = 0;
  for (const ResourceKind& kind : kKinds) {
    const ResourceUse use = measureUse(kind.resource);
    if (!isRestrictive(use) || !isNearItsEnd(use)) continue;
    const double share = static_cast<double>(use.used) / static_cast<double>(use.limit);
    if (!any || share > nearest) {
      found = use;
      nearest = share;
      any = true;
    }
  }
  return any;
}

size_t describeUse(const ResourceUse& use, char* out, size_t size) {
  const ResourceKind& kind = kindOf(use.resource);
  Line line(out, size);
  if (use.resource == Resource::OpenFiles) {
    line << "too many open files (";
    if (use.limit != kUnlimited) line << "limit " << use.limit << ", ";
    line << use.used << " open";
  } else {
    line << "out of memory (";
    if (use.limit != kUnlimited) {
      line << kind.name << " limit ";
      appendSize(line, use.limit);
      line << ", ";
    }
    appendSize(line, use.used);
    line << " used";
  }
  if (use.limit != kUnlimited) line << "; ulimit " << kind.ulimitOption << " " << use.limit;
  line << ")";
  return line.length();
}

}  // namespace bandscope
