#pragma once
// A value or the reason there is none. Errors travel as values up to the
// edge of the program, which decides how to show them; a result that is
// dropped unread is a compile warning.
#include <cassert>
#include <optional>
#include <utility>
#include <variant>

namespace prt {

template <typename E>
struct Unexpected {
  E error;
};
template <typename E>
Unexpected(E) -> Unexpected<E>;

template <typename T, typename E>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Expected(Unexpected<E> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

  explicit operator bool() const { return state_.index() == 0; }
  bool HasValue() const { return state_.index() == 0; }

  T& operator*() {
    assert(HasValue());
    return std::get<0>(state_);
  }
  const T& operator*() const {
    assert(HasValue());
    return std::get<0>(state_);
  }
  T* operator->() { return &**this; }
  const T* operator->() const { return &**this; }

  const E& Error() const {
    assert(!HasValue());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, E> state_;
};

// Done, or the reason it was not.
template <typename E>
class [[nodiscard]] Expected<void, E> {
 public:
  Expected() = default;
  Expected(Unexpected<E> failure) : error_(std::move(failure.error)) {}

  explicit operator bool() const { return !error_; }
  bool HasValue() const { return !error_; }

  const E& Error() const {
    assert(error_);
    return *error_;
  }

 private:
  std::optional<E> error_;
};

}  // namespace prt
