#include "app/window/settings_text.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/band_settings.h"

namespace bandscope {

namespace {

constexpr int kMaxExtent = 32767;  // of a window's place and size, in pixels
constexpr int kMinSonoSteps = 2;
constexpr int kMaxSonoSteps = 512;
constexpr int kMaxTimeScale = 128;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

constexpr std::string_view kSource = "source";
constexpr std::string_view kBands = "bands";
constexpr std::string_view kTimeScale = "timeScale";
constexpr std::string_view kSonoSteps = "sonogramLength";
constexpr std::string_view kBits = "bits";
constexpr std::string_view kRange = "range";
constexpr std::string_view kChecksGroup = "checks";
constexpr std::string_view kPosition = "window/position";
constexpr std::string_view kSize = "window/size";
constexpr std::string_view kState = "window/state";
constexpr std::pair<WindowState, std::string_view> kStateNames[] = {
    {WindowState::Normal, "normal"},
    {WindowState::Maximized, "maximized"},
    {WindowState::FullScreen, "fullscreen"}};
constexpr std::string_view kTopLevelGroup = "General";

struct Entry {
  std::string key;    // with its group: "checks/Hz_check"
  std::string value;  // as written, unquoted and unescaped later
};

// UTF-8 without control characters but tab and line ends.
bool isText(std::string_view bytes) {
  QStringDecoder decode(QStringDecoder::Utf8);
  const QString text = decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return !decode.hasError() && std::none_of(text.begin(), text.end(), [](QChar c) {
    return c.category() == QChar::Other_Control && c != '\t' && c != '\n' && c != '\r';
  });
}

std::string_view trimmed(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The key-value lines with their groups; the last of a key counts. Empty, or why not INI.
std::string readEntries(std::string_view text, std::vector<Entry>& entries) {
  std::string group;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return "it is not an INI file";
      group = trimmed(line.substr(1, line.size() - 2));
      if (group == kTopLevelGroup) group.clear();
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) return "it is not an INI file";
    std::string key = group.empty() ? std::string() : group + '/';
    key += trimmed(line.substr(0, equals));
    std::string value(trimmed(line.substr(equals + 1)));
    const auto same = [&key](const Entry& e) { return e.key == key; };
    entries.erase(std::remove_if(entries.begin(), entries.end(), same), entries.end());
    entries.push_back({std::move(key), std::move(value)});
  }
  return {};
}

const std::string* valueOf(const std::vector<Entry>& entries, std::string_view key) {
  for (const Entry& e : entries)
    if (e.key == key) return &e.value;
  return nullptr;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A code point written as digits of `base` after a backslash (\x263a, \0); i at the first.
std::optional<char32_t> escapedCodePoint(std::string_view raw, size_t& i, int base) {
  char32_t c = 0;
  const size_t first = i;
  for (; i < raw.size(); ++i) {
    int digit = -1;
    const char d = raw[i];
    if (d >= '0' && d <= '9') digit = d - '0';
    if (base == 16 && d >= 'a' && d <= 'f') digit = d - 'a' + 10;
    if (base == 16 && d >= 'A' && d <= 'F') digit = d - 'A' + 10;
    if (digit < 0 || digit >= base) break;
    c = c * base + digit;
    if (c > kMaxCodePoint) return std::nullopt;
  }
  if (i == first || c == 0 || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  return c;
}

// The one string a value holds, its quotes and escapes undone; none for a list (an unquoted
// comma) or a broken escape.
std::optional<std::string> unescaped(std::string_view raw) {
  std::string out;
  bool quoted = false;
  for (size_t i = 0; i < raw.size();) {
    const char c = raw[i++];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == ',' && !quoted) return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    const char e = i < raw.size() ? raw[i++] : '\0';
    constexpr std::string_view kFrom = "abfnrtv\"\\'?;,=";
    constexpr std::string_view kTo = "\a\b\f\n\r\t\v\"\\'?;,=";
    if (const size_t k = kFrom.find(e); k != std::string_view::npos) {
      out += kTo[k];
      continue;
    }
    // \0 would be a NUL; anything else but \x is no escape of ours.
    const std::optional<char32_t> code = e == 'x' ? escapedCodePoint(raw, i, 16) : std::nullopt;
    if (!code) return std::nullopt;
    appendUtf8(out, *code);
  }
  if (quoted) return std::nullopt;
  return out;
}

// Plain text, no "@..." value; "@@" stands for a leading "@".
std::optional<std::string> plainText(std::string_view raw) {
  std::optional<std::string> text = unescaped(raw);
  if (text && text->starts_with("@@")) {
    text->erase(0, 1);
  } else if (text && text->starts_with('@')) {
    return std::nullopt;
  }
  return text;
}

enum class Number { Taken, NotANumber, OutOfRange };

// A whole number written in decimal; one beyond 64 bits is out of range all the same.
Number wholeNumber(std::string_view text, int low, int high, int& to) {
  const bool plus = text.starts_with('+');
  const std::string_view number = plus ? text.substr(1) : text;
  const std::string_view digits = !plus && number.starts_with('-') ? number.substr(1) : number;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return Number::NotANumber;
  int64_t n = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), n);
  if (error == std::errc::result_out_of_range || n < low || n > high) return Number::OutOfRange;
  if (error != std::errc() || end != number.data() + number.size()) return Number::NotANumber;
  to = static_cast<int>(n);
  return Number::Taken;
}

std::string takeNumber(const std::vector<Entry>& entries, std::string_view key, int low, int high,
                       int& to) {
  const std::string* raw = valueOf(entries, key);
  if (!raw) return {};
  const std::optional<std::string> text = plainText(*raw);
  const std::string name(key);
  if (!text) return name + " is not a whole number";
  const Number n = wholeNumber(*text, low, high, to);
  if (n == Number::NotANumber) return name + " is not a whole number";
  if (n == Number::OutOfRange) {
    return name + ' ' + *text + " is out of range (" + std::to_string(low) + " to " +
           std::to_string(high) + ')';
  }
  return {};
}

// "@Point(x y)" or "@Size(w h)", the two within low .. kMaxExtent.
std::optional<std::pair<int, int>> pairOf(const std::string& raw, std::string_view kind, int low) {
  const std::optional<std::string> text = unescaped(raw);
  if (!text || !text->starts_with(kind) || !text->ends_with(')')) return std::nullopt;
  const std::string_view inner =
      std::string_view(*text).substr(kind.size(), text->size() - kind.size() - 1);
  const size_t space = inner.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  std::pair<int, int> values;
  if (wholeNumber(inner.substr(0, space), low, kMaxExtent, values.first) != Number::Taken ||
      wholeNumber(inner.substr(space + 1), low, kMaxExtent, values.second) != Number::Taken)
    return std::nullopt;
  return values;
}

std::string takeChecks(const std::vector<Entry>& entries, SavedSettings& values) {
  const std::string prefix = std::string(kChecksGroup) + '/';
  for (const Entry& e : entries) {
    if (!e.key.starts_with(prefix)) continue;
    const std::optional<std::string> text = plainText(e.value);
    if (!text || (*text != "true" && *text != "false")) return e.key + " is not true or false";
    values.checks.emplace_back(QString::fromUtf8(e.key.substr(prefix.size())), *text == "true");
  }
  return {};
}

std::string takeWindow(const std::vector<Entry>& entries, SavedSettings& values) {
  if (const std::string* raw = valueOf(entries, kPosition)) {
    const auto p = pairOf(*raw, "@Point(", -kMaxExtent);
    if (!p) return std::string(kPosition) + " is not a place on the screen";
    values.position = QPoint(p->first, p->second);
  }
  if (const std::string* raw = valueOf(entries, kSize)) {
    const auto s = pairOf(*raw, "@Size(", 1);
    if (!s) return std::string(kSize) + " is not a window size";
    values.size = QSize(s->first, s->second);
  }
  if (const std::string* raw = valueOf(entries, kState)) {
    const std::optional<std::string> text = plainText(*raw);
    const auto* named = std::find_if(std::begin(kStateNames), std::end(kStateNames),
                                     [&text](const auto& n) { return text && n.second == *text; });
    if (named == std::end(kStateNames))
      return std::string(kState) + " is not normal, maximized or fullscreen";
    values.windowState = named->first;
  }
  return {};
}

// As QSettings writes a string, so that its readers take it too: quoted where a separator or
// an outer space is in it, backslash escapes for quotes, backslashes and control characters.
std::string escaped(const std::string& text) {
  std::string out = text.starts_with('@') ? "@" : "";
  bool quote = text.starts_with(' ') || text.ends_with(' ');
  bool escapeHexDigit = false;  // after \xNN a hex digit would be read as part of it
  constexpr std::string_view kFrom = "\a\b\f\n\r\t\v";
  constexpr std::string_view kTo = "abfnrtv";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ';' || c == ',' || c == '=') quote = true;
    const bool hexDigit = std::isxdigit(byte) != 0;
    if (escapeHexDigit && hexDigit) {
      out += "\\x";
      out += "0123456789abcdef"[byte >> 4];
      out += "0123456789abcdef"[byte & 0xF];
      continue;
    }
    escapeHexDigit = false;
    if (const size_t k = kFrom.find(c); k != std::string_view::npos) {
      out += '\\';
      out += kTo[k];
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += "0123456789abcdef"[byte >> 4];
      out += "0123456789abcdef"[byte & 0xF];
      escapeHexDigit = true;
    } else {
      out += c;
    }
  }
  return quote ? '"' + out + '"' : out;
}

// Empty, or why the text is doubtful.
std::string whyDoubtful(std::string_view text, SavedSettings& values) {
  if (!isText(text)) return "it is not text";
  std::vector<Entry> entries;
  if (std::string why = readEntries(text, entries); !why.empty()) return why;
  if (const std::string* raw = valueOf(entries, kSource)) {
    std::optional<std::string> name = plainText(*raw);
    if (!name) return std::string(kSource) + " is not a name";
    values.source = std::move(*name);
  }
  std::string why = takeNumber(entries, kBands, kMinBands, kMaxBands, values.bandCount);
  if (why.empty()) why = takeNumber(entries, kTimeScale, 1, kMaxTimeScale, values.timeScale);
  if (why.empty() && (values.timeScale & (values.timeScale - 1)) != 0) {
    why =
        std::string(kTimeScale) + ' ' + std::to_string(values.timeScale) + " is not a power of two";
  }
  if (why.empty())
    why = takeNumber(entries, kSonoSteps, kMinSonoSteps, kMaxSonoSteps, values.sonoSteps);
  if (why.empty()) why = takeNumber(entries, kBits, 8, 16, values.sampleBits);
  if (why.empty() && values.sampleBits != 8 && values.sampleBits != 16)
    why = std::string(kBits) + ' ' + std::to_string(values.sampleBits) + " is not 8 or 16";
  if (why.empty())
    why = takeNumber(entries, kRange, kRangesDb[0], std::end(kRangesDb)[-1], values.rangeDb);
  if (why.empty() && !isValidRange(values.rangeDb))
    why = std::string(kRange) + ' ' + std::to_string(values.rangeDb) + " is not 60, 90 or 120";
  if (why.empty()) why = takeChecks(entries, values);
  if (why.empty()) why = takeWindow(entries, values);
  return why;
}

}  // namespace

Result<void> parseSettings(std::string_view text, SavedSettings& values) {
  std::string why = whyDoubtful(text, values);
  if (!why.empty()) return Failure{std::move(why)};
  return {};
}

std::string formatSettings(const SavedSettings& values) {
  std::string text = "[General]\n";
  if (!values.source.empty()) text += std::string(kSource) + '=' + escaped(values.source) + '\n';
  text += std::string(kBands) + '=' + std::to_string(values.bandCount) + '\n';
  text += std::string(kTimeScale) + '=' + std::to_string(values.timeScale) + '\n';
  text += std::string(kSonoSteps) + '=' + std::to_string(values.sonoSteps) + '\n';
  text += std::string(kBits) + '=' + std::to_string(values.sampleBits) + '\n';
  text += std::string(kRange) + '=' + std::to_string(values.rangeDb) + '\n';
  if (!values.checks.empty()) {
    text += "\n[" + std::string(kChecksGroup) + "]\n";
    for (const auto& [name, checked] : values.checks)
      text += name.toStdString() + (checked ? "=true\n" : "=false\n");
  }
  if (values.position || values.size || values.windowState != WindowState::Normal)
    text += "\n[window]\n";
  if (values.position) {
    text += "position=@Point(" + std::to_string(values.position->x()) + ' ' +
            std::to_string(values.position->y()) + ")\n";
  }
  if (values.size) {
    text += "size=@Size(" + std::to_string(values.size->width()) + ' ' +
            std::to_string(values.size->height()) + ")\n";
  }
  for (const auto& [state, name] : kStateNames)
    if (state == values.windowState && state != WindowState::Normal)
      text += "state=" + std::string(name) + '\n';
  return text;
}

}  // namespace bandscope
