#include "platform/win32/win32_files.h"

#include <windows.h>

#include "platform/win32/system_text.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {
namespace {

// Each line in the ANSI code page, then CR LF; false when a line has a character
// the code page cannot hold.
bool PageBytes(const std::vector<Text>& lines, std::string& bytes) {
  bytes.clear();
  std::string line;
  for (const Text& text : lines) {
    if (!ToAnsi(text, line)) return false;
    bytes += line;
    bytes += "\r\n";
  }
  return true;
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

  // Creates the partial file beside `target` under its one name, taking over what an
  // interrupted run left there (the programs' instance lock keeps two writers
  // apart). A missing folder is reported as a missing path.
  FileResult Create(const Text& target) {
    const Text name = PartialFileFor(target);
    file_.reset(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return LastError();
    name_ = name;
    return FileResult::Done();
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
  std::string bytes;
  if (!PageBytes(lines, bytes)) return FileError(ERROR_NO_UNICODE_TRANSLATION);
  TemporaryFile temporary;
  FileResult result = temporary.Create(path);
  if (result.ok()) result = temporary.WriteAndClose(bytes);
  if (result.ok()) result = temporary.MoveOver(path);
  return result;
}

}  // namespace ruvo::win32
