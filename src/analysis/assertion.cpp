#include "assertion.h"

namespace bandscope {

void failAssertion(const char* message, std::source_location where) {
  throw AssertionFailure(std::string(message) + " (" + where.file_name() + ", line " +
                         std::to_string(where.line()) + ")");
}

}  // namespace bandscope
