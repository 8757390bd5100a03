#include "decimator.h"

#include <cstring>

#include "assertion.h"
#include "cpu_features.h"
#include "vector_intrinsics.h"

namespace bandscope {

namespace {

struct PortableCode {};
struct Avx2Code {};

// kBinomial.c[n][j]: n choose j, 0 for j > n.
constexpr int kMaxOrder = 2 * kMaxBinomialReach;
struct BinomialTable {
  int c[kMaxOrder + 1][kMaxOrder + 2] = {};
  constexpr BinomialTable() {
    for (int n = 0; n <= kMaxOrder; ++n) {
      c[n][0] = 1;
      for (int j = 1; j <= n; ++j) c[n][j] = c[n][j - 1] * (n - j + 1) / j;
    }
  }
};
constexpr BinomialTable kBinomial;

// Moves a line's last `kept` samples to its front, before the next call's; short enough that a
// plain loop beats a call of memmove.
template <typename T>
void keepTail(T* line, int fresh, int kept) {
  if (fresh == 0) return;
  for (int j = 0; j < kept; ++j) line[j] = line[fresh + j];
}

// The same for the integer lines, whose kept samples fit one 16-byte move (the lines have room
// beyond them): all read before any is written.
template <typename T>
void keepShortTail(T* line, int fresh) {
  static_assert(16 / sizeof(T) >= 2 * kMaxBinomialReach && 16 >= 4 * kMaxBinomialReach);
  unsigned char kept[16];
  std::memcpy(kept, line + fresh, sizeof kept);
  std::memcpy(line, kept, sizeof kept);
}

// The number of outputs whose taps lie inside a line of `length` samples.
int outputsIn(int length, int centre, int reach) {
  const int last = length - 1 - reach;  // the last centre with all its taps
  return centre <= last ? (last - centre) / 2 + 1 : 0;
}

// --- Where outputs go. ---

// A real-valued line: line index i of channel c lives at
// phase[(i + origin) & 1][2 x ((i + origin) >> 1) + c], so that every second sample of both
// channels lies side by side: what the half-band stages read.
struct FloatLine {
  float* phase[2];
  int origin;
  float& at(int i, int c) const {
    const int u = i + origin;
    return phase[u & 1][2 * (u >> 1) + c];
  }
};

// Into a real-valued line from index `first` on.
struct SplitSink {
  FloatLine line;
  int first;
  void put(int j, int c, float v) const { line.at(first + j, c) = v; }
  // Outputs j .. j + 7 of both channels.
  BANDSCOPE_AVX2 void put8(int j, __m256 left, __m256 right) const {
    const int u = line.origin + first + j;
    const __m256 even = _mm256_permute_ps(_mm256_shuffle_ps(left, right, _MM_SHUFFLE(2, 0, 2, 0)),
                                          _MM_SHUFFLE(3, 1, 2, 0));
    const __m256 odd = _mm256_permute_ps(_mm256_shuffle_ps(left, right, _MM_SHUFFLE(3, 1, 3, 1)),
                                         _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_ps(line.phase[u & 1] + 2 * (u >> 1), even);
    _mm256_storeu_ps(line.phase[(u + 1) & 1] + 2 * ((u + 1) >> 1), odd);
  }
  // Outputs j .. j + 3 as (left, right) pairs.
  BANDSCOPE_AVX2 void put4(int j, __m256 pairs) const {
    const int u = line.origin + first + j;
    const __m256 order =
        _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(pairs), _MM_SHUFFLE(3, 1, 2, 0)));
    _mm_storeu_ps(line.phase[u & 1] + 2 * (u >> 1), _mm256_castps256_ps128(order));
    _mm_storeu_ps(line.phase[(u + 1) & 1] + 2 * ((u + 1) >> 1), _mm256_extractf128_ps(order, 1));
  }
  BANDSCOPE_AVX2 void putInts(int j, __m256i left, __m256i right) const {
    put8(j, _mm256_cvtepi32_ps(left), _mm256_cvtepi32_ps(right));
  }
  BANDSCOPE_AVX2 void putShorts(int j, __m256i left, __m256i right) const {
    putInts(j, _mm256_cvtepi16_epi32(_mm256_castsi256_si128(left)),
            _mm256_cvtepi16_epi32(_mm256_castsi256_si128(right)));
    putInts(j + 8, _mm256_cvtepi16_epi32(_mm256_extracti128_si256(left, 1)),
            _mm256_cvtepi16_epi32(_mm256_extracti128_si256(right, 1)));
  }
};

// Into the 16-bit lines of a binomial stage.
struct IntSink {
  int16_t* to[kChannels];
  void put(int j, int c, int v) const { to[c][j] = static_cast<int16_t>(v); }
  BANDSCOPE_AVX2 void putInts(int j, __m256i left, __m256i right) const {
    const __m256i both =
        _mm256_permute4x64_epi64(_mm256_packs_epi32(left, right), _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to[0] + j), _mm256_castsi256_si128(both));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to[1] + j), _mm256_extracti128_si256(both, 1));
  }
  BANDSCOPE_AVX2 void putShorts(int j, __m256i left, __m256i right) const {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to[0] + j), left);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to[1] + j), right);
  }
};

// The last stage's outputs as (left, right) pairs.
struct PairSink {
  float* out;
  void put(int j, int c, float v) const { out[2 * j + c] = v; }
  BANDSCOPE_AVX2 void put4(int j, __m256 pairs) const { _mm256_storeu_ps(out + 2 * j, pairs); }
};

// --- Input samples into the first stage's lines, on the 16-bit scale. ---

inline int inputSample(const uint8_t* in, int k, int sampleBits) {
  if (sampleBits == 16) return static_cast<int16_t>(in[2 * k] | in[2 * k + 1] << 8);
  return (in[k] - 128) * 256;
}

void loadInts(const uint8_t* in, int n, int sampleBits, int16_t* line) {
  for (int k = 0; k < n; ++k) line[k] = static_cast<int16_t>(inputSample(in, k, sampleBits));
}

void loadFloats(PortableCode, const uint8_t* const in[kChannels], int n, int sampleBits,
                const SplitSink& to) {
  for (int c = 0; c < kChannels; ++c) {
    for (int k = 0; k < n; ++k) to.put(k, c, static_cast<float>(inputSample(in[c], k, sampleBits)));
  }
}

BANDSCOPE_AVX2 void loadFloats(Avx2Code, const uint8_t* const in[kChannels], int n, int sampleBits,
                               const SplitSink& to) {
  int k = 0;
  for (; k + 8 <= n; k += 8) {
    __m256i v[kChannels];
    for (int c = 0; c < kChannels; ++c) {
      if (sampleBits == 16) {
        v[c] =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in[c] + 2 * k)));
      } else {
        const __m256i bytes =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in[c] + k)));
        v[c] = _mm256_slli_epi32(_mm256_sub_epi32(bytes, _mm256_set1_epi32(128)), 8);
      }
    }
    to.putInts(k, v[0], v[1]);
  }
  for (int c = 0; c < kChannels; ++c) {
    for (int j = k; j < n; ++j) to.put(j, c, static_cast<float>(inputSample(in[c], j, sampleBits)));
  }
}

// --- Binomial stages: exact integer sums. ---

// Output m from x = line + centre - reach, for 8-bit samples as they came: the sum of the
// weights times the bytes less that of the zero line, on the 16-bit scale; exactly what the
// 16-bit samples (x - 128) x 256 give below.
template <int Order>
int binomialOutput8(const uint8_t* x, int m) {
  int sum = 0;
  for (int j = 0; j <= Order; ++j) sum += kBinomial.c[Order][j] * x[2 * m + j];
  return (sum - (128 << Order)) * (1 << (8 - Order));
}

// The same for 16-bit samples: the sum rounded half up.
template <int Order>
int binomialOutput16(const int16_t* x, int m) {
  int32_t sum = 0;
  for (int j = 0; j <= Order; ++j) sum += kBinomial.c[Order][j] * x[2 * m + j];
  return (sum + (1 << (Order - 1))) >> Order;
}

template <int Order, typename Sink>
void binomial8(PortableCode, const uint8_t* const line[kChannels], int centre, int count,
               const Sink& to) {
  for (int c = 0; c < kChannels; ++c) {
    const uint8_t* x = line[c] + centre - Order / 2;
    for (int m = 0; m < count; ++m) to.put(m, c, binomialOutput8<Order>(x, m));
  }
}

template <int Order, typename Sink>
void binomial16(PortableCode, const int16_t* const line[kChannels], int centre, int count,
                const Sink& to) {
  for (int c = 0; c < kChannels; ++c) {
    const int16_t* x = line[c] + centre - Order / 2;
    for (int m = 0; m < count; ++m) to.put(m, c, binomialOutput16<Order>(x, m));
  }
}

// Sixteen outputs at a time: each pair of neighbouring bytes times its two weights in one
// multiply-add into 16-bit lanes (at most 64 x 255, exact).
template <int Order, typename Sink>
BANDSCOPE_AVX2 void binomial8(Avx2Code, const uint8_t* const line[kChannels], int centre, int count,
                              const Sink& to) {
  constexpr int kPairs = Order / 2 + 1;
  __m256i weight[kPairs];
  for (int p = 0; p < kPairs; ++p) {
    weight[p] = _mm256_set1_epi16(
        static_cast<int16_t>(kBinomial.c[Order][2 * p + 1] << 8 | kBinomial.c[Order][2 * p]));
  }
  const __m256i zero = _mm256_set1_epi16(static_cast<int16_t>(128 << Order));
  for (int m = 0; m < count; m += 16) {
    __m256i y[kChannels];
    for (int c = 0; c < kChannels; ++c) {
      const uint8_t* x = line[c] + centre - Order / 2 + 2 * m;
      __m256i sum = _mm256_setzero_si256();
      for (int p = 0; p < kPairs; ++p) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * p));
        sum = _mm256_add_epi16(sum, _mm256_maddubs_epi16(v, weight[p]));
      }
      y[c] = _mm256_slli_epi16(_mm256_sub_epi16(sum, zero), 8 - Order);
    }
    to.putShorts(m, y[0], y[1]);
  }
}

// Eight outputs at a time: each pair of neighbouring samples times its two weights in one
// multiply-add of 16-bit lanes into 32-bit ones, exact.
template <int Order, typename Sink>
BANDSCOPE_AVX2 void binomial16(Avx2Code, const int16_t* const line[kChannels], int centre,
                               int count, const Sink& to) {
  constexpr int kPairs = Order / 2 + 1;
  __m256i weight[kPairs];
  for (int p = 0; p < kPairs; ++p)
    weight[p] = _mm256_set1_epi32(kBinomial.c[Order][2 * p + 1] << 16 | kBinomial.c[Order][2 * p]);
  const __m256i half = _mm256_set1_epi32(1 << (Order - 1));
  for (int m = 0; m < count; m += 8) {
    __m256i y[kChannels];
    for (int c = 0; c < kChannels; ++c) {
      const int16_t* x = line[c] + centre - Order / 2 + 2 * m;
      __m256i sum = _mm256_setzero_si256();
      for (int p = 0; p < kPairs; ++p) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * p));
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(v, weight[p]));
      }
      y[c] = _mm256_srai_epi32(_mm256_add_epi32(sum, half), Order);
    }
    to.putInts(m, y[0], y[1]);
  }
}

// Two order-4 binomial stages of 8-bit samples as one that keeps every fourth: the 13 weights
// of (1 + z^-1)^4 (1 + z^-2)^4, summing to 256, from x = line + centre - 6. Exactly the two
// stages' result: the first one's outputs are multiples of 16 and the second's sum of them
// of 256, so neither rounds.
constexpr int kQuarterReach = 6;
struct QuarterWeights {
  int c[16] = {};
  constexpr QuarterWeights() {
    for (int i = 0; i <= 4; ++i) {
      for (int j = 0; j <= 4; ++j) c[i + 2 * j] += kBinomial.c[4][i] * kBinomial.c[4][j];
    }
  }
};
constexpr QuarterWeights kQuarter;

inline int quarterOutput(const uint8_t* x, int m) {
  int sum = 0;
  for (int j = 0; j <= 2 * kQuarterReach; ++j) sum += kQuarter.c[j] * x[4 * m + j];
  return sum - 256 * 128;
}

template <typename Sink>
void quarter(PortableCode, const uint8_t* const line[kChannels], int centre, int count,
             const Sink& to) {
  for (int c = 0; c < kChannels; ++c) {
    for (int m = 0; m < count; ++m)
      to.put(m, c, quarterOutput(line[c] + centre - kQuarterReach, m));
  }
}

// Eight outputs at a time, four bytes apart: per group of four weights one multiply-add of
// byte pairs into 16-bit lanes (each lane's weights sum to 128, so at most 128 x 255), then
// the lanes' pairs into 32-bit ones.
template <typename Sink>
BANDSCOPE_AVX2 void quarter(Avx2Code, const uint8_t* const line[kChannels], int centre, int count,
                            const Sink& to) {
  __m256i weight[4];
  for (int g = 0; g < 4; ++g) {
    const int* w = kQuarter.c + 4 * g;
    weight[g] = _mm256_set1_epi32(w[3] << 24 | w[2] << 16 | w[1] << 8 | w[0]);
  }
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256i zero = _mm256_set1_epi32(256 * 128);
  for (int m = 0; m < count; m += 8) {
    __m256i y[kChannels];
    for (int c = 0; c < kChannels; ++c) {
      const uint8_t* x = line[c] + centre - kQuarterReach + 4 * m;
      __m256i sum = _mm256_setzero_si256();
      for (int g = 0; g < 4; ++g) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 4 * g));
        sum = _mm256_add_epi16(sum, _mm256_maddubs_epi16(v, weight[g]));
      }
      y[c] = _mm256_sub_epi32(_mm256_madd_epi16(sum, ones), zero);
    }
    to.putInts(m, y[0], y[1]);
  }
}

// --- Half-band stages: single precision in a fixed order. ---

// Output m of channel c centred on line index centre + 2m: pair k (the samples 2k + 1 either
// side) joins partial sum k mod 4, the centre's half starts partial sum 0, and the four are
// added in pairs: four short chains of dependent additions instead of one long one. The
// vector code adds in this order too.
template <int Weights>
float halfBandOutput(const FloatLine& x, int centre, int c, const float* weight) {
  float part[4];
  part[0] = 0.5f * x.at(centre, c);
  for (int k = 0; k < Weights; ++k) {
    const float term = weight[k] * (x.at(centre - (2 * k + 1), c) + x.at(centre + 2 * k + 1, c));
    if (k == 0 || k >= 4) {
      part[k % 4] = part[k % 4] + term;
    } else {
      part[k] = term;
    }
  }
  return (part[0] + part[1]) + (part[2] + part[3]);
}

template <int Weights, typename Sink>
void halfBand(PortableCode, const FloatLine& line, int centre, int count, const float* weight,
              const Sink& to) {
  for (int c = 0; c < kChannels; ++c) {
    for (int m = 0; m < count; ++m)
      to.put(m, c, halfBandOutput<Weights>(line, centre + 2 * m, c, weight));
  }
}

// Four outputs of both channels: `centres` at the first centre's pair, `right` at the pair
// right of it (pair k: right[-k - 1] and right[k], in pairs of the other phase).
template <int Weights>
BANDSCOPE_AVX2 inline __m256 halfBandVector(const float* centres, const float* right,
                                            const __m256* weight) {
  __m256 part[4];
  part[0] = _mm256_mul_ps(_mm256_set1_ps(0.5f), _mm256_loadu_ps(centres));
#pragma GCC unroll 20
  for (int k = 0; k < Weights; ++k) {
    const __m256 term = _mm256_mul_ps(weight[k], _mm256_add_ps(_mm256_loadu_ps(right - 2 * (k + 1)),
                                                               _mm256_loadu_ps(right + 2 * k)));
    if (k == 0 || k >= 4) {
      part[k % 4] = _mm256_add_ps(part[k % 4], term);
    } else {
      part[k] = term;
    }
  }
  return _mm256_add_ps(_mm256_add_ps(part[0], part[1]), _mm256_add_ps(part[2], part[3]));
}

template <int Weights, typename Sink>
BANDSCOPE_AVX2 void halfBand(Avx2Code, const FloatLine& line, int centre, int count,
                             const float* weight, const Sink& to) {
  __m256 w[Weights];
  for (int k = 0; k < Weights; ++k) w[k] = _mm256_set1_ps(weight[k]);
  const int u = centre + line.origin;
  const float* centres = line.phase[u & 1] + 2 * (u >> 1);
  const float* right = line.phase[(u + 1) & 1] + 2 * ((u + 1) >> 1);
  int m = 0;
  for (; m + 8 <= count; m += 8) {  // two vectors in flight
    const __m256 first = halfBandVector<Weights>(centres + 2 * m, right + 2 * m, w);
    const __m256 second = halfBandVector<Weights>(centres + 2 * m + 8, right + 2 * m + 8, w);
    to.put4(m, first);
    to.put4(m + 4, second);
  }
  for (; m < count; m += 4) to.put4(m, halfBandVector<Weights>(centres + 2 * m, right + 2 * m, w));
}

// --- The stages by their filter. ---

template <typename Code, typename Sink>
void binomialStage(Code code, int order, const uint8_t* const line[kChannels], int centre,
                   int count, const Sink& to) {
  if (order == 4) {
    binomial8<4>(code, line, centre, count, to);
  } else {
    binomial8<6>(code, line, centre, count, to);
  }
}

template <typename Code, typename Sink>
void binomialStage(Code code, int order, const int16_t* const line[kChannels], int centre,
                   int count, const Sink& to) {
  if (order == 4) {
    binomial16<4>(code, line, centre, count, to);
  } else {
    binomial16<6>(code, line, centre, count, to);
  }
}

template <typename Code, typename Sink>
void halfBandStage(Code code, const StageFilter& f, const FloatLine& line, int centre, int count,
                   const Sink& to) {
  switch (f.reach) {
    case 9:
      halfBand<5>(code, line, centre, count, f.weight, to);
      break;
    case 11:
      halfBand<6>(code, line, centre, count, f.weight, to);
      break;
    case 19:
      halfBand<10>(code, line, centre, count, f.weight, to);
      break;
    default:
      halfBand<19>(code, line, centre, count, f.weight, to);
      break;
  }
}

bool isHalfBandReach(int reach) {
  return reach == 9 || reach == 11 || reach == 19 || reach == 37;
}

}  // namespace

Decimator::Decimator() {
  configure(1, 8);
}

void Decimator::configure(int32_t timeScale, int sampleBits) {
  const int stages = stageCount(timeScale);
  check(stages >= 0, "the time scale must be 1, 2, 4 .. 128");
  check(sampleBits == 8 || sampleBits == 16, "samples have 8 or 16 bits");
  stages_ = stages;
  sampleBits_ = sampleBits;
  quarter_ = false;
  int floatAt = 0;
  int intAt = 0;
  for (int k = 0; k < stages_; ++k) {
    Stage& s = stage_[k];
    s.filter = stageFilter(stages_ - 1 - k);
    if (s.filter.kind == FilterKind::Binomial) {
      check(k < kBinomialStages && k + 1 < stages_ && (s.filter.order == 4 || s.filter.order == 6),
            "binomial stages of order 4 or 6 come first");
      s.line = intAt;
      intAt += decimator_detail::lineCapacity(k, kMaxBinomialReach);
    } else {
      check(isHalfBandReach(s.filter.reach), "a half-band stage of a known length");
      s.line = floatAt;
      floatAt += decimator_detail::floatLineSize(k);
    }
  }
  // 8-bit samples through two order-4 binomial stages: one quarter-rate stage instead.
  quarter_ =
      sampleBits_ == 8 && stages_ > 2 && stage_[0].filter.order == 4 && stage_[1].filter.order == 4;
  reset();
}

void Decimator::reset() {
  std::memset(floatPool_, 0, sizeof floatPool_);
  std::memset(intPool_, 0, sizeof intPool_);
  std::memset(bytePool_, 128, sizeof bytePool_);
  for (int k = 0; k < stages_; ++k) {
    stage_[k].centre = stage_[k].filter.reach + 1;
    stage_[k].origin = 0;
  }
  // The quarter-rate stage centres its outputs where the second of the two stages would, on
  // a line that keeps 2 x kQuarterReach bytes.
  if (quarter_) stage_[0].centre = 9;
}

int Decimator::process(const uint8_t* const in[kChannels], int n, float* out) {
  return process(in, n, out, haveAvx2() ? DecimatorCode::Avx2 : DecimatorCode::Portable);
}

int Decimator::process(const uint8_t* const in[kChannels], int n, float* out, DecimatorCode code) {
  return code == DecimatorCode::Avx2 ? run<Avx2Code>(in, n, out) : run<PortableCode>(in, n, out);
}

// Stage k's real-valued line: both phases, from where its index 0 lies.
auto Decimator::floatLine(int k) {
  float* start = floatPool_ + stage_[k].line;
  return FloatLine{{start, start + decimator_detail::floatLineSize(k) / 2}, stage_[k].origin};
}

// Where stage k's new samples go: after the 2 x reach it kept.
auto Decimator::intSink(int k) {
  const int at = stage_[k].line + 2 * stage_[k].filter.reach;
  return IntSink{{intPool_[0] + at, intPool_[1] + at}};
}

auto Decimator::splitSink(int k) {
  return SplitSink{floatLine(k), 2 * stage_[k].filter.reach};
}

// 8-bit samples stay bytes through a first binomial stage.
bool Decimator::bytesFirst() const {
  return sampleBits_ == 8 && stage_[0].filter.kind == FilterKind::Binomial;
}

int Decimator::keptBytes() const {
  return quarter_ ? 2 * kQuarterReach : 2 * stage_[0].filter.reach;
}

int Decimator::passThrough(const uint8_t* const in[kChannels], int n, float* out) const {
  for (int c = 0; c < kChannels; ++c) {
    for (int k = 0; k < n; ++k)
      out[2 * k + c] = static_cast<float>(inputSample(in[c], k, sampleBits_));
  }
  return n;
}

template <typename Code>
void Decimator::loadInput(Code code, const uint8_t* const in[kChannels], int n) {
  if (bytesFirst()) {
    for (int c = 0; c < kChannels; ++c)
      std::memcpy(bytePool_[c] + keptBytes(), in[c], static_cast<size_t>(n));
  } else if (stage_[0].filter.kind == FilterKind::Binomial) {
    const IntSink to = intSink(0);
    for (int c = 0; c < kChannels; ++c) loadInts(in[c], n, sampleBits_, to.to[c]);
  } else {
    loadFloats(code, in, n, sampleBits_, splitSink(0));
  }
}

template <typename Code>
int Decimator::quarterStep(Code code, int fresh) {
  Stage& s = stage_[0];
  const int last = keptBytes() + fresh - 1 - kQuarterReach;  // the last centre with its taps
  const int count = s.centre <= last ? (last - s.centre) / 4 + 1 : 0;
  const uint8_t* const byteLines[] = {bytePool_[0], bytePool_[1]};
  if (stage_[2].filter.kind == FilterKind::Binomial) {
    quarter(code, byteLines, s.centre, count, intSink(2));
  } else {
    quarter(code, byteLines, s.centre, count, splitSink(2));
  }
  for (auto* line : bytePool_) keepShortTail(line, fresh);
  s.centre += 4 * count - fresh;
  return count;
}

template <typename Code>
int Decimator::binomialStep(Code code, int k, int fresh) {
  Stage& s = stage_[k];
  const int count = outputsIn(2 * s.filter.reach + fresh, s.centre, s.filter.reach);
  // Never the last stage: configure() puts the half-band ones last.
  const bool fromBytes = k == 0 && bytesFirst();
  const uint8_t* const byteLines[] = {bytePool_[0], bytePool_[1]};
  const int16_t* const intLines[] = {intPool_[0] + s.line, intPool_[1] + s.line};
  auto filter = [&](const auto& to) {
    if (fromBytes) {
      binomialStage(code, s.filter.order, byteLines, s.centre, count, to);
    } else {
      binomialStage(code, s.filter.order, intLines, s.centre, count, to);
    }
  };
  if (stage_[k + 1].filter.kind == FilterKind::Binomial) {
    filter(intSink(k + 1));
  } else {
    filter(splitSink(k + 1));
  }
  for (int c = 0; c < kChannels; ++c) {
    if (fromBytes) {
      keepShortTail(bytePool_[c], fresh);
    } else {
      keepShortTail(intPool_[c] + s.line, fresh);
    }
  }
  s.centre += 2 * count - fresh;
  return count;
}

template <typename Code>
int Decimator::halfBandStep(Code code, int k, int fresh, float* out) {
  Stage& s = stage_[k];
  const int reach = s.filter.reach;
  const int count = outputsIn(2 * reach + fresh, s.centre, reach);
  const FloatLine line = floatLine(k);
  if (k + 1 == stages_) {
    halfBandStage(code, s.filter, line, s.centre, count, PairSink{out});
  } else {
    halfBandStage(code, s.filter, line, s.centre, count, splitSink(k + 1));
  }
  // Line index 0 moves to the first of the last 2 x reach samples. When the next call's
  // samples might not fit behind them, they move to the front: whole pairs of both phases.
  s.origin += fresh;
  const int room = decimator_detail::floatLineSamples(k) - decimator_detail::kSlack;
  if (s.origin + 2 * reach + (kDecimatorChunk >> k) > room) {
    const int shift = s.origin >> 1;
    for (float* phase : line.phase) keepTail(phase, 2 * shift, 2 * (reach + 1));
    s.origin &= 1;
  }
  s.centre += 2 * count - fresh;
  return count;
}

template <typename Code>
int Decimator::run(const uint8_t* const in[kChannels], int n, float* out) {
  const Code code;
  if (stages_ == 0) return passThrough(in, n, out);
  loadInput(code, in, n);
  int fresh = n;  // new samples in the current stage's lines
  int k = 0;
  if (quarter_) {
    fresh = quarterStep(code, fresh);
    k = 2;
  }
  for (; k < stages_; ++k) {
    fresh = stage_[k].filter.kind == FilterKind::Binomial ? binomialStep(code, k, fresh)
                                                          : halfBandStep(code, k, fresh, out);
  }
  return fresh;
}

}  // namespace bandscope
