#include "sound/capture_entries.h"

#include <string_view>

namespace bandscope::sound {

namespace {
constexpr std::string_view kPrefix = "application:";
}  // namespace

std::string applicationEntryName(const std::string& application, const std::string& binary) {
  std::string name(kPrefix);
  // The binary goes first, with its own ':' (rare in a file name) made harmless.
  for (const char c : binary) name += c == ':' ? '_' : c;
  return name + ':' + application;
}

std::optional<std::string> applicationOf(const std::string& entryName) {
  if (entryName.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
  const std::size_t colon = entryName.find(':', kPrefix.size());
  if (colon == std::string::npos) return std::nullopt;
  return entryName.substr(colon + 1);
}

}  // namespace bandscope::sound
