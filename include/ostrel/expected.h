// A value or the error that prevented it: the model's way of returning
// failures as values (a small stand-in for C++23's std::expected).
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace ostrel {

// A failure with a readable, one-line text meant for the user.
struct Error {
  std::string description;
};

template <class T, class E>
class Expected {
 public:
  Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit on purpose
  Expected(E error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return v_.index() == 0; }

  // Require ok().
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }

  // Require !ok().
  const E& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, E> v_;
};

}  // namespace ostrel
