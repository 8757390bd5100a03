#include "app/frame/frame_pacer.h"

#include <algorithm>

namespace bandscope {

void FramePacer::setTargetFps(int targetFps) {
  targetFps_ = std::max(0, targetFps);
  frameUs_ = targetFps_ > 0 ? 1'000'000 / targetFps_ : 0;
  frames_ = 0;
  scheduleUs_ = nextFrameUs_;
}

int FramePacer::stepsDue(int64_t nowUs) {
  if (!started_) {
    started_ = true;
    nextStepUs_ = nowUs + kStepUs;
    return 1;
  }
  if (nowUs < nextStepUs_) return 0;
  const int64_t due = (nowUs - nextStepUs_) / kStepUs + 1;
  if (due > kMaxCatchUp) {
    nextStepUs_ = nowUs + kStepUs;
    return kMaxCatchUp;
  }
  nextStepUs_ += due * kStepUs;
  return static_cast<int>(due);
}

int FramePacer::msUntilNextFrame(int64_t nowUs) {
  if (frameUs_ == 0) return static_cast<int>(kStepUs / 1000);
  // The n-th frame of a schedule is due at its start + n x 1 s / fps: no drift from rounding.
  ++frames_;
  nextFrameUs_ = scheduleUs_ + frames_ * 1'000'000 / targetFps_;
  if (nextFrameUs_ < nowUs) {
    frames_ = 1;
    scheduleUs_ = nowUs;
    nextFrameUs_ = nowUs + frameUs_;
  }
  return static_cast<int>((nextFrameUs_ - nowUs + 999) / 1000);
}

}  // namespace bandscope
