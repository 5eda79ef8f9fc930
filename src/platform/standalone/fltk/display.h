// Opening the X display before FLTK does: FLTK 1.3 ends the process on its own when
// it cannot, with no word of how to get one.
#pragma once

#include <X11/Xlib.h>

namespace ruvo::x11 {

// The display DISPLAY names, or nullptr after telling on stderr why there is none
// and how to get a virtual one.
Display* OpenDisplayOrExplain();

}  // namespace ruvo::x11
