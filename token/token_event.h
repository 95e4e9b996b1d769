#pragma once
// The token events the monitor posts to the main dialog, and how slot and code share the
// message's wParam. Free of <windows.h>.

#include <cstdint>

namespace tessard {

inline constexpr unsigned kTokenEventMessage = 0x0800;  // WM_TOKEN_EVENT

enum TokenEventCode : uint32_t {
  TOKEN_EVENT_INSERTED = 1,
  TOKEN_EVENT_REMOVED = 2,
  TOKEN_EVENT_OBJECT_CREATED = 3,
  TOKEN_EVENT_OBJECT_DELETED = 4,
  TOKEN_EVENT_IGNORED = 5,
  TOKEN_EVENT_PROGRESS_FIRST = 256,
  TOKEN_EVENT_PROGRESS_LAST = 270,
};

struct TokenEvent {
  uint32_t slot;
  uint32_t code;
  uint32_t data;  // object handle or item number, by code
};

// High 16 bits the slot, low 16 bits the code: wider values lose their upper bits, on
// 32-bit and 64-bit builds alike.
constexpr uint32_t PackTokenEvent(uint64_t slot, uint64_t code) {
  return static_cast<uint32_t>(((slot & 0xFFFF) << 16) | (code & 0xFFFF));
}
constexpr uint32_t SlotOfPackedEvent(uint64_t packed) { return static_cast<uint32_t>((packed >> 16) & 0xFFFF); }
constexpr uint32_t CodeOfPackedEvent(uint64_t packed) { return static_cast<uint32_t>(packed & 0xFFFF); }

// Where the main dialog sends an event with this code.
enum class TokenEventRoute {
  Insertion,
  Removal,
  Worker,    // 3 to 5: the worker thread, or at once when it does not run
  Progress,  // 256 to 270: saving, key-pair generation, (low-level) initialisation
  Ignored,
};

constexpr TokenEventRoute RouteOfTokenEvent(uint32_t code) {
  if (code == TOKEN_EVENT_INSERTED) return TokenEventRoute::Insertion;
  if (code == TOKEN_EVENT_REMOVED) return TokenEventRoute::Removal;
  if (code >= TOKEN_EVENT_OBJECT_CREATED && code <= TOKEN_EVENT_IGNORED) return TokenEventRoute::Worker;
  if (code >= TOKEN_EVENT_PROGRESS_FIRST && code <= TOKEN_EVENT_PROGRESS_LAST) return TokenEventRoute::Progress;
  return TokenEventRoute::Ignored;
}

}  // namespace tessard
