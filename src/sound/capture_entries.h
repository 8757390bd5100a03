#pragma once
// The names of the sound server's input entries that are not sources of its own: "what plays"
// (the monitor of whatever the default output is) and one application's sound. A source's name
// never holds ':' or a space (the servers allow letters, digits, '.', '-' and '_'), so these
// names never meet one.
//
// Threads: any; plain functions of their arguments.

#include <optional>
#include <string>

namespace bandscope::sound {

// The monitor of the server's default sink, followed as the default changes.
inline constexpr const char* kDefaultOutputName = "@DEFAULT_MONITOR@";
inline constexpr const char* kDefaultOutputDescription = "What plays (default output)";

// An application known by its name and its program's file name: "application:<binary>:<name>".
std::string applicationEntryName(const std::string& application, const std::string& binary);
// The application's name within such an entry name; none for any other name.
std::optional<std::string> applicationOf(const std::string& entryName);

}  // namespace bandscope::sound
