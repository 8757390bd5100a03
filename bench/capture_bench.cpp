// One recorded block's way through the capture path, against the hand-off alone: the
// service returns a full 512-frame buffer, the recorder splits it and calls OnRecord, which
// appends it to the sample buffer; then the UI thread hands the buffer back.

#include <benchmark/benchmark.h>

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

void BM_HandOffAlone(benchmark::State& state) {
  SampleBuffer samples;
  samples.setLayout(384, 2);
  std::uint8_t left[512] = {}, right[512] = {};
  for (auto _ : state) {
    samples.append(left, right, 512);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_HandOffAlone);

}  // namespace
}  // namespace bandscope
