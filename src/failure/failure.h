#pragma once
// How a library edge says it failed, everywhere but the audio component's ported interface
// (MMResult and ErrorText) and the GL binding's exceptions: a Failure is the text a user may
// be shown, with the system's error number where one caused it; a Result<T> holds a T or a
// Failure, a Result<void> nothing or a Failure. Reading the side that is not there throws
// (std::bad_variant_access, std::bad_optional_access): that is a programming error.
//
// Threads: plain values; any thread, one at a time per object.

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace bandscope {

struct Failure {
  std::string text;
  int code = 0;  // the errno that caused it; 0 where the system gave none
};

// A system call's failure with errno `error`, in the system's words.
inline Failure systemFailure(int error) {
  return {std::strerror(error), error};
}

template <typename T>
class [[nodiscard]] Result {
 public:
  // Implicit, so that a function returns its value or a Failure as it is.
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  explicit operator bool() const { return state_.index() == 0; }
  T& operator*() & { return std::get<0>(state_); }
  const T& operator*() const& { return std::get<0>(state_); }
  T&& operator*() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  const Failure& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure)) {}

  explicit operator bool() const { return !failure_; }
  const Failure& failure() const { return failure_.value(); }

 private:
  std::optional<Failure> failure_;
};

}  // namespace bandscope
