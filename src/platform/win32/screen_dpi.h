// The screen's dots per inch, as the system-DPI-aware manifest lets the program see
// it; the window, its tests and the end-to-end probe all size by it.
#pragma once

#include <windows.h>

namespace ruvo::win32 {

inline int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace ruvo::win32
