#include "window/window_handlers.h"

#include "registration/registration.h"
#include "window/layout.h"

namespace ruvo {

void WindowHandlers::Form_Load() {
  // The caption is the only record of the probe's answer: the click reads it back.
  RegistryResult status = kErrorSuccess;
  const InstallState state = IsExtensionInstalled(platform_.registry, &status);
  if (state == InstallState::CannotTell) {
    // Offering either action would be a guess.
    platform_.ui.ShowMessage(CannotTellMessage(platform_.registry, status), MessageIcon::Error);
    platform_.ui.EndProgram(ExitStatus::Failed);
    return;
  }
  const bool installed = state == InstallState::Installed;
  platform_.ui.SetActionButtonCaption(Text(installed ? kUninstallCaption : kInstallCaption));
  platform_.ui.SetActionButtonFontName(Text(kTextLineFont.face));
}

void WindowHandlers::ActionButton_Click() {
  // A second press can arrive while the first one's work or message is still up.
  if (pressed_) return;
  pressed_ = true;

  const Outcome outcome = platform_.ui.ActionButtonCaption() == kInstallCaption
                              ? InstallExtension(platform_)
                              : UninstallExtension(platform_);
  platform_.ui.EndProgram(outcome == Outcome::Succeeded ? ExitStatus::Done : ExitStatus::Failed);
}

}  // namespace ruvo
