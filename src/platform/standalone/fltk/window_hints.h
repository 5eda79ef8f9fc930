// What the stand-alone window asks of the X window manager, in plain Xlib.
#pragma once

#include <X11/Xlib.h>

namespace ruvo::x11 {

// Motif hints, which most X window managers read: a title bar, a system menu and a
// close box, and only moving and closing (no minimize, maximize or resize).
void AskForCloseBoxOnly(Display* display, Window window);

}  // namespace ruvo::x11
