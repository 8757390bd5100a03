#include "band_settings.h"

#include <numbers>

#include "assertion.h"

namespace bandscope {

void deriveBandSettings(BandSettings& s) {
  check(isValidBandCount(s.bandCount), "band count must be 8 .. 512");
  s.windowLength = static_cast<uint16_t>(2 * s.bandCount);
  s.phonOffset = static_cast<uint16_t>(s.bandCount >> 3);
  s.bandsPerRadian = static_cast<float>(s.bandCount / std::numbers::pi_v<long double>);
  s.bufferLength = s.windowLength;
}

}  // namespace bandscope
