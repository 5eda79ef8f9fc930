#include "platform/standalone/drive_c.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "platform/standalone/data_home.h"
#include "platform/standalone/posix.h"
#include "platform/text.h"

namespace ruvo::drive {
namespace {

// A failed step inside this file; every public operation turns it into its result,
// so that nothing is raised across the seam.
struct Refusal {
  FileResult result;
};

// Runs one operation and hands back its result, or the result a step refused with.
template <typename Operation>
FileResult RunStep(Operation&& operation) noexcept {
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

// Ends the step with the program's own reason (a path drive C: does not take).
[[noreturn]] void RefuseBecause(int code, const Text& why) {
  throw Refusal{FileResult::Failed(FileFailure::Other, code, why)};
}

// The system's own words for an errno, e.g. "Permission denied".
Text SystemReason(int error) {
  return FromUtf8(std::generic_category().message(error));
}

// Ends the step with what the system said, in its own words.
[[noreturn]] void FailWithErrno(int error, FileFailure failure) {
  throw Refusal{FileResult::Failed(failure, error, SystemReason(error))};
}

// ENOENT, and ENOTDIR when some parent is a file: the path does not lead anywhere.
// EEXIST: something stands where the operation would put its own.
FileFailure FailureOf(int error) {
  if (error == ENOENT || error == ENOTDIR) return FileFailure::NotFound;
  return error == EEXIST ? FileFailure::AlreadyExists : FileFailure::Other;
}

[[noreturn]] void FailWithErrno(int error) {
  FailWithErrno(error, FailureOf(error));
}

// A folder on the way, opened without following a link: a link (or a folder
// swapped for one after a check) cannot lead the operation anywhere else.
posix::FileDescriptor OpenFolderAt(int parent, const std::string& name, const Text& windowsPath) {
  posix::FileDescriptor fd(
      ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.valid()) return fd;
  const int error = errno;
  struct stat info {};
  if ((error == ELOOP || error == ENOTDIR) &&
      ::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
    RefuseBecause(EACCES, windowsPath +
                              L" passes through a symbolic link; links on drive C: are not "
                              L"followed");
  }
  FailWithErrno(error);
}

// The lines in the stand-in's code page, ASCII, each ended by CR LF; false when a
// character has no exact form there: the page is refused rather than altered.
bool TextFileBytes(const std::vector<Text>& lines, std::string& bytes) {
  Text text;
  for (const Text& line : lines) text += line + L"\r\n";
  return ToAscii(text, bytes);
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

// The path's components below the drive, or a refusal of the path as such.
std::vector<std::string> Components(const Text& windowsPath) {
  const Text& path = windowsPath;
  if (path.find(L'\0') != Text::npos) RefuseBecause(EINVAL, L"A path holds a NUL character");
  if (path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1])) {
    RefuseBecause(EACCES, path + L" is a network path; only drive C: is here");
  }
  if (path.size() < 2 || path[1] != L':') {
    RefuseBecause(EINVAL, path + L" is not a full path on drive C:");
  }
  if (path[0] != L'c' && path[0] != L'C') {
    RefuseBecause(EACCES, path + L" is not on drive C:, the only drive here");
  }
  if (path.size() == 2 || !IsSlash(path[2])) {
    RefuseBecause(EINVAL, path +
                              L" is relative to the current folder of drive C:; only full paths "
                              L"are accepted");
  }
  std::vector<std::string> components;
  std::size_t start = 3;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSlash(path[end])) ++end;
    const Text component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == L".") continue;
    // Refused even where it would stay on the drive: never follow "..".
    if (component == L"..")
      RefuseBecause(EACCES, path + L" leaves drive C: (\"..\" is not followed)");
    for (wchar_t c : component) {
      if (IsForbiddenInName(c)) RefuseBecause(EINVAL, path + L" is not a valid name on drive C:");
    }
    components.push_back(ToUtf8(component));
  }
  return components;
}

// The folder that holds a path's last component, opened by walking down from the
// drive one folder at a time without following links, and that component's name
// ("" for the drive itself). What was checked on the way is what is used.
struct Place {
  posix::FileDescriptor folder;
  std::string name;
};

// Makes sure the drive folder exists; refuses the drive itself where an operation
// must not touch it.
Place OpenParent(const std::filesystem::path& drive, const Text& windowsPath, bool driveAllowed) {
  const std::vector<std::string> components = Components(windowsPath);
  if (!driveAllowed && components.empty())
    RefuseBecause(EACCES, windowsPath + L" is the drive itself");
  try {
    CreatePrivateFolders(drive);
  } catch (const std::filesystem::filesystem_error& error) {
    FailWithErrno(error.code().value(), FileFailure::Other);
  }
  Place place;
  place.folder = posix::FileDescriptor(::open(drive.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!place.folder.valid()) FailWithErrno(errno, FileFailure::Other);
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    place.folder = OpenFolderAt(place.folder.get(), components[i], windowsPath);
  }
  if (!components.empty()) place.name = components.back();
  return place;
}

// The name of `other`'s last component, which must lie in the folder `place` has
// reached; refused otherwise.
std::string NameBeside(const Place& place, const Text& path, const Text& other) {
  std::vector<std::string> these = Components(path), those = Components(other);
  if (place.name.empty() || those.empty())
    RefuseBecause(EINVAL, other + L" is no file beside " + path);
  const std::string name = those.back();
  these.pop_back();
  those.pop_back();
  if (these != those) RefuseBecause(EINVAL, other + L" is not in the folder of " + path);
  return name;
}

}  // namespace

DriveCFileSystem::DriveCFileSystem(std::filesystem::path driveFolder)
    : driveFolder_(std::move(driveFolder)) {}

FileResult DriveCFileSystem::MakeFolder(const Text& path) {
  return RunStep([&] {
    const Place place = OpenParent(driveFolder_, path, true);
    if (place.name.empty()) FailWithErrno(EEXIST);
    if (::mkdirat(place.folder.get(), place.name.c_str(), 0777) == 0) return;
    FailWithErrno(errno);
  });
}

FileResult DriveCFileSystem::RemoveFile(const Text& path) {
  return RunStep([&] {
    const Place place = OpenParent(driveFolder_, path, true);
    if (place.name.empty()) FailWithErrno(EISDIR, FileFailure::Other);
    // A link is removed as a file: what it points at stays. A folder gives EISDIR.
    if (::unlinkat(place.folder.get(), place.name.c_str(), 0) == 0) return;
    FailWithErrno(errno);
  });
}

FileResult DriveCFileSystem::RemoveFolder(const Text& path) {
  return RunStep([&] {
    const Place place = OpenParent(driveFolder_, path, false);
    if (::unlinkat(place.folder.get(), place.name.c_str(), AT_REMOVEDIR) == 0) return;
    const int error = errno;
    if (error == ENOTEMPTY || error == EEXIST) FailWithErrno(error, FileFailure::NotEmpty);
    // The folders on the way were opened: ENOTDIR means the path itself is no folder.
    if (error == ENOTDIR) FailWithErrno(error, FileFailure::Other);
    FailWithErrno(error);
  });
}

FileResult DriveCFileSystem::ConfirmGone(const Text& path) {
  FileResult result = RunStep([&] {
    const Place place = OpenParent(driveFolder_, path, false);
    struct stat info {};
    if (::fstatat(place.folder.get(), place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      throw Refusal{FileResult::Failed(FileFailure::AlreadyExists, EEXIST,
                                       L"It is still there after its deletion.")};
    }
    if (errno != ENOENT) FailWithErrno(errno, FileFailure::Other);
  });
  // A folder on the way that is not there holds nothing either.
  if (!result.ok() && result.failure() == FileFailure::NotFound) return FileResult::Done();
  return result;
}

FileResult DriveCFileSystem::LinkFile(const Text& path, const Text& alias) {
  return RunStep([&] {
    const Place place = OpenParent(driveFolder_, path, false);
    const std::string aliasName = NameBeside(place, path, alias);
    struct stat info {};
    if (::fstatat(place.folder.get(), place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      FailWithErrno(errno);
    }
    if (S_ISDIR(info.st_mode)) FailWithErrno(EISDIR, FileFailure::NotFound);  // no file to link
    // Flags 0: a link at `path` is linked itself, never followed.
    if (::linkat(place.folder.get(), place.name.c_str(), place.folder.get(), aliasName.c_str(),
                 0) != 0) {
      FailWithErrno(errno);
    }
  });
}

FileResult DriveCFileSystem::RenameFile(const Text& from, const Text& to) {
  return RunStep([&] {
    const Place place = OpenParent(driveFolder_, from, false);
    const std::string toName = NameBeside(place, from, to);
    if (::renameat(place.folder.get(), place.name.c_str(), place.folder.get(), toName.c_str()) !=
        0) {
      FailWithErrno(errno);
    }
    static_cast<void>(::fsync(place.folder.get()));
  });
}

FileResult DriveCFileSystem::ReplaceTextFile(const Text& path, const std::vector<Text>& lines) {
  return RunStep([&] {
    const Place place = OpenParent(driveFolder_, path, false);
    std::string bytes;
    if (!TextFileBytes(lines, bytes)) FailWithErrno(EILSEQ, FileFailure::Other);
    const int folder = place.folder.get();
    // The partial file's one name takes over what an interrupted run left there (the
    // programs' instance lock keeps two writers apart). 0666 less the umask, as any
    // new file: the browser must be able to read it.
    const std::string partial = ToUtf8(PartialFileFor(FromUtf8(place.name)));
    posix::FileDescriptor fd(::openat(folder, partial.c_str(),
                                      O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd.valid()) FailWithErrno(errno);  // not ours to remove: it could not be opened
    int error = WriteAll(fd.get(), bytes);
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (const int closed = fd.Close(); error == 0) error = closed;
    // A folder standing at the target makes the rename fail (EISDIR) and stay as it is.
    if (error == 0 && ::renameat(folder, partial.c_str(), folder, place.name.c_str()) != 0) {
      error = errno;
    }
    if (error != 0) {
      ::unlinkat(folder, partial.c_str(), 0);
      FailWithErrno(error, FileFailure::Other);
    }
    // The page is in place: from here on nothing is reported as a failure, since the
    // old page is gone whatever the folder's flush says.
    static_cast<void>(::fsync(folder));
  });
}

}  // namespace ruvo::drive
