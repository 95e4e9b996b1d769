#pragma once
// Icons pixel for pixel: what an icon handle holds against the entries of this executable's
// icon resources, each at its own size.

#include <windows.h>

#include <cstdint>
#include <vector>

namespace tessard::testing {

struct IconImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 32-bit BGRA, the top row first
  bool operator==(const IconImage&) const = default;
};

IconImage ImageOf(HICON icon);

// The resource's entry that the system finds best for `size` pixels, at the entry's own size.
IconImage EntryOf(int resource, int size);

// The tray icon resource (the normal icon or a busy frame) whose entry of the small-icon size
// the icon is, pixel for pixel; 0 for none, as for an image scaled from an entry of another size.
int TrayResourceOf(HICON icon);

}  // namespace tessard::testing
