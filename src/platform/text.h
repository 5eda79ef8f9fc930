// Conversions between the wide texts the logic holds and UTF-8, for the toolkits,
// SQLite and error messages. No platform header: both backends and the logic use it.
#pragma once

#include <string>

namespace ruvo {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace ruvo
