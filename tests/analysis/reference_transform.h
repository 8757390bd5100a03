#pragma once
// The band transform and its tables exactly as defined, without any speed-up: floating
// point rounding for the phase index, an index lookup per sample and band, 64-bit sums.

#include <cstdint>
#include <memory>

#include "analysis/band_settings.h"

namespace bandscope::reference {

struct Tables {
  int bandCount = 0;
  int windowLength = 0;
  int32_t sinTable[kMaxBands];
  int32_t cosTable[kMaxBands];
  uint16_t phaseIndex[kMaxSamples][kMaxBands];
  float windowNorm = 0;
};

void buildTables(Tables& t, int bandCount);
void bandTransform(const Tables& t, int16_t* values, const uint8_t* data);

}  // namespace bandscope::reference
