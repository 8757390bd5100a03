#pragma once
// The program's sound services: the UI thread's message queue, the input devices (the sound
// server's sources then the test signal, or only an audio file), the sound server's output
// for the player, and the mixer. Owned by main, outliving the window.
//
// Threads: built, used and destroyed on the UI thread, with a QApplication running.

#include <memory>
#include <string>

#include "app/run/command_line.h"
#include "audio/audio.h"
#include "failure/failure.h"
#include "platform/qt_message_queue.h"
#include "platform/qt_mixer_notifier.h"
#include "sound/device_list.h"
#include "sound/file_wave_input.h"
#include "sound/mixer_service.h"
#include "sound/test_signal_input.h"

namespace bandscope {

struct SoundServices {
  std::unique_ptr<sound::MessageQueue> queue;
  std::unique_ptr<sound::WaveInService> serverInput;  // null with --input
  std::unique_ptr<sound::WaveOutService> output;
  std::unique_ptr<sound::TestSignalInput> testSignal;
  std::unique_ptr<sound::FileWaveInput> file;
  std::unique_ptr<sound::DeviceList> inputs;
  std::unique_ptr<sound::MixerService> mixer;
  std::unique_ptr<QtMixerNotifier> mixerNotifier;

  audio::AudioServices services() const { return {*inputs, *output, *queue, mixer.get()}; }
};

// For the command line: an unreadable --input file fails with a message naming it.
Result<std::unique_ptr<SoundServices>> openSoundServices(const CommandLine& line);

// Waits until the sound server's first answer is in the input list, at most timeoutMs. Only
// before the window exists: for --device, whose number counts the server's entries.
void awaitDeviceList(SoundServices& sound, int timeoutMs);

}  // namespace bandscope
