// Cost of one whole stereo frame with the default options: the program's own per-frame
// work (analysis of both channels and every scene element), against a GL table that does
// nothing, so the driver's cost is left out.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <type_traits>
#include <vector>

#include "display/frame.h"

namespace {

using namespace bandscope;

template <typename F>
struct Ignore;
template <typename R, typename... A>
struct Ignore<R (*)(A...)> {
  static R call(A...) {
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

GlTable ignoringTable() {
  GlTable t;
#define BANDSCOPE_IGNORE(ret, name, params) t.name = &Ignore<decltype(t.name)>::call;
  BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_IGNORE)
  BANDSCOPE_GLU_ENTRY_POINTS(BANDSCOPE_IGNORE)
#undef BANDSCOPE_IGNORE
  return t;
}

// readyColours false: every value colour computed per call, as before the palette's
// tables, to weigh them in the same build.
void runFrames(benchmark::State& state, bool readyColours) {
  const auto bands = static_cast<uint16_t>(state.range(0));
  const GlTable gl = ignoringTable();
  auto model = std::make_unique<FrameModel>();
  initFrameModel(*model, bands);
  model->palette.tablesReady = readyColours;
  auto samples = std::make_unique<SampleBuffer>();
  samples->setLayout(model->settings.bufferLength, model->settings.timeScale);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> left(512), right(512);
  for (int block = 0; block < 4; ++block) {
    for (auto& v : left) v = static_cast<uint8_t>(byte(rng));
    for (auto& v : right) v = static_cast<uint8_t>(byte(rng));
    samples->append(left.data(), right.data(), 512);
  }
  const FrameOptions options;
  float spin = 0;
  for (auto _ : state) {
    frameRoutine(gl, options, *model, *samples, 1, spin += 0.3f);
    benchmark::ClobberMemory();
  }
}

void BM_Frame(benchmark::State& state) {
  runFrames(state, true);
}

void BM_FrameComputedColours(benchmark::State& state) {
  runFrames(state, false);
}

BENCHMARK(BM_Frame)->Arg(192)->Arg(512)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameComputedColours)->Arg(192)->Arg(512)->Unit(benchmark::kMicrosecond);

}  // namespace
