// Drive C: of the stand-alone program: a folder that stands for the drive. Windows
// paths on c: ("c:\a\b" or "c:/a/b", either slash, the letter in either case) map
// into it; any other path is refused, never followed.
#pragma once

#include <filesystem>
#include <vector>

#include "platform/platform_services.h"

namespace ruvo::drive {

class DriveCFileSystem final : public FileSystem {
 public:
  // Makes nothing: each operation creates the folder (with its missing parents) when
  // it is missing, so that "c:\" always exists. Every operation refuses
  // (FileFailure::Other, EINVAL or EACCES, a text that names the path) another drive,
  // a relative or UNC path, a ".." component, a name Windows would not accept, and a
  // path whose folders pass through a symbolic link. Components keep their spelling:
  // this drive is case-sensitive.
  explicit DriveCFileSystem(std::filesystem::path driveFolder);

  FileResult MakeFolder(const Text& path) override;
  FileResult RemoveFile(const Text& path) override;
  FileResult RemoveFolder(const Text& path) override;
  FileResult ConfirmGone(const Text& path) override;
  FileResult LinkFile(const Text& path, const Text& alias) override;
  FileResult RenameFile(const Text& from, const Text& to) override;
  FileResult ReplaceTextFile(const Text& path, const std::vector<Text>& lines) override;

 private:
  std::filesystem::path driveFolder_;
};

}  // namespace ruvo::drive
