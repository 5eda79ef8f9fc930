// The window's two handlers: the load handler decides what the one button offers,
// the click handler does it and ends the program.
#pragma once

#include <string_view>

#include "platform/platform_services.h"

namespace ruvo {

inline constexpr std::wstring_view kInstallCaption = L"Install";
inline constexpr std::wstring_view kUninstallCaption = L"Uninstall";

class WindowHandlers {
 public:
  explicit WindowHandlers(PlatformServices& platform) : platform_(platform) {}

  // Runs once, after the controls exist and before the window is shown. When the
  // registry cannot tell whether the extension is installed, it says so and ends
  // the program instead.
  void Form_Load();
  // Runs when the button is pressed: the action once, its outcome told once, and the
  // program ended with the outcome's status. Later presses do nothing.
  void ActionButton_Click();

 private:
  PlatformServices& platform_;
  bool pressed_ = false;
};

}  // namespace ruvo
