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

// A failure message: the headline, a blank line, what failed and the system's reason.
void ShowFailure(UserInterface& ui, std::wstring_view headline, const Text& what) {
  ui.ShowMessage(Text(headline) + L"\n\n" + what, MessageIcon::Error);
}

Text Failed(const Text& action, const Text& reason) {
  return action + L" failed: " + reason;
}

// Writes the key's two values; returns what failed, or an empty text.
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
  return {};
}

// Deletes a key this run created, so that the browser shows no broken entry; returns
// what went wrong, or an empty text.
Text RollBackCreatedKey(Registry& registry) {
  const RegistryResult status = RemoveKey(registry, kExtensionRoot, Text(kExtensionKeyPath));
  if (status == kErrorSuccess) return {};
  return L"\n\nThe incomplete registry key could not be removed: " +
         registry.DescribeStatus(status);
}

// Removing what uninstall leaves behind: a missing page or folder is nothing to
// remove, and a folder that still holds other files stays. Returns what failed, or an
// empty text.
Text RemovePageAndFolder(FileSystem& files) {
  const FileResult page = files.RemoveFile(Text(kHandlerPagePathForward));
  if (!page.ok() && page.failure() != FileFailure::NotFound) {
    return Failed(L"Deleting " + Text(kHandlerPagePathForward), page.reason());
  }
  const FileResult folder = files.RemoveFolder(Text(kInstallFolderPathForward));
  if (!folder.ok() && folder.failure() != FileFailure::NotFound &&
      folder.failure() != FileFailure::NotEmpty) {
    return Failed(L"Removing the folder " + Text(kInstallFolderPathForward), folder.reason());
  }
  return {};
}

}  // namespace

InstallState IsExtensionInstalled(Registry& registry) {
  // The answer rests on the handle, not on the status.
  OpenedKey key(registry);
  registry.RegOpenKeyA(kExtensionRoot, Text(kExtensionKeyPath), key.handle());
  return key.get() != 0 ? InstallState::Installed : InstallState::NotInstalled;
}

void InstallExtension(PlatformServices& platform) {
  Registry& registry = platform.registry;
  // The page must exist before the key that points to it.
  if (const FileResult page = WriteHandlerPage(platform.files); !page.ok()) {
    ShowFailure(platform.ui, kInstallFailedHeadline,
                Failed(L"Writing " + Text(kHandlerPagePath), page.reason()));
    return;
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
    ShowFailure(platform.ui, kInstallFailedHeadline,
                Failed(L"Creating the registry key " + ExtensionKeyName(),
                       registry.DescribeStatus(created)));
    return;
  }

  const Text failure = WriteExtensionValues(registry);
  if (!failure.empty()) {
    const Text rollback = disposition == kRegCreatedNewKey ? RollBackCreatedKey(registry) : Text();
    ShowFailure(platform.ui, kInstallFailedHeadline, failure + rollback);
    return;
  }
  platform.ui.ShowMessage(Text(kInstalledMessage), MessageIcon::Information);
}

void UninstallExtension(PlatformServices& platform) {
  if (IsExtensionInstalled(platform.registry) == InstallState::Installed) {
    const RegistryResult status =
        RemoveKey(platform.registry, kExtensionRoot, Text(kExtensionKeyPath));
    if (status != kErrorSuccess) {
      // The browser's entry still points at the page: leave both in place.
      ShowFailure(platform.ui, kUninstallFailedHeadline,
                  Failed(L"Deleting the registry key " + ExtensionKeyName(),
                         platform.registry.DescribeStatus(status)));
      platform.ui.EndProgram();
      return;
    }
    platform.ui.ShowMessage(Text(kUninstalledMessage), MessageIcon::Information);
  } else {
    platform.ui.ShowMessage(Text(kNotInstalledMessage), MessageIcon::Information);
  }

  const Text failure = RemovePageAndFolder(platform.files);
  if (!failure.empty()) ShowFailure(platform.ui, kUninstallFailedHeadline, failure);
  platform.ui.EndProgram();
}

}  // namespace ruvo
