#include "analysis/decimator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/assertion.h"
#include "analysis/cpu_features.h"

namespace bandscope {
namespace {

double gainDb(double gain) {
  return 20 * std::log10(std::max(std::fabs(gain), 1e-30));
}

// A filter's gain at f (cycles per input sample), from its taps.
double response(const StageFilter& f, double frequency) {
  std::vector<double> taps(2 * static_cast<size_t>(f.reach) + 1);
  stageTaps(f, taps.data());
  double sum = 0;
  for (int j = 0; j <= 2 * f.reach; ++j)
    sum +=
        taps[static_cast<size_t>(j)] * std::cos(2 * std::numbers::pi * frequency * (j - f.reach));
  return sum;
}

// Each stage passes what the range keeps and rejects what its halving would fold into the
// range: [0, pass] within the ripple, [stop, 1/2] by 110 dB, in its input's cycles per sample.
TEST(DecimationFilters, EveryStageMeetsItsPassbandAndStopband) {
  struct Row {
    int later;
    double pass, stop, rippleDb;
  };
  const Row rows[] = {{0, 0.2, 0.3, 0.02},
                      {1, 0.125, 0.35, 0.02},
                      {2, 0.0625, 0.425, 0.02},
                      {3, 0.03125, 0.4625, 0.02},
                      {4, 1 / 64.0, 0.48125, 0.07},
                      {5, 1 / 128.0, 0.490625, 0.02},
                      {6, 1 / 256.0, 0.4953125, 0.02}};
  for (const Row& r : rows) {
    const StageFilter f = stageFilter(r.later);
    EXPECT_NEAR(response(f, 0), 1, 1e-6) << r.later;
    for (int i = 0; i <= 1000; ++i) {
      const double pass = response(f, r.pass * i / 1000);
      ASSERT_LE(std::fabs(gainDb(pass)), r.rippleDb) << r.later << " at " << r.pass * i / 1000;
      const double stop = response(f, r.stop + (0.5 - r.stop) * i / 1000);
      ASSERT_LE(gainDb(stop), -110) << r.later << " at " << r.stop + (0.5 - r.stop) * i / 1000;
    }
  }
  EXPECT_THROW(stageFilter(7), AssertionFailure);
}

// Both channels of 16-bit little-endian samples, and the decimator's outputs of them.
struct Signal {
  std::vector<uint8_t> bytes[kChannels];
  void push(int16_t left, int16_t right) {
    for (int c = 0; c < kChannels; ++c) {
      const auto v = static_cast<uint16_t>(c == 0 ? left : right);
      bytes[c].push_back(static_cast<uint8_t>(v & 0xFF));
      bytes[c].push_back(static_cast<uint8_t>(v >> 8));
    }
  }
};

// The outputs of `d` fed `samples` of 16-bit (or 8-bit) bytes in blocks of the given sizes,
// taken in turn.
std::vector<float> feed(Decimator& d, const Signal& s, int bits, const std::vector<int>& blocks,
                        DecimatorCode code) {
  std::vector<float> out;
  float chunk[kDecimatorOutputCapacity + 1];
  chunk[kDecimatorOutputCapacity] = -12345.0f;  // past the capacity: never written
  const int bytes = bits / 8;
  const int samples = static_cast<int>(s.bytes[0].size()) / bytes;
  size_t b = 0;
  for (int done = 0; done < samples; b = (b + 1) % blocks.size()) {
    const int n = std::min(blocks[b], samples - done);
    const uint8_t* in[] = {s.bytes[0].data() + done * bytes, s.bytes[1].data() + done * bytes};
    const int fresh = d.process(in, n, chunk, code);
    EXPECT_EQ(chunk[kDecimatorOutputCapacity], -12345.0f) << "written past the capacity";
    out.insert(out.end(), chunk, chunk + 2 * fresh);
    done += n;
  }
  return out;
}

// Amplitude of the sine of `cycles` per output sample in channel c of the outputs, from
// `skip` on (past the filters' start): a least-squares fit, blind to the input's rounding.
double amplitude(const std::vector<float>& out, int c, double cycles, size_t skip) {
  double s = 0, k = 0;
  const size_t n = out.size() / 2 - skip;
  for (size_t m = 0; m < n; ++m) {
    const double phase = 2 * std::numbers::pi * cycles * static_cast<double>(m + skip);
    s += out[2 * (m + skip) + static_cast<size_t>(c)] * std::sin(phase);
    k += out[2 * (m + skip) + static_cast<size_t>(c)] * std::cos(phase);
  }
  return 2 * std::hypot(s, k) / static_cast<double>(n);
}

// Full-scale sines at fractions of the analysed range's upper edge E = 22050 / timeScale Hz:
// inside the range they come through at their amplitude, above 1.2 E not at all, wherever
// they would fold to. The right channel carries a sine of the other kind at once.
TEST(Decimator, PassesTheRangeAndRejectsWhatWouldFoldIntoIt) {
  const double inRange[] = {0.1, 0.5, 0.8};
  const double folding[] = {1.2, 1.9, 3.7, 9.3};
  for (int ts = 2; ts <= 128; ts *= 2) {
    for (size_t row = 0; row < 4; ++row) {
      const double pass = inRange[row % 3] / (2 * ts);  // cycles per input sample
      const double stop = folding[row] / (2 * ts);
      if (stop >= 0.5) continue;
      // Dithered, so that the rounding of the input is noise rather than a pattern of the
      // sine's, some of which would lie in the range already.
      std::mt19937 rng(11);
      std::uniform_real_distribution<double> dither(-0.5, 0.5);
      auto sample = [&](double cycles, int n) {
        const double v = 32000 * std::sin(2 * std::numbers::pi * cycles * n);
        return static_cast<int16_t>(std::lrint(v + dither(rng) + dither(rng)));
      };
      Signal s;
      for (int n = 0; n < 1500 * ts; ++n) s.push(sample(pass, n), sample(stop, n));
      Decimator d;
      d.configure(ts, 16);
      const auto out = feed(d, s, 16, {512}, DecimatorCode::Portable);
      const double folded = std::fabs(stop * ts - std::round(stop * ts));
      EXPECT_NEAR(gainDb(amplitude(out, 0, pass * ts, 200) / 32000), 0, 0.1) << ts << " " << row;
      EXPECT_LE(gainDb(amplitude(out, 1, folded, 200) / 32000), -105) << ts << " " << row;
    }
  }
}

// A sound cut into blocks of any sizes gives exactly what it gives in one piece, with the
// vector code as with the portable one, and 8-bit samples what the same as 16-bit ones give.
// Silence gives exact silence.
TEST(Decimator, BlockEdgesAndCodeLeaveNoTrace) {
  std::mt19937 rng(3);
  std::vector<uint8_t> noise(6000);
  for (auto& v : noise) v = static_cast<uint8_t>(rng());
  Signal wide;  // the bytes as 16-bit samples, (x - 128) x 256
  Signal narrow;
  for (size_t k = 0; k + 1 < noise.size(); k += 2) {
    wide.push(static_cast<int16_t>((noise[k] - 128) * 256),
              static_cast<int16_t>((noise[k + 1] - 128) * 256));
    narrow.bytes[0].push_back(noise[k]);
    narrow.bytes[1].push_back(noise[k + 1]);
  }
  const std::vector<int> whole = {kDecimatorChunk};
  const std::vector<int> odd = {1, 7, 511, 3, 200, 2, 65};
  const DecimatorCode fast = haveAvx2() ? DecimatorCode::Avx2 : DecimatorCode::Portable;
  for (int ts = 1; ts <= 128; ts *= 2) {
    Decimator d;
    d.configure(ts, 16);
    const auto expected = feed(d, wide, 16, whole, DecimatorCode::Portable);
    ASSERT_NEAR(static_cast<double>(expected.size() / 2), 3000.0 / ts, kMaxDecimationStages) << ts;
    for (const auto& [bits, blocks] : {std::pair{16, whole}, {16, odd}, {8, whole}, {8, odd}}) {
      d.configure(ts, bits);
      const auto got = feed(d, bits == 16 ? wide : narrow, bits, blocks, fast);
      ASSERT_EQ(got.size(), expected.size()) << ts << " " << bits << " " << blocks.size();
      EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)), 0)
          << ts << " " << bits << " " << blocks.size();
    }
    Signal quiet;
    quiet.bytes[0].assign(3000, 128);
    quiet.bytes[1].assign(3000, 128);
    d.configure(ts, 8);
    for (const float v : feed(d, quiet, 8, odd, fast)) ASSERT_EQ(v, 0.0f) << ts;
  }
}

TEST(Decimator, RefusesOtherTimeScalesAndWidths) {
  Decimator d;
  for (const int32_t ts : {0, 3, 256, -2}) EXPECT_THROW(d.configure(ts, 8), AssertionFailure) << ts;
  EXPECT_THROW(d.configure(2, 12), AssertionFailure);
  EXPECT_EQ(stageCount(64), 6);
}

}  // namespace
}  // namespace bandscope
