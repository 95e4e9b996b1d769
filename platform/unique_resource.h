#pragma once
// One owner per handle: a move-only wrapper that closes what it holds exactly once. Each
// kind of handle is one line: its type, its close call and, where it is not zero, the
// value that means "none".

#include <cstdint>
#include <utility>

namespace tessard {

template <typename T, auto Close, std::intptr_t None = 0>
class UniqueResource {
 public:
  using Type = T;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Type value) noexcept : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Empty(); }

  Type release() noexcept { return std::exchange(value_, Empty()); }

  void reset(Type value = Empty()) noexcept {
    Type old = std::exchange(value_, value);
    if (old != Empty()) Close(old);
  }

  // For out-parameters: closes what is held, then lends the slot to the callee.
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  // Handles are pointers or integers; "none" is given as a number for both.
  static Type Empty() noexcept { return (Type)None; }

  Type value_ = Empty();
};

}  // namespace tessard
