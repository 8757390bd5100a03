#pragma once
// The readout next to the pointer: which channel's band of the spectrum lies under a window
// point, the peak of the fast average nearest to it, and that peak's frequency, note and
// level as text. Pure; UI thread (it reads the model the frame draws).

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

struct PeakReading {
  int band = 0;     // the peak's band
  double hz = 0;    // interpolated between the bands
  double dbfs = 0;  // the band's fast average in dB below a full-scale sine
};

// The local maximum of the channel's fast average nearest to the pointed band, its frequency
// between the bands, and its level with the phon boost taken out when it is on: the sound's
// level, not the picture's.
PeakReading readPeak(const FrameModel& m, PointedBand b, bool phonBoost);

// "440 Hz  A4 +0 ct  -12.0 dBFS" for readPeak's answer; one decimal below 100 Hz.
std::string pointerReadout(const FrameModel& m, PointedBand b, bool phonBoost,
                           char decimalSeparator);

}  // namespace bandscope
