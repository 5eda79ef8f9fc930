// Every text the installer shows in a message box.
#pragma once

#include <string_view>

namespace ruvo {

// The caption of every message box, and of the window.
inline constexpr std::wstring_view kApplicationTitle = L"RUVO LinkLens";

inline constexpr std::wstring_view kInstalledMessage =
    L"Ruvo Link Lens have been installed successfully in your machine. Open a new instance of "
    L"IE to see the changes.";
inline constexpr std::wstring_view kUninstalledMessage =
    L"Ruvo Link Lens have been uninstalled successfully in your machine.";
inline constexpr std::wstring_view kNotInstalledMessage =
    L"This extension does not exist in your Internet Explorer.";

// Failure messages: the headline, a blank line, then what failed and the system's reason.
inline constexpr std::wstring_view kInstallFailedHeadline =
    L"Ruvo Link Lens could not be installed in your machine.";
inline constexpr std::wstring_view kUninstallFailedHeadline =
    L"Ruvo Link Lens could not be uninstalled from your machine.";

// After an uninstall that could not remove every file: what was removed (the key,
// when there was one), what is left (the items follow), and what the next run offers.
inline constexpr std::wstring_view kKeyRemovedNote =
    L"Removed: the registry key, so Internet Explorer no longer offers \"Open with Ruvo Office "
    L"Suite\".";
inline constexpr std::wstring_view kLeftNote = L"Left: ";
inline constexpr std::wstring_view kNextRunOffersInstallNote =
    L"RUVO LinkLens offers Install when started again, as the extension is no longer "
    L"registered: remove what is left by hand.";

// Why the extension's key cannot be deleted when it holds a subkey the program never
// writes: the subkey's name goes between the two parts.
inline constexpr std::wstring_view kForeignSubkeyLead = L"It holds the subkey \"";
inline constexpr std::wstring_view kForeignSubkeyAdvice =
    L"\", which RUVO LinkLens did not write and does not delete. Remove that subkey with the "
    L"Registry Editor (or have whoever added it remove it), then start RUVO LinkLens again.";

// The probe could not tell whether the key is there; what failed follows.
inline constexpr std::wstring_view kCannotTellHeadline =
    L"RUVO LinkLens cannot tell whether the extension is installed. Nothing was changed.";

// The lock that keeps two programs' actions apart could not be taken; what failed
// follows.
inline constexpr std::wstring_view kLockFailedHeadline =
    L"RUVO LinkLens could not make sure that no other RUVO LinkLens is installing or "
    L"uninstalling the extension. Nothing was changed.";

// Another running RUVO LinkLens is installing or uninstalling right now.
inline constexpr std::wstring_view kAnotherInstanceMessage =
    L"Another RUVO LinkLens is installing or uninstalling the extension right now. Nothing "
    L"was changed: let it finish, then try again.";

// The program could not open its window; what failed follows.
inline constexpr std::wstring_view kCouldNotStartHeadline = L"RUVO LinkLens could not start.";

// The program ran out of memory part way and had to stop at once.
inline constexpr std::wstring_view kOutOfMemoryMessage =
    L"RUVO LinkLens ran out of memory and had to stop.\n\n"
    L"A change it had begun may be incomplete: start RUVO LinkLens again to see the state and "
    L"finish it.";

// The program met a fault in its own code (a check of the C++ library failed) and had
// to stop at once.
inline constexpr std::wstring_view kProgramFaultMessage =
    L"RUVO LinkLens met a fault in its own code and had to stop.\n\n"
    L"A change it had begun may be incomplete: start RUVO LinkLens again to see the state and "
    L"finish it.";

}  // namespace ruvo
