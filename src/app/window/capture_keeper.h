#pragma once
// Keeps capture going on the source the user chose. Sources are known by their name (the sound
// server's source name), not by their place in the list, so a list that changes under the window
// never swaps one source for another. When capture stops because the device or the server failed,
// it is tried again on its own, every 250 ms at first and then at most every 2 s, on the UI thread;
// once the chosen source is there again recording resumes on it. A source gone for 5 s from a
// running server gives way to the server's default source until it comes back; an application's
// entry that plays nothing is waited for, silent, as long as it takes ("“Firefox” is not playing").
// A recording whose entry moved on (the default output changed, the application plays a new stream)
// starts again on it at once. The device list follows the server's sources as they come and go.
// While no sound arrives the samples fall back to silence, so the picture decays instead of
// repeating the last buffer, and the status line says why. Nothing here waits for the sound server:
// its answers arrive through the device list's changed flag, taken at each tick. The start-up
// choice waits for the server's first answer, so the test signal is not taken for the server's
// default while the server's entries are not listed yet.
//
// Threads: everything on the UI thread except blockArrived(), which the capture thread calls
// for each recorded block (one relaxed atomic increment).

#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "analysis/sample_buffer.h"
#include "audio/audio.h"
#include "sound/device_list.h"

class QComboBox;

namespace bandscope {

class CaptureKeeper {
 public:
  // Each list entry's data: the source's name (Qt::UserRole), and its description in full.
  static constexpr int kDescriptionRole = Qt::UserRole + 1;

  static constexpr int kFirstRetryMs = 250;
  static constexpr int kLongestRetryMs = 2000;
  static constexpr int64_t kGoneForGoodUs = 5'000'000;  // then the default source
  static constexpr int64_t kSilentAfterUs = 250'000;    // no block for this long: silence
  static constexpr int64_t kReportSilenceUs = 1'000'000;

  // server: the sound server's own input among inputs (null: there is none, as with a file).
  CaptureKeeper(QComboBox& list, sound::DeviceList& inputs, sound::WaveInService* server,
                std::function<int64_t()> clockUs);

  // The component to record with; null before start-up and after the session's end.
  void attach(audio::TAudio* audio) { audio_ = audio; }
  // Entries "AudioDevice #n — description" for the devices there are now, the chosen one
  // kept selected. Sources of the same description are told apart by their port or card, or
  // else by their name: "Monitor of X (sink.monitor)".
  void fillList();
  // The entry of that source name; an application that plays nothing gets one kept at the end
  // (for the remembered choice at start-up); -1 for another source that is not there.
  int entryFor(const std::string& name);
  // The user chose the list's current entry: capture restarts on it, whatever happened before.
  void chooseCurrentEntry();
  // The recording format changed while the recorder was stopped for it: capture starts again
  // on the source it was recording from. One that was not recording is left to the retries.
  void restart();
  // Start-up: choose() selects the entry to start on and runs the device change. Run at once
  // when the list is complete; while the sound server has not answered yet it waits, the
  // status line says so, and it runs with the list of the server's first answer (only the
  // test signal when the server failed or did not answer in time). A choice of the user's
  // own meanwhile replaces it.
  void chooseAtStart(std::function<void()> choose);
  // Every frame tick. live: real-time input (not an offline file), whose silence counts.
  void tick(SampleBuffer& samples, bool live);
  // Capture thread.
  void blockArrived() { blocks_.fetch_add(1, std::memory_order_relaxed); }

  // Why capture does not run as chosen, or empty.
  const QString& status() const { return status_; }
  const std::string& chosenSource() const { return chosen_; }
  const std::string& recordingSource() const { return recording_; }
  uint64_t blocksReceived() const { return blocks_.load(std::memory_order_relaxed); }

 private:
  bool startOn(const std::string& name);
  void takeList();
  bool makeStartChoice();
  void retry();
  void scheduleRetry();
  std::string describe(const std::string& name);
  void setDescription(int entry, const std::string& description, const std::string& shown);
  int keepAway(const std::string& name);
  bool leftBehind();
  void watchSilence(SampleBuffer& samples, int64_t now);
  void setWaiting(QString why);
  void composeStatus(int64_t now);

  QComboBox& list_;
  sound::DeviceList& inputs_;
  sound::WaveInService* server_;
  std::function<int64_t()> clockUs_;
  audio::TAudio* audio_ = nullptr;
  QTimer retryTimer_;
  int retryMs_ = kFirstRetryMs;
  std::function<void()> startChoice_;  // waiting for the server's first answer
  bool wanted_ = false;                // capture should run: the user chose an entry
  std::string chosen_;                 // the user's source
  std::string chosenText_;             // its description, for messages while it is gone
  std::string recording_;              // what the recorder was started on ("" when it is not)
  int64_t absentSinceUs_ = -1;         // the chosen source missing from a running server since
  std::atomic<uint64_t> blocks_{0};
  uint64_t blocksSeen_ = 0;
  int64_t lastBlockUs_ = 0;
  bool silenced_ = false;
  bool live_ = true;
  QString waiting_;  // why the last attempt did not record
  QString status_;
};

}  // namespace bandscope
