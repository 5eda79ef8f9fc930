#include "window/main_window.h"

#include "registration/registration.h"
#include "window/layout.h"

namespace ruvo {

void MainWindow::Form_Load() {
  // The caption is the window's only state: the click reads back what is set here.
  const bool installed = IsExtensionInstalled(platform_.registry) == InstallState::Installed;
  platform_.ui.SetActionButtonCaption(Text(installed ? kUninstallCaption : kInstallCaption));
  platform_.ui.SetActionButtonFontName(Text(kTextLineFont.face));
}

void MainWindow::ActionButton_Click() {
  if (platform_.ui.ActionButtonCaption() == kInstallCaption) {
    InstallExtension(platform_);
    platform_.ui.EndProgram();
  } else {
    UninstallExtension(platform_);  // ends the program on every path
  }
}

}  // namespace ruvo
