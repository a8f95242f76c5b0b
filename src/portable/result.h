// The outcome of an operation that can fail: its value, or the text that
// reports why it failed.  Above the platform layer every failure travels in
// this one shape, from where it happens to the main function that reports it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace portable {

// Why an operation failed, in the words the program reports it with.
struct Failure {
  std::string text;
};

// Returns the report of a failed system operation: "<what> failed! Error: <error>".
Failure failed(std::string_view what, int error);

// A value of type T, or the Failure that took its place.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Failure failure) : state_(std::move(failure)) {}

  // True when the operation succeeded.
  explicit operator bool() const { return state_.index() == 0; }

  // The value; only after a success.
  T& operator*() { return std::get<0>(state_); }
  const T& operator*() const { return std::get<0>(state_); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }

  // The failure's text; only after a failure.
  const std::string& failure() const { return std::get<1>(state_).text; }

 private:
  std::variant<T, Failure> state_;
};

// The outcome of an operation that gives no value.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure.text)), failed_(true) {}

  // True when the operation succeeded.
  explicit operator bool() const { return !failed_; }

  // The failure's text; empty after a success.
  const std::string& failure() const { return failure_; }

 private:
  std::string failure_;
  bool failed_ = false;
};

}  // namespace portable
