// One recorded block's way through the capture path, against the hand-off alone: the
// service returns a full 512-frame buffer, the recorder splits it and calls OnRecord, which
// appends it to the sample buffer; then the UI thread hands the buffer back.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "analysis/sample_buffer.h"
#include "audio/audio.h"
#include "support/fake_wave_service.h"

namespace bandscope {
namespace {

void BM_CaptureBlock(benchmark::State& state) {
  test::FakeWaveIn in;
  test::FakeWaveOut out;
  sound::MessageQueue queue;
  audio::TAudio audio({in, out, queue});
  audio::TRecorder& r = *audio.Recorder;
  r.setChannels(audio::TChannels::Stereo);
  r.setSplitChannels(true);
  r.setNoSamples(512);
  r.setSampleRate(44100);
  r.Triggered = true;
  SampleBuffer samples;
  samples.setLayout(384, 2);
  audio.OnRecord = [&](void*, const std::uint8_t* LP, const std::uint8_t* RP, std::uint16_t size) {
    samples.append(LP, RP, size);
  };
  if (!r.Start()) state.SkipWithError("the recorder did not start");
  std::vector<std::uint8_t> block(1024);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  for (auto _ : state) {
    in.deliver(block);
    queue.dispatchPending();
  }
  r.Stop();
}
BENCHMARK(BM_CaptureBlock);

// The hand-off alone: one 512-frame block of both channels into the sample buffer, at a time
// scale (1 copies, 2 and up filter and thin) and sample width.
void BM_HandOff(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  SampleBuffer samples;
  samples.setLayout(384, static_cast<std::int32_t>(state.range(1)), bits);
  std::vector<std::uint8_t> left(1024), right(1024);
  for (std::size_t i = 0; i < left.size(); ++i) {
    left[i] = static_cast<std::uint8_t>(128 + 100 * std::sin(0.05 * static_cast<double>(i)));
    right[i] = static_cast<std::uint8_t>(i * 7);
  }
  const auto bytes = static_cast<std::uint16_t>(512 * bits / 8);
  for (auto _ : state) {
    samples.append(left.data(), right.data(), bytes);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_HandOff)->ArgNames({"bits", "ts"})->ArgsProduct({{8, 16}, {1, 2, 4, 8, 32, 128}});

}  // namespace
}  // namespace bandscope
