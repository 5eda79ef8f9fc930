#include "platform/win32/win32_files.h"

#include <windows.h>

#include "platform/win32/system_text.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {
namespace {

std::string PageBytes(const std::vector<Text>& lines) {
  std::string bytes;
  for (const Text& line : lines) {
    bytes += ToAnsi(line);
    bytes += "\r\n";
  }
  return bytes;
}

Text HexText(DWORD number) {
  Text digits;
  do {
    digits.insert(digits.begin(), L"0123456789abcdef"[number % 16]);
    number /= 16;
  } while (number != 0);
  return digits;
}

// The temporary page beside the target, open for writing; deleted again unless it
// has been moved into place. Its own CreateFile (rather than GetTempFileName, which
// says "directory name invalid") reports a missing folder as a missing path.
class TemporaryFile {
 public:
  explicit TemporaryFile(const Text& target) {
    constexpr DWORD kAttempts = 100;
    const Text stem = target + L"." + HexText(::GetCurrentProcessId()) + L".";
    for (DWORD attempt = 0; attempt < kAttempts; ++attempt) {
      const Text name = stem + HexText(::GetTickCount() + attempt) + L".tmp";
      file_.reset(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_) {
        name_ = name;
        return;
      }
      const DWORD code = ::GetLastError();
      if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) RaiseFileError(code);
    }
    RaiseFileError(ERROR_FILE_EXISTS);
  }
  ~TemporaryFile() {
    file_.reset();
    if (!kept_) ::DeleteFileW(name_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Writes every byte, flushes them to the disk and closes the file.
  void WriteAndClose(const std::string& bytes) {
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr)) {
      RaiseFileError(::GetLastError());
    }
    if (written != bytes.size()) RaiseFileError(ERROR_WRITE_FAULT);
    if (!::FlushFileBuffers(file_.get())) RaiseFileError(::GetLastError());
    if (!::CloseHandle(file_.release())) RaiseFileError(::GetLastError());
  }

  // Moves the file over `target` in one step; from then on it is the target.
  void MoveOver(const Text& target) {
    if (!::MoveFileExW(name_.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      RaiseFileError(::GetLastError());
    }
    kept_ = true;
  }

 private:
  UniqueFile file_;
  Text name_;
  bool kept_ = false;
};

}  // namespace

void Win32FileSystem::MakeFolder(const Text& path) {
  if (!::CreateDirectoryW(path.c_str(), nullptr)) RaiseFileError(::GetLastError());
}

void Win32FileSystem::RemoveFile(const Text& path) {
  if (!::DeleteFileW(path.c_str())) RaiseFileError(::GetLastError());
}

void Win32FileSystem::RemoveFolder(const Text& path) {
  if (!::RemoveDirectoryW(path.c_str())) RaiseFileError(::GetLastError());
}

void Win32FileSystem::ReplaceTextFile(const Text& path, const std::vector<Text>& lines) {
  TemporaryFile temporary(path);
  temporary.WriteAndClose(PageBytes(lines));
  temporary.MoveOver(path);
}

}  // namespace ruvo::win32
