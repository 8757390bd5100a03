#pragma once
// Whether the picture can change, so that the frame tick draws only what someone can see:
// after each tick's analysis the parts of the model a frame draws are compared with the last
// tick's. The picture is still once they have stood for a second's analysis steps, and for
// as many as the sonogram has rows when it is shown (its history is then one row repeated),
// with nothing else moving it. Plain arithmetic on the model; the caller reports input,
// camera and control changes through moved().
//
// Threads: UI thread only.

#include <cstdint>

#include "display/frame.h"

namespace bandscope {

class PictureWatch {
 public:
  static constexpr int kLeastStillSteps = 250;       // a second of analysis steps
  static constexpr int64_t kStillFrameUs = 250'000;  // a still picture is drawn 4 times a second
  static constexpr int kWatchMs = 40;    // how often a still picture's analysis runs meanwhile
  static constexpr int kHiddenMs = 250;  // the capture's upkeep while nobody sees the picture

  // After a tick's analysis of `steps` steps of the model drawn; null while the picture shown
  // does not follow the analysis (frozen).
  void analysed(const FrameModel* drawn, int steps);
  // Input, the camera, a control, a new size or exposure: the picture moves.
  void moved() { stillSteps_ = 0; }
  // sonoRows: the sonogram's rows when it is shown, else 0.
  bool still(int sonoRows) const;

 private:
  // The parts of the model a frame draws apart from the sonogram's history.
  struct Drawn {
    int16_t bands[5][kChannels][kMaxBands];  // level, fast and slow averages, peak, peak hold
    int32_t meters[2][kChannels];
    SampleRows samples;
    float scopeMean[kChannels];
    int32_t triggerStart[kChannels];
    SpreadState spread;
  };
  Drawn last_{};
  int64_t stillSteps_ = 0;
};

}  // namespace bandscope
