#include "registration/registration.h"

#include "handler_page/handler_page.h"
#include "registration/messages.h"
#include "registration/record.h"
#include "registry/registry_helpers.h"

namespace ruvo {
namespace {

Text ExtensionKeyName() {
  return Text(kExtensionRootName) + L"\\" + Text(kExtensionKeyPath);
}

Text Failed(const Text& action, const Text& reason) {
  return action + L" failed: " + reason;
}

// The one message of a failed sequence: the headline, a blank line, what failed
// and the system's reason.
Outcome ReportFailure(UserInterface& ui, std::wstring_view headline, const Text& what) {
  ui.ShowMessage(Text(headline) + L"\n\n" + what, MessageIcon::Error);
  return Outcome::Failed;
}

Outcome ReportSuccess(UserInterface& ui, std::wstring_view message) {
  ui.ShowMessage(Text(message), MessageIcon::Information);
  return Outcome::Succeeded;
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

// Deletes the key and makes the deletion durable. A key that is gone already counts
// as removed. Returns what failed, or an empty text.
Text DeleteExtensionKey(Registry& registry) {
  RegistryResult status = RemoveKey(registry, kExtensionRoot, Text(kExtensionKeyPath));
  if (status != kErrorSuccess && status != kErrorFileNotFound) {
    return Failed(L"Deleting the registry key " + ExtensionKeyName(),
                  registry.DescribeStatus(status));
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

// Removes the page, a partial page an interrupted write left, and the folder when
// nothing but ours was in it. What is not there is nothing to remove, and a folder
// that holds other files stays. Returns what failed, or an empty text.
Text RemovePageAndFolder(FileSystem& files) {
  const Text page(kHandlerPagePathForward);
  for (const Text& file : {page, PartialFileFor(page)}) {
    const FileResult removed = files.RemoveFile(file);
    if (!removed.ok() && removed.failure() != FileFailure::NotFound) {
      return Failed(L"Deleting " + file, removed.reason());
    }
  }
  const FileResult folder = files.RemoveFolder(Text(kInstallFolderPathForward));
  if (!folder.ok() && folder.failure() != FileFailure::NotFound &&
      folder.failure() != FileFailure::NotEmpty) {
    return Failed(L"Removing the folder " + Text(kInstallFolderPathForward), folder.reason());
  }
  return {};
}

// Takes back a failed install: the key, when this run created it, and then the
// page, when no key points at it any more. Returns a note on what could not be
// taken back, or an empty text.
Text RollBackInstall(PlatformServices& platform, bool keyCreatedByThisRun) {
  Registry& registry = platform.registry;
  if (keyCreatedByThisRun) {
    if (const Text failure = DeleteExtensionKey(registry); !failure.empty()) {
      return L"\n\nThe incomplete registry key could not be removed: " + failure;
    }
  }
  if (IsExtensionInstalled(registry) != InstallState::NotInstalled) return {};
  if (const Text failure = RemovePageAndFolder(platform.files); !failure.empty()) {
    return L"\n\nThe page could not be removed again: " + failure;
  }
  return {};
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
  Registry& registry = platform.registry;
  // Whether the key is this run's to take back on failure. Asked first, because a
  // failed call may still have done its work (a commit whose unlock failed).
  RegistryResult status = kErrorSuccess;
  const InstallState before = IsExtensionInstalled(registry, &status);
  if (before == InstallState::CannotTell) {
    platform.ui.ShowMessage(CannotTellMessage(registry, status), MessageIcon::Error);
    return Outcome::Failed;
  }
  const bool keyIsThisRuns = before == InstallState::NotInstalled;

  // The page must exist before the key that points to it.
  if (const FileResult page = WriteHandlerPage(platform.files); !page.ok()) {
    // Only a folder this run made, still empty, is taken back.
    static_cast<void>(platform.files.RemoveFolder(Text(kInstallFolderPath)));
    return ReportFailure(platform.ui, kInstallFailedHeadline,
                         Failed(L"Writing " + Text(kHandlerPagePath), page.reason()));
  }

  std::uint32_t disposition = 0;
  RegistryResult created = kErrorSuccess;
  {
    OpenedKey key(registry);
    created =
        registry.RegCreateKeyExA(kExtensionRoot, Text(kExtensionKeyPath), kRegOptionNonVolatile,
                                 kKeyAllAccess, key.handle(), disposition);
  }
  if (created != kErrorSuccess) {
    return ReportFailure(platform.ui, kInstallFailedHeadline,
                         Failed(L"Creating the registry key " + ExtensionKeyName(),
                                registry.DescribeStatus(created)) +
                             RollBackInstall(platform, keyIsThisRuns));
  }

  if (const Text failure = WriteExtensionValues(registry); !failure.empty()) {
    return ReportFailure(platform.ui, kInstallFailedHeadline,
                         failure + RollBackInstall(platform, keyIsThisRuns));
  }
  return ReportSuccess(platform.ui, kInstalledMessage);
}

Outcome UninstallExtension(PlatformServices& platform) {
  RegistryResult status = kErrorSuccess;
  const InstallState state = IsExtensionInstalled(platform.registry, &status);
  if (state == InstallState::CannotTell) {
    platform.ui.ShowMessage(CannotTellMessage(platform.registry, status), MessageIcon::Error);
    return Outcome::Failed;
  }
  if (state == InstallState::Installed) {
    // The browser's entry points at the page: while the key may stay, so does the page.
    if (const Text failure = DeleteExtensionKey(platform.registry); !failure.empty()) {
      return ReportFailure(platform.ui, kUninstallFailedHeadline, failure);
    }
  }
  if (const Text failure = RemovePageAndFolder(platform.files); !failure.empty()) {
    return ReportFailure(platform.ui, kUninstallFailedHeadline, failure);
  }
  return ReportSuccess(
      platform.ui, state == InstallState::Installed ? kUninstalledMessage : kNotInstalledMessage);
}

}  // namespace ruvo
