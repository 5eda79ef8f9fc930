#include "platform/standalone/fltk/user_interface.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>

#include "platform/text.h"
#include "registration/messages.h"
#include "window/layout.h"

namespace ruvo::fltk {
namespace {

// A record of what the user is shown, for the end-to-end tests. When the environment
// variable RUVO_UI_LOG names a file, one line is appended to it (and flushed) for
//   the window, as it is shown:   window <TAB> title <TAB> button caption <TAB> button font
//   each message box, before it:  message <TAB> information|error <TAB> title <TAB> text
// Backslash, tab, CR and LF in a field are written as \\, \t, \r and \n. The window
// draws its texts and FLTK's boxes expose no text to other programs, so this is how
// a test reads them. Without the variable nothing is written.
void RecordShown(std::initializer_list<std::string> fields) {
  const char* file = std::getenv("RUVO_UI_LOG");
  if (file == nullptr || *file == '\0') return;
  std::string line;
  const char* separator = "";
  for (const std::string& field : fields) {
    line += std::exchange(separator, "\t");
    for (const char c : field) {
      const char* escape = c == '\\'   ? "\\\\"
                           : c == '\t' ? "\\t"
                           : c == '\r' ? "\\r"
                           : c == '\n' ? "\\n"
                                       : nullptr;
      line += escape != nullptr ? std::string(escape) : std::string(1, c);
    }
  }
  std::ofstream out(file, std::ios::app | std::ios::binary);
  out << line << '\n' << std::flush;
  if (!out) {
    std::fprintf(stderr, "ruvo-linklens: cannot append to RUVO_UI_LOG (%s): %s\n", file,
                 std::strerror(errno));
  }
}

}  // namespace

void ShowApplicationMessage(const FltkFonts& fonts, int dpi, const Text& text, MessageIcon icon) {
  const std::string title = ToUtf8(kApplicationTitle);
  const std::string utf8 = ToUtf8(text);
  // Keys and clicks given while the program was busy go where they were aimed (the
  // button, where a second press does nothing), not to the box: the user reads the
  // outcome before anything dismisses it.
  Fl::check();
  RecordShown({"message", icon == MessageIcon::Error ? "error" : "information", title, utf8});
  // FLTK's own modal dialog: its "i" sign for information, "!" for an error, and one
  // button, named as Windows names it, that Enter or Escape presses. The box's window
  // class is the one the end-to-end tests look for; the main window names its own.
  Fl_Window::default_xclass(kMessageBoxClass);
  fl_message_title(title.c_str());
  const FltkFont font = MessageBoxFont(fonts, dpi);
  fl_message_font(font.face, font.size);
  fl_message_hotspot(0);
  fl_close = "OK";
  // A label draws "@..." as a symbol; "@@" is a plain "@".
  std::string shown;
  for (const char c : utf8) shown += c == '@' ? std::string("@@") : std::string(1, c);
  if (icon == MessageIcon::Information) {
    fl_message("%s", shown.c_str());
  } else {
    fl_alert("%s", shown.c_str());
  }
}

FltkUserInterface::FltkUserInterface(FltkMainWindow& window, const FltkFonts& fonts, int dpi)
    : window_(window), fonts_(fonts), dpi_(dpi), buttonFontName_(kMainWindow.font->face) {}

void FltkUserInterface::ShowMessage(const Text& text, MessageIcon icon) {
  ShowApplicationMessage(fonts_, dpi_, text, icon);
}

Text FltkUserInterface::ActionButtonCaption() {
  const char* caption = window_.ActionButton().label();
  return caption != nullptr ? FromUtf8(caption) : Text();
}

void FltkUserInterface::SetActionButtonCaption(const Text& caption) {
  window_.ActionButton().copy_label(ToUtf8(caption).c_str());
  window_.ActionButton().redraw();
}

void FltkUserInterface::SetActionButtonFontName(const Text& face) {
  // Only the face changes; the size stays.
  window_.ActionButton().labelfont(fonts_.ForFace(face));
  window_.ActionButton().redraw();
  buttonFontName_ = face;
}

void FltkUserInterface::EndProgram(ExitStatus status) {
  ended_ = true;
  exitStatus_ = status;
  while (Fl_Window* window = Fl::first_window()) window->hide();
}

void FltkUserInterface::ShowWindow() {
  if (ended_) return;
  RecordShown(
      {"window", window_.Window().label(), ToUtf8(ActionButtonCaption()), ToUtf8(buttonFontName_)});
  window_.Show();
}

}  // namespace ruvo::fltk
