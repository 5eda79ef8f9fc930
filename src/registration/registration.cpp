#include "registration/registration.h"

#include <chrono>

#include "handler_page/handler_page.h"
#include "registration/messages.h"
#include "registration/record.h"
#include "registry/registry_helpers.h"

namespace ruvo {
namespace {

// How long an action waits for another program's install or uninstall to end.
constexpr std::chrono::seconds kPatienceWithAnotherInstance{5};

Text ExtensionKeyName() {
  return Text(kExtensionRootName) + L"\\" + Text(kExtensionKeyPath);
}

Text Failed(const Text& action, const Text& reason) {
  return action + L" failed: " + reason;
}

// A path as the user reads it, with backslashes, whichever slashes the call used.
Text Shown(Text path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// What an action came to, and the one message that tells the user.
struct Report {
  Outcome outcome;
  Text message;
};

Report Success(std::wstring_view message) {
  return {Outcome::Succeeded, Text(message)};
}

Report Failure(std::wstring_view headline, const Text& what) {
  return {Outcome::Failed, Text(headline) + L"\n\n" + what};
}

// The lock goes before the outcome is told, so that another program may start its
// own action while this one's message waits for the user.
template <typename Work>
Outcome RunActionAndTell(PlatformServices& platform, Work work) {
  const LockResult lock = platform.lock.AcquireForAction(kPatienceWithAnotherInstance);
  Report report{Outcome::Failed, Text(kAnotherInstanceMessage)};
  switch (lock.state) {
    case LockState::Held:
      report = work(platform);
      platform.lock.Release();
      break;
    case LockState::Busy:
      break;
    case LockState::Failed:
      report.message = Text(kLockFailedHeadline) + L"\n\n" + lock.failure;
      break;
    case LockState::CloseRequested:
      return Outcome::Failed;  // nothing begun, and the user wants the window gone
  }
  platform.ui.ShowMessage(report.message, report.outcome == Outcome::Succeeded
                                              ? MessageIcon::Information
                                              : MessageIcon::Error);
  return report.outcome;
}

// Writes the key's two values and flushes them to the disk; returns what failed,
// or an empty text.
Text WriteExtensionValues(Registry& registry) {
  const Text keyPath(kExtensionKeyPath);
  RegistryResult status =
      WriteKeyValue(registry, keyPath, Text(kDefaultValueName), Text(kHandlerPageUrl), kRegSz);
  if (status != kErrorSuccess) {
    return Failed(L"Writing the default value of the registry key " + ExtensionKeyName(),
                  registry.DescribeStatus(status));
  }
  status =
      WriteKeyValue(registry, keyPath, Text(kContextsValueName), kContextsLinksOnly, kRegDword);
  if (status != kErrorSuccess) {
    return Failed(L"Writing the value \"" + Text(kContextsValueName) + L"\" of the registry key " +
                      ExtensionKeyName(),
                  registry.DescribeStatus(status));
  }
  status = FlushKey(registry, kExtensionRoot, keyPath);
  if (status != kErrorSuccess) {
    return Failed(L"Saving the registry key " + ExtensionKeyName() + L" to the disk",
                  registry.DescribeStatus(status));
  }
  return {};
}

// The name of a subkey of the extension's key, or an empty text. The program writes
// none: one there is someone else's.
Text FirstSubkey(Registry& registry) {
  OpenedKey key(registry);
  Text name;
  if (registry.RegOpenKeyExA(kExtensionRoot, Text(kExtensionKeyPath), 0, kKeyEnumerateSubKeys,
                             key.handle()) != kErrorSuccess ||
      registry.RegEnumKeyExA(key.get(), 0, name) != kErrorSuccess) {
    return {};
  }
  return name;
}

// Deletes the key and makes the deletion durable. A key that is gone already counts
// as removed; one that holds a subkey stays, and the subkey is named. Returns what
// failed, or an empty text.
Text DeleteExtensionKey(Registry& registry) {
  RegistryResult status = RemoveKey(registry, kExtensionRoot, Text(kExtensionKeyPath));
  if (status != kErrorSuccess && status != kErrorFileNotFound) {
    const Text subkey = status == kErrorAccessDenied ? FirstSubkey(registry) : Text();
    return Failed(L"Deleting the registry key " + ExtensionKeyName(),
                  subkey.empty() ? registry.DescribeStatus(status)
                                 : Text(kForeignSubkeyLead) + subkey + Text(kForeignSubkeyAdvice));
  }
  // A deleted key is flushed through the root it was under, which is always there.
  status = FlushKey(registry, kExtensionRoot, Text());
  if (status != kErrorSuccess) {
    return Failed(
        L"Saving the deletion of the registry key " + ExtensionKeyName() + L" to the disk",
        registry.DescribeStatus(status));
  }
  return {};
}

// What removing the page and its folder failed on, and what it left behind.
struct Leftover {
  Text failure;  // empty when everything went
  Text left;
};

// Removes the page, a partial page an interrupted write left, and, when
// `removeFolder`, the folder if nothing but ours was in it. What is not there is
// nothing to remove, and a folder that holds other files stays.
// The system may accept a deletion it then cannot carry out (Windows carries one out
// when the last handle closes, and a failure then is told to no one): only what is no
// longer there is gone.
Leftover RemovePageAndFolder(FileSystem& files, bool removeFolder) {
  const Text page(kHandlerPagePathForward);
  const Text folder(kInstallFolderPathForward);
  for (const Text& file : {page, PartialFileFor(page)}) {
    FileResult removed = files.RemoveFile(file);
    if (removed.ok() || removed.failure() == FileFailure::NotFound) {
      removed = files.ConfirmGone(file);
    }
    if (!removed.ok()) {
      return {Failed(L"Deleting " + Shown(file), removed.reason()),
              Shown(file) + L" and the folder " + Shown(folder)};
    }
  }
  if (!removeFolder) return {};
  FileResult removed = files.RemoveFolder(folder);
  if (removed.ok()) removed = files.ConfirmGone(folder);
  if (!removed.ok() && removed.failure() != FileFailure::NotFound &&
      removed.failure() != FileFailure::NotEmpty) {
    return {Failed(L"Removing the folder " + Shown(folder), removed.reason()),
            L"the folder " + Shown(folder)};
  }
  return {};
}

// The second name a file found at the page's place keeps while an install runs.
Text PreviousPage() {
  return Text(kHandlerPagePath) + L".previous";
}

// What an install found and did, that taking it back needs.
struct InstallRun {
  bool keyIsThisRuns;
  bool madeFolder;
  bool keptPrevious;  // a file stood at the page's place, kept as PreviousPage()
};

// Takes back a failed install (see InstallExtension), the key first. A file that
// stood at the page's place goes back there whatever became of the key; otherwise the
// page stays while a key may point at it. Returns a note on what could not be taken
// back, or an empty text.
Text RollBackInstall(PlatformServices& platform, const InstallRun& run) {
  Registry& registry = platform.registry;
  Text note;
  if (run.keyIsThisRuns) {
    if (const Text failure = DeleteExtensionKey(registry); !failure.empty()) {
      note = L"\n\nThe incomplete registry key could not be removed: " + failure;
    }
  }
  if (run.keptPrevious) {
    if (const FileResult back = platform.files.RenameFile(PreviousPage(), Text(kHandlerPagePath));
        !back.ok()) {
      note += L"\n\nThe file that stood at " + Text(kHandlerPagePath) +
              L" before could not be put back: " + back.reason() + L" It is kept as " +
              PreviousPage() + L".";
    }
    return note;
  }
  if (!note.empty() || IsExtensionInstalled(registry) != InstallState::NotInstalled) return note;
  if (const Leftover leftover = RemovePageAndFolder(platform.files, run.madeFolder);
      !leftover.failure.empty()) {
    return L"\n\nThe page could not be removed again: " + leftover.failure;
  }
  return {};
}

Report Install(PlatformServices& platform) {
  Registry& registry = platform.registry;
  FileSystem& files = platform.files;
  // Whether the key is this run's to take back on failure. Asked first, because a
  // failed call may still have done its work (a commit whose unlock failed).
  RegistryResult status = kErrorSuccess;
  const InstallState before = IsExtensionInstalled(registry, &status);
  if (before == InstallState::CannotTell) {
    return {Outcome::Failed, CannotTellMessage(registry, status)};
  }
  InstallRun run{before == InstallState::NotInstalled, false, false};

  // A file at the page's place (someone's own, an older page) keeps a second name until
  // the install stands, so that a failure can put it back. One an interrupted install
  // kept is what stood there before that install.
  const Text page(kHandlerPagePath);
  const FileResult keep = files.LinkFile(page, PreviousPage());
  if (!keep.ok() && keep.failure() != FileFailure::NotFound &&
      keep.failure() != FileFailure::AlreadyExists) {
    return Failure(kInstallFailedHeadline,
                   Failed(L"Keeping the file that stands at " + page, keep.reason()));
  }
  run.keptPrevious = keep.ok() || keep.failure() == FileFailure::AlreadyExists;

  // The page must exist before the key that points to it.
  FileResult folder = FileResult::Done();
  const FileResult written = WriteHandlerPage(files, &folder);
  run.madeFolder = folder.ok();
  if (!written.ok()) {
    if (run.madeFolder) static_cast<void>(files.RemoveFolder(Text(kInstallFolderPath)));
    if (keep.ok()) static_cast<void>(files.RemoveFile(PreviousPage()));  // the page stands
    // A folder that could not be made (no rights, a full disk) is why the page has no
    // place: that is the reason to tell.
    if (!run.madeFolder && folder.failure() != FileFailure::AlreadyExists) {
      return Failure(kInstallFailedHeadline,
                     Failed(L"Creating the folder " + Text(kInstallFolderPath), folder.reason()));
    }
    return Failure(kInstallFailedHeadline, Failed(L"Writing " + page, written.reason()));
  }

  std::uint32_t disposition = 0;
  RegistryResult created = kErrorSuccess;
  {
    OpenedKey key(registry);
    created =
        registry.RegCreateKeyExA(kExtensionRoot, Text(kExtensionKeyPath), kRegOptionNonVolatile,
                                 kKeyEverySpecificRight, key.handle(), disposition);
  }
  if (created != kErrorSuccess) {
    return Failure(kInstallFailedHeadline,
                   Failed(L"Creating the registry key " + ExtensionKeyName(),
                          registry.DescribeStatus(created)) +
                       RollBackInstall(platform, run));
  }

  if (const Text failure = WriteExtensionValues(registry); !failure.empty()) {
    return Failure(kInstallFailedHeadline, failure + RollBackInstall(platform, run));
  }
  // The install stands: what stood there before is replaced, as an install does.
  if (run.keptPrevious) static_cast<void>(files.RemoveFile(PreviousPage()));
  return Success(kInstalledMessage);
}

Report Uninstall(PlatformServices& platform) {
  RegistryResult status = kErrorSuccess;
  const InstallState state = IsExtensionInstalled(platform.registry, &status);
  if (state == InstallState::CannotTell) {
    return {Outcome::Failed, CannotTellMessage(platform.registry, status)};
  }
  const bool installed = state == InstallState::Installed;
  if (installed) {
    // The browser's entry points at the page: while the key may stay, so does the page.
    if (const Text failure = DeleteExtensionKey(platform.registry); !failure.empty()) {
      return Failure(kUninstallFailedHeadline, failure);
    }
  }
  if (const Leftover leftover = RemovePageAndFolder(platform.files, true);
      !leftover.failure.empty()) {
    // Part of it is done: say what, what is left, and what a next run can do.
    Text what = leftover.failure + L"\n\n";
    if (installed) what += Text(kKeyRemovedNote) + L"\n";
    what += Text(kLeftNote) + leftover.left + L".\n" + Text(kNextRunOffersInstallNote);
    return Failure(kUninstallFailedHeadline, what);
  }
  return Success(installed ? kUninstalledMessage : kNotInstalledMessage);
}

}  // namespace

InstallState IsExtensionInstalled(Registry& registry, RegistryResult* status) {
  // The answer rests on the handle; only a key that is plainly not there is "not
  // installed", every other refusal leaves the question open.
  OpenedKey key(registry);
  const RegistryResult opened =
      registry.RegOpenKeyA(kExtensionRoot, Text(kExtensionKeyPath), key.handle());
  if (key.get() != 0) return InstallState::Installed;
  if (opened == kErrorFileNotFound) return InstallState::NotInstalled;
  if (status != nullptr) *status = opened;
  return InstallState::CannotTell;
}

Text CannotTellMessage(Registry& registry, RegistryResult status) {
  return Text(kCannotTellHeadline) + L"\n\n" +
         Failed(L"Opening the registry key " + ExtensionKeyName(), registry.DescribeStatus(status));
}

Outcome InstallExtension(PlatformServices& platform) {
  return RunActionAndTell(platform, Install);
}

Outcome UninstallExtension(PlatformServices& platform) {
  return RunActionAndTell(platform, Uninstall);
}

}  // namespace ruvo
