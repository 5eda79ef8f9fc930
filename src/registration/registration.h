// The probe, and the install and uninstall sequences.
#pragma once

#include <cstdint>

#include "platform/platform_services.h"

namespace ruvo {

// The probe's answer; callers compare with Installed exactly.
enum class InstallState : std::int16_t {
  Installed = -1,
  NotInstalled = 0,
};

// Installed exactly when the extension's key can be opened; reads no value.
InstallState IsExtensionInstalled(Registry& registry);

// Writes the page, then creates the key and its two values, and tells the user how it
// went. Returns when done; the caller ends the program.
void InstallExtension(PlatformServices& platform);

// Deletes the key, tells the user, deletes the page and its folder, and ends the
// program on every path.
void UninstallExtension(PlatformServices& platform);

}  // namespace ruvo
