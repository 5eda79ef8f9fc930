// print_built_texts: the texts and addresses the program was built with, as lines a shell
// script can source (name=$'...'), so that the end-to-end scripts hold none of them.
// Built for each platform; under Wine its output has CR LF line ends.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "registration/messages.h"
#include "registration/record.h"
#include "window/layout.h"
#include "window/window_handlers.h"

namespace {

// Bash's $'...' quoting: every byte that is not plain printable ASCII, a quote or a
// backslash goes as \xHH.
std::string Quoted(std::wstring_view text) {
  std::string out = "$'";
  for (const char c : ruvo::ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\'' && c != '\\') {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    }
  }
  return out + "'";
}

void Print(const char* name, std::wstring_view text) {
  std::printf("%s=%s\n", name, Quoted(text).c_str());
}

}  // namespace

int main() {
  using namespace ruvo;
  Print("title", kApplicationTitle);
  Print("install_caption", kInstallCaption);
  Print("uninstall_caption", kUninstallCaption);
  Print("installed_text", kInstalledMessage);
  Print("uninstalled_text", kUninstalledMessage);
  Print("not_installed_text", kNotInstalledMessage);
  Print("install_failed_headline", kInstallFailedHeadline);
  Print("uninstall_failed_headline", kUninstallFailedHeadline);
  Print("cannot_tell_headline", kCannotTellHeadline);
  Print("another_instance_text", kAnotherInstanceMessage);
  Print("lock_failed_headline", kLockFailedHeadline);
  Print("key_removed_note", kKeyRemovedNote);
  Print("foreign_subkey_lead", kForeignSubkeyLead);
  Print("foreign_subkey_advice", kForeignSubkeyAdvice);
  Print("left_note", kLeftNote);
  Print("next_run_offers_install_note", kNextRunOffersInstallNote);
  Print("out_of_memory_text", kOutOfMemoryMessage);
  Print("program_fault_text", kProgramFaultMessage);
  Print("could_not_start_headline", kCouldNotStartHeadline);
  Print("picture_name", kControls[kPictureAreaIndex].text);
  Print("key_path", kExtensionKeyPath);
  Print("page_url", kHandlerPageUrl);
  Print("page_path", kHandlerPagePath);
  Print("folder_path", kInstallFolderPath);
  // Each service's default address, then its configured one: the expected page is
  // kept with the defaults.
  Print("address_swaps", L"" RUVO_ADDRESS_SWAPS);
  return 0;
}
