// The Windows registry and file status codes the stand-in registry and the tests'
// fake report, with the words Windows gives them (en-US). Portable: no platform
// header, so that the fake, built for Windows too, compiles it from here.
#pragma once

#include "platform/platform_services.h"

namespace ruvo {

// Further status codes only the stand-ins give.
inline constexpr RegistryResult kErrorOutOfMemory = 14;
inline constexpr RegistryResult kErrorDiskFull = 112;
inline constexpr RegistryResult kErrorBadPathname = 161;
inline constexpr RegistryResult kErrorBusy = 170;
inline constexpr RegistryResult kErrorRegistryIoFailed = 1016;

// Windows' words for `status`; "Error <status>." for a code not listed.
Text WindowsStatusText(RegistryResult status);

}  // namespace ruvo
