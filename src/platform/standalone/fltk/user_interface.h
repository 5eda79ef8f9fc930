// The user-interface half of the seam for the stand-alone program: the FLTK window's
// button, message boxes, and ending the program.
#pragma once

#include "platform/platform_services.h"
#include "platform/standalone/fltk/look.h"
#include "platform/standalone/fltk/main_window.h"

namespace ruvo::fltk {

// The window class of the message box, as the main window's is "ruvo-linklens".
inline constexpr const char* kMessageBoxClass = "ruvo-linklens-message";

// Shows a message box with the application title in the system's message font at
// the window's size, and returns once the user has dismissed it. Each window and box
// shown is recorded for the end-to-end tests (RUVO_UI_LOG, user_interface.cpp).
void ShowApplicationMessage(const FltkFonts& fonts, int dpi, const Text& text, MessageIcon icon);

class FltkUserInterface : public UserInterface {
 public:
  FltkUserInterface(FltkMainWindow& window, const FltkFonts& fonts, int dpi);

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
  const int dpi_;
  Text buttonFontName_;
  bool ended_ = false;
  ExitStatus exitStatus_ = ExitStatus::Done;
};

}  // namespace ruvo::fltk
