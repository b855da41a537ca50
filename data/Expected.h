#pragma once
// A value or the reason there is none. Errors travel as values up to the
// edge of the program, which decides how to show them.
#include <cassert>
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
class Expected {
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

}  // namespace prt
