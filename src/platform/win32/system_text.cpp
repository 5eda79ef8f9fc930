#include "platform/win32/system_text.h"

#include "platform/text.h"

namespace ruvo::win32 {

bool ToAnsi(const Text& text, std::string& bytes) {
  bytes.clear();
  if (text.empty()) return true;
  const int length = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr,
                                         0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  bytes.assign(static_cast<std::size_t>(size), '\0');
  const int written = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length,
                                            bytes.data(), size, nullptr, &usedDefault);
  if (written != size || usedDefault) {
    bytes.clear();
    return false;
  }
  return true;
}

bool FromAnsi(const std::string& bytes, Text& text) {
  text.clear();
  if (bytes.empty()) return true;
  const int length = static_cast<int>(bytes.size());
  const int size =
      ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (size <= 0) return false;
  text.assign(static_cast<std::size_t>(size), L'\0');
  return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), length, text.data(),
                               size) == size;
}

Text SystemMessage(DWORD code) {
  wchar_t buffer[512];
  DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, ARRAYSIZE(buffer), nullptr);
  // The system ends its texts with CR LF, sometimes after a blank.
  while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' ||
                        buffer[length - 1] == L' ')) {
    --length;
  }
  if (length == 0) return L"Error " + DecimalText(code);
  return Text(buffer, length);
}

FileFailure FileFailureFor(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FileFailure::NotFound;
    case ERROR_ALREADY_EXISTS:
      return FileFailure::AlreadyExists;
    case ERROR_DIR_NOT_EMPTY:
      return FileFailure::NotEmpty;
    default:
      return FileFailure::Other;
  }
}

FileResult FileError(DWORD code) {
  return FileResult::Failed(FileFailureFor(code), static_cast<std::int32_t>(code),
                            SystemMessage(code));
}

}  // namespace ruvo::win32
