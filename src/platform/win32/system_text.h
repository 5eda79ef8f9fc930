// Texts at the system boundary: the ANSI code page the registry and the page file
// are written in, and the system's own words for an error code.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform_services.h"

namespace ruvo::win32 {

// The bytes of `text` in the system's ANSI code page (CP_ACP), without a terminator.
// False when a character has no exact form there: no best-fit look-alike and no
// default character is accepted.
[[nodiscard]] bool ToAnsi(const Text& text, std::string& bytes);

// The text that `bytes` in the system's ANSI code page stand for; false when they are
// no valid text there.
[[nodiscard]] bool FromAnsi(const std::string& bytes, Text& text);

// FormatMessage's text for `code`, without its trailing line break; "Error <code>"
// when the system has no text for it.
Text SystemMessage(DWORD code);

// The portable kind of a file or folder failure.
FileFailure FileFailureFor(DWORD code);

// The failed result for `code`: the kind, the code and the system's words.
FileResult FileError(DWORD code);

}  // namespace ruvo::win32
