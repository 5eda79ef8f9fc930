// The user-interface half of the seam for the stand-alone program: the FLTK window's
// button, message boxes, and ending the program.
#pragma once

#include <optional>
#include <string>

#include "platform/platform_services.h"
#include "platform/standalone/fltk/look.h"
#include "platform/standalone/fltk/main_window.h"

namespace ruvo::fltk {

// A record of what the user is shown, for the end-to-end tests. When the environment
// variable RUVO_UI_LOG names a file, one line is appended to it (and flushed) for
//   the window, as it is shown:   window <TAB> title <TAB> button caption <TAB> button font
//   each message box, before it:  message <TAB> information|error <TAB> title <TAB> text
// Backslash, tab, CR and LF in a field are written as \\, \t, \r and \n. The window
// draws its texts and FLTK's boxes expose no text to other programs, so this is how
// a test reads them. Without the variable nothing is written.
class UserInterfaceLog {
 public:
  static UserInterfaceLog FromEnvironment();

  void WindowShown(const std::string& title, const std::string& caption,
                   const std::string& font) const;
  void MessageShown(MessageIcon icon, const std::string& title, const std::string& text) const;

 private:
  explicit UserInterfaceLog(std::optional<std::string> file) : file_(std::move(file)) {}
  void Append(const std::string& line) const;

  std::optional<std::string> file_;
};

// The window class of the message box, as the main window's is "ruvo-linklens".
inline constexpr const char* kMessageBoxClass = "ruvo-linklens-message";

// Shows a message box with the application title, after logging it, and returns once
// the user has dismissed it.
void ShowApplicationMessage(const UserInterfaceLog& log, const FltkFont& font, const Text& text,
                            MessageIcon icon);

class FltkUserInterface : public UserInterface {
 public:
  FltkUserInterface(FltkMainWindow& window, const FltkFonts& fonts, int dpi,
                    const UserInterfaceLog& log);

  void ShowMessage(const Text& text, MessageIcon icon) override;
  Text ActionButtonCaption() override;
  void SetActionButtonCaption(const Text& caption) override;
  void SetActionButtonFontName(const Text& face) override;
  // Hides every window, so that the event loop returns once the handler has, and
  // keeps the status for the program to end with.
  void EndProgram(ExitStatus status) override;

  // Shows the main window and logs what it shows; nothing once the program ended.
  void ShowWindow();
  bool ended() const { return ended_; }
  ExitStatus exitStatus() const { return exitStatus_; }

 private:
  FltkMainWindow& window_;
  const FltkFonts& fonts_;
  const FltkFont messageFont_;
  const UserInterfaceLog& log_;
  Text buttonFontName_;
  bool ended_ = false;
  ExitStatus exitStatus_ = ExitStatus::Done;
};

}  // namespace ruvo::fltk
