#pragma once
// The analysis settings every subsystem reads. Owned by the window; written on the UI
// thread only (start-up and the change procedures), read on the UI thread. The capture
// thread never sees this struct: the sample buffer keeps its own copy of what it needs.

#include <cstdint>

namespace bandscope {

inline constexpr int kMinBands = 8;
inline constexpr int kMaxBands = 512;
inline constexpr int kMaxSamples = 2 * kMaxBands;  // per channel
inline constexpr int kMaxSonoRows = 512;
inline constexpr int kChannels = 2;
// The level axis of 16-bit samples spans one of these many dB below a full-scale sine.
inline constexpr int kRangesDb[] = {60, 90, 120};
inline constexpr int kDefaultRangeDb = 90;

struct BandSettings {
  uint16_t bandCount = 192;
  uint16_t windowLength = 384;  // samples per transform, 2 x bandCount
  uint16_t bufferLength = 384;  // samples held per channel, = windowLength
  uint16_t phonOffset = 24;     // bandCount shr 3
  float bandsPerRadian = 61.115498f;
  bool tablesBuilt = false;  // the transform tables match bandCount
  int32_t timeScale = 2;     // 1, 2, 4 .. 128
  uint16_t sonoSteps = 64;   // sonogram rows in use, 2 .. 512
  uint16_t sonoBandStep = 1;
  uint8_t sampleBits = 8;             // 8 or 16: the sample rows the transform reads
  int16_t rangeDb = kDefaultRangeDb;  // 16-bit: the floor of the level axis, dB below full scale
};

inline bool isValidBandCount(long n) {
  return n >= kMinBands && n <= kMaxBands;
}

inline bool isValidRange(long db) {
  for (const int r : kRangesDb) {
    if (db == r) return true;
  }
  return false;
}

// Sets windowLength, phonOffset, bandsPerRadian and bufferLength from bandCount.
// Throws AssertionFailure unless bandCount is 8 .. 512; callers refuse other values first.
void deriveBandSettings(BandSettings& s);

}  // namespace bandscope
