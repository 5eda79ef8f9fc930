#include "platform/standalone/fltk/display.h"

#include <cstdio>
#include <cstdlib>

namespace ruvo::x11 {

Display* OpenDisplayOrExplain() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    std::fprintf(stderr,
                 "ruvo-linklens: no X display: DISPLAY is not set.\n"
                 "Run it on a desktop session (under Wayland through XWayland), or on a "
                 "virtual display:\n  xvfb-run -a scripts/run\n");
    return nullptr;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr,
                 "ruvo-linklens: cannot open the X display \"%s\".\n"
                 "Check DISPLAY and the X server's access rules, or use a virtual display:\n"
                 "  xvfb-run -a scripts/run\n",
                 name);
  }
  return display;
}

}  // namespace ruvo::x11
