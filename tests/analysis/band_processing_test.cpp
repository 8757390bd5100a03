#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/band_processing.h"
#include "analysis/level_axis.h"
#include "analysis/level_scale.h"
#include "analysis/sample_buffer.h"

namespace bandscope {
namespace {

BandSettings settingsFor(uint16_t bandCount) {
  BandSettings s;
  s.bandCount = bandCount;
  deriveBandSettings(s);
  return s;
}

class BandProcessing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { tables_ = new TransformTables; }
  static void TearDownTestSuite() {
    delete tables_;
    tables_ = nullptr;
  }

  void SetUp() override {
    s_ = settingsFor(192);
    st_ = std::make_unique<SpectrumState>();
    initSpectrumState(*st_, s_);
    std::memset(samples_.sampleBuffer, 128, sizeof samples_.sampleBuffer);
  }

  void useBands(uint16_t bandCount) {
    s_ = settingsFor(bandCount);
    initSpectrumState(*st_, s_);
  }

  // One frame of channel c with the same level in every band.
  void frame(int c, int32_t level, bool stereo = false) {
    std::vector<int32_t> levels(kMaxBands, level);
    BandOptions o;
    o.stereo = stereo;
    applyFrameLevels(c, o, s_, *st_, levels.data());
  }

  void analyse(int c, bool stereo = true, bool boost = true) {
    BandOptions o;
    o.stereo = stereo;
    o.boostHi_check = boost;
    analyseChannel(c, o, s_, *tables_, *st_, samples_);
  }

  // Channel 0's levels of a sine at `hz` (44100 frames a second), `dbfs` below full scale,
  // handed off at time scale ts and sample width bits for long enough to fill the rows and
  // settle the filters; 16-bit samples on the default range's axis. With `direct`, the sine
  // is put into the rows at the analysis rate instead: what an ideal thinning gives.
  std::vector<int32_t> handedOff(int bits, int32_t ts, double hz, double dbfs, bool direct = false,
                                 bool boost = true) {
    s_ = settingsFor(192);
    s_.timeScale = ts;
    s_.sampleBits = static_cast<uint8_t>(bits);
    const double amplitude = (bits == 16 ? 32767 : 127) * std::pow(10, dbfs / 20);
    auto sample = [&](long n, long rate) {
      return std::lrint(amplitude * std::sin(2 * std::numbers::pi * hz * n / rate));
    };
    SampleBuffer buffer;
    buffer.setLayout(s_.bufferLength, ts, bits);
    std::vector<uint8_t> block(1024);
    for (long b = 0, n = 0; b < 2 * ts + 8 && !direct; ++b) {
      for (int k = 0; k < 512; ++k, ++n) {
        const long v = sample(n, 44100);
        if (bits == 16) {
          block[2 * static_cast<size_t>(k)] = static_cast<uint8_t>(v & 0xFF);
          block[2 * static_cast<size_t>(k) + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
        } else {
          block[static_cast<size_t>(k)] = static_cast<uint8_t>(v + 128);
        }
      }
      buffer.append(block.data(), block.data(), static_cast<uint16_t>(512 * bits / 8));
      buffer.drain();  // one block a tick, as the window takes them
    }
    buffer.snapshot(samples_);
    for (int j = 0; j < s_.bufferLength && direct; ++j) {
      samples_.sampleBuffer16[0][j] = static_cast<int16_t>(sample(j, 44100 / ts));
      samples_.sampleBuffer[0][j] = static_cast<uint8_t>(sample(j, 44100 / ts) + 128);
    }
    BandOptions o;
    o.stereo = false;
    o.boostHi_check = boost;
    if (bits == 16) {
      double m[kMaxBands];
      bandTransform16(s_, *tables_, m,
                      samples_.sampleBuffer16[0] + s_.bufferLength - s_.windowLength);
      applyMagnitudes16(0, o, s_, *st_, m);
    } else {
      analyseChannel(0, o, s_, *tables_, *st_, samples_);
    }
    return {st_->bandLevel[0], st_->bandLevel[0] + s_.bandCount};
  }

  double dbfs(const std::vector<int32_t>& levels, int band, bool boost = true) const {
    return decibelsOfLevel(levels[static_cast<size_t>(band)], band, boost, s_);
  }

  // The transform's magnitudes of channel c's window, for checking the levels made of them.
  std::vector<int16_t> magnitudes(int c) {
    std::vector<int16_t> m(kMaxBands);
    bandTransform(s_, *tables_, m.data(), samples_.sampleBuffer[c]);
    return m;
  }

  static TransformTables* tables_;
  BandSettings s_;
  std::unique_ptr<SpectrumState> st_;
  SampleRows samples_;
};

TransformTables* BandProcessing::tables_ = nullptr;

// The floor: the level of a band with nothing in it.
const int32_t kSilent = levelScale(0);

TEST_F(BandProcessing, StartValues) {
  st_->sonoHistory[3][7] = 5;
  st_->loudnessMeter[1] = 9;
  initSpectrumState(*st_, s_);  // 384 samples: bands 0 .. 383 hold 80
  for (int c = 0; c < kChannels; ++c) {
    for (int i = 0; i < kMaxBands; ++i) {
      ASSERT_EQ(st_->peakHold[c][i], i < 384 ? 80 : 0) << c << ", " << i;
      ASSERT_EQ(
          st_->bandLevel[c][i] | st_->bandFast[c][i] | st_->bandSlow[c][i] | st_->bandPeak[c][i],
          0);
    }
    EXPECT_EQ(st_->loudnessMeter[c], 0);
    EXPECT_EQ(st_->deviationMeter[c], 0);
  }
  EXPECT_EQ(st_->sonoHistory[3][7], 0);
  useBands(512);
  EXPECT_EQ(st_->peakHold[1][511], 80);
}

TEST_F(BandProcessing, SilenceSettles) {
  for (int n = 1; n <= 300; ++n) {
    analyse(0);
    analyse(1);
    for (int c = 0; c < kChannels; ++c) {
      for (int i = 0; i < 192; ++i) {
        ASSERT_EQ(st_->bandLevel[c][i], kSilent) << "frame " << n << ", band " << i;
        ASSERT_EQ(st_->bandFast[c][i], kSilent);
        ASSERT_EQ(st_->bandSlow[c][i], 0);  // a level below 64 never lifts it
        ASSERT_EQ(st_->bandPeak[c][i], kSilent);
      }
    }
  }
  for (int c = 0; c < kChannels; ++c) {
    EXPECT_EQ(st_->loudnessMeter[c], 4);
    EXPECT_EQ(st_->deviationMeter[c], 3);
  }
}

TEST_F(BandProcessing, FastAverageJumpsUpAndFallsByAFifth) {
  frame(0, 200);
  EXPECT_EQ(st_->bandFast[0][0], 200);
  const int16_t expected[] = {180, 164, 151, 140, 132, 125, 120, 116, 112,
                              109, 107, 105, 104, 103, 102, 101, 100, 100};
  for (const int16_t fast : expected) {
    frame(0, 100);
    for (int i = 0; i < 192; ++i) ASSERT_EQ(st_->bandFast[0][i], fast) << "band " << i;
  }
}

TEST_F(BandProcessing, SlowAverageFollowsThePreviousFastAverage) {
  frame(0, 100);
  EXPECT_EQ(st_->bandFast[0][5], 100);
  EXPECT_EQ(st_->bandSlow[0][5], 0);  // moved towards the fast average as it was: 0
  for (int n = 1; n <= 37; ++n) {
    frame(0, 100);
    ASSERT_EQ(st_->bandSlow[0][5], n);
  }
  for (int n = 0; n < 200; ++n) frame(0, 100);
  EXPECT_EQ(st_->bandSlow[0][5], 37);  // stops 63 below its target

  int16_t previous = 300;
  std::fill_n(st_->bandSlow[0], 192, int16_t{300});
  std::fill_n(st_->bandFast[0], 192, int16_t{100});
  for (int n = 0; n < 400; ++n) {
    frame(0, 100);
    ASSERT_LE(st_->bandSlow[0][5], previous);
    previous = st_->bandSlow[0][5];
  }
  for (int i = 0; i < 192; ++i) EXPECT_EQ(st_->bandSlow[0][i], 100) << "band " << i;
}

TEST_F(BandProcessing, PeakHoldsThenDecays) {
  struct Point {
    int frame;
    int16_t peak;
  };
  const Point timeline[] = {{1, 200},   {84, 200}, {85, 199}, {88, 196}, {89, 194},
                            {100, 160}, {118, 38}, {119, 0},  {120, 11}, {121, 11}};
  frame(0, 200);
  int n = 0;
  for (const Point& p : timeline) {
    while (n < p.frame) {
      frame(0, 11);
      ++n;
      if (n <= 84) {
        ASSERT_EQ(st_->bandPeak[0][40], 200) << "frame " << n;
      }
    }
    EXPECT_EQ(st_->bandPeak[0][40], p.peak) << "frame " << n;
  }
}

TEST_F(BandProcessing, PeakFollowsARisingLevelAndRestartsTheHold) {
  frame(0, 200);
  for (int n = 0; n < 100; ++n) frame(0, 11);
  EXPECT_EQ(st_->bandPeak[0][0], 160);
  frame(0, 160);  // reaching the peak sets it again
  EXPECT_EQ(st_->peakHold[0][0], 0);
  frame(0, 300);
  EXPECT_EQ(st_->bandPeak[0][0], 300);
  for (int n = 0; n < 84; ++n) frame(0, 11);
  EXPECT_EQ(st_->bandPeak[0][0], 300);
  EXPECT_EQ(st_->peakHold[0][0], 84);
}

TEST_F(BandProcessing, MetersSettleForSteadyLevels) {
  for (int n = 0; n < 300; ++n) frame(0, 100);
  EXPECT_EQ(st_->loudnessMeter[0], 48);
  EXPECT_EQ(st_->deviationMeter[0], 45);  // the slow averages stay 63 below

  initSpectrumState(*st_, s_);
  for (int n = 0; n < 400; ++n) frame(0, 200);
  EXPECT_EQ(st_->loudnessMeter[0], 96);
  EXPECT_EQ(st_->deviationMeter[0], 45);
}

TEST_F(BandProcessing, MetersRiseAtOnceFallSmoothlyAndStopAt256) {
  frame(0, 100);
  EXPECT_EQ(st_->loudnessMeter[0], 48);
  frame(0, 11);
  EXPECT_EQ(st_->loudnessMeter[0], 37);  // (3 x 48 + 4) shr 2
  frame(0, 2000);
  EXPECT_EQ(st_->loudnessMeter[0], 256);
  EXPECT_EQ(st_->deviationMeter[0], 256);
  frame(0, 11);
  EXPECT_EQ(st_->loudnessMeter[0], 193);  // (3 x 256 + 4) shr 2
  initSpectrumState(*st_, s_);
  st_->deviationMeter[0] = 200;
  frame(0, 11);                            // a deviation sum of 3
  EXPECT_EQ(st_->deviationMeter[0], 175);  // (7 x 200 + 3) shr 3
  EXPECT_EQ(st_->loudnessMeter[1], 0);
}

TEST_F(BandProcessing, StereoSonogramRowTakesTheLouderChannel) {
  const int newest = s_.sonoSteps - 1;
  std::vector<int32_t> left(kMaxBands);
  std::vector<int32_t> right(kMaxBands);
  for (int i = 0; i < 192; ++i) {
    left[i] = i % 2 ? 50 : 300;
    right[i] = i % 2 ? 400 : 20;
  }
  const BandOptions stereo;
  applyFrameLevels(0, stereo, s_, *st_, left.data());
  for (int i = 0; i < 192; ++i) ASSERT_EQ(st_->sonoHistory[newest][i], 0);  // not the last
  applyFrameLevels(1, stereo, s_, *st_, right.data());
  for (int i = 0; i < 192; ++i) ASSERT_EQ(st_->sonoHistory[newest][i], i % 2 ? 400 : 300);
  for (int k = 0; k < kMaxSonoRows; ++k) {
    if (k != newest) {
      ASSERT_EQ(st_->sonoHistory[k][1], 0) << "row " << k;
    }
  }
}

TEST_F(BandProcessing, MonoUsesChannel0AndLeavesChannel1Alone) {
  for (int i = 0; i < 192; ++i) samples_.sampleBuffer[0][i] = static_cast<uint8_t>(i * 37);
  st_->bandFast[1][3] = 1234;
  st_->loudnessMeter[1] = 77;
  const auto saved = std::make_unique<SpectrumState>(*st_);
  const SpectrumState& before = *saved;
  analyse(0, false);
  for (int i = 0; i < 192; ++i) {
    ASSERT_EQ(st_->sonoHistory[s_.sonoSteps - 1][i], st_->bandFast[0][i]) << "band " << i;
  }
  EXPECT_EQ(std::memcmp(st_->bandLevel[1], before.bandLevel[1], sizeof st_->bandLevel[1]), 0);
  EXPECT_EQ(std::memcmp(st_->bandFast[1], before.bandFast[1], sizeof st_->bandFast[1]), 0);
  EXPECT_EQ(std::memcmp(st_->bandPeak[1], before.bandPeak[1], sizeof st_->bandPeak[1]), 0);
  EXPECT_EQ(std::memcmp(st_->peakHold[1], before.peakHold[1], sizeof st_->peakHold[1]), 0);
  EXPECT_EQ(st_->loudnessMeter[1], 77);
  EXPECT_EQ(st_->deviationMeter[1], 0);
}

TEST_F(BandProcessing, SonogramScrollMovesWholeRowsUp) {
  auto value = [](int k, int i) { return static_cast<int16_t>(k * 600 + i); };
  for (const uint16_t steps : {uint16_t{2}, uint16_t{64}, uint16_t{512}}) {
    for (int k = 0; k < kMaxSonoRows; ++k) {
      for (int i = 0; i < kMaxBands; ++i) st_->sonoHistory[k][i] = value(k, i);
    }
    scrollSonogram(*st_, steps);
    for (int k = 0; k < kMaxSonoRows; ++k) {
      const int from = k + 1 < steps ? k + 1 : k;  // the newest row and those above stay
      for (int i = 0; i < kMaxBands; ++i) {
        ASSERT_EQ(st_->sonoHistory[k][i], value(from, i)) << steps << " rows: " << k << ", " << i;
      }
    }
  }
}

TEST_F(BandProcessing, AnalysisWritesOnlyTheNewestSonogramRow) {
  s_.sonoSteps = 2;
  for (int k = 0; k < kMaxSonoRows; ++k) std::fill_n(st_->sonoHistory[k], kMaxBands, -1);
  analyse(0, false);
  EXPECT_EQ(st_->sonoHistory[1][0], kSilent);
  EXPECT_EQ(st_->sonoHistory[1][191], kSilent);
  EXPECT_EQ(st_->sonoHistory[1][192], -1);
  EXPECT_EQ(st_->sonoHistory[0][0], -1);
  EXPECT_EQ(st_->sonoHistory[2][0], -1);
}

// Deterministic noise, so that every band has a magnitude of its own.
void fillNoise(uint8_t* row, int n, uint32_t seed) {
  for (int j = 0; j < n; ++j) {
    seed = seed * 1664525u + 1013904223u;
    row[j] = static_cast<uint8_t>(seed >> 24);
  }
}

TEST_F(BandProcessing, LevelsWithoutTheBoostDependOnlyOnTheMagnitude) {
  fillNoise(samples_.sampleBuffer[0], s_.windowLength, 7);
  const std::vector<int16_t> m = magnitudes(0);
  analyse(0, false, false);
  for (int i = 0; i < 192; ++i) {
    ASSERT_GT(m[i], 0);
    ASSERT_EQ(st_->bandLevel[0][i], levelScale(m[i])) << "band " << i;
  }
}

TEST_F(BandProcessing, ReadsTheNewestWindowOfTheBuffer) {
  s_.bufferLength = kMaxSamples;  // a longer buffer: only its last 384 samples count
  fillNoise(samples_.sampleBuffer[0], kMaxSamples - s_.windowLength, 3);
  analyse(0, false);
  for (int i = 0; i < 192; ++i) ASSERT_EQ(st_->bandLevel[0][i], kSilent) << "band " << i;
}

TEST_F(BandProcessing, FullScaleSignalsNeverWrapTheStores) {
  useBands(512);
  const int window = s_.windowLength;
  const int32_t topLevel = levelScale(5 * 32767);  // boost factor below 5, magnitude in 16 bits
  auto checkRanges = [&](const char* what, int band) {
    for (int c = 0; c < kChannels; ++c) {
      for (int i = 0; i < 512; ++i) {
        ASSERT_GE(st_->bandLevel[c][i], kSilent) << what << band << " band " << i;
        ASSERT_LE(st_->bandLevel[c][i], topLevel) << what << band << " band " << i;
        ASSERT_GE(st_->bandFast[c][i], kSilent) << what << band << " band " << i;
        ASSERT_LE(st_->bandFast[c][i], topLevel) << what << band << " band " << i;
        ASSERT_GE(st_->bandSlow[c][i], 0) << what << band << " band " << i;
        ASSERT_LE(st_->bandSlow[c][i], st_->bandPeak[c][i] + topLevel);
        ASSERT_GE(st_->bandPeak[c][i], 0) << what << band << " band " << i;
        ASSERT_LE(st_->bandPeak[c][i], topLevel) << what << band << " band " << i;
        ASSERT_GE(st_->peakHold[c][i], 0) << what << band << " band " << i;
      }
      ASSERT_GE(st_->loudnessMeter[c], 0);
      ASSERT_LE(st_->loudnessMeter[c], 256);
      ASSERT_GE(st_->deviationMeter[c], 0);
      ASSERT_LE(st_->deviationMeter[c], 256);
    }
  };
  auto run = [&](int frames) {
    for (int n = 0; n < frames; ++n) {
      analyse(0);
      analyse(1);
    }
  };
  for (int band = 0; band < 512; ++band) {
    const int cycles = band + 2;
    for (int j = 0; j < window; ++j) {
      const bool high = (2 * j * cycles / window) % 2 == 0;  // a square wave, 0 and 255
      samples_.sampleBuffer[0][j] = high ? 255 : 0;
      samples_.sampleBuffer[1][j] = high ? 0 : 255;
    }
    const std::vector<int16_t> m = magnitudes(0);
    ASSERT_GT(m[band], 1000) << "square wave " << band;
    run(band % 64 == 0 ? 130 : 1);  // now and then long enough for held peaks to decay
    checkRanges("square wave ", band);
  }
  for (const uint8_t level : {uint8_t{0}, uint8_t{255}}) {
    std::memset(samples_.sampleBuffer, level, sizeof samples_.sampleBuffer);
    run(130);
    checkRanges("constant ", level);
    EXPECT_EQ(st_->bandLevel[0][0], kSilent);
  }
  for (int j = 0; j < window; ++j)
    samples_.sampleBuffer[0][j] = samples_.sampleBuffer[1][j] = j % 2 ? 255 : 0;
  run(10);
  checkRanges("alternating ", 0);
}

// A full-scale sine at 1.2 and 1.9 times the analysed range's upper edge E = 22050 / ts Hz
// folds into the range when thinned; filtered, it raises no band by more than 3 dB (16-bit
// samples) or 3 levels (8-bit ones) above the same run on silence.
TEST_F(BandProcessing, SinesAboveTheRangeStayAtTheSilentFloor) {
  for (const int bits : {8, 16}) {
    for (const int32_t ts : {2, 4, 8, 128}) {
      const auto silent = handedOff(bits, ts, 0, 0);
      const double allowed = bits == 16 ? 3.0 * topLevel(s_) / s_.rangeDb : 3;
      for (const double above : {1.2, 1.9}) {
        const auto levels = handedOff(bits, ts, above * 22050 / ts, 0);
        for (int i = 0; i < s_.bandCount; ++i) {
          ASSERT_LE(levels[static_cast<size_t>(i)], silent[static_cast<size_t>(i)] + allowed)
              << bits << " bits, time scale " << ts << ", " << above << " E, band " << i;
        }
      }
    }
  }
}

// Sines at about 0.1, 0.5 and 0.8 of the upper edge (on band centres) read within 1 dB of
// what the same sine reads when put into the rows directly at the analysis rate.
TEST_F(BandProcessing, SinesInTheRangeReadAsUnfiltered) {
  for (const int bits : {8, 16}) {
    for (const int32_t ts : {2, 4, 8, 128}) {
      for (const int cycles : {20, 96, 154}) {  // in the window of 384; band cycles - 2
        const double hz = cycles * 44100.0 / ts / 384;
        const double got = dbfs(handedOff(bits, ts, hz, -6), cycles - 2);
        const double expected = dbfs(handedOff(bits, ts, hz, -6, true), cycles - 2);
        EXPECT_NEAR(got, expected, 1) << bits << " bits, time scale " << ts << ", " << cycles;
      }
    }
  }
}

// 16-bit samples at the default time scale and range, without the phon boost (whose factor
// below 1 would lift the floor of the low bands): a sine near 1 kHz (on a band centre) reads
// its level within 1.5 dB down to -80 dBFS, where it still stands 10 dB over the bands around
// it; at -10 dBFS no band away from it rises above -90 dBFS.
TEST_F(BandProcessing, SixteenBitDepth) {
  const int band = 16;  // 18 cycles in the window: 1033.6 Hz at time scale 2
  const double hz = (band + 2) * 22050.0 / 384;
  for (const double level : {-10.0, -20.0, -40.0, -60.0, -80.0}) {
    const auto levels = handedOff(16, 2, hz, level, false, false);
    EXPECT_NEAR(dbfs(levels, band, false), level, 1.5) << level;
    for (int i = 0; i < s_.bandCount; ++i) {
      if (std::abs(i - band) < 3) continue;
      if (level == -10) {
        EXPECT_LE(dbfs(levels, i, false), -90) << "band " << i;
      }
      if (level == -80 && std::abs(i - band) <= 20) {
        EXPECT_LE(dbfs(levels, i, false), dbfs(levels, band, false) - 10) << "band " << i;
      }
    }
  }
}

// The double-precision fast paths must round exactly as the extended-precision
// definitions do, for every magnitude a band can reach (at most about 52,000 after the
// boost) and beyond.
TEST(LevelScale, AgreesWithItsExtendedDefinitionEverywhere) {
  for (int32_t v = 0; v <= 300000; ++v) {
    const long double x = std::log(static_cast<long double>(v) / 10.0L + 2.5L) * 116.0L;
    ASSERT_EQ(levelScale(v), static_cast<int32_t>(std::nearbyintl(x)) - 95) << v;
  }
}

TEST(PhonBoost, AgreesWithItsExtendedDefinition) {
  for (uint16_t bands : {8, 37, 192, 512}) {
    const BandSettings s = settingsFor(bands);
    const long double quarter = bands >> 2;
    for (int i = 0; i < bands; ++i) {
      for (int32_t m = 0; m <= 12000; m += (m < 600 ? 1 : 37)) {
        const long double exact = static_cast<long double>(i + s.phonOffset) / quarter * m;
        ASSERT_EQ(phonBoost(i, m, s), static_cast<int32_t>(std::nearbyintl(exact)))
            << bands << " bands, band " << i << ", magnitude " << m;
      }
    }
  }
}

}  // namespace
}  // namespace bandscope
