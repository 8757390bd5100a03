#include "support/sound_server_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/pipewire_daemon.h"
#include "support/pulse_daemon.h"

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

}  // namespace

pid_t spawnProcess(const char* path, std::vector<std::string> argv, std::vector<std::string> envp,
                   int outFd, int errFd, bool dieWithParent) {
  std::vector<char*> args = pointers(argv);
  std::vector<char*> env = pointers(envp);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;  // parent, or -1
  // Only async-signal-safe calls from here on.
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

std::string findProgram(const char* name) {
  for (const char* dir : {"/usr/bin/", "/bin/", "/usr/local/bin/"}) {
    std::string path = std::string(dir) + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

SoundServerDaemon::SoundServerDaemon(const char* prefix) {
  std::string pattern = std::string("/tmp/bandscope-") + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return;
  dir_ = pattern;
  // No user configuration on the client side: it reads this file only.
  std::ofstream(dir_ + "/client.conf") << "autospawn = no\n";
}

SoundServerDaemon::~SoundServerDaemon() {
  kill();
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
}

std::string SoundServerDaemon::server() const {
  return "unix:" + dir_ + "/pulse/native";
}

std::string SoundServerDaemon::runtimeDir() const {
  return dir_;
}

void SoundServerDaemon::use() const {
  setenv("PULSE_SERVER", server().c_str(), 1);
  setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
  setenv("PULSE_COOKIE", (dir_ + "/.config/pulse/cookie").c_str(), 1);
  setenv("PULSE_RUNTIME_PATH", (dir_ + "/pulse").c_str(), 1);
}

std::vector<std::string> SoundServerDaemon::serverEnvironment() const {
  return {
      "XDG_RUNTIME_DIR=" + dir_,
      "HOME=" + dir_,
      "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir_ + "/no-bus",
      "PATH=/usr/bin:/bin",
      "LANG=C",
      "LC_ALL=C",
  };
}

std::vector<std::string> SoundServerDaemon::clientEnvironment() const {
  return {
      "PULSE_SERVER=" + server(),
      "PULSE_CLIENTCONFIG=" + dir_ + "/client.conf",
      "PULSE_COOKIE=" + dir_ + "/.config/pulse/cookie",
      "HOME=" + dir_,
      "XDG_RUNTIME_DIR=" + dir_,
      "PATH=/usr/bin:/bin",
      "LANG=C",
      "LC_ALL=C",
  };
}

bool SoundServerDaemon::running() const {
  if (pids_.empty()) return false;
  for (pid_t& pid : pids_) {
    if (pid <= 0) return false;
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) pid = -1;  // it ended by itself; reaped
    if (r != 0) return false;
  }
  return true;
}

bool SoundServerDaemon::spawn(const char* program, std::vector<std::string> argv,
                              std::vector<std::string> env, const std::string& log) {
  const std::string path = findProgram(program);
  if (path.empty()) return false;
  const std::string file = dir_ + "/" + log + ".log";
  const int logFd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const pid_t pid = spawnProcess(path.c_str(), std::move(argv), std::move(env), logFd, logFd, true);
  if (logFd >= 0) ::close(logFd);
  if (pid <= 0) return false;
  pids_.push_back(pid);
  return true;
}

bool SoundServerDaemon::ready() const {
  return pactl("info") == 0;
}

bool SoundServerDaemon::start() {
  if (dir_.empty()) return false;
  if (running()) return true;
  kill();
  if (launch()) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && running()) {
      if (ready()) {
        if (afterReady()) return true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  kill();
  return false;
}

void SoundServerDaemon::stop() {
  for (const pid_t pid : pids_)
    if (pid > 0) ::kill(pid, SIGSTOP);
}

void SoundServerDaemon::resume() {
  for (const pid_t pid : pids_)
    if (pid > 0) ::kill(pid, SIGCONT);
}

void SoundServerDaemon::kill() {
  for (const pid_t pid : pids_)
    if (pid > 0) ::kill(pid, SIGKILL);
  for (const pid_t pid : pids_)
    if (pid > 0) waitExit(pid);
  pids_.clear();
}

int SoundServerDaemon::pactl(const std::string& args, std::string* output) const {
  const std::string path = findProgram("pactl");
  if (path.empty()) return -1;
  std::vector<std::string> argv = splitArguments(args);
  argv.insert(argv.begin(), "pactl");
  int pipeFds[2] = {-1, -1};
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = spawnProcess(path.c_str(), argv, clientEnvironment(), pipeFds[1], -1, true);
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

SilentServer::SilentServer() {
  std::string pattern = "/tmp/bandscope-silent-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return;
  dir_ = pattern;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = dir_ + "/native";
  if (path.size() >= sizeof address.sun_path) return;
  path.copy(address.sun_path, path.size());
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // Never accepted: the kernel completes each connection in the backlog, and nothing answers.
  if (fd_ >= 0 && (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                   listen(fd_, 64) != 0)) {
    ::close(fd_);
    fd_ = -1;
  }
}

SilentServer::~SilentServer() {
  if (fd_ >= 0) ::close(fd_);
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
}

std::string SilentServer::server() const {
  return fd_ >= 0 ? "unix:" + dir_ + "/native" : std::string();
}

SoundServerDaemon* sharedSoundServer(SoundServer kind, std::string* whyMissing) {
  if (kind == SoundServer::PulseAudio) return &sharedPulseDaemon();
  if (PipeWireDaemon* daemon = sharedPipeWireDaemon()) return daemon;
  if (whyMissing != nullptr)
    *whyMissing = "PipeWire is not installed (missing: " + PipeWireDaemon::missingPrograms() +
                  "); scripts/packages.txt lists its packages";
  return nullptr;
}

const char* soundServerName(SoundServer kind) {
  return kind == SoundServer::PulseAudio ? "PulseAudio" : "PipeWire";
}

}  // namespace bandscope::test
