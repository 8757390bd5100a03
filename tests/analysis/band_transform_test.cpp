#include "analysis/band_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "analysis/assertion.h"
#include "analysis/reference_transform.h"
#include "analysis/transform_kernel.h"

namespace bandscope {
namespace {

struct Transform {
  explicit Transform(int bands) {
    s.bandCount = static_cast<uint16_t>(bands);
    deriveBandSettings(s);
  }
  std::vector<int16_t> run(const std::vector<uint8_t>& window) {
    std::vector<int16_t> out(kMaxBands, -1);
    bandTransform(s, *t, out.data(), window.data());
    return bandsOf(out);
  }
  // Both channels in one call.
  std::pair<std::vector<int16_t>, std::vector<int16_t>> runStereo(const std::vector<uint8_t>& w0,
                                                                  const std::vector<uint8_t>& w1) {
    std::vector<int16_t> out0(kMaxBands, -1);
    std::vector<int16_t> out1(kMaxBands, -1);
    bandTransformStereo(s, *t, out0.data(), out1.data(), w0.data(), w1.data());
    return {bandsOf(out0), bandsOf(out1)};
  }
  // The first bandCount values; nothing past them may have been written.
  std::vector<int16_t> bandsOf(std::vector<int16_t> out) const {
    for (size_t j = s.bandCount; j < out.size(); ++j)
      EXPECT_EQ(out[j], -1) << "past the bands: " << j;
    out.resize(s.bandCount);
    return out;
  }
  BandSettings s;
  std::unique_ptr<TransformTables> t = std::make_unique<TransformTables>();
};

std::vector<int16_t> referenceRun(int bands, const std::vector<uint8_t>& window) {
  auto t = std::make_unique<reference::Tables>();
  reference::buildTables(*t, bands);
  std::vector<int16_t> out(static_cast<size_t>(bands));
  reference::bandTransform(*t, out.data(), window.data());
  return out;
}

std::vector<uint8_t> constant(int length, uint8_t v) {
  return std::vector<uint8_t>(static_cast<size_t>(length), v);
}

// A sine of `amplitude` about 128 with `cycles` whole periods in the window.
std::vector<uint8_t> sine(int length, double cycles, double amplitude, double phase = 0) {
  std::vector<uint8_t> w(static_cast<size_t>(length));
  for (int j = 0; j < length; ++j) {
    const double v = 128 + amplitude * std::sin(2 * std::numbers::pi * cycles * j / length + phase);
    w[static_cast<size_t>(j)] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
  }
  return w;
}

// Full scale: 0 for the first half of each period, 255 for the second.
std::vector<uint8_t> square(int length, int period) {
  std::vector<uint8_t> w(static_cast<size_t>(length));
  for (int j = 0; j < length; ++j) w[static_cast<size_t>(j)] = (j % period) < period / 2 ? 0 : 255;
  return w;
}

TEST(BandTransformTables, MatchTheirDefinitionAtEveryBandCount) {
  auto ref = std::make_unique<reference::Tables>();
  for (int bands = kMinBands; bands <= kMaxBands; ++bands) {
    Transform x(bands);
    buildTables(x.s, *x.t);
    reference::buildTables(*ref, bands);
    ASSERT_TRUE(x.s.tablesBuilt);
    ASSERT_EQ(x.t->windowNorm, ref->windowNorm);
    for (int i = 0; i < bands; ++i) {
      ASSERT_EQ(x.t->sinTable[i], ref->sinTable[i]) << bands << " bands, entry " << i;
      ASSERT_EQ(x.t->cosTable[i], ref->cosTable[i]) << bands << " bands, entry " << i;
    }
    for (int j = 0; j < 2 * bands; ++j) {
      for (int i = 0; i < bands; ++i) {
        ASSERT_EQ(x.t->phaseIndex[j][i], ref->phaseIndex[j][i]) << bands << ": " << j << "," << i;
      }
    }
  }
}

TEST(BandTransformTables, KnownEntries) {
  Transform eight(8);
  buildTables(eight.s, *eight.t);
  EXPECT_EQ(eight.t->phaseIndex[0][0], 1);
  EXPECT_EQ(eight.t->phaseIndex[0][1], 2);  // Round(1.5)
  EXPECT_EQ(eight.t->phaseIndex[2][1], 4);  // Round(4.5): tie to even
  EXPECT_FLOAT_EQ(eight.t->windowNorm, 4.0f);
  for (int bands : {8, 37, 192, 512}) {
    Transform x(bands);
    buildTables(x.s, *x.t);
    EXPECT_EQ(x.t->sinTable[bands - 1], 0) << bands;
    EXPECT_EQ(x.t->cosTable[bands - 1], 65536) << bands;
  }
}

// The fast transform must agree with the plain loop in every band, for every kind of window.
TEST(BandTransform, EqualsReferenceInEveryBand) {
  std::mt19937 rng(20261209);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int bands : {8, 9, 37, 192, 511, 512}) {
    const int length = 2 * bands;
    std::vector<std::vector<uint8_t>> windows = {
        constant(length, 128),  constant(length, 0),  constant(length, 255),
        constant(length, 77),   square(length, 2),    square(length, 16),
        square(length, length), sine(length, 5, 127), sine(length, bands - 1, 127, 0.3),
        sine(length, 2.5, 90)};
    for (int k = 0; k < 20; ++k) {
      std::vector<uint8_t> w(static_cast<size_t>(length));
      for (auto& v : w) v = static_cast<uint8_t>(byte(rng));
      windows.push_back(w);
    }
    Transform x(bands);
    for (size_t n = 0; n < windows.size(); ++n) {
      ASSERT_EQ(x.run(windows[n]), referenceRun(bands, windows[n]))
          << bands << " bands, window " << n;
    }
    // Both channels in one pass, each window beside the next: silent, full-scale and random
    // windows meet one another.
    for (size_t n = 0; n < windows.size(); ++n) {
      const auto& right = windows[(n + 1) % windows.size()];
      const auto [v0, v1] = x.runStereo(windows[n], right);
      ASSERT_EQ(v0, x.run(windows[n])) << bands << " bands, stereo left " << n;
      ASSERT_EQ(v1, x.run(right)) << bands << " bands, stereo right " << n;
    }
  }
}

TEST(BandTransform, EqualsReferenceOnNoiseAtEveryBandCount) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> w(kMaxSamples);
  for (auto& v : w) v = static_cast<uint8_t>(byte(rng));
  for (int bands = kMinBands; bands <= kMaxBands; bands += 1 + bands / 16) {
    Transform x(bands);
    ASSERT_EQ(x.run(w), referenceRun(bands, w)) << bands << " bands";
  }
}

TEST(BandTransform, ConstantSignalsCancelAtEvenBandCounts) {
  for (int bands : {8, 192, 512}) {
    Transform x(bands);
    for (uint8_t v : {0, 128, 200, 255}) {
      for (int16_t m : x.run(constant(2 * bands, v))) ASSERT_EQ(m, 0) << bands << " " << int(v);
    }
  }
  // An odd count rounds the phase steps, which leaves a small residue.
  Transform odd(37);
  const auto silence = odd.run(constant(74, 128));
  const int16_t worst = *std::max_element(silence.begin(), silence.end());
  EXPECT_GT(worst, 0);
  EXPECT_LE(worst, 30);
}

TEST(BandTransform, SineLandsInTheBandOfItsCycleCount) {
  Transform x(192);
  const auto out = x.run(sine(384, 5, 100));  // band i holds i + 2 cycles
  const auto top = std::max_element(out.begin(), out.end()) - out.begin();
  EXPECT_EQ(top, 3);
  EXPECT_NEAR(out[3], 100 * std::sqrt(384.0) / 2, 15);
}

TEST(BandTransform, RebuildsTablesAfterBandCountChange) {
  Transform x(192);
  const auto w = sine(1024, 40, 120);
  x.run(w);
  x.s.bandCount = 512;
  deriveBandSettings(x.s);
  x.s.tablesBuilt = false;  // as the band-count change does
  EXPECT_EQ(x.run(w), referenceRun(512, w));
  EXPECT_TRUE(x.s.tablesBuilt);
  x.s.bandCount = 9;
  deriveBandSettings(x.s);
  x.s.tablesBuilt = false;
  EXPECT_EQ(x.run(w), referenceRun(9, w));
  // The stereo entry too.
  x.s.bandCount = 37;
  deriveBandSettings(x.s);
  x.s.tablesBuilt = false;
  const auto quiet = constant(1024, 128);
  const auto [left, right] = x.runStereo(w, quiet);
  EXPECT_TRUE(x.s.tablesBuilt);
  EXPECT_EQ(left, referenceRun(37, w));
  EXPECT_EQ(right, referenceRun(37, quiet));
}

// The worst a window can do to band i: 255 wherever the band's cosine weight is positive.
// The result must be the true magnitude, far inside the 16-bit range.
TEST(BandTransform, FullScaleInputsNeverWrapThe16BitResult) {
  Transform x(512);
  buildTables(x.s, *x.t);
  for (int i = 0; i < 512; ++i) {
    std::vector<uint8_t> w(1024);
    for (int j = 0; j < 1024; ++j) {
      w[static_cast<size_t>(j)] = x.t->cosTable[x.t->phaseIndex[j][i]] > 0 ? 255 : 0;
    }
    int64_t C = 0;
    int64_t S = 0;
    for (int j = 0; j < 1024; ++j) {
      C += w[static_cast<size_t>(j)] * int64_t{x.t->cosTable[x.t->phaseIndex[j][i]]};
      S += w[static_cast<size_t>(j)] * int64_t{x.t->sinTable[x.t->phaseIndex[j][i]]};
    }
    const double a = static_cast<double>(C / 65536);
    const double b = static_cast<double>(S / 65536);
    const double exact = std::sqrt(a * a + b * b) / 32;
    ASSERT_LT(exact, 32767) << "band " << i;
    const auto out = x.run(w);
    ASSERT_EQ(out[static_cast<size_t>(i)], static_cast<long>(std::nearbyint(exact)))
        << "band " << i;
    for (int16_t m : out) ASSERT_GE(m, 0);
  }
}

TEST(BandTransform, RefusesBandCountsOutsideItsTables) {
  for (int bands : {0, 1, 4, 7, 513, 65535}) {
    BandSettings s;
    s.bandCount = static_cast<uint16_t>(bands);
    s.windowLength = static_cast<uint16_t>(2 * bands);
    auto t = std::make_unique<TransformTables>();
    EXPECT_THROW(buildTables(s, *t), AssertionFailure) << bands;
    EXPECT_FALSE(s.tablesBuilt);
  }
}

}  // namespace
}  // namespace bandscope

namespace bandscope {
namespace {

using Mono = void (*)(const KernelTables&, const KernelInput&, int, float, int16_t*);
using Stereo = void (*)(const KernelTables&, const KernelInput&, const KernelInput&, int, float,
                        int16_t*, int16_t*);
using Sums = void (*)(const KernelTables&, const KernelInput&, const KernelInput&, int, int64_t*,
                      int64_t*, int64_t*, int64_t*);

// The kernel's three forms of a window of bytes less `bias`.
std::unique_ptr<KernelInput> kernelInputOf(const std::vector<uint8_t>& w, int bands, int bias) {
  auto in = std::make_unique<KernelInput>();  // zeros: the padding
  const auto at = [&](int j) { return w[static_cast<size_t>(j)] - bias; };
  for (int j = 0; j < 2 * bands; ++j) in->full[j] = static_cast<int16_t>(at(j));
  for (int j = 0; j < bands; ++j) {
    in->sum[j] = static_cast<int16_t>(at(j) + at(j + bands));
    in->diff[j] = static_cast<int16_t>(at(j) - at(j + bands));
  }
  return in;
}

// {C of w0, S of w0, C of w1, S of w1}, band after band, by their definition over the 8-bit
// tables or the 16-bit ones (exact16), of the bytes less `bias`.
std::vector<int64_t> definedSums(const TransformTables& t, bool exact16,
                                 const std::vector<uint8_t>& w0, const std::vector<uint8_t>& w1,
                                 int bias) {
  const auto bands = static_cast<int>(w0.size() / 2);
  const auto n = static_cast<size_t>(bands);
  std::vector<int64_t> sums(4 * n);
  for (int i = 0; i < bands; ++i) {
    for (int j = 0; j < 2 * bands; ++j) {
      const int r = exact16 ? exactPhaseIndex(j, i, 2 * bands) : t.phaseIndex[j][i];
      const int64_t c = exact16 ? t.cosTable16[r] : t.cosTable[r];
      const int64_t s = exact16 ? t.sinTable16[r] : t.sinTable[r];
      const auto at = static_cast<size_t>(j);
      const auto k = static_cast<size_t>(i);
      sums[k] += (w0[at] - bias) * c;
      sums[n + k] += (w0[at] - bias) * s;
      sums[2 * n + k] += (w1[at] - bias) * c;
      sums[3 * n + k] += (w1[at] - bias) * s;
    }
  }
  return sums;
}

// Every instruction-set variant of the inner loop gives the same magnitudes, alone or for
// two windows at once; the program picks one at run time, so each must be held to the
// reference on its own.
TEST(BandTransformKernel, EveryVariantEqualsTheReference) {
  struct Variant {
    const char* name;
    bool present;
    Mono mono;
    Stereo stereo;
    Sums sums;
  };
  const Variant variants[] = {
      {"portable", true, kernelPortable, kernelPortable, kernelSumsPortable},
      {"AVX2", haveAvx2(), kernelAvx2, kernelAvx2, kernelSumsAvx2},
      {"AVX-512", haveAvx512(), kernelAvx512, kernelAvx512, kernelSumsAvx512}};
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int bands : {8, 9, 37, 100, 192, 511, 512}) {
    Transform x(bands);
    buildTables(x.s, *x.t);
    const int length = 2 * bands;
    std::vector<uint8_t> previous = constant(length, 128);
    for (int n = 0; n < 8; ++n) {
      // Full-scale bits, then samples of 0 .. 3, whose small sums put many bands' values on
      // a tie (at 8, 100 and 512 bands), then noise.
      std::vector<uint8_t> w(static_cast<size_t>(length));
      for (auto& v : w) {
        v = static_cast<uint8_t>(n == 0   ? 255 * (byte(rng) & 1)
                                 : n == 1 ? byte(rng) & 3
                                          : byte(rng));
      }
      const auto in = kernelInputOf(w, bands, 0);
      const auto in2 = kernelInputOf(previous, bands, 0);
      const auto expected = referenceRun(bands, w);
      const auto expected2 = referenceRun(bands, previous);
      std::vector<int16_t> got(static_cast<size_t>(bands));
      std::vector<int16_t> got2(static_cast<size_t>(bands));
      // The sums, for the variants that stop there (16-bit samples): of the 8-bit tables over
      // bytes, and of the 16-bit mode's tables over signed high bytes (the bytes less 128).
      struct SumCase {
        const char* name;
        const KernelTables* kernel;
        int bias;
        std::vector<int64_t> expected;
      };
      SumCase sumsTable[] = {{"sums", &x.t->kernel, 0, {}},
                             {"16-bit sums", &x.t->kernel16, 128, {}}};
      for (SumCase& e : sumsTable) {
        e.expected = definedSums(*x.t, e.kernel == &x.t->kernel16, w, previous, e.bias);
      }
      std::vector<int64_t> gotSums(4 * static_cast<size_t>(bands));
      for (const Variant& v : variants) {
        if (!v.present) continue;
        v.mono(x.t->kernel, *in, bands, x.t->windowNorm, got.data());
        ASSERT_EQ(got, expected) << v.name << ", " << bands << " bands";
        std::fill(got.begin(), got.end(), -1);
        std::fill(got2.begin(), got2.end(), -1);
        v.stereo(x.t->kernel, *in, *in2, bands, x.t->windowNorm, got.data(), got2.data());
        ASSERT_EQ(got, expected) << v.name << " stereo left, " << bands << " bands";
        ASSERT_EQ(got2, expected2) << v.name << " stereo right, " << bands << " bands";
        for (const SumCase& e : sumsTable) {
          const auto a = kernelInputOf(w, bands, e.bias);
          const auto b = kernelInputOf(previous, bands, e.bias);
          int64_t* part = gotSums.data();
          v.sums(*e.kernel, *a, *b, bands, part, part + bands, part + 2 * bands, part + 3 * bands);
          ASSERT_EQ(gotSums, e.expected) << v.name << " " << e.name << ", " << bands << " bands";
        }
      }
      previous = w;
    }
  }
}

// The sums at every band count, over the windows that reach the bounds of the integer lanes
// (every term at its largest, of either sign, or alternating): each variant gives the
// portable loop's sums, for the 8-bit tables over bytes and the 16-bit ones over high bytes.
TEST(BandTransformKernel, EveryVariantSumsAsThePortableLoopAtEveryBandCount) {
  const struct {
    const char* name;
    bool present;
    Sums sums;
  } variants[] = {{"AVX2", haveAvx2(), kernelSumsAvx2},
                  {"AVX-512", haveAvx512(), kernelSumsAvx512}};
  auto t = std::make_unique<TransformTables>();
  for (int bands = kMinBands; bands <= kMaxBands; ++bands) {
    BandSettings s;
    s.bandCount = static_cast<uint16_t>(bands);
    deriveBandSettings(s);
    buildTables(s, *t);
    const int length = 2 * bands;
    std::vector<uint8_t> high = constant(length, 255);
    std::vector<uint8_t> alternating(static_cast<size_t>(length));
    for (int j = 0; j < length; ++j) alternating[static_cast<size_t>(j)] = j % 2 == 0 ? 255 : 0;
    for (const KernelTables* kernel : {&t->kernel, &t->kernel16}) {
      // 16-bit tables: high bytes, 127 and -128 (bias 128).
      const int bias = kernel == &t->kernel16 ? 128 : 0;
      const auto in0 = kernelInputOf(high, bands, bias);
      const auto in1 = kernelInputOf(bias != 0 ? constant(length, 0) : alternating, bands, bias);
      std::vector<int64_t> expected(4 * static_cast<size_t>(bands));
      std::vector<int64_t> got(expected.size());
      int64_t* e = expected.data();
      kernelSumsPortable(*kernel, *in0, *in1, bands, e, e + bands, e + 2 * bands, e + 3 * bands);
      for (const auto& v : variants) {
        if (!v.present) continue;
        int64_t* g = got.data();
        v.sums(*kernel, *in0, *in1, bands, g, g + bands, g + 2 * bands, g + 3 * bands);
        ASSERT_EQ(got, expected) << v.name << ", " << bands << " bands, bias " << bias;
      }
    }
  }
}

TEST(BandTransformKernel, RefusesAVariantTheProcessorLacks) {
  Transform x(64);
  std::vector<int16_t> out(64);
  const std::vector<uint8_t> w = constant(128, 7);
  for (const auto& [code, present] :
       {std::pair{KernelCode::Avx2, haveAvx2()}, std::pair{KernelCode::Avx512, haveAvx512()}}) {
    if (present) {
      EXPECT_NO_THROW(bandTransform(x.s, *x.t, out.data(), w.data(), code));
    } else {
      EXPECT_THROW(bandTransform(x.s, *x.t, out.data(), w.data(), code), AssertionFailure);
    }
  }
}

}  // namespace
}  // namespace bandscope

namespace bandscope {
namespace {

// 16-bit windows: each band's magnitude is that of its exact sums over the tables, the two
// channels of a stereo call are what two single calls give, and a sine of amplitude A
// measures A x sqrt(windowLength) / 2 in its band, as 8-bit samples do.
TEST(BandTransform16, MagnitudesOfTheExactSums) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  for (int bands : {8, 37, 192, 512}) {
    Transform x(bands);
    buildTables(x.s, *x.t);
    const int length = 2 * bands;
    std::vector<int16_t> noise(static_cast<size_t>(length));
    std::vector<int16_t> extremes(static_cast<size_t>(length));
    for (int j = 0; j < length; ++j) {
      noise[static_cast<size_t>(j)] = static_cast<int16_t>(sample(rng));
      extremes[static_cast<size_t>(j)] = static_cast<int16_t>(j % 3 == 0 ? 32767 : -32768);
    }
    // One more than the bands: a sentinel that no call may write.
    std::vector<double> got0(static_cast<size_t>(bands) + 1, -1.0);
    std::vector<double> got1(static_cast<size_t>(bands) + 1, -1.0);
    bandTransformStereo16(x.s, *x.t, got0.data(), got1.data(), noise.data(), extremes.data());
    for (const auto& [window, got] : {std::pair{&noise, &got0}, std::pair{&extremes, &got1}}) {
      for (int i = 0; i < bands; ++i) {
        int64_t C = 0;
        int64_t S = 0;
        for (int j = 0; j < length; ++j) {
          const int r = exactPhaseIndex(j, i, length);
          C += int64_t{(*window)[static_cast<size_t>(j)]} * x.t->cosTable16[r];
          S += int64_t{(*window)[static_cast<size_t>(j)]} * x.t->sinTable16[r];
        }
        const auto a = static_cast<double>(C / 65536);
        const auto b = static_cast<double>(S / 65536);
        ASSERT_DOUBLE_EQ((*got)[static_cast<size_t>(i)], std::sqrt(a * a + b * b) / x.t->windowNorm)
            << bands << " bands, band " << i;
      }
      std::vector<double> alone(static_cast<size_t>(bands) + 1, -1.0);
      bandTransform16(x.s, *x.t, alone.data(), window->data());
      EXPECT_EQ(alone, *got);
      EXPECT_EQ(got->back(), -1.0) << bands << " bands: written past the bands";
    }
  }
  Transform x(192);
  std::vector<int16_t> tone(384);
  for (int j = 0; j < 384; ++j)  // 5 cycles: band 3
    tone[static_cast<size_t>(j)] =
        static_cast<int16_t>(std::lround(20000 * std::sin(2 * std::numbers::pi * 5 * j / 384)));
  std::vector<double> got(192);
  bandTransform16(x.s, *x.t, got.data(), tone.data());
  EXPECT_EQ(std::max_element(got.begin(), got.end()) - got.begin(), 3);
  EXPECT_NEAR(got[3], 20000 * std::sqrt(384.0) / 2, 20000 * std::sqrt(384.0) / 2 * 0.01);
  // An odd band's tone leaves no image: every other band stays 100 dB under it.
  for (int i = 0; i < 192; ++i) {
    if (i != 3) {
      EXPECT_LT(got[static_cast<size_t>(i)], got[3] * 1e-5) << "band " << i;
    }
  }
}

}  // namespace
}  // namespace bandscope
