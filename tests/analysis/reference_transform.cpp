#include "analysis/reference_transform.h"

#include <cmath>

namespace bandscope::reference {

void buildTables(Tables& t, int bandCount) {
  t.bandCount = bandCount;
  t.windowLength = 2 * bandCount;
  t.windowNorm = static_cast<float>(std::sqrt(static_cast<long double>(t.windowLength)));
  for (int i = 0; i < bandCount; ++i) {
    const long double x = (static_cast<long double>(i + 1) / bandCount) * 6.283185307179586L;
    t.sinTable[i] = static_cast<int32_t>(std::nearbyintl(std::sin(x) * 65536.0L));
    t.cosTable[i] = static_cast<int32_t>(std::nearbyintl(std::cos(x) * 65536.0L));
    const double f = (i + 2) / 2.0;
    for (int j = 0; j < t.windowLength; ++j) {
      const auto r = static_cast<int64_t>(std::nearbyint((j + 1) * f));
      t.phaseIndex[j][i] = static_cast<uint16_t>(r % bandCount);
    }
  }
}

void bandTransform(const Tables& t, int16_t* values, const uint8_t* data) {
  for (int i = 0; i < t.bandCount; ++i) {
    int64_t C = 0;
    int64_t S = 0;
    for (int j = 0; j < t.windowLength; ++j) {
      const int64_t x = data[j];
      const int r = t.phaseIndex[j][i];
      C += x * t.cosTable[r];
      S += x * t.sinTable[r];
    }
    const int64_t a = C / 65536;
    const int64_t b = S / 65536;
    const int64_t P = a * a + b * b;
    const long double m = std::nearbyintl(std::sqrt(static_cast<long double>(P)) / t.windowNorm);
    values[i] = static_cast<int16_t>(static_cast<int64_t>(m));
  }
}

}  // namespace bandscope::reference
