#pragma once
// A private PipeWire for tests (see sound_server_daemon.h), as users run it: the pipewire
// daemon, the wireplumber session manager (which links streams to devices and picks the
// defaults) and pipewire-pulse (the PulseAudio protocol that libpulse clients speak), each
// with a private configuration written into the temporary directory: no D-Bus, no real-time
// scheduling, no portal, no device monitors (ALSA, Bluetooth, V4L2, libcamera), so only the
// null sink, loaded through pipewire-pulse, exists. No keeper is needed: the graph runs the
// null sink in its quantum (1024 frames at 48 kHz, less while a client asks for a shorter
// latency) whoever listens. Unlike PulseDaemon the constructor leaves the environment alone:
// call use().
//
// Threads: the test's main thread.

#include <string>
#include <vector>

#include "support/sound_server_daemon.h"

namespace bandscope::test {

class PipeWireDaemon final : public SoundServerDaemon {
 public:
  PipeWireDaemon();  // creates the directory and the configuration, and starts; see running()

  const char* name() const override { return "PipeWire"; }
  // The programs it needs (pipewire, wireplumber, pipewire-pulse, pactl) that are not
  // installed, separated by blanks; empty when it can run.
  static std::string missingPrograms();

 private:
  // pipewire first, until its socket answers; then wireplumber and pipewire-pulse.
  bool launch() override;
  // pipewire-pulse answers and wireplumber has made the monitor the default source.
  bool ready() const override;
  std::vector<std::string> pipewireEnvironment() const;
};

// One PipeWire for the whole test process, started on first use; null when not installed.
PipeWireDaemon* sharedPipeWireDaemon();

}  // namespace bandscope::test
