#pragma once
// What the private sound servers of the tests share (PulseDaemon, PipeWireDaemon): a fresh
// temporary runtime directory, the server's processes started with fork/exec and a clean
// environment (their output goes to <name>.log in the directory), a null sink kSink whose
// monitor kMonitor is a capture source, and pactl against it. Clients reach the server through
// its PulseAudio socket <dir>/pulse/native; use() points the process environment there.
//
// Every process gets SIGKILL when the thread that started it ends (PR_SET_PDEATHSIG), so none
// outlives a crashed test process: start servers from the main thread.
//
// Threads: the test's main thread.

#include <sys/types.h>

#include <string>
#include <vector>

namespace bandscope::test {

class SoundServerDaemon {
 public:
  static constexpr const char* kSink = "bandscope_null";
  static constexpr const char* kMonitor = "bandscope_null.monitor";

  SoundServerDaemon(const SoundServerDaemon&) = delete;
  SoundServerDaemon& operator=(const SoundServerDaemon&) = delete;
  virtual ~SoundServerDaemon();  // the subclass kills its processes; this removes the directory

  virtual const char* name() const = 0;  // "PulseAudio", "PipeWire"

  // (Re)starts after kill(): kills what is left of an earlier run, starts every process and
  // waits until the server is ready for clients with its null sink; false after ~10 s or
  // when a process ends.
  bool start();
  // SIGKILL to every process at once, as a crash would; waits for them to end.
  void kill();
  // Whether every process still runs (reaps any that ended by itself).
  bool running() const;
  // SIGSTOP to every process, as a server that hangs; resume() sends SIGCONT. The sockets stay,
  // so clients still connect, and wait.
  void stop();
  void resume();
  // Brings the null sink's clock in step after the default source changed; see the subclass.
  virtual bool settle() const { return true; }

  // Points PULSE_SERVER, PULSE_CLIENTCONFIG, PULSE_COOKIE and PULSE_RUNTIME_PATH of this
  // process at this server, for libpulse here and any child started afterwards.
  void use() const;
  std::string server() const;      // "unix:<dir>/pulse/native"
  std::string runtimeDir() const;  // the temporary directory
  // Runs pactl against this server with the given arguments (double quotes group words);
  // returns its exit status and its standard output in *output when given.
  int pactl(const std::string& args, std::string* output = nullptr) const;

 protected:
  // Creates /tmp/bandscope-<prefix>-XXXXXX with a client.conf that turns autospawn off.
  explicit SoundServerDaemon(const char* prefix);

  // Starts the server's processes with spawn(); false when one could not be started.
  virtual bool launch() = 0;
  // Whether the server is ready for clients; polled by start() while every process runs.
  virtual bool ready() const;
  // After ready(): whatever else start() needs (a keeper client, ...).
  virtual bool afterReady() { return true; }

  // Starts path with argv and env (its output to <log>.log); the process is killed by kill().
  bool spawn(const char* program, std::vector<std::string> argv, std::vector<std::string> env,
             const std::string& log);
  // The base environment of a server process: runtime directory, HOME, PATH, C locale, and a
  // D-Bus session address that leads nowhere, so nothing autolaunches a bus.
  std::vector<std::string> serverEnvironment() const;
  // The environment of a client (pactl, a keeper) of this server.
  std::vector<std::string> clientEnvironment() const;

  std::string dir_;

 private:
  mutable std::vector<pid_t> pids_;  // running() reaps one that ended by itself
};

// A unix socket that takes connections and never answers, as a hung server does; closed, with
// its temporary directory, when it goes.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  std::string server() const;  // "unix:<dir>/native", or empty when it could not be made

 private:
  std::string dir_;
  int fd_ = -1;
};

// Forks and executes path with argv and envp; the child's stdin is /dev/null, its stdout goes
// to outFd and its stderr to errFd (-1: /dev/null). With dieWithParent it gets SIGKILL when
// the thread that forked it ends. Returns the pid, or -1.
pid_t spawnProcess(const char* path, std::vector<std::string> argv, std::vector<std::string> envp,
                   int outFd, int errFd, bool dieWithParent);
// Waits for pid to end; its exit status, or 128 + the signal.
int waitExit(pid_t pid);
// The absolute path of a program in the usual bin directories; empty when there is none.
std::string findProgram(const char* name);

// The private servers the live tests run against, one of each for the whole test process.
enum class SoundServer { PulseAudio, PipeWire };
// The shared server of that kind, started on first use; null when its programs are not
// installed (whyMissing then says which).
SoundServerDaemon* sharedSoundServer(SoundServer kind, std::string* whyMissing = nullptr);
// "PulseAudio" or "PipeWire", for parameterised test names.
const char* soundServerName(SoundServer kind);

}  // namespace bandscope::test
