#pragma once
// What the token module's progress reports (codes 256 to 270) do, step by step in their
// order: the busy animation, a notification, and after a low-level initialisation the
// unregistering of the wiped token's certificates. Free of <windows.h>.

#include <cstdint>
#include <optional>
#include <vector>

#include "localisation/string_ids.h"

namespace tessard {

enum class ProgressAction { StartBusy, StopBusy, Notify, UnregisterCertificates };

struct ProgressStep {
  ProgressAction action;
  TextId text{};               // Notify: the notification, a pattern when `item` is set
  std::optional<TextId> item;  // Notify: the saved item, put in the pattern's %s
};

// The steps of one progress report; none for a code outside 256 to 270. A save report whose
// datum names no item (1 certificate, 2 public key, 3 private key) still animates.
std::vector<ProgressStep> ProgressStepsOf(uint32_t code, uint32_t datum);

}  // namespace tessard
