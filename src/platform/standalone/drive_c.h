// Drive C: of the stand-alone program: a folder that stands for the drive. Windows
// paths on c: ("c:\a\b" or "c:/a/b", either slash, the letter in either case) map
// into it; any other path is refused, never followed.
#pragma once

#include <filesystem>

#include "platform/platform_services.h"

namespace ruvo {

class DriveCFileSystem final : public FileSystem {
 public:
  // The folder is created (with its missing parents) by the first operation, so that
  // "c:\" always exists; nothing inside it is made.
  explicit DriveCFileSystem(std::filesystem::path driveFolder);

  // Where a Windows path on drive C: lies on this machine, in `mapped`. Fails
  // (FileFailure::Other, EINVAL or EACCES, a text that names the path) for another
  // drive, a relative or UNC path, a ".." component, a name Windows would not
  // accept, or a path whose folder lies outside the drive through a symbolic link.
  // Components keep their spelling: this drive is case-sensitive.
  FileResult Map(const Text& windowsPath, std::filesystem::path& mapped) const;

  const std::filesystem::path& driveFolder() const { return driveFolder_; }

  FileResult MakeFolder(const Text& path) override;
  FileResult RemoveFile(const Text& path) override;
  FileResult RemoveFolder(const Text& path) override;
  FileResult ReplaceTextFile(const Text& path, const std::vector<Text>& lines) override;

 private:
  std::filesystem::path MapOrRefuse(const Text& windowsPath) const;
  // The mapped path, after making sure the drive folder exists; refuses the drive
  // itself where an operation must not touch it.
  std::filesystem::path MapForUse(const Text& windowsPath, bool driveAllowed);
  void RemoveFolderOrRefuse(const Text& path);
  void ReplaceTextFileOrRefuse(const Text& path, const std::vector<Text>& lines);

  std::filesystem::path driveFolder_;
};

}  // namespace ruvo
