#pragma once
// Why something could not be done, where layers meet. Each layer states its
// own kinds of failure as plain types (a system call's in platform/, a data
// file's broken rule in data/, a run's stage in convert/) and answers them in
// an Expected of that type; an Error holds any one of them, so that a caller
// passes on what it cannot handle without this header knowing the layers.
// Only the edge of a program asks which kind it is (As<T>) and turns it into
// words (cli/Messages). Copies share the one payload.
#include <memory>
#include <string>
#include <type_traits>

#include "platform/Expected.h"

namespace prt {

// A kind of error: a copyable type that can say why in words.
template <typename T>
concept ErrorKind = std::is_copy_constructible_v<T> && requires(const T& error) {
  { error.Reason() } -> std::convertible_to<std::string>;
};

class Error {
 public:
  // An Error is not asked whether it is a kind first: clang would check
  // that through this very constructor.
  template <typename T>
    requires(!std::is_same_v<std::decay_t<T>, Error> && ErrorKind<T>)
  Error(T kind) : payload_(std::make_shared<const Holder<T>>(std::move(kind))) {}

  // The error as the kind `T`, or null when it is of another kind.
  template <typename T>
  const T* As() const {
    const auto* held = dynamic_cast<const Holder<T>*>(payload_.get());
    return held ? &held->kind : nullptr;
  }
  template <typename T>
  bool Is() const {
    return As<T>() != nullptr;
  }
  // The system's text when it gave a reason, else the rule broken.
  std::string Reason() const { return payload_->Reason(); }

 private:
  struct Payload {
    virtual ~Payload() = default;
    virtual std::string Reason() const = 0;
  };
  template <typename T>
  struct Holder final : Payload {
    explicit Holder(T k) : kind(std::move(k)) {}
    std::string Reason() const override { return kind.Reason(); }
    T kind;
  };
  std::shared_ptr<const Payload> payload_;
};

template <typename T>
using Result = Expected<T, Error>;
// Done, or why not.
using Status = Expected<void, Error>;

// Memory ran out: the programs end with a message instead of an exception
// leaving a worker thread.
struct OutOfMemory {
  std::string Reason() const { return "out of memory"; }
};

}  // namespace prt
