#pragma once
// Per-frame band processing: levels with the optional phon boost, fast and slow averages,
// held peaks, loudness and deviation meters, and the newest sonogram row.
//
// Threads: UI thread only. The frame routine owns one SpectrumState and passes it the
// frame's snapshot of the sample buffer.

#include <cstdint>

#include "band_settings.h"
#include "band_transform.h"
#include "sample_buffer.h"

namespace bandscope {

struct SpectrumState {
  int16_t bandLevel[kChannels][kMaxBands];
  int16_t bandFast[kChannels][kMaxBands];
  int16_t bandSlow[kChannels][kMaxBands];
  int16_t bandPeak[kChannels][kMaxBands];
  int16_t peakHold[kChannels][kMaxBands];
  int32_t loudnessMeter[kChannels];
  int32_t deviationMeter[kChannels];
  int16_t sonoHistory[kMaxSonoRows][kMaxBands];  // row sonoSteps - 1 is the newest
};

// The check boxes the processing reads, filled by the caller each frame.
struct BandOptions {
  bool boostHi_check = true;  // the phon boost
  bool sono_check = true;     // sonogram drawn and scrolled
  bool stereo = true;         // StereoCheckBox: channels 0 and 1, else channel 0 only
};

// Start-up values: everything 0, then for both channels entries
// 0 .. min(bufferLength, 512) - 1 of the level, average and peak rows 0 and of peakHold 80.
void initSpectrumState(SpectrumState& st, const BandSettings& s);

// The analysis of channel c for one frame: transform of the channel's newest window in
// `samples`, then levels, averages, peaks, meters and (when c is the frame's last channel)
// the newest sonogram row. Builds the transform tables when they are stale.
void analyseChannel(int c, const BandOptions& o, BandSettings& s, TransformTables& t,
                    SpectrumState& st, const SampleRows& samples);

// The rest of analyseChannel after the transform: channel c's magnitudes (bandCount of them)
// become levels, with the phon boost when it is on, and go through applyFrameLevels.
void applyMagnitudes(int c, const BandOptions& o, const BandSettings& s, SpectrumState& st,
                     const int16_t* magnitudes);

// The same for 16-bit magnitudes (real numbers): levels on the dB-linear axis of level_axis.h.
void applyMagnitudes16(int c, const BandOptions& o, const BandSettings& s, SpectrumState& st,
                       const double* magnitudes);

// One frame's rules for channel c from that frame's levels (levels[0 .. bandCount - 1]):
// stores the levels and updates the averages, peaks, meters and, when c is the frame's last
// channel, the newest sonogram row. analyseChannel ends with this call.
void applyFrameLevels(int c, const BandOptions& o, const BandSettings& s, SpectrumState& st,
                      const int32_t* levels);

// The phon boost of band i's magnitude m: m x (i + phonOffset) / (bandCount shr 2), rounded.
int32_t phonBoost(int i, int32_t m, const BandSettings& s);

// Moves the sonogram history up by one row: row k + 1 over row k for k = 0 .. sonoSteps - 2.
// The frame routine calls it after drawing the sonogram.
void scrollSonogram(SpectrumState& st, uint16_t sonoSteps);

}  // namespace bandscope
