// Cost of the band transform against the reference loop and FFTW, with each variant of the
// inner loop forced (skipped where the processor lacks it), of the table build, and of one
// channel's whole per-frame analysis. Each iteration handles one channel, but
// BM_StereoTransform's handles both.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analysis/band_processing.h"
#include "analysis/band_transform.h"
#include "analysis/reference_transform.h"
#include "analysis/transform_kernel.h"

namespace {

using namespace bandscope;

std::vector<uint8_t> noiseWindow(int length) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> w(static_cast<size_t>(length));
  for (auto& x : w) x = static_cast<uint8_t>(byte(rng));
  return w;
}

BandSettings settingsFor(int bands) {
  BandSettings s;
  s.bandCount = static_cast<uint16_t>(bands);
  deriveBandSettings(s);
  return s;
}

std::unique_ptr<TransformTables> tablesFor(BandSettings& s) {
  auto t = std::make_unique<TransformTables>();
  buildTables(s, *t);
  return t;
}

void BM_ReferenceTransform(benchmark::State& state) {
  const int bands = static_cast<int>(state.range(0));
  auto t = std::make_unique<reference::Tables>();
  reference::buildTables(*t, bands);
  const auto window = noiseWindow(2 * bands);
  int16_t values[kMaxBands];
  for (auto _ : state) {
    reference::bandTransform(*t, values, window.data());
    benchmark::DoNotOptimize(values);
  }
}

// The inner loop the processor picks, or the one `code` names; skipped where the processor
// lacks it.
void bandTransformWith(benchmark::State& state, KernelCode code) {
  if (!kernelCodeAvailable(code)) {
    state.SkipWithError("this processor lacks the instruction set");
    return;
  }
  const int bands = static_cast<int>(state.range(0));
  BandSettings s = settingsFor(bands);
  const auto t = tablesFor(s);
  const auto window = noiseWindow(2 * bands);
  int16_t values[kMaxBands];
  for (auto _ : state) {
    bandTransform(s, *t, values, window.data(), code);
    benchmark::DoNotOptimize(values);
  }
}

void BM_BandTransform(benchmark::State& state) {
  bandTransformWith(state, KernelCode::Best);
}
void BM_BandTransformPortable(benchmark::State& state) {
  bandTransformWith(state, KernelCode::Portable);
}
void BM_BandTransformAvx2(benchmark::State& state) {
  bandTransformWith(state, KernelCode::Avx2);
}
void BM_BandTransformAvx512(benchmark::State& state) {
  bandTransformWith(state, KernelCode::Avx512);
}

// 16-bit samples: exact sums of the high and low bytes, magnitudes as real numbers.
void bandTransform16With(benchmark::State& state, KernelCode code) {
  if (!kernelCodeAvailable(code)) {
    state.SkipWithError("this processor lacks the instruction set");
    return;
  }
  const int bands = static_cast<int>(state.range(0));
  BandSettings s = settingsFor(bands);
  const auto t = tablesFor(s);
  const auto bytes = noiseWindow(4 * bands);
  std::vector<int16_t> window(static_cast<size_t>(2 * bands));
  for (size_t j = 0; j < window.size(); ++j)
    window[j] = static_cast<int16_t>(bytes[2 * j] << 8 | bytes[2 * j + 1]);
  double magnitudes[kMaxBands];
  for (auto _ : state) {
    bandTransform16(s, *t, magnitudes, window.data(), code);
    benchmark::DoNotOptimize(magnitudes);
  }
}

void BM_BandTransform16(benchmark::State& state) {
  bandTransform16With(state, KernelCode::Best);
}
void BM_BandTransform16Portable(benchmark::State& state) {
  bandTransform16With(state, KernelCode::Portable);
}
void BM_BandTransform16Avx2(benchmark::State& state) {
  bandTransform16With(state, KernelCode::Avx2);
}
void BM_BandTransform16Avx512(benchmark::State& state) {
  bandTransform16With(state, KernelCode::Avx512);
}

// Both channels of a frame in one pass over the tables; each iteration handles two channels.
void stereoTransformWith(benchmark::State& state, KernelCode code) {
  if (!kernelCodeAvailable(code)) {
    state.SkipWithError("this processor lacks the instruction set");
    return;
  }
  const int bands = static_cast<int>(state.range(0));
  BandSettings s = settingsFor(bands);
  const auto t = tablesFor(s);
  const auto window = noiseWindow(4 * bands);
  int16_t values0[kMaxBands];
  int16_t values1[kMaxBands];
  for (auto _ : state) {
    bandTransformStereo(s, *t, values0, values1, window.data(), window.data() + 2 * bands, code);
    benchmark::DoNotOptimize(values0);
    benchmark::DoNotOptimize(values1);
  }
}

void BM_StereoTransform(benchmark::State& state) {
  stereoTransformWith(state, KernelCode::Best);
}
void BM_StereoTransformPortable(benchmark::State& state) {
  stereoTransformWith(state, KernelCode::Portable);
}
void BM_StereoTransformAvx2(benchmark::State& state) {
  stereoTransformWith(state, KernelCode::Avx2);
}
void BM_StereoTransformAvx512(benchmark::State& state) {
  stereoTransformWith(state, KernelCode::Avx512);
}

void BM_FftwReal(benchmark::State& state) {
  const int length = 2 * static_cast<int>(state.range(0));
  double* in = fftw_alloc_real(static_cast<size_t>(length));
  fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(length) / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(length, in, out, FFTW_MEASURE);
  const auto window = noiseWindow(length);
  for (auto _ : state) {
    // The same work per iteration as the band transform: take the bytes, transform.
    for (int j = 0; j < length; ++j) in[j] = window[static_cast<size_t>(j)];
    fftw_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
}

void BM_BuildTables(benchmark::State& state) {
  BandSettings s = settingsFor(static_cast<int>(state.range(0)));
  auto t = std::make_unique<TransformTables>();
  for (auto _ : state) {
    buildTables(s, *t);
    benchmark::DoNotOptimize(t->kernel.high);
  }
}

void BM_ChannelAnalysis(benchmark::State& state) {
  const int bands = static_cast<int>(state.range(0));
  BandSettings s = settingsFor(bands);
  auto t = std::make_unique<TransformTables>();
  auto st = std::make_unique<SpectrumState>();
  initSpectrumState(*st, s);
  auto rows = std::make_unique<SampleRows>();
  const auto window = noiseWindow(kMaxSamples);
  for (int c = 0; c < kChannels; ++c) {
    for (int j = 0; j < kMaxSamples; ++j) rows->sampleBuffer[c][j] = window[static_cast<size_t>(j)];
  }
  const BandOptions options;
  buildTables(s, *t);
  for (auto _ : state) {
    analyseChannel(0, options, s, *t, *st, *rows);
    benchmark::DoNotOptimize(st->bandLevel);
  }
}

// Best of a few runs, in nanoseconds.
template <typename F>
double bestTime(F&& f) {
  double best = 1e300;
  for (int rep = 0; rep < 7; ++rep) {
    const auto start = std::chrono::steady_clock::now();
    f();
    const auto end = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::nano>(end - start).count());
  }
  return best;
}

// Every band count from 8 to 512: the smallest speed-up over the reference, and where.
void BM_TransformSweep(benchmark::State& state) {
  auto ref = std::make_unique<reference::Tables>();
  auto t = std::make_unique<TransformTables>();
  const auto window = noiseWindow(kMaxSamples);
  int16_t values[kMaxBands];
  double worst = 1e300;
  int worstBands = 0;
  for (auto _ : state) {
    for (int bands = kMinBands; bands <= kMaxBands; ++bands) {
      BandSettings s = settingsFor(bands);
      buildTables(s, *t);
      reference::buildTables(*ref, bands);
      const double slow = bestTime([&] { reference::bandTransform(*ref, values, window.data()); });
      const double fast = bestTime([&] { bandTransform(s, *t, values, window.data()); });
      if (slow / fast < worst) {
        worst = slow / fast;
        worstBands = bands;
      }
    }
  }
  state.counters["worst_speedup"] = worst;
  state.counters["at_bands"] = worstBands;
}

// 16-bit samples' transform over 8-bit ones' at 512 bands, each the best of several runs
// taken in turn.
void BM_Transform16Cost(benchmark::State& state) {
  BandSettings s = settingsFor(512);
  const auto t = tablesFor(s);
  const auto bytes = noiseWindow(2048);
  std::vector<int16_t> window16(1024);
  for (size_t j = 0; j < window16.size(); ++j)
    window16[j] = static_cast<int16_t>(bytes[2 * j] << 8 | bytes[2 * j + 1]);
  int16_t values[kMaxBands];
  double magnitudes[kMaxBands];
  double best8 = 1e300;
  double best16 = 1e300;
  for (auto _ : state) {
    for (int round = 0; round < 20; ++round) {
      best8 = std::min(best8, bestTime([&] { bandTransform(s, *t, values, bytes.data()); }));
      best16 =
          std::min(best16, bestTime([&] { bandTransform16(s, *t, magnitudes, window16.data()); }));
    }
  }
  state.counters["bits8_ns"] = best8;
  state.counters["bits16_ns"] = best16;
  state.counters["ratio"] = best16 / best8;
}

// Ratios from best-of-several times taken in turn, which a loaded machine skews
// far less than means: per inner loop the processor has, one channel's time (ns) and two
// channels' over one; AVX2 over AVX-512 and over FFTW's real transform of the same window.
// The inner loops BM_TransformRatios compares, and their best times so far (ns; 0: a loop the
// processor lacks).
constexpr struct {
  KernelCode code;
  const char* name;
} kRatioCodes[] = {
    {KernelCode::Portable, "portable"}, {KernelCode::Avx2, "avx2"}, {KernelCode::Avx512, "avx512"}};
struct KernelTimes {
  double mono[3] = {};
  double stereo[3] = {};
};

// One round: each loop's best time for one channel and for two, kept where it is the best.
void timeKernels(BandSettings& s, TransformTables& t, const std::vector<uint8_t>& window,
                 bool first, KernelTimes& times) {
  const int length = 2 * s.bandCount;
  int16_t values0[kMaxBands];
  int16_t values1[kMaxBands];
  for (int c = 0; c < 3; ++c) {
    const KernelCode code = kRatioCodes[c].code;
    if (!kernelCodeAvailable(code)) continue;
    const double m = bestTime([&] { bandTransform(s, t, values0, window.data(), code); });
    const double st = bestTime([&] {
      bandTransformStereo(s, t, values0, values1, window.data(), window.data() + length, code);
    });
    times.mono[c] = first ? m : std::min(times.mono[c], m);
    times.stereo[c] = first ? st : std::min(times.stereo[c], st);
  }
  benchmark::DoNotOptimize(values0);
  benchmark::DoNotOptimize(values1);
}

void reportRatios(benchmark::State& state, const KernelTimes& times, double fftw) {
  for (int c = 0; c < 3; ++c) {
    if (times.mono[c] == 0) continue;
    const std::string name = kRatioCodes[c].name;
    state.counters[name + "_ns"] = times.mono[c];
    state.counters[name + "_stereo_over_mono"] = times.stereo[c] / times.mono[c];
  }
  state.counters["fftw_ns"] = fftw;
  if (times.mono[1] != 0) state.counters["avx2_over_fftw"] = times.mono[1] / fftw;
  if (times.mono[1] != 0 && times.mono[2] != 0)
    state.counters["avx2_over_avx512"] = times.mono[1] / times.mono[2];
}

void BM_TransformRatios(benchmark::State& state) {
  const int bands = static_cast<int>(state.range(0));
  BandSettings s = settingsFor(bands);
  const auto t = tablesFor(s);
  const auto window = noiseWindow(4 * bands);
  const int length = 2 * bands;
  double* in = fftw_alloc_real(static_cast<size_t>(length));
  fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(length) / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(length, in, out, FFTW_MEASURE);
  KernelTimes times;
  double fftw = 1e300;
  for (auto _ : state) {
    for (int round = 0; round < 10; ++round) {
      fftw = std::min(fftw, bestTime([&] {
                        for (int j = 0; j < length; ++j) in[j] = window[static_cast<size_t>(j)];
                        fftw_execute(plan);
                      }));
      timeKernels(s, *t, window, round == 0, times);
    }
  }
  reportRatios(state, times, fftw);
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
}

BENCHMARK(BM_ReferenceTransform)->Arg(192)->Arg(512);
BENCHMARK(BM_BandTransform)->Arg(192)->Arg(512);
BENCHMARK(BM_BandTransformPortable)->Arg(192)->Arg(512);
BENCHMARK(BM_BandTransformAvx2)->Arg(192)->Arg(512);
BENCHMARK(BM_BandTransformAvx512)->Arg(192)->Arg(512);
BENCHMARK(BM_BandTransform16)->Arg(192)->Arg(512);
BENCHMARK(BM_BandTransform16Portable)->Arg(192)->Arg(512);
BENCHMARK(BM_BandTransform16Avx2)->Arg(192)->Arg(512);
BENCHMARK(BM_BandTransform16Avx512)->Arg(192)->Arg(512);
BENCHMARK(BM_StereoTransform)->Arg(192)->Arg(512);
BENCHMARK(BM_StereoTransformPortable)->Arg(192)->Arg(512);
BENCHMARK(BM_StereoTransformAvx2)->Arg(192)->Arg(512);
BENCHMARK(BM_StereoTransformAvx512)->Arg(192)->Arg(512);
BENCHMARK(BM_FftwReal)->Arg(192)->Arg(512);
BENCHMARK(BM_BuildTables)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelAnalysis)->Arg(192);
BENCHMARK(BM_TransformSweep)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transform16Cost)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransformRatios)->Arg(192)->Arg(512)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
