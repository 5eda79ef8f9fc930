#include "platform/standalone/drive_c.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "platform/standalone/data_home.h"
#include "platform/standalone/drive_posix.h"
#include "platform/text.h"

namespace ruvo {
namespace {

// A failed step inside this file; every public operation turns it into its result,
// so that nothing is raised across the seam.
struct Refusal {
  FileResult result;
};

// Runs one operation and hands back its result, or the result a step refused with.
template <typename Operation>
FileResult Guarded(Operation&& operation) noexcept {
  try {
    operation();
    return FileResult::Done();
  } catch (const Refusal& refusal) {
    return refusal.result;
  } catch (const std::system_error& error) {
    return FileResult::Failed(FileFailure::Other, error.code().value(),
                              FromUtf8(error.code().message()));
  } catch (const std::bad_alloc&) {
    return FileResult::Failed(FileFailure::Other, ENOMEM, FromUtf8(std::strerror(ENOMEM)));
  }
}

bool IsSlash(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// Characters Windows does not accept in a file or folder name.
bool IsForbiddenInName(wchar_t c) {
  return (c >= 0 && c < 0x20) || Text(L"<>:\"|?*").find(c) != Text::npos;
}

[[noreturn]] void Refuse(int code, const Text& why) {
  throw Refusal{FileResult::Failed(FileFailure::Other, code, why)};
}

// The system's own words for an errno, e.g. "Permission denied".
Text SystemReason(int error) {
  return FromUtf8(std::generic_category().message(error));
}

[[noreturn]] void Raise(int error, FileFailure failure) {
  throw Refusal{FileResult::Failed(failure, error, SystemReason(error))};
}

// ENOENT, and ENOTDIR when some parent is a file: the path does not lead anywhere.
FileFailure PathFailure(int error) {
  return error == ENOENT || error == ENOTDIR ? FileFailure::NotFound : FileFailure::Other;
}

bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer) {
  const std::filesystem::path relative = inner.lexically_relative(outer);
  return !relative.empty() && *relative.begin() != "..";
}

std::filesystem::path Canonical(const std::filesystem::path& path, const Text& windowsPath) {
  std::error_code error;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  if (error) Refuse(error.value(), windowsPath + L": " + SystemReason(error.value()));
  return canonical;
}

// Each line in the ANSI code page (plain ASCII here; anything else becomes '?'),
// then CR LF.
std::string TextFileBytes(const std::vector<Text>& lines) {
  std::string bytes;
  for (const Text& line : lines) {
    for (wchar_t c : line) bytes += c >= 0 && c < 0x80 ? static_cast<char>(c) : '?';
    bytes += "\r\n";
  }
  return bytes;
}

int WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    written += static_cast<std::size_t>(count);
  }
  return 0;
}

// A new file beside the target, with a unique name such as ".ruvo.htm.k3Zq9a"; it is
// removed again unless it was renamed into place.
class TemporaryFile {
 public:
  // The partial file's one name, taking over what an interrupted run left there (the
  // programs' instance lock keeps two writers apart).
  explicit TemporaryFile(const std::filesystem::path& target)
      : path_(target.parent_path() / ToUtf8(PartialFileFor(FromUtf8(target.filename().string())))) {
    // 0666 less the umask, as any new file: the browser must be able to read it.
    fd_ = posix::FileDescriptor(
        ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd_.valid()) {
      const int error = errno;
      path_.clear();  // not ours to remove: it could not be opened
      Raise(error, PathFailure(error));
    }
  }
  ~TemporaryFile() {
    if (kept_ || path_.empty()) return;
    fd_ = posix::FileDescriptor();
    ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  posix::FileDescriptor& fd() { return fd_; }
  const std::filesystem::path& path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  std::filesystem::path path_;
  posix::FileDescriptor fd_;
  bool kept_ = false;
};

}  // namespace

DriveCFileSystem::DriveCFileSystem(std::filesystem::path driveFolder)
    : driveFolder_(std::move(driveFolder)) {}

FileResult DriveCFileSystem::Map(const Text& windowsPath, std::filesystem::path& mapped) const {
  return Guarded([&] { mapped = MapOrRefuse(windowsPath); });
}

std::filesystem::path DriveCFileSystem::MapOrRefuse(const Text& windowsPath) const {
  const Text& path = windowsPath;
  if (path.find(L'\0') != Text::npos) Refuse(EINVAL, L"A path holds a NUL character");
  if (path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1])) {
    Refuse(EACCES, path + L" is a network path; only drive C: is here");
  }
  if (path.size() < 2 || path[1] != L':') {
    Refuse(EINVAL, path + L" is not a full path on drive C:");
  }
  if (path[0] != L'c' && path[0] != L'C') {
    Refuse(EACCES, path + L" is not on drive C:, the only drive here");
  }
  if (path.size() == 2 || !IsSlash(path[2])) {
    Refuse(EINVAL, path +
                       L" is relative to the current folder of drive C:; only full paths "
                       L"are accepted");
  }

  std::filesystem::path mapped = driveFolder_;
  std::size_t start = 3;
  bool inside = false;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSlash(path[end])) ++end;
    const Text component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == L".") continue;
    // Refused even where it would stay on the drive: never follow "..".
    if (component == L"..") Refuse(EACCES, path + L" leaves drive C: (\"..\" is not followed)");
    for (wchar_t c : component) {
      if (IsForbiddenInName(c)) Refuse(EINVAL, path + L" is not a valid name on drive C:");
    }
    mapped /= ToUtf8(component);
    inside = true;
  }
  if (!inside) return mapped;

  // A symbolic link inside the drive must not lead the operation out of it.
  const std::filesystem::path drive = Canonical(driveFolder_, path);
  const std::filesystem::path folder = Canonical(mapped.parent_path(), path);
  if (folder != drive && !IsWithin(folder, drive)) {
    Refuse(EACCES, path + L" leaves drive C: through a symbolic link");
  }
  return mapped;
}

std::filesystem::path DriveCFileSystem::MapForUse(const Text& windowsPath, bool driveAllowed) {
  std::filesystem::path mapped = MapOrRefuse(windowsPath);
  if (!driveAllowed && mapped == driveFolder_) {
    Refuse(EACCES, windowsPath + L" is the drive itself");
  }
  try {
    CreatePrivateFolders(driveFolder_);
  } catch (const std::filesystem::filesystem_error& error) {
    Raise(error.code().value(), FileFailure::Other);
  }
  return mapped;
}

FileResult DriveCFileSystem::MakeFolder(const Text& path) {
  return Guarded([&] {
    const std::filesystem::path folder = MapForUse(path, true);
    if (::mkdir(folder.c_str(), 0777) == 0) return;
    const int error = errno;
    Raise(error, error == EEXIST ? FileFailure::AlreadyExists : PathFailure(error));
  });
}

FileResult DriveCFileSystem::RemoveFile(const Text& path) {
  return Guarded([&] {
    const std::filesystem::path file = MapForUse(path, true);
    if (::unlink(file.c_str()) == 0) return;
    // A folder gives EISDIR: it is not a file to delete.
    const int error = errno;
    Raise(error, PathFailure(error));
  });
}

FileResult DriveCFileSystem::RemoveFolder(const Text& path) {
  return Guarded([&] { RemoveFolderOrRefuse(path); });
}

void DriveCFileSystem::RemoveFolderOrRefuse(const Text& path) {
  const std::filesystem::path folder = MapForUse(path, false);
  if (::rmdir(folder.c_str()) == 0) return;
  const int error = errno;
  if (error == ENOTEMPTY || error == EEXIST) Raise(error, FileFailure::NotEmpty);
  if (error == ENOTDIR) {
    // A file at the path itself is there but is no folder; a file on the way means
    // the folder is not there.
    std::error_code ignored;
    const bool exists = std::filesystem::symlink_status(folder, ignored).type() !=
                        std::filesystem::file_type::not_found;
    Raise(error, exists ? FileFailure::Other : FileFailure::NotFound);
  }
  Raise(error, PathFailure(error));
}

FileResult DriveCFileSystem::ReplaceTextFile(const Text& path, const std::vector<Text>& lines) {
  return Guarded([&] { ReplaceTextFileOrRefuse(path, lines); });
}

void DriveCFileSystem::ReplaceTextFileOrRefuse(const Text& path, const std::vector<Text>& lines) {
  const std::filesystem::path target = MapForUse(path, false);
  const std::string bytes = TextFileBytes(lines);

  TemporaryFile temporary(target);
  if (const int error = WriteAll(temporary.fd().get(), bytes); error != 0) {
    Raise(error, FileFailure::Other);
  }
  if (::fsync(temporary.fd().get()) != 0) Raise(errno, FileFailure::Other);
  if (const int error = temporary.fd().Close(); error != 0) Raise(error, FileFailure::Other);
  // A folder standing at the target makes this fail (EISDIR) and stay as it is.
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) Raise(errno, FileFailure::Other);
  temporary.Keep();
  // The page is in place: from here on nothing is reported as a failure, since the
  // old page is gone whatever the folder's flush says.
  static_cast<void>(posix::SyncFolder(target.parent_path()));
}

}  // namespace ruvo
