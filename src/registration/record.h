// The registration record: the key the browser reads, its two values, and where the
// handler page lives. Nothing here is configurable.
//
//   HKEY_CURRENT_USER
//     Software\Microsoft\Internet Explorer\MenuExt
//       Open with Ruvo Office Suite      <- the menu entry's text
//         (default)  REG_SZ     "file://c:/Program Files/ruvo/ruvo.htm"
//         Contexts   REG_DWORD  0x20 (links only)
#pragma once

#include <cstdint>
#include <string_view>

#include "handler_page/page_location.h"  // the page's paths and its URL
#include "platform/platform_services.h"

namespace ruvo {

inline constexpr PredefinedRoot kExtensionRoot = kHkeyCurrentUser;
inline constexpr std::wstring_view kExtensionRootName = L"HKEY_CURRENT_USER";
inline constexpr std::wstring_view kExtensionKeyPath =
    L"Software\\Microsoft\\Internet Explorer\\MenuExt\\Open with Ruvo Office Suite";

inline constexpr std::wstring_view kDefaultValueName = L"";
inline constexpr std::wstring_view kContextsValueName = L"Contexts";
inline constexpr std::int32_t kContextsLinksOnly = 0x20;

}  // namespace ruvo
