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

FileResult LastError() {
  return FileError(::GetLastError());
}

// The temporary page beside the target, open for writing; deleted again unless it
// has been moved into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    file_.reset();
    if (!name_.empty() && !kept_) ::DeleteFileW(name_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates a new file beside `target`. Its own CreateFile (rather than
  // GetTempFileName, which says "directory name invalid") reports a missing folder
  // as a missing path.
  FileResult Create(const Text& target) {
    constexpr DWORD kAttempts = 100;
    const Text stem = target + L"." + HexText(::GetCurrentProcessId()) + L".";
    for (DWORD attempt = 0; attempt < kAttempts; ++attempt) {
      const Text name = stem + HexText(::GetTickCount() + attempt) + L".tmp";
      file_.reset(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_) {
        name_ = name;
        return FileResult::Done();
      }
      const DWORD code = ::GetLastError();
      if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return FileError(code);
    }
    return FileError(ERROR_FILE_EXISTS);
  }

  // Writes every byte, flushes them to the disk and closes the file.
  FileResult WriteAndClose(const std::string& bytes) {
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr)) {
      return LastError();
    }
    if (written != bytes.size()) return FileError(ERROR_WRITE_FAULT);
    if (!::FlushFileBuffers(file_.get())) return LastError();
    if (!::CloseHandle(file_.release())) return LastError();
    return FileResult::Done();
  }

  // Moves the file over `target` in one step; from then on it is the target.
  FileResult MoveOver(const Text& target) {
    if (!::MoveFileExW(name_.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return LastError();
    }
    kept_ = true;
    return FileResult::Done();
  }

 private:
  UniqueFile file_;
  Text name_;
  bool kept_ = false;
};

}  // namespace

FileResult Win32FileSystem::MakeFolder(const Text& path) {
  return ::CreateDirectoryW(path.c_str(), nullptr) ? FileResult::Done() : LastError();
}

FileResult Win32FileSystem::RemoveFile(const Text& path) {
  return ::DeleteFileW(path.c_str()) ? FileResult::Done() : LastError();
}

FileResult Win32FileSystem::RemoveFolder(const Text& path) {
  return ::RemoveDirectoryW(path.c_str()) ? FileResult::Done() : LastError();
}

FileResult Win32FileSystem::ReplaceTextFile(const Text& path, const std::vector<Text>& lines) {
  TemporaryFile temporary;
  FileResult result = temporary.Create(path);
  if (result.ok()) result = temporary.WriteAndClose(PageBytes(lines));
  if (result.ok()) result = temporary.MoveOver(path);
  return result;
}

}  // namespace ruvo::win32
