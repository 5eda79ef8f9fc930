#include "platform/standalone/fltk/user_interface.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/text.h"
#include "registration/messages.h"
#include "window/layout.h"

namespace ruvo::fltk {
namespace {

constexpr const char* kLogVariable = "RUVO_UI_LOG";

std::string Escaped(const std::string& field) {
  std::string out;
  for (const char c : field) {
    const char* escape = c == '\\'   ? "\\\\"
                         : c == '\t' ? "\\t"
                         : c == '\r' ? "\\r"
                         : c == '\n' ? "\\n"
                                     : nullptr;
    if (escape != nullptr) {
      out += escape;
    } else {
      out += c;
    }
  }
  return out;
}

const char* IconName(MessageIcon icon) {
  return icon == MessageIcon::Error ? "error" : "information";
}

std::string ApplicationTitle() {
  return ToUtf8(kApplicationTitle);
}

}  // namespace

UserInterfaceLog UserInterfaceLog::FromEnvironment() {
  const char* file = std::getenv(kLogVariable);
  if (file == nullptr || *file == '\0') return UserInterfaceLog(std::nullopt);
  return UserInterfaceLog(std::string(file));
}

void UserInterfaceLog::WindowShown(const std::string& title, const std::string& caption,
                                   const std::string& font) const {
  Append("window\t" + Escaped(title) + "\t" + Escaped(caption) + "\t" + Escaped(font));
}

void UserInterfaceLog::MessageShown(MessageIcon icon, const std::string& title,
                                    const std::string& text) const {
  Append(std::string("message\t") + IconName(icon) + "\t" + Escaped(title) + "\t" + Escaped(text));
}

void UserInterfaceLog::Append(const std::string& line) const {
  if (!file_) return;
  std::ofstream out(*file_, std::ios::app | std::ios::binary);
  out << line << '\n';
  out.flush();
  if (!out) {
    std::fprintf(stderr, "ruvo-linklens: cannot append to %s (%s): %s\n", kLogVariable,
                 file_->c_str(), std::strerror(errno));
  }
}

void ShowApplicationMessage(const UserInterfaceLog& log, const FltkFont& font, const Text& text,
                            MessageIcon icon) {
  const std::string title = ApplicationTitle();
  const std::string utf8 = ToUtf8(text);
  // Keys and clicks given while the program was busy go where they were aimed (the
  // button, where a second press does nothing), not to the box: the user reads the
  // outcome before anything dismisses it.
  Fl::check();
  log.MessageShown(icon, title, utf8);
  // FLTK's own modal dialog: its "i" sign for information, "!" for an error, and one
  // button, named as Windows names it, that Enter or Escape presses. The box's window
  // class is the one the end-to-end tests look for; the main window names its own.
  Fl_Window::default_xclass(kMessageBoxClass);
  fl_message_title(title.c_str());
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

FltkUserInterface::FltkUserInterface(FltkMainWindow& window, const FltkFonts& fonts, int dpi,
                                     const UserInterfaceLog& log)
    : window_(window),
      fonts_(fonts),
      messageFont_(MessageBoxFont(fonts, dpi)),
      log_(log),
      buttonFontName_(kMainWindow.font->face) {}

void FltkUserInterface::ShowMessage(const Text& text, MessageIcon icon) {
  ShowApplicationMessage(log_, messageFont_, text, icon);
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
  log_.WindowShown(window_.Window().label(), ToUtf8(ActionButtonCaption()),
                   ToUtf8(buttonFontName_));
  window_.Show();
}

}  // namespace ruvo::fltk
