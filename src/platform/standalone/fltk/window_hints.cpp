#include "platform/standalone/fltk/window_hints.h"

#include <X11/Xatom.h>

namespace ruvo::x11 {

void AskForCloseBoxOnly(Display* display, Window window) {
  constexpr long kHintsFunctions = 1L << 0;
  constexpr long kHintsDecorations = 1L << 1;
  constexpr long kFunctionMove = 1L << 2;
  constexpr long kFunctionClose = 1L << 5;
  constexpr long kDecorBorder = 1L << 1;
  constexpr long kDecorTitle = 1L << 3;
  constexpr long kDecorMenu = 1L << 4;
  long hints[5] = {kHintsFunctions | kHintsDecorations, kFunctionMove | kFunctionClose,
                   kDecorBorder | kDecorTitle | kDecorMenu, 0, 0};
  if (display == nullptr || window == 0) return;
  const Atom motifHints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(display, window, motifHints, motifHints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(hints), 5);
  XFlush(display);
}

}  // namespace ruvo::x11
