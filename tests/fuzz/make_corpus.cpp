// Writes the corpus of odd files for the file device:
//   make_file_corpus OUT
// OUT/corpus: small valid files of every kind libsndfile writes here, each also truncated,
// bit-flipped and overwritten in places (deterministically), files with absurd headers
// written by hand, and empty or near-empty ones. OUT/nonfiles: a folder, a FIFO, a socket and
// links to them, to a device and to nowhere. OUT is emptied first.

#include <sndfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path corpus;

void save(const std::string& name, const Bytes& bytes) {
  std::ofstream(corpus / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

struct Random {  // a fixed sequence per seed
  std::uint64_t state;
  std::uint32_t next() {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::uint32_t>(state >> 33);
  }
};

std::uint64_t hashOf(const std::string& s) {
  std::uint64_t h = 1469598103934665603u;
  for (const char c : s) h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211u;
  return h;
}

// The Ogg page checksum: CRC-32, polynomial 0x04C11DB7, not reflected.
std::uint32_t oggCrc(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= std::uint32_t{data[i]} << 24;
    for (int k = 0; k < 8; ++k) crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

// Gives every Ogg page one stream serial number and its checksum again.
void sealOggPages(Bytes& b) {
  for (std::size_t page = 0; page + 27 <= b.size() && std::memcmp(&b[page], "OggS", 4) == 0;) {
    const std::size_t segments = b[page + 26];
    if (page + 27 + segments > b.size()) return;
    std::size_t size = 27 + segments;
    for (std::size_t i = 0; i < segments; ++i) size += b[page + 27 + i];
    if (page + size > b.size()) return;
    std::fill_n(b.begin() + static_cast<long>(page + 14), 4, 0x5A);
    std::fill_n(b.begin() + static_cast<long>(page + 22), 4, 0);
    const std::uint32_t crc = oggCrc(&b[page], size);
    for (int i = 0; i < 4; ++i) b[page + 22 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    page += size;
  }
}

// Takes out what libsndfile writes differently each time: the Ogg stream's random serial
// number, the time in a PEAK chunk and the date in a MAT-file's text header.
void normalise(Bytes& b) {
  const std::string text(b.begin(),
                         b.begin() + static_cast<long>(std::min<std::size_t>(b.size(), 128)));
  if (text.rfind("OggS", 0) == 0) sealOggPages(b);
  if (const std::size_t peak = text.find("PEAK");
      peak != std::string::npos && peak + 16 <= b.size())
    std::fill_n(b.begin() + static_cast<long>(peak + 12), 4, 0);
  if (text.rfind("MATLAB", 0) == 0) {
    const std::size_t from = text.find(", 2"), to = text.find(" UTC");
    if (from < to && to != std::string::npos)
      std::fill_n(b.begin() + static_cast<long>(from), to + 4 - from, ' ');
  }
}

// A tone over noise (silence at level 0), written by libsndfile; empty where it cannot write
// this kind.
Bytes writeSeed(int format, int rate, int channels, int frames, double level = 0.6) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  if (!sf_format_check(&info)) return {};
  const fs::path path = corpus / "seed.tmp";
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return {};
  std::vector<float> samples(static_cast<std::size_t>(frames * channels));
  Random noise{7};
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i / static_cast<std::size_t>(channels)) / rate;
    samples[i] = static_cast<float>(level * (std::sin(2 * std::numbers::pi * 440 * t) +
                                             0.2 * (noise.next() / 4294967296.0 - 0.5)));
  }
  sf_writef_float(file, samples.data(), frames);
  sf_close(file);
  std::ifstream in(path, std::ios::binary);
  Bytes bytes{std::istreambuf_iterator<char>(in), {}};
  fs::remove(path);
  normalise(bytes);
  return bytes;
}

// The seed itself and its deterministic mutations.
void saveWithMutations(const std::string& name, const std::string& extension, const Bytes& seed) {
  save(name + extension, seed);
  const std::size_t n = seed.size();
  for (const std::size_t keep : {std::size_t{12}, std::size_t{44}, n / 3, n - 1}) {
    if (keep > 0 && keep < n)
      save(name + "-cut" + std::to_string(keep) + extension,
           Bytes(seed.begin(), seed.begin() + static_cast<long>(keep)));
  }
  Random random{hashOf(name)};
  for (int v = 0; v < 4; ++v) {
    Bytes b = seed;
    // Half the variants flip one bit of the header, the others 16 anywhere.
    const std::size_t span = v < 2 ? std::min<std::size_t>(n, 128) : n;
    for (int k = 0; k < (v < 2 ? 1 : 16); ++k) b[random.next() % span] ^= 1u << (random.next() % 8);
    save(name + "-flip" + std::to_string(v) + extension, b);
  }
  const std::uint32_t words[] = {0xFFFFFFFFu, 0, 0x7FFFFFFFu, 0x80000000u};
  for (int v = 0; v < 4; ++v) {
    Bytes b = seed;
    const std::size_t at = random.next() % std::min<std::size_t>(n - 4, 96);
    std::memcpy(b.data() + at, &words[v], 4);
    save(name + "-word" + std::to_string(v) + extension, b);
  }
}

void putU16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void putU32(Bytes& b, std::uint32_t v) {
  putU16(b, v & 0xFFFF);
  putU16(b, v >> 16);
}
void putBigU16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}
void putBigU32(Bytes& b, std::uint32_t v) {
  putBigU16(b, v >> 16);
  putBigU16(b, v & 0xFFFF);
}
void putTag(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}

// A WAV file written field by field; sizes of 0 below mean "the true one".
struct Wav {
  std::uint16_t tag = 1, channels = 2;
  std::uint32_t rate = 44100, byteRate = 88200;
  std::uint16_t blockAlign = 2, bits = 8;
  std::uint32_t fmtSize = 16, riffSize = 0, dataSize = 0;
  std::size_t dataBytes = 2000;
  std::uint8_t fill = 0;       // 0: a ramp
  bool dataFirst = false;      // the data chunk before the format chunk
  int junkChunks = 0;          // empty chunks before the format chunk
  std::uint32_t listSize = 0;  // a LIST chunk claiming this size, when not 0
};

Bytes wav(const Wav& w) {
  Bytes fmt;
  putTag(fmt, "fmt ");
  putU32(fmt, w.fmtSize);
  putU16(fmt, w.tag);
  putU16(fmt, w.channels);
  putU32(fmt, w.rate);
  putU32(fmt, w.byteRate);
  putU16(fmt, w.blockAlign);
  putU16(fmt, w.bits);
  if (w.tag == 0xFFFE) fmt.resize(fmt.size() + 24, 0);  // extensible, with a null subformat
  Bytes data;
  putTag(data, "data");
  putU32(data, w.dataSize ? w.dataSize : static_cast<std::uint32_t>(w.dataBytes));
  for (std::size_t i = 0; i < w.dataBytes; ++i)
    data.push_back(w.fill ? w.fill : static_cast<std::uint8_t>(i * 7));
  Bytes body;
  putTag(body, "WAVE");
  for (int i = 0; i < w.junkChunks; ++i) {
    putTag(body, "junk");
    putU32(body, 0);
  }
  if (w.listSize) {
    putTag(body, "LIST");
    putU32(body, w.listSize);
    putTag(body, "INFO");
  }
  const Bytes& first = w.dataFirst ? data : fmt;
  const Bytes& second = w.dataFirst ? fmt : data;
  body.insert(body.end(), first.begin(), first.end());
  body.insert(body.end(), second.begin(), second.end());
  Bytes file;
  putTag(file, "RIFF");
  putU32(file, w.riffSize ? w.riffSize : static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// 80-bit extended float, as AIFF stores its rate.
void putExtended(Bytes& b, double v) {
  std::uint16_t exponent = 0;
  std::uint64_t mantissa = 0;
  if (std::isnan(v)) {
    exponent = 0x7FFF, mantissa = 0xC000000000000000u;
  } else if (std::isinf(v)) {
    exponent = 0x7FFF, mantissa = 0x8000000000000000u;
  } else if (v != 0) {
    int e = 0;
    const double m = std::frexp(std::fabs(v), &e);
    exponent = static_cast<std::uint16_t>((e - 1 + 16383) | (v < 0 ? 0x8000 : 0));
    mantissa = static_cast<std::uint64_t>(std::ldexp(m, 64));
  }
  putBigU16(b, exponent);
  putBigU32(b, static_cast<std::uint32_t>(mantissa >> 32));
  putBigU32(b, static_cast<std::uint32_t>(mantissa));
}

struct Aiff {
  std::uint16_t channels = 2, bits = 16;
  std::uint32_t frames = 500, commSize = 18, ssndOffset = 0;
  double rate = 44100;
  std::size_t dataBytes = 2000;
};

Bytes aiff(const Aiff& a) {
  Bytes body;
  putTag(body, "AIFF");
  putTag(body, "COMM");
  putBigU32(body, a.commSize);
  putBigU16(body, a.channels);
  putBigU32(body, a.frames);
  putBigU16(body, a.bits);
  putExtended(body, a.rate);
  putTag(body, "SSND");
  putBigU32(body, static_cast<std::uint32_t>(a.dataBytes + 8));
  putBigU32(body, a.ssndOffset);
  putBigU32(body, 0);
  for (std::size_t i = 0; i < a.dataBytes; ++i) body.push_back(static_cast<std::uint8_t>(i * 13));
  Bytes file;
  putTag(file, "FORM");
  putBigU32(file, static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// STREAMINFO's packed fields: rate (20 bits), channels - 1 (3), bits - 1 (5), frames (36).
struct FlacInfo {
  std::uint32_t rate = 44100, channels = 2, bits = 16;
  std::uint64_t frames = 0;
  bool keepFrames = true;
  int blockSize = -1;  // -1: unchanged
};

Bytes patchFlac(Bytes b, const FlacInfo& f) {
  std::uint64_t packed = 0;
  for (int i = 0; i < 8; ++i) packed = packed << 8 | b[18 + i];
  const std::uint64_t frames = f.keepFrames ? packed & 0xFFFFFFFFFu : f.frames;
  packed = std::uint64_t{f.rate & 0xFFFFF} << 44 | std::uint64_t{(f.channels - 1) & 7} << 41 |
           std::uint64_t{(f.bits - 1) & 31} << 36 | (frames & 0xFFFFFFFFFu);
  for (int i = 7; i >= 0; --i, packed >>= 8) b[18 + i] = static_cast<std::uint8_t>(packed);
  if (f.blockSize >= 0) {
    for (int i : {8, 10}) {
      b[i] = static_cast<std::uint8_t>(f.blockSize >> 8);
      b[i + 1] = static_cast<std::uint8_t>(f.blockSize);
    }
  }
  return b;
}

// Overwrites bytes of the first page's first packet and seals the pages again.
Bytes patchOggHeader(Bytes b, std::size_t offset, const Bytes& value) {
  std::copy(value.begin(), value.end(), b.begin() + static_cast<long>(27 + b[26] + offset));
  sealOggPages(b);
  return b;
}

Bytes le32(std::uint32_t v) {
  Bytes b;
  putU32(b, v);
  return b;
}

void writeSeeds() {
  const struct {
    const char* name;
    const char* extension;
    int format, rate, channels;
  } seeds[] = {
      {"wav-u8", ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 2},
      {"wav-16-mono-8k", ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1},
      {"wav-24-48k", ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 2},
      {"wav-32-3ch", ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 11025, 3},
      {"wav-float", ".wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2},
      {"wav-double-96k", ".wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 96000, 1},
      {"wav-ulaw", ".wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1},
      {"wav-alaw", ".wav", SF_FORMAT_WAV | SF_FORMAT_ALAW, 22050, 2},
      {"wav-ima", ".wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 22050, 2},
      {"wav-msadpcm", ".wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 44100, 1},
      {"wav-gsm", ".wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1},
      {"wav-g721", ".wav", SF_FORMAT_WAV | SF_FORMAT_G721_32, 8000, 1},
      {"wavex-6ch", ".wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 48000, 6},
      {"rf64", ".rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 44100, 2},
      {"w64", ".w64", SF_FORMAT_W64 | SF_FORMAT_PCM_24, 44100, 2},
      {"aiff-s8", ".aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 44100, 2},
      {"aiff-16-173hz", ".aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 173, 1},
      {"aifc-float", ".aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 32000, 2},
      {"aifc-ima", ".aifc", SF_FORMAT_AIFF | SF_FORMAT_IMA_ADPCM, 44100, 2},
      {"au-16", ".au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 44100, 2},
      {"au-ulaw", ".au", SF_FORMAT_AU | SF_FORMAT_ULAW, 8000, 1},
      {"caf-16", ".caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100, 2},
      {"caf-alac", ".caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 44100, 2},
      {"flac-16", ".flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2},
      {"flac-24-8ch-96k", ".flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 8},
      {"flac-s8-mono", ".flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, 8000, 1},
      {"ogg-vorbis", ".ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2},
      {"ogg-vorbis-mono-22k", ".ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 1},
      {"ogg-opus", ".opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2},
      {"mp3", ".mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2},
      {"voc", ".voc", SF_FORMAT_VOC | SF_FORMAT_PCM_U8, 11025, 1},
      {"ircam", ".sf", SF_FORMAT_IRCAM | SF_FORMAT_PCM_16, 44100, 2},
      {"nist", ".nist", SF_FORMAT_NIST | SF_FORMAT_PCM_16, 16000, 1},
      {"paf", ".paf", SF_FORMAT_PAF | SF_FORMAT_PCM_24, 44100, 2},
      {"svx", ".8svx", SF_FORMAT_SVX | SF_FORMAT_PCM_S8, 8363, 1},
      {"mat5", ".mat", SF_FORMAT_MAT5 | SF_FORMAT_DOUBLE, 44100, 2},
      {"htk", ".htk", SF_FORMAT_HTK | SF_FORMAT_PCM_16, 16000, 1},
      {"sds", ".sds", SF_FORMAT_SDS | SF_FORMAT_PCM_16, 44100, 1},
      {"wve", ".wve", SF_FORMAT_WVE | SF_FORMAT_ALAW, 8000, 1},
      {"xi", ".xi", SF_FORMAT_XI | SF_FORMAT_DPCM_16, 44100, 1},
  };
  for (const auto& s : seeds) {
    const Bytes seed = writeSeed(s.format, s.rate, s.channels, 1500);
    if (seed.size() > 100) saveWithMutations(s.name, s.extension, seed);
  }

  // FLAC and Ogg headers claiming what the stream does not hold.
  const Bytes flac = writeSeed(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 1500);
  const struct {
    const char* name;
    FlacInfo info;
  } flacs[] = {{"rate-0", {.rate = 0}},
               {"rate-1", {.rate = 1}},
               {"rate-max", {.rate = 0xFFFFF}},
               {"channels-8", {.channels = 8}},
               {"bits-4", {.bits = 4}},
               {"bits-32", {.bits = 32}},
               {"frames-unknown", {.frames = 0, .keepFrames = false}},
               {"frames-huge", {.frames = 0xFFFFFFFFFu, .keepFrames = false}},
               {"blocksize-0", {.blockSize = 0}},
               {"blocksize-max", {.blockSize = 0xFFFF}}};
  for (const auto& f : flacs)
    save(std::string("flac-") + f.name + ".flac", patchFlac(flac, f.info));
  // Twelve seconds of silence with no length in the header: only decoding finds it longer
  // than the fuzz target's limit.
  const Bytes silence = writeSeed(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 1, 44100 * 12, 0);
  save("flac-unknown-length-12s.flac",
       patchFlac(silence, {.channels = 1, .frames = 0, .keepFrames = false}));

  // Vorbis identification packet: channels at 11, rate at 12; Opus: channels at 9, rate at
  // 12, channel mapping at 18.
  const Bytes vorbis = writeSeed(SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, 1500);
  if (!vorbis.empty()) {
    save("ogg-channels-0.ogg", patchOggHeader(vorbis, 11, {0}));
    save("ogg-channels-255.ogg", patchOggHeader(vorbis, 11, {255}));
    save("ogg-rate-0.ogg", patchOggHeader(vorbis, 12, le32(0)));
    save("ogg-rate-1.ogg", patchOggHeader(vorbis, 12, le32(1)));
    save("ogg-rate-4ghz.ogg", patchOggHeader(vorbis, 12, le32(4000000000u)));
  }
  const Bytes opus = writeSeed(SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2, 1500);
  if (!opus.empty()) {
    save("opus-channels-0.opus", patchOggHeader(opus, 9, {0}));
    save("opus-channels-255.opus", patchOggHeader(opus, 9, {255}));
    save("opus-rate-0.opus", patchOggHeader(opus, 12, le32(0)));
    save("opus-mapping-255.opus", patchOggHeader(opus, 18, {255}));
  }
}

void writeHandMade() {
  const struct {
    const char* name;
    Wav w;
  } wavs[] = {
      {"channels-0", {.channels = 0}},
      {"channels-255", {.channels = 255}},
      {"channels-65535", {.channels = 65535}},
      {"rate-0", {.rate = 0}},
      {"rate-1", {.rate = 1}},
      {"rate-172", {.rate = 172}},
      {"rate-4ghz", {.rate = 4000000000u}},
      {"rate-ratio-256", {.rate = 11289600}},
      {"rate-ratio-past-256", {.rate = 11289601}},
      {"rate-max", {.rate = 0xFFFFFFFFu}},
      {"bits-0", {.bits = 0}},
      {"bits-1", {.blockAlign = 1, .bits = 1}},
      {"bits-64", {.blockAlign = 16, .bits = 64}},
      {"bits-255", {.bits = 255}},
      {"float-64", {.tag = 3, .byteRate = 705600, .blockAlign = 16, .bits = 64, .fill = 0xFF}},
      {"float-16", {.tag = 3, .blockAlign = 4, .bits = 16}},
      {"align-0", {.blockAlign = 0}},
      {"align-65535", {.blockAlign = 65535}},
      {"byterate-0", {.byteRate = 0}},
      {"data-size-huge", {.dataSize = 0xFFFFFFFFu}},
      {"data-size-odd", {.dataSize = 1999}},
      {"riff-size-huge", {.riffSize = 0xFFFFFFFFu}},
      {"riff-size-small", {.riffSize = 4}},
      {"fmt-size-huge", {.fmtSize = 0xFFFFFFF0u}},
      {"fmt-size-0", {.fmtSize = 0}},
      {"fmt-size-13", {.fmtSize = 13}},
      {"tag-unknown", {.tag = 0x1234}},
      {"tag-extensible-null", {.tag = 0xFFFE, .fmtSize = 40}},
      {"data-before-fmt", {.dataFirst = true}},
      {"junk-chunks-20000", {.junkChunks = 20000}},
      {"list-size-huge", {.listSize = 0x7FFFFFF0u}},
      {"data-none", {.dataBytes = 0}},
      // The campaign's slow file: 8-bit mono at 173 Hz, 2 MB, more than three hours of sound.
      {"173hz-2mb",
       {.channels = 1, .rate = 173, .byteRate = 173, .blockAlign = 1, .dataBytes = 2000000}},
      // Three seconds in the recording format: past the fuzz target's limit by the header.
      {"44k-3s", {.dataBytes = 88200 * 3}},
  };
  for (const auto& w : wavs) save(std::string("wav-") + w.name + ".wav", wav(w.w));

  const struct {
    const char* name;
    Aiff a;
  } aiffs[] = {{"channels-0", {.channels = 0}},
               {"channels-255", {.channels = 255}},
               {"bits-0", {.bits = 0}},
               {"bits-1", {.bits = 1}},
               {"bits-64", {.bits = 64}},
               {"frames-huge", {.frames = 0xFFFFFFFFu}},
               {"comm-size-huge", {.commSize = 0xFFFFFFF0u}},
               {"ssnd-offset-huge", {.ssndOffset = 0xFFFFFFF0u}},
               {"rate-0", {.rate = 0}},
               {"rate-negative", {.rate = -44100}},
               {"rate-tiny", {.rate = 1e-300}},
               {"rate-4ghz", {.rate = 4e9}},
               {"rate-huge", {.rate = 1e300}},
               {"rate-nan", {.rate = NAN}},
               {"rate-inf", {.rate = INFINITY}}};
  for (const auto& a : aiffs) save(std::string("aiff-") + a.name + ".aiff", aiff(a.a));

  const auto text = [](const char* s) { return Bytes(s, s + std::strlen(s)); };
  save("empty.wav", {});
  save("one-byte.wav", {0x52});
  save("riff-only.wav", text("RIFF"));
  save("riff-wave-only.wav", text("RIFF\x04\0\0\0WAVE"));
  save("flac-magic-only.flac", text("fLaC"));
  save("ogg-magic-only.ogg", text("OggS"));
  save("form-only.aiff", text("FORM"));
  save("words.wav", text("These are not samples, just some words.\n"));
  save("zeros-64k.wav", Bytes(65536, 0));
  Bytes noise(4096);
  Random random{99};
  for (auto& b : noise) b = static_cast<std::uint8_t>(random.next());
  save("noise-4k.wav", noise);
}

void writeNonFiles(const fs::path& dir) {
  fs::create_directories(dir / "folder");
  mkfifo((dir / "fifo").c_str(), 0600);
  fs::create_symlink("fifo", dir / "fifo-link");
  fs::create_symlink("/dev/zero", dir / "zero-link");
  fs::create_symlink("missing", dir / "dangling-link");
  fs::create_symlink("loop-link", dir / "loop-link");
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = (dir / "socket").string();
  if (path.size() < sizeof address.sun_path) {
    path.copy(address.sun_path, path.size());
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  close(listener);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_file_corpus OUT\n");
    return 2;
  }
  const fs::path out = argv[1];
  fs::remove_all(out);
  corpus = out / "corpus";
  fs::create_directories(corpus);
  writeSeeds();
  writeHandMade();
  writeNonFiles(out / "nonfiles");
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(corpus)) ++count;
  std::printf("%zu corpus files in %s\n", count, corpus.c_str());
  return 0;
}
