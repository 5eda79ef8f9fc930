#include "platform/win32/win32_files.h"

#include <windows.h>

#include "platform/win32/system_text.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {
namespace {

// The folder part of a path written with either slash; "." for a bare name.
Text FolderOf(const Text& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == Text::npos) return L".";
  if (slash == 0 || (slash == 2 && path[1] == L':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string PageBytes(const std::vector<Text>& lines) {
  std::string bytes;
  for (const Text& line : lines) {
    bytes += ToAnsi(line);
    bytes += "\r\n";
  }
  return bytes;
}

// A file that is deleted again unless it is kept: the temporary page until it has
// been moved into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const Text& folder) {
    wchar_t name[MAX_PATH];
    if (::GetTempFileNameW(folder.c_str(), L"ruv", 0, name) == 0) RaiseFileError(::GetLastError());
    name_ = name;
  }
  ~TemporaryFile() {
    if (!kept_) ::DeleteFileW(name_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const Text& name() const { return name_; }
  void Keep() { kept_ = true; }

 private:
  Text name_;
  bool kept_ = false;
};

void WriteAndFlush(const Text& name, const std::string& bytes) {
  UniqueFile file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) RaiseFileError(::GetLastError());
  DWORD written = 0;
  if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr)) {
    RaiseFileError(::GetLastError());
  }
  if (written != bytes.size()) RaiseFileError(ERROR_WRITE_FAULT);
  if (!::FlushFileBuffers(file.get())) RaiseFileError(::GetLastError());
  if (!::CloseHandle(file.release())) RaiseFileError(::GetLastError());
}

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
  TemporaryFile temporary(FolderOf(path));
  WriteAndFlush(temporary.name(), PageBytes(lines));
  if (!::MoveFileExW(temporary.name().c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    RaiseFileError(::GetLastError());
  }
  temporary.Keep();
}

}  // namespace ruvo::win32
