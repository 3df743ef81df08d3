// The model's one way of failing: an Error value, returned inside an
// Expected<T> (a value or the error that prevented it, a small stand-in for
// C++23's std::expected) or a Status (success or an error). The library
// never prints and never ends the process; its callers decide what to say.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace ostrel {

// A failure, with a readable one-line text meant for the user.
struct Error {
  std::string description;
  int code = 0;  // the errno of the system call that failed; 0 when none did
  // Set when the failure came after the change it was part of took effect,
  // such as a save that failed once the new file had replaced the old.
  bool saved = false;

  // The failure of a system call: `code` with the system's text for it, for
  // example "Permission denied".
  static Error fromErrno(int code);

  // The same failure with "`context`: " before its description.
  Error within(std::string_view context) const;
};

template <class T>
class [[nodiscard]] Expected {
 public:
  // Implicit on purpose, so that a function returns either directly.
  Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}      // NOLINT
  Expected(Error error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return v_.index() == 0; }

  // Require ok().
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }

  // Requires !ok().
  const Error& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

// The result of an operation that gives nothing back but may fail.
class [[nodiscard]] Status {
 public:
  // Success.
  Status() = default;
  Status(Error error) : error_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return !error_.has_value(); }

  // Requires !ok().
  const Error& error() const { return *error_; }

 private:
  std::optional<Error> error_;
};

}  // namespace ostrel
