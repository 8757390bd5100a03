#include "app/frame/frame_rate.h"

#include <algorithm>
#include <cstdio>

#include "analysis/rounding.h"

namespace bandscope {

void FrameRate::measure(int64_t nowMs) {
  frameTimeMs = nowMs;
  if (frameTimeMs == lastFrameTimeMs) frameTimeMs += 1;
  fpsInstant = 1000.0f / static_cast<float>(frameTimeMs - lastFrameTimeMs);
  if (fpsInstant <= fpsSmoothed + 30) {
    fpsSmoothed = (31 * fpsSmoothed + fpsInstant) / 32;
  } else {
    fpsSmoothed = fpsSmoothed + 1;
  }
  lastFrameTimeMs = frameTimeMs;
}

std::string FrameRate::text(char decimalSeparator) const {
  const double tenths = static_cast<double>(roundEven(static_cast<double>(fpsSmoothed) * 10));
  char number[32];
  std::snprintf(number, sizeof number, "%.15g", tenths / 10);
  std::string out(number);
  std::replace(out.begin(), out.end(), '.', decimalSeparator);
  return out + " fps";
}

}  // namespace bandscope
