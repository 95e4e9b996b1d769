#pragma once
// The display the program draws on.

namespace tessard {

// Its DPI as the system gives it to this program: the system's setting, since the program
// declares itself DPI-aware (older systems give it to every program).
int DisplayDpi();

}  // namespace tessard
