#include "platform/win32/win32_files.h"

#include <windows.h>

#include "platform/win32/system_text.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {
namespace {

// Each line in the ANSI code page, then CR LF; false when a line has a character
// the code page cannot hold. One conversion for the whole text.
bool PageBytes(const std::vector<Text>& lines, std::string& bytes) {
  Text text;
  for (const Text& line : lines) text.append(line).append(L"\r\n");
  return ToAnsi(text, bytes);
}

FileResult LastError() {
  return FileError(::GetLastError());
}

// Opens the file or folder at `path` itself: a link there is opened as the link,
// never followed.
UniqueFile OpenItself(const Text& path, DWORD access, DWORD flags) {
  return UniqueFile(::CreateFileW(path.c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

Text WithoutLongPathPrefix(const Text& path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

// Fails unless `item` is the one `path` names as written. A link on the way (a folder
// that is a junction or symbolic link, or under Wine a symbolic link at the end,
// which Wine follows even when asked not to) leads elsewhere, and nothing there is
// ever removed or written: the system would remove or replace the link's target.
FileResult CheckReachedDirectly(HANDLE item, const Text& path) {
  wchar_t expected[MAX_PATH * 2];
  const DWORD expectedLength =
      ::GetFullPathNameW(path.c_str(), ARRAYSIZE(expected), expected, nullptr);
  if (expectedLength == 0 || expectedLength >= ARRAYSIZE(expected)) return LastError();
  wchar_t reached[MAX_PATH * 2];
  const DWORD reachedLength =
      ::GetFinalPathNameByHandleW(item, reached, ARRAYSIZE(reached), VOLUME_NAME_DOS);
  if (reachedLength == 0 || reachedLength >= ARRAYSIZE(reached)) return LastError();
  const Text where = WithoutLongPathPrefix(Text(reached, reachedLength));
  if (::CompareStringOrdinal(where.c_str(), static_cast<int>(where.size()), expected,
                             static_cast<int>(expectedLength), TRUE) == CSTR_EQUAL) {
    return FileResult::Done();
  }
  return FileResult::Failed(FileFailure::Other, ERROR_CANT_ACCESS_FILE,
                            SystemMessage(ERROR_CANT_ACCESS_FILE) +
                                L" It leads through a link to " + where +
                                L", which is not followed.");
}

// Deletes the open file or folder when its last handle closes; a folder that holds
// something is refused.
FileResult DeleteOnClose(HANDLE item) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(item, FileDispositionInfo, &disposition, sizeof disposition)
             ? FileResult::Done()
             : LastError();
}

// Removes the file, or the empty folder, at `path` itself, as Windows' own DeleteFile
// and RemoveDirectory do with a link; refused when the path leads elsewhere.
FileResult RemoveItself(const Text& path, bool folder) {
  const UniqueFile item =
      OpenItself(path, DELETE | FILE_READ_ATTRIBUTES, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0);
  if (!item) return LastError();
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(item.get(), &information)) return LastError();
  const bool isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (isFolder != folder) return FileError(folder ? ERROR_DIRECTORY : ERROR_ACCESS_DENIED);
  if (FileResult reached = CheckReachedDirectly(item.get(), path); !reached.ok()) return reached;
  return DeleteOnClose(item.get());
}

// The temporary page beside the target, open for writing; deleted again unless it
// has been moved into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    if (file_) {
      static_cast<void>(DeleteOnClose(file_.get()));
    } else if (!name_.empty() && !kept_) {
      static_cast<void>(RemoveItself(name_, false));
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the partial file beside `target` under its one name, after removing what
  // an interrupted run left there (the programs' instance lock keeps two writers
  // apart). A missing folder is reported as a missing path; a name that leads
  // elsewhere through a link is refused, and what was made there taken back.
  FileResult Create(const Text& target) {
    const Text name = PartialFileFor(target);
    // Usually nothing is there; asking first spares the system's words for "not found".
    if (::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES ||
        ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      if (const FileResult leftover = RemoveItself(name, false);
          !leftover.ok() && leftover.failure() != FileFailure::NotFound) {
        return leftover;
      }
    }
    file_.reset(::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return LastError();
    name_ = name;
    return CheckReachedDirectly(file_.get(), name);
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
  return RemoveItself(path, false);
}

FileResult Win32FileSystem::RemoveFolder(const Text& path) {
  return RemoveItself(path, true);
}

FileResult Win32FileSystem::ConfirmGone(const Text& path) {
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return FileResult::Failed(
        FileFailure::AlreadyExists, ERROR_ALREADY_EXISTS,
        L"It is still there: the system accepted its deletion, then did not carry it out.");
  }
  const DWORD error = ::GetLastError();
  // A deletion that waits for another program to let the file go: it will be gone.
  if (error == ERROR_ACCESS_DENIED) return FileResult::Done();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return FileError(error);
  // Wine hides a symbolic link that leads nowhere from every call but the folder's
  // listing, where it is more than nothing.
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(path.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
  if (search != INVALID_HANDLE_VALUE || ::GetLastError() == ERROR_NO_MORE_FILES) {
    return FileResult::Failed(FileFailure::AlreadyExists, ERROR_CANT_ACCESS_FILE,
                              L"A symbolic link that leads nowhere stands there; links are "
                              L"not followed.");
  }
  return FileResult::Done();
}

FileResult Win32FileSystem::LinkFile(const Text& path, const Text& alias) {
  const UniqueFile item = OpenItself(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
  if (!item) return LastError();
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(item.get(), &information)) return LastError();
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return FileResult::Failed(FileFailure::NotFound, ERROR_DIRECTORY,
                              SystemMessage(ERROR_DIRECTORY));  // no file to link
  }
  if (FileResult reached = CheckReachedDirectly(item.get(), path); !reached.ok()) return reached;
  return ::CreateHardLinkW(alias.c_str(), path.c_str(), nullptr) ? FileResult::Done() : LastError();
}

FileResult Win32FileSystem::RenameFile(const Text& from, const Text& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? FileResult::Done()
             : LastError();
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
