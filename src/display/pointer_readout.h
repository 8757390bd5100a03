#pragma once
// The readout next to the pointer: which channel's band of the spectrum lies under a window
// point, and its frequency, level and dB value as text. Pure; UI thread (it reads the model
// the frame draws).

#include <optional>
#include <string>

#include "display/frame.h"
#include "display/view_transform.h"

namespace bandscope {

struct PointedBand {
  int channel = 0;
  int band = 0;
};

// The band whose column of the spectrum plane (levels 0 .. 512 above its base) lies under
// window point (wx, wy) of the frame's view; channel 1 only in stereo.
std::optional<PointedBand> bandUnderPointer(const ViewTransform& view, const FrameModel& m,
                                            bool stereo, double wx, double wy);

// The band's level in dB below a full-scale sine (amplitude 128), from the level drawn, with
// the phon boost taken out when it is on: the sound's level, not the picture's.
double bandDecibels(const FrameModel& m, PointedBand b, bool phonBoost);

// "1.4k Hz  level 230", and "  -12.5 dB" after it when dB is on.
std::string pointerReadout(const FrameModel& m, PointedBand b, bool dB, bool phonBoost,
                           char decimalSeparator);

}  // namespace bandscope
