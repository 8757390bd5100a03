// Replays the file device's fuzz target over a corpus with the normal compiler, one case per
// child process, each under a time bound and a memory bound:
//   file_input_replay PATH...
// A folder's entries are cases, whatever their type (a sub-folder too); any other path is one.
// Regular files go through LLVMFuzzerTestOneInput like fuzzer inputs; the rest (FIFOs,
// devices, sockets, links to them, folders) are loaded by their own path.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file_load_check.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned kSecondsPerCase = 10;
constexpr int kLoaded = 10;  // a child's exit status: the case loaded (0: refused)
// Peak resident memory of a case. The sanitizers' shadow memory and the quarantine of freed
// blocks take their share; the plain build also gets an address-space limit, so that a
// runaway allocation fails at once (the check rejects the "Not enough memory" it brings).
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMaxResidentKiB = 1024 * 1024;
#else
constexpr long kMaxResidentKiB = 256 * 1024;
constexpr rlim_t kMaxAddressSpace = rlim_t{1} << 30;
#endif

[[noreturn]] void runCase(const std::string& path) {
  alarm(kSecondsPerCase);
#if !defined(__SANITIZE_ADDRESS__)
  const rlimit space{kMaxAddressSpace, kMaxAddressSpace};
  setrlimit(RLIMIT_AS, &space);
#endif
  struct stat st {};
  bool loaded = false;
  if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    loaded = bandscope::fuzz::checkFileBytes(bytes.data(), bytes.size());
  } else {
    loaded = bandscope::fuzz::checkFileLoad(path);
  }
  std::exit(loaded ? kLoaded : 0);  // not _exit: the leak checker runs at exit
}

// Why the case failed; empty when it passed.
std::string verdict(int status, const rusage& usage) {
  if (WIFSIGNALED(status)) {
    if (WTERMSIG(status) == SIGALRM)
      return "took longer than " + std::to_string(kSecondsPerCase) + " s";
    return std::string("killed by ") + strsignal(WTERMSIG(status));
  }
  if (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != kLoaded)
    return "exit status " + std::to_string(WEXITSTATUS(status));
  if (usage.ru_maxrss > kMaxResidentKiB)
    return "used " + std::to_string(usage.ru_maxrss / 1024) + " MiB";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> cases;
  for (int i = 1; i < argc; ++i) {
    std::error_code failed;
    if (fs::is_directory(fs::symlink_status(argv[i], failed))) {
      for (const auto& entry : fs::directory_iterator(argv[i])) cases.push_back(entry.path());
    } else {
      cases.emplace_back(argv[i]);
    }
  }
  std::sort(cases.begin(), cases.end());
  int passed = 0, failedCount = 0, loaded = 0;
  double slowest = 0;
  long largest = 0;
  std::string slowestCase;
  for (const std::string& path : cases) {
    std::fflush(nullptr);
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
      std::perror("fork");
      return 1;
    }
    if (child == 0) runCase(path);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (seconds > slowest) slowest = seconds, slowestCase = path;
    largest = std::max(largest, usage.ru_maxrss);
    const std::string why = verdict(status, usage);
    if (why.empty()) {
      ++passed;
      loaded += WEXITSTATUS(status) == kLoaded;
    } else {
      ++failedCount;
      std::printf("FAILED %s: %s\n", path.c_str(), why.c_str());
    }
  }
  std::printf("%d loaded, %d refused with a message; slowest %.2f s (%s), largest %ld MiB\n",
              loaded, passed - loaded, slowest, slowestCase.c_str(), largest / 1024);
  std::printf("file input replay: %d passed, %d failed\n", passed, failedCount);
  return failedCount == 0 && passed > 0 ? 0 : 1;
}
