#pragma once
// The frame-rate readout's measurement: instantaneous rate from the time since the last
// measured frame, shown through a smoothing that counts up by 1 per frame until it is
// within 30 of the measured rate and then follows it by 1/32 of the gap. UI thread only.

#include <cstdint>
#include <string>

namespace bandscope {

struct FrameRate {
  int64_t frameTimeMs = 0;
  int64_t lastFrameTimeMs = 0;
  float fpsInstant = 0;
  float fpsSmoothed = 0;

  // One readout at time nowMs (any millisecond clock); frames less than 1 ms apart count
  // as 1 ms.
  void measure(int64_t nowMs);
  // The shown rate to one decimal, shortest form, with the locale's decimal separator:
  // "60 fps", "59.7 fps".
  std::string text(char decimalSeparator = '.') const;
};

}  // namespace bandscope
