#pragma once
// The frame tick's two clocks: the analysis advances one step per 4 ms of wall time whatever
// the drawing rate, and frames are drawn at a target rate, the UI thread sleeping between
// them. Pure arithmetic on a monotonic microsecond clock the caller reads; no timers here.
//
// Threads: UI thread only.

#include <cstdint>

namespace bandscope {

class FramePacer {
 public:
  static constexpr int64_t kStepUs = 4000;  // 250 analysis steps a second
  static constexpr int kMaxCatchUp = 25;    // steps run at most in one tick; more are dropped
  static constexpr int kDefaultFps = 60;

  // targetFps: drawn frames a second; 0 draws as fast as a repeating 4 ms tick allows.
  explicit FramePacer(int targetFps = kDefaultFps) { setTargetFps(targetFps); }
  void setTargetFps(int targetFps);
  int targetFps() const { return targetFps_; }

  // The analysis steps due at nowUs since the last call: one at the first call, then one
  // per whole 4 ms passed, at most kMaxCatchUp (after a stall the rest are dropped).
  int stepsDue(int64_t nowUs);

  // After a frame drawn at nowUs: how long to sleep before the next one, in whole
  // milliseconds. Frames keep to a fixed schedule; one that falls behind by more than a
  // frame starts the schedule anew.
  int msUntilNextFrame(int64_t nowUs);

 private:
  int targetFps_ = kDefaultFps;
  int64_t frameUs_ = 0;  // 0: uncapped
  bool started_ = false;
  int64_t nextStepUs_ = 0;
  int64_t nextFrameUs_ = 0;
  int64_t frames_ = 0;      // frames on the current schedule
  int64_t scheduleUs_ = 0;  // when the current schedule began
};

}  // namespace bandscope
