#include "support/pipewire_daemon.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace bandscope::test {

namespace {

// The daemon: the Debian defaults less real-time scheduling, the portal (D-Bus) and the X11
// bell; the device monitors live in the session manager.
constexpr const char* kPipewireConf = R"(context.properties = {
    link.max-buffers = 16
    core.daemon = true
    core.name = pipewire-0
    default.clock.min-quantum = 16
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.*       = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-profiler }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-device-factory }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-client-device }
    { name = libpipewire-module-access }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-link-factory }
    { name = libpipewire-module-session-manager }
]
context.objects = [
    { factory = spa-node-factory
        args = {
            factory.name    = support.node.driver
            node.name       = Dummy-Driver
            node.group      = pipewire.dummy
            priority.driver = 20000
        }
    }
]
)";

// The PulseAudio protocol on <runtime dir>/pulse/native, and the null sink.
constexpr const char* kPulseConf = R"(context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.*       = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-protocol-pulse
        args = { server.address = [ "unix:native" ] }
    }
]
pulse.cmd = [
    { cmd = "load-module" args = "module-null-sink sink_name=bandscope_null" flags = [ ] }
]
)";

// The session manager: the main and policy parts, without the Bluetooth one.
constexpr const char* kWireplumberConf = R"(context.properties = {
  log.level = 2
  wireplumber.script-engine = lua-scripting
}
context.spa-libs = {
  audio.convert.* = audioconvert/libspa-audioconvert
  support.*       = support/libspa-support
}
context.modules = [
  { name = libpipewire-module-protocol-native }
  { name = libpipewire-module-client-node }
  { name = libpipewire-module-client-device }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-metadata }
  { name = libpipewire-module-session-manager }
]
wireplumber.components = [
  { name = libwireplumber-module-lua-scripting, type = module }
  { name = main.lua, type = config/lua }
  { name = policy.lua, type = config/lua }
]
)";

// Replaces the packaged main.lua.d/90-enable-all.lua: no device monitors, and no flatpak
// portal, whose permission store needs D-Bus (without it wireplumber exits at start).
constexpr const char* kWireplumberMain =
    R"(default_access.properties["enable-flatpak-portal"] = false
load_module("metadata")
default_access.enable()
device_defaults.enable()
stream_defaults.enable()
load_script("intended-roles.lua")
load_script("suspend-node.lua")
)";

bool writeFile(const std::string& path, const char* text) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::ofstream file(path);
  file << text;
  return bool(file);
}

// Whether a unix socket at path accepts a connection.
bool answers(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

PipeWireDaemon::PipeWireDaemon() : SoundServerDaemon("pipewire") {
  if (dir_.empty()) return;
  if (!writeFile(dir_ + "/pipewire/pipewire.conf", kPipewireConf) ||
      !writeFile(dir_ + "/pipewire/pipewire-pulse.conf", kPulseConf) ||
      !writeFile(dir_ + "/.config/wireplumber/wireplumber.conf", kWireplumberConf) ||
      !writeFile(dir_ + "/.config/wireplumber/main.lua.d/90-enable-all.lua", kWireplumberMain))
    return;
  start();
}

std::string PipeWireDaemon::missingPrograms() {
  std::string missing;
  for (const char* program : {"pipewire", "wireplumber", "pipewire-pulse", "pactl"})
    if (findProgram(program).empty())
      missing += (missing.empty() ? "" : " ") + std::string(program);
  return missing;
}

std::vector<std::string> PipeWireDaemon::pipewireEnvironment() const {
  std::vector<std::string> env = serverEnvironment();
  env.push_back("PIPEWIRE_RUNTIME_DIR=" + dir_);
  env.push_back("PIPEWIRE_CONFIG_DIR=" + dir_ + "/pipewire");
  env.push_back("XDG_CONFIG_HOME=" + dir_ + "/.config");
  env.push_back("XDG_STATE_HOME=" + dir_ + "/.local/state");
  env.push_back("XDG_DATA_HOME=" + dir_ + "/.local/share");
  return env;
}

bool PipeWireDaemon::launch() {
  // A socket left by a killed daemon would look like the new one.
  const std::string socket = dir_ + "/pipewire-0";
  unlink(socket.c_str());
  if (!spawn("pipewire", {"pipewire", "-c", dir_ + "/pipewire/pipewire.conf"},
             pipewireEnvironment(), "pipewire"))
    return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!answers(socket)) {
    if (!running() || std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return spawn("wireplumber", {"wireplumber", "-c", dir_ + "/.config/wireplumber/wireplumber.conf"},
               pipewireEnvironment(), "wireplumber") &&
         spawn("pipewire-pulse", {"pipewire-pulse", "-c", dir_ + "/pipewire/pipewire-pulse.conf"},
               pipewireEnvironment(), "pipewire-pulse");
}

bool PipeWireDaemon::ready() const {
  std::string info;
  return pactl("info", &info) == 0 &&
         info.find(std::string("Default Source: ") + kMonitor + "\n") != std::string::npos;
}

PipeWireDaemon* sharedPipeWireDaemon() {
  if (!PipeWireDaemon::missingPrograms().empty()) return nullptr;
  static PipeWireDaemon daemon;
  return &daemon;
}

}  // namespace bandscope::test
