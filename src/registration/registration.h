// The probe, and the install and uninstall sequences.
#pragma once

#include <cstdint>

#include "platform/platform_services.h"

namespace ruvo {

// The probe's answer; callers compare with a named state, as CannotTell is as
// non-zero as Installed. CannotTell: the registry answered neither "there" nor "not
// there" (no access, a damaged or locked registry), so nothing may be decided on it.
enum class InstallState : std::int16_t {
  Installed = -1,
  NotInstalled = 0,
  CannotTell = 1,
};

// Installed exactly when the extension's key can be opened; reads no value. When
// the answer is CannotTell and `status` is given, it receives the registry's status.
InstallState IsExtensionInstalled(Registry& registry, RegistryResult* status = nullptr);

// The text that tells the user the probe could not tell, and why.
Text CannotTellMessage(Registry& registry, RegistryResult status);

enum class Outcome { Succeeded, Failed };

// Both actions run while holding the instance lock (waiting a few seconds for another
// program's action; after that, or when the lock itself fails, they change nothing and
// say so), let it go when the work is done, then tell the user how it went, once. A
// close request while they wait ends the wait: nothing is done or told, and the
// outcome is a failure. A probe that cannot tell changes nothing.

// Writes the page, then creates the key and its two values and flushes them. A
// failure takes back what this run did: a key that was not there before it, the page
// when no key points at it, and the folder when this run made it.
Outcome InstallExtension(PlatformServices& platform);

// Deletes the key and flushes the deletion, then deletes the page, a partial page
// left by an interrupted install, and the folder when nothing else is in it. A
// failure part of the way says what was removed and what is left.
Outcome UninstallExtension(PlatformServices& platform);

}  // namespace ruvo
