// Where the handler page lives, and the address the browser opens it by. Fixed
// texts with drive C: and "Program Files", whatever the system's own program folder.
#pragma once

#include <string_view>

namespace ruvo {

// Writing uses the backslash names, removing mostly the forward-slash ones (uninstall,
// and an install taking itself back); both are the same place on drive C:.
inline constexpr std::wstring_view kInstallFolderPath = L"c:\\Program Files\\ruvo";
inline constexpr std::wstring_view kHandlerPagePath = L"c:\\Program Files\\ruvo\\ruvo.htm";
inline constexpr std::wstring_view kInstallFolderPathForward = L"c:/Program Files/ruvo";
inline constexpr std::wstring_view kHandlerPagePathForward = L"c:/Program Files/ruvo/ruvo.htm";

// The page's file URL, which the browser's menu entry points at.
inline constexpr std::wstring_view kHandlerPageUrl = L"file://c:/Program Files/ruvo/ruvo.htm";

}  // namespace ruvo
