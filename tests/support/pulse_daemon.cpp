#include "support/pulse_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <thread>
#include <vector>

namespace bandscope::test {

namespace {

// Splits a pactl command line at blanks; double quotes group words ("a b" is one argument).
std::vector<std::string> splitArguments(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool any = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

// Forks and executes path with argv and envp; the child's stdin is /dev/null, its stdout
// goes to outFd and its stderr to errFd (-1: /dev/null). With dieWithParent the child gets
// SIGKILL when the thread that forked it ends. Only async-signal-safe calls after fork.
pid_t spawn(const char* path, std::vector<std::string> argv, std::vector<std::string> envp,
            int outFd, int errFd, bool dieWithParent) {
  std::vector<char*> args = pointers(argv);
  std::vector<char*> env = pointers(envp);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;  // parent, or -1
  if (dieWithParent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the parent is already gone
  }
  const int devNull = open("/dev/null", O_RDWR);
  dup2(devNull, 0);
  dup2(outFd >= 0 ? outFd : devNull, 1);
  dup2(errFd >= 0 ? errFd : devNull, 2);
  // Everything else is closed, so the child holds none of our descriptors.
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  execve(path, args.data(), env.data());
  _exit(127);
}

int waitExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

const char* findProgram(const char* name) {
  static const char* const kDirs[] = {"/usr/bin/", "/bin/", "/usr/local/bin/"};
  static thread_local std::string found;
  for (const char* dir : kDirs) {
    found = std::string(dir) + name;
    if (access(found.c_str(), X_OK) == 0) return found.c_str();
  }
  return name;
}

// The environment of a client (pactl, the keeper) of the daemon at server, living in dir.
std::vector<std::string> clientEnvironment(const std::string& server, const std::string& dir) {
  return {
      "PULSE_SERVER=" + server,
      "PULSE_CLIENTCONFIG=" + dir + "/client.conf",
      "PULSE_COOKIE=" + dir + "/.config/pulse/cookie",
      "HOME=" + dir,
      "XDG_RUNTIME_DIR=" + dir,
      "PATH=/usr/bin:/bin",
      "LANG=C",
      "LC_ALL=C",
  };
}

}  // namespace

PulseDaemon::PulseDaemon() {
  char pattern[] = "/tmp/bandscope-pulse-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return;
  dir_ = pattern;
  // No user configuration on either side: the client reads this file only, and authenticates
  // with the daemon's own cookie.
  {
    std::ofstream conf(dir_ + "/client.conf");
    conf << "autospawn = no\n";
  }
  setenv("PULSE_SERVER", server().c_str(), 1);
  setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
  setenv("PULSE_COOKIE", (dir_ + "/.config/pulse/cookie").c_str(), 1);
  setenv("PULSE_RUNTIME_PATH", (dir_ + "/pulse").c_str(), 1);
  start();
}

PulseDaemon::~PulseDaemon() {
  kill();
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
}

std::string PulseDaemon::server() const {
  return "unix:" + dir_ + "/pulse/native";
}

std::string PulseDaemon::runtimeDir() const {
  return dir_;
}

bool PulseDaemon::running() const {
  if (pid_ <= 0) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    pid_ = -1;  // it ended by itself; reaped
    return false;
  }
  return r == 0;
}

bool PulseDaemon::start() {
  if (dir_.empty()) return false;
  if (running()) return true;
  const std::string log = dir_ + "/daemon.log";
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  std::vector<std::string> argv = {
      "pulseaudio",
      "-n",
      "--daemonize=no",
      "--exit-idle-time=-1",
      "--disable-shm=yes",
      "--use-pid-file=no",
      "--realtime=no",
      "--high-priority=no",
      "-L",
      "module-native-protocol-unix",
      "-L",
      std::string("module-null-sink sink_name=") + kSink,
      "--log-target=stderr",
  };
  std::vector<std::string> env = {
      "XDG_RUNTIME_DIR=" + dir_, "HOME=" + dir_, "PATH=/usr/bin:/bin", "LANG=C", "LC_ALL=C",
  };
  pid_ = spawn(findProgram("pulseaudio"), argv, env, logFd, logFd, true);
  if (logFd >= 0) ::close(logFd);
  if (pid_ <= 0) {
    pid_ = -1;
    return false;
  }
  const std::string socket = dir_ + "/pulse/native";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!running()) return false;
    struct stat info {};
    if (stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && pactl("info") == 0) {
      if (startKeeper()) return true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill();
  return false;
}

bool PulseDaemon::startKeeper() {
  std::vector<std::string> argv = {
      "parec",
      "--raw",
      "--format=s16le",
      "--channels=2",
      "--rate=44100",
      "--latency-msec=10",
      "--client-name=bandscope-test-keeper",
      std::string("--device=") + kMonitor,
  };
  const std::string log = dir_ + "/keeper.log";
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  keeperPid_ =
      spawn(findProgram("parec"), argv, clientEnvironment(server(), dir_), -1, logFd, true);
  if (logFd >= 0) ::close(logFd);
  if (keeperPid_ <= 0) {
    keeperPid_ = -1;
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    std::string outputs;
    if (pactl("list short source-outputs", &outputs) == 0 && !outputs.empty()) return settle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool PulseDaemon::settle() const {
  const std::string sink = std::string(" ") + kSink;
  return pactl("suspend-sink" + sink + " 1") == 0 && pactl("suspend-sink" + sink + " 0") == 0;
}

void PulseDaemon::kill() {
  for (int* pid : {&pid_, &keeperPid_}) {
    if (*pid <= 0) continue;
    ::kill(*pid, SIGKILL);
    waitExit(*pid);
    *pid = -1;
  }
}

int PulseDaemon::pactl(const std::string& args, std::string* output) const {
  std::vector<std::string> argv = splitArguments(args);
  argv.insert(argv.begin(), "pactl");
  int pipeFds[2] = {-1, -1};
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const pid_t pid =
      spawn(findProgram("pactl"), argv, clientEnvironment(server(), dir_), pipeFds[1], -1, true);
  ::close(pipeFds[1]);
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
    if (n > 0) {
      text.append(chunk, std::size_t(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(pipeFds[0]);
  if (pid <= 0) return -1;
  const int status = waitExit(pid);
  if (output != nullptr) *output = std::move(text);
  return status;
}

PulseDaemon& sharedPulseDaemon() {
  static PulseDaemon daemon;
  return daemon;
}

std::vector<std::uint8_t> makeTone(const std::vector<double>& frequencies, unsigned rate,
                                   unsigned bits, std::size_t frames, double amplitude) {
  const std::size_t channels = frequencies.size();
  std::vector<std::uint8_t> bytes(frames * channels * (bits / 8));
  std::uint8_t* out = bytes.data();
  for (std::size_t f = 0; f < frames; ++f) {
    for (std::size_t c = 0; c < channels; ++c) {
      const double v =
          amplitude * std::sin(2.0 * std::numbers::pi * frequencies[c] * double(f) / double(rate));
      if (bits == 8) {
        *out++ = static_cast<std::uint8_t>(std::clamp(std::lround(128.0 + 127.0 * v), 0L, 255L));
      } else {
        const auto s = static_cast<std::int16_t>(std::lround(32767.0 * v));
        *out++ = static_cast<std::uint8_t>(s & 0xFF);
        *out++ = static_cast<std::uint8_t>((s >> 8) & 0xFF);
      }
    }
  }
  return bytes;
}

double sampleAt(const std::uint8_t* data, unsigned bits, unsigned channels, std::size_t frame,
                unsigned channel) {
  const std::size_t index = frame * channels + channel;
  if (bits == 8) return (double(data[index]) - 128.0) / 128.0;
  const auto s = static_cast<std::int16_t>(data[2 * index] | (data[2 * index + 1] << 8));
  return double(s) / 32768.0;
}

double zeroCrossingFrequency(const std::uint8_t* data, unsigned bits, unsigned channels,
                             std::size_t frames, unsigned channel, unsigned rate) {
  // Sign changes with a small dead band, so quantisation noise around zero does not count.
  const double band = bits == 8 ? 1.5 / 128.0 : 16.0 / 32768.0;
  int sign = 0;
  std::size_t changes = 0;
  std::size_t first = 0, last = 0;
  for (std::size_t f = 0; f < frames; ++f) {
    const double v = sampleAt(data, bits, channels, f, channel);
    const int s = v > band ? 1 : v < -band ? -1 : 0;
    if (s == 0) continue;
    if (sign != 0 && s != sign) {
      if (changes == 0) first = f;
      last = f;
      ++changes;
    }
    sign = s;
  }
  if (changes < 3) return 0.0;
  // changes - 1 half periods between the first and the last change.
  return double(changes - 1) / 2.0 * double(rate) / double(last - first);
}

double peakLevel(const std::uint8_t* data, unsigned bits, unsigned channels, std::size_t frames,
                 unsigned channel) {
  double peak = 0.0;
  for (std::size_t f = 0; f < frames; ++f)
    peak = std::max(peak, std::abs(sampleAt(data, bits, channels, f, channel)));
  return peak;
}

std::size_t loudestWindow(const std::uint8_t* data, unsigned bits, unsigned channels,
                          std::size_t frames, unsigned channel, std::size_t window,
                          std::size_t step) {
  std::size_t best = 0;
  double bestLevel = -1.0;
  for (std::size_t start = 0; start + window <= frames; start += step) {
    const double level =
        peakLevel(data + start * channels * (bits / 8), bits, channels, window, channel);
    if (level > bestLevel) {
      bestLevel = level;
      best = start;
    }
  }
  return best;
}

}  // namespace bandscope::test
