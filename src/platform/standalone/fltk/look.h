// How the window's system colours, fonts and twips look on this screen with FLTK.
#pragma once

#include <FL/Enumerations.H>

#include <map>
#include <string>
#include <string_view>

#include "window/layout.h"

namespace ruvo::fltk {

// The Windows 7 defaults (Windows Basic theme) for the system colours the window uses:
// 3-D face F0F0F0, button text and window text black, window white, active border
// B4B4B4.
Fl_Color FltkColour(SystemColour colour);

// The screen's horizontal resolution in dots per inch, 96 when the display reports
// nothing sensible. Needs the display to be open.
int ScreenDpi();

// Finds FLTK fonts for the Windows face names the window uses.
class FltkFonts {
 public:
  // Reads the display's font list (the display must be open).
  FltkFonts();

  // A regular face of that name when the display has one (names compare
  // case-insensitively); otherwise the first installed substitute for it, and FLTK's
  // sans face for a name it knows nothing about.
  Fl_Font ForFace(std::wstring_view face) const;

 private:
  const Fl_Font* Find(const std::string& loweredName) const;

  std::map<std::string, Fl_Font> regularFaces_;  // lower-case name -> font
};

// A font as FLTK draws it: face and character height in pixels.
struct FltkFont {
  Fl_Font face;
  int size;
};

// The face and size of a font record (all of the window's fonts are regular ones).
FltkFont ToFltkFont(const FltkFonts& fonts, const FontRecord& font, int dpi);

// The font message boxes use: the system's message font at the window's size.
FltkFont MessageBoxFont(const FltkFonts& fonts, int dpi);

}  // namespace ruvo::fltk
