// The window's two handlers: the load handler decides what the one button offers,
// the click handler does it and ends the program.
#pragma once

#include <string_view>

#include "platform/platform_services.h"

namespace ruvo {

inline constexpr std::wstring_view kInstallCaption = L"Install";
inline constexpr std::wstring_view kUninstallCaption = L"Uninstall";

class MainWindow {
 public:
  explicit MainWindow(PlatformServices& platform) : platform_(platform) {}

  // Runs once, after the controls exist and before the window is shown.
  void Form_Load();
  // Runs when the button is pressed; the program has ended when it returns.
  void ActionButton_Click();

 private:
  PlatformServices& platform_;
};

}  // namespace ruvo
