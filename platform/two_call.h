#pragma once
// The Win32 two-call read, written once: the size first, then a zero-filled buffer of that
// size, cut to the size the second call reports. Free of <windows.h>: `read` wraps the call
// and answers whether it succeeded.

#include <cstdint>
#include <optional>
#include <vector>

namespace tessard {

// read(nullptr, &size) asks for the size; read(buffer, &size) fills the buffer.
template <typename Read>
std::optional<std::vector<std::uint8_t>> ReadTwoCall(Read read) {
  unsigned long size = 0;
  // A zero size is as good as a failure: there is nothing to hold.
  if (!read(nullptr, &size) || size == 0) return std::nullopt;
  std::vector<std::uint8_t> buffer(size, 0);
  // The second call may find less than the first announced, never more.
  if (!read(buffer.data(), &size) || size > buffer.size()) return std::nullopt;
  buffer.resize(size);
  return buffer;
}

}  // namespace tessard
