#include "platform/display.h"

#include "platform/dpi_rules.h"
#include "platform/handles.h"

namespace tessard {

int DisplayDpi() {
  const WindowDc screen(nullptr);
  // Every system since Windows 95 answers this. Without a screen to ask (0), the standard.
  const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? dpi : kStandardDpi;
}

}  // namespace tessard
