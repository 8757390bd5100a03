// One recorded block's way through the capture path, against the hand-off alone: the
// service returns a full 512-frame buffer, the recorder splits it and calls OnRecord, which
// queues it for the sample buffer; then the UI thread hands the buffer back and drains the
// block into the rows.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
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
    samples.drain();
  }
  r.Stop();
}
BENCHMARK(BM_CaptureBlock);

// One 512-frame block of both channels, a sine on the left and a ramp on the right.
struct TwoChannels {
  std::vector<std::uint8_t> left = std::vector<std::uint8_t>(1024);
  std::vector<std::uint8_t> right = std::vector<std::uint8_t>(1024);
  TwoChannels() {
    for (std::size_t i = 0; i < left.size(); ++i) {
      left[i] = static_cast<std::uint8_t>(128 + 100 * std::sin(0.05 * static_cast<double>(i)));
      right[i] = static_cast<std::uint8_t>(i * 7);
    }
  }
};

// The hand-off alone, the capture thread's share of it: one 512-frame block of both channels
// into the sample buffer, at a time scale and width. The UI thread's drain is left out: the
// buffer is emptied, untimed, before its ring is full.
void BM_HandOffAlone(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  SampleBuffer samples;
  samples.setLayout(384, static_cast<std::int32_t>(state.range(1)), bits);
  const TwoChannels block;
  const auto bytes = static_cast<std::uint16_t>(512 * bits / 8);
  int pending = 0;
  for (auto _ : state) {
    samples.append(block.left.data(), block.right.data(), bytes);
    benchmark::ClobberMemory();
    if (++pending < BlockRing::kSlots / 2) continue;
    state.PauseTiming();
    samples.silence();
    pending = 0;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_HandOffAlone)->ArgNames({"bits", "ts"})->ArgsProduct({{8, 16}, {1, 2, 128}});

// The UI thread's share: one block queued and drained into the rows (at 2 and up filtered and
// thinned), at a time scale and width.
void BM_HandOffDrain(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  SampleBuffer samples;
  samples.setLayout(384, static_cast<std::int32_t>(state.range(1)), bits);
  const TwoChannels block;
  const auto bytes = static_cast<std::uint16_t>(512 * bits / 8);
  for (auto _ : state) {
    samples.append(block.left.data(), block.right.data(), bytes);
    samples.drain();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_HandOffDrain)->ArgNames({"bits", "ts"})->ArgsProduct({{8, 16}, {1, 2, 4, 8, 32, 128}});

// Time scale 128's hand-off (queued and drained) over time scale 1's, per sample width: batches of
// each taken in turn and the best of each kept, so that a busy machine slows both alike.
void BM_HandOffTimeScaleCost(benchmark::State& state) {
  std::vector<std::uint8_t> block(1024);
  for (std::size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<std::uint8_t>(128 + 100 * std::sin(0.05 * static_cast<double>(i)));
  for (auto _ : state) {
    for (const int bits : {8, 16}) {
      SampleBuffer samples[2];
      samples[0].setLayout(384, 1, bits);
      samples[1].setLayout(384, 128, bits);
      double best[2] = {1e300, 1e300};
      for (int round = 0; round < 40; ++round) {
        for (int which = 0; which < 2; ++which) {
          const auto start = std::chrono::steady_clock::now();
          for (int n = 0; n < 200; ++n) {
            samples[which].append(block.data(), block.data(),
                                  static_cast<std::uint16_t>(512 * bits / 8));
            samples[which].drain();
            benchmark::ClobberMemory();
          }
          const std::chrono::duration<double, std::nano> took =
              std::chrono::steady_clock::now() - start;
          best[which] = std::min(best[which], took.count() / 200);
        }
      }
      const std::string width = bits == 8 ? "8bit" : "16bit";
      state.counters["ts1_ns_" + width] = best[0];
      state.counters["ts128_ns_" + width] = best[1];
      state.counters["ratio_" + width] = best[1] / best[0];
    }
  }
}
BENCHMARK(BM_HandOffTimeScaleCost)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bandscope
