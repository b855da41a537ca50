#pragma once
// A value or the reason there is none, after LLVM's Expected. Errors travel
// as values up to the edge of the program, which decides how to show them.
// A result must be looked at: dropped unread it is a compile warning, and in
// a debug build one destroyed (or overwritten) before it was tested ends the
// process, so that a path that forgets a failure shows in any test that
// takes it. Release builds carry no flag and pay nothing.
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace prt {

template <typename E>
struct Unexpected {
  E error;
};
template <typename E>
Unexpected(E) -> Unexpected<E>;

// The failure `error`, for any Expected whose error type can be made from it.
template <typename E>
Unexpected<std::decay_t<E>> Fail(E&& error) {
  return {std::forward<E>(error)};
}

namespace detail {

#ifndef NDEBUG
// Set while a result has not been tested; moves take it along.
class CheckFlag {
 public:
  CheckFlag() = default;
  CheckFlag(CheckFlag&& other) noexcept : unchecked_(std::exchange(other.unchecked_, false)) {}
  CheckFlag& operator=(CheckFlag&& other) noexcept {
    AssertChecked();
    unchecked_ = std::exchange(other.unchecked_, false);
    return *this;
  }
  ~CheckFlag() { AssertChecked(); }
  void Check() const { unchecked_ = false; }
  bool Checked() const { return !unchecked_; }

 private:
  void AssertChecked() const {
    if (!unchecked_) return;
    std::fputs("prt: an Expected was destroyed or overwritten before it was tested\n", stderr);
    std::abort();
  }
  mutable bool unchecked_ = true;
};
#else
class CheckFlag {
 public:
  void Check() const {}
  bool Checked() const { return true; }
};
#endif

template <typename T>
inline constexpr bool kIsUnexpected = false;
template <typename E>
inline constexpr bool kIsUnexpected<Unexpected<E>> = true;

}  // namespace detail

template <typename T, typename E>
class [[nodiscard]] Expected {
 public:
  // Any value a T can be made from.
  template <typename U = T>
    requires(std::is_constructible_v<T, U &&> && !std::is_same_v<std::decay_t<U>, Expected> &&
             !detail::kIsUnexpected<std::decay_t<U>>)
  Expected(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <typename G>
    requires std::is_constructible_v<E, G &&>
  Expected(Unexpected<G> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}
  Expected(Expected&&) = default;
  Expected& operator=(Expected&&) = default;

  explicit operator bool() const { return HasValue(); }
  bool HasValue() const {
    check_.Check();
    return state_.index() == 0;
  }

  T& operator*() {
    assert(check_.Checked() && state_.index() == 0);
    return std::get<0>(state_);
  }
  const T& operator*() const {
    assert(check_.Checked() && state_.index() == 0);
    return std::get<0>(state_);
  }
  T* operator->() { return &**this; }
  const T* operator->() const { return &**this; }

  const E& Error() const {
    assert(check_.Checked() && state_.index() == 1);
    return std::get<1>(state_);
  }

 private:
  std::variant<T, E> state_;
  [[no_unique_address]] detail::CheckFlag check_;
};

// Done, or the reason it was not.
template <typename E>
class [[nodiscard]] Expected<void, E> {
 public:
  Expected() = default;
  template <typename G>
    requires std::is_constructible_v<E, G &&>
  Expected(Unexpected<G> failure) : error_(std::move(failure.error)) {}
  // A failure of another kind of result, passed on.
  template <typename G>
    requires(std::is_constructible_v<E, const G&> && !std::is_same_v<G, E>)
  Expected(Expected<void, G>&& other) {
    if (!other) error_.emplace(other.Error());
  }
  Expected(Expected&&) = default;
  Expected& operator=(Expected&&) = default;

  explicit operator bool() const { return HasValue(); }
  bool HasValue() const {
    check_.Check();
    return !error_;
  }

  const E& Error() const {
    assert(check_.Checked() && error_);
    return *error_;
  }

 private:
  std::optional<E> error_;
  [[no_unique_address]] detail::CheckFlag check_;
};

}  // namespace prt
