// The installer's message box in FLTK: modal, a round information or error sign,
// the text, one OK button that Enter, Space or Escape presses, and the title given.
#pragma once

#include <FL/Fl_Window.H>

#include <string>

#include "platform/platform_services.h"
#include "platform/standalone/fltk/look.h"

namespace ruvo::fltk {

struct MessageBoxContent {
  std::string title;  // UTF-8
  std::string text;   // UTF-8; "\n" breaks a line, long lines wrap
  MessageIcon icon;
};

// Shows the box centred over `owner` (or the screen when `owner` is nullptr or not
// shown) and returns when the user has dismissed it.
void RunMessageBox(const MessageBoxContent& content, const FltkFont& font, Fl_Window* owner);

}  // namespace ruvo::fltk
