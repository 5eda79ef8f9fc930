// Conversions between the wide texts the logic holds and UTF-8, for the toolkits,
// SQLite and error messages. No platform header: both backends and the logic use it.
#pragma once

#include <string>
#include <string_view>

namespace ruvo {

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(const std::string& text);

// The bytes of a text in ASCII, the code page of the stand-ins; false (and nothing
// in `bytes`) when a character has no ASCII form.
bool ToAscii(const std::wstring& text, std::string& bytes);

// A number in decimal digits. By hand: std::to_wstring would pull the C runtime's
// whole printf engine into the Windows program.
std::wstring DecimalText(long long number);

}  // namespace ruvo
