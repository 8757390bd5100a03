#pragma once
// Checked preconditions. A failed check throws AssertionFailure whose text is the
// message followed by the source position; callers on the UI thread show it to the user.
// Any thread may use these; the capture thread's code has no checks that can fail.

#include <source_location>
#include <stdexcept>
#include <string>

namespace bandscope {

class AssertionFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

[[noreturn]] void failAssertion(const char* message,
                                std::source_location where = std::source_location::current());

inline void check(bool condition, const char* message,
                  std::source_location where = std::source_location::current()) {
  if (!condition) failAssertion(message, where);
}

}  // namespace bandscope
